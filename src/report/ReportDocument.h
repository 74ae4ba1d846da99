#pragma once
// The PDF report of a record file: what was measured, the time history,
// the series summary, day levels, the intervals over the limit and the
// interval table.

#include "report/ReportEvidence.h"
#include "statistics/RecordAnalysis.h"

#include <QString>

namespace kestro {

struct ReportOptions {
    QString serialNumber;    // of the meter; empty when not known
    QString programVersion;  // e.g. "KestroRecorder 1.0.1"
    QChar decimalSeparator = QLatin1Char('.');
    ReportEvidence evidence;
};

// Duration as "hh:mm:ss", with days in front when longer ("2 d 03:04:05").
QString DurationText(int64_t ms);

bool WriteReportPdf(const RecordAnalysis& a, const ReportOptions& o, const QString& outPath, QString* error);

}  // namespace kestro
