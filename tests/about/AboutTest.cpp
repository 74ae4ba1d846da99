#include "about/frmAbout.h"
#include "settings/cRegistry.h"
#include "shell/EventLog.h"
#include "shell/Messages.h"
#include "support/ManualClock.h"
#include "support/RecordingMessageSink.h"

#include <QFile>
#include <QLabel>
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

class About : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(tmp.isValid());
        launcher.candidates = {"hardinfo", "kinfocenter"};
        launcher.findExecutable = [this](const QString& name) {
            return onPath.contains(name) ? "/usr/bin/" + name : QString();
        };
        launcher.fileExists = [this](const QString& path) {
            return existing.contains(path);
        };
        launcher.startDetached = [this](const QString& program) {
            started << program;
            return !refused.contains(program);
        };
    }
    void writeMachine(const QByteArray& json) {
        QFile f(files.localMachine);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(json);
    }
    QByteArray journal() const {
        QFile f(tmp.filePath("SoundJournal.log"));
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }
    QByteArray entry(int errNo) const {
        return (log.dateTimeText() + ": StartSysInfo.Error: " + QString::number(errNo) + "\r\n\r\n").toUtf8();
    }
    frmAbout* make() { return new frmAbout(log, messages, files, launcher); }

    QTemporaryDir tmp;
    ManualClock clock;
    EventLog log{tmp.path(), clock};
    RegistryFiles files{tmp.filePath("user.json"), tmp.filePath("machine.json")};
    RecordingMessageSink messages;
    SysInfoLauncher launcher;
    QStringList onPath, existing, refused, started;
};

TEST_F(About, SysInfoStartsTheNamedProgramOrLogsWhyNot) {
    const QString exe = "/opt/msinfo/msinfo32", dirExe = "/opt/shared/MSINFO32.EXE";
    const QString hard = "/usr/bin/hardinfo", kinfo = "/usr/bin/kinfocenter";
    const struct {
        const char* what;
        QByteArray machine;
        QStringList exists, refuse, onPath, started;
        int logged;  // -1: no entry
    } cases[] = {
        {"nothing available", "{}", {}, {}, {}, {}, 0},
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
        QFile::remove(tmp.filePath("SoundJournal.log"));
        writeMachine(c.machine);
        existing = c.exists;
        refused = c.refuse;
        onPath = c.onPath;
        started.clear();
        messages.messages.clear();

        std::unique_ptr<frmAbout> box(make());
        box->cmdSysInfo->click();
        EXPECT_EQ(started, c.started);
        EXPECT_EQ(journal(), c.logged < 0 ? QByteArray() : entry(c.logged));
        ASSERT_EQ(messages.messages.size(), c.logged < 0 ? 0 : 1);
        if (c.logged >= 0) {
            EXPECT_EQ(messages.messages[0].text, kUnavailable);
        }
        EXPECT_FALSE(QFile::exists(log.mainLogPath()));  // the journal, not the event log
        EXPECT_FALSE(QFile::exists(files.currentUser));
    }
}

TEST_F(About, GetKeyValueReadsNumbersAsDecimalFromTheMachineStoreOnly) {
    writeMachine(R"({"SOFTWARE\\Vendor": {"Number": {"type": 4, "value": 4660}}})");
    std::unique_ptr<frmAbout> box(make());
    QString out;
    EXPECT_TRUE(box->GetKeyValue(HKEY_LOCAL_MACHINE_, "SOFTWARE\\Vendor", "Number", &out));
    EXPECT_EQ(out, "4660");
    EXPECT_FALSE(box->GetKeyValue(HKEY_LOCAL_MACHINE_, "SOFTWARE\\Vendor", "Missing", &out));
    EXPECT_EQ(out, "");
    EXPECT_FALSE(box->GetKeyValue(HKEY_CURRENT_USER_, "SOFTWARE\\Vendor", "Number", &out));
}

}  // namespace
}  // namespace kestro::test
