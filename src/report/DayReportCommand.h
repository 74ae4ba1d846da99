#pragma once
// KestroRecorder --report-day DATE [DIR] [--serial S]: the report of one
// assessment day over every series of the record directory that touches it,
// as reports/<date>_<serial>.pdf, its interval CSV and
// reports/<date>_<serial>.json. A station runs it as a child when a day ends.

#include "report/ReportCommand.h"
#include "statistics/DailyReport.h"

#include <functional>
#include <vector>

namespace kestro {

struct DayReportSources {
    std::function<DayPeriods()> periods;       // of the settings
    std::function<QString()> recordDirectory;  // of the settings, when DIR is not given
    EvidenceFn evidence;
    std::function<std::vector<DaySeries>(const QString& dir)> series;
    std::function<QString(const QString& dir)> serial;  // when --serial is not given and no series names one
    QString language;  // of the report: "en" or "de" (shell/Translations.h, reportLanguage()); empty: none
};

// Exit status: 0 written (also "nothing recorded"), 1 wrong arguments, 2 a record file cannot be read,
// 3 a file cannot be written. Prints the JSON's path.
int runReportDayCommand(int argc, char** argv, const DayReportSources& sources);

// The series a day's report uses: those of the slow stream where there are
// any (the fast one measures the same sound again), else the rest.
std::vector<DaySeries> reportSeries(const std::vector<DaySeries>& ofDay);

}  // namespace kestro
