#include "recording/SampleWindow.h"

#include <algorithm>

namespace kestro {

namespace {
const MeasurementRecord kNone{};
// An hour of slow levels at ten per second; far beyond any graph window.
constexpr size_t kMaxSamples = 36000;
}  // namespace

const MeasurementRecord& SampleWindow::operator[](int32_t n) const {
    if (n == 0) return header_;
    const int32_t first = firstIndex();
    if (n < first || n > count_) return kNone;
    return samples_[static_cast<size_t>(n - first)];
}

void SampleWindow::reset() {
    header_ = MeasurementRecord{};
    std::deque<MeasurementRecord>().swap(samples_);
    count_ = 0;
}

void SampleWindow::push(const MeasurementRecord& r) {
    samples_.push_back(r);
    ++count_;
}

void SampleWindow::dropBefore(int32_t n) {
    const int32_t keepFrom = std::min(n, count_);
    while (!samples_.empty() && firstIndex() < keepFrom)
        samples_.pop_front();
}

void SampleWindow::dropOlderThan(int64_t ms) {
    if (samples_.size() <= 2) return;
    const int64_t limit = samples_.back().Instant - ms;
    // The count cap holds even when the clock was stepped back and the older
    // stamps look newer than the newest.
    while (samples_.size() > 2 && (samples_.front().Instant < limit || samples_.size() > kMaxSamples))
        samples_.pop_front();
}

size_t SampleWindow::retainedBytes() const { return sizeof(*this) + samples_.size() * sizeof(MeasurementRecord); }

}  // namespace kestro
