#include "statistics/NoiseEvents.h"

#include "statistics/LevelAccumulator.h"

#include <algorithm>
#include <cmath>

namespace kestro {

void EventTracker::start(const EventConfig& c, bool detect, Quantity quantity) {
    config_ = c;
    // Only instant levels can cross a level and fall back below it.
    detect_ = detect && c.levelTenths > 0 && quantity == Quantity::Level;
    quantity_ = quantity;
    started_ = true;
    any_ = false;
    t_ = 0;
    cadenceMs_ = 1000;
    recent_.clear();
    exceedance_.reset();
    span_.reset();
    pending_.clear();
}

int64_t EventTracker::timeAt(int64_t utcMs) const {
    if (!any_) return 0;
    const int64_t elapsed = utcMs - lastUtc_;
    return t_ + (elapsed < -kClockStepMs || elapsed > kClockStepMs ? 0 : elapsed);
}

void EventTracker::take(Stretch& s, int32_t hundredths) const {
    s.maxHundredths = s.event.samples == 0 ? hundredths : std::max(s.maxHundredths, hundredths);
    ++s.event.samples;
    s.energy += energyOfHundredths(hundredths);
}

NoiseEvent EventTracker::finished(const Stretch& s, int64_t durationMs) const {
    NoiseEvent e = s.event;
    e.durationMs = durationMs;
    e.endUtcMs = lastUtc_;
    e.endLocalMs = lastLocal_;
    if (e.samples > 0) {
        e.leq = levelOfEnergy(s.energy, e.samples);
        e.lmax = s.maxHundredths / 100.0;
        if (durationMs > 0) e.sel = e.leq + 10.0 * std::log10(durationMs / 1000.0);
    }
    // Never from the wrong quantity: a running value has neither, an amplitude no maximum.
    if (quantity_ != Quantity::Level) e.lmax = IntervalResult::kNoLevel;
    if (quantity_ == Quantity::RunningLeq || quantity_ == Quantity::RunningMax)
        e.leq = e.sel = IntervalResult::kNoLevel;
    return e;
}

void EventTracker::completeContexts(int64_t t) {
    while (!pending_.empty() && t >= pending_.front().tEnd + kContextMs) {
        const NoiseEvent e = std::move(pending_.front().event);
        pending_.pop_front();
        if (onComplete) onComplete(e);
    }
}

void EventTracker::endExceedance(int64_t durationMs, int64_t utcMs, int64_t localMs, bool open) {
    const Stretch s = std::move(*exceedance_);
    exceedance_.reset();
    if (!s.counted && durationMs < config_.minDurationMs) return;
    NoiseEvent e = finished(s, durationMs);
    e.endUtcMs = utcMs;
    e.endLocalMs = localMs;
    e.open = open;
    if (!s.counted && onStarted) onStarted(e);
    if (onEnded) onEnded(e);
    if (open) {
        if (onComplete) onComplete(e);
    } else {
        pending_.push_back({std::move(e), t_});
    }
}

void EventTracker::add(int64_t utcMs, int64_t localMs, int32_t hundredths) {
    if (!started_) return;
    if (any_) {
        int64_t gap = utcMs - lastUtc_;
        if (gap > kClockStepMs || gap < -kJitterMs)
            gap = cadenceMs_;
        else if (gap <= 0)
            gap = 0;
        else
            cadenceMs_ = gap;
        t_ += gap;
    } else if (span_ && span_->event.samples == 0) {
        // Begun before the series had a sample: it starts with the first.
        span_->event.startUtcMs = utcMs;
        span_->event.startLocalMs = localMs;
    }
    any_ = true;
    lastUtc_ = utcMs;
    lastLocal_ = localMs;
    completeContexts(t_);

    if (span_ && t_ >= span_->t0) take(*span_, hundredths);
    if (exceedance_) {
        Stretch& s = *exceedance_;
        if (hundredths < (config_.levelTenths - config_.hysteresisTenths) * 10) {
            endExceedance(t_ - s.t0, utcMs, localMs, false);
        } else {
            take(s, hundredths);
            if (!s.counted && t_ - s.t0 >= config_.minDurationMs) {
                s.counted = true;
                if (onStarted) onStarted(finished(s, t_ - s.t0));
            }
        }
    } else if (detect_ && hundredths > config_.levelTenths * 10) {
        Stretch s;
        s.t0 = t_;
        s.event.startUtcMs = utcMs;
        s.event.startLocalMs = localMs;
        for (const Recent& r : recent_)
            if (r.t >= t_ - kContextMs) s.event.before.push_back(r.s);
        take(s, hundredths);
        exceedance_ = std::move(s);
        if (config_.minDurationMs <= 0) {
            exceedance_->counted = true;
            if (onStarted) onStarted(finished(*exceedance_, 0));
        }
    }
    for (Pending& p : pending_)
        if (p.event.after.size() < kMaxContext) p.event.after.push_back({localMs, hundredths});

    recent_.push_back({t_, {localMs, hundredths}});
    while (!recent_.empty() && (t_ - recent_.front().t > kContextMs || recent_.size() > kMaxContext))
        recent_.pop_front();
}

void EventTracker::advance(int64_t utcMs) {
    if (!started_ || !any_) return;
    const int64_t elapsed = utcMs - lastUtc_;
    if (elapsed >= 0 && elapsed <= kClockStepMs) completeContexts(t_ + elapsed);
}

void EventTracker::finish() {
    if (!started_) return;
    started_ = false;
    if (!any_) {
        exceedance_.reset();
        span_.reset();
        return;
    }
    // The last sample stands for one cadence.
    const int64_t endUtc = lastUtc_ + cadenceMs_;
    const int64_t endLocal = lastLocal_ + cadenceMs_;
    if (exceedance_) endExceedance(t_ + cadenceMs_ - exceedance_->t0, endUtc, endLocal, true);
    while (!pending_.empty()) {
        const NoiseEvent e = std::move(pending_.front().event);
        pending_.pop_front();
        if (onComplete) onComplete(e);
    }
    if (span_) {
        NoiseEvent e = finished(*span_, std::max<int64_t>(0, t_ + cadenceMs_ - span_->t0));
        e.endUtcMs = endUtc;
        e.endLocalMs = endLocal;
        e.open = true;
        span_.reset();
        if (onComplete) onComplete(e);
    }
}

void EventTracker::beginSpan(int64_t utcMs, int64_t localMs, const std::string& note) {
    if (!started_) return;
    // A note typed for longer than the samples kept (or a clock set back):
    // the span starts with the newest sample, and says so with its time.
    if (any_ && utcMs < lastUtc_ - kContextMs) {
        utcMs = lastUtc_;
        localMs = lastLocal_;
    }
    Stretch s;
    s.t0 = timeAt(utcMs);
    s.event.kind = EventKind::Marker;
    s.event.startUtcMs = utcMs;
    s.event.startLocalMs = localMs;
    s.event.note = note;
    // A Mark is pressed before its note is typed: the samples since the press belong to the span.
    for (const Recent& r : recent_)
        if (r.t >= s.t0) take(s, r.s.hundredths);
    span_ = std::move(s);
}

void EventTracker::endSpan(int64_t utcMs, int64_t localMs) {
    if (!span_) return;
    NoiseEvent e = finished(*span_, std::max<int64_t>(0, timeAt(utcMs) - span_->t0));
    e.endUtcMs = utcMs;
    e.endLocalMs = localMs;
    span_.reset();
    if (onComplete) onComplete(e);
}

std::optional<NoiseEvent> EventTracker::running() const {
    if (!exceedance_ || !exceedance_->counted) return std::nullopt;
    return finished(*exceedance_, t_ - exceedance_->t0);
}

}  // namespace kestro
