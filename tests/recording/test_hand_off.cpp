#include "RecorderFixture.h"

#include <QSignalSpy>

#include <fcntl.h>

#include <cstdio>
#include <map>

namespace kestro::test {
namespace {

using HandOffTest = RecorderTest;

// The first tick after arming starts the slow file; a later tick with fast
// samples only starts the fast file and leaves the slow one alone.
TEST_F(HandOffTest, FirstTicksAfterArming) {
    Arm();
    Slow(653);
    Slow(654, 1);
    Slow(5);
    ASSERT_EQ(ps.RecordState, 2);
    std::vector<MeasurementRecord> arrived;
    for (const SampleSeries::Entry& e : ps.SlowBuffer.Pending())
        arrived.push_back(e.Sample);
    QSignalSpy restarts(rec.get(), &SeriesRecorder::slowSeriesStarted);
    Tick();
    EXPECT_EQ(rec->LastSlowRecordNo, 1);
    EXPECT_EQ(rec->LocalSlowCount(), 3);
    EXPECT_EQ(rec->LocalSlowBuffer[0], ps.GetSlowRecord(0));
    for (int i = 1; i <= 3; ++i)
        EXPECT_EQ(rec->LocalSlowBuffer[i], arrived[size_t(i - 1)]) << i;
    EXPECT_TRUE(ps.SlowBuffer.Pending().empty()) << "handed off: the module buffer lets them go";
    ASSERT_EQ(rec->RecordFiles.size(), 2u);
    EXPECT_EQ(rec->SlowFileName, InRec("NoiseData_LP_20260305_140327.dat"));
    EXPECT_EQ(rec->RecordFiles[1].Start, arrived[0].Timestamp);
    const QByteArray slow("14:03:27,250; 65,3\r\n14:03:27,350; 65,4\r\n14:03:27,450; 0,5\r\n");
    EXPECT_EQ(ReadFile(rec->SlowFileName), slow);
    EXPECT_EQ(restarts.count(), 1) << "time axis restarted for the series";
    EXPECT_EQ(FilesInRec().size(), 1) << "no fast file without fast samples";

    Feed("p 49C350000\r");  // 1 600 000 linear: 62.04 dB
    Feed("p 447A00004\r");  // 1000 linear, overflow
    Tick();
    EXPECT_EQ(ReadFile(rec->SlowFileName), slow);
    EXPECT_EQ(rec->LocalFastCount(), 2);
    EXPECT_EQ(rec->FastFileName, InRec("NoiseData_LPF_20260305_140327.dat"));
    EXPECT_EQ(ReadFile(rec->FastFileName), QByteArray("14:03:27,550; 62,04\r\n14:03:27,650; 30,00\r\n"));
    EXPECT_NEAR(rec->RecordFiles[2].Duration * 86400.0, 0.1, 1e-6) << "the duration follows the newest fast sample";
    EXPECT_TRUE(rec->RecordErrorText().isEmpty());
}

TEST_F(HandOffTest, NewSeriesWhileRecordingGetsItsOwnFile) {
    Arm();
    Slow(653);
    Slow(654);
    Tick();
    Slow(655);
    Tick();
    const QString first = rec->SlowFileName;
    clock.Set({2026, 3, 4, 5, 14, 5, 0, 0});
    Slow(700, 0, "leq");  // a function change restarts the buffer: series 2
    Slow(701, 0, "leq");
    Tick();
    EXPECT_EQ(rec->LastSlowRecordNo, 2);
    EXPECT_EQ(rec->LocalSlowCount(), 2);
    ASSERT_EQ(rec->RecordFiles.size(), 3u);
    EXPECT_EQ(rec->SlowFileName, InRec("NoiseData_LEQ_20260305_140500.dat"));
    EXPECT_EQ(ReadFile(first), QByteArray("14:03:27,250; 65,3\r\n14:03:27,350; 65,4\r\n14:03:27,450; 65,5\r\n"));
    EXPECT_NEAR(rec->RecordFiles[1].Duration * 86400.0, 0.2, 1e-6) << "the old series keeps its last duration";
    EXPECT_EQ(ReadFile(rec->SlowFileName), QByteArray("14:05:00,000; 70,0\r\n14:05:00,100; 70,1\r\n"));
}

TEST_F(HandOffTest, SampleWithoutFlagsIsCountedButNotWritten) {
    Arm();
    Slow(600);
    Slow(610);
    Tick();
    MeasurementRecord gap = ps.GetSlowRecord(2);
    for (int16_t flags : {0, -1}) {
        gap.Flags = flags;
        ps.AddSlowRecord(gap);
    }
    Tick();
    EXPECT_EQ(rec->LocalSlowCount(), 4);
    EXPECT_EQ(rec->LocalSlowBuffer[3].Flags, 0);
    EXPECT_EQ(ReadFile(rec->SlowFileName), QByteArray("14:03:27,250; 60,0\r\n14:03:27,350; 61,0\r\n"));
}

TEST_F(HandOffTest, TwoSeriesInOneSecondShareAFileWithTwoHeaders) {
    s.IncludeHeaderLine = true;
    Arm();
    Slow(500);
    Tick();
    ps.BufferRestart = 1;
    Slow(510);
    Tick();
    ASSERT_EQ(rec->RecordFiles.size(), 3u);
    EXPECT_EQ(rec->RecordFiles[1].FileName, rec->RecordFiles[2].FileName);
    EXPECT_EQ(ReadFile(rec->SlowFileName),
              QByteArray("Time;NoiseValue\r\n14:03:27,250; 50,0\r\nTime;NoiseValue\r\n14:03:27,350; 51,0\r\n"));
    // A side file each: the first one's hashes cover the part of the files its series wrote.
    rec->EndStatistics();
    rec->RescueHeldLines();
    EXPECT_TRUE(QFile::exists(sideFilePath(rec->SlowFileName, 2)));
    const DirectoryVerdict v = verifyDirectory(RecDir());
    ASSERT_EQ(v.files.size(), 1u);
    EXPECT_EQ(verdictText(v.files[0].verdict), "OK") << v.files[0].detail.toStdString();
}

// Everything that entered the module buffers while armed ends up in a file,
// in order: irregular batches, series changes, fast samples, empty ticks.
TEST_F(HandOffTest, EverySampleReachesItsFileInOrder) {
    s.IncludeHeaderLine = true;
    s.IncludeOverflow = true;
    Arm();
    std::map<QString, QByteArray> expected;
    QByteArray pending;
    const char* keys[] = {"lp", "leq", "max"};
    for (int tick = 0, series = 0; tick < 200; ++tick) {
        if (tick % 67 == 66) series = (series + 1) % 3;  // the user changes the function: a new slow series
        for (int i = 0; i < (tick * 7) % 5; ++i) {
            const int level = (tick * 31 + i * 17) % 1500, status = (tick + i) % 9 == 0 ? 4 : 0;
            const SystemTime t = clock.Now();
            char line[64];
            std::snprintf(line, sizeof line, "%02d:%02d:%02d,%03d; %d,%d; %d\r\n", t.wHour, t.wMinute, t.wSecond,
                          t.wMilliseconds, level / 10, level % 10, status ? 1 : 0);
            pending += line;
            Slow(level, status, keys[series]);
        }
        if (tick % 3 == 0) Feed("p 447A00000\r");  // 30,00 dB
        const int32_t before = rec->LastSlowRecordNo;
        Tick();
        if (rec->LastSlowRecordNo != before) expected[rec->SlowFileName] += "Time;NoiseValue;Overflow\r\n";
        if (!pending.isEmpty()) expected[rec->SlowFileName] += pending;
        pending.clear();
        if (ps.RecordState == 2) {
            ASSERT_EQ(rec->LocalSlowCount(), ps.SlowCount());
            ASSERT_EQ(rec->LocalFastCount(), ps.FastCount());
        }
    }
    ASSERT_GE(expected.size(), 3u);
    for (const auto& [path, bytes] : expected)
        EXPECT_EQ(ReadFile(path), bytes) << path.toStdString();
    int fastLines = 0;  // the fast stream restarts with the function too
    for (const QString& f : FilesInRec())
        if (f.contains(QStringLiteral("_LPF_")))
            fastLines += ReadFile(RecDir() + QLatin1Char('/') + f).count("; 30,00; 0\r\n");
    EXPECT_EQ(fastLines, 67);
    EXPECT_TRUE(rec->RecordErrorText().isEmpty());
}

// Several series begin between two ticks (the meter is switched quickly, or a
// tick is late): each sample still lands in the file of its own series.
TEST_F(HandOffTest, SeriesThatBeginBetweenTwoTicksEachGetTheirFile) {
    Arm();
    Slow(600);
    Tick();
    Slow(601);
    Feed("p 447A00000\r");
    clock.AdvanceMs(1000);
    Slow(700, 0, "leq");
    Feed("q 447A00000\r");
    clock.AdvanceMs(1000);
    Slow(800, 0, "max");
    Feed("r 447A00000\r");
    Tick();
    ASSERT_EQ(FilesInRec(), QStringList({"NoiseData_LEQF_20260305_140329.dat", "NoiseData_LEQ_20260305_140329.dat",
                                         "NoiseData_LPF_20260305_140329.dat", "NoiseData_LP_20260305_140327.dat",
                                         "NoiseData_MAX_20260305_140329.dat", "NoiseData_RAW_20260305_140329.dat"}));
    EXPECT_EQ(ReadFile(InRec("NoiseData_LP_20260305_140327.dat")),
              QByteArray("14:03:27,250; 60,0\r\n14:03:27,350; 60,1\r\n"));
    EXPECT_EQ(ReadFile(InRec("NoiseData_LPF_20260305_140329.dat")), QByteArray("14:03:27,450; 30,00\r\n"));
    EXPECT_EQ(ReadFile(InRec("NoiseData_LEQ_20260305_140329.dat")), QByteArray("14:03:28,550; 70,0\r\n"));
    EXPECT_EQ(ReadFile(InRec("NoiseData_LEQF_20260305_140329.dat")), QByteArray("14:03:28,650; 30,00\r\n"));
    EXPECT_EQ(ReadFile(InRec("NoiseData_MAX_20260305_140329.dat")), QByteArray("14:03:29,750; 80,0\r\n"));
    EXPECT_EQ(ReadFile(InRec("NoiseData_RAW_20260305_140329.dat")), QByteArray("14:03:29,850; 60,00\r\n"));
    EXPECT_EQ(rec->RecordFiles.size(), 7u);
}

// Hours of one series: the local slow buffer keeps the graph's window, the
// fast one only its newest sample, the module buffers nothing handed off.
TEST_F(HandOffTest, LongSeriesKeepsOnlyWhatTheGraphShows) {
    // Memory is the question here, not the disk: lines go to /dev/null, which takes no sync.
    rec->SetDataDirectory(DataDir(), [](const QString&) { return ::open("/dev/null", O_WRONLY | O_CLOEXEC); });
    Arm(true);
    size_t retainedAfterOneHour = 0;
    for (int second = 0; second < 2 * 3600; ++second) {
        for (int tick = 0; tick < 10; ++tick) {
            ps.ReceiveEvent(tick == 0 ? "lp 650 0\rp 447A00000\r" : "p 447A00000\r");
            clock.AdvanceMs(100);
            Tick();
        }
        if (second == 3600) retainedAfterOneHour = rec->RetainedBytes();
    }
    const SampleWindow& slow = rec->LocalSlowBuffer;
    EXPECT_EQ(slow.Count(), 7200);
    EXPECT_LE(slow[slow.Count()].Instant - slow[slow.FirstIndex()].Instant, SeriesRecorder::kDefaultSlowRetentionMs);
    EXPECT_EQ(rec->LocalFastBuffer.FirstIndex(), rec->LocalFastBuffer.Count());
    EXPECT_TRUE(ps.SlowBuffer.Pending().empty());
    EXPECT_LE(rec->RetainedBytes(), retainedAfterOneHour + 4096) << "memory does not grow with the duration";
    EXPECT_NEAR(rec->RecordFiles[size_t(rec->SlowFileIndex)].Duration * 86400.0, 7199.0, 0.01);
}

// An hour of slow levels at most, also when the clock went back and the
// older stamps look newer than the newest.
TEST(SampleWindow, KeepsAnHourOfLevelsWhateverTheirStamps) {
    SampleWindow w;
    MeasurementRecord r;
    for (int32_t i = 1; i <= 40000; ++i) {
        r.Instant = 10000000 - i;
        w.Push(r);
        w.DropOlderThan(SeriesRecorder::kDefaultSlowRetentionMs);
    }
    EXPECT_EQ(w.Count(), 40000);
    EXPECT_EQ(w.FirstIndex(), 40000 - 36000 + 1);
}

// Beside every record file a statistics file: an Interval row as soon as an
// interval is over (also without a later sample), the Series row when the
// recording is disarmed, written like record lines.
TEST_F(HandOffTest, StatisticsFilesFollowTheSeries) {
    s.StatisticsInterval = 60;
    s.LimitLevel = 650;
    clock.Set({2026, 3, 4, 5, 14, 3, 0, 0});
    Arm();
    for (int second = 0; second < 150; ++second) {
        ps.ReceiveEvent(second < 60 ? "lp 600 0\r" : "lp 700 4\r");
        for (int tick = 0; tick < 10; ++tick) {
            clock.AdvanceMs(100);
            Tick();
        }
    }
    const QString stat = InRec("NoiseData_LP_20260305_140300_STAT.dat");
    QList<QByteArray> rows = ReadFile(stat).split('\n');
    ASSERT_EQ(rows.size(), 4) << ReadFile(stat).toStdString();  // header, 14:03 and 14:04, the rest
    EXPECT_TRUE(rows[0].startsWith("Kind;Start;End;Samples;Leq;Lmax;Lmin;L5;L10;L50;L90;L95;Overflow;Underflow"));
    EXPECT_TRUE(rows[1].startsWith("Interval;2026-03-05 14:03:00;2026-03-05 14:04:00;60;60,0;60,0;60,0;"));
    EXPECT_TRUE(rows[2].startsWith("Interval;2026-03-05 14:04:00;2026-03-05 14:05:00;60;70,0;")) << rows[2].data();
    EXPECT_TRUE(rows[2].endsWith(";60;0;1\r")) << "overflow counted, over the limit";
    rec->EndStatistics();
    rows = ReadFile(stat).split('\n');
    ASSERT_EQ(rows.size(), 6);
    EXPECT_TRUE(rows[3].startsWith("Interval;2026-03-05 14:05:00;")) << "the partial last interval";
    EXPECT_TRUE(rows[4].startsWith("Series;2026-03-05 14:03:00;2026-03-05 14:05:29;150;")) << rows[4].data();
}

}  // namespace
}  // namespace kestro::test
