#include "RecorderFixture.h"

#include "ui/recording/LevelGraph.h"

#include <QTreeWidget>

#include <cstdio>
#include <map>

namespace kestro::test {
namespace {

using HandOffTest = RecorderTest;

QTreeWidget* List(Recorder& r) { return static_cast<QTreeWidget*>(r.fileListWidget()); }

TEST_F(HandOffTest, FirstTickAfterArmingWithThreeSlowSamples) {
    Arm();
    Slow(653);
    Slow(654, 1);
    Slow(5);
    ASSERT_EQ(ps.RecordState, 2);
    ASSERT_EQ(ps.SlowRecordNo, 1);
    Tick();
    EXPECT_EQ(rec->LastSlowRecordNo, 1);
    EXPECT_EQ(rec->LocalSlowCount, 3);
    EXPECT_EQ(rec->LocalSlowBuffer.size(), 1001u);
    for (int i = 0; i <= 3; ++i)
        EXPECT_EQ(rec->LocalSlowBuffer[i], ps.GetSlowRecord(i)) << i;
    ASSERT_EQ(rec->RecordFiles.size(), 2u);
    EXPECT_EQ(rec->SlowFileIndex, 1);
    EXPECT_EQ(rec->SlowFileName, InRec("NoiseData_LP_20260305_140327.dat"));
    EXPECT_EQ(rec->RecordFiles[1].FileTitle, QStringLiteral("NoiseData_LP_20260305_140327.dat"));
    EXPECT_EQ(rec->RecordFiles[1].Start, ps.GetSlowRecord(1).Timestamp);
    EXPECT_EQ(ReadFile(rec->SlowFileName),
              QByteArray("14:03:27,250; 65,3\r\n14:03:27,350; 65,4\r\n14:03:27,450; 0,5\r\n"));
    // The time axis was restarted for the series: 14:03:27 rounded down to 30 s.
    EXPECT_EQ(SecondsOfDay(rec->Graph().GraphStartTime), 14 * 3600 + 3 * 60);
    EXPECT_EQ(FilesInRec(), QStringList{QStringLiteral("NoiseData_LP_20260305_140327.dat")});
    EXPECT_EQ(LogCount(QStringLiteral("Error: 76")) + LogCount(QStringLiteral("Error: 52")), 0);
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
    ASSERT_EQ(ps.SlowRecordNo, 2);
    Tick();
    EXPECT_EQ(rec->LastSlowRecordNo, 2);
    EXPECT_EQ(rec->LocalSlowCount, 2);
    EXPECT_EQ(rec->LocalSlowBuffer[0], ps.GetSlowRecord(0));
    EXPECT_EQ(rec->LocalSlowBuffer[1], ps.GetSlowRecord(1));
    ASSERT_EQ(rec->RecordFiles.size(), 3u);
    EXPECT_EQ(rec->SlowFileIndex, 2);
    EXPECT_EQ(rec->SlowFileName, InRec("NoiseData_LEQ_20260305_140500.dat"));
    // The old series keeps its lines and its last duration (27.250 .. 27.450).
    EXPECT_EQ(ReadFile(first), QByteArray("14:03:27,250; 65,3\r\n14:03:27,350; 65,4\r\n14:03:27,450; 65,5\r\n"));
    EXPECT_NEAR(rec->RecordFiles[1].Duration * 86400.0, 0.2, 1e-6);
    EXPECT_EQ(ReadFile(rec->SlowFileName), QByteArray("14:05:00,000; 70,0\r\n14:05:00,100; 70,1\r\n"));
    ASSERT_EQ(List(*rec)->topLevelItemCount(), 2);
    EXPECT_EQ(List(*rec)->topLevelItem(0)->text(2), QStringLiteral("NoiseData_LEQ_20260305_140500.dat"));
    EXPECT_EQ(List(*rec)->currentItem(), List(*rec)->topLevelItem(0));
}

TEST_F(HandOffTest, TickWithFastSamplesOnly) {
    Arm();
    Slow(653);
    Tick();
    const QByteArray slowBefore = ReadFile(rec->SlowFileName);
    Feed("p 49C350000\r");  // 1 600 000 linear: 62.04 dB
    Feed("p 447A00004\r");  // 1000 linear, overflow
    Tick();
    EXPECT_EQ(ReadFile(rec->SlowFileName), slowBefore);
    EXPECT_EQ(rec->LocalFastCount, 2);
    ASSERT_EQ(rec->RecordFiles.size(), 3u);
    EXPECT_EQ(rec->FastFileName, InRec("NoiseData_LPF_20260305_140327.dat"));
    EXPECT_EQ(ReadFile(rec->FastFileName), QByteArray("14:03:27,350; 62,04\r\n14:03:27,450; 30,00\r\n"));
    // The duration follows the newest fast sample.
    EXPECT_NEAR(rec->RecordFiles[2].Duration * 86400.0, 0.1, 1e-6);
}

TEST_F(HandOffTest, EmptyTicksOpenTheSlowFileOnlyAndCreateItWithoutHeader) {
    Arm();
    ps.RecordState = 2;
    MeasurementRecord gap;
    gap.Flags = 0;
    gap.Timestamp = DateFromSystemTime(clock.Now());
    ps.SlowRecordNo = 1;
    ps.AddSlowRecord(gap);
    Tick();
    // The series' file exists from its first tick although no line was written.
    EXPECT_EQ(FilesInRec(), QStringList{QStringLiteral("NoiseData_UnknownType_20260305_140327.dat")});
    EXPECT_EQ(ReadFile(rec->SlowFileName), QByteArray());
    EXPECT_EQ(rec->LocalSlowCount, 1);
    Tick();
    Tick();
    EXPECT_EQ(FilesInRec().size(), 1);  // no fast file without fast samples
    EXPECT_EQ(rec->RecordFiles.size(), 2u);
}

TEST_F(HandOffTest, SampleWithoutFlagsIsCountedButNeitherWrittenNorDrawn) {
    Arm();
    Slow(600);
    Slow(610);
    Tick();
    MeasurementRecord gap = ps.GetSlowRecord(2);
    gap.Flags = 0;
    gap.Level = 1300;
    gap.Timestamp += 0.1 / 86400;
    gap.SysTime.wMilliseconds = 450;
    ps.AddSlowRecord(gap);
    MeasurementRecord neg = gap;
    neg.Flags = -1;  // negative: not written either
    ps.AddSlowRecord(neg);
    Tick();
    EXPECT_EQ(rec->LocalSlowCount, 4);
    EXPECT_EQ(rec->LocalSlowBuffer[3].Flags, 0);
    EXPECT_EQ(ReadFile(rec->SlowFileName), QByteArray("14:03:27,250; 60,0\r\n14:03:27,350; 61,0\r\n"));
    // Nothing at 130 dB on the curve.
    const Surface& g = rec->Graph().PictureOriginal;
    const QPoint p = g.ToPixel(GraphX(gap.Timestamp, rec->Graph().GraphStartTime), 1300).toPoint();
    for (int dy = -3; dy <= 3; ++dy)
        EXPECT_NE(g.image.pixelColor(p.x(), p.y() + dy), graph_colours::kCurve);
}

TEST_F(HandOffTest, LocalBufferGrowsInBlocksOfAThousand) {
    Arm();
    ps.RecordState = 2;
    ps.SlowRecordNo = 1;
    MeasurementRecord r;
    r.Flags = 1;
    r.SysTime = clock.Now();
    r.Timestamp = DateFromSystemTime(r.SysTime);
    for (int i = 0; i < 1000; ++i) {
        r.Level = int16_t(i);
        ps.AddSlowRecord(r);
    }
    Tick();
    EXPECT_EQ(rec->LocalSlowBuffer.size(), 1001u);
    r.Level = 4242;
    ps.AddSlowRecord(r);
    Tick();
    EXPECT_EQ(rec->LocalSlowCount, 1001);
    EXPECT_EQ(rec->LocalSlowBuffer.size(), 2001u);
    EXPECT_EQ(rec->LocalSlowBuffer[1001].Level, 4242);
    EXPECT_EQ(rec->LocalSlowBuffer[1000].Level, 999);
    const QList<QByteArray> lines = ReadFile(rec->SlowFileName).split('\n');
    ASSERT_EQ(lines.size(), 1002);  // 1001 lines and the empty rest after the last line end
    EXPECT_EQ(lines[1000], QByteArray("14:03:27,250; 424,2\r"));
}

TEST_F(HandOffTest, TwoSeriesInOneSecondShareAFileWithTwoHeaders) {
    s.IncludeHeaderLine = true;
    Arm();
    Slow(500);
    Tick();
    ps.BufferRestart = 1;
    Slow(510);
    Tick();
    EXPECT_EQ(rec->RecordFiles.size(), 3u);
    EXPECT_EQ(rec->RecordFiles[1].FileName, rec->RecordFiles[2].FileName);
    EXPECT_EQ(ReadFile(rec->SlowFileName),
              QByteArray("Time;NoiseValue\r\n14:03:27,250; 50,0\r\nTime;NoiseValue\r\n14:03:27,350; 51,0\r\n"));
    // A series with a single sample keeps duration 0.
    EXPECT_EQ(rec->RecordFiles[1].Duration, 0.0);
}

TEST_F(HandOffTest, SettingsAreReadForEveryLineButTheHeaderStays) {
    s.IncludeHeaderLine = true;
    s.IncludeOverflow = true;
    Arm();
    Slow(653, 4);
    Tick();
    s.TabularSeparator = QLatin1Char('\t');
    s.DecimalSeparator = QLatin1Char('.');
    s.IncludeSystemTime = false;
    Slow(654);
    Tick();
    EXPECT_EQ(ReadFile(rec->SlowFileName),
              QByteArray("Time;NoiseValue;Overflow\r\n14:03:27,250; 65,3; 1\r\n\t 65.4\t 0\r\n"));
}

TEST_F(HandOffTest, FastValueWithoutLogarithmKeepsItsLineAndIsLogged) {
    s.IncludeUnderflow = true;
    Arm();
    Slow(600);
    Feed("q 000000001\r");  // 0.0, underflow
    Feed("q BF8000000\r");  // -1.0
    Feed("q 3F8000000\r");  // 1.0
    Tick();
    EXPECT_EQ(rec->FastFileName, InRec("NoiseData_LEQF_20260305_140327.dat"));
    EXPECT_EQ(ReadFile(rec->FastFileName),
              QByteArray("14:03:27,350;; 1\r\n14:03:27,450;; 0\r\n14:03:27,550; 0,00; 0\r\n"));
    EXPECT_EQ(LogCount(TickError(5)), 2);
}

// Everything that entered the module buffers while armed ends up in a file,
// in order: irregular batches, series changes, fast samples, empty ticks.
TEST_F(HandOffTest, EverySampleReachesItsFileInOrder) {
    s.IncludeHeaderLine = true;
    s.IncludeOverflow = true;
    Arm();
    std::map<QString, QByteArray> expected;
    auto stamp = [&]() {
        const SystemTime t = clock.Now();
        char b[32];
        std::snprintf(b, sizeof b, "%02d:%02d:%02d,%03d", t.wHour, t.wMinute, t.wSecond, t.wMilliseconds);
        return std::string(b);
    };
    std::vector<std::pair<std::string, std::string>> pendingSlow;  // time, value text
    const char* keys[] = {"lp", "leq", "max"};
    int series = 0;
    std::string slowKey = "lp";
    for (int tick = 0; tick < 200; ++tick) {
        if (tick % 67 == 66) {  // the user changes the function: a new slow series
            series = (series + 1) % 3;
            slowKey = keys[series];
        }
        const int n = (tick * 7) % 5;  // 0..4 samples per tick
        for (int i = 0; i < n; ++i) {
            const int level = (tick * 31 + i * 17) % 1500;  // the wire carries no sign
            const int status = (tick + i) % 9 == 0 ? 4 : 0;
            const std::string t = stamp();
            Slow(level, status, slowKey.c_str());
            const int a = level < 0 ? -level : level;
            char v[32];
            std::snprintf(v, sizeof v, "; %s%d,%d; %d", level < 0 ? "-" : "", a / 10, a % 10, status ? 1 : 0);
            pendingSlow.emplace_back(t, v);
        }
        if (tick % 3 == 0)
            Feed("p 447A00000\r");  // 30,00 dB
        const int32_t before = rec->LastSlowRecordNo;
        Tick();
        if (rec->LastSlowRecordNo != before) {
            // header first in a new file
            expected[rec->SlowFileName] += "Time;NoiseValue;Overflow\r\n";
        }
        for (const auto& p : pendingSlow)
            expected[rec->SlowFileName] += QByteArray::fromStdString(p.first + p.second + "\r\n");
        pendingSlow.clear();
        if (ps.RecordState == 2) {
            ASSERT_EQ(rec->LocalSlowCount, ps.SlowCount);
            ASSERT_EQ(rec->LocalFastCount, ps.FastCount);
        }
    }
    ASSERT_GE(expected.size(), 3u);
    for (const auto& [path, bytes] : expected)
        EXPECT_EQ(ReadFile(path), bytes) << path.toStdString();
    // The fast stream restarts with the function too; every fast sample is in one of its files.
    int fastLines = 0;
    for (const QString& f : FilesInRec())
        if (f.contains(QStringLiteral("_LPF_"))) {
            const QList<QByteArray> lines = ReadFile(RecDir() + QLatin1Char('/') + f).split('\n');
            EXPECT_EQ(lines.first(), QByteArray("Time;NoiseValue;Overflow\r"));
            for (const QByteArray& l : lines)
                if (l.endsWith("; 30,00; 0\r"))
                    ++fastLines;
        }
    EXPECT_EQ(fastLines, 67);
    EXPECT_TRUE(rec->RecordErrorText().isEmpty());
}

}  // namespace
}  // namespace kestro::test
