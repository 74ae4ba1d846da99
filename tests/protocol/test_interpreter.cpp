// Interpreter behaviour that needs more than one line or a look at the samples.

#include "ProtocolFixture.h"

#include <algorithm>
#include <climits>
#include <string>
#include <tuple>
#include <vector>

namespace kestro::test {
namespace {

using Interp = ProtocolTest;

TEST_F(Interp, FunctionChangeRestartsSlowBufferWhileRecording) {
    resetLikePollCycle(1, 1);
    ps.RecordState = 1;
    ps.BufferRestart = 3;  // as recording enable leaves it
    feed("lp 700 0\rlp 701 1\r");
    EXPECT_EQ(std::tuple(ps.SlowRecordNo(), ps.SlowCount(), ps.RecordState, ps.GetSlowRecord(2).LevelFlags),
              std::tuple(1, 2, 2, 1));

    ps.CurrentMeasurement.Flags |= kFlagFastP;  // a fast kind seen earlier survives the slow restart
    feed("leq 650 2\r");
    EXPECT_EQ(ps.KestroState.DevFunction * 10 + ps.KestroState.DevVariant, 22);
    EXPECT_EQ(ps.BufferRestart, 2);  // slow bit consumed, fast bit still pending
    EXPECT_EQ(std::tuple(ps.SlowRecordNo(), ps.SlowCount()), std::tuple(2, 1));
    const MeasurementRecord first = ps.GetSlowRecord(1), header = ps.GetSlowRecord(0);
    EXPECT_EQ(std::tuple(first.Level, first.Flags), std::tuple(650, 2 | 16));
    // Flags, time and level only.
    EXPECT_EQ(header, (MeasurementRecord{2 | 16, first.Timestamp, {}, 650, 0, 0, first.Instant}));
    // The samples of the first series are still waiting for the hand-off, in order.
    ASSERT_EQ(ps.SlowBuffer.pending().size(), 3u);
    EXPECT_EQ(ps.SlowBuffer.pending()[1].RecordNo, 1);
    EXPECT_EQ(ps.SlowBuffer.pending()[2].RecordNo, 2);
}

TEST_F(Interp, OldCodeDecidesWhetherASlowValueIsStored) {
    struct Case {
        int16_t f, v, recordState;
        const char* line;
        int32_t stored;
        size_t calibration = 0;  // readings noted for the calibration log, recording or not
    };
    const Case cases[] = {
        {1, 1, 1, "lp 1 0\r", 1},      {2, 2, 1, "leq 1 0\r", 1},    {3, 2, 1, "max 1 0\r", 1},
        {2, 1, 1, "leqs 1 0\r", 0},    {2, 3, 1, "leqr 1 0\r", 0},   {3, 1, 1, "maxs 1 0\r", 0},
        {4, 2, 1, "cal 1 0\r", 0, 1},  {1, 1, 1, "cal 1 0\r", 1, 1}, {4, 5, 0, "calr 1 0\r", 0, 1},
        {4, 1, 0, "cals 1 0\r", 0, 1}, {4, 2, 1, "cal err 3\r", 0},  {0, 0, 1, "lp 1 0\r", 0},
        {1, 1, 0, "lp 1 0\r", 0},  // recording off
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        ps.ClearSlowBuffer();
        ps.PendingCalibration.clear();
        ps.KestroState.DevFunction = c.f;
        ps.KestroState.DevVariant = c.v;
        ps.RecordState = c.recordState;
        feed(c.line);
        EXPECT_EQ(ps.SlowCount(), c.stored);
        EXPECT_EQ(ps.RecordState, c.stored ? 2 : c.recordState);
        EXPECT_EQ(ps.PendingCalibration.size(), c.calibration);
    }
}

// The device confirms an arming with "awm 1"; the arming itself has restarted
// the series already, and a sample may overtake the confirmation, which
// therefore restarts nothing. "+" arms (with its restart), "*" sets the armed
// state alone, "-" disarms; the rest are lines from the device.
TEST_F(Interp, ArmingConfirmationRestartsNothing) {
    const struct {
        int16_t f, v;
        std::vector<const char*> steps;
        std::tuple<int32_t, int32_t, int32_t, int32_t> slowNoCountFastNoCount;
    } cases[] = {
        {1, 1, {"+", "awm 1\r", "lp 700 0\r", "lp 701 0\r"}, {1, 2, 0, 0}},
        {1, 1, {"+", "lp 700 0\r", "awm 1\r", "lp 701 0\r"}, {1, 2, 0, 0}},  // overtaken confirmation
        {1, 1, {"+", "lp 700 0\r", "awm 1\rlp 701 0\r"}, {1, 2, 0, 0}},
        {2, 2, {"*", "awm 1\r", "leq 500 0\r", "leq 501 0\r"}, {1, 2, 0, 0}},
        {1, 1, {"+", "awm 1\r", "lp 700 0\r", "-", "+", "awm 1\r", "lp 701 0\r"}, {2, 1, 0, 0}},
        {1, 1, {"+", "lp 700 0\r", "+", "lp 701 0\r", "awm 1\r", "lp 702 0\r"}, {2, 2, 0, 0}},  // re-armed
        // Confirmed again while the fast values already flow (arming during start-up).
        {1, 1, {"+", "awm 1\r", "p 49C350000\r", "lp 700 0\r", "awm 1\r", "p 49C350000\r", "lp 701 0\r"}, {1, 2, 1, 2}},
    };
    for (const auto& c : cases) {
        ProtocolState p{clock};
        p.KestroState.DevFunction = c.f;
        p.KestroState.DevVariant = c.v;
        std::string trace;
        for (const char* step : c.steps) {
            trace += std::string(step) + " | ";
            if (step == std::string("+") || step == std::string("*")) {
                p.RecordState = 1;
                if (step[0] == '+') p.BufferRestart = 3;
            } else if (step == std::string("-")) {
                p.RecordState = 0;
            } else {
                p.receiveEvent(step);
            }
        }
        EXPECT_EQ(std::tuple(p.SlowRecordNo(), p.SlowCount(), p.FastRecordNo(), p.FastCount()),
                  c.slowNoCountFastNoCount)
            << trace;
    }
}

TEST_F(Interp, FastValuesInOneMillisecondAreStamped15msApart) {
    resetLikePollCycle(1, 1);
    ps.RecordState = 1;
    ps.BufferRestart = 2;
    feed("p 49C350000\rq BF800000C\r");
    ASSERT_EQ(ps.FastCount(), 2);
    EXPECT_EQ(ps.BufferRestart, 0);
    const MeasurementRecord a = ps.GetFastRecord(1), b = ps.GetFastRecord(2);
    EXPECT_EQ(a.FastLevel, 1600000.0);
    EXPECT_EQ(b.FastLevel, -1.0);
    EXPECT_EQ(b.LevelFlags, 12);
    EXPECT_EQ(b.Flags, 16 | 32);
    EXPECT_EQ(ps.GetFastRecord(0).FastLevel, 1600000.0);
    // The second line's 12 bytes took 12.5 ms on the line after the first was complete.
    EXPECT_EQ(a.Instant, clock.read().utcMs - 12);
    EXPECT_EQ(millisecondsOfDay(b.SysTime) - millisecondsOfDay(a.SysTime), 15);
    EXPECT_EQ(ps.RecordState, 1);  // fast values never move it
}

TEST_F(Interp, StampingRule) {
    struct Step {
        int64_t advanceMs;
        const char* line;
        int64_t stampMs;  // relative to the start
    };
    const Step steps[] = {
        {0, "p 3F8000000\r", 0}, {0, "p 3F8000000\r", 15}, {5, "p 3F8000000\r", 30},
        {0, "lp 700 0\r", 5},  // each stream keeps its own stamps: slow lines are not carried by fast bursts
        {40, "lp 700 0\r", 45},  {0, "r 3F8000000\r", 45}, {100, "q 3F8000000\r", 145},
        {0, "lp 700 0\r", 145},  {0, "lp 700 0\r", 145},  // same millisecond: equal, never earlier
    };
    const int64_t start = clock.utcMs();
    for (const Step& s : steps) {
        SCOPED_TRACE(s.line);
        clock.advanceMs(s.advanceMs);
        feed(s.line);
        const MeasurementRecord& cm = ps.CurrentMeasurement;
        EXPECT_EQ(cm.Instant - start, s.stampMs);
        EXPECT_EQ(cm.SysTime, clock.read().localAt(cm.Instant));
    }
}

// Whatever the clock does, every stamp lies within 100 ms after the moment its
// sample arrived, and the stamps of a stream only go back when the clock does.
// Fast values come at the line's full rate (eight a tick): their 15 ms steps
// fill the 100 ms, but never carry the stamps away from the clock.
TEST_F(Interp, StampsFollowTheClockThroughJumps) {
    struct Jump {
        const char* what;
        int offsetMinutes;  // UTC offset from here on
        int64_t stepMs;     // the clock itself stepped
    };
    const Jump jumps[] = {
        {"daylight saving ends: 03:00 becomes 02:00", 60, 0},
        {"daylight saving starts: 02:00 becomes 03:00", 120, 0},
        {"a time server steps the clock back one hour", 120, -3600000},
        {"and forward again", 120, 3600000},
    };
    std::string burst;
    for (int i = 0; i < 8; ++i)
        burst += "p 3F8000000\r";
    clock.setUtcOffsetMinutes(120);
    clock.set({2026, 10, 0, 25, 2, 59, 0, 0});
    int64_t maxLead = 0;
    for (const Jump& j : jumps) {
        SCOPED_TRACE(j.what);
        int64_t lastSlow = INT64_MIN, lastFast = INT64_MIN;
        bool slowMayGoBack = false, fastMayGoBack = false;
        for (int tick = 0; tick < 1200; ++tick) {  // two minutes around the jump
            if (tick == 600) {
                clock.setUtcOffsetMinutes(j.offsetMinutes);
                clock.advanceMs(j.stepMs);
                slowMayGoBack = fastMayGoBack = j.stepMs < 0;
            }
            const ClockReading now = clock.read();
            feed(tick % 10 == 0 ? "lp 650 0\r" : burst);
            const MeasurementRecord& cm = ps.CurrentMeasurement;
            ASSERT_GE(cm.Instant, now.utcMs);
            ASSERT_LE(cm.Instant, now.utcMs + 100);
            maxLead = std::max(maxLead, cm.Instant - now.utcMs);
            // The time column shows the local time of the arrival.
            ASSERT_EQ(cm.SysTime, now.localAt(cm.Instant));
            int64_t& last = tick % 10 == 0 ? lastSlow : lastFast;
            bool& mayGoBack = tick % 10 == 0 ? slowMayGoBack : fastMayGoBack;
            if (!mayGoBack) {
                ASSERT_GE(cm.Instant, last) << tick;
            }
            mayGoBack = false;
            last = cm.Instant;
            clock.advanceMs(100);
        }
    }
    EXPECT_GE(maxLead, 90) << "a burst is still spread 15 ms apart";
}

TEST_F(Interp, StampsKeepRunningAcrossMidnight) {
    clock.set({2026, 3, 4, 5, 23, 59, 59, 990});
    feed("lp 700 0\r");
    clock.advanceMs(20);
    feed("lp 701 0\r");
    EXPECT_EQ(ps.CurrentMeasurement.SysTime, clock.now());
    clock.set({2026, 3, 4, 5, 23, 59, 59, 999});  // a burst over midnight carries into the date
    ps.LastFastStampMs = 0;
    feed("p 3F8000000\rp 3F8000000\r");
    EXPECT_EQ(ps.CurrentMeasurement.SysTime, (SystemTime{2026, 3, 5, 6, 0, 0, 0, 2}));
    EXPECT_DOUBLE_EQ(ps.CurrentMeasurement.Timestamp, dateFromSystemTime(clock.now()));
}

// A change of function reaches a new series whichever answer reports it first.
TEST_F(Interp, FunctionChangeStartsNewSeriesWhicheverAnswerComesFirst) {
    struct Case {
        const char* what;
        const char* lines;  // in the order they arrive, after a series in LEQ
        int32_t slowSeries, fastSeries;
    };
    const Case cases[] = {
        {"status answer first", "gds 11033\rlp 700 0\rp 3F8000000\r", 2, 2},
        {"value line first", "lp 700 0\rgds 11033\rp 3F8000000\r", 2, 2},
        {"fast value first", "gds 11033\rp 3F8000000\rlp 700 0\r", 2, 2},
        {"variant away and back", "gds 21033\rleqs 1 0\rgds 22033\rleq 700 0\rq 3F8000000\r", 2, 2},
        {"nothing changes", "gds 22033\rleq 700 0\rq 3F8000000\r", 1, 1},
        {"the meter echoes the arming late", "awm 1\rleq 700 0\rq 3F8000000\r", 1, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ps.ClearSlowBuffer();
        ps.ClearFastBuffer();
        ps.SlowBuffer.RecordNo = ps.FastBuffer.RecordNo = 0;
        resetLikePollCycle(2, 2);
        ps.RecordState = 1;
        ps.BufferRestart = 3;
        feed("leq 650 0\rq 3F8000000\r");
        feed(c.lines);
        EXPECT_EQ(ps.SlowRecordNo(), c.slowSeries);
        EXPECT_EQ(ps.FastRecordNo(), c.fastSeries);
        EXPECT_EQ(ps.SlowBuffer.pending().back().RecordNo, c.slowSeries) << "the newest sample is in the newest series";
        EXPECT_EQ(ps.SlowCount(), c.slowSeries == 2 ? 1 : 2);
        EXPECT_EQ(ps.SlowBuffer.pending().size(), 2u) << "the old series' sample still waits for the hand-off";
    }
}

// A reading whose status field does not fit keeps its level; an error reading
// always shows as an error, is never stored and rearms nothing.
TEST_F(Interp, ErrorReadingsAndStatusesThatDoNotFit) {
    struct Case {
        const char* line;
        int16_t level, status;
        int32_t stored;
    };
    const Case cases[] = {
        {"lp 734 FFFFF\r", 734, 4, 1},  // the previous status stays
        {"lp err 40000\r", -1, 4, 0},  {"lp err 3\r", -1, 3, 0}, {"LP ERR 7\r", -1, 7, 0}, {"leq err\r", -1, 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        ps.ClearSlowBuffer();
        resetLikePollCycle(1, 1);
        ps.KestroState.DevLevelStatus = 4;
        ps.RecordState = 1;
        ps.AnswerWatchdog = 0;
        feed(c.line);
        EXPECT_TRUE(errors.empty());
        EXPECT_EQ(ps.KestroState.DevLevel, c.level);
        EXPECT_EQ(ps.KestroState.DevLevelStatus, c.status);
        EXPECT_EQ(ps.SlowCount(), c.stored);
        EXPECT_EQ(ps.AnswerWatchdog, c.stored ? 5 : 0);
        EXPECT_EQ(ps.KestroState.DataValid, kValidLevel | kValidLevelStatus);
        EXPECT_EQ(ps.GetSlowRecord(1).Level, c.stored ? c.level : 0);
        expectDrained();
    }
}

TEST_F(Interp, UnknownKeyTakesTwoCalls) {
    ps.appendReceived("abc 12\r");
    Interpreter(ps);
    EXPECT_EQ(ps.rxPending(), "12\r");
    EXPECT_EQ(ps.RxLineCount, 1);
    Interpreter(ps);
    expectDrained();
    EXPECT_EQ(ps.KestroState, KestroStateRecord{});
}

TEST_F(Interp, RuntimeFailuresAreLoggedAndStopTheHandler) {
    struct Case {
        const char* line;
        int32_t errNo;
        int16_t watchdog;  // set when the failing step comes after it
    };
    const Case cases[] = {
        {"smm 99999999999\r", kErrOverflow, 0}, {"gso FFFFFFFFF\r", kErrOverflow, 0},  // 32 bits
        {"gso 80000000\r", kErrOverflow, 0},    {"lp 99999999999 0\r", kErrOverflow, 0},
        {"lp 40000 0\r", kErrOverflow, 5},      {"smm 40000\r", kErrOverflow, 5},
        {"temp 32768\r", kErrOverflow, 5},  // 16 bits
        {"grc 3 1.5\r", kErrSubscriptRange, 5},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        errors.clear();
        resetLikePollCycle(1, 1);
        ps.RecordState = 1;
        ps.AnswerWatchdog = 0;
        const KestroStateRecord before = ps.KestroState;
        feed(c.line);
        EXPECT_EQ(errors, (std::vector<LoggedError>{{": Interpreter: ", c.errNo}}));
        EXPECT_EQ(ps.KestroState, before);
        EXPECT_EQ(ps.AnswerWatchdog, c.watchdog);
        EXPECT_EQ(ps.SlowCount(), 0);
        expectDrained();
    }
    ps.setErrorLog([](const std::string&, int32_t) { throw std::runtime_error("disk full"); });
    EXPECT_NO_THROW(feed("grc 5 1\rlp 734 0\r"));  // a failing log does not escape either
    EXPECT_EQ(ps.KestroState.DevLevel, 734);
}

}  // namespace
}  // namespace kestro::test
