#pragma once
// The station's local times as ISO 8601 texts with their UTC offset. Local
// times (record files, statistics) carry no offset of their own; the offset
// comes from the injected clock, and across a daylight-saving change each
// local time gets the offset that was in force when it was read.

#include "protocol/DeviceCodes.h"
#include "statistics/StatisticsFile.h"

#include <QString>
#include <cstdint>

namespace kestro {

// UTC milliseconds since 1970 as absoluteMilliseconds would count them (no offset).
int64_t utcAsAbsoluteMs(int64_t utcMs);
// The UTC offset of a clock reading, in whole minutes.
int utcOffsetMinutes(const ClockReading& r);

class UtcOffsets {
public:
    // Every tick: a changed offset is remembered with the instant it was first seen.
    void observe(const ClockReading& r);
    bool known() const { return seen_; }
    int currentMinutes() const { return currentMin_; }
    // The offset of a local time at or before the last observed instant. In the
    // repeated hour after the clocks went back the later reading wins, unless
    // that would lie after now.
    int minutesFor(int64_t localMs) const;
    QString isoText(int64_t localMs) const { return isoLocalTime(localMs, minutesFor(localMs)); }
    // A record file's start: a local day count.
    QString isoTextOfDays(double days) const;
    // The instant (UTC ms since 1970) of a local time.
    int64_t utcOf(int64_t localMs) const;
    QString isoNow() const { return isoLocalTime(nowLocalMs_, currentMin_); }
    int64_t nowUtcMs() const { return nowUtcMs_; }

private:
    bool seen_ = false;
    int currentMin_ = 0;
    int previousMin_ = 0;
    bool changed_ = false;
    int64_t changeUtcMs_ = 0;  // first reading with the current offset
    int64_t nowUtcMs_ = 0;
    int64_t nowLocalMs_ = 0;
};

}  // namespace kestro
