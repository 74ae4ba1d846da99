// The module-side sample series: what the hand-off gets to see, in which series.

#include "protocol/SampleSeries.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

namespace kestro {
namespace {

MeasurementRecord level(int16_t level) {
    MeasurementRecord r;
    r.Flags = kFlagLp;
    r.Level = level;
    r.FastLevel = level * 10.0;
    r.Timestamp = 46000.0 + level;
    r.Instant = level * 1000;
    return r;
}

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
}  // namespace kestro
