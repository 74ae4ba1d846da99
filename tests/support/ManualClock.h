#pragma once
// A clock that tests set and advance by hand. Local time is UTC plus an
// offset that tests may change (daylight saving) without moving the instant.

#include "core/Types.h"

namespace kestro {

class ManualClock final : public Clock {
public:
    explicit ManualClock(SystemTime t = {2026, 3, 4, 5, 14, 3, 27, 250}) { set(t); }
    ClockReading read() const override;
    // Sets the local time; the instant follows with the current offset.
    void set(const SystemTime& t);
    // Moves the instant (and local time with it); negative steps the clock back.
    void advanceMs(int64_t ms) { utcMs_ += ms; }
    // Changes the UTC offset: local time jumps, the instant does not.
    // Readings within a minute of the change know of it, as the machine's clock does.
    void setUtcOffsetMinutes(int minutes) {
        changeFromMs_ = offsetMs_;
        offsetMs_ = int64_t{minutes} * 60000;
        changeUtcMs_ = utcMs_;
    }
    int64_t utcMs() const { return utcMs_; }

private:
    int64_t utcMs_ = 0;
    int64_t offsetMs_ = 0;
    int64_t changeUtcMs_ = ClockReading::kNoOffsetChange;
    int64_t changeFromMs_ = 0;
};

}  // namespace kestro
