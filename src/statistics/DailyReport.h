#pragma once
// Daily reports: which assessment day a local time belongs to, which series a
// day covers, which days still want their report, and the day's figures as
// the JSON file beside the day's PDF (reports/<date>_<serial>.json).

#include "statistics/DayLevels.h"
#include "statistics/ReportEvidence.h"

#include <QByteArray>
#include <QString>
#include <cstdint>
#include <optional>
#include <set>
#include <vector>

namespace kestro {

// A series as far as days go: its record file and the local times (ms since
// 1899-12-30) of its first and last sample.
struct DaySeries {
    QString recordPath;
    int64_t startLocalMs = 0;
    int64_t endLocalMs = 0;
};

// The day number of the date an assessment day starts on: 06:59 belongs to the day before.
int32_t assessmentDayOf(int64_t localMs, int dayStartHour);
int64_t assessmentDayStartMs(int32_t day, int dayStartHour);
// A series that runs across the day's start counts for both days.
bool seriesTouchesDay(const DaySeries& s, int32_t day, int dayStartHour);
std::vector<DaySeries> seriesOfDay(const std::vector<DaySeries>& all, int32_t day, int dayStartHour);

// Ended days before currentDay, at most maxDays back, that have a series and
// no report yet (a day without any series gets its report only from a station
// that ran through it). Oldest first.
std::vector<int32_t> missingReportDays(const std::vector<DaySeries>& all, const std::set<int32_t>& reported,
                                       int32_t currentDay, int dayStartHour, int maxDays = 31);

// "2026-12-07"; parseDayText accepts only that form of a real date.
QString dayText(int32_t day);
std::optional<int32_t> parseDayText(const QString& text);
// "<date>_<serial>", the serial's characters kept to those a file name may hold.
QString dailyReportBaseName(int32_t day, const QString& serial);
// The day of a "<date>_<serial>.json" name; none for other names. Any serial:
// the meter may not have told its own yet when the missing days are judged.
std::optional<int32_t> dailyReportDayOf(const QString& fileName);
// The days reports/ holds a JSON for.
std::set<int32_t> reportedDays(const QString& reportsDir);

// What one series adds to a day.
struct DaySeriesFigures {
    QString recordFile;
    QString verification;                        // as ReportEvidence says; empty: not checked
    int64_t events = 0;                          // exceedances that began within the day
    int64_t markers = 0;                         // marked spans that began within the day
    std::vector<CalibrationCheck> checksBefore;  // vouched, oldest first
    std::vector<CalibrationCheck> checksAfter;
};

struct DailyReportContent {
    int32_t day = 0;
    DayPeriods periods;
    QString serial;
    QString timeZone;
    QString programVersion;
    std::optional<DayLevels> levels;  // none: nothing recorded that day
    std::vector<DaySeriesFigures> series;
    QString pdfName;  // empty: no PDF
    QByteArray pdfSha256;
    QString csvName;
    QByteArray csvSha256;
};

// Levels to one decimal as the report shows them, null where there is none;
// coverage in whole percent, rounded down as the report shows it.
QByteArray dailyReportJson(const DailyReportContent& c);

}  // namespace kestro
