// The module-side sample series: what the hand-off gets to see, in which series.

#include "protocol/SampleSeries.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace kestro {
namespace {

MeasurementRecord Level(int16_t level) {
    MeasurementRecord r;
    r.Flags = kFlagLp;
    r.Level = level;
    r.Timestamp = 46000.0 + level;
    r.Instant = level * 1000;
    return r;
}

// A script of operations: a number adds that level, 'R' restarts, 'C' clears,
// 'T' is a hand-off that takes what waits. Expected: the hand-offs, as
// "series:index:level" words, and the counters at the end.
TEST(SampleSeries, PendingSamplesKeepTheirSeriesAndOrder) {
    struct Case {
        const char* script;
        const char* handedOff;
        int32_t count, recordNo;
    };
    const Case cases[] = {
        {"1 2 T 3", "1:1:1 1:2:2 |", 3, 1},
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
            if (*p == ' ') continue;
            if (*p == 'R') {
                s.Restart();
            } else if (*p == 'C') {
                s.Clear();
            } else if (*p == 'T') {
                s.TakePending(taken);
                for (const auto& e : taken)
                    out += std::to_string(e.RecordNo) + ":" + std::to_string(e.Index) + ":" +
                           std::to_string(e.Sample.Level) + " ";
                out += "| ";
            } else {
                s.Add(Level(int16_t(*p - '0')));
            }
        }
        if (!out.empty()) out.pop_back();
        EXPECT_EQ(out, c.handedOff);
        EXPECT_EQ(s.Count, c.count);
        EXPECT_EQ(s.RecordNo, c.recordNo);
    }
}

TEST(SampleSeries, HeaderFirstAndLastSurviveTheHandOff) {
    SampleSeries slow(false), fast(true);
    std::vector<SampleSeries::Entry> taken;
    for (int16_t i = 1; i <= 5; ++i) {
        MeasurementRecord r = Level(i);
        r.FastLevel = i * 10.0;
        slow.Add(r);
        fast.Add(r);
        if (i == 3) slow.TakePending(taken);
    }
    EXPECT_EQ(slow.Get(0).Level, 1);
    EXPECT_EQ(slow.Get(0).FastLevel, 0.0) << "the slow header carries the level only";
    EXPECT_EQ(fast.Get(0).FastLevel, 10.0);
    EXPECT_EQ(fast.Get(0).Level, 0);
    EXPECT_EQ(slow.Get(0).Instant, 1000);
    EXPECT_EQ(slow.Get(1).Level, 1);
    EXPECT_EQ(slow.Get(2).Level, 0) << "handed off and let go";
    EXPECT_EQ(slow.Get(4).Level, 4) << "still waiting";
    EXPECT_EQ(slow.Get(5).Level, 5);
    EXPECT_EQ(slow.Get(6).Level, 0);
    EXPECT_EQ(slow.Get(-1).Level, 0);
}

}  // namespace
}  // namespace kestro
