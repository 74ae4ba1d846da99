// The hand-off from the module buffers to the record files, and the record
// files through a failing medium.

#include "RecorderFixture.h"
#include "statistics/RecordFileReader.h"
#include "statistics/StatisticsFile.h"

#include <QFileInfo>
#include <QJsonArray>
#include <QSignalSpy>

#include <fcntl.h>
#include <cstring>

namespace kestro::test {
namespace {

using HandOffTest = RecorderTest;

// The first tick after arming starts the slow file; a later tick with fast
// samples only starts the fast file and leaves the slow one alone.
TEST_F(HandOffTest, FirstTicksAfterArming) {
    arm();
    slow(653);
    slow(654, 1);
    slow(5);
    ASSERT_EQ(ps.RecordState(), 2);
    std::vector<MeasurementRecord> arrived;
    for (const SampleSeries::Entry& e : moduleOf(ps).SlowBuffer.pending())
        arrived.push_back(e.Sample);
    QSignalSpy restarts(rec.get(), &SeriesRecorder::slowSeriesStarted);
    tick();
    EXPECT_EQ(rec->LastSlowRecordNo, 1);
    EXPECT_EQ(rec->LocalSlowCount(), 3);
    EXPECT_EQ(rec->LocalSlowBuffer[0], ps.GetSlowRecord(0));
    for (int i = 1; i <= 3; ++i)
        EXPECT_EQ(rec->LocalSlowBuffer[i], arrived[size_t(i - 1)]) << i;
    EXPECT_TRUE(moduleOf(ps).SlowBuffer.pending().empty()) << "handed off: the module buffer lets them go";
    ASSERT_EQ(rec->RecordFiles.size(), 2u);
    EXPECT_EQ(rec->SlowFileName, inRec("NoiseData_LP_20260305_140327.dat"));
    EXPECT_EQ(rec->RecordFiles[1].Start, dateFromSystemTime(arrived[0].SysTime));
    const QByteArray slow("14:03:27,250; 65,3\r\n14:03:27,350; 65,4\r\n14:03:27,450; 0,5\r\n");
    EXPECT_EQ(readFile(rec->SlowFileName), slow);
    EXPECT_EQ(restarts.count(), 1) << "time axis restarted for the series";
    EXPECT_EQ(filesInRec().size(), 1) << "no fast file without fast samples";

    MeasurementRecord gap = ps.GetSlowRecord(3);  // samples without flags are counted, never written
    for (int16_t flags : {0, -1}) {
        gap.Flags = flags;
        ps.AddSlowRecord(gap);
    }
    feed("p 49C350000\r");  // 1 600 000 linear: 62.04 dB
    feed("p 447A00004\r");  // 1000 linear, overflow
    tick();
    EXPECT_EQ(rec->LocalSlowCount(), 5);
    EXPECT_EQ(readFile(rec->SlowFileName), slow);
    EXPECT_EQ(rec->LocalFastCount(), 2);
    EXPECT_EQ(rec->FastFileName, inRec("NoiseData_LPF_20260305_140327.dat"));
    EXPECT_EQ(readFile(rec->FastFileName), QByteArray("14:03:27,550; 62,04\r\n14:03:27,650; 30,00\r\n"));
    EXPECT_NEAR(rec->RecordFiles[2].Duration * 86400.0, 0.1, 1e-6) << "the duration follows the newest fast sample";
    EXPECT_TRUE(rec->recordErrorText().isEmpty());
}

// Fast values wait for the first level: the fast file is still named, and its
// series started, by its first line, also when midnight passed meanwhile; the
// reader dates every line from that name.
struct FirstLine {
    SystemTime start;
    const char* fast;
    const char* slow;
};
class FirstLineName : public RecorderTest, public ::testing::WithParamInterface<FirstLine> {};

TEST_P(FirstLineName, NamesTheFileAndStartsTheSeries) {
    const FirstLine& c = GetParam();
    clock.set(c.start);
    arm();
    for (int i = 0; i < 20; ++i)
        feed("p 49C350000\r");
    slow(650);
    tick();
    const QString fast = inRec("NoiseData_") + QLatin1String(c.fast) + QStringLiteral(".dat");
    EXPECT_EQ(rec->FastFileName, fast);
    EXPECT_EQ(rec->SlowFileName, inRec("NoiseData_") + QLatin1String(c.slow) + QStringLiteral(".dat"));
    EXPECT_EQ(rec->RecordFiles[size_t(rec->FastFileIndex)].Start, dateFromSystemTime(c.start));
    std::vector<int64_t> read;
    ASSERT_TRUE(readRecordFile(fast, [&](const RecordSample& r, int64_t) { read.push_back(r.localMs); }).ok());
    ASSERT_EQ(read.size(), 20u);
    EXPECT_EQ(read.front(), absoluteMilliseconds(c.start));
    EXPECT_EQ(read.back(), absoluteMilliseconds(c.start) + 1900);
}

INSTANTIATE_TEST_SUITE_P(
    BurstBeforeTheFirstLevel, FirstLineName,
    ::testing::Values(FirstLine{{2026, 12, 1, 7, 22, 28, 18, 304}, "LPF_20261207_222818", "LP_20261207_222820"},
                      FirstLine{{2026, 12, 1, 7, 23, 59, 59, 868}, "LPF_20261207_235959", "LP_20261208_000001"}));

// Several series begin between two ticks (the meter is switched quickly, or a
// tick is late): each sample still lands in the file of its own series.
TEST_F(HandOffTest, SeriesThatBeginBetweenTwoTicksEachGetTheirFile) {
    arm();
    slow(600);
    tick();
    slow(601);
    feed("p 447A00000\r");
    clock.advanceMs(1000);
    slow(700, 0, "leq");
    feed("q 447A00000\r");
    clock.advanceMs(1000);
    slow(800, 0, "max");
    feed("r 447A00000\r");
    tick();
    ASSERT_EQ(filesInRec(), QStringList({"NoiseData_LEQF_20260305_140328.dat", "NoiseData_LEQ_20260305_140328.dat",
                                         "NoiseData_LPF_20260305_140327.dat", "NoiseData_LP_20260305_140327.dat",
                                         "NoiseData_MAX_20260305_140329.dat", "NoiseData_RAW_20260305_140329.dat"}));
    EXPECT_EQ(readFile(inRec("NoiseData_LP_20260305_140327.dat")),
              QByteArray("14:03:27,250; 60,0\r\n14:03:27,350; 60,1\r\n"));
    EXPECT_EQ(readFile(inRec("NoiseData_LPF_20260305_140327.dat")), QByteArray("14:03:27,450; 30,00\r\n"));
    EXPECT_EQ(readFile(inRec("NoiseData_LEQ_20260305_140328.dat")), QByteArray("14:03:28,550; 70,0\r\n"));
    EXPECT_EQ(readFile(inRec("NoiseData_LEQF_20260305_140328.dat")), QByteArray("14:03:28,650; 30,00\r\n"));
    EXPECT_EQ(readFile(inRec("NoiseData_MAX_20260305_140329.dat")), QByteArray("14:03:29,750; 80,0\r\n"));
    EXPECT_EQ(readFile(inRec("NoiseData_RAW_20260305_140329.dat")), QByteArray("14:03:29,850; 60,00\r\n"));
    EXPECT_EQ(rec->RecordFiles.size(), 7u);
    EXPECT_NEAR(rec->RecordFiles[1].Duration * 86400.0, 0.1, 1e-6) << "an ended series keeps its last duration";
}

// Hours of one series: the local slow buffer keeps the graph's window, the
// fast one only its newest sample, the module buffers nothing handed off.
TEST_F(HandOffTest, LongSeriesKeepsOnlyWhatTheGraphShows) {
    // Memory is the question here, not the disk: lines go to /dev/null, which takes no sync.
    rec->setStateDirectory(dataDir(), [](const QString&) { return ::open("/dev/null", O_WRONLY | O_CLOEXEC); });
    arm(true);
    size_t retainedAfterOneHour = 0;
    for (int second = 0; second < 2 * 3600; ++second) {
        for (int t = 0; t < 10; ++t) {
            ps.receiveEvent(t == 0 ? "lp 650 0\rp 447A00000\r" : "p 447A00000\r");
            clock.advanceMs(100);
            tick();
        }
        if (second == 3600) retainedAfterOneHour = rec->retainedBytes() + ps.retainedBytes();
    }
    const SampleWindow& slow = rec->LocalSlowBuffer;
    EXPECT_EQ(slow.count(), 7200);
    EXPECT_LE(slow[slow.count()].Instant - slow[slow.firstIndex()].Instant, SeriesRecorder::kDefaultSlowRetentionMs);
    EXPECT_EQ(rec->LocalFastBuffer.firstIndex(), rec->LocalFastBuffer.count());
    EXPECT_TRUE(moduleOf(ps).SlowBuffer.pending().empty());
    EXPECT_LE(rec->retainedBytes() + ps.retainedBytes(), retainedAfterOneHour + 4096)
        << "memory does not grow with the duration";
    EXPECT_NEAR(rec->RecordFiles[size_t(rec->SlowFileIndex)].Duration * 86400.0, 7199.0, 0.01);
}

// An hour of slow levels at most, also when the clock went back and the
// older stamps look newer than the newest.
TEST(SampleWindow, KeepsAnHourOfLevelsWhateverTheirStamps) {
    SampleWindow w;
    MeasurementRecord r;
    for (int32_t i = 1; i <= 40000; ++i) {
        r.Instant = 10000000 - i;
        w.push(r);
        w.dropOlderThan(SeriesRecorder::kDefaultSlowRetentionMs);
    }
    EXPECT_EQ(w.count(), 40000);
    EXPECT_EQ(w.firstIndex(), 40000 - 36000 + 1);
}

// Beside every record file a statistics file: an Interval row as soon as an
// interval is over (also without a later sample), the Series row when the
// recording is disarmed, written like record lines.
TEST_F(HandOffTest, StatisticsFilesFollowTheSeries) {
    s.StatisticsInterval = 60;
    s.LimitLevel = 650;
    clock.set({2026, 3, 4, 5, 14, 3, 0, 0});
    arm();
    for (int second = 0; second < 150; ++second) {
        ps.receiveEvent(second < 60 ? "lp 600 0\r" : "lp 700 4\r");
        for (int t = 0; t < 10; ++t) {
            clock.advanceMs(100);
            tick();
        }
    }
    const QString stat = inRec("NoiseData_LP_20260305_140300_STAT.dat");
    QList<QByteArray> rows = readFile(stat).split('\n');
    ASSERT_EQ(rows.size(), 4) << readFile(stat).toStdString();  // header, 14:03 and 14:04, the rest
    EXPECT_TRUE(rows[1].startsWith("Interval;2026-03-05 14:03:00;2026-03-05 14:04:00;60;60,0;60,0;60,0;"));
    EXPECT_TRUE(rows[2].startsWith("Interval;2026-03-05 14:04:00;2026-03-05 14:05:00;60;70,0;")) << rows[2].data();
    EXPECT_TRUE(rows[2].endsWith(";60;0;1\r")) << "overflow counted, over the limit";
    rec->endStatistics();
    rows = readFile(stat).split('\n');
    ASSERT_EQ(rows.size(), 6);
    EXPECT_TRUE(rows[3].startsWith("Interval;2026-03-05 14:05:00;")) << "the partial last interval";
    EXPECT_TRUE(rows[4].startsWith("Series;2026-03-05 14:03:00;2026-03-05 14:05:29;150;")) << rows[4].data();
}

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
    EXPECT_FALSE(QFileInfo::exists(recDir())) << "made again behind the user's back";
    EXPECT_EQ(logCount(76), 1) << "one log line for the failure, not one per tick";
    clock.advanceMs(60000);
    slow(620);
    tick();
    EXPECT_EQ(logCount(76), 2) << "and again after a minute";
    const QStringList texts = rec->rescueHeldLines();
    const QString rescued = dataDir() + QStringLiteral("/rescued/NoiseData_LP_20260305_140327");
    const QString saved = rescued + QStringLiteral(".dat"), side = rescued + QStringLiteral("_INFO.json");
    // 600 and the headers of the statistics and events files went with the
    // folder before their sync, so they wait too.
    QStringList want{QStringLiteral("7 lines could not be written to %1 and were saved in %2").arg(file, saved)};
    // The events file's header is followed by its criteria row.
    for (const auto& [part, lines] : {std::pair{QStringLiteral("_STAT.dat"), 1}, {QStringLiteral("_EVENTS.dat"), 2}})
        want << QStringLiteral("%3 lines could not be written to %1 and were saved in %2")
                    .arg(QString(file).replace(QStringLiteral(".dat"), part), rescued + part)
                    .arg(lines);
    want << QStringLiteral("the side file %1 could not be written and was saved in %2").arg(sideFilePath(file), side);
    ASSERT_EQ(texts, want);
    EXPECT_TRUE(logText().contains(texts[0].toUtf8()));
    EXPECT_EQ(readFile(saved).count('\n'), 7);
    EXPECT_FALSE(rec->hasHeldLines());
    // Not complete, so not closed: the side file says where its lines are.
    EXPECT_TRUE(readFile(side).contains("\"state\": \"open\"")) << readFile(side).toStdString();
    EXPECT_TRUE(readFile(side).contains("\"lines_rescued\": 7"));
}

// The folder went and Setup chose another record directory (recording stops
// for Setup): the waiting lines go there, begun with their headers, the side
// file names the part left behind, and a folder made again under the old name
// gets nothing; the failure is shown until the lines are written.
TEST_F(RecordFailureTest, WaitingLinesFollowARecordDirectoryChosenAnew) {
    s.IncludeHeaderLine = true;
    arm();
    slow(600);
    tick();
    writerNs += 1'010'000'000;
    tick();
    const QString file = rec->SlowFileName, name = QFileInfo(file).fileName();
    ASSERT_TRUE(QDir(recDir()).removeRecursively());
    slow(610);
    tick();
    moduleOf(ps).PendingCalibration.push_back({0, clock.now(), 940, 0, kCodeCal, 0});
    tickEvidence();
    rec->endStatistics();
    ps.setRecordState(0);
    const QString chosen = tmp.path() + QStringLiteral("/chosen");
    ASSERT_TRUE(QDir().mkpath(chosen) && QDir().mkpath(recDir()));
    s.RecordDirectory = chosen + QLatin1Char('/');
    EXPECT_FALSE(rec->recordErrorText().isEmpty());
    rec->retryHeldLines();
    EXPECT_TRUE(rec->recordErrorText().isEmpty());
    const QString moved = chosen + QLatin1Char('/') + name;
    EXPECT_EQ(readFile(moved), QByteArray("Time;NoiseValue\r\n14:03:27,350; 61,0\r\n"));
    EXPECT_TRUE(readFile(statisticsFilePath(moved)).startsWith("Kind;Start;End;Samples;"));
    EXPECT_EQ(readFile(chosen + QStringLiteral("/calibration.csv")).count("Time;Level"), 1);
    const QJsonObject side = closedSideFile(moved);
    EXPECT_EQ(side[QLatin1String("state")], QStringLiteral("closed"));
    const QJsonObject before = side[QLatin1String("parts_before")].toArray().at(0).toObject();
    EXPECT_EQ(before[QLatin1String("record_file")], name);
    EXPECT_EQ(before[QLatin1String("directory")], recDir());
    EXPECT_TRUE(filesIn(recDir()).isEmpty()) << filesIn(recDir()).join(u' ').toStdString();
    EXPECT_TRUE(verifyDirectory(chosen).allGood());
}

// A series ends after its folder was renamed away and never comes back: the
// series recorded in the directory chosen next close on their own; one in a
// folder made again under the old name closes past it, naming it.
TEST_F(RecordFailureTest, ASeriesWhoseFolderWentHoldsUpNoLaterOne) {
    auto series = [&](const QString& dir) {
        s.RecordDirectory = dir;
        clock.advanceMs(5000);
        arm();
        slow(600);
        tick();
        slow(610);
        tick();
        writerNs += 1'010'000'000;
        tick();
        return rec->SlowFileName;
    };
    const QString closed = series(recDir());
    rec->endStatistics();
    ASSERT_EQ(closedSideFile(closed)[QLatin1String("state")], QStringLiteral("closed"));
    const QString first = series(recDir());
    ASSERT_TRUE(QDir().rename(recDir(), recDir() + QStringLiteral(".gone")));
    rec->endStatistics();
    const QString chosen = tmp.path() + QStringLiteral("/chosen");
    ASSERT_TRUE(QDir().mkpath(chosen));
    const QString second = series(chosen);
    rec->endStatistics();
    EXPECT_EQ(closedSideFile(second)[QLatin1String("state")], QStringLiteral("closed"));
    ASSERT_TRUE(QDir().mkpath(recDir()));
    const QString third = series(recDir());
    rec->endStatistics();
    const QJsonObject side = closedSideFile(third);
    EXPECT_TRUE(side[QLatin1String("previous")].isNull()) << "a new folder's chain starts anew";
    const QJsonObject passed = side[QLatin1String("not_closed_before")].toArray().at(0).toObject();
    EXPECT_EQ(passed[QLatin1String("side_file")], QFileInfo(sideFilePath(first)).fileName());
    EXPECT_TRUE(logText().contains(("the side file " + sideFilePath(first) + " cannot be closed").toUtf8()));
    for (const QString& dir : {chosen, recDir()})
        EXPECT_TRUE(verifyDirectory(dir).allGood()) << dir.toStdString();
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
    EXPECT_TRUE(logText().contains(("the 4 lines for " + file + " that waited in it are lost").toUtf8()));
}

// Deleted, cut short, replaced by a folder.
INSTANTIATE_TEST_SUITE_P(Outage, DamagedSpool, ::testing::Values(0, 1, 2));

TEST_F(RecordFailureTest, FullDiskIsReportedAndTheLinesComeLater) {
    const QString name = inRec("NoiseData_LP_20260305_140327.dat");
    bool full = true;  // the series' file lies on a full disk until space is made
    rec->setStateDirectory(dataDir(), [&](const QString& path) {
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
