#pragma once
// Day, evening and night levels per assessment day, Lden and LAeq,24h,
// combined from interval results. An assessment day runs from the day's start
// hour to the same hour of the next date (default 07:00 to 07:00: day 07-19,
// evening 19-23, night 23-07), so that a night is never split between dates.

#include "statistics/IntervalResult.h"

#include <QString>
#include <QTimeZone>
#include <cstdint>
#include <vector>

namespace kestro {

struct DayPeriods {
    int dayStartHour = 7;
    int eveningStartHour = 19;
    int nightStartHour = 23;
    // 0 <= day < evening < night <= 23.
    bool valid() const;
    // 0 day, 1 evening, 2 night for an hour of the clock (0-23).
    int periodOfHour(int hour) const;
};

// Lden and LAeq,24h need every period covered to at least this fraction.
inline constexpr double kMinimumCoverage = 0.75;

struct PeriodLevel {
    double energy = 0.0;  // as IntervalResult: Leq = 10 lg(energy / weight)
    double weight = 0.0;
    double error = 0.0;     // bound of the energy's error (running Leq)
    int64_t coveredMs = 0;  // time the samples in this period cover
    int64_t lengthMs = 0;   // of the period on this day: daylight saving time changes it
    double level() const;   // kNoLevel without samples or when unresolved
    double coverage() const { return lengthMs > 0 ? double(coveredMs) / double(lengthMs) : 0.0; }
    // At least kMinimumCoverage of the period, the bound included.
    bool enoughCoverage() const { return lengthMs > 0 && double(coveredMs) >= kMinimumCoverage * double(lengthMs); }
};

struct DayLevels {
    int32_t dayNumber = 0;  // the date the assessment day starts on (dayNumber)
    PeriodLevel day;
    PeriodLevel evening;
    PeriodLevel night;
    int64_t estimated = 0;  // samples with estimated instants
    int64_t lengthMs() const { return day.lengthMs + evening.lengthMs + night.lengthMs; }
    // Every period has a level and is covered to kMinimumCoverage.
    bool complete() const;
    // Periods weighted with their lengths (12, 4 and 8 h on most days), evening
    // +5 dB, night +10 dB; kNoLevel unless complete().
    double lden() const;
    double laeq24() const;
};

// Interval results in file order; Series results and quantities without an
// Leq are ignored. Every interval counts for the assessment day and period of
// its start (intervals never straddle an hour). Local times are of zone.
// Coverage: each sample stands for cadenceMs, an interval for at most intervalMs.
std::vector<DayLevels> computeDayLevels(const std::vector<IntervalResult>& intervals, const DayPeriods& periods,
                                        const QTimeZone& zone = QTimeZone::systemTimeZone(), int64_t cadenceMs = 1000,
                                        int64_t intervalMs = 3600000);

// Table texts shared by the window and the report: a period's level with the
// hours it covers, and a whole-day value or, when it cannot be given, which
// periods fall short ("- (day 58 %, ...)").
QString periodLevelText(const PeriodLevel& period, QChar decimalSeparator);
// periodNames: the day's, the evening's and the night's in the text's language; null: English.
QString wholeDayText(const DayLevels& day, double level, QChar decimalSeparator, const QString* periodNames = nullptr);

}  // namespace kestro
