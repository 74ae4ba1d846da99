#include "statistics/DayLevels.h"

#include "statistics/LevelAccumulator.h"

#include <cmath>
#include <map>

namespace kestro {

namespace {
constexpr int64_t kMsPerDay = 86400000;
}

double PeriodLevel::level() const { return LevelOfEnergy(energy, samples); }

double DayLevels::lden() const {
    if (day.samples == 0 || evening.samples == 0 || night.samples == 0) return IntervalResult::kNoLevel;
    const double e = 12.0 * std::pow(10.0, day.level() / 10.0) + 4.0 * std::pow(10.0, (evening.level() + 5.0) / 10.0) +
                     8.0 * std::pow(10.0, (night.level() + 10.0) / 10.0);
    return 10.0 * std::log10(e / 24.0);
}

int PeriodOfHour(int hour) {
    if (hour >= 7 && hour < 19) return 0;
    if (hour >= 19 && hour < 23) return 1;
    return 2;
}

std::vector<DayLevels> ComputeDayLevels(const std::vector<IntervalResult>& intervals) {
    std::map<int32_t, DayLevels> days;
    for (const IntervalResult& r : intervals) {
        if (r.kind != ResultKind::Interval || r.samples <= 0) continue;
        int64_t day = r.startMs / kMsPerDay;
        if (r.startMs % kMsPerDay < 0) --day;
        const int hour = int((r.startMs - day * kMsPerDay) / 3600000);
        DayLevels& d = days[int32_t(day)];
        d.dayNumber = int32_t(day);
        PeriodLevel* p[] = {&d.day, &d.evening, &d.night};
        PeriodLevel& pl = *p[PeriodOfHour(hour)];
        pl.samples += r.samples;
        pl.energy += r.energy;
        pl.coveredMs += std::max<int64_t>(0, r.endMs - r.startMs);
    }
    std::vector<DayLevels> out;
    out.reserve(days.size());
    for (auto& [n, d] : days)
        out.push_back(d);
    return out;
}

}  // namespace kestro
