#pragma once
// Interval and series statistics of one series, fed one sample at a time.
// Intervals are aligned to the local clock (a 15-minute interval starts at
// :00, :15, :30, :45); the first and the last interval of a series are partial.

#include "statistics/IntervalResult.h"
#include "statistics/LevelAccumulator.h"
#include "statistics/RunningLevels.h"

#include <array>
#include <cstdint>
#include <functional>
#include <string>

namespace kestro {

// Interval lengths the recorder offers, in seconds. Each divides an hour, so
// no interval straddles an hour (nor a day, evening or night period).
inline constexpr std::array<int32_t, 8> kStatisticsIntervals{10, 30, 60, 300, 600, 900, 1800, 3600};
inline constexpr int32_t kDefaultStatisticsInterval = 900;
bool isStatisticsInterval(int32_t seconds);

// Clears the statistics r.quantity does not give and fills those it gives
// differently: a running Leq from its steps, a running maximum as its last value.
void keepWhatTheQuantityGives(IntervalResult& r, const RunningSum& running, int32_t lastHundredths);

class IntervalEngine {
public:
    using ResultFn = std::function<void(const IntervalResult&)>;

    // A sample or clock this far behind the last sample is a clock set back
    // (end of daylight saving time), not stamping jitter.
    static constexpr int64_t kClockBackMs = 5 * 60 * 1000;

    // Called with every finished interval that holds samples, then with the series.
    ResultFn onResult;
    // When set, called with every clock hour (the intervals in it combined) as it ends.
    ResultFn onHour;

    // Starts a series; a running one is finished first. An interval length
    // that is not offered falls back to the default. The type word says what
    // the values are (quantityOfType) and, for a running Leq, their resolution
    // (fast streams: hundredths of a dB).
    void start(const std::string& typeWord, int32_t intervalSeconds, int32_t limitTenths);
    // localMs: local date and time in milliseconds (absoluteMilliseconds);
    // estimated: the instant is a guess (a line without a time).
    void add(int64_t localMs, int32_t hundredths, int16_t levelFlags, bool estimated = false);
    void addSkipped(int64_t localMs);
    // The clock has reached localMs: ends the current interval when it is over.
    void advance(int64_t localMs);
    // Ends the last interval at the last sample and reports the series.
    void finish();

    bool running() const { return running_; }
    const std::string& typeWord() const { return typeWord_; }
    Quantity quantity() const { return quantity_; }
    int32_t intervalSeconds() const { return intervalMs_ / 1000; }
    int32_t limitTenths() const { return limitTenths_; }
    // Snapshots for a live view: the open interval (empty when none) and the series so far.
    IntervalResult currentInterval() const;
    IntervalResult series() const;
    bool intervalOpen() const { return open_; }

private:
    // What one stretch of time holds beyond the level accumulator.
    struct Stretch {
        LevelAccumulator levels;
        RunningSum running;
        int32_t lastHundredths = 0;
        int64_t estimated = 0;
        int64_t maxRestarts = 0;
        bool anyLevel = false;
        void clear();
        void append(const Stretch& next);
    };

    void place(int64_t localMs);
    void closeInterval(int64_t endMs);
    void closeHour();
    IntervalResult make(ResultKind kind, const Stretch& s) const;

    std::string typeWord_;
    Quantity quantity_ = Quantity::Level;
    RunningIntegrator integrator_;
    bool anyLevel_ = false;
    int32_t lastHundredths_ = 0;
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
    // Per-sample work goes into the interval only; the series and the hour
    // take each interval whole when it ends.
    Stretch interval_;
    Stretch series_;
    Stretch hour_;
    bool hourOpen_ = false;
    int64_t hourAligned_ = 0;
    int64_t hourStartMs_ = 0;
    int64_t hourEndMs_ = 0;
};

}  // namespace kestro
