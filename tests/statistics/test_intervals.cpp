// Interval alignment, partial intervals, midnight, clock changes and the clock advance.
#include "StatTestSupport.h"
#include "statistics/IntervalEngine.h"

#include <gtest/gtest.h>

#include <cmath>
#include <tuple>
#include <vector>

namespace kestro {
namespace {

struct Row {
    ResultKind kind;
    int64_t start, end, samples;
};

class Engine : public ::testing::Test {
protected:
    void SetUp() override {
        e.onResult = [this](const IntervalResult& r) {
            out.push_back(r);
        };
    }
    void expect(const std::vector<Row>& rows) {
        ASSERT_EQ(out.size(), rows.size());
        for (size_t i = 0; i < rows.size(); ++i)
            EXPECT_EQ(std::tuple(out[i].kind, out[i].startMs, out[i].endMs, out[i].samples),
                      std::tuple(rows[i].kind, rows[i].start, rows[i].end, rows[i].samples))
                << "row " << i;
    }
    IntervalEngine e;
    std::vector<IntervalResult> out;
};

constexpr auto I = ResultKind::Interval;
constexpr auto S = ResultKind::Series;

// Where intervals begin and end: the first and the last are partial, midnight
// and clock changes end one, a sample stamped a little early stays in it.
TEST_F(Engine, IntervalEdges) {
    struct Samples {
        int64_t from, to, stepMs;
    };
    const struct {
        const char* what;
        int32_t seconds;
        std::vector<Samples> in;
        std::vector<Row> rows;  // the intervals; the series follows
    } cases[] = {
        {"partial first and last",
         900,
         {{localMs(2026, 3, 5, 14, 3, 27, 250), localMs(2026, 3, 5, 14, 47, 10, 250), 1000}},
         {{I, localMs(2026, 3, 5, 14, 3, 27, 250), localMs(2026, 3, 5, 14, 15, 0), 693},
          {I, localMs(2026, 3, 5, 14, 15, 0), localMs(2026, 3, 5, 14, 30, 0), 900},
          {I, localMs(2026, 3, 5, 14, 30, 0), localMs(2026, 3, 5, 14, 45, 0), 900},
          {I, localMs(2026, 3, 5, 14, 45, 0), localMs(2026, 3, 5, 14, 47, 10, 250), 131}}},
        {"midnight",
         60,
         {{localMs(2026, 12, 31, 23, 59, 30), localMs(2027, 1, 1, 0, 0, 30), 1000}},
         {{I, localMs(2026, 12, 31, 23, 59, 30), localMs(2027, 1, 1, 0, 0, 0), 30},
          {I, localMs(2027, 1, 1, 0, 0, 0), localMs(2027, 1, 1, 0, 0, 30), 31}}},
        // 03:00 summer time becomes 02:00 winter time: the hour from 02:00 comes twice.
        {"daylight saving time ends",
         900,
         {{localMs(2026, 10, 25, 2, 40, 0), localMs(2026, 10, 25, 2, 59, 30), 30000},
          {localMs(2026, 10, 25, 2, 0, 0), localMs(2026, 10, 25, 2, 20, 0), 30000}},
         {{I, localMs(2026, 10, 25, 2, 40, 0), localMs(2026, 10, 25, 2, 45, 0), 10},
          {I, localMs(2026, 10, 25, 2, 45, 0), localMs(2026, 10, 25, 3, 0, 0), 30},
          {I, localMs(2026, 10, 25, 2, 0, 0), localMs(2026, 10, 25, 2, 15, 0), 30},
          {I, localMs(2026, 10, 25, 2, 15, 0), localMs(2026, 10, 25, 2, 20, 0), 11}}},
        {"the repeated hour in hourly intervals",
         3600,
         {{localMs(2026, 10, 25, 2, 40, 0), localMs(2026, 10, 25, 2, 59, 30), 30000},
          {localMs(2026, 10, 25, 2, 0, 0), localMs(2026, 10, 25, 2, 20, 0), 30000}},
         {{I, localMs(2026, 10, 25, 2, 40, 0), localMs(2026, 10, 25, 3, 0, 0), 40},
          {I, localMs(2026, 10, 25, 2, 0, 0), localMs(2026, 10, 25, 2, 20, 0), 41}}},
        // 02:00 winter time becomes 03:00 summer time: no hour 02.
        {"daylight saving time begins",
         900,
         {{localMs(2026, 3, 29, 1, 50, 0), localMs(2026, 3, 29, 1, 59, 30), 30000},
          {localMs(2026, 3, 29, 3, 0, 0), localMs(2026, 3, 29, 3, 10, 0), 30000}},
         {{I, localMs(2026, 3, 29, 1, 50, 0), localMs(2026, 3, 29, 2, 0, 0), 20},
          {I, localMs(2026, 3, 29, 3, 0, 0), localMs(2026, 3, 29, 3, 10, 0), 21}}},
        {"stamping jitter",
         60,
         {{localMs(2026, 3, 5, 14, 0, 59, 990), localMs(2026, 3, 5, 14, 0, 59, 990), 1},
          {localMs(2026, 3, 5, 14, 1, 0, 10), localMs(2026, 3, 5, 14, 1, 0, 10), 1},
          {localMs(2026, 3, 5, 14, 0, 59, 995), localMs(2026, 3, 5, 14, 0, 59, 995), 1},  // stamped a little earlier
          {localMs(2026, 3, 5, 14, 1, 30, 0), localMs(2026, 3, 5, 14, 1, 30, 0), 1}},
         {{I, localMs(2026, 3, 5, 14, 0, 59, 990), localMs(2026, 3, 5, 14, 1, 0), 1},
          {I, localMs(2026, 3, 5, 14, 1, 0), localMs(2026, 3, 5, 14, 1, 30), 3}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        out.clear();
        e.start("LP", c.seconds, 0);
        int64_t samples = 0;
        for (const Samples& s : c.in)
            for (int64_t t = s.from; t <= s.to; t += s.stepMs, ++samples)
                e.add(t, 6000, 0);
        e.finish();
        std::vector<Row> rows = c.rows;
        rows.push_back({S, c.in.front().from, c.in.back().to, samples});
        expect(rows);
    }
}

TEST_F(Engine, ClockAdvanceEndsAnIntervalWithoutAFurtherSample) {
    e.start("LEQ", 900, 0);
    for (int second = 50; second < 60; ++second)
        e.add(localMs(2026, 3, 5, 14, 14, second), 6000, 0);
    e.advance(localMs(2026, 3, 5, 14, 14, 59, 999));
    EXPECT_TRUE(out.empty());
    e.advance(localMs(2026, 3, 5, 14, 15, 0));
    EXPECT_TRUE(out.size() == 1 && !e.intervalOpen());
    // Silence for a while, then samples again: no rows for the empty intervals.
    e.advance(localMs(2026, 3, 5, 15, 0, 0));
    e.add(localMs(2026, 3, 5, 15, 2, 0), 5000, 0);
    // The clock set back by an hour ends the open interval too.
    e.advance(localMs(2026, 3, 5, 14, 2, 0));
    e.finish();
    expect({{I, localMs(2026, 3, 5, 14, 14, 50), localMs(2026, 3, 5, 14, 15, 0), 10},
            {I, localMs(2026, 3, 5, 15, 0, 0), localMs(2026, 3, 5, 15, 15, 0), 1},
            {S, localMs(2026, 3, 5, 14, 14, 50), localMs(2026, 3, 5, 15, 2, 0), 11}});
}

// What each kind of stream gives, hand-computed: a running Leq from the energy
// difference (T·10^(L/10) at the interval's last reading minus that at the
// reading before it), a running maximum as its last value. N: not given.
TEST_F(Engine, EachQuantityGivesWhatItsValuesAllow) {
    constexpr int64_t N = -1;
    // Daylight saving time begins at sp (01:59:45) and ends at au (02:59:45).
    const int64_t t = localMs(2026, 3, 5, 14, 0, 5), sp = localMs(2026, 3, 29, 1, 59, 45),
                  au = localMs(2026, 10, 25, 2, 59, 45);
    const struct {
        const char* what;
        const char* type;
        int64_t base;
        std::vector<std::pair<int64_t, int32_t>> in;  // seconds after base, dB
        std::vector<int64_t> leq, lmax;               // tenths per interval row
        int64_t seriesLeq, seriesLmax, restarts;
    } cases[] = {
        {"running Leq, steady", "LEQ", t, {{0, 60}, {10, 60}, {20, 60}}, {N, 600, 600}, {N, N, N}, 600, N, 0},
        // (20·10^7 - 10·10^6) / 10 s
        {"a louder interval", "LEQ", t, {{0, 60}, {10, 60}, {20, 70}}, {N, 600, 728}, {N, N, N}, 700, N, 0},
        // (20·10^6.8 - 10·10^7) / 10 s = 64.2 dB, but 0.1 dB readings leave it ±0.6 dB
        {"beyond resolution", "LEQ", t, {{0, 70}, {10, 70}, {20, 68}}, {N, 700, N}, {N, N, N}, 680, N, 0},
        {"fast resolves it", "LEQF", t, {{0, 70}, {10, 70}, {20, 68}}, {N, 700, 642}, {N, N, N}, 680, N, 0},
        // The hour skipped or repeated counts as one cadence: (15·10^7 - 10·10^6) / 5 s
        {"ahead", "LEQ", sp, {{0, 60}, {5, 60}, {10, 60}, {3615, 70}}, {N, 600, 745}, {N, N, N}, 700, N, 0},
        {"back", "LEQ", au, {{0, 60}, {5, 60}, {10, 60}, {-3585, 70}}, {N, 600, 745}, {N, N, N}, 700, N, 0},
        {"restart", "LEQ", t, {{0, 80}, {10, 80}, {20, 50}, {30, 50}}, {N, 800, N, 500}, {N, N, N, N}, 770, N, 1},
        {"max", "MAX", t, {{0, 60}, {10, 65}, {20, 63}, {30, 64}}, {N, N, N, N}, {600, 650, 630, 640}, N, 640, 1},
        {"raw amplitudes", "RAW", t, {{0, 60}, {10, 70}}, {600, 700}, {N, N}, 674, N, 0},
        {"levels", "LP", t, {{0, 60}, {10, 70}}, {600, 700}, {600, 700}, 674, 700, 0},
    };
    auto tenths = [](double db) {
        return std::isnan(db) ? N : levelTenths(db);
    };
    for (const auto& c : cases) {
        out.clear();
        e.start(c.type, 10, 0);
        for (const auto& [seconds, db] : c.in)
            e.add(c.base + seconds * 1000, db * 100, 0);
        e.finish();
        ASSERT_EQ(out.size(), c.leq.size() + 1) << c.what;
        for (size_t i = 0; i < c.leq.size(); ++i) {
            EXPECT_EQ(tenths(out[i].leq), c.leq[i]) << c.what << " interval " << i;
            EXPECT_EQ(tenths(out[i].lmax), c.lmax[i]) << c.what << " interval " << i;
            EXPECT_TRUE(std::isnan(out[i].l90) == (out[i].quantity != Quantity::Level)) << c.what;
        }
        EXPECT_EQ(tenths(out.back().leq), c.seriesLeq) << c.what;
        EXPECT_EQ(tenths(out.back().lmax), c.seriesLmax) << c.what;
        EXPECT_EQ(out.back().restarts, c.restarts) << c.what;
    }
}

}  // namespace
}  // namespace kestro
