#pragma once
// A pseudo-terminal pair for driving the real serial code: the slave's path
// stands in for a serial device, the test talks on the master side.

#include <QByteArray>
#include <QString>

#include <functional>

namespace kestro::test {

class PtyPair {
public:
    PtyPair();  // check ok() before use
    ~PtyPair();
    PtyPair(const PtyPair&) = delete;
    PtyPair& operator=(const PtyPair&) = delete;

    bool ok() const { return master_ >= 0; }
    const QString& slavePath() const { return slavePath_; }
    bool Write(const QByteArray& bytes);
    // Collects what arrives on the master for waitMs, processing Qt events meanwhile
    // so that queued serial output gets written.
    QByteArray ReadFor(int waitMs);
    // Hangs the line up, as an unplugged adapter does.
    void CloseMaster();

private:
    int master_ = -1;
    int slave_ = -1;  // kept open so the line survives the port's close
    QString slavePath_;
};

// Processes events until pred holds or timeoutMs passes; returns pred().
bool WaitUntil(const std::function<bool()>& pred, int timeoutMs = 2000);

}  // namespace kestro::test
