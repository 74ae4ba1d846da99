#include "shell/EventLog.h"

#include <QDir>
#include <QFile>
#include <QLocale>
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

class EventLogTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(dir.isValid()); }
    QTemporaryDir dir;
    ManualClock clock;  // 2026-03-05 14:03:27.250
};

TEST_F(EventLogTest, LinesAreAppendedInOrderAcrossInstances) {
    {
        EventLog first(dir.path(), clock);
        first.WriteLog("one");
        first.WriteLog("two");
    }
    EventLog second(dir.path(), clock);
    second.WriteLog("three");
    EXPECT_EQ(second.MainLogPath(), dir.path() + "/R270_Kestro.log");
    EXPECT_EQ(ReadAll(second.MainLogPath()), QByteArray("one\r\ntwo\r\nthree\r\n"));
}

TEST_F(EventLogTest, MissingDirectoryCreatesNothing) {
    const QString missing = dir.filePath("no/such/dir");
    EventLog log(missing, clock);
    EXPECT_NO_THROW(log.WriteLog("lost"));
    EXPECT_NO_THROW(log.LogError(": Interpreter: ", 6));
    EXPECT_NO_THROW(log.AppendTo("SoundJournal.log", "lost"));
    EXPECT_FALSE(QFileInfo::exists(dir.filePath("no")));
}

TEST_F(EventLogTest, DateTimeTextFollowsTheClockAndLocale) {
    EventLog log(dir.path(), clock);
    const QString text = log.DateTimeText();
    const QLocale loc = QLocale::system();
    const QString date = loc.toString(QDate(2026, 3, 5), QLocale::ShortFormat) + " ";
    ASSERT_TRUE(text.startsWith(date)) << text.toStdString();
    const QString time = text.mid(date.size());
    EXPECT_EQ(time, time.trimmed());
    for (const char* part : {"14", "03", "27"})  // seconds included, whatever the locale's order
        EXPECT_TRUE(time.contains(part)) << time.toStdString();
    // Milliseconds are not shown; seconds are.
    clock.AdvanceMs(500);
    EXPECT_EQ(log.DateTimeText(), text);
    clock.AdvanceMs(500);
    EXPECT_NE(log.DateTimeText(), text);
}

TEST_F(EventLogTest, ErrorLinesAndSinkShareOneFormat) {
    EventLog log(dir.path(), clock);
    log.LogError(": frmKestroRecord.Timer1.Error: ", 91);
    const ErrorLogFn sink = log.ErrorSink();
    sink(": Interpreter: ", kErrOverflow);
    const QString dt = log.DateTimeText();
    EXPECT_EQ(QString::fromUtf8(ReadAll(log.MainLogPath())),
              dt + ": frmKestroRecord.Timer1.Error: 91\r\n" + dt + ": Interpreter: 6\r\n");
}

TEST_F(EventLogTest, AppendToWritesTextAsItStands) {
    EventLog log(dir.path() + "/", clock);  // a trailing separator must not double
    EXPECT_EQ(log.LogDir(), dir.path());
    log.AppendTo("SoundJournal.log", "x: StartSysInfo.Error: 53\r\n");
    log.AppendTo("SoundJournal.log", "\r\n");
    EXPECT_EQ(ReadAll(dir.filePath("SoundJournal.log")), QByteArray("x: StartSysInfo.Error: 53\r\n\r\n"));
    EXPECT_FALSE(QFileInfo::exists(log.MainLogPath()));
}

// Two processes appending at once must leave whole lines only.
TEST_F(EventLogTest, ConcurrentWritersNeverSplitLines) {
    constexpr int kLines = 300;
    const QString longText(200, QChar('a'));
    pid_t children[2];
    for (int c = 0; c < 2; ++c) {
        children[c] = fork();
        ASSERT_GE(children[c], 0);
        if (children[c] == 0) {
            EventLog log(dir.path(), clock);
            for (int i = 0; i < kLines; ++i)
                log.WriteLog(QString("child%1 %2 ").arg(c).arg(i) + longText);
            _exit(0);
        }
    }
    for (pid_t pid : children) {
        int status = 0;
        waitpid(pid, &status, 0);
        ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }
    const QList<QByteArray> lines = ReadAll(dir.filePath("R270_Kestro.log")).split('\n');
    ASSERT_EQ(lines.size(), 2 * kLines + 1);
    int next[2] = {0, 0};
    for (qsizetype i = 0; i + 1 < lines.size(); ++i) {
        const QByteArray& l = lines[i];
        ASSERT_TRUE(l.startsWith("child0 ") || l.startsWith("child1 ")) << l.constData();
        const int c = l[5] - '0';
        EXPECT_EQ(l, (QString("child%1 %2 ").arg(c).arg(next[c]) + longText + "\r").toUtf8());
        ++next[c];
    }
    EXPECT_EQ(next[0], kLines);
    EXPECT_EQ(next[1], kLines);
}

}  // namespace
