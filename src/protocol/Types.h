#pragma once
// Plain data shared by every subsystem: time values, the sample record and
// the device state record. Standard C++ only (this library is the fuzz target).

#include <array>
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

// Date-time values are day counts from 1899-12-30 whose fraction is the time of day.
double DateFromSystemTime(const SystemTime& t);
SystemTime SystemTimeFromDate(double date);
// Milliseconds since midnight of a time of day.
int32_t MillisecondsOfDay(const SystemTime& t);
// Whole days of a calendar date counted from 1899-12-30 (negative before it).
int32_t DayNumber(int year, int month, int day);
// Milliseconds since 1899-12-30 00:00 of a local time; a total order across midnight.
int64_t AbsoluteMilliseconds(const SystemTime& t);
// The inverse of AbsoluteMilliseconds, weekday included.
SystemTime SystemTimeFromAbsoluteMs(int64_t ms);

// One reading of the clock: the local date and time and the same instant in
// UTC milliseconds since 1970-01-01. Stamps are ordered by the instant, so
// daylight-saving changes and clock steps cannot freeze or scramble them.
struct ClockReading {
    SystemTime local;
    int64_t utcMs = 0;
    // Local time of another instant near this one (same UTC offset).
    SystemTime LocalAt(int64_t utc) const;
};

// Source of the local date and time with milliseconds; injected so tests drive time.
class Clock {
public:
    virtual ~Clock() = default;
    virtual ClockReading Read() const = 0;
    SystemTime Now() const { return Read().local; }
};

// The machine's local time.
class SystemClock final : public Clock {
public:
    ClockReading Read() const override;
};

// A clock that tests set and advance by hand. Local time is UTC plus an
// offset that tests may change (daylight saving) without moving the instant.
class ManualClock final : public Clock {
public:
    explicit ManualClock(SystemTime t = {2026, 3, 4, 5, 14, 3, 27, 250}) { Set(t); }
    ClockReading Read() const override;
    // Sets the local time; the instant follows with the current offset.
    void Set(const SystemTime& t);
    // Moves the instant (and local time with it); negative steps the clock back.
    void AdvanceMs(int64_t ms) { utcMs_ += ms; }
    // Changes the UTC offset: local time jumps, the instant does not.
    void SetUtcOffsetMinutes(int minutes) { offsetMs_ = int64_t{minutes} * 60000; }
    int64_t UtcMs() const { return utcMs_; }

private:
    int64_t utcMs_ = 0;
    int64_t offsetMs_ = 0;
};

// One sample. Field order as in the device's documentation of the record.
struct MeasurementRecord {
    int16_t Flags = 0;       // bits 0-2 slow function seen (Lp, LEQ, MAX); bits 4-6 fast kind (p, q, r)
    double Timestamp = 0.0;  // local date and time when the value line was interpreted
    SystemTime SysTime;      // the sample's time with milliseconds, spaced by the stamping rule
    int16_t Level = 0;       // slow level in tenths of a decibel
    double FastLevel = 0.0;  // fast value on a linear scale
    int16_t LevelFlags = 0;  // status bits: 1 underflow, 4 overflow (low bits of the two states)
    int64_t Instant = 0;     // the stamp of SysTime as UTC milliseconds since 1970-01-01
};

// Fixed texts of 64 characters, blank padded.
using FixedText64 = std::array<char, 64>;
FixedText64 MakeFixedText64(const std::string& s);    // left-aligned, padded with blanks, cut at 64
std::string FixedTextToString(const FixedText64& t);  // trailing blanks removed

struct KestroStateRecord {
    bool DeviceOnline = false;
    int32_t DataValid = 0;
    int16_t DevFunction = 0;
    int16_t DevVariant = 0;
    int16_t DevRange = 0;
    int16_t DevLevel = 0;
    int16_t DevLevelStatus = 0;
    int16_t DevMeasMode = 0;
    int16_t DevKeyState = 0;
    int16_t DevBattery = 0;
    int32_t DevSerialNo = 0;
    int16_t DevOptions = 0;
    std::array<float, 3> DevCalCoef{{0.f, 0.f, 0.f}};
    FixedText64 DevSwRev{};
    FixedText64 DevHwRev{};
    int16_t DevFlash = 0;
    int16_t DevVBatt = 0;
    int16_t DevVCpu = 0;
    int16_t DevVAna = 0;
    int16_t DevTemp = 0;
    int16_t DevSupply = 0;
};

// Whole-record comparisons (tests, change detection).
bool operator==(const SystemTime& a, const SystemTime& b);
bool operator==(const MeasurementRecord& a, const MeasurementRecord& b);
bool operator==(const KestroStateRecord& a, const KestroStateRecord& b);
inline bool operator!=(const SystemTime& a, const SystemTime& b) { return !(a == b); }
inline bool operator!=(const MeasurementRecord& a, const MeasurementRecord& b) { return !(a == b); }
inline bool operator!=(const KestroStateRecord& a, const KestroStateRecord& b) { return !(a == b); }

// Error line sink: label such as ": Interpreter: " and the error number.
// The shell prefixes the date and time and writes the line to the event log.
using ErrorLogFn = std::function<void(const std::string& label, int32_t errNo)>;

// Error numbers of our own for failures inside the interpreter.
constexpr int32_t kErrOverflow = 6;         // a number left its 16- or 32-bit range
constexpr int32_t kErrSubscriptRange = 9;   // an index outside an array
constexpr int32_t kErrReceiveOverflow = 7;  // receive buffer full: oldest characters dropped
constexpr int32_t kErrInternal = 51;        // anything else caught by the interpreter

}  // namespace kestro
