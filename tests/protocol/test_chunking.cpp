// However the serial layer splits the stream, the result must be the same.

#include "ProtocolFixture.h"

#include <algorithm>
#include <functional>
#include <random>
#include <string>
#include <vector>

namespace kestro::test {
namespace {

std::string RandomStream(std::mt19937& rng) {
    static const char* const kLines[] = {
        "lp 734 0\r", "LP 735 1\r", "leq 650 4\r", "leqs 612 0\r", "max 1101 A\r", "maxs 900 0\r",
        "gdv 640 0\r", "lp err 3\r", "p 49C350000\r", "q 3F8000002\r", "r BF800000F\r", "p 49C3500\r",
        "gds 1230C\r", "gds 2220F\r", "gsn 12345678\r", "gsn 1234567\r", "sw-rev = V1.23\r",
        "hw-rev = B\r", "smm 1\r", "swm 2\r", "swm 1\r", "awm 1\r", "awm 0\r", "sks 23\r", "gso 1F4\r",
        "grc 1 1.234\r", "grc 7 1\r", "flash 12\r", "temp 99999\r", "smm 99999999999\r", "ldk\r",
        "ldk 3\r", "rdc ok\r", "xyz 12\r", "abcdefghij 1\r", "\r", "\n", "lp 1 2 345\r",
    };
    std::string s;
    std::uniform_int_distribution<int> pick(0, int(std::size(kLines)) + 2);
    for (int i = 0; i < 3000; ++i) {
        const int k = pick(rng);
        if (k < int(std::size(kLines))) {
            s += kLines[k];
        } else if (k == int(std::size(kLines))) {
            for (int j = rng() % 20; j > 0; --j) s += static_cast<char>(rng());  // line noise
        } else if (k == int(std::size(kLines)) + 1 && i % 500 == 0) {
            s += std::string(33000 + rng() % 3000, 'x');  // a flood longer than the buffer
        }
    }
    return s;
}

struct Outcome {
    KestroStateRecord state;
    MeasurementRecord current;
    std::vector<MeasurementRecord> slow, fast;
    int16_t watchdog, recordState, bufferRestart, rxChars, rxLines;
    int32_t slowNo, fastNo, lastStampMs, lastStampDay;
    std::string pending;
    std::vector<LoggedError> errors;

    bool operator==(const Outcome& o) const {
        return state == o.state && current == o.current && slow == o.slow && fast == o.fast &&
               watchdog == o.watchdog && recordState == o.recordState && bufferRestart == o.bufferRestart &&
               rxChars == o.rxChars && rxLines == o.rxLines && slowNo == o.slowNo && fastNo == o.fastNo &&
               lastStampMs == o.lastStampMs && lastStampDay == o.lastStampDay && pending == o.pending &&
               errors == o.errors;
    }
};

// nextChunk == nullptr feeds the whole stream in one event.
Outcome RunStream(const std::string& stream, const std::function<size_t()>& nextChunk) {
    ManualClock clock;
    std::vector<LoggedError> errors;
    ProtocolState ps(clock, [&](const std::string& l, int32_t n) { errors.push_back({l, n}); });
    ps.KestroState.DevFunction = 1;
    ps.KestroState.DevVariant = 1;
    ps.RecordState = 1;
    ps.BufferRestart = 3;
    size_t pos = 0;
    while (pos < stream.size()) {
        const size_t n = std::min(stream.size() - pos, nextChunk ? nextChunk() : stream.size());
        ps.ReceiveEvent(std::string_view(stream).substr(pos, n));
        pos += n;
    }
    Outcome o;
    o.state = ps.KestroState;
    o.current = ps.CurrentMeasurement;
    for (int32_t i = 0; i <= ps.SlowCount; ++i) o.slow.push_back(ps.GetSlowRecord(i));
    for (int32_t i = 0; i <= ps.FastCount; ++i) o.fast.push_back(ps.GetFastRecord(i));
    o.watchdog = ps.AnswerWatchdog;
    o.recordState = ps.RecordState;
    o.bufferRestart = ps.BufferRestart;
    o.rxChars = ps.RxCharCount;
    o.rxLines = ps.RxLineCount;
    o.slowNo = ps.SlowRecordNo;
    o.fastNo = ps.FastRecordNo;
    o.lastStampMs = ps.LastStampMs;
    o.lastStampDay = ps.LastStampDay;
    o.pending = std::string(ps.RxPending());
    o.errors = errors;
    return o;
}

TEST(Chunking, AnyChunkSizesGiveTheSameResult) {
    for (uint32_t seed = 1; seed <= 6; ++seed) {
        SCOPED_TRACE(seed);
        std::mt19937 rng(seed);
        const std::string stream = RandomStream(rng) + "lp 1";  // ends inside a line
        const Outcome whole = RunStream(stream, nullptr);
        ASSERT_GT(whole.slowNo, 3);  // the stream really records and restarts
        ASSERT_GT(whole.fastNo, 3);
        ASSERT_FALSE(whole.errors.empty());
        for (int round = 0; round < 4; ++round) {
            std::mt19937 chunker(seed * 100 + round);
            // Mostly small reads, now and then a large one, like a busy serial driver.
            auto next = [&] {
                const size_t cap = chunker() % 8 == 0 ? stream.size() : 64;
                return 1 + chunker() % cap;
            };
            EXPECT_TRUE(RunStream(stream, next) == whole) << "round " << round;
        }
        if (seed == 1) {
            EXPECT_TRUE(RunStream(stream, [] { return size_t{1}; }) == whole) << "single bytes";
        }
    }
}

}  // namespace
}  // namespace kestro::test
