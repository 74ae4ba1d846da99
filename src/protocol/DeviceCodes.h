#pragma once
// The device's records and their codes: the sample record, the device state
// record with its DataValid bits and reset sentinels, the value codes of the
// answer lines. Standard C++ only (this library is the fuzz target).

#include "core/Types.h"

#include <array>
#include <cstdint>
#include <string>

namespace kestro {

// Measuring functions (DevFunction) as the device numbers them.
enum DeviceFunction : int16_t {
    kFunctionInit = 0,  // Initialisation: the display test pattern
    kFunctionLp = 1,
    kFunctionLeq = 2,
    kFunctionMax = 3,
    kFunctionCal = 4,
    kFunctionService = 5,
};

// Value codes of the value lines (tens: function, units: variant).
enum ValueCode : int16_t {
    kCodeGdv = 0,
    kCodeLp = 11,
    kCodeLeqs = 21,
    kCodeLeq = 22,
    kCodeLeqr = 23,
    kCodeMaxs = 31,
    kCodeMax = 32,
    kCodeMaxr = 33,
    kCodeCals = 41,
    kCodeCal = 42,
    kCodeCalr = 45,
};

// Fast value kinds: "p", "q", "r".
enum FastKind : int16_t {
    kFastP = 1,
    kFastQ = 2,
    kFastR = 3,
};

// MeasurementRecord::Flags: the slow functions seen (low nibble) and the fast
// kinds seen (high nibble) since the buffer last restarted.
constexpr int16_t kFlagLp = 1;
constexpr int16_t kFlagLeq = 2;
constexpr int16_t kFlagMax = 4;
constexpr int16_t kSlowFlags = 0x0F;
constexpr int16_t kFlagFastP = 16;
constexpr int16_t kFlagFastQ = 32;
constexpr int16_t kFlagFastR = 64;  // RAW: its values are amplitudes, not powers
constexpr int16_t kFastFlags = 0xF0;
// Hundredths of a decibel per decade of a fast value: RAW values are
// amplitudes (20 log10), the others powers (10 log10).
constexpr double fastHundredthsPerDecade(int16_t flags) { return (flags & kFlagFastR) ? 2000.0 : 1000.0; }

// Status bits of a level (DevLevelStatus, MeasurementRecord::LevelFlags): the
// low bits of the underflow state (bits 0-1) and the overflow state (bits 2-3).
constexpr int16_t kStatusUnderflow = 1;
constexpr int16_t kStatusOverflow = 4;
constexpr int16_t kUnderflowState = 3;
constexpr int16_t kOverflowState = 12;

// DevRange: bits 0-1 the range (1 30-90 dB, 2 50-110 dB, 3 70-130 dB), bit 2 AUTO.
constexpr int16_t kRangeMask = 3;
constexpr int16_t kRangeAuto = 4;

// DataValid: which items of KestroStateRecord arrived since the last reset.
enum DataValidBit : int32_t {
    kValidFunction = 1,
    kValidVariant = 2,
    kValidRange = 4,
    kValidLevel = 8,
    kValidLevelStatus = 16,
    kValidKeyState = 32,
    kValidBattery = 64,
    kValidSerialNo = 128,
    kValidOptions = 256,
    kValidCalCoef0 = 512,  // 1024 and 2048 for elements 1 and 2
    kValidSwRev = 4096,
    kValidHwRev = 8192,
    kValidFlash = 65536,
    kValidVBatt = 131072,
    kValidVCpu = 262144,
    kValidVAna = 524288,
    kValidTemp = 1048576,
    kValidSupply = 2097152,
};
constexpr int32_t validCalCoef(int index) { return kValidCalCoef0 << index; }

// One sample. Field order as in the device's documentation of the record.
struct MeasurementRecord {
    int16_t Flags = 0;       // kSlowFlags: functions seen; kFastFlags: fast kinds seen
    double Timestamp = 0.0;  // local date and time when the value line was interpreted
    SystemTime SysTime;      // the sample's time with milliseconds, spaced by the stamping rule
    int16_t Level = 0;       // slow level in tenths of a decibel
    double FastLevel = 0.0;  // fast value on a linear scale
    int16_t LevelFlags = 0;  // status bits: kStatusUnderflow, kStatusOverflow
    int64_t Instant = 0;     // the stamp of SysTime as UTC milliseconds since 1970-01-01
};

// Fixed texts of 64 characters, blank padded.
using FixedText64 = std::array<char, 64>;
FixedText64 makeFixedText64(const std::string& s);    // left-aligned, padded with blanks, cut at 64
std::string fixedTextToString(const FixedText64& t);  // trailing blanks removed

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

// Reset sentinels: the device state is reset to "not received", the copy of
// what is shown to "not shown", so that every item received after a reset
// differs from its shown copy and is shown once.
constexpr int16_t kNotReceived = 9999;
constexpr int16_t kNotShown = 9998;
constexpr int32_t kSerialNotReceived = 999999999;
constexpr int32_t kSerialNotShown = 999999998;
constexpr float kCalCoefNotReceived = 9.99995f;
constexpr float kCalCoefNotShown = 9.99994f;
inline constexpr const char* kTextNotReceived = "empty";

// The serial number as every outlet shows it: the eight digits of the wire,
// zero padded; empty for a sentinel or anything that is no eight-digit number.
std::string serialNumberText(int32_t serial);
// Empty too while the record holds no valid serial number.
std::string serialNumberText(const KestroStateRecord& state);

// The device state record as the poll cycle resets it (offline, nothing valid).
KestroStateRecord notReceivedState();
// The shown copy as the poll cycle resets it (online, every item "not shown").
KestroStateRecord notShownState();

// Whole-record comparisons (tests, change detection).
bool operator==(const MeasurementRecord& a, const MeasurementRecord& b);
bool operator==(const KestroStateRecord& a, const KestroStateRecord& b);
inline bool operator!=(const MeasurementRecord& a, const MeasurementRecord& b) { return !(a == b); }
inline bool operator!=(const KestroStateRecord& a, const KestroStateRecord& b) { return !(a == b); }

}  // namespace kestro
