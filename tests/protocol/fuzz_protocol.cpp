// Arbitrary bytes in arbitrary chunks through the receive event. The first byte
// chooses the chunking and the setting; the invariants are checked after every chunk.

#include "protocol/DeviceModule.h"
#include "protocol/Interpreter.h"
#include "support/ManualClock.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <tuple>
#include <utility>
#include <vector>

using namespace kestro;

namespace {

void check(bool ok) {
    if (!ok) abort();
}

// Pending samples are in arrival order: series numbers never go back, and
// within a series the indices count up by one to the series' count.
void checkSeries(const SampleSeries& s) {
    check(s.Count >= 0 && s.RecordNo >= 0);
    int32_t recordNo = 0, index = 0;
    for (const SampleSeries::Entry& e : s.pending()) {
        check(e.RecordNo >= recordNo && e.RecordNo <= s.RecordNo);
        if (e.RecordNo == recordNo) check(e.Index == index + 1);
        recordNo = e.RecordNo;
        index = e.Index;
    }
    if (!s.pending().empty() && recordNo == s.RecordNo) check(index == s.Count);
    // Past the end reads as zeros, the last sample is really there.
    check(s.get(s.Count + 1) == MeasurementRecord{});
    if (s.Count > 0) check(s.get(s.Count).Timestamp != 0.0);
}

void checkInvariants(const DeviceModule& ps, const ManualClock& clock, bool drained) {
    const std::string_view p = ps.rxPending();
    check(p.size() <= static_cast<size_t>(DeviceModule::kRxCapacity));
    check(ps.RxCharCount == static_cast<int16_t>(p.size()));
    check(ps.RxLineCount == static_cast<int16_t>(std::count(p.begin(), p.end(), '\r')));
    if (drained) check(ps.RxLineCount == 0);
    checkSeries(ps.SlowBuffer);
    checkSeries(ps.FastBuffer);
    check(ps.RecordState >= 0 && ps.RecordState <= 2);
    check(ps.BufferRestart >= 0 && ps.BufferRestart <= 3);
    check(ps.AnswerWatchdog == 0 || ps.AnswerWatchdog == 5);
    // A stamp never leads the clock by more than 100 ms.
    check(ps.LastSlowStampMs <= clock.utcMs() + 100 && ps.LastFastStampMs <= clock.utcMs() + 100);
}

// The first byte's low bits: recording armed, a restart due, the meter in Lp.
void prime(DeviceModule& ps, uint8_t mode) {
    ps.KestroState.DevFunction = ps.KestroState.DevVariant = (mode & 4) ? 1 : 0;
    ps.RecordState = (mode & 1) ? 1 : 0;
    ps.BufferRestart = (mode & 2) ? 3 : 0;
}

// A line is dated back by the bytes read after it, so only its stamp depends
// on how the bytes were split: never later than the clock, never earlier than
// the wire time of everything fed.
MeasurementRecord unstamped(MeasurementRecord r, const ManualClock& clock, size_t fed) {
    check(r.Instant == 0 ||
          (r.Instant <= clock.utcMs() + 100 && r.Instant >= clock.utcMs() - int64_t(fed) * 1000 / 960));
    r.Instant = 0;
    r.SysTime = {};
    return r;
}

// Everything else a byte stream changes (state, current sample, pending
// samples, counters, unread characters, logged errors), fed in pieces of
// 1..maxChunk bytes drawn from seed (maxChunk 0: in one piece) on a clock that
// stands still.
using Received =
    std::tuple<KestroStateRecord, MeasurementRecord, std::vector<std::tuple<int32_t, int32_t, MeasurementRecord>>,
               std::vector<int64_t>, std::string, std::vector<std::pair<std::string, int32_t>>>;

Received receive(std::string_view bytes, uint8_t mode, uint32_t seed, unsigned maxChunk) {
    ManualClock clock;
    std::vector<std::pair<std::string, int32_t>> errors;
    DeviceModule ps(clock, [&errors](const std::string& l, int32_t n) { errors.emplace_back(l, n); });
    prime(ps, mode);
    for (size_t pos = 0, n; pos < bytes.size(); pos += n) {
        seed = seed * 1103515245u + 12345u;
        n = maxChunk ? std::min<size_t>(bytes.size() - pos, 1 + (seed >> 16) % maxChunk) : bytes.size();
        ps.receiveEvent(bytes.substr(pos, n));
    }
    std::vector<std::tuple<int32_t, int32_t, MeasurementRecord>> samples;
    for (const SampleSeries* s : {&ps.SlowBuffer, &ps.FastBuffer})
        for (const SampleSeries::Entry& e : s->pending())
            samples.emplace_back(e.RecordNo, e.Index, unstamped(e.Sample, clock, bytes.size()));
    std::vector<int64_t> counters{ps.AnswerWatchdog, ps.RecordState,    ps.BufferRestart, ps.RxCharCount,
                                  ps.RxLineCount,    ps.SlowRecordNo(), ps.FastRecordNo()};
    return {ps.KestroState,
            unstamped(ps.CurrentMeasurement, clock, bytes.size()),
            samples,
            counters,
            std::string(ps.rxPending()),
            errors};
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2) return 0;
    const uint8_t mode = data[0];
    const unsigned maxChunk = (mode >> 4) == 15 ? static_cast<unsigned>(size) : 1u + 4u * (mode >> 4);
    // However a serial driver splits the bytes, they leave the same state.
    const std::string_view bytes(reinterpret_cast<const char*>(data) + 2, size - 2);
    check(receive(bytes, mode, data[1], maxChunk) == receive(bytes, mode, 0, 0));
    uint32_t rng = data[1] * 2654435761u + 1;
    auto next = [&rng] {
        rng = rng * 1103515245u + 12345u;
        return rng >> 16;
    };
    ManualClock clock;
    DeviceModule ps(clock, [](const std::string&, int32_t) {});
    prime(ps, mode);
    const bool amplify = (mode & 8) != 0;  // repeat chunks so that floods are reached

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
            ps.receiveEvent(big);
            checkInvariants(ps, clock, true);
        } else if (action == 1) {
            // The counting half alone, then the event with nothing new.
            ps.appendReceived(chunk);
            checkInvariants(ps, clock, false);
            ps.receiveEvent({});
            checkInvariants(ps, clock, true);
        } else if (action == 2 && (mode & 0x80)) {
            ps.ResetReceiveBuffer();
            checkInvariants(ps, clock, true);
        } else if (action == 3) {
            // A hand-off takes what waits.
            std::vector<SampleSeries::Entry> taken;
            ps.SlowBuffer.takePending(taken);
            ps.FastBuffer.takePending(taken);
            ps.receiveEvent(chunk);
            checkInvariants(ps, clock, true);
        } else {
            ps.receiveEvent(chunk);
            checkInvariants(ps, clock, true);
        }
        clock.advanceMs(next() % 40);
    }
    return 0;
}
