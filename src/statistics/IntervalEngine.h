#pragma once
// Interval and series statistics of one series, fed one sample at a time.
// Intervals are aligned to the local clock (a 15-minute interval starts at
// :00, :15, :30, :45); the first and the last interval of a series are partial.

#include "statistics/IntervalResult.h"
#include "statistics/LevelAccumulator.h"

#include <array>
#include <cstdint>
#include <functional>
#include <string>

namespace kestro {

// Interval lengths the recorder offers, in seconds. Each divides an hour, so
// no interval straddles an hour (nor a day, evening or night period).
inline constexpr std::array<int32_t, 6> kStatisticsIntervals{60, 300, 600, 900, 1800, 3600};
inline constexpr int32_t kDefaultStatisticsInterval = 900;
bool IsStatisticsInterval(int32_t seconds);

class IntervalEngine {
public:
    using ResultFn = std::function<void(const IntervalResult&)>;

    // A sample or clock this far behind the current interval's start is a
    // clock set back (end of daylight saving time), not stamping jitter.
    static constexpr int64_t kClockBackMs = 5 * 60 * 1000;

    // Called with every finished interval that holds samples, then with the series.
    ResultFn onResult;

    // Starts a series; a running one is finished first. An interval length
    // that is not offered falls back to the default.
    void start(const std::string& typeWord, int32_t intervalSeconds, int32_t limitTenths);
    // localMs: local date and time in milliseconds (AbsoluteMilliseconds).
    void add(int64_t localMs, int32_t hundredths, int16_t levelFlags);
    void addSkipped(int64_t localMs);
    // The clock has reached localMs: ends the current interval when it is over.
    void advance(int64_t localMs);
    // Ends the last interval at the last sample and reports the series.
    void finish();

    bool running() const { return running_; }
    const std::string& typeWord() const { return typeWord_; }
    int32_t intervalSeconds() const { return intervalMs_ / 1000; }
    int32_t limitTenths() const { return limitTenths_; }
    // Snapshots for a live view: the open interval (empty when none) and the series so far.
    IntervalResult currentInterval() const;
    IntervalResult series() const;
    bool intervalOpen() const { return open_; }

private:
    void place(int64_t localMs);
    void closeInterval(int64_t endMs);

    std::string typeWord_;
    int32_t intervalMs_ = kDefaultStatisticsInterval * 1000;
    int32_t limitTenths_ = 0;
    bool running_ = false;
    bool open_ = false;
    bool any_ = false;            // the series has seen a sample
    bool firstInterval_ = false;  // the open interval holds the series' first sample
    int64_t alignedStart_ = 0;    // of the open interval
    int64_t intervalFirst_ = 0;   // first sample of the open interval
    int64_t seriesFirst_ = 0;
    int64_t seriesLast_ = 0;
    LevelAccumulator interval_;
    LevelAccumulator series_;
};

}  // namespace kestro
