#pragma once
// The device as the windows, the web and the recorder show it: a value,
// taken from the session's protocol state (ProtocolState::snapshot).

#include "protocol/DeviceCodes.h"

#include <cstdint>

namespace kestro {

// RecordState: recording off, armed by the user, slow samples being stored.
constexpr int16_t kRecordOff = 0;
constexpr int16_t kRecordArmed = 1;
constexpr int16_t kRecordStoring = 2;

struct DeviceSnapshot {
    KestroStateRecord device;
    int16_t RecordState = kRecordOff;
    bool armed() const { return RecordState != kRecordOff; }
    bool storing() const { return RecordState == kRecordStoring; }
};

}  // namespace kestro
