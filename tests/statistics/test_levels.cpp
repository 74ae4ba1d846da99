// Level statistics against hand-computed values: Leq, percentile levels,
// rounding, day-evening-night levels, the time history.
#include "statistics/DayLevels.h"
#include "statistics/LevelAccumulator.h"
#include "statistics/TimeHistory.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

namespace kestro {
namespace {

LevelAccumulator Fill(const std::vector<int32_t>& hundredths) {
    LevelAccumulator a;
    for (int32_t h : hundredths)
        a.add(h, 0);
    return a;
}

std::vector<int32_t> Ramp(int32_t fromTenths, int32_t toTenths) {
    std::vector<int32_t> v;
    for (int32_t t = fromTenths; t <= toTenths; ++t)
        v.push_back(t * 10);
    return v;
}

TEST(Leq, HandComputedValues) {
    const struct {
        const char* what;
        std::vector<int32_t> hundredths;
        int64_t leqTenths;
    } cases[] = {
        {"60 and 70 dB", {6000, 7000}, 674},
        {"one level", {6530}, 653},
        {"equal levels", {5000, 5000, 5000, 5000}, 500},
        {"ten times louder counts ten times", {8000, 8000, 8000, 8000, 8000, 8000, 8000, 8000, 8000, 0}, 795},
        {"a loud event dominates", {4000, 4000, 4000, 10000}, 940},
        {"negative levels", {-1000, -1000}, -100},
        {"3 dB per doubling", {7000, 7000, 0, 0}, 670},
    };
    for (const auto& c : cases) {
        const LevelAccumulator a = Fill(c.hundredths);
        EXPECT_EQ(LevelTenths(a.leq()), c.leqTenths) << c.what << " " << a.leq();
    }
}

TEST(Leq, NoSamplesHasNoLevel) {
    LevelAccumulator a;
    a.addSkipped();
    IntervalResult r;
    a.fill(r, 700);
    EXPECT_EQ(r.samples, 0);
    EXPECT_EQ(r.skipped, 1);
    EXPECT_TRUE(std::isnan(r.leq) && std::isnan(r.l90));
    EXPECT_FALSE(r.overLimit);
}

// LN is the level reached by N % of the samples, counted from the loudest.
TEST(PercentileLevels, UniformDistributions) {
    const struct {
        const char* what;
        std::vector<int32_t> hundredths;
        int32_t l5, l10, l50, l90, l95;
    } cases[] = {
        {"50.0..59.9 dB in 0.1 dB steps", Ramp(500, 599), 595, 590, 550, 510, 505},
        {"0.0..99.9 dB", Ramp(0, 999), 950, 900, 500, 100, 50},
        {"two levels", {6000, 7000}, 700, 700, 700, 600, 600},
        {"one level", {4210}, 421, 421, 421, 421, 421},
        {"hundredths round to the nearest tenth", {6504, 6505, 6505, 6505}, 651, 651, 651, 650, 650},
        {"beyond the histogram: end bins", {-9000, 25000}, 2000, 2000, 2000, -500, -500},
    };
    for (const auto& c : cases) {
        const LevelAccumulator a = Fill(c.hundredths);
        EXPECT_EQ(a.exceededTenths(5), c.l5) << c.what;
        EXPECT_EQ(a.exceededTenths(10), c.l10) << c.what;
        EXPECT_EQ(a.exceededTenths(50), c.l50) << c.what;
        EXPECT_EQ(a.exceededTenths(90), c.l90) << c.what;
        EXPECT_EQ(a.exceededTenths(95), c.l95) << c.what;
    }
}

TEST(PercentileLevels, ShuffledInputGivesTheSameResult) {
    std::vector<int32_t> v = Ramp(300, 899);
    std::vector<int32_t> shuffled;
    for (size_t i = 0; i < v.size(); ++i)
        shuffled.push_back(v[(i * 337) % v.size()]);  // 337 is prime to 600: a permutation
    const LevelAccumulator a = Fill(v), b = Fill(shuffled);
    for (int n : {5, 10, 50, 90, 95})
        EXPECT_EQ(a.exceededTenths(n), b.exceededTenths(n)) << n;
    EXPECT_EQ(a.maxHundredths(), 8990);
    EXPECT_EQ(b.minHundredths(), 3000);
}

TEST(LevelResult, CountsExtremesAndLimit) {
    LevelAccumulator a;
    a.add(6512, 4);
    a.add(-305, 1);
    a.add(7001, 5);
    a.addSkipped();
    IntervalResult r;
    a.fill(r, 600);
    EXPECT_EQ(r.samples, 3);
    EXPECT_EQ(r.skipped, 1);
    EXPECT_EQ(r.overflow, 2);
    EXPECT_EQ(r.underflow, 2);
    EXPECT_DOUBLE_EQ(r.lmax, 70.01);
    EXPECT_DOUBLE_EQ(r.lmin, -3.05);
    EXPECT_TRUE(r.overLimit);

    // The limit compares with the Leq as shown: 70.04 shows as 70.0, not above 70.0.
    const struct {
        int32_t hundredths;
        int32_t limit;
        bool over;
    } limits[] = {{7004, 700, false}, {7005, 700, true}, {6999, 700, false}, {9000, 0, false}, {100, 5, true}};
    for (const auto& c : limits) {
        IntervalResult x;
        Fill({c.hundredths}).fill(x, c.limit);
        EXPECT_EQ(x.overLimit, c.over) << c.hundredths << " vs " << c.limit;
    }
}

TEST(LevelRounding, HalfAwayFromZero) {
    const struct {
        double db;
        int64_t tenths;
    } cases[] = {{65.05, 651}, {65.04, 650}, {-3.05, -31}, {-3.04, -30}, {0.0, 0}, {67.404, 674}, {99.95, 1000}};
    for (const auto& c : cases)
        EXPECT_EQ(LevelTenths(c.db), c.tenths) << c.db;
    const struct {
        int32_t h, t;
    } ints[] = {{6505, 651}, {6504, 650}, {-305, -31}, {-304, -30}, {5, 1}, {-5, -1}, {4, 0}};
    for (const auto& c : ints)
        EXPECT_EQ(HundredthsToTenths(c.h), c.t) << c.h;
}

TEST(Energy, TableMatchesThePowerOfTen) {
    for (int32_t h : {-32768, -1, 0, 1, 6530, 13000, 32767, 40000, -40000})
        EXPECT_NEAR(EnergyOfHundredths(h) / std::pow(10.0, h / 1000.0), 1.0, 1e-12) << h;
}

IntervalResult Interval(int64_t day, int hour, int minute, int minutes, int32_t hundredths, int64_t samples) {
    IntervalResult r;
    r.startMs = day * 86400000 + (hour * 60 + minute) * 60000;
    r.endMs = r.startMs + minutes * 60000;
    r.samples = samples;
    r.energy = EnergyOfHundredths(hundredths) * double(samples);
    r.leq = hundredths / 100.0;
    return r;
}

TEST(DayLevels, PeriodsAndLden) {
    const int64_t d = 46086;
    std::vector<IntervalResult> in;
    for (int h = 0; h < 24; ++h) {
        const int32_t level = PeriodOfHour(h) == 0 ? 6000 : PeriodOfHour(h) == 1 ? 5500 : 4500;
        in.push_back(Interval(d, h, 0, 60, level, 3600));
    }
    in.push_back(Interval(d + 1, 6, 45, 15, 5000, 900));  // 06:45 is night
    IntervalResult series = in[0];
    series.kind = ResultKind::Series;  // ignored
    series.energy = 1e30;
    in.push_back(series);
    const std::vector<DayLevels> days = ComputeDayLevels(in);
    ASSERT_EQ(days.size(), 2u);
    EXPECT_EQ(days[0].dayNumber, d);
    EXPECT_NEAR(days[0].day.level(), 60.0, 1e-9);
    EXPECT_NEAR(days[0].evening.level(), 55.0, 1e-9);
    EXPECT_NEAR(days[0].night.level(), 45.0, 1e-9);
    EXPECT_EQ(days[0].day.coveredMs, 12 * 3600000);
    EXPECT_EQ(days[0].evening.coveredMs, 4 * 3600000);
    EXPECT_EQ(days[0].night.coveredMs, 8 * 3600000);
    // (12·10^6 + 4·10^6 + 8·10^5.5) / 24 -> 58.9 dB
    const double expected = 10 * std::log10((12e6 + 4e6 + 8 * std::pow(10.0, 5.5)) / 24);
    EXPECT_NEAR(days[0].lden(), expected, 1e-9);
    EXPECT_EQ(LevelTenths(days[0].lden()), 589);
    // The second day has only a quarter hour of night: no Lden.
    EXPECT_EQ(days[1].night.coveredMs, 15 * 60000);
    EXPECT_TRUE(std::isnan(days[1].day.level()));
    EXPECT_TRUE(std::isnan(days[1].lden()));
}

TEST(DayLevels, PeriodBoundaries) {
    const struct { int hour, period; } cases[] = {{0, 2}, {6, 2}, {7, 0}, {18, 0}, {19, 1}, {22, 1}, {23, 2}};
    for (const auto& c : cases)
        EXPECT_EQ(PeriodOfHour(c.hour), c.period) << c.hour;
}

TEST(TimeHistory, MinMaxPerColumn) {
    TimeHistory h;
    const int64_t t0 = 46086LL * 86400000 + 3600000;
    for (int i = 0; i < 100; ++i)
        h.add(t0 + i * 100, 5000 + i);  // 10 s of samples
    h.add(t0 + 20000, 9000);            // a gap of 10 s, then one loud sample
    ASSERT_EQ(h.startMs(), t0);
    EXPECT_EQ(h.endMs(), t0 + 21000);
    auto cols = h.columns(t0, t0 + 21000, 21);
    EXPECT_EQ(cols[0].minHundredths, 5000);
    EXPECT_EQ(cols[0].maxHundredths, 5009);
    EXPECT_EQ(cols[9].maxHundredths, 5099);
    EXPECT_TRUE(cols[10].empty && cols[19].empty);
    EXPECT_EQ(cols[20].maxHundredths, 9000);
    // Fewer columns than buckets: each column holds the extremes of its buckets.
    cols = h.columns(t0, t0 + 21000, 3);
    EXPECT_EQ(cols[0].minHundredths, 5000);
    EXPECT_EQ(cols[0].maxHundredths, 5069);
    EXPECT_TRUE(cols[1].maxHundredths == 5099 && !cols[1].empty);
    EXPECT_EQ(cols[2].maxHundredths, 9000);
    // More columns than buckets: a bucket fills every column it covers.
    cols = h.columns(t0, t0 + 2000, 8);
    for (const auto& c : cols)
        EXPECT_FALSE(c.empty);
    EXPECT_EQ(h.overall().maxHundredths, 9000);
}

}  // namespace
}  // namespace kestro
