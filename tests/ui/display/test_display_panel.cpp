#include "PictureCompare.h"
#include "ui/display/DisplayPanel.h"
#include "ui/display/PictureError.h"

#include <gtest/gtest.h>

#include <array>

namespace kestro::test {
namespace {

using E = DisplayPanel;

std::array<int, 4> Digits(const DisplayPanel& p) {
    return {p.digitIndex(0), p.digitIndex(1), p.digitIndex(2), p.digitIndex(3)};
}

int ErrorOf(const std::function<void()>& f) {
    try {
        f();
    } catch (const PictureError& e) {
        return e.number;
    }
    return 0;
}

TEST(DisplayPanel, StartsWithTheSegmentTestPatternAtItsPlaces) {
    DisplayPanel p;
    EXPECT_EQ(p.size(), QSize(245, 169));
    EXPECT_EQ(Digits(p), (std::array<int, 4>{2, 9, 9, 9}));
    EXPECT_EQ(p.modeIndex(), 1);
    EXPECT_EQ(p.pictureIndex(E::imgRange), 5);
    EXPECT_EQ(p.pictureIndex(E::imgOverflow), 4);
    EXPECT_EQ(p.pictureIndex(E::imgUnderflow), 4);
    EXPECT_EQ(p.pictureIndex(E::imgBatteryState), 3);
    for (int e = 0; e < E::kElementCount; ++e) EXPECT_TRUE(p.isShown(E::Element(e))) << e;
    EXPECT_EQ(E::ElementRect(E::imgNoiseDigit3), QRect(145, 60, 42, 64));
    EXPECT_EQ(E::ElementRect(E::imgDecimalPoint), QRect(132, 113, 11, 12));
    EXPECT_EQ(E::ElementRect(E::imgBatteryState), QRect(25, 131, 32, 14));
    EXPECT_EQ(E::ElementRect(E::imgRange), QRect(10, 18, 221, 30));
}

TEST(DisplayPanel, NoiseDisplayShowsOneDecimalWithLeadingBlanks) {
    struct Case {
        int16_t value;
        std::array<int, 4> digits;
        bool point;
    };
    const Case cases[] = {
        {734, {11, 8, 4, 5}, true},   {1005, {2, 1, 1, 6}, true}, {5, {11, 11, 1, 6}, true},
        {0, {11, 11, 1, 1}, true},    {999, {11, 10, 10, 10}, true}, {1000, {2, 1, 1, 1}, true},
        {99, {11, 11, 10, 10}, true}, {100, {11, 2, 1, 1}, true},   {9999, {10, 10, 10, 10}, true},
        {-1, {11, 14, 15, 15}, false},
    };
    for (const Case& c : cases) {
        DisplayPanel p;
        p.SetShown(E::imgDecimalPoint, !c.point);
        p.NoiseDisplay(c.value);
        EXPECT_EQ(Digits(p), c.digits) << c.value;
        EXPECT_EQ(p.isShown(E::imgDecimalPoint), c.point) << c.value;
    }
}

TEST(DisplayPanel, AValidReadingAfterErrRestoresThePoint) {
    DisplayPanel p;
    p.NoiseDisplay(-1);
    EXPECT_FALSE(p.isShown(E::imgDecimalPoint));
    p.NoiseDisplay(734);
    EXPECT_TRUE(p.isShown(E::imgDecimalPoint));
    EXPECT_EQ(Digits(p), (std::array<int, 4>{11, 8, 4, 5}));
}

TEST(DisplayPanel, LevelsBeyondTheCellsShowARangePatternAndFail) {
    struct Case {
        int16_t value;
        int pattern;
    };
    for (const Case c : {Case{10000, 13}, Case{32767, 13}, Case{-2, 12}, Case{-32768, 12}}) {
        DisplayPanel p;
        EXPECT_EQ(ErrorOf([&] { p.NoiseDisplay(c.value); }), kErrInvalidPicture) << c.value;
        EXPECT_EQ(Digits(p), (std::array<int, 4>{c.pattern, c.pattern, c.pattern, c.pattern})) << c.value;
        EXPECT_FALSE(p.isShown(E::imgDecimalPoint));
    }
}

TEST(DisplayPanel, ResetAndConnectionRules) {
    DisplayPanel p;
    p.Reset_KestroDisplay();
    for (E::Element e : {E::imgBatteryState, E::imgMode, E::imgRange, E::imgAuto, E::imgSymbolDBA, E::imgDecimalPoint})
        EXPECT_FALSE(p.isShown(e)) << e;
    EXPECT_EQ(Digits(p), (std::array<int, 4>{11, 11, 11, 11}));
    EXPECT_EQ(p.pictureIndex(E::imgOverflow), 4) << "reset leaves the triangles";
    EXPECT_TRUE(p.isShown(E::imgOverflow));

    p.NoiseDisplay(734);
    p.SetShown(E::imgDecimalPoint, false);
    p.ConnectionEstablished();
    EXPECT_TRUE(p.isShown(E::imgSymbolDBA));
    EXPECT_TRUE(p.isShown(E::imgDecimalPoint));
    EXPECT_EQ(p.pictureIndex(E::imgOverflow), 1);
    EXPECT_EQ(p.pictureIndex(E::imgUnderflow), 1);
    EXPECT_EQ(Digits(p), (std::array<int, 4>{11, 8, 4, 5})) << "digits stay until their rule fires";

    p.ShowLevelStatus(15);
    p.ConnectionLost();
    EXPECT_EQ(Digits(p), (std::array<int, 4>{11, 11, 11, 11}));
    EXPECT_FALSE(p.isShown(E::imgSymbolDBA));
    EXPECT_EQ(p.pictureIndex(E::imgOverflow), 1);
    EXPECT_EQ(p.pictureIndex(E::imgUnderflow), 1);
}

TEST(DisplayPanel, FunctionChangeShowsTestPatternOrBlanksLp) {
    DisplayPanel p;
    p.Reset_KestroDisplay();
    p.FunctionChanged(0, 734);
    EXPECT_EQ(Digits(p), (std::array<int, 4>{2, 9, 9, 9}));
    for (E::Element e : {E::imgMode, E::imgBatteryState, E::imgRange, E::imgAuto}) EXPECT_TRUE(p.isShown(e)) << e;
    EXPECT_EQ(p.modeIndex(), 1);
    EXPECT_EQ(p.pictureIndex(E::imgRange), 5);
    EXPECT_EQ(p.pictureIndex(E::imgBatteryState), 3);

    p.SetShown(E::imgDecimalPoint, false);
    p.FunctionChanged(1, 0);
    EXPECT_EQ(Digits(p), (std::array<int, 4>{11, 11, 11, 11}));
    EXPECT_FALSE(p.isShown(E::imgDecimalPoint)) << "the point stays as it was";

    p.NoiseDisplay(734);
    for (int16_t f : {1, 2, 3, 4, 5}) p.FunctionChanged(f, f == 1 ? 734 : 0);
    EXPECT_EQ(Digits(p), (std::array<int, 4>{11, 8, 4, 5}));
}

TEST(DisplayPanel, ModeLegendBlinksWhileAMeasurementRuns) {
    struct Case {
        int16_t function, variant;
        bool phase;
        int index;
    };
    const Case cases[] = {
        {1, 1, false, 2}, {1, 1, true, 2}, {2, 1, true, 3}, {2, 2, false, 3}, {2, 2, true, 6},
        {2, 3, true, 3},  {3, 2, true, 6}, {3, 1, true, 4}, {3, 3, true, 4},  {4, 1, true, 5},
        {4, 2, true, 6},  {4, 4, true, 6}, {4, 5, true, 5}, {4, 3, false, 5}, {5, 0, true, 6},
    };
    for (const Case& c : cases) {
        DisplayPanel p;
        p.SetShown(E::imgMode, false);
        p.ShowModeLegend(c.function, c.variant, c.phase);
        EXPECT_EQ(p.modeIndex(), c.index) << c.function << "/" << c.variant << " " << c.phase;
        EXPECT_TRUE(p.isShown(E::imgMode));
    }
}

TEST(DisplayPanel, AFunctionWithoutLegendFailsOncePerChange) {
    DisplayPanel p;
    p.ShowModeLegend(2, 1, false);
    EXPECT_EQ(ErrorOf([&] { p.ShowModeLegend(7, 0, false); }), kErrInvalidPicture);
    EXPECT_EQ(p.modeIndex(), 3) << "keeps the previous legend";
    EXPECT_EQ(ErrorOf([&] { p.ShowModeLegend(7, 0, true); }), 0) << "the next cycle stays quiet";
    p.ShowModeLegend(1, 1, false);
    EXPECT_EQ(ErrorOf([&] { p.ShowModeLegend(7, 0, false); }), kErrInvalidPicture);
}

TEST(DisplayPanel, LevelStatusPicksBothTriangles) {
    struct Case {
        int16_t status;
        int over, under;
    };
    for (const Case c : {Case{0, 1, 1}, Case{5, 2, 2}, Case{12, 4, 1}, Case{3, 1, 4}, Case{10, 3, 3},
                         Case{0x7F, 4, 4}}) {
        DisplayPanel p;
        p.ShowLevelStatus(c.status);
        EXPECT_EQ(p.pictureIndex(E::imgOverflow), c.over) << c.status;
        EXPECT_EQ(p.pictureIndex(E::imgUnderflow), c.under) << c.status;
    }
}

TEST(DisplayPanel, RangeShowsBracketAndAutoLegend) {
    struct Case {
        int16_t range;
        int bracket;
        bool autoShown;
        int error;
    };
    const Case cases[] = {{1, 1, false, 0}, {2, 2, false, 0}, {3, 3, false, 0}, {6, 2, true, 0},
                          {7, 3, true, 0},  {5, 1, true, 0},  {4, 4, true, kErrInvalidPicture},
                          {0, 4, false, kErrInvalidPicture}};
    for (const Case& c : cases) {
        DisplayPanel p;
        p.SetShown(E::imgRange, false);
        EXPECT_EQ(ErrorOf([&] { p.ShowRange(c.range); }), c.error) << c.range;
        EXPECT_EQ(p.pictureIndex(E::imgRange), c.bracket) << c.range;
        EXPECT_EQ(p.isShown(E::imgAuto), c.autoShown) << c.range;
        EXPECT_TRUE(p.isShown(E::imgRange));
    }
}

TEST(DisplayPanel, BatteryOutsideItsPicturesKeepsThePrevious) {
    DisplayPanel p;
    p.ShowBattery(2);
    EXPECT_EQ(p.pictureIndex(E::imgBatteryState), 2);
    for (int16_t bad : {0, 4, 12, -1}) {
        EXPECT_EQ(ErrorOf([&] { p.ShowBattery(bad); }), kErrInvalidPicture) << bad;
        EXPECT_EQ(p.pictureIndex(E::imgBatteryState), 2);
    }
}

// The rendered panel: each digit cell shows exactly its list picture.
TEST(DisplayPanel, RenderedCellsShowTheChosenPictures) {
    DisplayPanel p;
    p.show();
    p.ConnectionEstablished();
    const ImageList& digits = p.images().imlDigitalNumbers;
    struct Case {
        int16_t value;
        std::array<int, 4> cells;
        bool point;
    };
    for (const Case& c : {Case{734, {11, 8, 4, 5}, true}, Case{-1, {11, 14, 15, 15}, false}}) {
        p.NoiseDisplay(c.value);
        const QImage shot = p.grab().toImage().convertToFormat(QImage::Format_RGB32);
        ASSERT_EQ(shot.size(), QSize(245, 169));
        for (int i = 0; i < 4; ++i) {
            const QRect r = DisplayPanel::ElementRect(E::Element(E::imgNoiseDigit0 + i));
            QImage cell = shot.copy(r);
            // The decimal point and the dBA legend overlap the right edges of
            // cells 2 and 3; those cells are compared left of them.
            const int width = i == 2 ? 132 - r.x() : i == 3 ? 183 - r.x() : r.width();
            cell = cell.copy(0, 0, width, r.height());
            for (int other = 1; other <= digits.Count(); ++other) {
                const QImage pic = digits.Image(other).copy(0, 0, width, r.height());
                EXPECT_EQ(SamePixels(cell, pic), other == c.cells[size_t(i)]) << c.value << " cell " << i << " " << other;
            }
        }
        const QImage point = shot.copy(DisplayPanel::ElementRect(E::imgDecimalPoint));
        EXPECT_EQ(InkCount(point, kLcdFace) > 10, c.point) << c.value;
    }
}

}  // namespace
}  // namespace kestro::test
