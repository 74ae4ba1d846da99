// Interpreter behaviour that needs more than one line or a look at the samples.

#include "ProtocolFixture.h"

#include "protocol/ArgParser.h"

#include <cmath>
#include <string>

namespace kestro::test {
namespace {

class Interp : public ProtocolTest {
protected:
    // Function code 11 with recording armed and no restart pending.
    void StartLp() {
        ResetLikePollCycle();
        ps.KestroState.DevFunction = 1;
        ps.KestroState.DevVariant = 1;
        ps.RecordState = 1;
        ps.BufferRestart = 0;
    }
};

TEST_F(Interp, ErrorReadingSetsMinusOneWithoutWatchdog) {
    struct Case {
        const char* line;
        int16_t status;
    };
    for (const Case& c : {Case{"lp err 3\r", 3}, Case{"LP ERR 7\r", 7}, Case{"leq err\r", 0}}) {
        SCOPED_TRACE(c.line);
        ps.KestroState = KestroStateRecord{};
        ps.AnswerWatchdog = 0;
        Feed(c.line);
        EXPECT_EQ(ps.KestroState.DevLevel, -1);
        EXPECT_EQ(ps.KestroState.DevLevelStatus, c.status);
        EXPECT_EQ(ps.KestroState.DataValid, 8 | 16);
        EXPECT_EQ(ps.AnswerWatchdog, 0);
        EXPECT_EQ(ps.SlowCount, 0);
        ExpectDrained();
    }
}

TEST_F(Interp, FunctionChangeRestartsSlowBufferWhileRecording) {
    StartLp();
    ps.BufferRestart = 3;  // as recording enable leaves it
    Feed("lp 700 0\rlp 701 1\r");
    EXPECT_EQ(ps.SlowRecordNo, 1);
    ASSERT_EQ(ps.SlowCount, 2);
    EXPECT_EQ(ps.RecordState, 2);
    EXPECT_EQ(ps.GetSlowRecord(1).Level, 700);
    EXPECT_EQ(ps.GetSlowRecord(2).LevelFlags, 1);
    EXPECT_EQ(ps.GetSlowRecord(0).Flags, 1);

    ps.CurrentMeasurement.Flags |= 16;  // a fast kind seen earlier survives the slow restart
    Feed("leq 650 2\r");
    EXPECT_EQ(ps.KestroState.DevFunction, 2);
    EXPECT_EQ(ps.KestroState.DevVariant, 2);
    EXPECT_EQ(ps.BufferRestart, 2);  // slow bit consumed, fast bit still pending
    EXPECT_EQ(ps.SlowRecordNo, 2);
    ASSERT_EQ(ps.SlowCount, 1);
    const MeasurementRecord first = ps.GetSlowRecord(1);
    EXPECT_EQ(first.Level, 650);
    EXPECT_EQ(first.Flags, 2 | 16);
    const MeasurementRecord header = ps.GetSlowRecord(0);
    EXPECT_EQ(header.Flags, 2 | 16);
    EXPECT_EQ(header.Level, 650);
    EXPECT_EQ(header.Timestamp, first.Timestamp);
    EXPECT_EQ(header.LevelFlags, 0);  // the header takes flags, time and level only
}

TEST_F(Interp, WhichOldCodesRecord) {
    struct Case {
        int16_t f, v;
        const char* line;
        int32_t stored;
    };
    const Case cases[] = {
        {1, 1, "lp 1 0\r", 1},   {2, 2, "leq 1 0\r", 1},  {3, 2, "max 1 0\r", 1},
        {2, 1, "leqs 1 0\r", 0}, {2, 3, "leqr 1 0\r", 0}, {3, 1, "maxs 1 0\r", 0},
        {4, 2, "cal 1 0\r", 0},  {1, 1, "cal 1 0\r", 1},  // the old code decides
        {0, 0, "lp 1 0\r", 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        ps.ClearSlowBuffer();
        ps.KestroState.DevFunction = c.f;
        ps.KestroState.DevVariant = c.v;
        ps.RecordState = 1;
        Feed(c.line);
        EXPECT_EQ(ps.SlowCount, c.stored);
        EXPECT_EQ(ps.RecordState, c.stored ? 2 : 1);
    }
}

TEST_F(Interp, NothingRecordedWhileRecordingOff) {
    StartLp();
    ps.RecordState = 0;
    Feed("lp 700 0\rp 3F8000000\r");
    EXPECT_EQ(ps.SlowCount, 0);
    EXPECT_EQ(ps.FastCount, 0);
    EXPECT_EQ(ps.RecordState, 0);
    EXPECT_EQ(ps.KestroState.DevLevel, 700);
}

TEST_F(Interp, GdvRequestsRestartWithoutChangingFunction) {
    StartLp();
    Feed("gdv 640 0\r");
    EXPECT_EQ(ps.KestroState.DevFunction, 1);
    EXPECT_EQ(ps.KestroState.DevVariant, 1);
    EXPECT_EQ(ps.BufferRestart, 2);  // 3, then the slow bit used by this very sample
    EXPECT_EQ(ps.SlowCount, 1);
    EXPECT_EQ(ps.SlowRecordNo, 1);
    EXPECT_EQ(ps.KestroState.DataValid & 3, 0);
}

TEST_F(Interp, FastValuesStampedAndRecorded) {
    StartLp();
    ps.BufferRestart = 2;
    Feed("p 49C350000\rq BF800000C\r");
    ASSERT_EQ(ps.FastCount, 2);
    EXPECT_EQ(ps.FastRecordNo, 1);
    EXPECT_EQ(ps.BufferRestart, 0);
    const MeasurementRecord a = ps.GetFastRecord(1), b = ps.GetFastRecord(2);
    EXPECT_EQ(a.FastLevel, 1600000.0);
    EXPECT_EQ(b.FastLevel, -1.0);
    EXPECT_EQ(b.LevelFlags, 12);
    EXPECT_EQ(a.Flags, 16);
    EXPECT_EQ(b.Flags, 16 | 32);
    EXPECT_EQ(ps.GetFastRecord(0).FastLevel, 1600000.0);
    // Same millisecond: the second stamp is 15 ms later.
    EXPECT_EQ(a.SysTime, clock.Now());
    EXPECT_EQ(MillisecondsOfDay(b.SysTime) - MillisecondsOfDay(a.SysTime), 15);
    EXPECT_EQ(ps.KestroState.DataValid, 0);
    EXPECT_EQ(ps.RecordState, 1);  // fast values never move it
}

TEST_F(Interp, FastNotRecordedOutsideRecordedCodes) {
    StartLp();
    ps.KestroState.DevVariant = 3;  // code 13
    Feed("p 49C350000\r");
    EXPECT_EQ(ps.FastCount, 0);
    EXPECT_EQ(ps.AnswerWatchdog, 5);
    EXPECT_EQ(ps.CurrentMeasurement.FastLevel, 1600000.0);
}

TEST_F(Interp, StampingRule) {
    // Each step: advance the clock, feed a line, expect the stamp relative to the start.
    struct Step {
        int64_t advanceMs;
        const char* line;
        int64_t stampMs;
    };
    const Step steps[] = {
        {0, "p 3F8000000\r", 0},   {0, "p 3F8000000\r", 15},  {5, "p 3F8000000\r", 30},
        {0, "lp 700 0\r", 30},     // slow: clock not past the last stamp, time kept
        {40, "lp 700 0\r", 45},    // slow: clock ahead, stamp = now
        {0, "r 3F8000000\r", 60},  {100, "q 3F8000000\r", 145},  // catches up with the clock
    };
    const int64_t start = AbsoluteMilliseconds(clock.Now());
    for (const Step& s : steps) {
        SCOPED_TRACE(s.line);
        clock.AdvanceMs(s.advanceMs);
        Feed(s.line);
        EXPECT_EQ(AbsoluteMilliseconds(ps.CurrentMeasurement.SysTime) - start, s.stampMs);
    }
}

TEST_F(Interp, StampsKeepRunningAcrossMidnight) {
    clock.Set({2026, 3, 4, 5, 23, 59, 59, 990});
    Feed("lp 700 0\r");
    clock.AdvanceMs(20);  // 00:00:00.010 on the next day
    Feed("lp 701 0\r");
    EXPECT_EQ(ps.CurrentMeasurement.SysTime, clock.Now());
    // A burst over midnight carries into the date as well.
    clock.Set({2026, 3, 4, 5, 23, 59, 59, 995});
    ps.LastStampMs = 0;
    ps.LastStampDay = 0;
    Feed("p 3F8000000\rp 3F8000000\r");
    const SystemTime t = ps.CurrentMeasurement.SysTime;
    EXPECT_EQ(t.wDay, 6);
    EXPECT_EQ(t.wDayOfWeek, 5);
    EXPECT_EQ(t.wHour, 0);
    EXPECT_EQ(t.wMilliseconds, 10);
}

TEST_F(Interp, LdkWithAndWithoutArguments) {
    for (auto [line, dog] : {std::pair{"ldk\r", 5}, std::pair{"LDK\r", 5}, std::pair{"ldk 3\r", 0},
                             std::pair{"ldk 0\r", 0}}) {
        SCOPED_TRACE(line);
        ps.AnswerWatchdog = 0;
        Feed(line);
        EXPECT_EQ(ps.AnswerWatchdog, dog);
        ExpectDrained();
    }
}

TEST_F(Interp, UnknownKeyTakesTwoCalls) {
    ps.AppendReceived("abc 12\r");
    Interpreter(ps);
    EXPECT_EQ(ps.RxPending(), "12\r");
    EXPECT_EQ(ps.RxLineCount, 1);
    Interpreter(ps);
    ExpectDrained();
    EXPECT_EQ(ps.AnswerWatchdog, 0);
    EXPECT_EQ(ps.KestroState, KestroStateRecord{});
}

TEST_F(Interp, LongKeyLeavesItsTailAsANewKey) {
    // Eight characters end the key; the ninth is eaten, the tenth starts a key of its own.
    ps.AppendReceived("abcdefgxyp 3F8000000\r");
    Interpreter(ps);
    EXPECT_EQ(ps.RxPending(), "p 3F8000000\r");
    ps.ReceiveEvent("");
    EXPECT_EQ(ps.AnswerWatchdog, 5);
}

TEST_F(Interp, SeekCrossesLinesWithoutLetters) {
    ps.AppendReceived("\r12\r\ngsi\r");
    ASSERT_EQ(ps.RxLineCount, 3);
    Interpreter(ps);  // one call: two empty lines and the answer
    EXPECT_EQ(ps.AnswerWatchdog, 5);
    ExpectDrained();
}

TEST_F(Interp, RuntimeFailuresAreLoggedAndStopTheHandler) {
    struct Case {
        const char* line;
        int32_t errNo;
        int16_t watchdog;  // set when the failing step comes after it
    };
    const Case cases[] = {
        {"smm 99999999999\r", kErrOverflow, 0},       // 32-bit overflow while parsing
        {"gso FFFFFFFFF\r", kErrOverflow, 0},
        {"lp 99999999999 0\r", kErrOverflow, 0},
        {"smm 40000\r", kErrOverflow, 5},             // 16-bit field
        {"gso FFFF\r", kErrOverflow, 5},
        {"temp 32768\r", kErrOverflow, 5},
        {"lp 99999 0\r", kErrOverflow, 5},
        {"lp 734 FFFFF\r", kErrOverflow, 5},
        {"lp err 40000\r", kErrOverflow, 0},
        {"grc 3 1.5\r", kErrSubscriptRange, 5},
        {"grc 10 1\r", kErrSubscriptRange, 5},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        errors.clear();
        ResetLikePollCycle();
        ps.KestroState.DevFunction = 1;
        ps.KestroState.DevVariant = 1;
        ps.RecordState = 1;
        ps.AnswerWatchdog = 0;
        const KestroStateRecord before = ps.KestroState;
        Feed(c.line);
        ASSERT_EQ(errors.size(), 1u);
        EXPECT_EQ(errors[0], (LoggedError{": Interpreter: ", c.errNo}));
        EXPECT_EQ(ps.KestroState, before);
        EXPECT_EQ(ps.AnswerWatchdog, c.watchdog);
        EXPECT_EQ(ps.SlowCount, 0);
        ExpectDrained();
    }
    // The next answer is interpreted normally.
    Feed("lp 734 0\r");
    EXPECT_EQ(ps.KestroState.DevLevel, 734);
}

TEST_F(Interp, ThrowingLogDoesNotEscape) {
    ps.SetErrorLog([](const std::string&, int32_t) { throw std::runtime_error("disk full"); });
    EXPECT_NO_THROW(Feed("grc 5 1\rgsi\r"));
    EXPECT_EQ(ps.AnswerWatchdog, 5);
    ExpectDrained();
}

TEST_F(Interp, InterpreterOnEmptyBufferDoesNothing) {
    EXPECT_EQ(Interpreter(ps), 1);
    ps.AppendReceived("lp");  // no line end: the key is discarded, nothing else read
    ps.RxLineCount = 1;       // a caller that broke the precondition
    EXPECT_EQ(Interpreter(ps), 1);
    EXPECT_EQ(ps.KestroState, KestroStateRecord{});
    EXPECT_TRUE(ps.RxPending().empty());
}

TEST_F(Interp, ArgSlotRadixResetBeforeEveryKey) {
    Feed("gso 10\r");
    EXPECT_EQ(ps.KestroState.DevOptions, 16);
    for (int i = 0; i <= 3; ++i) ps.Args[i].Radix = 1;
    Feed("smm 10\r");  // decimal again
    EXPECT_EQ(ps.KestroState.DevMeasMode, 10);
}

TEST(AddMillisecondsTest, CarriesWithoutTouchingTheDate) {
    struct Case {
        SystemTime in;
        int32_t n;
        SystemTime out;
    };
    const Case cases[] = {
        {{2026, 3, 4, 5, 12, 0, 0, 990}, 15, {2026, 3, 4, 5, 12, 0, 1, 5}},
        {{2026, 3, 4, 5, 12, 59, 59, 999}, 1, {2026, 3, 4, 5, 13, 0, 0, 0}},
        {{2026, 3, 4, 5, 23, 59, 59, 990}, 15, {2026, 3, 4, 5, 0, 0, 0, 5}},
        {{2026, 3, 4, 5, 10, 0, 0, 0}, 0, {2026, 3, 4, 5, 10, 0, 0, 0}},
        {{2026, 3, 4, 5, 10, 0, 0, 500}, 3600000, {2026, 3, 4, 5, 11, 0, 0, 500}},
        {{2026, 3, 4, 5, 0, 0, 0, 5}, -10, {2026, 3, 4, 5, 23, 59, 59, 995}},
    };
    for (const Case& c : cases) {
        SystemTime t = c.in;
        AddMilliseconds(t, c.n);
        EXPECT_EQ(t, c.out) << c.n;
    }
}

}  // namespace
}  // namespace kestro::test
