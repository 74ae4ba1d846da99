#include "protocol/DeviceCodes.h"

#include <cmath>

namespace kestro {

namespace {

// Every item of the record set to the "nothing there" value of one side.
KestroStateRecord resetRecord(bool online, int16_t item, int32_t serial, float coef, const char* text) {
    KestroStateRecord s;
    s.DeviceOnline = online;
    s.DataValid = 0;
    s.DevFunction = s.DevVariant = s.DevRange = s.DevLevel = s.DevLevelStatus = item;
    s.DevMeasMode = s.DevKeyState = s.DevBattery = item;
    s.DevSerialNo = serial;
    s.DevOptions = item;
    s.DevCalCoef = {coef, coef, coef};
    s.DevSwRev = s.DevHwRev = makeFixedText64(text);
    s.DevFlash = s.DevVBatt = s.DevVCpu = s.DevVAna = s.DevTemp = s.DevSupply = item;
    return s;
}

}  // namespace

KestroStateRecord notReceivedState() {
    return resetRecord(false, kNotReceived, kSerialNotReceived, kCalCoefNotReceived, kTextNotReceived);
}

KestroStateRecord notShownState() { return resetRecord(true, kNotShown, kSerialNotShown, kCalCoefNotShown, ""); }

namespace {
// NaN fast values (the device may send one) compare equal to themselves here.
bool sameDouble(double a, double b) { return a == b || (std::isnan(a) && std::isnan(b)); }
}  // namespace

bool operator==(const MeasurementRecord& a, const MeasurementRecord& b) {
    return a.Flags == b.Flags && sameDouble(a.Timestamp, b.Timestamp) && a.SysTime == b.SysTime && a.Level == b.Level &&
           sameDouble(a.FastLevel, b.FastLevel) && a.LevelFlags == b.LevelFlags;
}

bool operator==(const KestroStateRecord& a, const KestroStateRecord& b) {
    return a.DeviceOnline == b.DeviceOnline && a.DataValid == b.DataValid && a.DevFunction == b.DevFunction &&
           a.DevVariant == b.DevVariant && a.DevRange == b.DevRange && a.DevLevel == b.DevLevel &&
           a.DevLevelStatus == b.DevLevelStatus && a.DevMeasMode == b.DevMeasMode && a.DevKeyState == b.DevKeyState &&
           a.DevBattery == b.DevBattery && a.DevSerialNo == b.DevSerialNo && a.DevOptions == b.DevOptions &&
           a.DevCalCoef == b.DevCalCoef && a.DevSwRev == b.DevSwRev && a.DevHwRev == b.DevHwRev &&
           a.DevFlash == b.DevFlash && a.DevVBatt == b.DevVBatt && a.DevVCpu == b.DevVCpu && a.DevVAna == b.DevVAna &&
           a.DevTemp == b.DevTemp && a.DevSupply == b.DevSupply;
}

std::string serialNumberText(int32_t serial) {
    if (serial < 0 || serial > 99999999) return std::string();
    std::string text = std::to_string(serial);
    return std::string(8 - text.size(), '0') + text;
}

std::string serialNumberText(const KestroStateRecord& state) {
    return (state.DataValid & kValidSerialNo) ? serialNumberText(state.DevSerialNo) : std::string();
}

FixedText64 makeFixedText64(const std::string& s) {
    FixedText64 t;
    t.fill(' ');
    const size_t n = s.size() < t.size() ? s.size() : t.size();
    for (size_t i = 0; i < n; ++i)
        t[i] = s[i];
    return t;
}

std::string fixedTextToString(const FixedText64& t) {
    size_t n = t.size();
    // A record that was never set holds zeros; treat them like the padding.
    while (n > 0 && (t[n - 1] == ' ' || t[n - 1] == '\0'))
        --n;
    return std::string(t.data(), n);
}

}  // namespace kestro
