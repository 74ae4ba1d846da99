// The simulator's parts in-process, on a simulated clock.
#include "Instrument.h"
#include "OutputQueue.h"
#include "SimStats.h"

#include <cerrno>
#include <cmath>
#include <fcntl.h>
#include <regex>
#include <unistd.h>

#include <gtest/gtest.h>

using namespace kestrosim;

namespace {

SimLine line(const std::string& text)
{
    return SimLine{text.substr(0, text.find(' ')), text, true};
}

TEST(SimQueue, StalledReaderCostsWholeLinesNeverTornOnes)
{
    int p[2];
    ASSERT_EQ(pipe2(p, O_NONBLOCK), 0);
    fcntl(p[1], F_SETPIPE_SZ, 4096);
    const int capacity = fcntl(p[1], F_GETPIPE_SZ);

    OutputQueue q({20, false, false}, 1);
    std::string sentBytes;
    int pushed = 0;
    int sentLines = 0;
    const auto write = [&](const char* b, std::size_t n) { return ::write(p[1], b, n); };
    const auto sent = [&](const SimLine& l, double) {
        sentBytes += l.text + '\r';
        ++sentLines;
    };

    OutputQueue::Result last = OutputQueue::Result::Idle;
    for (int i = 0; i < 2000; ++i) {
        q.push(line("p 49C35000" + std::to_string(i % 10)));
        ++pushed;
        last = q.service(i, write, sent);
        ASSERT_LE(q.lines(), 20u);
        ASSERT_EQ(static_cast<std::uint64_t>(sentLines) + q.dropped() + q.lines(), static_cast<std::uint64_t>(pushed));
    }
    EXPECT_EQ(last, OutputQueue::Result::Blocked);
    EXPECT_GT(q.dropped(), 0u);
    EXPECT_LE(q.bytesOut(), static_cast<std::uint64_t>(capacity));

    // The reader wakes up: everything still queued arrives, and the byte stream is whole lines.
    std::string received;
    for (int round = 0; round < 100 && (q.lines() > 0 || received.size() < q.bytesOut()); ++round) {
        char buf[8192];
        ssize_t n;
        while ((n = ::read(p[0], buf, sizeof buf)) > 0)
            received.append(buf, static_cast<std::size_t>(n));
        q.service(3000 + round, write, sent);
    }
    EXPECT_EQ(q.lines(), 0u);
    EXPECT_EQ(received.size(), q.bytesOut());
    // The head line may have been partly written when the pipe filled; it still completes.
    EXPECT_EQ(received, sentBytes);
    close(p[0]);
    close(p[1]);
}

TEST(SimQueue, PacingAndSplittingOnASimulatedClock)
{
    struct Case { bool lineRate; bool split; };
    for (const Case c : {Case{true, false}, Case{true, true}, Case{false, true}}) {
        OutputQueue q({1000, c.lineRate, c.split}, 42);
        std::vector<std::pair<double, std::size_t>> writes;  // time, bytes
        std::string stream;
        std::vector<std::string> sentTexts;
        const std::string text = "lp 734 0";  // 9 bytes with CR
        for (int i = 0; i < 300; ++i)
            q.push(line(text));
        double now = 0;
        double tWrite = 0;
        const auto write = [&](const char* b, std::size_t n) {
            writes.emplace_back(tWrite, n);
            stream.append(b, n);
            return static_cast<ssize_t>(n);
        };
        const auto sent = [&](const SimLine& l, double) { sentTexts.push_back(l.text); };
        for (now = 0; now <= 2000 && q.lines() > 0; now += 0.5) {
            tWrite = now;
            const double wake = q.nextWakeMs(now);
            ASSERT_GE(wake, now);
            if (wake <= now)
                q.service(now, write, sent);
        }
        // Whatever the pieces, the stream is the lines in order.
        std::string expect;
        for (const auto& t : sentTexts)
            expect += t + '\r';
        // A line still in progress when the clock stops is a prefix of the next one.
        ASSERT_EQ(stream.substr(0, expect.size()), expect);
        const std::string tail = stream.substr(expect.size());
        EXPECT_EQ(tail, (text + '\r').substr(0, tail.size()));
        EXPECT_LT(tail.size(), text.size() + 1);
        for (const auto& t : sentTexts)
            ASSERT_EQ(t, text);

        if (c.split) {
            EXPECT_GT(writes.size(), sentTexts.size() * 3 / 2) << "lines were not split";
        }
        if (c.lineRate) {
            // Over any second, no more than 960 bytes plus the small burst allowance.
            std::size_t window = 0;
            std::size_t lo = 0;
            for (std::size_t hi = 0; hi < writes.size(); ++hi) {
                window += writes[hi].second;
                while (writes[hi].first - writes[lo].first >= 1000.0)
                    window -= writes[lo++].second;
                ASSERT_LE(window, 960u + 16u) << "at " << writes[hi].first << " ms";
            }
            if (!c.split) {
                const std::size_t inTwoSeconds = q.bytesOut();
                EXPECT_GE(inTwoSeconds, 1900u);
                EXPECT_LE(inTwoSeconds, 1920u + 16u);
            }
        }
    }
}

TEST(SimQueue, DropAllCountsWhatWasQueued)
{
    OutputQueue q({5, false, false}, 1);
    for (int i = 0; i < 8; ++i)
        q.push(line("lp 500 0"));
    EXPECT_EQ(q.dropped(), 3u);
    q.dropAll();
    EXPECT_EQ(q.dropped(), 8u);
    EXPECT_EQ(q.lines(), 0u);
    EXPECT_LT(q.nextWakeMs(0), 0);
}

struct RunStats {
    int lines = 0, errs = 0, over = 0, under = 0;
    int minTenths = 100000, maxTenths = -1;
    bool maxNeverFell = true;
};

// Thirty simulated minutes of one slow value per second.
RunStats runSlow(int function, int range, bool faults, std::uint64_t seed)
{
    InstrumentConfig cfg;
    cfg.function = function;
    cfg.range = range;
    cfg.faults = faults;
    Instrument inst(cfg, seed);
    RunStats s;
    int lastMax = -1;
    const std::regex re(R"(^(lp|leq|max) (\d+|err) ([0-9A-F])$)");
    for (int t = 1; t <= 1800; ++t) {
        const auto l = inst.slowLine(t);
        if (!l)
            continue;
        std::smatch m;
        if (!std::regex_match(l->text, m, re)) {
            ADD_FAILURE() << l->text;
            continue;
        }
        ++s.lines;
        if (m[2] == "err") {
            ++s.errs;
            continue;
        }
        const int status = std::stoi(m[3], nullptr, 16);
        s.over += (status & 12) ? 1 : 0;
        s.under += (status & 3) ? 1 : 0;
        const int v = std::stoi(m[2]);
        s.minTenths = std::min(s.minTenths, v);
        s.maxTenths = std::max(s.maxTenths, v);
        if (function == 3 && v < lastMax)
            s.maxNeverFell = false;
        lastMax = std::max(lastMax, v);
    }
    return s;
}

TEST(SimInstrument, LevelsStayInTheRangeBracketWithoutFaults)
{
    for (int range = 1; range <= 3; ++range) {
        for (int function = 1; function <= 3; ++function) {
            const RunStats s = runSlow(function, range, false, 100 + range);
            EXPECT_EQ(s.lines, 1800);
            EXPECT_EQ(s.errs + s.over + s.under, 0) << "range " << range << " function " << function;
            EXPECT_GE(s.minTenths, Instrument::rangeLowDb(range) * 10);
            EXPECT_LE(s.maxTenths, Instrument::rangeHighDb(range) * 10);
            if (function == 3) {
                EXPECT_TRUE(s.maxNeverFell) << "range " << range;
            }
        }
    }
}

TEST(SimInstrument, FaultsShowUpNowAndThen)
{
    struct Case { int range; bool expectOver; bool expectUnder; };
    for (const Case c : {Case{1, true, false}, Case{2, true, true}, Case{3, false, true}}) {
        const RunStats s = runSlow(1, c.range, true, 7);
        EXPECT_GT(s.errs, 0) << "range " << c.range;
        EXPECT_LT(s.errs, s.lines / 20) << "range " << c.range;
        if (c.expectOver) {
            EXPECT_GT(s.over, 0) << "range " << c.range;
        }
        if (c.expectUnder) {
            EXPECT_GT(s.under, 0) << "range " << c.range;
        }
        EXPECT_LT(s.over, s.lines / 2) << "range " << c.range;
    }
    // The plain Lp curve: a quiet background with louder bursts.
    const RunStats lp = runSlow(1, 2, false, 9);
    EXPECT_LT(lp.minTenths, 560);
    EXPECT_GT(lp.maxTenths, 750);
}

TEST(SimInstrument, RunningMeasurementsLatchTheirOverflow)
{
    // MAX-Hold in the 30-90 range: once a burst went over the top, the latched state stays.
    InstrumentConfig cfg;
    cfg.function = 3;
    cfg.range = 1;
    Instrument inst(cfg, 21);
    bool seenOver = false;
    for (int t = 1; t <= 1800; ++t) {
        const auto l = inst.slowLine(t);
        ASSERT_TRUE(l);
        const int status = std::stoi(l->text.substr(l->text.size() - 1), nullptr, 16);
        if (seenOver) {
            ASSERT_EQ(status & 8, 8) << "latched overflow lost at " << t << " s: " << l->text;
        }
        seenOver = seenOver || (status & 12);
    }
    EXPECT_TRUE(seenOver);
}

TEST(SimInstrument, FloatFieldIsBigEndianSinglePrecision)
{
    const std::pair<float, const char*> cases[] = {
        {1.0f, "3F800000"}, {1600000.0f, "49C35000"}, {0.1f, "3DCCCCCD"}, {-2.5f, "C0200000"}};
    for (const auto& [v, hex] : cases)
        EXPECT_EQ(floatHex(v), hex) << v;
}

TEST(SimStatsFormat, CommandsAreOneLineEachAndCountsComplete)
{
    SimStats s;
    s.command("gds");
    s.command("gds\n");
    s.command("a\\b\x01");
    s.sent("p");
    s.sent("p");
    s.sent("lp");
    EXPECT_EQ(s.render(4, 99),
              "cmd gds\n"
              "cmd gds\\x0A\n"
              "cmd a\\x5Cb\\x01\n"
              "sent lp 1\nsent leq 0\nsent max 0\nsent p 2\nsent q 0\nsent r 0\nsent gdv 0\n"
              "dropped 4\nbytes_out 99\n");
}

}  // namespace
