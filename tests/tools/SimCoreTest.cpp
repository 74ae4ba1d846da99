// The simulator's output queue and encoders in-process, on a simulated clock.
#include "Instrument.h"
#include "OutputQueue.h"
#include "SimOptions.h"
#include "SimStats.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

using namespace kestrosim;

namespace {

SimLine line(const std::string& text) { return SimLine{text.substr(0, text.find(' ')), text, true}; }

TEST(SimQueue, StalledReaderCostsWholeLinesNeverTornOnes) {
    int p[2];
    ASSERT_EQ(pipe2(p, O_NONBLOCK), 0);
    fcntl(p[1], F_SETPIPE_SZ, 4096);
    OutputQueue q({20, false, false}, 1);
    std::string sentBytes, received;
    std::uint64_t pushed = 0, sentLines = 0;
    const auto write = [&](const char* b, std::size_t n) {
        return ::write(p[1], b, n);
    };
    const auto sent = [&](const SimLine& l, double) {
        sentBytes += l.text + '\r', ++sentLines;
    };
    OutputQueue::Result last = OutputQueue::Result::Idle;
    for (int i = 0; i < 2000; ++i, ++pushed) {
        q.push(line("p 49C35000" + std::to_string(i % 10)));
        last = q.service(i, write, sent);
        ASSERT_LE(q.lines(), 20u);
        ASSERT_EQ(sentLines + q.dropped() + q.lines(), pushed + 1);
    }
    EXPECT_EQ(last, OutputQueue::Result::Blocked);
    EXPECT_GT(q.dropped(), 0u);
    EXPECT_LE(q.bytesOut(), static_cast<std::uint64_t>(fcntl(p[1], F_GETPIPE_SZ)));
    // The reader wakes up: the partly written head line completes, the stream is whole lines.
    for (int round = 0; round < 100 && (q.lines() > 0 || received.size() < q.bytesOut()); ++round) {
        char buf[8192];
        for (ssize_t n; (n = ::read(p[0], buf, sizeof buf)) > 0;)
            received.append(buf, static_cast<std::size_t>(n));
        q.service(3000 + round, write, sent);
    }
    EXPECT_EQ(q.lines(), 0u);
    EXPECT_EQ(received, sentBytes);
    close(p[0]);
    close(p[1]);
}

TEST(SimQueue, PacingAndSplittingOnASimulatedClock) {
    struct Case {
        bool lineRate, split;
    };
    for (const Case c : {Case{true, false}, Case{true, true}, Case{false, true}}) {
        SCOPED_TRACE(c.lineRate * 2 + c.split);
        OutputQueue q({1000, c.lineRate, c.split}, 42);
        std::vector<std::pair<double, std::size_t>> writes;  // time, bytes
        std::string stream, expect;
        std::size_t sentCount = 0;
        const std::string text = "lp 734 0";  // 9 bytes with CR
        for (int i = 0; i < 300; ++i)
            q.push(line(text));
        double now = 0;
        const auto write = [&](const char* b, std::size_t n) {
            writes.emplace_back(now, n);
            stream.append(b, n);
            return static_cast<ssize_t>(n);
        };
        const auto sent = [&](const SimLine& l, double) {
            expect += l.text + '\r', ++sentCount;
        };
        for (; now <= 2000 && q.lines() > 0; now += 0.5) {
            const double wake = q.nextWakeMs(now);
            ASSERT_GE(wake, now);
            if (wake <= now) q.service(now, write, sent);
        }
        // The stream is the lines in order; a line in progress at the end is a prefix of the next.
        ASSERT_EQ(stream.substr(0, expect.size()), expect);
        const std::string tail = stream.substr(expect.size());
        EXPECT_EQ(tail, (text + '\r').substr(0, tail.size()));
        EXPECT_LT(tail.size(), text.size() + 1);
        EXPECT_TRUE(!c.split || writes.size() > sentCount * 3 / 2) << "lines were not split";
        if (!c.lineRate) continue;
        // Over any second, no more than 960 bytes plus the small burst allowance.
        std::size_t window = 0;
        for (std::size_t lo = 0, hi = 0; hi < writes.size(); ++hi) {
            window += writes[hi].second;
            while (writes[hi].first - writes[lo].first >= 1000.0)
                window -= writes[lo++].second;
            ASSERT_LE(window, 960u + 16u) << "at " << writes[hi].first << " ms";
        }
        if (!c.split) {
            EXPECT_GE(q.bytesOut(), 1900u);
            EXPECT_LE(q.bytesOut(), 1920u + 16u);
        }
    }
}

// Three meters with one seed hear one sound. Selecting a function (again)
// starts a new measurement at the next reading: nothing of the old one is sent,
// the new one begins at the level of that reading, and MAX-Hold holds the
// highest reading since.
TEST(SimInstrument, ANewMeasurementBeginsAtTheNextReading) {
    auto value = [](const std::optional<SimLine>& l) {
        return l ? std::stoi(l->text.substr(l->text.find(' ') + 1)) : -1;
    };
    InstrumentConfig cfg;
    cfg.faults = false;
    cfg.readingPeriodS = 0.25;
    Instrument lp(cfg, 5);
    cfg.function = 2;
    Instrument leq(cfg, 5);
    cfg.function = 3;
    Instrument max(cfg, 5);
    // Values are sent a moment after their reading.
    for (double t = 0.251; t <= 10.0; t += 0.25) {
        lp.slowLine(t);
        leq.slowLine(t);
        max.slowLine(t);
    }
    leq.command("swm 2", 10.1);
    max.command("swm 3", 10.1);
    EXPECT_FALSE(leq.slowLine(10.2).has_value());
    EXPECT_FALSE(max.slowLine(10.2).has_value());
    int highest = value(lp.slowLine(10.251));
    EXPECT_EQ(value(leq.slowLine(10.251)), highest);
    EXPECT_EQ(value(max.slowLine(10.251)), highest);
    for (double t = 10.501; t <= 40.0; t += 0.25) {
        highest = std::max(highest, value(lp.slowLine(t)));
        ASSERT_EQ(value(max.slowLine(t)), highest) << t;
    }
}

TEST(SimEncoding, FloatFieldAndStatsEscapes) {
    const std::pair<float, const char*> floats[] = {
        {1.0f, "3F800000"}, {1600000.0f, "49C35000"}, {0.1f, "3DCCCCCD"}, {-2.5f, "C0200000"}};
    for (const auto& [v, hex] : floats)
        EXPECT_EQ(floatHex(v), hex) << v;
    SimStats s;
    for (const char* c : {"gds", "gds\n", "a\\b\x01"})
        s.command(c);
    for (const char* k : {"p", "p", "lp"})
        s.sent(k);
    EXPECT_EQ(s.render(4, 99),
              "cmd gds\ncmd gds\\x0A\ncmd a\\x5Cb\\x01\n"
              "sent lp 1\nsent leq 0\nsent max 0\nsent p 2\nsent q 0\nsent r 0\nsent gdv 0\n"
              "dropped 4\nbytes_out 99\n");
}

// A scripted burst: the level of the burst while it lasts, the background
// before and after it; bursts may be given more than once.
TEST(SimInstrument, ScriptedBurstsAreHeardWhileTheyLast) {
    SimOptions o;
    const char* argv[] = {"kestro-sim", "--burst", "3:4:104", "--burst=20:1:90"};
    ASSERT_EQ(parseOptions(4, argv, o), "");
    ASSERT_EQ(o.bursts.size(), 2u);
    EXPECT_EQ(o.bursts[1].atS, 20.0);
    for (const char* bad : {"--burst=3:4", "--burst=3:4:150", "--burst=-1:4:90", "--burst=a:4:90", "--burst=3::90"}) {
        const char* args[] = {"kestro-sim", bad};
        EXPECT_NE(parseOptions(2, args, o), "") << bad;
    }
    Instrument m(InstrumentConfig{1, 1, 2, 3, false, false, 1.0, 94.0, 0.0, {o.bursts[0]}}, 7);
    auto level = [&](double t) {
        return std::stoi(m.slowLine(t)->text.substr(3)) / 10.0;
    };
    EXPECT_LT(level(2.9), 95.0);
    for (double t : {4.0, 5.0, 6.9})
        EXPECT_NEAR(level(t), 104.0, 1.5) << t;
    EXPECT_LT(level(9.0), 95.0);
}

// Calibration reads the calibrator's level, drifting by the given dB per
// minute, never an error reading; SIGUSR2's toggle returns to the function before.
TEST(SimInstrument, CalibrationReadsTheCalibratorAndDrifts) {
    SimOptions o;
    const char* argv[] = {"kestro-sim", "--function", "4", "--cal-level", "94.0", "--cal-drift=1.2"};
    ASSERT_EQ(parseOptions(6, argv, o), "");
    for (const char* bad : {"--cal-level=abc", "--cal-level=150", "--cal-drift=-11"}) {
        const char* args[] = {"kestro-sim", bad};
        EXPECT_NE(parseOptions(2, args, o), "") << bad;
    }
    Instrument m(InstrumentConfig{1, o.function, 2, 3, true, false, 1.0, o.calLevel, o.calDrift}, 7);
    for (int i = 0; i < 200; ++i)
        ASSERT_EQ(m.slowLine(1.01 + i * 0.001)->text, "cal 940 0");
    EXPECT_EQ(m.slowLine(60.0)->text, "cal 952 0");
    EXPECT_EQ(m.command("gds", 60.0)[0].text.substr(0, 6), "gds 42");
    m.toggleCalibration();
    EXPECT_EQ(m.slowLine(61.5)->key, "lp");
    m.command("swm 3", 61.5);
    m.toggleCalibration();
    EXPECT_EQ(m.slowLine(62.5)->key, "cal");
    m.toggleCalibration();
    EXPECT_EQ(m.function(), 3);
}

}  // namespace
