#include "statistics/TimeHistory.h"

#include <algorithm>

namespace kestro {

void TimeHistory::clear() {
    buckets_.clear();
    buckets_.shrink_to_fit();
    startMs_ = 0;
}

void TimeHistory::add(int64_t localMs, int32_t hundredths) {
    if (buckets_.empty()) startMs_ = localMs - ((localMs % kBucketMs) + kBucketMs) % kBucketMs;
    int64_t i = (localMs - startMs_) / kBucketMs;
    if (i < 0) i = 0;
    // A clock jumping years ahead would allocate without end; such a sample is not drawn.
    if (i > int64_t(400) * 86400) return;
    if (size_t(i) >= buckets_.size()) buckets_.resize(size_t(i) + 1);
    Bucket& b = buckets_[size_t(i)];
    if (b.min > b.max) {
        b.min = b.max = hundredths;
    } else {
        b.min = std::min(b.min, hundredths);
        b.max = std::max(b.max, hundredths);
    }
}

std::vector<TimeHistory::Column> TimeHistory::columns(int64_t fromMs, int64_t toMs, int n) const {
    std::vector<Column> out(size_t(std::max(0, n)));
    if (n <= 0 || toMs <= fromMs || buckets_.empty()) return out;
    const double span = double(toMs - fromMs);
    const int64_t first = std::max<int64_t>(0, (fromMs - startMs_) / kBucketMs);
    const int64_t last = std::min<int64_t>(int64_t(buckets_.size()) - 1, (toMs - 1 - startMs_) / kBucketMs);
    for (int64_t i = first; i <= last; ++i) {
        const Bucket& b = buckets_[size_t(i)];
        if (b.min > b.max) continue;
        // A bucket wider than a column paints every column it covers.
        const int64_t b0 = std::max(fromMs, startMs_ + i * kBucketMs);
        const int64_t b1 = std::min(toMs, startMs_ + (i + 1) * kBucketMs);
        int c0 = int(double(b0 - fromMs) / span * n);
        int c1 = int(double(b1 - 1 - fromMs) / span * n);
        c0 = std::clamp(c0, 0, n - 1);
        c1 = std::clamp(c1, c0, n - 1);
        for (int c = c0; c <= c1; ++c)
            out[size_t(c)].widen(b.min, b.max);
    }
    return out;
}

void TimeHistory::Column::widen(int32_t lo, int32_t hi) {
    minHundredths = empty ? lo : std::min(minHundredths, lo);
    maxHundredths = empty ? hi : std::max(maxHundredths, hi);
    empty = false;
}

TimeHistory::Column TimeHistory::overall() const {
    Column c;
    for (const Bucket& b : buckets_) {
        if (b.min <= b.max) c.widen(b.min, b.max);
    }
    return c;
}

}  // namespace kestro
