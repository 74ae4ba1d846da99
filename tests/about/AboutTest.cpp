#include "about/AppIcon.h"
#include "about/frmAbout.h"
#include "kestro/Version.h"
#include "settings/cRegistry.h"
#include "shell/EventLog.h"
#include "shell/Messages.h"

#include <QApplication>
#include <QFile>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <ostream>

inline void PrintTo(const QString& s, std::ostream* os) { *os << '"' << s.toStdString() << '"'; }

namespace kestro::test {
namespace {

const QString kMsinfo = "SOFTWARE\\Microsoft\\Shared Tools\\MSINFO";
const QString kLocation = "SOFTWARE\\Microsoft\\Shared Tools Location";
const QString kUnavailable = QString::fromUtf8("Systeminformationen sind momentan nicht verfügbar");

class About : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(tmp.isValid());
        launcher.candidates = {"hardinfo", "kinfocenter"};
        launcher.findExecutable = [this](const QString& name) { return onPath.value(name); };
        launcher.fileExists = [this](const QString& path) { return existing.contains(path); };
        launcher.startDetached = [this](const QString& program) {
            started << program;
            return !refused.contains(program);
        };
    }

    // The machine-wide file as an administrator would leave it.
    void WriteMachine(const QByteArray& json) {
        QFile f(files.localMachine);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(json);
        f.close();
        ASSERT_TRUE(f.setPermissions(QFile::ReadOwner | QFile::ReadGroup | QFile::ReadOther));
    }
    QByteArray Journal() const {
        QFile f(tmp.filePath("SoundJournal.log"));
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }
    QByteArray Entry(int errNo) const {
        return (log.DateTimeText() + ": StartSysInfo.Error: " + QString::number(errNo) + "\r\n\r\n").toUtf8();
    }
    frmAbout* Make() { return new frmAbout(log, messages, files, launcher); }

    QTemporaryDir tmp;
    ManualClock clock;
    EventLog log{tmp.path(), clock};
    RegistryFiles files{tmp.filePath("user.json"), tmp.filePath("machine.json")};
    RecordingMessageSink messages;
    SysInfoLauncher launcher;
    QHash<QString, QString> onPath;
    QStringList existing;
    QStringList refused;
    QStringList started;
};

TEST_F(About, TextsComeFromTheBuildsVersion) {
    const struct {
        int major, minor, rev;
        const char* comment;
        const char* text;
    } cases[] = {
        {1, 0, 1, "", "Version 1.0.1  "},
        {2, 10, 0, "beta", "Version 2.10.0  beta"},
        {0, 0, 12, "", "Version 0.0.12  "},
    };
    for (const auto& c : cases)
        EXPECT_EQ(VersionText(c.major, c.minor, c.rev, c.comment), c.text);

    std::unique_ptr<frmAbout> box(Make());
    EXPECT_EQ(box->windowTitle(), "Info to " KESTRO_APP_TITLE);
    EXPECT_EQ(box->lblTitle->text(), KESTRO_APP_TITLE);
    EXPECT_EQ(box->lblVersion->text(),
              VersionText(KESTRO_VERSION_MAJOR, KESTRO_VERSION_MINOR, KESTRO_VERSION_PATCH, KESTRO_VERSION_COMMENT));
    EXPECT_EQ(box->lblCompanyname->text(), "ORVIA Messtechnik GmbH");
    EXPECT_EQ(box->cmdOK->text(), "OK");
    EXPECT_EQ(box->cmdSysInfo->text(), "&Systeminfo...");
    EXPECT_FALSE(box->Picture1->pixmap().isNull());
}

TEST_F(About, EnterAndEscapeBothClose) {
    for (Qt::Key key : {Qt::Key_Return, Qt::Key_Escape}) {
        QPointer<frmAbout> box = Make();
        box->show();
        box->activateWindow();
        QApplication::setActiveWindow(box);
        ASSERT_TRUE(QTest::qWaitForWindowActive(box));
        QTest::keyClick(box, key);
        EXPECT_FALSE(box->isVisible()) << key;
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        EXPECT_TRUE(box.isNull());
    }
    EXPECT_TRUE(started.isEmpty());
}

TEST_F(About, NothingToStartIsLoggedWithZeroAndReported) {
    std::unique_ptr<frmAbout> box(Make());
    box->cmdSysInfo->click();
    EXPECT_EQ(Journal(), Entry(0));
    ASSERT_EQ(messages.messages.size(), 1);
    EXPECT_EQ(messages.messages[0].text, kUnavailable);
    EXPECT_FALSE(QFile::exists(log.MainLogPath()));  // the sibling log, not the event log
    EXPECT_TRUE(started.isEmpty());

    box->StartSysInfo();
    EXPECT_EQ(Journal(), Entry(0) + Entry(0));
}

TEST_F(About, MachineValuesNameTheProgram) {
    const QString exe = "/opt/msinfo/msinfo32";
    const QString dir = "/opt/shared";
    const struct {
        const char* what;
        QByteArray machine;
        QStringList exists;
        QStringList refuse;
        QStringList onPath;  // names found on PATH
        QStringList started;
        int logged;  // -1: no entry
    } cases[] = {
        {"path value", R"({"SOFTWARE\\Microsoft\\Shared Tools\\MSINFO": {"PATH": {"type": 1, "value": "/opt/msinfo/msinfo32"}}})",
         {exe}, {}, {}, {exe}, -1},
        {"path value of a missing file",
         R"({"SOFTWARE\\Microsoft\\Shared Tools\\MSINFO": {"PATH": {"type": 1, "value": "/opt/msinfo/msinfo32"}}})",
         {}, {}, {}, {}, kErrFileNotFound},
        {"path value that will not start",
         R"({"SOFTWARE\\Microsoft\\Shared Tools\\MSINFO": {"PATH": {"type": 1, "value": "/opt/msinfo/msinfo32"}}})",
         {exe}, {exe}, {}, {exe}, kErrPermissionDenied},
        {"location value", R"({"SOFTWARE\\Microsoft\\Shared Tools Location": {"MSINFO": {"type": 1, "value": "/opt/shared"}}})",
         {dir + "/MSINFO32.EXE"}, {}, {}, {dir + "/MSINFO32.EXE"}, -1},
        {"location without the program",
         R"({"SOFTWARE\\Microsoft\\Shared Tools Location": {"MSINFO": {"type": 1, "value": "/opt/shared"}}})",
         {}, {}, {}, {}, 0},
        {"broken value, program on PATH",
         R"({"SOFTWARE\\Microsoft\\Shared Tools\\MSINFO": {"PATH": {"type": 1, "value": "/opt/msinfo/msinfo32"}}})",
         {"/usr/bin/kinfocenter"}, {}, {"kinfocenter"}, {"/usr/bin/kinfocenter"}, -1},
        {"first program on PATH refuses", "{}", {"/usr/bin/hardinfo", "/usr/bin/kinfocenter"},
         {"/usr/bin/hardinfo"}, {"hardinfo", "kinfocenter"}, {"/usr/bin/hardinfo", "/usr/bin/kinfocenter"}, -1},
        {"only program on PATH refuses", "{}", {"/usr/bin/hardinfo"}, {"/usr/bin/hardinfo"}, {"hardinfo"},
         {"/usr/bin/hardinfo"}, kErrPermissionDenied},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        QFile::remove(files.localMachine);
        QFile::remove(tmp.filePath("SoundJournal.log"));
        WriteMachine(c.machine);
        existing = c.exists;
        refused = c.refuse;
        onPath.clear();
        for (const QString& name : c.onPath)
            onPath.insert(name, "/usr/bin/" + name);
        started.clear();
        messages.messages.clear();

        std::unique_ptr<frmAbout> box(Make());
        box->cmdSysInfo->click();
        EXPECT_EQ(started, c.started);
        EXPECT_EQ(Journal(), c.logged < 0 ? QByteArray() : Entry(c.logged));
        EXPECT_EQ(messages.messages.size(), c.logged < 0 ? 0 : 1);
        if (!messages.messages.isEmpty()) {
            EXPECT_EQ(messages.messages[0].text, kUnavailable);
        }
        EXPECT_FALSE(QFile::exists(files.currentUser));
    }
}

TEST_F(About, GetKeyValueReadsTheMachineStoreOnly) {
    const QByteArray machine = R"({"SOFTWARE\\Vendor": {
        "Text": {"type": 1, "value": "C:\\Tools"},
        "Number": {"type": 4, "value": 4660},
        "Expand": {"type": 2, "value": "%HOME%/x"},
        "Bytes": {"type": 3, "value": "AQI="}
    }})";
    WriteMachine(machine);
    std::unique_ptr<frmAbout> box(Make());
    const struct {
        const char *key, *value;
        bool ok;
        QString out;
    } cases[] = {
        {"SOFTWARE\\Vendor", "Text", true, "C:\\Tools"},
        {"SOFTWARE\\Vendor", "Number", true, "4660"},
        {"SOFTWARE\\Vendor", "Expand", true, qEnvironmentVariable("HOME") + "/x"},
        {"SOFTWARE\\Vendor", "Bytes", true, "before"},
        {"SOFTWARE\\Vendor", "Missing", false, ""},
        {"SOFTWARE\\Other", "Text", false, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.value);
        QString out = "before";
        EXPECT_EQ(box->GetKeyValue(HKEY_LOCAL_MACHINE_, c.key, c.value, &out), c.ok);
        EXPECT_EQ(out, c.out);
    }
    // The current user's part is another root.
    QString out;
    EXPECT_FALSE(box->GetKeyValue(HKEY_CURRENT_USER_, "SOFTWARE\\Vendor", "Text", &out));
    QFile f(files.localMachine);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_EQ(f.readAll(), machine);
    EXPECT_FALSE(QFile::exists(files.currentUser));
}

TEST_F(About, PictureIsDrawnAtEveryIconSize) {
    for (int size : {16, 32, 64, 256}) {
        const QImage img = KestroAppImage(size);
        ASSERT_EQ(img.size(), QSize(size, size));
        // Opaque inside, transparent in the rounded corner.
        EXPECT_EQ(qAlpha(img.pixel(size / 2, size / 2)), 255) << size;
        EXPECT_EQ(qAlpha(img.pixel(0, 0)), 0) << size;
    }
    EXPECT_TRUE(KestroAppImage(0).isNull());
    const QIcon icon = KestroAppIcon();
    EXPECT_GE(icon.availableSizes().size(), 5);
    EXPECT_EQ(icon.pixmap(48).size(), QSize(48, 48));
}

}  // namespace
}  // namespace kestro::test
