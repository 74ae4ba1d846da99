#include "support/ManualClock.h"

namespace kestro {

ClockReading ManualClock::read() const {
    ClockReading r;
    r.utcMs = utcMs_;
    r.local = systemTimeFromAbsoluteMs(utcMs_ + offsetMs_ + kUnixEpochAbsoluteMs);
    return r;
}

void ManualClock::set(const SystemTime& t) { utcMs_ = absoluteMilliseconds(t) - kUnixEpochAbsoluteMs - offsetMs_; }

}  // namespace kestro
