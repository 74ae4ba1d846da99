#pragma once
// KestroRecorder --report FILE [--interval SECONDS] [--limit DB] [--flag-column
// overflow|underflow] [--tz ZONE] [-o OUT.pdf]: the PDF report of a record file,
// without a display. The command line is read (and refused) by app/CommandLine.h.

#include "statistics/DayLevels.h"
#include "statistics/ReportEvidence.h"
#include "statistics/ReportRequest.h"

#include <functional>

namespace kestro {

// The evidence of a record file (its side files, the calibration log, the
// verification), from a layer this one does not reach.
using EvidenceFn = std::function<ReportEvidence(const QString& recordPath)>;

// Makes the report; the measurement details given replace what the side file
// says, the zone given its zone (for files without one). Exit status: 0 done,
// 1 the output is the record file itself, 2 the record file cannot be read (the
// message names the file and line), 3 the report cannot be written.
// storedPeriods: the day, evening and night hours of the settings (called once
// the application object exists). language: the report's, "en" or "de"
// (reportLanguage() of shell/Translations.h); empty: the program's own words.
int runReportCommand(int argc, char** argv, const ReportRequest& request,
                     const std::function<DayPeriods()>& storedPeriods = {}, const EvidenceFn& evidence = {},
                     const QString& language = {});

}  // namespace kestro
