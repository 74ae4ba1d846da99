#include "support/ManualClock.h"

namespace kestro {

ClockReading ManualClock::Read() const {
    ClockReading r;
    r.utcMs = utcMs_;
    r.local = SystemTimeFromAbsoluteMs(utcMs_ + offsetMs_ + kUnixEpochAbsoluteMs);
    return r;
}

void ManualClock::Set(const SystemTime& t) { utcMs_ = AbsoluteMilliseconds(t) - kUnixEpochAbsoluteMs - offsetMs_; }

}  // namespace kestro
