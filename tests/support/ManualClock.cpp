#include "support/ManualClock.h"

namespace kestro {

ClockReading ManualClock::read() const {
    ClockReading r;
    r.utcMs = utcMs_;
    r.local = systemTimeFromAbsoluteMs(utcMs_ + offsetMs_ + kUnixEpochAbsoluteMs);
    if (changeUtcMs_ != ClockReading::kNoOffsetChange && changeFromMs_ != offsetMs_ && utcMs_ >= changeUtcMs_ &&
        utcMs_ - changeUtcMs_ <= 60000) {
        r.offsetChangeUtcMs = changeUtcMs_;
        r.offsetBeforeMs = changeFromMs_;
        r.offsetAfterMs = offsetMs_;
    }
    return r;
}

void ManualClock::set(const SystemTime& t) { utcMs_ = absoluteMilliseconds(t) - kUnixEpochAbsoluteMs - offsetMs_; }

}  // namespace kestro
