#pragma once
// What a report says about how a record file was made: the meter, the place,
// the people and the calibration checks around it, and whether the file is
// still the one that was recorded. Plain data, filled from the series' side
// files by whoever makes the report.

#include <QString>
#include <cstdint>
#include <vector>

namespace kestro {

struct CalibrationCheck {
    int64_t localMs = 0;  // local date and time, ms since 1899-12-30
    double levelDb = 0.0;
    QString serialNumber;  // of the meter that read it
};

struct ReportEvidence {
    QString serialNumber;    // of the meter; empty when not known
    QString programVersion;  // of the program that recorded the file
    QString timeZone;
    QString location;
    QString operatorName;
    QString weather;
    QString notes;
    std::vector<CalibrationCheck> checksBefore;  // oldest first
    std::vector<CalibrationCheck> checksAfter;   // oldest first
    QString verification;                        // "OK", "CHANGED", "MISSING", "NOT CLOSED"; empty: not checked
    QString verificationDetail;
};

}  // namespace kestro
