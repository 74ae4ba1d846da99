#include "protocol/Interpreter.h"

#include "core/Errors.h"
#include "protocol/ArgParser.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <new>
#include <string_view>

namespace kestro {

namespace {

constexpr int16_t kWatchdogRearm = 5;
constexpr int64_t kFastStampStepMs = 15;
constexpr size_t kMaxKeyLength = 7;

enum class Handler : uint8_t {
    Fast,
    Value,
    Gds,
    Gsn,
    SwRev,
    HwRev,
    Smm,
    Swm,
    Awm,
    Ack,
    Sks,
    Gso,
    Grc,
    Service,
    OkOrQuery,
    NoArgs,
};

// Keys are at most 7 characters, so one 64-bit word compares a whole key.
constexpr uint64_t pack(std::string_view s) {
    uint64_t v = 0;
    for (size_t i = 0; i < s.size(); ++i)
        v |= uint64_t{static_cast<unsigned char>(s[i])} << (8 * i);
    return v;
}

struct KeyEntry {
    uint64_t key;
    Handler handler;
    int16_t arg;  // value code, fast kind or service item
};

// The service readings, stored as the device sends them.
struct ServiceItem {
    int16_t KestroStateRecord::*field;
    int32_t bit;
};
constexpr ServiceItem kServiceItems[] = {
    {&KestroStateRecord::DevFlash, kValidFlash}, {&KestroStateRecord::DevVBatt, kValidVBatt},
    {&KestroStateRecord::DevVCpu, kValidVCpu},   {&KestroStateRecord::DevVAna, kValidVAna},
    {&KestroStateRecord::DevTemp, kValidTemp},   {&KestroStateRecord::DevSupply, kValidSupply},
};

constexpr KeyEntry kKeys[] = {
    {pack("p"), Handler::Fast, kFastP},
    {pack("q"), Handler::Fast, kFastQ},
    {pack("r"), Handler::Fast, kFastR},
    {pack("lp"), Handler::Value, kCodeLp},
    {pack("leqs"), Handler::Value, kCodeLeqs},
    {pack("leq"), Handler::Value, kCodeLeq},
    {pack("leqr"), Handler::Value, kCodeLeqr},
    {pack("maxs"), Handler::Value, kCodeMaxs},
    {pack("max"), Handler::Value, kCodeMax},
    {pack("maxr"), Handler::Value, kCodeMaxr},
    {pack("cals"), Handler::Value, kCodeCals},
    {pack("cal"), Handler::Value, kCodeCal},
    {pack("calr"), Handler::Value, kCodeCalr},
    {pack("gdv"), Handler::Value, kCodeGdv},
    {pack("gds"), Handler::Gds, 0},
    {pack("gsn"), Handler::Gsn, 0},
    {pack("sw-rev"), Handler::SwRev, 0},
    {pack("hw-rev"), Handler::HwRev, 0},
    {pack("smm"), Handler::Smm, 0},
    {pack("swm"), Handler::Swm, 0},
    {pack("awm"), Handler::Awm, 0},
    {pack("saa"), Handler::Ack, 0},
    {pack("sso"), Handler::Ack, 0},
    {pack("sks"), Handler::Sks, 0},
    {pack("gso"), Handler::Gso, 0},
    {pack("grc"), Handler::Grc, 0},
    {pack("flash"), Handler::Service, 0},
    {pack("v_batt"), Handler::Service, 1},
    {pack("v_cpu"), Handler::Service, 2},
    {pack("v_ana"), Handler::Service, 3},
    {pack("temp"), Handler::Service, 4},
    {pack("supply"), Handler::Service, 5},
    {pack("rdc"), Handler::OkOrQuery, 0},
    {pack("wdc"), Handler::OkOrQuery, 0},
    {pack("gsi"), Handler::NoArgs, 0},
    {pack("gdi"), Handler::NoArgs, 0},
    {pack("ldk"), Handler::NoArgs, 0},
};

char toLower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + ('a' - 'A')) : c; }

bool takeChar(DeviceModule& ps) {
    char c;
    if (!ps.readRxChar(c)) return false;
    ps.CurChar = c;
    return true;
}

void lineEnded(DeviceModule& ps) {
    if (ps.RxLineCount > 0) --ps.RxLineCount;
}

bool fits16(int32_t v) { return v <= std::numeric_limits<int16_t>::max() && v >= std::numeric_limits<int16_t>::min(); }

// A 16-bit field takes the value or the handler fails at this step.
int16_t to16(int32_t v) {
    if (!fits16(v)) throw ProtocolFailure(kErrOverflow);
    return static_cast<int16_t>(v);
}

// A stamp may lead the line's arrival by this much, no more: bursts of fast
// values are spread 15 ms apart (more than a line takes on the wire), but
// neither a long burst in one read nor a sustained flood may carry the time
// column away.
constexpr int64_t kMaxStampLeadMs = 100;

// Gives the sample its stamp: the arrival of its line (the clock less the
// line's age), but never before the previous stamp of its stream (at least
// `step` after it), never more than kMaxStampLeadMs after the arrival, and the
// arrival itself once the clock has been stepped back.
void stampSample(MeasurementRecord& cm, const ClockReading& now, int64_t ageMs, int64_t& last, int64_t step) {
    const int64_t arrival = now.utcMs - ageMs;
    int64_t stamp = std::max(arrival, last + step);
    if (stamp > arrival + kMaxStampLeadMs)
        stamp = last > arrival + kMaxStampLeadMs ? arrival : arrival + kMaxStampLeadMs;
    cm.Instant = stamp;
    cm.SysTime = now.localAt(stamp);
    last = stamp;
}

int16_t functionCode(const DeviceModule& ps) {
    return static_cast<int16_t>(ps.KestroState.DevFunction * 10 + ps.KestroState.DevVariant);
}

bool isRecordedCode(int code) { return code == kCodeLp || code == kCodeLeq || code == kCodeMax; }

int16_t slowFunctionBit(int16_t function) {
    switch (function) {
        case kFunctionLp:
            return kFlagLp;
        case kFunctionLeq:
            return kFlagLeq;
        case kFunctionMax:
            return kFlagMax;
        default:
            return 0;
    }
}

void rearm(DeviceModule& ps) { ps.AnswerWatchdog = kWatchdogRearm; }

// The "err" of an error reading, in either letter case.
bool isErrorReading(const std::string& a) {
    return a.size() >= 4 && toLower(a[1]) == 'e' && toLower(a[2]) == 'r' && toLower(a[3]) == 'r';
}

bool readOneNumber(DeviceModule& ps) { return ParseArgsFromBuffer(ps) == 1; }

void dispatch(DeviceModule& ps, const KeyEntry& e) {
    KestroStateRecord& st = ps.KestroState;
    switch (e.handler) {
        case Handler::Fast:
            fastValueHandler(ps, e.arg);
            return;
        case Handler::Value:
            valueLineHandler(ps, e.arg);
            return;
        case Handler::Gds: {
            if (ReadArgText(ps) != 1 || ps.ArgText.size() != 7) return;
            ps.Args[1].Radix = 1;
            if (ParseArgsFromText(ps) != 1) return;
            rearm(ps);
            const int32_t v = ps.Args[1].Value;
            const auto function = static_cast<int16_t>((v >> 16) & 15);
            const auto variant = static_cast<int16_t>((v >> 12) & 15);
            // The status answer often reports a change made on the meter before
            // the next value line does: that line must already start a new series.
            if (function != st.DevFunction || variant != st.DevVariant) ps.BufferRestart = kRestartBoth;
            st.DevFunction = function;
            st.DevVariant = variant;
            st.DevRange = static_cast<int16_t>((v >> 8) & 15);
            st.DevKeyState = static_cast<int16_t>((v >> 4) & 15);
            st.DevBattery = static_cast<int16_t>(v & 15);
            st.DataValid |= kValidFunction | kValidVariant | kValidRange | kValidKeyState | kValidBattery;
            return;
        }
        case Handler::Gsn:
            if (ReadArgText(ps) != 1 || ps.ArgText.size() != 10) return;
            if (ParseArgsFromText(ps) != 1) return;
            rearm(ps);
            st.DevSerialNo = ps.Args[1].Value;
            st.DataValid |= kValidSerialNo;
            return;
        case Handler::SwRev:
        case Handler::HwRev: {
            if (ReadArgText(ps) != 1) return;
            rearm(ps);
            const std::string& a = ps.ArgText;
            const FixedText64 t = makeFixedText64(a.size() > 3 ? a.substr(3) : std::string());
            if (e.handler == Handler::SwRev) {
                st.DevSwRev = t;
                st.DataValid |= kValidSwRev;
            } else {
                st.DevHwRev = t;
                st.DataValid |= kValidHwRev;
            }
            return;
        }
        case Handler::Smm:
            if (!readOneNumber(ps)) return;
            rearm(ps);
            st.DevMeasMode = to16(ps.Args[1].Value);
            return;
        case Handler::Swm:
            if (!readOneNumber(ps)) return;
            if (ps.Args[1].Value != st.DevFunction) ps.BufferRestart = kRestartBoth;
            rearm(ps);
            return;
        case Handler::Awm:
            // Arming itself starts the new series; restarting again on the
            // meter's late echo would split one recording into two files.
            if (readOneNumber(ps)) rearm(ps);
            return;
        case Handler::Ack:
            if (readOneNumber(ps)) rearm(ps);
            return;
        case Handler::Sks:
            if (!readOneNumber(ps)) return;
            rearm(ps);
            st.DevKeyState = static_cast<int16_t>(ps.Args[1].Value % 10);
            st.DataValid |= kValidKeyState;
            return;
        case Handler::Gso:
            ps.Args[1].Radix = 1;
            if (!readOneNumber(ps)) return;
            rearm(ps);
            st.DevOptions = to16(ps.Args[1].Value);
            st.DataValid |= kValidOptions;
            return;
        case Handler::Grc: {
            ps.Args[2].Radix = 3;
            if (ParseArgsFromBuffer(ps) != 2) return;
            rearm(ps);
            const int32_t i = ps.Args[1].Value;
            if (i < 0 || i > 2) throw ProtocolFailure(kErrSubscriptRange);
            const double f = ps.Args[2].Value / std::pow(10.0, ps.Args[2].Digits);
            st.DevCalCoef[static_cast<size_t>(i)] = static_cast<float>(f);
            st.DataValid |= validCalCoef(i);
            return;
        }
        case Handler::Service: {
            if (!readOneNumber(ps)) return;
            rearm(ps);
            const ServiceItem& item = kServiceItems[e.arg];
            st.*item.field = to16(ps.Args[1].Value);
            st.DataValid |= item.bit;
            return;
        }
        case Handler::OkOrQuery: {
            if (ReadArgText(ps) != 1) return;
            const std::string& a = ps.ArgText;
            if (a.compare(0, 2, " ?") == 0 || a.compare(0, 3, " ok") == 0) rearm(ps);
            return;
        }
        case Handler::NoArgs:
            if (ParseArgsFromBuffer(ps) == 0) rearm(ps);
            return;
    }
}

void logFailure(const DeviceModule& ps, int32_t errNo) {
    try {
        ps.logError(label::kInterpreter, errNo);
    } catch (...) {
        // A failing log must not take the receive event down with it.
    }
}

}  // namespace

int16_t ReadArgText(DeviceModule& ps) {
    ps.ArgText.clear();
    bool complete = false;
    while (ps.CurChar != '\r' && !ps.rxEmpty()) {
        ps.ArgText.push_back(ps.CurChar);
        takeChar(ps);
        if (ps.CurChar == '\r') {
            complete = true;
            lineEnded(ps);
        }
    }
    if (!complete) {
        ps.ArgText.clear();
        return 0;
    }
    ps.ArgText.push_back('\r');
    return 1;
}

void valueLineHandler(DeviceModule& ps, int16_t code) {
    if (ReadArgText(ps) != 1) return;
    ps.Args[2].Radix = 1;
    const int16_t n = ParseArgsFromText(ps);
    KestroStateRecord& st = ps.KestroState;
    MeasurementRecord& cm = ps.CurrentMeasurement;
    if (n == 2) {
        rearm(ps);
        // A level that does not fit was not received: it must not turn up as a sample.
        const int16_t level = to16(ps.Args[1].Value);
        st.DevLevel = level;
        // A status that does not fit leaves the previous one, as the step that
        // could not be carried out is skipped; the level is still a good reading.
        if (fits16(ps.Args[2].Value)) st.DevLevelStatus = static_cast<int16_t>(ps.Args[2].Value);
        cm.Level = level;
        cm.LevelFlags = st.DevLevelStatus;
        const ClockReading now = ps.clock().read();
        cm.Timestamp = dateFromSystemTime(now.local);
        ps.NowTime = now.local;
        stampSample(cm, now, ps.lineAgeMs(), ps.LastSlowStampMs, 0);
        const int16_t old = functionCode(ps);
        if (code != old) {
            if (code != kCodeGdv) {
                st.DevFunction = static_cast<int16_t>(code / 10);
                st.DevVariant = static_cast<int16_t>(code % 10);
                st.DataValid |= kValidFunction | kValidVariant;
            }
            ps.BufferRestart = kRestartBoth;
        }
        const int16_t bit = slowFunctionBit(st.DevFunction);
        cm.Flags = static_cast<int16_t>(cm.Flags | bit);
        if (ps.RecordState != kRecordOff && isRecordedCode(old)) {
            if (ps.BufferRestart & kRestartSlow) {
                ps.BufferRestart = static_cast<int16_t>(ps.BufferRestart & ~kRestartSlow);
                cm.Flags = static_cast<int16_t>((cm.Flags & ~kSlowFlags) | bit);
                ps.SlowBuffer.restart();
            }
            ps.AddSlowRecord(cm);
            ps.RecordState = kRecordStoring;
        }
        st.DataValid |= kValidLevel | kValidLevelStatus;
        if (code / 10 == kFunctionCal)
            ps.noteCalibrationReading({cm.Instant, cm.SysTime, level, cm.LevelFlags, code, st.DevSerialNo});
    } else if (isErrorReading(ps.ArgText)) {
        // An error reading is shown as such whatever its status says.
        st.DevLevel = -1;
        if (fits16(ps.Args[1].Value)) st.DevLevelStatus = static_cast<int16_t>(ps.Args[1].Value);
        st.DataValid |= kValidLevel | kValidLevelStatus;
    }
}

void fastValueHandler(DeviceModule& ps, int16_t kind) {
    if (ReadArgText(ps) != 1) return;
    const std::string& a = ps.ArgText;
    if (a.size() != 11) return;
    // Value and status must be hexadecimal, or the line is as malformed as a short one.
    for (size_t i = 1; i <= 9; ++i)
        if (!IsHexDigit(a[i])) return;
    rearm(ps);
    MeasurementRecord& cm = ps.CurrentMeasurement;
    char hex[9];
    std::memcpy(hex, a.data() + 1, 8);
    hex[8] = '\0';
    cm.FastLevel = ConvertASCIIHexToFloat(hex);
    cm.LevelFlags = static_cast<int16_t>(hexDigitValue(a[9]));
    const ClockReading now = ps.clock().read();
    cm.Timestamp = dateFromSystemTime(now.local);
    ps.NowTime = now.local;
    stampSample(cm, now, ps.lineAgeMs(), ps.LastFastStampMs, kFastStampStepMs);
    const int16_t bit = static_cast<int16_t>(kFlagFastP << (kind - kFastP));
    cm.Flags = static_cast<int16_t>(cm.Flags | bit);
    if (ps.RecordState == kRecordOff || !isRecordedCode(functionCode(ps))) return;
    if (ps.BufferRestart & kRestartFast) {
        ps.BufferRestart = static_cast<int16_t>(ps.BufferRestart & ~kRestartFast);
        cm.Flags = static_cast<int16_t>((cm.Flags & ~kFastFlags) | bit);
        ps.FastBuffer.restart();
    }
    ps.AddFastRecord(cm);
}

int16_t Interpreter(DeviceModule& ps) {
    try {
        char key[kMaxKeyLength + 1];
        size_t len = 0;
        if (!ps.rxEmpty()) {
            bool letter = false;
            while (takeChar(ps)) {
                if (IsLetter(ps.CurChar)) {
                    letter = true;
                    break;
                }
                if (ps.CurChar == '\r') {
                    lineEnded(ps);
                    if (ps.RxLineCount == 0) break;
                }
            }
            while (letter) {
                key[len++] = toLower(ps.CurChar);
                const bool full = len > kMaxKeyLength;
                if (ps.rxEmpty()) {  // no line end after the key: not an answer
                    len = 0;
                    break;
                }
                takeChar(ps);
                if (!IsKeyChar(ps.CurChar)) {
                    if (ps.CurChar == '\r') lineEnded(ps);
                    break;
                }
                if (full) break;
            }
        }
        for (int i = 0; i <= 3; ++i)
            ps.Args[i].Radix = 0;
        if (len == 0 || len > kMaxKeyLength) return 1;
        const uint64_t packed = pack(std::string_view(key, len));
        for (const KeyEntry& e : kKeys) {
            if (e.key == packed) {
                dispatch(ps, e);
                break;
            }
        }
    } catch (const ProtocolFailure& f) {
        logFailure(ps, f.errNo());
    } catch (...) {
        logFailure(ps, kErrInternal);
    }
    return 1;
}

}  // namespace kestro
