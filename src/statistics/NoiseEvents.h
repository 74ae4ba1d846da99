#pragma once
// Noise events of one series: exceedances of an event level held for a
// minimum duration, and the spans the user marks. Fed with the samples as
// they are recorded; standard C++ only, and cheap enough for every sample of
// the poll cycle.
//
// An exceedance starts with the first sample above the event level and ends
// with the first sample below the level minus the hysteresis; it counts once
// it has lasted the minimum duration. Time is the series' own: the gaps
// between the samples' instants, except that a gap longer than kClockStepMs,
// or one back by more than kJitterMs, is a clock set and counts as one
// cadence (the last gap that was none). So a daylight-saving change, a
// correction of the clock or midnight neither stretches nor cuts an event.
// Each sample stands for the time until the next one: an event lasts from
// its first sample to the sample that ends it; one cut short by the end of
// the series (device lost, disarmed, another function) to one cadence after
// its last sample, and it is marked open.

#include "statistics/IntervalResult.h"

#include <cstdint>
#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace kestro {

struct EventConfig {
    int32_t levelTenths = 800;  // 0: no exceedances, spans only
    int64_t minDurationMs = 10000;
    int32_t hysteresisTenths = 20;
};

struct EventSample {
    int64_t localMs = 0;  // AbsoluteMilliseconds
    int32_t hundredths = 0;
};

enum class EventKind { Exceedance, Marker };

struct NoiseEvent {
    EventKind kind = EventKind::Exceedance;
    int64_t startUtcMs = 0;
    int64_t startLocalMs = 0;
    int64_t endUtcMs = 0;  // while it runs: of its newest sample
    int64_t endLocalMs = 0;
    int64_t durationMs = 0;
    int64_t samples = 0;
    // kNoLevel where the stream's values do not give it (IntervalResult.h).
    double lmax = IntervalResult::kNoLevel;
    double leq = IntervalResult::kNoLevel;
    double sel = IntervalResult::kNoLevel;  // Leq + 10 lg(duration / 1 s)
    bool open = false;                      // cut short by the end of the series
    std::string note;                       // of a marked span
    // The samples of the kContextMs before its start and after its end.
    std::vector<EventSample> before;
    std::vector<EventSample> after;
};

class EventTracker {
public:
    static constexpr int64_t kContextMs = 10000;
    static constexpr int64_t kClockStepMs = 10000;
    static constexpr int64_t kJitterMs = 1000;
    // Context kept at most, whatever the rate of the stream.
    static constexpr size_t kMaxContext = 4096;

    using EventFn = std::function<void(const NoiseEvent&)>;
    EventFn onStarted;   // an exceedance has lasted the minimum duration: its values so far
    EventFn onEnded;     // it has ended, or the series did (open)
    EventFn onComplete;  // an exceedance with its context, or a marked span: to be written

    // detect false: no exceedances (a stream without instant levels); marked
    // spans are still measured. quantity: which levels the values give.
    void start(const EventConfig& c, bool detect, Quantity quantity);
    void add(int64_t utcMs, int64_t localMs, int32_t hundredths);
    // The clock has reached utcMs: contexts whose time is over are completed.
    void advance(int64_t utcMs);
    // The end of the series: a running exceedance ends open, contexts are
    // completed with what they have, a marked span ends open.
    void finish();
    // A marked span from (to) a moment; begun before the first sample, it starts
    // with it. A span may begin up to kContextMs before the newest sample.
    void beginSpan(int64_t utcMs, int64_t localMs, const std::string& note);
    void endSpan(int64_t utcMs, int64_t localMs);

    bool started() const { return started_; }
    bool detecting() const { return started_ && detect_; }
    const EventConfig& config() const { return config_; }
    // The exceedance that counts and runs now, with its values so far.
    std::optional<NoiseEvent> running() const;

private:
    struct Stretch {
        NoiseEvent event;
        int64_t t0 = 0;  // series time of its start
        double energy = 0.0;
        int32_t maxHundredths = 0;
        bool counted = false;
    };
    struct Pending {
        NoiseEvent event;
        int64_t tEnd = 0;
    };
    int64_t timeAt(int64_t utcMs) const;
    void take(Stretch& s, int32_t hundredths) const;
    NoiseEvent finished(const Stretch& s, int64_t durationMs) const;
    void endExceedance(int64_t durationMs, int64_t utcMs, int64_t localMs, bool open);
    void completeContexts(int64_t t);

    EventConfig config_;
    bool detect_ = false;
    Quantity quantity_ = Quantity::Level;
    bool started_ = false;
    bool any_ = false;
    int64_t t_ = 0;  // series time of the newest sample
    int64_t lastUtc_ = 0;
    int64_t lastLocal_ = 0;
    int64_t cadenceMs_ = 1000;
    struct Recent {
        int64_t t;
        EventSample s;
    };
    std::deque<Recent> recent_;  // the last kContextMs of samples
    std::optional<Stretch> exceedance_;
    std::optional<Stretch> span_;
    std::deque<Pending> pending_;  // ended, waiting for the samples after
};

}  // namespace kestro
