#pragma once
// What every layer shares: the success convention, time values, the clock and
// the error line sink. Standard C++ only.

#include <cstdint>
#include <functional>
#include <string>

namespace kestro {

// Results that report success: True = -1, False = 0 (callers compare with kTrue).
constexpr int16_t kTrue = -1;
constexpr int16_t kFalse = 0;

// Local time split into its fields (the order of the platform's system time record).
struct SystemTime {
    int16_t wYear = 0;
    int16_t wMonth = 0;
    int16_t wDayOfWeek = 0;  // 0 = Sunday
    int16_t wDay = 0;
    int16_t wHour = 0;
    int16_t wMinute = 0;
    int16_t wSecond = 0;
    int16_t wMilliseconds = 0;
};

bool operator==(const SystemTime& a, const SystemTime& b);
inline bool operator!=(const SystemTime& a, const SystemTime& b) { return !(a == b); }

// Date-time values are day counts from 1899-12-30 whose fraction is the time of day.
double dateFromSystemTime(const SystemTime& t);
SystemTime systemTimeFromDate(double date);
// Milliseconds since midnight of a time of day.
int32_t millisecondsOfDay(const SystemTime& t);
// Whole days of a calendar date counted from 1899-12-30 (negative before it).
int32_t dayNumber(int year, int month, int day);
// Milliseconds since 1899-12-30 00:00 of a local time; a total order across midnight.
int64_t absoluteMilliseconds(const SystemTime& t);
// The inverse of absoluteMilliseconds, weekday included.
SystemTime systemTimeFromAbsoluteMs(int64_t ms);
// 1970-01-01 counted in milliseconds from 1899-12-30 (UTC instants to day counts).
constexpr int64_t kUnixEpochAbsoluteMs = int64_t{25569} * 86400000;

// One reading of the clock: the local date and time and the same instant in
// UTC milliseconds since 1970-01-01. Stamps are ordered by the instant, so
// daylight-saving changes and clock steps cannot freeze or scramble them.
struct ClockReading {
    SystemTime local;
    int64_t utcMs = 0;
    // A change of the UTC offset near this reading (a stamp for a line read late
    // may lie before it): the first instant of the new offset and the offsets
    // either side; kNoOffsetChange when none is near.
    static constexpr int64_t kNoOffsetChange = INT64_MIN;
    int64_t offsetChangeUtcMs = kNoOffsetChange;
    int64_t offsetBeforeMs = 0;
    int64_t offsetAfterMs = 0;
    // Local time of another instant near this one, with the offset in force then.
    SystemTime localAt(int64_t utc) const;
};

// Source of the local date and time with milliseconds; injected so tests drive time.
class Clock {
public:
    virtual ~Clock() = default;
    virtual ClockReading read() const = 0;
    SystemTime now() const { return read().local; }
};

// The machine's local time.
class SystemClock final : public Clock {
public:
    ClockReading read() const override;
    // The reading at an instant, in the process's time zone.
    static ClockReading readingAt(int64_t utcMs);
};

// Error line sink: label (core/Errors.h) and the error number. The shell
// prefixes the date and time and writes the line to the event log.
using ErrorLogFn = std::function<void(const std::string& label, int32_t errNo)>;

}  // namespace kestro
