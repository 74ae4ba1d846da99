#pragma once
// Device states as the poll cycle leaves them, for tests of what a station
// shows of its meter.

#include "protocol/DeviceCodes.h"

namespace kestro {

// Every item the poll cycle asks for has been received.
constexpr int32_t kAllItemsReceived =
    kValidFunction | kValidRange | kValidLevel | kValidLevelStatus | kValidBattery | kValidSerialNo;

inline KestroStateRecord meterState(bool online, int32_t valid, int16_t function, int16_t range, int16_t level,
                                    int16_t status, int16_t battery, int32_t serial) {
    KestroStateRecord s;
    s.DeviceOnline = online;
    s.DataValid = valid;
    s.DevFunction = function;
    s.DevRange = range;
    s.DevLevel = level;
    s.DevLevelStatus = status;
    s.DevBattery = battery;
    s.DevSerialNo = serial;
    return s;
}

// After a start-up: LEQ on auto range 50-110 dB at 73.4 dB, battery full.
inline KestroStateRecord runningMeter() { return meterState(true, kAllItemsReceived, 2, 2 | 4, 734, 0, 3, 1234567); }

}  // namespace kestro
