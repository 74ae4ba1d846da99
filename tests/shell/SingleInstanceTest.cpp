// The process's own guards: one instance at a time, and signals that end it in order.

#include "shell/EventLog.h"
#include "shell/Messages.h"
#include "shell/SignalBridge.h"
#include "shell/SingleInstance.h"
#include "support/ManualClock.h"
#include "support/RecordingMessageSink.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>
#include <cerrno>
#include <csignal>
#include <cstring>

using namespace kestro;

namespace {

using Outcome = SingleInstance::Outcome;

QByteArray readAll(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// Another program instance: a child process that takes the lock and holds it
// until told to end.
class OtherInstance {
public:
    explicit OtherInstance(const QString& dir) {
        int ready[2], stop[2];
        if (::pipe(ready) != 0 || ::pipe(stop) != 0) return;
        pid_ = ::fork();
        if (pid_ == 0) {
            SingleInstance lock(dir);
            const char verdict = lock.tryAcquire() == Outcome::Acquired ? 'y' : 'n';
            [[maybe_unused]] ssize_t n = ::write(ready[1], &verdict, 1);
            char c;
            n = ::read(stop[0], &c, 1);
            ::_exit(0);
        }
        ::close(ready[1]);
        ::close(stop[0]);
        stop_ = stop[1];
        char verdict = 'n';
        held_ = ::read(ready[0], &verdict, 1) == 1 && verdict == 'y';
        ::close(ready[0]);
    }
    ~OtherInstance() { end(); }
    bool held() const { return held_; }
    // Ends the process without any clean-up of its own, as a crash would.
    void end() {
        if (pid_ <= 0) return;
        ::kill(pid_, SIGKILL);
        ::waitpid(pid_, nullptr, 0);
        ::close(stop_);
        pid_ = -1;
    }

private:
    pid_t pid_ = -1;
    int stop_ = -1;
    bool held_ = false;
};

TEST(SingleInstanceTest, OnlyARunningInstanceRefusesAndItsEndFreesTheLock) {
    QTemporaryDir dir;
    ManualClock clock;
    EventLog log(dir.path(), clock);
    RecordingMessageSink messages;
    {
        OtherInstance other(dir.path());
        ASSERT_TRUE(other.held());
        SingleInstance second(dir.path());
        EXPECT_FALSE(ensureSingleInstance(second, log, messages));
        EXPECT_FALSE(second.isHeld());
        EXPECT_EQ(messages.messages.size(), 1);  // its words and log line: the end-to-end test of a second start
        other.end();                             // killed: its lock file stays behind, its lock does not
        ASSERT_TRUE(QFile::exists(second.lockPath()));
        EXPECT_EQ(second.tryAcquire(), Outcome::Acquired);
        EXPECT_EQ(second.tryAcquire(), Outcome::Acquired);  // asking again keeps it
        EXPECT_EQ(readAll(second.lockPath()), QByteArray::number(qint64(getpid())) + "\n");
        EXPECT_FALSE(OtherInstance(dir.path()).held());
    }
    SingleInstance third(dir.path());  // the lock went with the object that held it
    EXPECT_TRUE(ensureSingleInstance(third, log, messages));
    EXPECT_EQ(messages.messages.size(), 1);
}

TEST(SingleInstanceTest, ALockThatCannotBeTakenStartsUnguardedAndSaysWhy) {
    QTemporaryDir dir;
    ASSERT_TRUE(QFile(dir.filePath("plain-file")).open(QIODevice::WriteOnly));
    ASSERT_TRUE(QDir().mkpath(dir.filePath("lock-is-a-dir/KestroRecorder.lock")));
    ASSERT_TRUE(QDir().mkpath(dir.filePath("link")));
    ASSERT_TRUE(QFile::link(dir.filePath("elsewhere"), dir.filePath("link/KestroRecorder.lock")));
    const struct {
        const char* what;
        QString lockDir;
        int err;
    } rows[] = {
        {"runtime directory missing", dir.filePath("no-such-dir"), ENOENT},
        {"runtime directory is a file", dir.filePath("plain-file"), ENOTDIR},
        {"lock file is a directory", dir.filePath("lock-is-a-dir"), EISDIR},
        {"lock file is a symlink", dir.filePath("link"), ELOOP},
    };
    ManualClock clock;
    EventLog log(dir.path(), clock);
    for (const auto& r : rows) {
        SCOPED_TRACE(r.what);
        QFile::remove(log.mainLogPath());
        RecordingMessageSink messages;
        SingleInstance instance(r.lockDir);
        EXPECT_TRUE(ensureSingleInstance(instance, log, messages));
        EXPECT_TRUE(messages.messages.isEmpty());
        EXPECT_EQ(QString::fromUtf8(readAll(log.mainLogPath())),
                  log.dateTimeText() + ": SingleInstance.Error: " + QString::number(r.err) +
                      " - no guard against a second instance, the lock file " + instance.lockPath() +
                      " cannot be used: " + QString::fromLocal8Bit(strerror(r.err)) + "\r\n");
    }
    EXPECT_FALSE(QFileInfo::exists(dir.filePath("elsewhere")));  // a planted link is never followed
}

template <typename Cond>
bool processUntil(Cond cond) {
    QDeadlineTimer deadline(5000);
    while (!cond() && !deadline.hasExpired())
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    return cond();
}

void (*currentHandler(int signo))(int) {
    struct sigaction sa {};
    sigaction(signo, nullptr, &sa);
    return sa.sa_handler;
}

TEST(SignalBridgeTest, SignalsArriveAsQtSignalAndHandlersAreRestored) {
    const auto termBefore = currentHandler(SIGTERM);
    const auto hupBefore = currentHandler(SIGHUP);
    {
        SignalBridge bridge;
        {
            SignalBridge second;  // only one at a time; the inactive one leaves the handler alone
            EXPECT_FALSE(second.isActive());
        }
        ASSERT_TRUE(bridge.isActive());
        QList<int> received;
        QObject::connect(&bridge, &SignalBridge::terminationRequested, [&](int s) { received << s; });
        raise(SIGTERM);
        ASSERT_TRUE(processUntil([&] { return !received.isEmpty(); }));
        raise(SIGTERM);  // signals before the loop runs: all are delivered
        raise(SIGINT);
        raise(SIGHUP);  // the terminal went away: an orderly end as well, not death
        ASSERT_TRUE(processUntil([&] { return received.size() >= 4; }));
        EXPECT_EQ(received, (QList<int>{SIGTERM, SIGTERM, SIGINT, SIGHUP}));
    }
    EXPECT_EQ(currentHandler(SIGTERM), termBefore);
    EXPECT_EQ(currentHandler(SIGHUP), hupBefore);
}

}  // namespace
