#include "RecorderFixture.h"

#include "ui/recording/LevelGraph.h"

#include <QDir>
#include <QWidget>

#include <cmath>

namespace kestro::test {
namespace {

double At(int day, int h, int m, double s) {
    return DateFromSystemTime({2026, 3, 4, int16_t(day), int16_t(h), int16_t(m), 0, 0}) + s / 86400.0;
}

TEST(LevelGraphMath, SecondsOfDayAndGraphX) {
    struct Case {
        double value;
        double graphStart;
        int32_t seconds;
        double x;
    };
    const Case cases[] = {
        {At(5, 0, 0, 0), At(5, 0, 0, 0), 0, 0},
        {At(5, 10, 0, 17), At(5, 10, 0, 0), 36017, 36017},
        {At(5, 23, 59, 59), At(5, 23, 55, 0), 86399, 86399},
        // after midnight of the start's day x keeps growing; seconds of day start over
        {At(6, 0, 2, 0), At(5, 23, 55, 0), 120, 86520},
        {At(6, 0, 2, 0), At(6, 0, 0, 0), 120, 120},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(SecondsOfDay(c.value), c.seconds);
        EXPECT_EQ(GraphX(c.value, c.graphStart), c.x);
    }
    // Halves go to the even neighbour.
    const struct {
        double s;
        int32_t r;
    } halves[] = {{0.5, 0}, {1.5, 2}, {2.5, 2}, {3.5, 4}};
    for (const auto& h : halves) {
        const double v = h.s / 86400.0;
        ASSERT_EQ(v * 86400.0, h.s);
        EXPECT_EQ(SecondsOfDay(v), h.r) << h.s;
    }
}

std::vector<MeasurementRecord> Series(double first, double last) {
    std::vector<MeasurementRecord> b(3);
    b[0].Timestamp = b[1].Timestamp = first;
    b[2].Timestamp = last;
    return b;
}

TEST(LevelGraphMath, GraphStartTime) {
    struct Case {
        double first, last;
        int32_t count;
        double expected;
    };
    const Case cases[] = {
        {At(5, 10, 0, 17), At(5, 10, 3, 17), 2, At(5, 10, 0, 0)},    // 3 minutes from 10:00:17
        {At(5, 10, 0, 17), At(5, 10, 11, 17), 2, At(5, 10, 1, 0)},   // after 11 minutes
        {At(5, 10, 0, 17), At(5, 10, 11, 47), 2, At(5, 10, 1, 30)},
        {At(5, 10, 0, 17), At(5, 10, 0, 17), 1, At(5, 10, 0, 0)},
        {At(5, 23, 59, 50), At(6, 0, 12, 10), 2, At(6, 0, 2, 0)},
        {At(5, 10, 0, 17), At(5, 10, 3, 17), 0, 0.0},
    };
    for (const Case& c : cases)
        EXPECT_NEAR(GraphStartTimeOf(Series(c.first, c.last), c.count) * 86400.0, c.expected * 86400.0, 1e-3);
}

TEST(LevelGraphMath, GridStepDoublesUntilLabelsFit) {
    const struct {
        double initial, extent, step;
    } cases[] = {{60, 50, 60}, {60, 60, 60}, {60, 61, 120}, {60, 130, 240}, {100, 100, 100}, {100, 100.5, 200}};
    for (const auto& c : cases)
        EXPECT_EQ(GridStep(c.initial, c.extent), c.step) << c.initial << " " << c.extent;
}

TEST(LevelGraphMath, LevelGridLines) {
    const auto std = LevelGridLines(0, 1400, 100);
    ASSERT_EQ(std.size(), 15u);
    for (size_t i = 0; i < std.size(); ++i) {
        EXPECT_EQ(std[i].pos, 100.0 * i);
        EXPECT_EQ(std[i].label, i == 13 ? QStringLiteral("dB ") : QString::number(10 * i) + QLatin1Char(' '));
    }
    const auto wide = LevelGridLines(0, 1400, 200);
    ASSERT_EQ(wide.size(), 8u);
    EXPECT_EQ(wide[6].label, QStringLiteral("dB "));
    EXPECT_EQ(wide[7].label, QStringLiteral("140 "));
    const auto neg = LevelGridLines(-250, 300, 100);
    ASSERT_EQ(neg.size(), 6u);
    EXPECT_EQ(neg[0].label, QStringLiteral("-20 "));
    EXPECT_EQ(neg[4].label, QStringLiteral("dB "));
    EXPECT_EQ(neg[5].label, QStringLiteral("30 "));
    EXPECT_EQ(LevelGridLines(500, 550, 100).front().label, QStringLiteral("50 "));  // one line: keeps its number
    EXPECT_TRUE(LevelGridLines(0, 1400, 0).empty());
}

TEST(LevelGraphMath, TimeGridLines) {
    const auto ten = TimeGridLines(36000, 660, 60);
    ASSERT_EQ(ten.size(), 11u);
    EXPECT_EQ(ten[0].label, QStringLiteral(" 10:00 "));
    EXPECT_EQ(ten[9].label, QStringLiteral(" 10:09 "));
    EXPECT_EQ(ten[10].label, QStringLiteral("hh:mm"));
    const auto doubled = TimeGridLines(36030, 660, 120);
    ASSERT_EQ(doubled.size(), 5u);
    EXPECT_EQ(doubled[0].pos, 36120);
    EXPECT_EQ(doubled[0].label, QStringLiteral(" 10:02 "));
    const auto midnight = TimeGridLines(86100, 660, 60);
    ASSERT_EQ(midnight.size(), 11u);
    EXPECT_EQ(midnight[4].pos, 86340);
    EXPECT_EQ(midnight[5].label, QStringLiteral(" 00:00 "));
    EXPECT_EQ(midnight[6].label, QStringLiteral(" 00:01 "));
    const auto empty = TimeGridLines(0, 660, 60);
    EXPECT_EQ(empty[0].label, QStringLiteral(" 00:00 "));
}

// ------------------------------------------------------------ rendered

using LevelGraphTest = RecorderTest;

bool Near(const QImage& img, QPointF p, const QColor& c, int r = 1) {
    for (int dx = -r; dx <= r; ++dx)
        for (int dy = -r; dy <= r; ++dy) {
            const QPoint q = p.toPoint() + QPoint(dx, dy);
            if (img.rect().contains(q) && img.pixelColor(q) == c)
                return true;
        }
    return false;
}

TEST_F(LevelGraphTest, LevelGridAtLoadValues) {
    const LevelGraph& g = rec->Graph();
    ASSERT_LE(g.TextH, 100) << "the label font is too tall for a 10 dB step";
    ASSERT_EQ(g.LevelLines.size(), 15u);
    EXPECT_EQ(g.LevelLines[13].label, QStringLiteral("dB "));
    EXPECT_EQ(g.LevelLines[14].label, QStringLiteral("140 "));
    const Surface& c = g.PictureClear;
    for (const GridLine& l : g.LevelLines) {
        // a dotted grey line across the plot and a light grey label left of it
        const int row = int(c.ToPixel(0, l.pos).y());
        int grid = 0, label = 0;
        for (int x = 0; x < c.image.width(); ++x) {
            const QColor px = c.image.pixelColor(x, std::min(row, c.image.height() - 1));
            grid += px == graph_colours::kLevelGrid;
        }
        const int x0 = int(c.ToPixel(0, 0).x());
        for (int x = 0; x < x0; ++x)
            for (int dy = -3; dy <= 3; ++dy) {
                const int y = std::clamp(row + dy, 0, c.image.height() - 1);
                label += c.image.pixelColor(x, y).lightness() > 100;
            }
        EXPECT_GT(grid, 50) << l.pos;
        EXPECT_GT(label, 3) << l.pos;
    }
    // The plot spans exactly DisplayWidthX seconds right of the label column.
    EXPECT_NEAR(c.ScaleWidth, 660 + 1.5 * g.LabelWidth, 1e-9);
    EXPECT_NEAR(c.ScaleTop, 1400 + g.TextH, 1e-9);
    EXPECT_NEAR(c.ScaleTop + c.ScaleHeight, -2 * g.TextH, 1e-9);
}

TEST_F(LevelGraphTest, TimeGridDoublesWhenLabelsDoNotFit) {
    for (int width : {401, 260, 160, 90, 60}) {
        rec->SetGraphWidth(width);
        const LevelGraph& g = rec->Graph();
        const double label = g.PictureOriginal.TextWidth(GraphFont(), QStringLiteral(" 00:00 "));
        EXPECT_GE(g.TimeStep, label) << width;
        EXPECT_TRUE(g.TimeStep == 60 || g.TimeStep / 2 < label) << width;
        EXPECT_EQ(std::fmod(g.TimeStep, 60.0), 0.0);
        EXPECT_EQ(g.Size().width(), std::max(width, 40));
    }
    rec->SetGraphWidth(90);
    EXPECT_GE(rec->Graph().TimeStep, 120);
}

MeasurementRecord At10(double seconds, int16_t level, int16_t levelFlags = 0, int16_t flags = 1) {
    MeasurementRecord r;
    r.Flags = flags;
    r.Timestamp = At(5, 10, 0, 17 + seconds);
    r.SysTime = SystemTimeFromDate(r.Timestamp);
    r.Level = level;
    r.LevelFlags = levelFlags;
    return r;
}

TEST_F(LevelGraphTest, SegmentsBesideAnOverflowSampleAreRed) {
    Arm();
    ps.RecordState = 2;
    ps.SlowRecordNo = 1;
    const MeasurementRecord s[] = {At10(0, 600), At10(20, 800, 4), At10(40, 600), At10(60, 600), At10(80, 900, 1),
                                   At10(100, 600)};
    for (const auto& r : s)
        ps.AddSlowRecord(r);
    Tick();
    const LevelGraph& g = rec->Graph();
    const QColor red = graph_colours::kCurveFlagged, green = graph_colours::kCurve;
    auto mid = [&](const Surface& sf, int a) {
        return sf.ToPixel((GraphX(s[a].Timestamp, g.GraphStartTime) + GraphX(s[a + 1].Timestamp, g.GraphStartTime)) / 2,
                          (s[a].Level + s[a + 1].Level) / 2.0);
    };
    const QColor expected[] = {red, red, green, red, red};
    for (int pass = 0; pass < 2; ++pass) {  // incremental drawing, then a full redraw
        for (const Surface* sf : {&g.PictureOriginal, &g.PictureGraph})
            for (int a = 0; a < 5; ++a) {
                EXPECT_TRUE(Near(sf->image, mid(*sf, a), expected[a])) << pass << " segment " << a;
                EXPECT_FALSE(Near(sf->image, mid(*sf, a), expected[a] == red ? green : red)) << pass << " " << a;
            }
        rec->RestartTimeAxis();
    }
}

TEST_F(LevelGraphTest, SampleWithoutFlagsLeavesAGap) {
    Arm();
    ps.RecordState = 2;
    ps.SlowRecordNo = 1;
    const MeasurementRecord s[] = {At10(0, 400), At10(30, 1000, 0, 0), At10(60, 400)};
    for (const auto& r : s)
        ps.AddSlowRecord(r);
    Tick();
    const LevelGraph& g = rec->Graph();
    auto at = [&](const Surface& sf, double t, double level) { return sf.ToPixel(GraphX(At(5, 10, 0, 17 + t), g.GraphStartTime), level); };
    for (int pass = 0; pass < 2; ++pass) {
        const Surface& sf = g.PictureGraph;
        // nothing on the way up to the gap sample, the curve goes on from it
        EXPECT_FALSE(Near(sf.image, at(sf, 15, 700), graph_colours::kCurve, 2)) << pass;
        EXPECT_TRUE(Near(sf.image, at(sf, 45, 700), graph_colours::kCurve)) << pass;
        rec->RestartTimeAxis();
    }
}

TEST_F(LevelGraphTest, WindowJumpsAndLabelsAcrossMidnight) {
    Arm();
    ps.RecordState = 2;
    ps.SlowRecordNo = 1;
    MeasurementRecord r;
    r.Flags = 1;
    const double start = At(5, 23, 58, 0);
    double lastStart = 0;
    int jumps = 0;
    for (int i = 0; i <= 17 * 6; ++i) {  // every 10 s until 00:15
        r.Timestamp = start + i * 10 / 86400.0;
        r.Level = int16_t(500 + (i % 7) * 30);
        ps.AddSlowRecord(r);
        Tick();
        if (rec->Graph().GraphStartTime != lastStart) {
            ++jumps;
            lastStart = rec->Graph().GraphStartTime;
        }
        // the newest sample is always inside the plot
        const LevelGraph& g = rec->Graph();
        const double x = GraphX(r.Timestamp, g.GraphStartTime);
        const double t0 = GraphX(g.GraphStartTime, g.GraphStartTime);
        ASSERT_GE(x, t0) << i;
        ASSERT_LE(x, t0 + g.DisplayWidthX) << i;
        ASSERT_TRUE(Near(g.PictureGraph.image, g.PictureGraph.ToPixel(x, r.Level), graph_colours::kCurve)) << i;
    }
    EXPECT_GE(jumps, 10);
    const LevelGraph& g = rec->Graph();
    // On the new day, the newest sample (00:15:00) at most ten and a half minutes from the edge.
    EXPECT_GE(g.GraphStartTime * 86400, At(6, 0, 4, 30) * 86400 - 1e-3);
    EXPECT_LE(g.GraphStartTime * 86400, At(6, 0, 5, 0) * 86400 + 1e-3);
    EXPECT_TRUE(g.TimeLines.front().label.startsWith(QStringLiteral(" 00:0"))) << g.TimeLines.front().label.toStdString();
}

TEST_F(LevelGraphTest, RecordingSpanningMidnightShowsTimeOfDayLabels) {
    Arm();
    ps.RecordState = 2;
    ps.SlowRecordNo = 1;
    MeasurementRecord r;
    r.Flags = 1;
    r.Level = 600;
    r.Timestamp = At(5, 23, 57, 0);
    ps.AddSlowRecord(r);
    r.Timestamp = At(6, 0, 2, 0);
    ps.AddSlowRecord(r);
    Tick();
    const LevelGraph& g = rec->Graph();
    EXPECT_NEAR(g.GraphStartTime * 86400, At(5, 23, 57, 0) * 86400, 1e-3);
    QStringList labels;
    for (const GridLine& l : g.TimeLines)
        labels << l.label;
    EXPECT_TRUE(labels.contains(QStringLiteral(" 23:59 ")));
    EXPECT_TRUE(labels.contains(QStringLiteral(" 00:00 ")));
    EXPECT_TRUE(labels.contains(QStringLiteral(" 00:03 ")));
}

TEST_F(LevelGraphTest, PaintTakesOverTheCompleteChart) {
    Arm();
    Slow(600);
    Slow(650);
    Tick();
    QWidget* w = rec->graphWidget();
    EXPECT_EQ(w->size(), QSize(401, 169));
    const QImage shot = w->grab().toImage().convertToFormat(QImage::Format_RGB32);
    EXPECT_EQ(shot, rec->Graph().PictureOriginal.image.convertToFormat(QImage::Format_RGB32));
}

// A 20-minute recording in a quiet street, two slow samples a second, with
// passing vehicles and one overloaded horn; saved for the documentation.
TEST_F(LevelGraphTest, RealisticRecordingRendersLegibly) {
    Arm();
    ps.RecordState = 2;
    ps.SlowRecordNo = 1;
    MeasurementRecord r;
    r.Flags = 1;
    const double start = At(5, 14, 0, 12);
    uint32_t seed = 12345;
    auto rnd = [&]() {
        seed = seed * 1664525u + 1013904223u;
        return (seed >> 8) / double(1 << 24);
    };
    double level = 480;
    for (int i = 0; i < 2400; ++i) {
        const double t = i * 0.5;
        double target = 480 + 40 * std::sin(t / 90.0);
        for (double car : {130.0, 410.0, 455.0, 700.0, 905.0, 1100.0})
            target += 260 * std::exp(-std::pow((t - car) / 9.0, 2));
        level += (target - level) * 0.3 + (rnd() - 0.5) * 30;
        r.Timestamp = start + t / 86400.0;
        r.Level = int16_t(std::lround(level));
        r.LevelFlags = 0;
        if (t > 1000 && t < 1004) {
            r.Level = int16_t(1250 + rnd() * 40);
            r.LevelFlags = 4;
        }
        ps.AddSlowRecord(r);
        if (i % 2 == 1)
            Tick();
    }
    const QImage& img = rec->Graph().PictureGraph.image;
    int green = 0, red = 0;
    for (int y = 0; y < img.height(); ++y)
        for (int x = 0; x < img.width(); ++x) {
            green += img.pixelColor(x, y) == graph_colours::kCurve;
            red += img.pixelColor(x, y) == graph_colours::kCurveFlagged;
        }
    EXPECT_GT(green, 300);
    EXPECT_GT(red, 5);
    const QString docs = QStringLiteral(KESTRO_SOURCE_DIR "/docs");
    ASSERT_TRUE(QDir().mkpath(docs));
    EXPECT_TRUE(img.save(docs + QStringLiteral("/graph.png")));
}

}  // namespace
}  // namespace kestro::test
