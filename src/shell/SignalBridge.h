#pragma once
// Turns SIGINT, SIGTERM and SIGHUP (terminal closed, ssh connection dropped)
// into a Qt signal delivered on the thread that owns the bridge, so the program
// can run its orderly exit instead of dying mid-write.

#include <QObject>

#include <signal.h>
#include <memory>

class QSocketNotifier;

namespace kestro {

class SignalBridge : public QObject {
    Q_OBJECT
public:
    // Installs the handlers. Only one bridge may exist at a time; a second one
    // stays inactive (isActive() false).
    explicit SignalBridge(QObject* parent = nullptr);
    ~SignalBridge() override;

    bool isActive() const { return active_; }

signals:
    void terminationRequested(int signalNumber);

private:
    void onReadable();

    int fds_[2] = {-1, -1};
    std::unique_ptr<QSocketNotifier> notifier_;
    bool active_ = false;
    struct sigaction oldInt_ {};
    struct sigaction oldTerm_ {};
    struct sigaction oldHup_ {};
};

}  // namespace kestro
