#include "about/frmAbout.h"
#include "settings/cRegistry.h"
#include "shell/EventLog.h"
#include "support/FileBytes.h"
#include "support/ManualClock.h"
#include "support/RecordingMessageSink.h"

#include <QFile>
#include <QPushButton>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace kestro::test {
namespace {

const QString kUnavailable = QString::fromUtf8("Systeminformationen sind momentan nicht verfügbar");
const QByteArray kPathValue =
    R"({"SOFTWARE\\Microsoft\\Shared Tools\\MSINFO": {"PATH": {"type": 1, "value": "/opt/msinfo/msinfo32"}}})";
const QByteArray kLocationValue =
    R"({"SOFTWARE\\Microsoft\\Shared Tools Location": {"MSINFO": {"type": 1, "value": "/opt/shared"}}})";
const QByteArray kNumberValue =
    R"({"SOFTWARE\\Microsoft\\Shared Tools\\MSINFO": {"PATH": {"type": 4, "value": 4660}}})";
// The same value in the user's store names a program that is never there: it must not be asked.
const QByteArray kUserValue =
    R"({"SOFTWARE\\Microsoft\\Shared Tools\\MSINFO": {"PATH": {"type": 1, "value": "/home/u/msinfo"}}})";

void write(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(bytes);
}

TEST(About, SysInfoStartsTheNamedProgramOrLogsWhyNot) {
    const QString exe = "/opt/msinfo/msinfo32", dirExe = "/opt/shared/MSINFO32.EXE";
    const QString hard = "/usr/bin/hardinfo", kinfo = "/usr/bin/kinfocenter";
    const struct {
        const char* what;
        QByteArray machine;
        QStringList exists, refuse, onPath, started;
        int logged;  // -1: no entry
    } cases[] = {
        {"nothing available", "{}", {}, {}, {}, {}, 0},
        {"a number read as decimal", kNumberValue, {"4660"}, {}, {}, {"4660"}, -1},
        {"path value", kPathValue, {exe}, {}, {}, {exe}, -1},
        {"path value of a missing file", kPathValue, {}, {}, {}, {}, kErrFileNotFound},
        {"path value that will not start", kPathValue, {exe}, {exe}, {}, {exe}, kErrPermissionDenied},
        {"location value", kLocationValue, {dirExe}, {}, {}, {dirExe}, -1},
        {"location without the program", kLocationValue, {}, {}, {}, {}, 0},
        {"broken value, program on PATH", kPathValue, {kinfo}, {}, {"kinfocenter"}, {kinfo}, -1},
        {"first on PATH refuses", "{}", {hard, kinfo}, {hard}, {"hardinfo", "kinfocenter"}, {hard, kinfo}, -1},
        {"only one on PATH refuses", "{}", {hard}, {hard}, {"hardinfo"}, {hard}, kErrPermissionDenied},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        QTemporaryDir tmp;
        ManualClock clock;
        EventLog log{tmp.path(), clock};
        RegistryFiles files{tmp.filePath("user.json"), tmp.filePath("machine.json")};
        write(files.currentUser, kUserValue);
        write(files.localMachine, c.machine);
        RecordingMessageSink messages;
        QStringList started;
        SysInfoLauncher launcher{
            {"hardinfo", "kinfocenter"},
            [&](const QString& name) { return c.onPath.contains(name) ? "/usr/bin/" + name : QString(); },
            [&](const QString& path) { return c.exists.contains(path); },
            [&](const QString& program) {
                started << program;
                return !c.refuse.contains(program);
            }};
        frmAbout(log, messages, files, launcher).cmdSysInfo->click();
        EXPECT_EQ(started, c.started);
        const QString entry = log.dateTimeText() + ": StartSysInfo.Error: " + QString::number(c.logged) + "\r\n\r\n";
        EXPECT_EQ(fileBytes(tmp.filePath("SoundJournal.log")), c.logged < 0 ? QByteArray() : entry.toUtf8());
        EXPECT_EQ(messages.messages.size() == 1 && messages.messages[0].text == kUnavailable, c.logged >= 0);
        EXPECT_FALSE(QFile::exists(log.mainLogPath()));  // the journal, not the event log
        EXPECT_EQ(fileBytes(files.currentUser), kUserValue);
    }
}

}  // namespace
}  // namespace kestro::test
