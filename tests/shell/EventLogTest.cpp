#include "shell/EventLog.h"
#include "support/ManualClock.h"

#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace kestro;

namespace {

QByteArray readAll(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

TEST(EventLogTest, LinesAreAppendedInOrderInOneFormat) {
    QTemporaryDir dir;
    ManualClock clock;
    {
        EventLog first(dir.path() + "/", clock);  // a trailing separator must not double
        first.WriteLog("one");
        first.WriteLog("two");
    }
    EventLog second(dir.path(), clock);
    second.logError(": Interpreter: ", 6);
    second.errorSink()(": frmKestroRecord.Timer1.Error: ", 91);
    const QString dt = second.dateTimeText();
    EXPECT_EQ(second.mainLogPath(), dir.path() + "/R270_Kestro.log");
    EXPECT_EQ(QString::fromUtf8(readAll(second.mainLogPath())),
              "one\r\ntwo\r\n" + dt + ": Interpreter: 6\r\n" + dt + ": frmKestroRecord.Timer1.Error: 91\r\n");
}

TEST(EventLogTest, MissingDirectoryCreatesNothing) {
    QTemporaryDir dir;
    ManualClock clock;
    EventLog log(dir.filePath("no/such/dir"), clock);
    EXPECT_NO_THROW(log.WriteLog("lost"));
    EXPECT_NO_THROW(log.logError(": Interpreter: ", 6));
    EXPECT_NO_THROW(log.appendTo("SoundJournal.log", "lost"));
    EXPECT_FALSE(QFileInfo::exists(dir.filePath("no")));
}

}  // namespace
