#include "shell/EventLog.h"
#include "shell/FileTitle.h"
#include "shell/Instance.h"
#include "shell/LogDir.h"
#include "shell/Places.h"
#include "support/FileBytes.h"
#include "support/ManualClock.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <sys/stat.h>

using namespace kestro;

namespace {

// XDG variables count when absolute; every place of an instance is named after it.
TEST(PlacesTest, AnInstanceNamesEveryPlaceAfterItself) {
    for (const char* name : {"a", "ttyUSB1", "meter-2_B", "0123456789abcdefghijABCDEFGHIJ-_"})
        EXPECT_TRUE(isInstanceName(QString::fromUtf8(name))) << name;
    for (const char* name : {"", "a b", "../x", "a.b", "a@b", "m\u00e4ter", "0123456789abcdefghijABCDEFGHIJ-_x"})
        EXPECT_FALSE(isInstanceName(QString::fromUtf8(name))) << name;
    const PlaceEnvironment env{"/nohome/ann", "", "data", "/srv/state/", "/run/user/7"};
    const QStringList logFiles{"LANG=C", "LOGFILES=/var/log/k/"};
    const struct {
        const char* name;
        const char* folder;  // of the data and state places, the default records and the settings file
        const char* lock;
        const char* log;  // with LOGFILES; without it the state place
        std::optional<quint16> webPort;
    } rows[] = {
        {"", "KestroRecorder", "KestroRecorder.lock", "/var/log/k", 8080},
        {"ttyUSB1", "KestroRecorder@ttyUSB1", "KestroRecorder@ttyUSB1.lock", "/var/log/k/KestroRecorder@ttyUSB1", 8082},
        {"x-0", "KestroRecorder@x-0", "KestroRecorder@x-0.lock", "/var/log/k/KestroRecorder@x-0", 8081},
        {"x-9999", "KestroRecorder@x-9999", "KestroRecorder@x-9999.lock", "/var/log/k/KestroRecorder@x-9999", 18080},
        {"m10000", "KestroRecorder@m10000", "KestroRecorder@m10000.lock", "/var/log/k/KestroRecorder@m10000", {}},
        {"meter", "KestroRecorder@meter", "KestroRecorder@meter.lock", "/var/log/k/KestroRecorder@meter", {}},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.name);
        const Instance in(r.name, env);
        const QString folder = QString::fromLatin1(r.folder);
        EXPECT_EQ(in.stateDirectory(), "/srv/state/" + folder);
        EXPECT_EQ(in.dataDirectory(), "/nohome/ann/.local/share/" + folder);
        EXPECT_EQ(in.defaultRecordDirectory(), in.dataDirectory());  // no documents directory
        EXPECT_EQ(in.settingsFile("/c/KestroRecorder/registry.json"), "/c/" + folder + "/registry.json");
        EXPECT_EQ(in.lockFile(), "/run/user/7/" + QString::fromLatin1(r.lock));
        EXPECT_EQ(in.logDirectory(logFiles), r.log);
        EXPECT_EQ(in.logDirectory({"LANG=C"}), in.stateDirectory());
        EXPECT_EQ(defaultWebPort(r.name), r.webPort);
    }
    EXPECT_EQ(configDirectory(env), "/nohome/ann/.config/KestroRecorder");
    const Instance unset("m1", {"/nohome/ann", "", "", "", "relative"});
    EXPECT_EQ(unset.stateDirectory(), "/nohome/ann/.local/state/KestroRecorder@m1");
    EXPECT_EQ(unset.lockFile(), QDir::tempPath() + QString("/KestroRecorder@m1-%1.lock").arg(getuid()));
}

TEST(PlacesTest, RecordsGoToTheDocumentsDirectoryWhenThereIsOne) {
    QTemporaryDir tmp;
    const QString home = tmp.filePath("home");
    const QString config = home + "/.config";
    ASSERT_TRUE(QDir().mkpath(config));
    const QString data = home + "/.local/share/KestroRecorder";
    const struct {
        const char* what;
        const char* userDirs;  // nullptr: no user-dirs.dirs
        bool documentsExists;  // ~/Documents
        QString documents;     // expected, empty for none
    } rows[] = {
        {"no file, no ~/Documents", nullptr, false, ""},
        {"no file, ~/Documents there", nullptr, true, home + "/Documents"},
        {"configured below home", "XDG_DOCUMENTS_DIR=\"$HOME/Dokumente\"\n", false, home + "/Dokumente"},
        {"configured absolute", "# comment\nXDG_DOCUMENTS_DIR=\"/data/docs\"\n", true, "/data/docs"},
        {"disabled by pointing at home", "XDG_DOCUMENTS_DIR=\"$HOME/\"\n", true, ""},
        {"escapes", "XDG_DOCUMENTS_DIR=\"$HOME/My \\\"Docs\\\"\"\n", false, home + "/My \"Docs\""},
        {"last assignment wins", "XDG_DOCUMENTS_DIR=\"$HOME/a\"\nXDG_DOCUMENTS_DIR=\"$HOME/b\"\n", false, home + "/b"},
        {"unquoted or relative lines are ignored", "XDG_DOCUMENTS_DIR=$HOME/x\nXDG_DOCUMENTS_DIR=\"docs\"\n", true,
         home + "/Documents"},
        {"other directories do not count", "XDG_DESKTOP_DIR=\"$HOME/Desktop\"\n", false, ""},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.what);
        QFile::remove(config + "/user-dirs.dirs");
        if (r.userDirs) {
            QFile f(config + "/user-dirs.dirs");
            ASSERT_TRUE(f.open(QIODevice::WriteOnly));
            f.write(r.userDirs);
        }
        QDir(home + "/Documents").removeRecursively();
        if (r.documentsExists) ASSERT_TRUE(QDir().mkpath(home + "/Documents"));
        const PlaceEnvironment env{home, config, "", ""};
        EXPECT_EQ(documentsDirectory(env), r.documents);
        EXPECT_EQ(defaultRecordDirectory(env), r.documents.isEmpty() ? data : r.documents + "/KestroRecorder");
    }
}

TEST(PlacesTest, PrivatePathsAreCreatedForTheUserOnly) {
    QTemporaryDir tmp;
    const QString dir = tmp.filePath("state/deep/KestroRecorder");
    ASSERT_TRUE(makePrivatePath(dir));
    for (const QString& level : {tmp.filePath("state"), dir}) {
        struct stat st {};
        ASSERT_EQ(::stat(QFile::encodeName(level).constData(), &st), 0);
        EXPECT_EQ(st.st_mode & 0777, 0700u) << level.toStdString();
    }
    EXPECT_TRUE(makePrivatePath(dir));  // there already
    ASSERT_TRUE(QFile(tmp.filePath("file")).open(QIODevice::WriteOnly));
    EXPECT_FALSE(makePrivatePath(tmp.filePath("file/below")));
    EXPECT_FALSE(makePrivatePath(QString()));
}

TEST(FindLogDirTest, EnvironmentRules) {
    const QString exe = "/opt/kestro/bin";
    const struct {
        const char* label;
        QStringList environment;
        QString expected;
    } cases[] = {
        {"no entry", {"PATH=/usr/bin", "HOME=/root"}, exe},
        {"plain entry", {"PATH=/usr/bin", "LOGFILES=/x"}, "/x"},
        {"first of two wins", {"LOGFILES=/first", "LOGFILES=/second"}, "/first"},
        // The value starts at the tenth character, so here it keeps the "=".
        {"ninth character skipped", {"LOGFILESX=/y"}, "=/y"},
        {"ninth character is part of the name", {"LOGFILES_DIR=/z"}, "DIR=/z"},
        {"scan stops at an empty entry", {"A=1", "", "LOGFILES=/late"}, exe},
        {"empty value falls back", {"LOGFILES=", "LOGFILES=/second"}, exe},
        {"trailing separator removed", {"LOGFILES=/var/log/kestro/"}, "/var/log/kestro"},
        {"blanks kept", {"LOGFILES= /with blank "}, " /with blank "},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        EXPECT_EQ(findLogDir(c.environment, exe), c.expected);
    }
}

TEST(FileTitleTest, LastComponent) {
    const std::pair<const char*, const char*> cases[] = {{"/data/records/a.txt", "a.txt"},
                                                         {"/data/records/", ""},
                                                         {"C:\\Data\\a.txt", "a.txt"},
                                                         {"mixed\\dir/b.dat", "b.dat"},
                                                         {"", ""}};
    for (const auto& [path, title] : cases) {
        SCOPED_TRACE(path);
        EXPECT_EQ(FileTitle(path), QString(title));
    }
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
    EXPECT_EQ(QString::fromUtf8(fileBytes(second.mainLogPath())),
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
