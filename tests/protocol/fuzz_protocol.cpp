// Arbitrary bytes in arbitrary chunks through the receive event. The first byte
// chooses the chunking and the setting; the invariants are checked after every chunk.

#include "protocol/Interpreter.h"
#include "protocol/ProtocolState.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

using namespace kestro;

namespace {

void Check(bool ok) {
    if (!ok) abort();
}

void CheckInvariants(const ProtocolState& ps, bool drained) {
    const std::string_view p = ps.RxPending();
    Check(p.size() <= static_cast<size_t>(ProtocolState::kRxCapacity));
    Check(ps.RxCharCount == static_cast<int16_t>(p.size()));
    Check(ps.RxLineCount == static_cast<int16_t>(std::count(p.begin(), p.end(), '\r')));
    if (drained) Check(ps.RxLineCount == 0);
    Check(ps.SlowCount >= 0 && ps.FastCount >= 0);
    Check(ps.SlowRecordNo >= 0 && ps.FastRecordNo >= 0);
    Check(ps.RecordState >= 0 && ps.RecordState <= 2);
    Check(ps.BufferRestart >= 0 && ps.BufferRestart <= 3);
    Check(ps.AnswerWatchdog == 0 || ps.AnswerWatchdog == 5);
    Check(ps.LastStampMs >= 0 && ps.LastStampMs < 86400000);
    // Past the end reads as zeros, the last sample is really there.
    Check(ps.GetSlowRecord(ps.SlowCount + 1) == MeasurementRecord{});
    Check(ps.GetFastRecord(ps.FastCount + 1) == MeasurementRecord{});
    if (ps.SlowCount > 0) Check(ps.GetSlowRecord(ps.SlowCount).Timestamp != 0.0);
    if (ps.FastCount > 0) Check(ps.GetFastRecord(ps.FastCount).Timestamp != 0.0);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2) return 0;
    const uint8_t mode = data[0];
    uint32_t rng = data[1] * 2654435761u + 1;
    auto next = [&rng] {
        rng = rng * 1103515245u + 12345u;
        return rng >> 16;
    };
    ManualClock clock;
    ProtocolState ps(clock, [](const std::string&, int32_t) {});
    ps.RecordState = (mode & 1) ? 1 : 0;
    ps.BufferRestart = (mode & 2) ? 3 : 0;
    if (mode & 4) {
        ps.KestroState.DevFunction = 1;
        ps.KestroState.DevVariant = 1;
    }
    const bool amplify = (mode & 8) != 0;  // repeat chunks so that floods are reached
    const unsigned maxChunk = (mode >> 4) == 15 ? static_cast<unsigned>(size) : 1u + 4u * (mode >> 4);

    size_t pos = 2;
    std::string big;
    int floods = 0;  // a few per input keep the fuzzer fast
    while (pos < size) {
        const size_t n = std::min<size_t>(size - pos, 1 + next() % maxChunk);
        const std::string_view chunk(reinterpret_cast<const char*>(data) + pos, n);
        pos += n;
        const uint32_t action = next() % 16;
        if (amplify && action == 0 && floods < 2) {
            ++floods;
            big.clear();
            while (big.size() < 40000)
                big.append(chunk);
            ps.ReceiveEvent(big);
            CheckInvariants(ps, true);
        } else if (action == 1) {
            // The counting half alone, then the event with nothing new.
            ps.AppendReceived(chunk);
            CheckInvariants(ps, false);
            ps.ReceiveEvent({});
            CheckInvariants(ps, true);
        } else if (action == 2 && (mode & 0x80)) {
            ps.ResetReceiveBuffer();
            CheckInvariants(ps, true);
        } else {
            ps.ReceiveEvent(chunk);
            CheckInvariants(ps, true);
        }
        clock.AdvanceMs(next() % 40);
    }
    return 0;
}
