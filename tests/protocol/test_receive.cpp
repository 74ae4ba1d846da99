// Receive framing and the bounded buffer; that chunking changes nothing is the fuzzer's check.

#include "ProtocolFixture.h"

#include <algorithm>
#include <string>

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

}  // namespace
}  // namespace kestro::test
