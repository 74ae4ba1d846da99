#include "remote/StationTime.h"

#include <cmath>
#include <cstdlib>

namespace kestro {

namespace {

constexpr int64_t kMsPerMinute = 60000;
constexpr int64_t kMsPerDay = 86400000;
constexpr int64_t kUnixEpochDays = 25569;  // 1970-01-01 counted from 1899-12-30

}  // namespace

int64_t utcAsAbsoluteMs(int64_t utcMs) { return utcMs + kUnixEpochDays * kMsPerDay; }

int utcOffsetMinutes(const ClockReading& r) {
    const int64_t diff = absoluteMilliseconds(r.local) - utcAsAbsoluteMs(r.utcMs);
    // Local fields and the instant may come from readings a millisecond apart.
    return int(std::llround(double(diff) / double(kMsPerMinute)));
}

void UtcOffsets::observe(const ClockReading& r) {
    const int offset = utcOffsetMinutes(r);
    nowUtcMs_ = r.utcMs;
    nowLocalMs_ = absoluteMilliseconds(r.local);
    if (!seen_) {
        seen_ = true;
        currentMin_ = offset;
        return;
    }
    if (offset == currentMin_) return;
    previousMin_ = currentMin_;
    currentMin_ = offset;
    changed_ = true;
    changeUtcMs_ = r.utcMs;
}

int UtcOffsets::minutesFor(int64_t localMs) const {
    if (!changed_) return currentMin_;
    const int64_t local = localMs - kUnixEpochDays * kMsPerDay;  // local ms since 1970
    const int64_t atCurrent = local - currentMin_ * kMsPerMinute;
    const int64_t atPrevious = local - previousMin_ * kMsPerMinute;
    // Each reading is only possible while its offset was in force.
    const bool currentFits = atCurrent >= changeUtcMs_;
    const bool previousFits = atPrevious < changeUtcMs_;
    // A stamp may lead the last tick's reading by a little.
    const int64_t latest = nowUtcMs_ + 1000;
    if (currentFits && previousFits) {
        if (atCurrent <= latest && atPrevious <= latest) return atCurrent > atPrevious ? currentMin_ : previousMin_;
        if (atPrevious <= latest && atCurrent > latest) return previousMin_;
        return currentMin_;
    }
    if (previousFits) return previousMin_;
    return currentMin_;  // also the hour skipped when the clocks went forward
}

QString UtcOffsets::isoTextOfDays(double days) const { return isoText(std::llround(days * double(kMsPerDay))); }

int64_t UtcOffsets::utcOf(int64_t localMs) const {
    return localMs - kUnixEpochDays * kMsPerDay - int64_t{minutesFor(localMs)} * kMsPerMinute;
}

}  // namespace kestro
