#pragma once
// The user's command for noise events (--on-event): run for each start and
// end of an exceedance without a shell, the event's fields in its
// environment (eventEnvironment()). The poll cycle never waits for it: one
// runs at a time, the ones after it wait in a short queue (when that is full
// the oldest waiting one is dropped, and the log says so), and one that takes
// longer than its time limit is ended. Every failure goes to the log.
//
// Each command leads a process group of its own, so that what it starts ends
// with it: at the time limit and when this object goes (the end of the
// program) the whole group gets SIGTERM, and SIGKILL after a grace period.
// A program that leaves the group (setsid) is beyond reach, by its choice.
// Secrets never reach the command: KESTRO_*_TOKEN and *_PASSWORD are taken
// out of its environment, as is any variable that holds a value given to
// setSecrets().

#include <QObject>
#include <QProcess>
#include <QProcessEnvironment>
#include <QStringList>
#include <QTimer>

#include <deque>
#include <functional>
#include <memory>
#include <vector>

#include <sys/types.h>

namespace kestro {

class EventCommand final : public QObject {
    Q_OBJECT
public:
    static constexpr int kTimeLimitMs = 30000;
    static constexpr size_t kQueueLimit = 16;
    static constexpr int kGraceMs = 2000;  // from SIGTERM to SIGKILL
    using LogFn = std::function<void(const QString&)>;

    // command: the program and its arguments (see splitEventCommand()).
    EventCommand(QStringList command, LogFn log, int timeLimitMs = kTimeLimitMs, size_t queueLimit = kQueueLimit,
                 int graceMs = kGraceMs);
    // A command still running is ended with its group (waiting at most the
    // grace period): it must not outlive the recorder unseen.
    ~EventCommand() override;

    // Values no command may see, under whatever name (the serve token, the MQTT password).
    void setSecrets(const QStringList& values);

    // One event's fields (eventEnvironment()), added to the recorder's environment.
    void post(const QProcessEnvironment& event);
    bool idle() const { return !process_ && queue_.empty(); }

signals:
    // Nothing runs and nothing waits.
    void drained();

private:
    void startNext();
    void done(const QString& failure);
    QString name() const;
    // SIGTERM to the group now, SIGKILL after the grace period.
    void endGroup(pid_t group);

    QStringList command_;
    LogFn log_;
    int timeLimitMs_;
    size_t queueLimit_;
    int graceMs_;
    QStringList secrets_;
    std::deque<QProcessEnvironment> queue_;
    std::unique_ptr<QProcess> process_;
    QTimer limit_;
    pid_t group_ = 0;  // the running command's process group
    // Groups sent SIGTERM that get SIGKILL when their grace period is over.
    std::vector<pid_t> ending_;
    bool killed_ = false;
};

// Splits COMMAND at blanks (double quotes keep words together; nothing is
// expanded) and finds
// the program: a name without a slash on PATH, a path relative to
// workingDir. An empty list, with *why, when there is no program to run.
QStringList splitEventCommand(const QString& command, const QString& workingDir, QString* why);

}  // namespace kestro
