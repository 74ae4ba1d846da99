#include "shell/Places.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <sys/stat.h>

using namespace kestro;

namespace {

TEST(PlacesTest, BaseDirectoriesFollowTheXdgRules) {
    const struct {
        const char* what;
        PlaceEnvironment env;
        QString data, state;
    } rows[] = {
        {"defaults below home", {"/home/ann", "", "", ""}, "/home/ann/.local/share", "/home/ann/.local/state"},
        {"variables win", {"/home/ann", "", "/srv/data", "/srv/state/"}, "/srv/data", "/srv/state"},
        {"relative variables count as unset",
         {"/home/ann", "", "data", "./state"},
         "/home/ann/.local/share",
         "/home/ann/.local/state"},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.what);
        // One folder of our own, never KestroRecorder/KestroRecorder.
        EXPECT_EQ(dataDirectory(r.env), r.data + "/KestroRecorder");
        EXPECT_EQ(stateDirectory(r.env), r.state + "/KestroRecorder");
    }
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

}  // namespace
