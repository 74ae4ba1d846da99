// Receive framing, the bounded buffer and the sample buffers.

#include "ProtocolFixture.h"

#include <algorithm>
#include <string>

namespace kestro::test {
namespace {

using Receive = ProtocolTest;

TEST_F(Receive, SplitLineInterpretedOnceAfterItsEnd) {
    Feed("ls");  // not a key yet: nothing may happen before the line end
    EXPECT_EQ(ps.RxCharCount, 2);
    Feed("x 1\rl");
    Feed("p 734 0\r");
    EXPECT_EQ(ps.KestroState.DevLevel, 734);
    EXPECT_EQ(ps.AnswerWatchdog, 5);
    ExpectDrained();
}

TEST_F(Receive, TwoLinesInOneReadInOrder) {
    ps.KestroState.DevFunction = 1;
    ps.KestroState.DevVariant = 1;
    ps.RecordState = 1;
    Feed("lp 100 0\rlp 200 0\r");
    ASSERT_EQ(ps.SlowCount, 2);
    EXPECT_EQ(ps.GetSlowRecord(1).Level, 100);
    EXPECT_EQ(ps.GetSlowRecord(2).Level, 200);
    EXPECT_EQ(ps.KestroState.DevLevel, 200);
}

TEST_F(Receive, LoneLineFeedIsAnOrdinaryCharacter) {
    Feed("\n");
    EXPECT_EQ(ps.RxLineCount, 0);
    EXPECT_EQ(ps.RxCharCount, 1);
    Feed("gsi\r\n");  // CR LF framing: the LF waits in front of the next line
    EXPECT_EQ(ps.AnswerWatchdog, 5);
    EXPECT_EQ(ps.RxPending(), "\n");
    EXPECT_EQ(ps.RxLineCount, 0);
}

TEST_F(Receive, ResetDropsWaitingCharactersAndWatchdog) {
    Feed("gsi\rlp 7");
    ASSERT_EQ(ps.AnswerWatchdog, 5);
    EXPECT_EQ(ps.ResetReceiveBuffer(), kTrue);
    ExpectDrained();
    EXPECT_EQ(ps.AnswerWatchdog, 0);
    Feed("34 0\r");  // the tail of the dropped line is no answer
    EXPECT_EQ(ps.KestroState.DevLevel, 0);
}

TEST_F(Receive, ReadRxCharsTakesFromTheFront) {
    ps.AppendReceived("ab\rc");
    std::string out;
    EXPECT_EQ(ps.ReadRxChars(out, 1), 1);
    EXPECT_EQ(out, "a");
    EXPECT_EQ(ps.ReadRxChars(out, 0), 0);
    EXPECT_EQ(out, "");
    EXPECT_EQ(ps.ReadRxChars(out, 2), 2);
    EXPECT_EQ(out, "b\r");
    EXPECT_EQ(ps.RxLineCount, 1);  // consumers lower it themselves
    EXPECT_EQ(ps.ReadRxChars(out, 10), 1);
    EXPECT_EQ(out, "c");
    EXPECT_EQ(ps.RxCharCount, 0);
    EXPECT_EQ(ps.ReadRxChars(out, 1), 0);
}

TEST_F(Receive, StorageStaysBoundedWhileLinesFlow) {
    // A tail that never empties the buffer must not let consumed characters pile up.
    Feed("gs");
    for (int i = 0; i < 20000; ++i) Feed("i\rgs");
    EXPECT_EQ(ps.AnswerWatchdog, 5);
    EXPECT_EQ(ps.RxPending(), "gs");
    EXPECT_LT(ps.RxStorageSize(), 64u);
}

TEST_F(Receive, FloodKeepsNewestCharactersAndExactCounters) {
    const std::string chunk(1000, 'x');
    for (int i = 0; i < 40; ++i) Feed(chunk);
    EXPECT_EQ(ps.RxCharCount, ProtocolState::kRxCapacity);
    EXPECT_EQ(ps.RxPending().size(), size_t(ProtocolState::kRxCapacity));
    EXPECT_EQ(ps.RxLineCount, 0);
    ASSERT_EQ(errors.size(), 1u);  // once per flood
    EXPECT_EQ(errors[0], (LoggedError{": ReceiveBuffer: ", kErrReceiveOverflow}));

    Feed("\rgsi\r");  // the long line ends; the next answer is not lost
    EXPECT_EQ(ps.AnswerWatchdog, 5);
    ExpectDrained();

    Feed(std::string(40000, 'y'));  // a new flood is logged again
    EXPECT_EQ(errors.size(), 2u);
    EXPECT_EQ(ps.RxCharCount, ProtocolState::kRxCapacity);
}

TEST_F(Receive, FloodDropsTheOldestCharacters) {
    std::string s(ProtocolState::kRxCapacity, 'a');
    Feed(s);
    Feed("bc");
    const std::string_view p = ps.RxPending();
    EXPECT_EQ(p.size(), size_t(ProtocolState::kRxCapacity));
    EXPECT_EQ(p.substr(p.size() - 3), "abc");
    EXPECT_EQ(std::count(p.begin(), p.end(), 'a'), ProtocolState::kRxCapacity - 2);
}

TEST_F(Receive, AppendAloneCountsDroppedLineEnds) {
    std::string s = "\r\r" + std::string(ProtocolState::kRxCapacity, 'y');
    ps.AppendReceived(s);
    EXPECT_EQ(ps.RxLineCount, 0);
    EXPECT_EQ(ps.RxCharCount, ProtocolState::kRxCapacity);
    ps.ResetReceiveBuffer();
    ps.AppendReceived("a\rb\r");
    ps.AppendReceived(std::string(ProtocolState::kRxCapacity, 'z'));  // drops all four
    EXPECT_EQ(ps.RxLineCount, 0);
    EXPECT_EQ(ps.RxPending().front(), 'z');
    ps.ResetReceiveBuffer();
    ps.AppendReceived("a\rb\r");
    ps.AppendReceived(std::string(ProtocolState::kRxCapacity - 2, 'z'));
    EXPECT_EQ(ps.RxLineCount, 1);
    EXPECT_EQ(ps.RxPending().substr(0, 2), "b\r");
}

TEST_F(Receive, LargeBlockOfLinesLosesNoSample) {
    ps.KestroState.DevFunction = 1;
    ps.KestroState.DevVariant = 1;
    ps.RecordState = 1;
    std::string block;
    for (int i = 0; i < 6000; ++i) block += "lp " + std::to_string(i % 1000) + " 0\r";
    ASSERT_GT(block.size(), size_t(ProtocolState::kRxCapacity));
    Feed(block);
    EXPECT_EQ(ps.SlowCount, 6000);
    EXPECT_EQ(ps.GetSlowRecord(6000).Level, 999);
    EXPECT_TRUE(errors.empty());
    ExpectDrained();
}

TEST_F(Receive, OverlongLineInsideABlockSparesTheLinesAround) {
    Feed("gsn 12345678\r" + std::string(50000, 'x') + "\rgds 1230C\r");
    EXPECT_EQ(ps.KestroState.DevSerialNo, 12345678);
    EXPECT_EQ(ps.KestroState.DevBattery, 12);
    EXPECT_EQ(errors.size(), 1u);
    ExpectDrained();
}

MeasurementRecord Sample(int i) {
    MeasurementRecord r;
    r.Flags = static_cast<int16_t>(1 + (i & 1) * 16);
    r.Timestamp = 46086.5 + i;
    r.SysTime = {2026, 3, 4, 5, 12, 0, 0, static_cast<int16_t>(i % 1000)};
    r.Level = static_cast<int16_t>(i);
    r.FastLevel = i * 0.5;
    r.LevelFlags = 5;
    return r;
}

TEST_F(Receive, SlowBufferGrowsKeepingEntries) {
    for (int i = 1; i <= 1001; ++i) EXPECT_EQ(ps.AddSlowRecord(Sample(i)), i);
    for (int i = 1; i <= 1001; ++i) ASSERT_EQ(ps.GetSlowRecord(i), Sample(i)) << i;
    EXPECT_EQ(ps.GetSlowRecord(1002), MeasurementRecord{});
    EXPECT_EQ(ps.GetSlowRecord(-1), MeasurementRecord{});
    MeasurementRecord header;
    header.Flags = Sample(1).Flags;
    header.Timestamp = Sample(1).Timestamp;
    header.Level = Sample(1).Level;
    EXPECT_EQ(ps.GetSlowRecord(0), header);
    EXPECT_EQ(ps.GetFastRecord(1), MeasurementRecord{});  // the buffers are separate
}

TEST_F(Receive, ClearedBufferRefillsItsHeader) {
    ps.AddFastRecord(Sample(3));
    ps.AddFastRecord(Sample(4));
    ps.ClearFastBuffer();
    EXPECT_EQ(ps.FastCount, 0);
    EXPECT_EQ(ps.GetFastRecord(0), MeasurementRecord{});
    EXPECT_EQ(ps.GetFastRecord(1), MeasurementRecord{});
    EXPECT_EQ(ps.AddFastRecord(Sample(8)), 1);
    MeasurementRecord header;
    header.Flags = Sample(8).Flags;
    header.Timestamp = Sample(8).Timestamp;
    header.FastLevel = Sample(8).FastLevel;  // fast header: FastLevel, not Level
    EXPECT_EQ(ps.GetFastRecord(0), header);
    ps.ClearSlowBuffer();
    EXPECT_EQ(ps.SlowCount, 0);
}

}  // namespace
}  // namespace kestro::test
