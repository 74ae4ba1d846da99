// The level graph and the file list, alone and as the main window loads them.

#include "ViewsFixture.h"

#include "ui/recording/FileList.h"
#include "ui/recording/LevelGraph.h"

#include <QFontMetrics>
#include <QTreeWidget>
#include <cmath>
#include <functional>

namespace kestro::test {
namespace {

double at(int day, int h, int m, double s) {
    return dateFromSystemTime({2026, 3, 4, int16_t(day), int16_t(h), int16_t(m), 0, 0}) + s / 86400.0;
}

TEST(LevelGraphMath, GraphStartTime) {
    const struct {
        double first, last;
        int32_t count;
        double expected;
    } cases[] = {
        {at(5, 10, 0, 17), at(5, 10, 3, 17), 2, at(5, 10, 0, 0)},   // 3 minutes from 10:00:17
        {at(5, 10, 0, 17), at(5, 10, 11, 17), 2, at(5, 10, 1, 0)},  // after 11 minutes
        {at(5, 10, 0, 17), at(5, 10, 11, 47), 2, at(5, 10, 1, 30)},
        {at(5, 23, 59, 50), at(6, 0, 12, 10), 2, at(6, 0, 2, 0)},
        {at(5, 10, 0, 17), at(5, 10, 3, 17), 0, 0.0},
    };
    for (const auto& c : cases) {
        SampleWindow b;
        MeasurementRecord r;
        r.Timestamp = c.first;
        b.setHeader(r);
        for (int32_t i = 1; i <= c.count; ++i) {
            r.Timestamp = i == c.count ? c.last : c.first;
            b.push(r);
        }
        EXPECT_NEAR(graphStartTimeOf(b) * 86400.0, c.expected * 86400.0, 1e-3);
    }
    EXPECT_EQ(graphX(at(6, 0, 2, 0), at(5, 23, 55, 0)), 86520) << "x keeps growing after midnight";
}

TEST(LevelGraphMath, GridLinesAndDoublingSteps) {
    const auto lines = levelGridLines(0, 1400, 100);
    ASSERT_EQ(lines.size(), 15u);
    for (size_t i = 0; i < lines.size(); ++i) {
        EXPECT_EQ(lines[i].pos, 100.0 * i);
        EXPECT_EQ(lines[i].label, i == 13 ? QStringLiteral("dB ") : QString::number(10 * i) + QLatin1Char(' '));
    }
    const struct {
        double initial, extent, step;
    } cases[] = {{60, 50, 60}, {60, 60, 60}, {60, 61, 120}, {60, 130, 240}, {100, 100.5, 200}};
    for (const auto& c : cases)
        EXPECT_EQ(gridStep(c.initial, c.extent), c.step) << c.initial << " " << c.extent;
    const auto doubled = timeGridLines(36030, 660, 120);
    ASSERT_EQ(doubled.size(), 5u);
    EXPECT_EQ(doubled[0].pos, 36120);
    EXPECT_EQ(doubled[0].label, QStringLiteral(" 10:02 "));
    const auto midnight = timeGridLines(86340, 240, 60);  // x counts on past midnight, the labels do not
    ASSERT_GE(midnight.size(), 3u);
    EXPECT_EQ(midnight[0].label + midnight[1].label + midnight[2].label, " 23:59  00:00  00:01 ");
}

// The labels grow with the window's font (at the default one as designed:
// within 9 px), and the level grid widens so that neighbouring labels never touch.
TEST(LevelGraphMath, LabelsFollowTheFontAndTheGridMakesRoom) {
    for (int points : {9, 11, 14, 18}) {
        const QFont window(QStringLiteral("DejaVu Sans"), points);
        LevelGraph g;
        g.setLabelFont(graphFont(window));
        g.ScaleYAxis(0, 1400);
        const int line = QFontMetrics(g.labelFont()).height(), windowLine = QFontMetrics(window).height();
        EXPECT_GE(line, windowLine * 0.6) << points;
        EXPECT_LE(line, points == 9 ? 9 : windowLine) << points;
        EXPECT_GE(g.LevelStep * g.size().height() / std::fabs(g.PictureClear.ScaleHeight), line) << points;
    }
}

bool near(const QImage& img, QPointF p, const QColor& c, int r = 1) {
    for (int dx = -r; dx <= r; ++dx)
        for (int dy = -r; dy <= r; ++dy) {
            const QPoint q = p.toPoint() + QPoint(dx, dy);
            if (img.rect().contains(q) && img.pixelColor(q) == c) return true;
        }
    return false;
}

MeasurementRecord at10(double seconds, int16_t level, int16_t levelFlags = 0, int16_t flags = kFlagLp) {
    const double t = at(5, 10, 0, 17 + seconds);
    return {flags, t, systemTimeFromDate(t), level, 0.0, levelFlags, 0};
}

TEST_F(ViewsTest, SegmentsBesideAnOverflowSampleAreRedAndFlagsZeroLeavesAGap) {
    arm(true);
    const MeasurementRecord s[] = {at10(0, 600),     at10(20, 800, 4), at10(40, 600),         at10(60, 600),
                                   at10(80, 900, 1), at10(100, 600),   at10(120, 1000, 0, 0), at10(140, 600)};
    for (const auto& r : s)
        ps.AddSlowRecord(r);
    tick();
    const LevelGraph& g = views->graph();
    const QColor red = graph_colours::kCurveFlagged, green = graph_colours::kCurve;
    auto mid = [&](const Surface& sf, int a) {
        return sf.toPixel((graphX(s[a].Timestamp, g.GraphStartTime) + graphX(s[a + 1].Timestamp, g.GraphStartTime)) / 2,
                          (s[a].Level + s[a + 1].Level) / 2.0);
    };
    const QColor expected[] = {red, red, green, red, red, Qt::transparent, green};
    for (int pass = 0; pass < 2; ++pass) {  // incremental drawing, then a full redraw
        for (const Surface* sf : {&g.PictureOriginal, &g.PictureGraph})
            for (int a = 0; a < 7; ++a) {
                const bool gap = expected[a] == Qt::transparent;
                EXPECT_EQ(near(sf->image, mid(*sf, a), red, gap ? 2 : 1), expected[a] == red) << pass << " " << a;
                EXPECT_EQ(near(sf->image, mid(*sf, a), green, gap ? 2 : 1), expected[a] == green) << pass << " " << a;
            }
        views->RestartTimeAxis();
    }
}

// A small correction keeps the window, a larger step back (here the end of
// daylight saving time) restarts it at the new time; either way the newest
// sample shows at once and nothing kept is let go.
TEST_F(ViewsTest, GraphFollowsTheClockBack) {
    arm();
    const LevelGraph& g = views->graph();
    auto record = [&](int seconds) {
        for (int i = 0; i < seconds; ++i) {
            slow(600);
            clock.advanceMs(900);
            tick();
        }
    };
    auto drawn = [&](int32_t n) {
        const MeasurementRecord& r = rec->LocalSlowBuffer[n];
        return near(g.PictureGraph.image, g.PictureGraph.toPixel(graphX(r.Timestamp, g.GraphStartTime), r.Level),
                    graph_colours::kCurve);
    };
    record(300);
    const double start = g.GraphStartTime;
    const int32_t beforeStep = rec->LocalSlowBuffer.count();
    const struct {
        const char* what;
        std::function<void()> step;
        bool restarts;
    } cases[] = {{"2 min back", [&] { clock.advanceMs(-120000); }, false},
                 {"fall-back", [&] { clock.setUtcOffsetMinutes(-60); }, true}};
    for (const auto& c : cases) {
        const int32_t first = rec->LocalSlowBuffer.firstIndex();
        c.step();
        record(2);
        const double newest = rec->LocalSlowBuffer[rec->LocalSlowBuffer.count()].Timestamp;
        EXPECT_TRUE(drawn(rec->LocalSlowBuffer.count())) << c.what;
        EXPECT_EQ(rec->LocalSlowBuffer.firstIndex(), first) << c.what;
        if (c.restarts) {
            EXPECT_NEAR((newest - g.GraphStartTime) * 86400, 15.5, 15.5) << c.what;
        } else {
            EXPECT_EQ(g.GraphStartTime, start) << c.what;
            EXPECT_TRUE(drawn(beforeStep)) << c.what << ": a sample from before the step, inside the window";
        }
    }
}

TEST(FileListText, DurationAndStart) {
    const std::pair<double, const char*> durations[] = {
        {0.0, "00:00:00"},
        {1.0 / 86400, "00:00:01"},
        {0.4 / 86400, "00:00:00"},
        {65.0 / 86400, "00:01:05"},
        {25.0 / 24, "25:00:00"},  // all the hours, not those of the day part
        {100.0 + 1.0 / 86400, "2400:00:01"},
        {-5.0 / 86400, "-00:00:05"},
    };
    for (const auto& [days, text] : durations)
        EXPECT_EQ(durationText(days), QLatin1String(text)) << days;
    EXPECT_EQ(timeOfDayText(46087.0 + (14 * 3600 + 3 * 60 + 27.25) / 86400), QStringLiteral("14:03:27"));
    EXPECT_EQ(timeOfDayText(46086.0 + 86399.7 / 86400), QStringLiteral("00:00:00"));
}

TEST_F(ViewsTest, NewestFirstSelectedAndCountingUp) {
    arm();
    auto* v = static_cast<QTreeWidget*>(views->fileListWidget());
    EXPECT_EQ(v->topLevelItemCount(), 0) << "element 0 is never shown";
    for (int series = 0; series < 3; ++series) {
        if (series > 0) {
            clock.advanceMs(60000);
            ps.setBufferRestart(1);
        }
        slow(600);
        tick();
        ASSERT_EQ(v->topLevelItemCount(), series + 1);
        EXPECT_EQ(v->currentItem(), v->topLevelItem(0));
        EXPECT_EQ(v->topLevelItem(0)->text(2), rec->RecordFiles.back().FileTitle);
    }
    EXPECT_EQ(v->topLevelItem(2)->text(2), rec->RecordFiles[1].FileTitle);
    EXPECT_EQ(v->topLevelItem(2)->text(0), QStringLiteral("14:03:27"));
    EXPECT_EQ(v->topLevelItem(0)->text(0), QStringLiteral("14:05:27"));
    for (int i = 0; i < 13; ++i) {  // the current series' duration counts up with its samples
        clock.advanceMs(4900);
        slow(610);
        tick();
    }
    EXPECT_EQ(v->topLevelItem(0)->text(1), QStringLiteral("00:01:05"));
    EXPECT_EQ(v->topLevelItem(1)->text(1), QStringLiteral("00:00:00"));
}

}  // namespace
}  // namespace kestro::test
