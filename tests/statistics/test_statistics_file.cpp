// The statistics file: its name, header and rows, and the recorder that
// writes it while samples are handed off.
#include "StatTestSupport.h"
#include "statistics/StatisticsFile.h"
#include "statistics/StatisticsRecorder.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <utility>
#include <vector>

namespace kestro {
namespace {

MeasurementRecord fast(int64_t localMs, double value, int16_t flags) {
    MeasurementRecord r;
    r.Flags = flags;
    r.SysTime = systemTimeFromAbsoluteMs(localMs);
    r.FastLevel = value;
    return r;
}

// A linear value whose K * log10 is exactly the given number in doubles.
double linearFor(double hundredths, double k) {
    double x = std::pow(10.0, hundredths / k);
    for (int i = 0; i < 100000 && k * std::log10(x) != hundredths; ++i)
        x = std::nextafter(x, k * std::log10(x) < hundredths ? HUGE_VAL : 0.0);
    return x;
}

// The one conversion of a fast value to the level its record line holds (the
// record format uses it too): rounded half to even, nothing without a
// logarithm (0, NaN) or outside the line's 16-bit hundredths. Flags 16 and 32
// (LPF, LEQF): powers, 10 log10; 64 (RAW): amplitudes, 20 log10.
TEST(SampleHundredths, AsTheRecordLineHoldsIt) {
    constexpr int32_t N = 0;  // no level
    const double nan = std::numeric_limits<double>::quiet_NaN(), inf = std::numeric_limits<double>::infinity();
    const struct {
        double exact;  // the value's k log10, exactly
        int16_t flags;
        int32_t hundredths;
    } cases[] = {{6500, 32, 6500},   {6000, 64, 6000},     {6505, 16, 6505},     {-301.03, 16, -301},
                 {6504.5, 32, 6504}, {6505.5, 16, 6506},   {12001.5, 64, 12002}, {-6504.5, 16, -6504},
                 {32767, 16, 32767}, {-32768, 16, -32768}, {32768, 16, N},       {-32769, 16, N},
                 {34000, 64, N},     {inf, 16, N},         {-inf, 16, N},        {nan, 16, N}};
    for (const auto& c : cases) {
        const double value = linearFor(c.exact, c.flags == 64 ? 2000 : 1000);
        int32_t h = N;
        EXPECT_EQ(sampleHundredths(fast(0, value, c.flags), true, &h), c.hundredths != N) << c.exact;
        EXPECT_EQ(h, c.hundredths) << c.exact;
    }
}

class Recorder : public ::testing::Test {
protected:
    std::vector<std::pair<QString, QByteArray>> writes;
    StatisticsRecorder::WriteFn collect = [this](const QString& p, const QByteArray& b) {
        writes.emplace_back(p, b);
    };
};

TEST_F(Recorder, WritesHeaderIntervalsAsTheyEndAndTheSeries) {
    StatisticsRecorder rec(StatisticsRecorder::Stream::Slow, collect);
    StatisticsConfig cfg;
    cfg.intervalSeconds = 60;
    cfg.limitTenths = 650;
    rec.setConfig(cfg);
    const QString path = QStringLiteral("/rec/NoiseData_LP_20260305_140327.dat");
    rec.startSeries(path, QStringLiteral("LP"));
    ASSERT_EQ(writes.size(), 1u);

    rec.addSample(slow(localMs(2026, 3, 5, 14, 3, 27, 250), 600));
    rec.addSample(slow(localMs(2026, 3, 5, 14, 3, 28, 250), 700, 2, 4));
    rec.addSample(slow(localMs(2026, 3, 5, 14, 3, 29, 250), 990, 0));  // Flags 0: no record line, not counted
    rec.advanceClock(systemTimeFromAbsoluteMs(localMs(2026, 3, 5, 14, 3, 59, 900)));
    EXPECT_EQ(writes.size(), 1u);
    // The interval is written by the tick that passes its end, not by the next sample.
    rec.advanceClock(systemTimeFromAbsoluteMs(localMs(2026, 3, 5, 14, 4, 0, 50)));
    ASSERT_EQ(writes.size(), 2u);
    EXPECT_EQ(rec.intervals().size(), 1u);

    // Settings changed during the series apply to the next one only.
    cfg.columnSeparator = QLatin1Char('\t');
    rec.setConfig(cfg);
    rec.addSample(slow(localMs(2026, 3, 5, 14, 4, 10), 500, 2, 1));
    rec.endSeries();
    QByteArray file;
    for (const auto& [p, bytes] : writes)
        file += p == writes[0].first ? bytes : QByteArray();
    EXPECT_EQ(file,
              QByteArray("Kind;Start;End;Samples;Leq;Lmax;Lmin;L5;L10;L50;L90;L95;Overflow;Underflow;OverLimit\r\n"
                         "Interval;2026-03-05 14:03:27;2026-03-05 14:04:00;2;67,4;70,0;60,0;70,0;70,0;70,0;60,0;60,0;"
                         "1;0;1\r\n"
                         "Interval;2026-03-05 14:04:00;2026-03-05 14:04:10;1;50,0;50,0;50,0;50,0;50,0;50,0;50,0;"
                         "50,0;0;1;0\r\n"
                         "Series;2026-03-05 14:03:27;2026-03-05 14:04:10;3;65,7;70,0;50,0;70,0;70,0;60,0;50,0;"
                         "50,0;1;1;1\r\n"));
    EXPECT_EQ(std::pair(rec.active(), rec.lastSeries().samples), std::pair(false, int64_t{3}));

    rec.startSeries(QStringLiteral("/rec/NoiseData_LP_20260305_140500.dat"), QStringLiteral("LP"));
    EXPECT_EQ(writes.back().second.left(11), QByteArray("Kind\tStart\t"));
    EXPECT_TRUE(rec.intervals().empty());
}

// The repeated hour of a Berlin autumn day in hourly intervals: its two rows,
// and the interval the clock set back ended, carry their UTC offsets.
TEST_F(Recorder, TheRepeatedHoursRowsCarryTheirOffsets) {
    StatisticsRecorder rec(StatisticsRecorder::Stream::Slow, collect);
    StatisticsConfig cfg;
    cfg.intervalSeconds = 3600;
    cfg.timeZone = "Europe/Berlin";
    rec.setConfig(cfg);
    rec.startSeries(QStringLiteral("/rec/NoiseData_LP_20261025_011000.dat"), QStringLiteral("LP"));
    for (const auto& [utcHour, minute] : {std::pair{23, 10}, {0, 10}, {0, 40}, {1, 10}, {1, 40}, {2, 10}}) {
        const int day = utcHour == 23 ? 24 : 25, offset = utcHour < 1 || day == 24 ? 2 : 1;
        MeasurementRecord r = slow(localMs(2026, 10, 25, (utcHour + offset) % 24, minute, 0), 600);
        r.Instant = localMs(2026, 10, day, utcHour, minute, 0) - kUnixEpochAbsoluteMs;
        rec.addSample(r);
    }
    rec.endSeries();
    QByteArray rows;
    for (const auto& [p, bytes] : writes)
        if (bytes.startsWith("Interval")) rows += bytes.split(';').mid(1, 3).join(';') + '\n';
    EXPECT_EQ(rows, QByteArray("2026-10-25 01:10:00;2026-10-25 02:00:00 +02:00;1\n"
                               "2026-10-25 02:00:00 +02:00;2026-10-25 02:00:00 +01:00;2\n"
                               "2026-10-25 02:00:00 +01:00;2026-10-25 03:00:00;2\n"
                               "2026-10-25 03:00:00;2026-10-25 03:10:00;1\n"));
}

}  // namespace
}  // namespace kestro
