#pragma once
// The samples of one stream (slow levels or fast values) as the interpreter
// collects them while recording is armed. Only what the hand-off still has
// to take is kept, so memory does not grow with the length of a series:
// the header entry, the first and the last sample, the counters, and the
// samples of every series since the last hand-off, in arrival order.

#include "protocol/DeviceCodes.h"

#include <cstdint>
#include <vector>

namespace kestro {

class SampleSeries {
public:
    // A sample with the series it belongs to and its index in that series (1..).
    struct Entry {
        int32_t RecordNo = 0;
        int32_t Index = 0;
        MeasurementRecord Sample;
    };

    // fast: the header entry copies FastLevel instead of Level.
    explicit SampleSeries(bool fast) : fast_(fast) {}

    // The header entry of a series whose first sample is r: its Flags,
    // Timestamp, Instant and value (Level, or FastLevel for the fast stream).
    static MeasurementRecord headerOf(const MeasurementRecord& r, bool fast);

    MeasurementRecord Header;  // element 0: Flags, Timestamp and value of the first sample
    MeasurementRecord First;   // sample 1 of the current series
    MeasurementRecord Last;    // sample Count of the current series
    int32_t Count = 0;         // samples in the current series
    int32_t RecordNo = 0;      // series counter; never goes back while the program runs

    // Appends a sample to the current series; returns the new Count. A sample
    // added after clear() opens a series of its own, so it can never be taken
    // for a continuation of samples that were thrown away.
    int32_t add(const MeasurementRecord& r);
    // A new series begins with the next sample. Samples of the old one that
    // were not handed off yet stay pending: nothing is lost by a restart.
    void restart();
    // Empties the series and drops what was not handed off.
    void clear();

    // Element n of the current series: 0 the header, the first and the last
    // sample, and samples still pending; zeros for anything else.
    MeasurementRecord get(int32_t n) const;

    const std::vector<Entry>& pending() const { return pending_; }
    // Moves the pending samples into out (whose capacity is reused next time).
    void takePending(std::vector<Entry>& out);

    // Memory held for samples (pending storage), for the memory benchmarks.
    size_t retainedBytes() const { return pending_.capacity() * sizeof(Entry); }

private:
    bool fast_;
    bool fresh_ = false;  // RecordNo already counts the series that the next add opens
    std::vector<Entry> pending_;
};

}  // namespace kestro
