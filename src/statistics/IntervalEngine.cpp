#include "statistics/IntervalEngine.h"

#include <algorithm>

namespace kestro {

namespace {

int64_t FloorTo(int64_t v, int64_t step) {
    int64_t q = v / step;
    if (v % step != 0 && v < 0) --q;
    return q * step;
}

}  // namespace

bool IsStatisticsInterval(int32_t seconds) {
    return std::find(kStatisticsIntervals.begin(), kStatisticsIntervals.end(), seconds) != kStatisticsIntervals.end();
}

void IntervalEngine::start(const std::string& typeWord, int32_t intervalSeconds, int32_t limitTenths) {
    if (running_) finish();
    typeWord_ = typeWord;
    intervalMs_ = (IsStatisticsInterval(intervalSeconds) ? intervalSeconds : kDefaultStatisticsInterval) * 1000;
    limitTenths_ = std::max(0, limitTenths);
    running_ = true;
    open_ = false;
    any_ = false;
    interval_.clear();
    series_.clear();
}

void IntervalEngine::place(int64_t localMs) {
    if (open_ && (localMs >= alignedStart_ + intervalMs_ || localMs < alignedStart_ - kClockBackMs))
        closeInterval(alignedStart_ + intervalMs_);
    if (!any_) {
        seriesFirst_ = localMs;
        any_ = true;
    }
    seriesLast_ = localMs;
    // A sample a little behind the start (stamping jitter) stays in the open interval.
    if (!open_) {
        open_ = true;
        alignedStart_ = FloorTo(localMs, intervalMs_);
        intervalFirst_ = localMs;
        firstInterval_ = localMs == seriesFirst_ && series_.samples() + series_.skipped() == 0;
    }
}

void IntervalEngine::add(int64_t localMs, int32_t hundredths, int16_t levelFlags) {
    if (!running_) return;
    place(localMs);
    interval_.add(hundredths, levelFlags);
    series_.add(hundredths, levelFlags);
}

void IntervalEngine::addSkipped(int64_t localMs) {
    if (!running_) return;
    place(localMs);
    interval_.addSkipped();
    series_.addSkipped();
}

void IntervalEngine::advance(int64_t localMs) {
    if (!running_ || !open_) return;
    if (localMs >= alignedStart_ + intervalMs_ || localMs < alignedStart_ - kClockBackMs)
        closeInterval(alignedStart_ + intervalMs_);
}

IntervalResult IntervalEngine::currentInterval() const {
    IntervalResult r;
    r.typeWord = typeWord_;
    r.kind = ResultKind::Interval;
    if (open_) {
        // The first interval of a series begins with its first sample.
        r.startMs = firstInterval_ ? intervalFirst_ : alignedStart_;
        r.endMs = alignedStart_ + intervalMs_;
    }
    interval_.fill(r, limitTenths_);
    return r;
}

IntervalResult IntervalEngine::series() const {
    IntervalResult r;
    r.typeWord = typeWord_;
    r.kind = ResultKind::Series;
    r.startMs = seriesFirst_;
    r.endMs = seriesLast_;
    series_.fill(r, limitTenths_);
    return r;
}

void IntervalEngine::closeInterval(int64_t endMs) {
    IntervalResult r = currentInterval();
    r.endMs = endMs;
    open_ = false;
    interval_.clear();
    if (r.samples > 0 && onResult) onResult(r);
}

void IntervalEngine::finish() {
    if (!running_) return;
    // The last interval ends with the series' last sample.
    if (open_) closeInterval(std::clamp(seriesLast_, intervalFirst_, alignedStart_ + intervalMs_));
    running_ = false;
    const IntervalResult s = series();
    if (s.samples > 0 && onResult) onResult(s);
}

}  // namespace kestro
