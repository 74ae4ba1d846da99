#pragma once
// The window's copy of the current series of one stream: the header entry
// and the newest samples, addressed by their index in the series as the
// module buffer numbers them. Older samples are let go once nothing needs
// them any more (the graph only draws its last minutes), so a series of
// weeks costs no more memory than one of minutes.

#include "protocol/DeviceCodes.h"

#include <cstdint>
#include <deque>

namespace kestro {

class SampleWindow {
public:
    // 0: the header entry; n in firstIndex()..count(): that sample; else a zero record.
    const MeasurementRecord& operator[](int32_t n) const;
    int32_t count() const { return count_; }
    int32_t firstIndex() const { return count_ - static_cast<int32_t>(samples_.size()) + 1; }
    bool empty() const { return count_ == 0; }

    // Empties the window: a zero header, no samples.
    void reset();
    void setHeader(const MeasurementRecord& h) { header_ = h; }
    // Appends the next sample (index count() + 1).
    void push(const MeasurementRecord& r);
    // Lets go of the samples before index n (the newest one always stays).
    void dropBefore(int32_t n);
    // Lets go of samples stamped more than ms before the newest one; the
    // newest two stay, so a segment can still be drawn to the next sample.
    void dropOlderThan(int64_t ms);
    size_t retainedBytes() const;

private:
    MeasurementRecord header_;
    std::deque<MeasurementRecord> samples_;
    int32_t count_ = 0;
};

}  // namespace kestro
