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

// What makes a noise event, as the series was recorded with it.
struct EventCriteria {
    bool known = false;
    double levelDb = 0.0;  // 0: no exceedances watched, marked spans only
    double minDurationS = 0.0;
    double hysteresisDb = 0.0;
};

// Readings further apart than this belong to two checks (two stays in Calibration).
inline constexpr int64_t kCalibrationCheckGapMs = 120 * 1000;

struct ReportEvidence {
    QString serialNumber;      // of the meter; empty when not known
    QString programVersion;    // of the program that recorded the file
    QString timeZone;          // IANA name of the zone the local times are of
    QString utcOffsetAtStart;  // "+02:00"
    QString location;
    QString operatorName;
    QString weather;
    QString notes;
    QString instrument;  // type and class of the sound level meter
    QString meterSoftware;
    QString meterHardware;
    QString stream;  // "slow" or "fast"
    EventCriteria eventCriteria;
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
