#include "statistics/IntervalEngine.h"

#include <algorithm>
#include <cmath>

namespace kestro {

namespace {

int64_t floorTo(int64_t v, int64_t step) {
    int64_t q = v / step;
    if (v % step != 0 && v < 0) --q;
    return q * step;
}

}  // namespace

bool isStatisticsInterval(int32_t seconds) {
    return std::find(kStatisticsIntervals.begin(), kStatisticsIntervals.end(), seconds) != kStatisticsIntervals.end();
}

void IntervalEngine::Stretch::clear() {
    levels.clear();
    running.clear();
    lastHundredths = 0;
    estimated = 0;
    maxRestarts = 0;
    anyLevel = false;
}

void IntervalEngine::Stretch::append(const Stretch& next) {
    levels.merge(next.levels);
    running.append(next.running);
    if (next.anyLevel) {
        lastHundredths = next.lastHundredths;
        anyLevel = true;
    }
    estimated += next.estimated;
    maxRestarts += next.maxRestarts;
}

void IntervalEngine::start(const std::string& typeWord, int32_t intervalSeconds, int32_t limitTenths) {
    if (running_) finish();
    typeWord_ = typeWord;
    quantity_ = quantityOfType(typeWord);
    const bool fast = typeWord == "LEQF";
    integrator_ = RunningIntegrator(fast ? 1 : 10);
    anyLevel_ = false;
    intervalMs_ = (isStatisticsInterval(intervalSeconds) ? intervalSeconds : kDefaultStatisticsInterval) * 1000;
    limitTenths_ = std::max(0, limitTenths);
    running_ = true;
    open_ = false;
    any_ = false;
    interval_.clear();
    series_.clear();
    hour_.clear();
    hourOpen_ = false;
}

void IntervalEngine::place(int64_t localMs) {
    // Behind the last sample, not the interval's start: an hour repeated in hourly intervals stays apart.
    if (open_ && (localMs >= alignedStart_ + intervalMs_ || localMs < seriesLast_ - kClockBackMs))
        closeInterval(alignedStart_ + intervalMs_);
    const bool first = !any_;
    if (first) {
        seriesFirst_ = localMs;
        any_ = true;
    }
    seriesLast_ = localMs;
    // A sample a little behind the start (stamping jitter) stays in the open interval.
    if (!open_) {
        open_ = true;
        alignedStart_ = floorTo(localMs, intervalMs_);
        intervalFirst_ = localMs;
        firstInterval_ = first;
    }
}

void IntervalEngine::add(int64_t localMs, int32_t hundredths, int16_t levelFlags, bool estimated) {
    if (!running_) return;
    place(localMs);
    interval_.levels.add(hundredths, levelFlags);
    if (estimated) ++interval_.estimated;
    if (quantity_ == Quantity::RunningLeq) {
        interval_.running.add(integrator_.add(localMs, hundredths));
    } else if (quantity_ == Quantity::RunningMax) {
        // A maximum never falls while the meter goes on measuring.
        if (anyLevel_ && hundredths < lastHundredths_) ++interval_.maxRestarts;
    }
    interval_.lastHundredths = hundredths;
    interval_.anyLevel = true;
    anyLevel_ = true;
    lastHundredths_ = hundredths;
}

void IntervalEngine::addSkipped(int64_t localMs) {
    if (!running_) return;
    place(localMs);
    interval_.levels.addSkipped();
}

void IntervalEngine::advance(int64_t localMs) {
    if (!running_ || !open_) return;
    if (localMs >= alignedStart_ + intervalMs_ || localMs < seriesLast_ - kClockBackMs)
        closeInterval(alignedStart_ + intervalMs_);
}

void keepWhatTheQuantityGives(IntervalResult& r, const RunningSum& running, int32_t lastHundredths) {
    if (r.quantity == Quantity::Level || r.samples == 0) return;
    const double leq = r.leq;
    r.leq = r.lmax = r.lmin = r.l5 = r.l10 = r.l50 = r.l90 = r.l95 = IntervalResult::kNoLevel;
    switch (r.quantity) {
        case Quantity::Amplitude:
            r.leq = leq;
            break;
        case Quantity::RunningLeq:
            running.fill(r);
            break;
        case Quantity::RunningMax:
            r.lmax = lastHundredths / 100.0;
            break;
        case Quantity::Level:
            break;
    }
    r.overLimit = r.limitTenths > 0 && !std::isnan(r.leq) && levelTenths(r.leq) > r.limitTenths;
}

IntervalResult IntervalEngine::make(ResultKind kind, const Stretch& s) const {
    IntervalResult r;
    r.typeWord = typeWord_;
    r.kind = kind;
    r.quantity = quantity_;
    s.levels.fill(r, limitTenths_);
    r.estimated = s.estimated;
    keepWhatTheQuantityGives(r, s.running, s.lastHundredths);
    if (quantity_ == Quantity::RunningMax) r.restarts = s.maxRestarts;
    return r;
}

IntervalResult IntervalEngine::currentInterval() const {
    IntervalResult r = make(ResultKind::Interval, interval_);
    if (open_) {
        // The first interval of a series begins with its first sample.
        r.startMs = firstInterval_ ? intervalFirst_ : alignedStart_;
        r.endMs = alignedStart_ + intervalMs_;
    }
    return r;
}

IntervalResult IntervalEngine::series() const {
    Stretch all = series_;
    all.append(interval_);
    IntervalResult r = make(ResultKind::Series, all);
    r.startMs = seriesFirst_;
    r.endMs = seriesLast_;
    return r;
}

void IntervalEngine::closeInterval(int64_t endMs) {
    IntervalResult r = currentInterval();
    r.endMs = endMs;
    open_ = false;
    series_.append(interval_);
    if (onHour) {
        // An hour ends with the first interval of another one, also the repeated hour of a clock set back.
        const int64_t hour = floorTo(alignedStart_, int64_t{3600000});
        if (hourOpen_ && (hour != hourAligned_ || r.startMs < hourEndMs_ - kClockBackMs)) closeHour();
        if (!hourOpen_) {
            hourOpen_ = true;
            hourAligned_ = hour;
            hourStartMs_ = r.startMs;
        }
        hour_.append(interval_);
        hourEndMs_ = endMs;
    }
    interval_.clear();
    if (r.samples > 0 && onResult) onResult(r);
}

void IntervalEngine::closeHour() {
    IntervalResult r = make(ResultKind::Interval, hour_);
    r.startMs = hourStartMs_;
    r.endMs = hourEndMs_;
    hourOpen_ = false;
    hour_.clear();
    if (r.samples > 0) onHour(r);
}

void IntervalEngine::finish() {
    if (!running_) return;
    // The last interval ends with the series' last sample.
    if (open_) closeInterval(std::clamp(seriesLast_, intervalFirst_, alignedStart_ + intervalMs_));
    if (hourOpen_) closeHour();
    running_ = false;
    const IntervalResult s = series();
    if (s.samples > 0 && onResult) onResult(s);
}

}  // namespace kestro
