// The simulator in-process, on a simulated clock: its output queue, its answers and state, its encoders.
#include "Instrument.h"
#include "OutputQueue.h"
#include "SimOptions.h"
#include "SimStats.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>
#include <cmath>
#include <cstring>
#include <regex>
#include <set>

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
    for (double t = 0.251; t <= 10.0; t += 0.25)
        for (Instrument* m : {&lp, &leq, &max})
            m->slowLine(t);
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
// before and after it; bursts may be given more than once. Values out of range
// of the burst and the calibrator options are refused.
TEST(SimInstrument, ScriptedBurstsAreHeardWhileTheyLast) {
    SimOptions o;
    const char* argv[] = {"kestro-sim", "--burst", "3:4:104", "--burst=20:1:90"};
    ASSERT_EQ(parseOptions(4, argv, o), "");
    ASSERT_EQ(o.bursts.size(), 2u);
    EXPECT_EQ(o.bursts[1].atS, 20.0);
    for (const char* bad : {"--burst=3:4", "--burst=3:4:150", "--burst=-1:4:90", "--burst=a:4:90", "--burst=3::90",
                            "--cal-level=abc", "--cal-level=150", "--cal-drift=-11"}) {
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

// Every command's answer byte for byte, upper-case keys on both sides.
TEST(SimInstrument, AnswersEveryCommand) {
    InstrumentConfig cfg;
    cfg.serial = 87654321;
    const std::pair<const char*, const char*> cases[] = {
        {"gsn", "gsn 87654321"},
        {"gds", "gds 11203"},
        {"GDS", "gds 11203"},
        {"SMM 0", "smm 0"},
        {"awm 0", "awm 0"},
        {"saa 4", "saa 4"},
        {"sso 12", "sso 12"},
        {"gdi", "gdi"},
        {"gsi", "gsi"},
        {"ldk 3", "ldk"},
        {"LDK 0", "ldk"},
        {"sw-rev", "sw-rev V1.23"},
        {"grc 0", "grc 0 1.0000"},
        {"grc 3", "?"},
        {"swm 1", "swm 1"},
        {"swm ", "swm 1"},
        {"smr 2", "smr 2"},
        {"smm x", "?"},
        {"awm 7", "?"},
        {"xyz 12", "?"},
        {"gds\n", "?"},
    };
    Instrument m(cfg, 7);
    for (const auto& [command, answer] : cases) {
        const std::vector<SimLine> got = m.command(command, 1.0);
        ASSERT_EQ(got.size(), 1u) << command;
        EXPECT_EQ(got[0].text, answer) << command;
    }
    const std::string gdv = m.command("gdv", 1.0).at(0).text;
    std::smatch v;
    ASSERT_TRUE(std::regex_match(gdv, v, std::regex(R"(^gdv (\d+) ([0-9A-F])$)"))) << gdv;
    EXPECT_GE(std::stoi(v[1]), 500);  // range 2 brackets 50..110 dB
    EXPECT_LE(std::stoi(v[1]), 1100);
    cfg.upper = true;
    Instrument upper(cfg, 2);
    for (const auto& [cmd, answer] : {std::pair{"gsn", "GSN 87654321"}, {"sw-rev", "SW-REV V1.23"}, {"ldk 3", "LDK"}})
        EXPECT_EQ(upper.command(cmd, 1.0).at(0).text, answer);
    EXPECT_TRUE(std::regex_match(upper.slowLine(5.0)->text, std::regex(R"(^LP (\d+|err) [0-9A-F]$)")));
}

// What the function, range and key commands leave in the status word, which
// slow key follows, and the fast values only while armed.
TEST(SimInstrument, FunctionRangeAndArming) {
    InstrumentConfig cfg;
    cfg.faults = false;
    Instrument m(cfg, 5);
    const struct {
        const char* command;
        const char* gds;  // nullptr: AUTO, the settled range in the low bits
        const char* slow;
    } steps[] = {
        {"swm 2", "gds 22203", "leq"}, {"swm 3", "gds 32203", "max"},
        {"swm 1", "gds 11203", "lp"},  {"swm 4", "gds 11203", "lp"},  // calibration cannot be entered remotely
        {"swm", "gds 11203", "lp"},    {"swm 3", "gds 32203", "max"},
        {"swm 0", "gds 11203", "lp"},  // the power key: back to Lp
        {"smr 3", "gds 11303", "lp"},  {"smr 1", "gds 11103", "lp"},
        {"smr 9", "gds 11103", "lp"},  {"sks 5", "gds 11153", "lp"},
        {"ldk 3", "gds 11133", "lp"},  {"LDK 0", "gds 11103", "lp"},
        {"smr 0", nullptr, "lp"},
    };
    double t = 1.0;
    for (const auto& s : steps) {
        m.command(s.command, t);
        const std::string gds = m.command("gds", t).at(0).text;
        EXPECT_TRUE(s.gds ? gds == s.gds : std::regex_match(gds, std::regex("gds 11[567]03"))) << s.command << gds;
        std::set<std::string> keys;
        for (const double end = t + 3.0; t < end; t += 0.25)
            if (const auto l = m.slowLine(t)) keys.insert(l->key);
        EXPECT_EQ(keys, std::set<std::string>{s.slow}) << s.command;
    }
    EXPECT_FALSE(m.fastLine(t)) << "fast values before awm 1";
    for (const auto& [command, key, dbPerDecade] :
         {std::tuple{"awm 1", "p", 10.0}, {"swm 2", "q", 10.0}, {"swm 3", "r", 20.0}}) {
        m.command(command, t);
        for (int i = 0; i < 20; ++i, t += 0.05) {
            const auto l = m.fastLine(t);
            std::smatch f;
            ASSERT_TRUE(l && std::regex_match(l->text, f, std::regex(R"(^([pqr]) ([0-9A-F]{8})0$)"))) << command;
            EXPECT_EQ(f[1], key);
            const auto bits = std::uint32_t(std::stoul(f[2], nullptr, 16));
            float level = 0;
            std::memcpy(&level, &bits, sizeof level);
            EXPECT_GE(dbPerDecade * std::log10(level), 49.9) << l->text;  // range 2: 50..110 dB
            EXPECT_LE(dbPerDecade * std::log10(level), 110.1) << l->text;
        }
    }
    m.command("awm 0", t);
    EXPECT_FALSE(m.fastLine(t + 0.05)) << "fast value after awm 0";
}

}  // namespace
