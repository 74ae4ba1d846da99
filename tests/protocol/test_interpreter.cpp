// Receive framing, the bounded buffer, and interpreter behaviour that needs more
// than one line or a look at the samples; that chunking changes nothing is the
// fuzzer's check.

#include "ProtocolFixture.h"
#include "protocol/SampleSeries.h"

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <ctime>
#include <random>
#include <string>
#include <tuple>
#include <utility>
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
    EXPECT_EQ(ps.BufferRestart, 2);  // slow bit consumed, fast bit still pending
    EXPECT_EQ(std::tuple(ps.SlowRecordNo(), ps.SlowCount()), std::tuple(2, 1));
    const MeasurementRecord first = ps.GetSlowRecord(1), header = ps.GetSlowRecord(0);
    EXPECT_EQ(std::tuple(first.Level, first.Flags), std::tuple(650, 2 | 16));
    // Flags, time and level only.
    EXPECT_EQ(header, (MeasurementRecord{2 | 16, first.Timestamp, {}, 650, 0, 0, first.Instant}));
    EXPECT_EQ(ps.SlowBuffer.pending().size(), 3u) << "the first series still waits for the hand-off";
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
// therefore restarts nothing. A change of function reaches a new series
// whichever answer reports it first. "+" arms (with its restart), "*" sets the
// armed state alone, "-" disarms; the rest are lines from the device.
TEST_F(Interp, SeriesRestartOnArmingAndFunctionChange) {
    const char* leq = "leq 650 0\rq 3F8000000\r";  // a series in LEQ, then a line of the table
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
        {2, 2, {"+", leq, "gds 11033\rlp 700 0\rp 3F8000000\r"}, {2, 1, 2, 1}},  // status answer first
        {2, 2, {"+", leq, "lp 700 0\rgds 11033\rp 3F8000000\r"}, {2, 1, 2, 1}},  // value line first
        {2, 2, {"+", leq, "gds 11033\rp 3F8000000\rlp 700 0\r"}, {2, 1, 2, 1}},  // fast value first
        {2, 2, {"+", leq, "gds 21033\rleqs 1 0\rgds 22033\rleq 700 0\rq 3F8000000\r"}, {2, 1, 2, 1}},
        {2, 2, {"+", leq, "gds 22033\rleq 700 0\rq 3F8000000\r"}, {1, 2, 1, 2}},
        {2, 2, {"+", leq, "awm 1\rleq 700 0\rq 3F8000000\r"}, {1, 2, 1, 2}},
    };
    for (const auto& c : cases) {
        DeviceModule p{clock};
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
    EXPECT_EQ(std::tuple(a.FastLevel, b.FastLevel, b.LevelFlags, b.Flags), std::tuple(1600000.0, -1.0, 12, 16 | 32));
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
        {"daylight saving ends: an hour back", 60, 0},
        {"daylight saving starts: an hour forward", 120, 0},
        {"a time server steps the clock back one hour", 120, -3600000},
        {"and forward again", 120, 3600000},
    };
    std::string burst;
    for (int i = 0; i < 8; ++i)
        burst += "p 3F8000000\r";
    clock.setUtcOffsetMinutes(120);
    clock.set({2026, 10, 6, 24, 23, 59, 0, 50});  // the first jump comes with midnight: bursts run into the date
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
            ASSERT_DOUBLE_EQ(cm.Timestamp, dateFromSystemTime(now.local));
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

// The stamps of the samples waiting in both series, slow ones first, relative to start.
std::vector<int64_t> stampsOf(const DeviceModule& p, int64_t start) {
    std::vector<int64_t> out;
    for (const SampleSeries* series : {&p.SlowBuffer, &p.FastBuffer})
        for (const SampleSeries::Entry& e : series->pending())
            out.push_back(e.Sample.Instant - start);
    return out;
}

// A line read together with others is dated from its own carriage return,
// whatever was skipped before it in the same read: empty lines, runs of
// carriage returns, an unknown key's arguments, stray characters.
TEST_F(Interp, EachLineIsDatedFromItsOwnCarriageReturn) {
    const std::string crs(200, '\r');
    const struct {
        std::string block;
        std::vector<int64_t> stamps;  // slow ones first; -n: n ms before the read
    } rows[] = {
        {"\rlp 1 0\r", {0}},
        {"xyz 1\rlp 1 0\r", {0}},
        {crs + "lp 1 0\r", {0}},
        {"\x01 9\rlp 1 0\r\x02", {-1}},
        {"lp 1 0\r\r\rxyz 1\rlp 2 0\r", {-15, 0}},  // 15 bytes after the first line's end
        {"lp 1 0\rxyz 1 2\r" + crs + "lp 2 0\r\rgsi\r", {-229, -5}},
        {"lp 1 0\rp 3F8000000\r\r\rlp 2 0\r", {-21, 0, -9}},
        {"p 3F8000000\r\rq 3F8000000\r", {-13, 2}},  // fast values stay 15 ms apart
        {"p 3F8000000\r" + crs + "q 3F8000000\r", {-220, 0}},
        {"lp 1 0\r" + std::string(40000, '\r') + "lp 2 0\r", {-41673, 0}},  // more than the buffer holds
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(testing::PrintToString(r.block.substr(0, 40)));
        clock.advanceMs(1000);
        resetLikePollCycle(1, 1);
        ps.RecordState = 1;
        ps.ClearSlowBuffer();
        ps.ClearFastBuffer();
        feed(r.block);
        EXPECT_EQ(stampsOf(ps, clock.utcMs()), r.stamps);
    }
}

// A line complete just before the clock changed its UTC offset, read just after,
// shows the local time of its moment: 02:59:59 before 02:00:00 when summer time
// ends (not 01:59:59), 01:59:59 before 03:00:00 when it starts.
TEST_F(Interp, ALineReadAcrossAnOffsetChangeShowsTheClockOfItsMoment) {
    const struct {
        int before, after;  // UTC offsets in minutes
        SystemTime change;  // local time just before the change
    } rows[] = {{120, 60, {2026, 10, 0, 25, 2, 59, 59, 950}}, {60, 120, {2026, 3, 0, 29, 1, 59, 59, 950}}};
    for (const auto& r : rows) {
        SCOPED_TRACE(r.after);
        clock.setUtcOffsetMinutes(r.before);
        clock.set(r.change);
        clock.advanceMs(50);
        const int64_t changeUtc = clock.utcMs();
        clock.setUtcOffsetMinutes(r.after);
        clock.advanceMs(50);
        resetLikePollCycle(1, 1);
        feed("lp 1 0\r" + std::string(160, '\r'));  // 167 ms of bytes after it
        const MeasurementRecord& cm = ps.CurrentMeasurement;
        ASSERT_LT(cm.Instant, changeUtc);
        EXPECT_EQ(cm.SysTime, systemTimeFromAbsoluteMs(cm.Instant + r.before * 60000 + kUnixEpochAbsoluteMs));
    }
}

// The machine's clock finds a change of offset within a minute around a reading.
TEST(MachineClock, KnowsOfAnOffsetChangeNearItsReading) {
    const std::string was = getenv("TZ") ? getenv("TZ") : "";
    const bool hadZone = getenv("TZ") != nullptr;
    setenv("TZ", "Europe/Berlin", 1);
    tzset();
    const int64_t autumn = 1792890000000, spring = 1774746000000;  // 01:00 UTC, the changes of 2026
    const struct {
        int64_t readAt, stampAt;
        int hour, minute, second, ms;
    } rows[] = {
        {autumn + 30000, autumn - 100, 2, 59, 59, 900},        // read after the change, stamped before
        {autumn - 1000, autumn + 50, 2, 0, 0, 50},             // read before, stamped after
        {autumn + 30000, autumn + 29000, 2, 0, 29, 0},         // both after
        {spring + 30000, spring - 100, 1, 59, 59, 900},        // the hour that is skipped
        {spring - 1000, spring + 50, 3, 0, 0, 50},             //
        {autumn + 7200000, autumn + 7199900, 3, 59, 59, 900},  // far from any change
    };
    for (const auto& r : rows) {
        const SystemTime t = SystemClock::readingAt(r.readAt).localAt(r.stampAt);
        EXPECT_EQ(std::tuple(int(t.wHour), int(t.wMinute), int(t.wSecond), int(t.wMilliseconds)),
                  std::tuple(r.hour, r.minute, r.second, r.ms))
            << r.readAt << " " << r.stampAt;
    }
    if (hadZone)
        setenv("TZ", was.c_str(), 1);
    else
        unsetenv("TZ");
    tzset();
}

// A model of the wire: random blocks of value lines, empty lines, unknown keys
// and answers, read in random pieces with the clock moving on at least as fast
// as the line. Every sample lies within 100 ms after its own line's end, and
// the stamps of a stream never go back.
TEST_F(Interp, StampsStayWithinAFractionOfASecondOfEachLine) {
    std::mt19937 rng(27);
    const char* const pieces[] = {"p 3F8000000\r", "lp 650 0\r", "\r", "\r\r\r", "xyz 1 2\r", "gds 11203\r", " 7\r"};
    for (int script = 0; script < 200; ++script) {
        DeviceModule p(clock);
        p.KestroState.DevFunction = 1, p.KestroState.DevVariant = 1, p.RecordState = 1;
        std::string wire;
        std::vector<std::pair<size_t, int>> ends;  // value lines: the position after the CR, the stream (1 fast)
        for (int i = int(rng() % 120); i >= 0; --i) {
            const size_t k = rng() % 10 < 6 ? rng() % 2 : 2 + rng() % 5;
            for (int n = k == 0 && rng() % 8 == 0 ? 50 : 1; n > 0; --n) {  // now and then a long burst
                wire += pieces[k];
                if (k < 2) ends.emplace_back(wire.size(), k == 0);
            }
        }
        std::vector<int64_t> arrival[2];
        auto next = ends.begin();
        for (size_t from = 0, to; from < wire.size(); from = to) {
            to = std::min(wire.size(), from + 1 + rng() % 900);
            clock.advanceMs(int64_t(to - from) * 1000 / 960 + 1 + rng() % 300);  // never faster than the line
            for (; next != ends.end() && next->first <= to; ++next)
                arrival[next->second].push_back(clock.utcMs() - int64_t(to - next->first) * 1000 / 960);
            p.receiveEvent(std::string_view(wire).substr(from, to - from));
        }
        for (int fast : {0, 1}) {
            const auto& got = (fast ? p.FastBuffer : p.SlowBuffer).pending();
            ASSERT_EQ(got.size(), arrival[fast].size()) << script;
            for (size_t i = 0; i < got.size(); ++i) {
                const int64_t stamp = got[i].Sample.Instant, lead = stamp - arrival[fast][i];
                ASSERT_TRUE(lead >= 0 && lead <= 100) << script << " line " << i << " lead " << lead;
                ASSERT_GE(stamp, i ? got[i - 1].Sample.Instant : stamp) << script << " line " << i;
            }
        }
    }
}

// A reading whose status field does not fit keeps its level; an error reading
// always shows as an error, is never stored and rearms nothing. A number too
// large for its field is logged and stops the handler: the state stays.
TEST_F(Interp, ErrorReadingsAndNumbersThatDoNotFit) {
    struct Case {
        const char* line;
        int32_t errNo;
        int16_t watchdog;  // rearmed by a stored reading, or before the failing step
        int16_t level = 0, status = 0;
    };
    const Case cases[] = {
        {"lp 734 FFFFF\r", 0, 5, 734, 4},  // the previous status stays
        {"lp err 40000\r", 0, 0, -1, 4},
        {"lp err 3\r", 0, 0, -1, 3},
        {"LP ERR 7\r", 0, 0, -1, 7},
        {"leq err\r", 0, 0, -1, 0},
        {"smm 99999999999\r", kErrOverflow, 0},
        {"gso FFFFFFFFF\r", kErrOverflow, 0},  // 32 bits
        {"gso 80000000\r", kErrOverflow, 0},
        {"lp 99999999999 0\r", kErrOverflow, 0},
        {"lp 40000 0\r", kErrOverflow, 5},
        {"smm 40000\r", kErrOverflow, 5},
        {"temp 32768\r", kErrOverflow, 5},  // 16 bits
        {"grc 3 1.5\r", kErrSubscriptRange, 5},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        errors.clear();
        ps.ClearSlowBuffer();
        resetLikePollCycle(1, 1);
        ps.KestroState.DevLevelStatus = 4;
        ps.RecordState = 1;
        ps.AnswerWatchdog = 0;
        KestroStateRecord expected = ps.KestroState;
        if (!c.errNo) {
            expected.DevLevel = c.level;
            expected.DevLevelStatus = c.status;
            expected.DataValid = kValidLevel | kValidLevelStatus;
        }
        feed(c.line);
        const std::vector<LoggedError> logged{{": Interpreter: ", c.errNo}};
        EXPECT_EQ(errors, c.errNo ? logged : std::vector<LoggedError>{});
        EXPECT_EQ(ps.KestroState, expected);
        EXPECT_EQ(ps.AnswerWatchdog, c.watchdog);
        const bool stored = c.watchdog && !c.errNo;
        EXPECT_EQ(ps.SlowCount(), stored);
        EXPECT_EQ(ps.GetSlowRecord(1).Level, stored ? c.level : 0);
        expectDrained();
    }
    ps.setErrorLog([](const std::string&, int32_t) { throw std::runtime_error("disk full"); });
    EXPECT_NO_THROW(feed("grc 5 1\rlp 734 0\r"));  // a failing log does not escape either
    EXPECT_EQ(ps.KestroState.DevLevel, 734);
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

using Receive = ProtocolTest;
constexpr int kCap = DeviceModule::kRxCapacity;

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

// The module-side sample series: what the hand-off gets to see, in which series.
MeasurementRecord level(int16_t level) { return {kFlagLp, 46000.0 + level, {}, level, level * 10.0, 0, level * 1000}; }

// A script of operations: a digit adds that level, 'R' restarts, 'C' clears,
// 'T' is a hand-off that takes what waits. Expected: the hand-offs, as
// "series:index:level" words, and the counters at the end.
TEST(SampleSeries, PendingSamplesKeepTheirSeriesAndOrder) {
    struct Case {
        const char* script;
        const char* handedOff;
        int32_t count, recordNo;
    };
    const Case cases[] = {
        {"1 2 T 3 T", "1:1:1 1:2:2 | 1:3:3 |", 3, 1},
        {"R 1 2 R 3 T", "1:1:1 1:2:2 2:1:3 |", 1, 2},  // two series in one tick: both handed off
        {"1 T R R 2 T", "1:1:1 | 2:1:2 |", 1, 2},      // a double restart is still one new series
        {"1 2 C 3 T", "2:1:3 |", 1, 2},                // after a clear the next sample opens a series
        {"1 C C T", "|", 0, 1},
        {"R T", "|", 0, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.script);
        SampleSeries s(false);
        std::vector<SampleSeries::Entry> taken;
        std::string out;
        for (const char* p = c.script; *p; ++p) {
            if (*p == 'R') s.restart();
            if (*p == 'C') s.clear();
            if (*p >= '0' && *p <= '9') s.add(level(int16_t(*p - '0')));
            if (*p != 'T') continue;
            s.takePending(taken);
            for (const auto& e : taken)
                out += std::to_string(e.RecordNo) + ":" + std::to_string(e.Index) + ":" +
                       std::to_string(e.Sample.Level) + " ";
            out += "| ";
        }
        out.pop_back();
        EXPECT_EQ(out, c.handedOff);
        EXPECT_EQ(s.Count, c.count);
        EXPECT_EQ(s.RecordNo, c.recordNo);
    }
}

// Element 0 is the header of the series (the fast one carries FastLevel, the
// slow one Level); the first and the last sample stay after the hand-off, the
// samples between them only while they wait.
TEST(SampleSeries, HeaderFirstAndLastSurviveTheHandOff) {
    SampleSeries slow(false), fast(true);
    std::vector<SampleSeries::Entry> taken;
    for (int16_t i = 1; i <= 5; ++i) {
        slow.add(level(i));
        fast.add(level(i));
        if (i == 3) slow.takePending(taken);
    }
    MeasurementRecord header;
    header.Flags = kFlagLp, header.Timestamp = 46001.0, header.Instant = 1000;
    MeasurementRecord slowHeader = header, fastHeader = header;
    slowHeader.Level = 1;
    fastHeader.FastLevel = 10.0;
    EXPECT_EQ(slow.get(0), slowHeader);
    EXPECT_EQ(fast.get(0), fastHeader);
    EXPECT_EQ(slow.get(0).Instant, 1000);
    // 2 and 3 were handed off and let go; nothing outside 1..Count.
    for (const auto& [n, level] : {std::pair{-1, 0}, {1, 1}, {2, 0}, {3, 0}, {4, 4}, {5, 5}, {6, 0}})
        EXPECT_EQ(slow.get(n).Level, level) << n;
    EXPECT_EQ(fast.get(3), level(3)) << "still waiting";
    fast.clear();
    EXPECT_EQ(fast.get(0), MeasurementRecord{});
    EXPECT_EQ(fast.add(level(8)), 1);
    EXPECT_EQ(fast.get(0).FastLevel, 80.0);
}

}  // namespace
}  // namespace kestro::test
