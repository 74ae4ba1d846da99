#pragma once
// The user's command for noise events (--on-event): run for each start and
// end of an exceedance without a shell, the event's fields in its
// environment (eventEnvironment()). The poll cycle never waits for it: one
// runs at a time, the ones after it wait in a short queue (when that is full
// the oldest waiting one is dropped, and the log says so), and one that takes
// longer than its time limit is killed. Every failure goes to the log.

#include <QObject>
#include <QProcess>
#include <QStringList>
#include <QTimer>

#include <deque>
#include <functional>
#include <memory>

namespace kestro {

class EventCommand final : public QObject {
    Q_OBJECT
public:
    static constexpr int kTimeLimitMs = 30000;
    static constexpr size_t kQueueLimit = 16;
    using LogFn = std::function<void(const QString&)>;

    // command: the program and its arguments (see splitEventCommand()).
    EventCommand(QStringList command, LogFn log, int timeLimitMs = kTimeLimitMs, size_t queueLimit = kQueueLimit);
    // A command still running is killed: it must not outlive the recorder unseen.
    ~EventCommand() override;

    // One event's fields, NAME=VALUE.
    void post(const QStringList& environment);
    bool idle() const { return !process_ && queue_.empty(); }

signals:
    // Nothing runs and nothing waits.
    void drained();

private:
    void startNext();
    void done(const QString& failure);
    QString name() const;

    QStringList command_;
    LogFn log_;
    int timeLimitMs_;
    size_t queueLimit_;
    std::deque<QStringList> queue_;
    std::unique_ptr<QProcess> process_;
    QTimer limit_;
    bool killed_ = false;
};

// Splits COMMAND at blanks (double quotes keep words together; nothing is
// expanded) and finds
// the program: a name without a slash on PATH, a path relative to
// workingDir. An empty list, with *why, when there is no program to run.
QStringList splitEventCommand(const QString& command, const QString& workingDir, QString* why);

}  // namespace kestro
