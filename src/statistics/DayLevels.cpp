#include "statistics/DayLevels.h"

#include "statistics/RunningLevels.h"
#include "statistics/StatisticsFile.h"

#include <QDateTime>
#include <QStringList>
#include <algorithm>
#include <cmath>
#include <map>

namespace kestro {

namespace {

constexpr int64_t kMsPerDay = 86400000;
constexpr int64_t kMsPerHour = 3600000;

// Milliseconds since 1970 of a local date (day number) and hour in zone.
int64_t instantOf(int64_t dayNumber, int hour, const QTimeZone& zone) {
    const QDate date = QDate(1899, 12, 30).addDays(dayNumber);
    return QDateTime(date, QTime(hour, 0), zone).toMSecsSinceEpoch();
}

// A period's running-Leq error: the edges inside a run of adjoining intervals cancel.
struct PeriodBuilder {
    bool any = false;
    double lastEdge = 0.0;
    // Each sample stands for the stream's cadence; an interval covers at most its length.
    void add(PeriodLevel& p, const IntervalResult& r, int64_t cadenceMs, int64_t intervalMs) {
        p.energy += r.energy;
        p.weight += r.weight;
        p.coveredMs += std::min(r.samples * cadenceMs, intervalMs);
        if (!any || r.edgeStart != lastEdge) p.error += (any ? lastEdge : 0.0) + r.edgeStart;
        p.error += r.edgeInner;
        lastEdge = r.edgeEnd;
        any = true;
    }
    void finish(PeriodLevel& p) const {
        if (any) p.error += lastEdge;
    }
};

}  // namespace

bool DayPeriods::valid() const {
    return 0 <= dayStartHour && dayStartHour < eveningStartHour && eveningStartHour < nightStartHour &&
           nightStartHour <= 23;
}

int DayPeriods::periodOfHour(int hour) const {
    if (hour >= dayStartHour && hour < eveningStartHour) return 0;
    if (hour >= eveningStartHour && hour < nightStartHour) return 1;
    return 2;
}

double PeriodLevel::level() const { return resolvedLeq(energy, weight, error); }

bool DayLevels::complete() const {
    for (const PeriodLevel* p : {&day, &evening, &night})
        if (std::isnan(p->level()) || !p->enoughCoverage()) return false;
    return true;
}

double DayLevels::lden() const {
    if (!complete()) return IntervalResult::kNoLevel;
    const double e = double(day.lengthMs) * std::pow(10.0, day.level() / 10.0) +
                     double(evening.lengthMs) * std::pow(10.0, (evening.level() + 5.0) / 10.0) +
                     double(night.lengthMs) * std::pow(10.0, (night.level() + 10.0) / 10.0);
    return 10.0 * std::log10(e / double(lengthMs()));
}

double DayLevels::laeq24() const {
    if (!complete()) return IntervalResult::kNoLevel;
    double e = 0.0;
    for (const PeriodLevel* p : {&day, &evening, &night})
        e += double(p->lengthMs) * std::pow(10.0, p->level() / 10.0);
    return 10.0 * std::log10(e / double(lengthMs()));
}

std::vector<DayLevels> computeDayLevels(const std::vector<IntervalResult>& intervals, const DayPeriods& periods,
                                        const QTimeZone& zone, int64_t cadenceMs, int64_t intervalMs) {
    const DayPeriods p = periods.valid() ? periods : DayPeriods();
    struct Day {
        DayLevels levels;
        PeriodBuilder builders[3];
    };
    std::map<int64_t, Day> days;
    for (const IntervalResult& r : intervals) {
        if (r.kind != ResultKind::Interval || r.samples <= 0 || !gives(r.quantity, Statistic::Leq)) continue;
        int64_t day = r.startMs / kMsPerDay;
        if (r.startMs % kMsPerDay < 0) --day;
        const int hour = int((r.startMs - day * kMsPerDay) / kMsPerHour);
        if (hour < p.dayStartHour) --day;
        Day& d = days[day];
        d.levels.dayNumber = int32_t(day);
        d.levels.estimated += r.estimated;
        const int period = p.periodOfHour(hour);
        PeriodLevel* levels[] = {&d.levels.day, &d.levels.evening, &d.levels.night};
        d.builders[period].add(*levels[period], r, std::max<int64_t>(1, cadenceMs), intervalMs);
    }
    std::vector<DayLevels> out;
    out.reserve(days.size());
    for (auto& [n, d] : days) {
        const int64_t bounds[] = {instantOf(n, p.dayStartHour, zone), instantOf(n, p.eveningStartHour, zone),
                                  instantOf(n, p.nightStartHour, zone), instantOf(n + 1, p.dayStartHour, zone)};
        PeriodLevel* levels[] = {&d.levels.day, &d.levels.evening, &d.levels.night};
        for (int i = 0; i < 3; ++i) {
            d.builders[i].finish(*levels[i]);
            levels[i]->lengthMs = bounds[i + 1] - bounds[i];
        }
        out.push_back(d.levels);
    }
    return out;
}

QString periodLevelText(const PeriodLevel& pl, QChar dec) {
    if (pl.weight <= 0) return QStringLiteral("-");
    const QString hours = QString::number(pl.coveredMs / 3.6e6, 'f', 1).replace(QLatin1Char('.'), dec);
    return levelText(pl.level(), dec) + QStringLiteral(" (%1 h)").arg(hours);
}

QString wholeDayText(const DayLevels& d, double level, QChar dec, const QString* periodNames) {
    if (!std::isnan(level)) return levelText(level, dec);
    QStringList low;
    const QString english[] = {QStringLiteral("day"), QStringLiteral("evening"), QStringLiteral("night")};
    const QString* names = periodNames ? periodNames : english;
    const std::pair<const QString*, const PeriodLevel*> ps[] = {
        {&names[0], &d.day}, {&names[1], &d.evening}, {&names[2], &d.night}};
    for (const auto& [name, pl] : ps)
        if (!pl->enoughCoverage() || std::isnan(pl->level()))  // 74.9 % falls short: never shown as 75 %
            low << QStringLiteral("%1 %2 %").arg(*name).arg(pl->lengthMs > 0 ? pl->coveredMs * 100 / pl->lengthMs : 0);
    return QStringLiteral("- (") + low.join(QStringLiteral(", ")) + QLatin1Char(')');
}

}  // namespace kestro
