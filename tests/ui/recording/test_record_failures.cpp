#include "RecorderFixture.h"

#include "ui/recording/RecordWriter.h"

#include <QSignalSpy>

#include <cerrno>
#include <cstring>
#include <functional>

namespace kestro::test {
namespace {

using RecordFailureTest = RecorderTest;

// The record directory is unusable in several ways while recording; ticks
// go on, the status text tells, and once it is usable the file holds every sample.
TEST_F(RecordFailureTest, UnusableDirectoryHoldsLinesUntilItIsBack) {
    struct Case {
        const char* name;
        std::function<void(const QString& dir)> breakIt;
        std::function<void(const QString& dir)> mendIt;
        int err;
        int sysErrno;
    };
    const Case cases[] = {
        {"missing", [](const QString& d) { QDir(d).removeRecursively(); },
         [](const QString& d) { QDir().mkpath(d); }, 76, ENOENT},
        {"parent is a file",
         [](const QString& d) {
             QDir(d).removeRecursively();
             QFile f(d);
             f.open(QIODevice::WriteOnly);
         },
         [](const QString& d) {
             QFile::remove(d);
             QDir().mkpath(d);
         },
         76, ENOTDIR},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const QString dir = tmp.path() + QStringLiteral("/") + QLatin1String(c.name);
        QDir().mkpath(dir);
        s.RecordDirectory = dir;
        ProtocolState p2{clock, log.ErrorSink()};
        Recorder r2(p2, s, clock, log);
        QSignalSpy spy(&r2, &Recorder::recordErrorChanged);
        p2.KestroState.DevFunction = 1;
        p2.KestroState.DevVariant = 1;
        p2.RecordState = 1;
        p2.BufferRestart = 3;
        const int logBefore = LogCount(TickError(c.err));
        auto slow = [&](int level) {
            p2.ReceiveEvent("lp " + std::to_string(level) + " 0\r");
            clock.AdvanceMs(100);
        };
        slow(600);
        r2.HandOff();
        const QString file = r2.SlowFileName;
        EXPECT_TRUE(r2.RecordErrorText().isEmpty());
        c.breakIt(dir);
        for (int t = 0; t < 5; ++t) {
            slow(610 + t);
            r2.HandOff();
        }
        EXPECT_EQ(r2.LocalSlowCount, 6);
        EXPECT_EQ(r2.RecordErrorText(),
                  QStringLiteral("Record file error: ") + file + QStringLiteral(": ") +
                      QString::fromLocal8Bit(std::strerror(c.sysErrno)));
        ASSERT_EQ(spy.count(), 1);
        EXPECT_EQ(spy.at(0).at(0).toString(), r2.RecordErrorText());
        // One log line for the failure, not one per tick.
        EXPECT_EQ(LogCount(TickError(c.err)), logBefore + 1);
        EXPECT_TRUE(r2.HasHeldLines());
        c.mendIt(dir);
        slow(700);
        r2.HandOff();
        EXPECT_TRUE(r2.RecordErrorText().isEmpty());
        ASSERT_EQ(spy.count(), 2);
        EXPECT_TRUE(spy.at(1).at(0).toString().isEmpty());
        EXPECT_FALSE(r2.HasHeldLines());
        // The line written before the failure went with the directory; all later ones are there.
        EXPECT_EQ(ReadFile(file), QByteArray("14:03:27,350; 61,0\r\n14:03:27,450; 61,1\r\n14:03:27,550; 61,2\r\n"
                                             "14:03:27,650; 61,3\r\n14:03:27,750; 61,4\r\n14:03:27,850; 70,0\r\n"));
        clock.Set({2026, 3, 4, 5, 14, 3, 27, 250});
    }
}

TEST_F(RecordFailureTest, DirectoryMissingFromTheStartLosesNothing) {
    s.RecordDirectory = tmp.path() + QStringLiteral("/later");
    s.IncludeHeaderLine = true;
    Arm();
    Slow(650);
    Slow(651);
    Tick();
    EXPECT_TRUE(rec->RecordErrorText().startsWith(QStringLiteral("Record file error: ") + s.RecordDirectory));
    EXPECT_EQ(LogCount(TickError(76)), 1);  // the header and the batch of the same file: one line
    Slow(652);
    Tick();
    Feed("p 447A00000\r");
    Tick();
    EXPECT_EQ(rec->Writer().HeldPaths().size(), 2);
    ASSERT_TRUE(QDir().mkpath(s.RecordDirectory));
    Slow(653);
    Tick();
    EXPECT_TRUE(rec->RecordErrorText().isEmpty());
    EXPECT_EQ(ReadFile(rec->SlowFileName), QByteArray("Time;NoiseValue\r\n14:03:27,250; 65,0\r\n"
                                                      "14:03:27,350; 65,1\r\n14:03:27,450; 65,2\r\n"
                                                      "14:03:27,650; 65,3\r\n"));
    // The fast file got no new samples this tick, yet its held lines went out.
    EXPECT_EQ(ReadFile(rec->FastFileName), QByteArray("Time;NoiseValue\r\n14:03:27,550; 30,00\r\n"));
    EXPECT_FALSE(rec->HasHeldLines());
}

TEST_F(RecordFailureTest, FullDiskIsReportedAndTheLinesComeLater) {
    Arm();
    Slow(650);
    // The series' file is a link to the full device.
    const QString name = InRec("NoiseData_LP_20260305_140327.dat");
    ASSERT_TRUE(QFile::link(QStringLiteral("/dev/full"), name));
    Tick();
    EXPECT_EQ(rec->SlowFileName, name);
    EXPECT_TRUE(rec->RecordErrorText().endsWith(QString::fromLocal8Bit(std::strerror(ENOSPC))));
    EXPECT_EQ(LogCount(TickError(61)), 1);
    Slow(651);
    Tick();
    ASSERT_TRUE(QFile::remove(name));  // space again
    Tick();
    EXPECT_TRUE(rec->RecordErrorText().isEmpty());
    EXPECT_EQ(ReadFile(name), QByteArray("14:03:27,250; 65,0\r\n14:03:27,350; 65,1\r\n"));
}

TEST_F(RecordFailureTest, RepeatedFailureIsLoggedAgainAfterAMinute) {
    s.RecordDirectory = tmp.path() + QStringLiteral("/nowhere");
    Arm();
    Slow(650);
    for (int i = 0; i < 20; ++i) {  // 2 s of ticks
        Tick();
        clock.AdvanceMs(100);
    }
    EXPECT_EQ(LogCount(TickError(76)), 1);
    clock.AdvanceMs(60000);
    Tick();
    Tick();
    EXPECT_EQ(LogCount(TickError(76)), 2);
    // Another error number on the same file is logged at once.
    ASSERT_TRUE(QDir().mkpath(s.RecordDirectory));
    ASSERT_TRUE(QDir().mkpath(rec->SlowFileName));  // a directory where the file should be
    Tick();
    EXPECT_EQ(LogCount(TickError(75)), 1);
    EXPECT_EQ(rec->LocalSlowCount, 1);
}

TEST_F(RecordFailureTest, HandOffWithoutAStartedSeriesTakesSamplesOver) {
    // Samples in the buffer but no series noticed: no file name to write to.
    ps.RecordState = 2;
    ps.KestroState.DevFunction = 1;
    MeasurementRecord r;
    r.Flags = 1;
    r.Level = 500;
    ps.AddSlowRecord(r);
    ps.AddSlowRecord(r);
    Tick();
    EXPECT_EQ(rec->LocalSlowCount, 2);
    EXPECT_EQ(LogCount(TickError(52)), 1);
    EXPECT_FALSE(rec->RecordErrorText().isEmpty());
    EXPECT_FALSE(rec->HasHeldLines());
    EXPECT_TRUE(FilesInRec().isEmpty());
}

}  // namespace
}  // namespace kestro::test
