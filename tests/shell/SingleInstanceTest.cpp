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

// The lock is taken on its own opening of the lock file, so a second object
// in this process meets it as a second program instance would.
TEST(SingleInstanceTest, OnlyAHeldLockRefusesAndItsEndFreesIt) {
    QTemporaryDir dir;
    ManualClock clock;
    EventLog log(dir.path(), clock);
    RecordingMessageSink messages;
    {
        SingleInstance first(dir.path());
        QFile stale(first.lockPath());  // left behind by a crash: its lock went with its process
        ASSERT_TRUE(stale.open(QIODevice::WriteOnly));
        stale.write("4194304 crashed\n");
        stale.close();
        EXPECT_EQ(first.tryAcquire(), Outcome::Acquired);
        EXPECT_EQ(first.tryAcquire(), Outcome::Acquired);  // asking again keeps it
        EXPECT_EQ(readAll(first.lockPath()), QByteArray::number(qint64(getpid())) + "\n");
        SingleInstance second(dir.path());
        EXPECT_FALSE(ensureSingleInstance(second, log, messages));
        EXPECT_FALSE(second.isHeld());
        EXPECT_EQ(messages.messages.size(), 1);  // its words and log line: the end-to-end test of a second start
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
