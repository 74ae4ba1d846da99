#pragma once
// Where the device's samples go (the recorder, and through it the graph, the
// statistics and the events). The interpreter collects them; the session
// decides when they are handed on (ProtocolState::handOff).

#include "protocol/SampleSeries.h"

#include <cstdint>
#include <vector>

namespace kestro {

// A reading of the meter in Calibration ("cals", "cal", "calr"): it is not a
// sample of any series, but the evidence of a check is kept beside the records.
struct CalibrationReading {
    int64_t Instant = 0;  // UTC ms since 1970, stamped like a slow sample
    SystemTime SysTime;   // the same instant in local time
    int16_t Level = 0;    // tenths of a decibel
    int16_t LevelFlags = 0;
    int16_t Code = 0;      // kCodeCals, kCodeCal or kCodeCalr
    int32_t SerialNo = 0;  // DevSerialNo when it arrived
};

class SampleSink {
public:
    // One stream's samples since the last hand-off, in arrival order, each
    // with the number of its series and its index in it. Series numbers never
    // go back: an entry whose number is above the last one handed on begins a
    // new series (a restart), and the samples of the old one come before it.
    using Batch = std::vector<SampleSeries::Entry>;

    virtual ~SampleSink() = default;
    // Both streams, while slow samples are stored (every poll tick).
    virtual void takeSamples(const Batch& slow, const Batch& fast) = 0;
    // Only the fast stream: an armed recording ends before its first level.
    virtual void takeFastSamples(const Batch& fast) = 0;
    // Calibration readings since the last call, oldest first (every poll tick).
    virtual void takeCalibration(const std::vector<CalibrationReading>& readings) = 0;
};

}  // namespace kestro
