#include "RecorderFixture.h"
#include "shell/AppendFile.h"

#include <QFileInfo>
#include <QSignalSpy>

#include <fcntl.h>
#include <cerrno>
#include <cstring>

namespace kestro::test {
namespace {

class RecordFailureTest : public RecorderTest {
protected:
    // A series under way when its folder is removed; n more lines wait. Returns its file.
    QString unplugDuringSeries(int n) {
        arm();
        slow(600);
        tick();
        EXPECT_TRUE(QDir(recDir()).removeRecursively());
        for (int t = 0; t < n; ++t) {
            slow(610 + t);
            tick();
        }
        return rec->SlowFileName;
    }
};

// The record directory vanishes while recording: ticks go on, the status text
// tells, one log line a minute; at the end the waiting lines go into the
// rescue folder under their file's name, and the log says how many and where.
TEST_F(RecordFailureTest, DirectoryRemovedWhileRecordingIsToldAndItsLinesRescued) {
    QSignalSpy spy(rec.get(), &SeriesRecorder::recordErrorChanged);
    const QString file = unplugDuringSeries(5);
    EXPECT_EQ(rec->LocalSlowCount(), 6);
    EXPECT_EQ(rec->recordErrorText(), QStringLiteral("Record file error: ") +
                                          QString::fromLocal8Bit(std::strerror(ENOENT)) + QStringLiteral(" \u2014 ") +
                                          file);
    EXPECT_EQ(spy.count(), 1);
    EXPECT_EQ(logCount(76), 1) << "one log line for the failure, not one per tick";
    clock.advanceMs(60000);
    slow(620);
    tick();
    EXPECT_EQ(logCount(76), 2) << "and again after a minute";
    const QStringList texts = rec->rescueHeldLines();
    const QString saved = dataDir() + QStringLiteral("/rescued/NoiseData_LP_20260305_140327.dat");
    const QString side = dataDir() + QStringLiteral("/rescued/NoiseData_LP_20260305_140327_INFO.json");
    ASSERT_EQ(texts,
              (QStringList{QStringLiteral("6 lines could not be written to %1 and were saved in %2").arg(file, saved),
                           QStringLiteral("the side file %1 could not be written and was saved in %2")
                               .arg(sideFilePath(file), side)}));
    EXPECT_TRUE(logText().contains(texts[0].toUtf8()));
    EXPECT_EQ(readFile(saved).count('\n'), 6);
    EXPECT_FALSE(rec->hasHeldLines());
    // Not complete, so not closed: the side file says where its lines are.
    EXPECT_TRUE(readFile(side).contains("\"state\": \"open\"")) << readFile(side).toStdString();
    EXPECT_TRUE(readFile(side).contains("\"lines_rescued\": 6"));
}

// The spool is removed, cut short or replaced during an outage: its lines are
// logged as lost, and once the folder is back the file gets every later line.
class DamagedSpool : public RecordFailureTest, public ::testing::WithParamInterface<int> {};

TEST_P(DamagedSpool, IsGivenUpAndWritingResumes) {
    const QString file = unplugDuringSeries(3);
    const QString spoolDir = dataDir() + QStringLiteral("/spool");
    const QString spool = spoolDir + QLatin1Char('/') + QFileInfo(file).fileName() + QStringLiteral(".0.spool");
    ASSERT_TRUE(GetParam() == 1 ? QFile(spool).resize(5) : QFile::remove(spool));
    ASSERT_TRUE(GetParam() != 2 || QDir().mkdir(spool));
    ASSERT_TRUE(QDir().mkpath(recDir()));
    tick();  // no new line: the drain alone finds the spool gone
    EXPECT_FALSE(rec->hasHeldLines());
    slow(700);
    tick();
    EXPECT_EQ(readFile(file), QByteArray("14:03:27,650; 70,0\r\n"));
    EXPECT_TRUE(filesIn(spoolDir).isEmpty());
    EXPECT_TRUE(logText().contains(("the 3 lines for " + file + " that waited in it are lost").toUtf8()));
}

// Deleted, cut short, replaced by a folder.
INSTANTIATE_TEST_SUITE_P(Outage, DamagedSpool, ::testing::Values(0, 1, 2));

TEST_F(RecordFailureTest, FullDiskIsReportedAndTheLinesComeLater) {
    const QString name = inRec("NoiseData_LP_20260305_140327.dat");
    bool full = true;  // the series' file lies on a full disk until space is made
    rec->setDataDirectory(dataDir(), [&](const QString& path) {
        return full && path == name ? ::open("/dev/full", O_WRONLY | O_CLOEXEC) : openForAppend(path);
    });
    QSignalSpy spy(rec.get(), &SeriesRecorder::recordErrorChanged);
    arm();
    slow(650);
    tick();
    EXPECT_EQ(rec->recordErrorReason(), QString::fromLocal8Bit(std::strerror(ENOSPC)));
    EXPECT_EQ(logCount(61), 1);
    slow(651);
    tick();
    full = false;
    tick();
    EXPECT_TRUE(rec->recordErrorText().isEmpty());
    EXPECT_EQ(spy.count(), 2) << "told when it fails and when it is over";
    EXPECT_EQ(readFile(name), QByteArray("14:03:27,250; 65,0\r\n14:03:27,350; 65,1\r\n"));
}

}  // namespace
}  // namespace kestro::test
