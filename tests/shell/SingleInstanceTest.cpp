#include "shell/SingleInstance.h"

#include "shell/EventLog.h"
#include "shell/Messages.h"

#include <QFile>
#include <QLockFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <csignal>
#include <sys/wait.h>
#include <unistd.h>

using namespace kestro;

namespace {

QByteArray ReadAll(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// A PID that surely belongs to no process: a child that has been reaped.
pid_t DeadPid() {
    const pid_t pid = fork();
    if (pid == 0)
        _exit(0);
    waitpid(pid, nullptr, 0);
    return pid;
}

class SingleInstanceTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(dir.isValid()); }
    QTemporaryDir dir;
};

TEST_F(SingleInstanceTest, SecondLockInTheSameDirectoryIsRefused) {
    SingleInstance first(dir.path());
    SingleInstance second(dir.path());
    EXPECT_EQ(first.LockPath(), dir.filePath("KestroRecorder.lock"));
    EXPECT_TRUE(first.TryAcquire());
    EXPECT_TRUE(first.TryAcquire());  // asking again keeps it
    EXPECT_FALSE(second.TryAcquire());
    EXPECT_FALSE(second.IsHeld());
}

TEST_F(SingleInstanceTest, LockIsFreedWhenTheHolderGoes) {
    {
        SingleInstance first(dir.path());
        ASSERT_TRUE(first.TryAcquire());
    }
    SingleInstance later(dir.path());
    EXPECT_TRUE(later.TryAcquire());
}

TEST_F(SingleInstanceTest, LockOfADeadProcessIsTakenOver) {
    // Learn the lock file's layout from the class itself, then forge one for a dead PID.
    const QString probePath = dir.filePath("probe.lock");
    {
        QLockFile probe(probePath);
        ASSERT_TRUE(probe.tryLock(0));
        QList<QByteArray> lines = ReadAll(probePath).split('\n');
        ASSERT_GE(lines.size(), 3);
        ASSERT_EQ(lines[0].toLongLong(), qint64(getpid()));
        lines[0] = QByteArray::number(DeadPid());
        QFile forged(dir.filePath("KestroRecorder.lock"));
        ASSERT_TRUE(forged.open(QIODevice::WriteOnly));
        forged.write(lines.join('\n'));
    }
    {
        // The forged file is older than nothing: the stale time alone would never free it.
        SingleInstance instance(dir.path());
        EXPECT_TRUE(instance.TryAcquire());
        EXPECT_EQ(ReadAll(instance.LockPath()).split('\n').value(0).toLongLong(), qint64(getpid()));
    }
}

TEST_F(SingleInstanceTest, LockOfAnotherLiveProcessIsRespectedUntilItDies) {
    int ready[2];
    ASSERT_EQ(pipe(ready), 0);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        SingleInstance holder(dir.path());
        const char ok = holder.TryAcquire() ? '1' : '0';
        [[maybe_unused]] ssize_t n = write(ready[1], &ok, 1);
        pause();  // killed by the parent, leaving the lock file behind
        _exit(0);
    }
    char ok = 0;
    ASSERT_EQ(read(ready[0], &ok, 1), 1);
    close(ready[0]);
    close(ready[1]);
    ASSERT_EQ(ok, '1');

    SingleInstance mine(dir.path());
    EXPECT_FALSE(mine.TryAcquire());

    kill(child, SIGKILL);
    waitpid(child, nullptr, 0);
    EXPECT_TRUE(QFile::exists(mine.LockPath()));
    EXPECT_TRUE(mine.TryAcquire());
}

TEST_F(SingleInstanceTest, RefusedStartShowsMessageAndLogsOneLine) {
    ManualClock clock;
    EventLog log(dir.path(), clock);
    SingleInstance first(dir.path());
    SingleInstance second(dir.path());
    RecordingMessageSink messages;

    EXPECT_TRUE(EnsureSingleInstance(first, log, messages));
    EXPECT_TRUE(messages.messages.isEmpty());
    EXPECT_FALSE(QFile::exists(log.MainLogPath()));

    EXPECT_FALSE(EnsureSingleInstance(second, log, messages));
    ASSERT_EQ(messages.messages.size(), 1);
    EXPECT_EQ(messages.messages[0].text, "You can start the Measurement viewer only one time!");
    EXPECT_EQ(QString::fromUtf8(ReadAll(log.MainLogPath())),
              log.DateTimeText() +
                  ": FormLoad.Error: Application started as second instance - Application stopped\r\n");
}

}  // namespace
