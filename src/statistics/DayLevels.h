#pragma once
// Day, evening and night levels per calendar day (Ld 07-19, Le 19-23,
// Ln 00-07 and 23-24) and Lden, combined from interval results.

#include "statistics/IntervalResult.h"

#include <cstdint>
#include <vector>

namespace kestro {

struct PeriodLevel {
    int64_t samples = 0;
    double energy = 0.0;
    int64_t coveredMs = 0;  // time the intervals in this period cover
    double level() const;   // kNoLevel without samples
};

struct DayLevels {
    int32_t dayNumber = 0;  // days since 1899-12-30 (DayNumber)
    PeriodLevel day;        // 07:00-19:00
    PeriodLevel evening;    // 19:00-23:00
    PeriodLevel night;      // 00:00-07:00 and 23:00-24:00
    // (12·10^(Ld/10) + 4·10^((Le+5)/10) + 8·10^((Ln+10)/10)) / 24 in dB;
    // kNoLevel unless all three periods hold samples.
    double lden() const;
};

// Which period an hour of the day (0-23) belongs to: 0 day, 1 evening, 2 night.
int PeriodOfHour(int hour);

// Interval results in any order; Series results are ignored. Every interval
// counts for the day and period of its start (intervals never straddle an hour).
std::vector<DayLevels> ComputeDayLevels(const std::vector<IntervalResult>& intervals);

}  // namespace kestro
