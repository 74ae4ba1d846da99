#pragma once
// The device module's working state: receive buffer, argument scanner, device
// state record and sample series, as the interpreter (Interpreter, ArgParser)
// reads and writes them on the hot path. Nothing outside the protocol holds
// it: ProtocolState keeps it private and the session alone holds that; the module
// itself and its tests reach it through moduleOf (ProtocolState.h).
//
// Names follow the module's contract: receive buffer RxCharCount, RxLineCount
// (16-bit), rxPending(), ReadRxChars, ResetReceiveBuffer, appendReceived (the
// counting half of the receive event) and receiveEvent (append + Interpreter
// per pending line); device state KestroState, AnswerWatchdog; samples
// CurrentMeasurement, the two series SlowBuffer/FastBuffer, RecordState,
// BufferRestart and the six procedures of the device module.

#include "core/Errors.h"
#include "protocol/DeviceCodes.h"
#include "protocol/DeviceSnapshot.h"
#include "protocol/SampleSeries.h"
#include "protocol/SampleSink.h"

#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace kestro {

// BufferRestart: the buffer is to restart (a new series) before its next sample.
constexpr int16_t kRestartSlow = 1;
constexpr int16_t kRestartFast = 2;
constexpr int16_t kRestartBoth = kRestartSlow | kRestartFast;

// One numeric argument slot.
struct ArgRec {
    int16_t Radix = 0;  // 0 decimal, 1 hexadecimal, 2 binary, 3 decimal with fraction
    int32_t Value = 0;
    int16_t Digits = 0;
};

class DeviceModule {
public:
    static constexpr int kRxCapacity = 32767;

    explicit DeviceModule(const Clock& clock, ErrorLogFn log = {});

    // ---- receive buffer ----
    int16_t RxCharCount = 0;
    int16_t RxLineCount = 0;
    std::string_view rxPending() const;  // characters not yet consumed, oldest first
    // Removes up to n characters from the front into out; returns how many.
    int ReadRxChars(std::string& out, int n);
    // Hot-path form of ReadRxChars(out, 1): false when the buffer is empty.
    bool readRxChar(char& c) {
        if (rxHead_ >= rx_.size()) return false;
        c = rx_[rxHead_++];
        --RxCharCount;
        if (rxHead_ == rx_.size()) {  // drained: restart at the front, keep the capacity
            rx_.clear();
            rxHead_ = 0;
        }
        return true;
    }
    bool rxEmpty() const { return rxHead_ >= rx_.size(); }
    int16_t ResetReceiveBuffer();  // returns kTrue
    // Appends received bytes and counts their carriage returns. Keeps at most
    // kRxCapacity characters: the oldest are dropped (and logged once per flood,
    // ": ReceiveBuffer: " kErrReceiveOverflow; re-armed when a carriage return
    // arrives or the buffer is reset). Called alone with a huge block it may drop
    // whole lines; the link calls receiveEvent, which never does.
    void appendReceived(std::string_view data);
    // The data-received event: appendReceived, then Interpreter while RxLineCount != 0.
    // Large blocks are taken in slices that fit, so only a line longer than the
    // buffer itself ever loses characters (its oldest ones).
    void receiveEvent(std::string_view data);

    // ---- numeric argument parser state ----
    char CurChar = 0;
    std::string ArgText;
    ArgRec Args[7];

    // ---- device state record ----
    KestroStateRecord KestroState;
    int16_t AnswerWatchdog = 0;

    // ---- samples ----
    MeasurementRecord CurrentMeasurement;
    SampleSeries SlowBuffer{false};
    SampleSeries FastBuffer{true};
    int16_t RecordState = kRecordOff;
    int16_t BufferRestart = 0;  // kRestartSlow, kRestartFast
    // How long ago, at the least, the line just read up to its carriage return
    // was complete: the bytes after that carriage return in the same read needed
    // that long at 9600,N,8,1 (960 a second). Asked when the line is stamped, so
    // that empty lines and left-over characters skipped before it in the same
    // call never lend it an earlier line's age. A line read late, at the end of
    // a hold, is stamped this much earlier, never before it really came.
    int64_t lineAgeMs() const {
        return static_cast<int64_t>(rx_.size() - rxHead_ + unappended_) * 1000 / kLineBytesPerSecond;
    }
    static constexpr int64_t kLineBytesPerSecond = 960;
    // Instants (UTC ms) of the last stamp given on each stream; see stampSample.
    int64_t LastSlowStampMs = 0;
    int64_t LastFastStampMs = 0;
    SystemTime NowTime;
    // Calibration readings not yet taken by the recorder, oldest first; at
    // most kMaxPendingCalibration (the oldest give way).
    static constexpr size_t kMaxPendingCalibration = 3600;
    std::vector<CalibrationReading> PendingCalibration;
    void noteCalibrationReading(const CalibrationReading& r);

    int32_t SlowCount() const { return SlowBuffer.Count; }
    int32_t FastCount() const { return FastBuffer.Count; }
    int32_t SlowRecordNo() const { return SlowBuffer.RecordNo; }
    int32_t FastRecordNo() const { return FastBuffer.RecordNo; }
    MeasurementRecord GetSlowRecord(int32_t n) const { return SlowBuffer.get(n); }
    MeasurementRecord GetFastRecord(int32_t n) const { return FastBuffer.get(n); }
    int32_t AddSlowRecord(const MeasurementRecord& r) { return SlowBuffer.add(r); }
    int32_t AddFastRecord(const MeasurementRecord& r) { return FastBuffer.add(r); }
    void ClearSlowBuffer() { SlowBuffer.clear(); }
    void ClearFastBuffer() { FastBuffer.clear(); }

    const Clock& clock() const { return clock_; }
    void logError(const std::string& label, int32_t errNo) const {
        if (log_) log_(label, errNo);
    }
    void setErrorLog(ErrorLogFn log) { log_ = std::move(log); }
    // Raw buffer capacity including consumed characters not yet compacted (tests, fuzzer).
    size_t rxStorageSize() const { return rx_.size(); }

private:
    const Clock& clock_;
    ErrorLogFn log_;
    // Receive buffer storage: consumed characters are skipped by index and
    // compacted now and then, so a read never moves the rest of the buffer.
    std::string rx_;
    size_t rxHead_ = 0;
    // Bytes of the read in receiveEvent not yet appended (a block larger than the buffer).
    size_t unappended_ = 0;
    bool rxFlooding_ = false;
};

}  // namespace kestro
