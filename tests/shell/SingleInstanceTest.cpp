#include "shell/SingleInstance.h"

#include "shell/EventLog.h"
#include "shell/Messages.h"

#include <QFile>
#include <QLockFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

using namespace kestro;

namespace {

QByteArray ReadAll(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

TEST(SingleInstanceTest, SecondStartIsRefusedWithMessageAndOneLogLine) {
    QTemporaryDir dir;
    ManualClock clock;
    EventLog log(dir.path(), clock);
    SingleInstance first(dir.path()), second(dir.path());
    RecordingMessageSink messages;
    EXPECT_TRUE(EnsureSingleInstance(first, log, messages));
    EXPECT_TRUE(first.TryAcquire());  // asking again keeps it
    EXPECT_TRUE(messages.messages.isEmpty());
    EXPECT_FALSE(EnsureSingleInstance(second, log, messages));
    EXPECT_FALSE(second.IsHeld());
    ASSERT_EQ(messages.messages.size(), 1);
    EXPECT_EQ(messages.messages[0].text, "You can start the Measurement viewer only one time!");
    EXPECT_EQ(
        QString::fromUtf8(ReadAll(log.MainLogPath())),
        log.DateTimeText() + ": FormLoad.Error: Application started as second instance - Application stopped\r\n");
}

TEST(SingleInstanceTest, LockOfADeadProcessIsTakenOver) {
    QTemporaryDir dir;
    const pid_t dead = fork();  // a reaped child: a PID that surely belongs to no process
    if (dead == 0) _exit(0);
    waitpid(dead, nullptr, 0);
    {  // learn the lock file's layout from the class itself, then forge one for the dead PID
        QLockFile probe(dir.filePath("probe.lock"));
        ASSERT_TRUE(probe.tryLock(0));
        QList<QByteArray> lines = ReadAll(dir.filePath("probe.lock")).split('\n');
        ASSERT_EQ(lines[0].toLongLong(), qint64(getpid()));
        lines[0] = QByteArray::number(dead);
        QFile forged(dir.filePath("KestroRecorder.lock"));
        ASSERT_TRUE(forged.open(QIODevice::WriteOnly));
        forged.write(lines.join('\n'));
    }
    SingleInstance instance(dir.path());  // the file is fresh: the stale time alone would never free it
    EXPECT_TRUE(instance.TryAcquire());
    EXPECT_EQ(ReadAll(instance.LockPath()).split('\n').value(0).toLongLong(), qint64(getpid()));
}

}  // namespace
