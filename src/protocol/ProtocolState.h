#pragma once
// The device behind the session: the module's state kept private, with the
// module's procedures as entry points, a value snapshot of what the windows,
// the web and the recorder show, and the hand-off of what the interpreter
// collected to a sink. The session alone holds it and decides when; the link feeds
// it through callbacks the session wires, the recorder is handed samples.

#include "protocol/DeviceModule.h"
#include "protocol/DeviceSnapshot.h"
#include "protocol/SampleSink.h"

#include <string>
#include <string_view>
#include <vector>

namespace kestro {

class ProtocolState {
public:
    explicit ProtocolState(const Clock& clock, ErrorLogFn log = {}) : m_(clock, std::move(log)) {}

    // ---- receive buffer (the link's end of it) ----
    void receiveEvent(std::string_view data) { m_.receiveEvent(data); }
    void appendReceived(std::string_view data) { m_.appendReceived(data); }
    int16_t ResetReceiveBuffer() { return m_.ResetReceiveBuffer(); }
    std::string_view rxPending() const { return m_.rxPending(); }
    int16_t RxCharCount() const { return m_.RxCharCount; }
    int16_t RxLineCount() const { return m_.RxLineCount; }

    // ---- what is shown ----
    const KestroStateRecord& device() const { return m_.KestroState; }
    DeviceSnapshot snapshot() const { return DeviceSnapshot{m_.KestroState, m_.RecordState}; }
    int16_t RecordState() const { return m_.RecordState; }
    int16_t BufferRestart() const { return m_.BufferRestart; }
    int16_t AnswerWatchdog() const { return m_.AnswerWatchdog; }

    // ---- what the session decides ----
    void resetDevice() { m_.KestroState = notReceivedState(); }
    void setDeviceOnline(bool online) { m_.KestroState.DeviceOnline = online; }
    // Forgets every received item but those in valid (the start-up step after the serial number).
    void keepValid(int32_t valid) { m_.KestroState.DataValid = valid; }
    void setRecordState(int16_t state) { m_.RecordState = state; }
    void setBufferRestart(int16_t restart) { m_.BufferRestart = restart; }
    void setAnswerWatchdog(int16_t ticks) { m_.AnswerWatchdog = ticks; }

    // ---- samples ----
    int32_t SlowCount() const { return m_.SlowCount(); }
    int32_t FastCount() const { return m_.FastCount(); }
    int32_t SlowRecordNo() const { return m_.SlowRecordNo(); }
    int32_t FastRecordNo() const { return m_.FastRecordNo(); }
    MeasurementRecord GetSlowRecord(int32_t n) const { return m_.GetSlowRecord(n); }
    MeasurementRecord GetFastRecord(int32_t n) const { return m_.GetFastRecord(n); }
    int32_t AddSlowRecord(const MeasurementRecord& r) { return m_.AddSlowRecord(r); }
    int32_t AddFastRecord(const MeasurementRecord& r) { return m_.AddFastRecord(r); }
    void ClearSlowBuffer() { m_.ClearSlowBuffer(); }
    void ClearFastBuffer() { m_.ClearFastBuffer(); }

    // What arrived since the last hand-off goes to sink, oldest first per
    // stream, and is no longer held here (SampleSink.h).
    void handOff(SampleSink& sink);
    void handOffFast(SampleSink& sink);
    void handOffCalibration(SampleSink& sink);
    // Memory held for samples not handed off yet and the reused hand-off batches.
    size_t retainedBytes() const;

    void setErrorLog(ErrorLogFn log) { m_.setErrorLog(std::move(log)); }

private:
    friend DeviceModule& moduleOf(ProtocolState& ps);
    DeviceModule m_;
    SampleSink::Batch slowTaken_;  // reused between hand-offs
    SampleSink::Batch fastTaken_;
    std::vector<CalibrationReading> readingsTaken_;
};

// The module's own state, for the module itself and its tests.
DeviceModule& moduleOf(ProtocolState& ps);

}  // namespace kestro
