#pragma once
// The level over time in one-second buckets (lowest and highest level of each),
// so that a plot of any span can be drawn as min/max per pixel column without
// keeping the samples. A week takes about 5 MB.

#include <cstdint>
#include <vector>

namespace kestro {

class TimeHistory {
public:
    static constexpr int64_t kBucketMs = 1000;

    struct Column {
        int32_t minHundredths = 0;
        int32_t maxHundredths = 0;
        bool empty = true;
        void widen(int32_t lo, int32_t hi);
    };

    void clear();
    // localMs as everywhere: milliseconds since 1899-12-30 local time. Samples
    // before the first one (a clock set back) are drawn into the first bucket.
    void add(int64_t localMs, int32_t hundredths);

    bool isEmpty() const { return buckets_.empty(); }
    int64_t startMs() const { return startMs_; }
    int64_t endMs() const { return startMs_ + int64_t(buckets_.size()) * kBucketMs; }
    // Lowest and highest level of [fromMs, toMs) split into n equal columns.
    std::vector<Column> columns(int64_t fromMs, int64_t toMs, int n) const;
    // Lowest and highest level of all buckets.
    Column overall() const;

private:
    struct Bucket {
        int32_t min = 1;  // min > max: no sample
        int32_t max = 0;
    };
    int64_t startMs_ = 0;
    std::vector<Bucket> buckets_;
};

}  // namespace kestro
