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
    // Vouched for by a closed side file, oldest first; the others are shown apart and enter no figure.
    std::vector<CalibrationCheck> checksBefore;
    std::vector<CalibrationCheck> checksAfter;
    std::vector<CalibrationCheck> checksBeforeNotVouched;
    std::vector<CalibrationCheck> checksAfterNotVouched;
    // Bytes of the events file a closed side file vouches for (0: none, also
    // when one appeared beside a series that had none); -1: no closed side
    // file speaks of it, so nothing of it is vouched for or against.
    int64_t eventsVouchedBytes = -1;
    QString verification;  // "OK", "CHANGED", "MISSING", "NOT CLOSED"; empty: not checked
    QString verificationDetail;
};

}  // namespace kestro
