#include "protocol/SampleSeries.h"

#include <algorithm>

namespace kestro {

namespace {
// A long outage of the hand-off (function 0, a stalled window) may leave a
// large pending block behind; give it back once it has been taken.
constexpr size_t kKeepCapacity = 4096;
}  // namespace

MeasurementRecord SampleSeries::headerOf(const MeasurementRecord& r, bool fast) {
    MeasurementRecord h;
    h.Flags = r.Flags;
    h.Timestamp = r.Timestamp;
    h.Instant = r.Instant;
    if (fast)
        h.FastLevel = r.FastLevel;
    else
        h.Level = r.Level;
    return h;
}

int32_t SampleSeries::add(const MeasurementRecord& r) {
    if (Count == 0) {
        if (!fresh_) ++RecordNo;
        fresh_ = false;
        Header = headerOf(r, fast_);
        First = r;
    }
    ++Count;
    Last = r;
    pending_.push_back(Entry{RecordNo, Count, r});
    return Count;
}

void SampleSeries::restart() {
    if (!(fresh_ && Count == 0)) ++RecordNo;
    fresh_ = true;
    Count = 0;
    Header = First = Last = MeasurementRecord{};
}

void SampleSeries::clear() {
    Count = 0;
    fresh_ = false;
    Header = First = Last = MeasurementRecord{};
    pending_.clear();
    if (pending_.capacity() > kKeepCapacity) std::vector<Entry>().swap(pending_);
}

MeasurementRecord SampleSeries::get(int32_t n) const {
    if (n == 0) return Header;
    if (n < 1 || n > Count) return MeasurementRecord{};
    if (n == Count) return Last;
    if (n == 1) return First;
    // Pending entries of the current series are consecutive and end at Count.
    const auto back = static_cast<size_t>(Count - n);
    if (back < pending_.size()) {
        const Entry& e = pending_[pending_.size() - 1 - back];
        if (e.RecordNo == RecordNo && e.Index == n) return e.Sample;
    }
    return MeasurementRecord{};
}

void SampleSeries::takePending(std::vector<Entry>& out) {
    out.clear();
    if (out.capacity() > kKeepCapacity) std::vector<Entry>().swap(out);
    std::swap(out, pending_);
}

}  // namespace kestro
