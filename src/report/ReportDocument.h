#pragma once
// The PDF report of a record file: what was measured and how (meter, place,
// people, calibration, whether the file is still the recorded one), the time
// history, the summary, the day levels per assessment day and the intervals.

#include "report/ReportLanguage.h"
#include "statistics/RecordAnalysis.h"
#include "statistics/ReportEvidence.h"

#include <QString>
#include <vector>

namespace kestro {

struct ReportOptions {
    QString serialNumber;    // of the meter, when evidence holds none; empty when not known
    QString programVersion;  // of the program making the report, e.g. "KestroRecorder 1.0.1"
    QChar decimalSeparator = QLatin1Char('.');
    bool flagColumnGiven = false;  // the one flag column's meaning was given, not assumed
    ReportEvidence evidence;
    QString timeZoneNote;            // where the zone came from, when not from the side file
    bool alwaysIntervalCsv = false;  // the CSV also when the PDF lists every interval (daily reports)
    ReportLanguage language;         // none: the program's own words, decimalSeparator for the numbers
};

// More intervals than this: the PDF lists clock hours and every interval goes
// into a CSV file beside it (intervalCsvPath), so that a week of minutes stays readable.
inline constexpr size_t kMaxIntervalRows = 1000;
QString intervalCsvPath(const QString& pdfPath);

// Hours, minutes and seconds to the nearest second, the hours counted on beyond a day ("168:00:00").
QString durationText(int64_t ms);
// Calibration readings (oldest first) as checks: readings further apart than
// kCalibrationCheckGapMs belong to two.
std::vector<std::vector<CalibrationCheck>> calibrationChecks(const std::vector<CalibrationCheck>& readings);
// What a stream's values are, in words.
QString quantityText(const QString& typeWord, const ReportLanguage& language = ReportLanguage());

// Written whole or not at all (ReportFile.h), and never over the record file itself.
bool writeReportPdf(const RecordAnalysis& a, const ReportOptions& o, const QString& outPath, QString* error);

}  // namespace kestro
