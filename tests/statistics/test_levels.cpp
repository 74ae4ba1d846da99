// Level statistics against hand-computed values: Leq, percentile levels,
// rounding, day-evening-night levels, the time history.
#include "core/Types.h"
#include "statistics/DayLevels.h"
#include "statistics/IntervalEngine.h"
#include "statistics/LevelAccumulator.h"
#include "statistics/TimeHistory.h"

#include <gtest/gtest.h>

#include <QDateTime>
#include <array>
#include <cmath>
#include <tuple>
#include <vector>

namespace kestro {
namespace {

LevelAccumulator fill(const std::vector<int32_t>& hundredths) {
    LevelAccumulator a;
    for (int32_t h : hundredths)
        a.add(h, 0);
    return a;
}

std::vector<int32_t> ramp(int32_t fromTenths, int32_t toTenths) {
    std::vector<int32_t> v;
    for (int32_t t = fromTenths; t <= toTenths; ++t)
        v.push_back(t * 10);
    return v;
}

// LN is the level reached by N % of the samples, counted from the loudest. N: Leq not checked.
TEST(LevelAccumulator, LeqAndPercentileLevels) {
    constexpr int64_t N = INT64_MIN;
    const struct {
        const char* what;
        std::vector<int32_t> hundredths;
        int64_t leq;
        int32_t l5, l10, l50, l90, l95;
    } cases[] = {
        {"60 and 70 dB", {6000, 7000}, 674, 700, 700, 700, 600, 600},
        {"one level", {6530}, 653, 653, 653, 653, 653, 653},
        {"ten times louder counts ten times",
         {8000, 8000, 8000, 8000, 8000, 8000, 8000, 8000, 8000, 0},
         795,
         800,
         800,
         800,
         800,
         0},
        {"a loud event dominates", {4000, 4000, 4000, 10000}, 940, 1000, 1000, 400, 400, 400},
        {"negative levels", {-1000, -1000}, -100, -100, -100, -100, -100, -100},
        {"3 dB per doubling", {7000, 7000, 0, 0}, 670, 700, 700, 700, 0, 0},
        {"50.0..59.9 dB in 0.1 dB steps", ramp(500, 599), N, 595, 590, 550, 510, 505},
        {"0.0..99.9 dB", ramp(0, 999), N, 950, 900, 500, 100, 50},
        {"hundredths round to the nearest tenth", {6504, 6505, 6505, 6505}, N, 651, 651, 651, 650, 650},
        {"beyond the histogram: end bins", {-9000, 25000}, N, 2000, 2000, 2000, -500, -500},
    };
    for (const auto& c : cases) {
        const LevelAccumulator a = fill(c.hundredths);
        EXPECT_TRUE(c.leq == N || levelTenths(a.leq()) == c.leq) << c.what << ": " << a.leq();
        EXPECT_EQ(std::tuple(a.exceededTenths(5), a.exceededTenths(10), a.exceededTenths(50), a.exceededTenths(90),
                             a.exceededTenths(95)),
                  std::tuple(c.l5, c.l10, c.l50, c.l90, c.l95))
            << c.what;
    }
}

TEST(LevelRounding, HalfAwayFromZero) {
    const struct {
        double db;
        int64_t tenths;
    } cases[] = {{65.05, 651}, {65.04, 650}, {-3.05, -31}, {-3.04, -30}, {0.0, 0}, {67.404, 674}, {99.95, 1000}};
    for (const auto& c : cases)
        EXPECT_EQ(levelTenths(c.db), c.tenths) << c.db;
    const struct {
        int32_t h, t;
    } ints[] = {{6505, 651}, {6504, 650}, {-305, -31}, {-304, -30}, {5, 1}, {-5, -1}, {4, 0}};
    for (const auto& c : ints)
        EXPECT_EQ(hundredthsToTenths(c.h), c.t) << c.h;
}

// Hourly intervals, each at the level of its period (day 60, evening 55, night 45 dB),
// from a local start in a zone, through daylight-saving changes as the clock shows them.
std::vector<IntervalResult> hours(const QTimeZone& zone, const QDateTime& from, int hours, const DayPeriods& p) {
    std::vector<IntervalResult> out;
    const int64_t utc0 = QDateTime(from.date(), from.time(), zone).toMSecsSinceEpoch();
    for (int i = 0; i < hours; ++i) {
        const QDateTime local = QDateTime::fromMSecsSinceEpoch(utc0 + int64_t{i} * 3600000, zone);
        const int32_t levels[] = {6000, 5500, 4500}, level = levels[p.periodOfHour(local.time().hour())];
        IntervalResult& r = out.emplace_back();
        r.startMs = int64_t{dayNumber(local.date().year(), local.date().month(), local.date().day())} * 86400000 +
                    local.time().hour() * 3600000;
        r.endMs = r.startMs + 3600000;
        r.samples = 3600;
        r.energy = energyOfHundredths(level) * 3600.0;
        r.weight = 3600.0;
        r.leq = level / 100.0;
    }
    return out;
}

TEST(DayLevels, PerAssessmentDay) {
    constexpr int64_t N = -1;
    const DayPeriods early{6, 18, 22};
    const struct {
        const char* what;
        const char* zone;
        bool early;
        int month, day, hour, hours;  // hourly intervals from then, 2026
        // per assessment day: its date in the month, hours long, hours covered of day, evening and night, Lden,
        // LAeq,24h
        std::vector<std::array<int64_t, 7>> days;
    } cases[] = {
        // (12·10^6 + 4·10^6 + 8·10^5.5) / 24 and (12·10^6 + 4·10^5.5 + 8·10^4.5) / 24
        {"a whole day", "UTC", false, 3, 5, 7, 24, {{5, 24, 12, 4, 8, 589, 575}}},
        {"noon to noon", "UTC", false, 3, 5, 12, 24, {{5, 24, 7, 4, 8, N, N}, {6, 24, 5, 0, 0, N, N}}},
        {"one night across midnight", "UTC", false, 3, 5, 23, 8, {{5, 24, 0, 0, 8, N, N}}},
        {"three quarters of each period", "UTC", false, 3, 5, 10, 21, {{5, 24, 9, 4, 8, 589, 575}}},
        {"other hours", "UTC", true, 3, 5, 6, 24, {{5, 24, 12, 4, 8, 589, 575}}},
        // a night of 7 h: (12·10^6 + 4·10^6 + 7·10^5.5) / 23; of 9 h: (12·10^6 + 4·10^6 + 9·10^5.5) / 25
        {"daylight saving time begins", "Europe/Berlin", false, 3, 28, 7, 23, {{28, 23, 12, 4, 7, 590, 577}}},
        {"daylight saving time ends", "Europe/Berlin", false, 10, 24, 7, 25, {{24, 25, 12, 4, 9, 588, 573}}},
    };
    for (const auto& c : cases) {
        const QTimeZone zone(c.zone);
        const DayPeriods p = c.early ? early : DayPeriods();
        const QDateTime from(QDate(2026, c.month, c.day), QTime(c.hour, 0));
        const std::vector<DayLevels> days = computeDayLevels(hours(zone, from, c.hours, p), p, zone);
        auto tenths = [](double db) {
            return std::isnan(db) ? N : levelTenths(db);
        };
        std::vector<std::array<int64_t, 7>> got;  // hours as whole hours, or as milliseconds when not whole
        auto h = [](int64_t ms) {
            return ms % 3600000 == 0 ? ms / 3600000 : ms;
        };
        for (const DayLevels& d : days)
            got.push_back({d.dayNumber - dayNumber(2026, c.month, 1) + 1, h(d.lengthMs()), h(d.day.coveredMs),
                           h(d.evening.coveredMs), h(d.night.coveredMs), tenths(d.lden()), tenths(d.laeq24())});
        EXPECT_EQ(got, c.days) << c.what;
    }
}

TEST(DayLevels, ARunningLeqPeriodIsResolvedWhereItsIntervalsAreNot) {
    // Twelve hours of a steady 60.0 dB read to 0.1 dB once a second: late quarter
    // hours drown in the reading resolution, the day and the series as a whole do not.
    IntervalEngine e;
    std::vector<IntervalResult> rows;
    IntervalResult series;
    e.onResult = [&](const IntervalResult& r) {
        (r.kind == ResultKind::Interval ? rows.emplace_back() : series) = r;
    };
    e.start("LEQ", 900, 0);
    const int64_t t0 = int64_t{dayNumber(2026, 3, 5)} * 86400000 + 7 * 3600000;
    for (int64_t i = 0; i < 12 * 3600; ++i)
        e.add(t0 + i * 1000, 6000, 0);
    e.finish();
    ASSERT_EQ(rows.size(), 48u);
    EXPECT_EQ(std::tuple(levelTenths(rows[1].leq), rows.back().leqUnresolved(), levelTenths(series.leq)),
              std::tuple(600, true, 600));
    const std::vector<DayLevels> days = computeDayLevels(rows, DayPeriods(), QTimeZone("UTC"));
    ASSERT_EQ(days.size(), 1u);
    EXPECT_EQ(levelTenths(days[0].day.level()), 600);
}

}  // namespace
}  // namespace kestro
