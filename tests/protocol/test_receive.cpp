// Receive framing, the bounded buffer and chunking independence.

#include "ProtocolFixture.h"
#include "support/ManualClock.h"

#include <algorithm>
#include <random>
#include <string>
#include <tuple>

namespace kestro::test {
namespace {

using Receive = ProtocolTest;
constexpr int kCap = ProtocolState::kRxCapacity;

TEST_F(Receive, Framing) {
    feed("ls");  // a split line: nothing may happen before its end
    EXPECT_EQ(ps.RxCharCount, 2);
    feed("x 1\rl");
    feed("p 734 0\r");
    EXPECT_EQ(ps.KestroState.DevLevel, 734);
    expectDrained();

    resetLikePollCycle(1, 1);
    ps.RecordState = 1;
    feed("lp 100 0\rlp 200 0\r");  // two lines in one read, in order
    ASSERT_EQ(ps.SlowCount(), 2);
    EXPECT_EQ(ps.GetSlowRecord(1).Level, 100);
    EXPECT_EQ(ps.GetSlowRecord(2).Level, 200);

    ps.AnswerWatchdog = 0;
    feed("\n");  // a lone LF is an ordinary character
    EXPECT_EQ(ps.RxLineCount, 0);
    feed("gsi\r\n");  // CR LF framing: the LF waits in front of the next line
    EXPECT_EQ(ps.AnswerWatchdog, 5);
    EXPECT_EQ(ps.rxPending(), "\n");

    feed("gsi\rlp 7");
    EXPECT_EQ(ps.ResetReceiveBuffer(), kTrue);  // drops waiting characters and the watchdog
    expectDrained();
    EXPECT_EQ(ps.AnswerWatchdog, 0);
    feed("34 0\r");  // the tail of the dropped line is no answer
    EXPECT_EQ(ps.KestroState.DevLevel, 200);
}

TEST_F(Receive, FloodKeepsNewestCharactersAndExactCounters) {
    for (int i = 0; i < 40; ++i)
        feed(std::string(1000, 'a'));
    feed("bc");
    const std::string_view p = ps.rxPending();
    EXPECT_EQ(ps.RxCharCount, kCap);
    EXPECT_EQ(p.size(), size_t(kCap));
    EXPECT_EQ(std::count(p.begin(), p.end(), 'a'), kCap - 2);
    EXPECT_EQ(ps.RxLineCount, 0);
    EXPECT_EQ(errors, (std::vector<LoggedError>{{": ReceiveBuffer: ", kErrReceiveOverflow}}));  // once per flood

    feed("\rgsi\r");  // the long line ends; the next answer is not lost
    EXPECT_EQ(ps.AnswerWatchdog, 5);
    expectDrained();
    feed(std::string(40000, 'y'));  // a new flood is logged again
    EXPECT_EQ(errors.size(), 2u);

    ps.ResetReceiveBuffer();  // dropped line ends leave the line count
    ps.appendReceived("a\rb\r");
    ps.appendReceived(std::string(kCap - 2, 'z'));
    EXPECT_EQ(ps.RxLineCount, 1);
    EXPECT_EQ(ps.rxPending().substr(0, 2), "b\r");
    ps.appendReceived("zz");
    EXPECT_EQ(ps.RxLineCount, 0);

    ps.ResetReceiveBuffer();  // consumed characters must not pile up behind a tail
    feed("gs");
    for (int i = 0; i < 20000; ++i)
        feed("i\rgs");
    EXPECT_EQ(ps.rxPending(), "gs");
    EXPECT_LT(ps.rxStorageSize(), 64u);
}

std::string randomStream(std::mt19937& rng) {
    static const char* const kLines[] = {
        "lp 734 0\r",
        "LP 735 1\r",
        "leq 650 4\r",
        "leqs 612 0\r",
        "max 1101 A\r",
        "gdv 640 0\r",
        "lp err 3\r",
        "p 49C350000\r",
        "q 3F8000002\r",
        "r BF800000F\r",
        "p 49C3500\r",
        "gds 1230C\r",
        "gds 2220F\r",
        "gsn 12345678\r",
        "sw-rev = V1.23\r",
        "swm 2\r",
        "awm 1\r",
        "awm 0\r",
        "sks 23\r",
        "gso 1F4\r",
        "grc 1 1.234\r",
        "grc 7 1\r",
        "temp 99999\r",
        "smm 99999999999\r",
        "ldk\r",
        "xyz 12\r",
        "abcdefghij 1\r",
        "\r",
        "\n",
        "lp 1 2 345\r",
    };
    const int n = int(std::size(kLines));
    std::string s;
    for (int i = 0; i < 3000; ++i) {
        const int k = int(rng() % (n + 2));
        if (k < n)
            s += kLines[k];
        else if (k == n)
            for (int j = rng() % 20; j > 0; --j)
                s += static_cast<char>(rng());  // line noise
        else if (i % 500 == 0)
            s += std::string(33000 + rng() % 3000, 'x');  // a flood longer than the buffer
    }
    return s + "lp 1";  // ends inside a line
}

// Everything the stream can change, fed in chunks of nextChunk() characters (0: all at once).
template <typename Chunker>
auto runStream(const std::string& stream, Chunker nextChunk) {
    ManualClock clock;
    std::vector<LoggedError> errors;
    ProtocolState ps(clock, [&](const std::string& l, int32_t n) { errors.push_back({l, n}); });
    ps.KestroState.DevFunction = ps.KestroState.DevVariant = ps.RecordState = 1;
    ps.BufferRestart = 3;
    for (size_t pos = 0, n; pos < stream.size(); pos += n) {
        const size_t want = nextChunk();
        n = std::min(stream.size() - pos, want ? want : stream.size());
        ps.receiveEvent(std::string_view(stream).substr(pos, n));
    }
    // Every sample waiting for the hand-off, with its series and index.
    std::vector<std::tuple<int32_t, int32_t, MeasurementRecord>> slow, fast;
    for (const SampleSeries::Entry& e : ps.SlowBuffer.pending())
        slow.emplace_back(e.RecordNo, e.Index, e.Sample);
    for (const SampleSeries::Entry& e : ps.FastBuffer.pending())
        fast.emplace_back(e.RecordNo, e.Index, e.Sample);
    const std::vector<int64_t> counters{ps.AnswerWatchdog, ps.RecordState,     ps.BufferRestart,
                                        ps.RxCharCount,    ps.RxLineCount,     ps.SlowRecordNo(),
                                        ps.FastRecordNo(), ps.LastSlowStampMs, ps.LastFastStampMs};
    return std::tuple(ps.KestroState, ps.CurrentMeasurement, slow, fast, counters, std::string(ps.rxPending()), errors);
}

TEST(Chunking, AnyChunkSizesGiveTheSameResult) {
    for (uint32_t seed = 1; seed <= 6; ++seed) {
        SCOPED_TRACE(seed);
        std::mt19937 rng(seed);
        const std::string stream = randomStream(rng);
        const auto whole = runStream(stream, [] { return size_t{0}; });
        ASSERT_GT(std::get<4>(whole)[5], 3);  // the stream really records and restarts
        ASSERT_GT(std::get<4>(whole)[6], 3);
        ASSERT_FALSE(std::get<6>(whole).empty());
        for (int round = 0; round < 4; ++round) {
            std::mt19937 chunker(seed * 100 + round);
            auto chunk = [&] {  // mostly small reads, now and then a large one, like a busy serial driver
                const size_t cap = chunker() % 8 == 0 ? stream.size() : 64;
                return 1 + chunker() % cap;
            };
            EXPECT_TRUE(runStream(stream, chunk) == whole) << "round " << round;
        }
        if (seed == 1) {
            EXPECT_TRUE(runStream(stream, [] { return size_t{1}; }) == whole) << "single bytes";
        }
    }
}

}  // namespace
}  // namespace kestro::test
