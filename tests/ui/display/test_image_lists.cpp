#include "PictureCompare.h"
#include "ui/display/ImageList.h"
#include "ui/display/PictureError.h"
#include "ui/display/Pictures.h"

#include <gtest/gtest.h>


namespace kestro::test {
namespace {

struct ListCase {
    const char* name;
    const ImageList DisplayImages::*list;
    int count;
    QSize size;
};

TEST(ImageLists, DisplayListsHaveTheirCountsAndSizes) {
    const DisplayImages d;
    const ListCase cases[] = {
        {"imlDigitalNumbers", &DisplayImages::imlDigitalNumbers, 15, {42, 64}},
        {"imlMode", &DisplayImages::imlMode, 6, {115, 21}},
        {"imlRange", &DisplayImages::imlRange, 5, {221, 30}},
        {"imlOverflow", &DisplayImages::imlOverflow, 4, {35, 20}},
        {"imlUnderflow", &DisplayImages::imlUnderflow, 4, {35, 20}},
        {"imlBatteryState", &DisplayImages::imlBatteryState, 3, {32, 14}},
    };
    for (const ListCase& c : cases) {
        const ImageList& l = d.*(c.list);
        EXPECT_EQ(l.Count(), c.count) << c.name;
        for (int i = 1; i <= l.Count(); ++i) EXPECT_EQ(l.Image(i).size(), c.size) << c.name << " " << i;
        EXPECT_FALSE(l.Has(0)) << c.name;
        EXPECT_FALSE(l.Has(c.count + 1)) << c.name;
    }
    EXPECT_EQ(d.DecimalPoint.size(), QSize(11, 12));
    EXPECT_EQ(d.SymbolDBA.size(), QSize(40, 19));
    EXPECT_EQ(d.Auto.size(), QSize(47, 17));
    EXPECT_EQ(d.Background.size(), QSize(244, 163));
    for (const QImage* fixed : {&d.DecimalPoint, &d.SymbolDBA, &d.Auto})
        EXPECT_GT(InkCount(*fixed, kLcdFace), 10);
}

TEST(ImageLists, AnIndexWithoutPictureIsAnInvalidPictureFailure) {
    const DisplayImages d;
    for (int bad : {0, -1, 16, 9999}) {
        try {
            d.imlDigitalNumbers.Image(bad);
            ADD_FAILURE() << bad;
        } catch (const PictureError& e) {
            EXPECT_EQ(e.number, kErrInvalidPicture);
        }
    }
}

// Seven segments: a glyph's lit segments are a subset of another's exactly
// where the digits say so.
TEST(ImageLists, DigitGlyphsFormAConsistentSevenSegmentSet) {
    const DisplayImages d;
    const ImageList& l = d.imlDigitalNumbers;
    auto pic = [&](int index) { return l.Image(index); };
    EXPECT_EQ(InkCount(pic(11), kLcdFace), 0) << "blank cell";
    for (int i = 1; i <= 15; ++i)
        if (i != 11) {
            EXPECT_GT(InkCount(pic(i), kLcdFace), 50) << i;
        }

    struct Cover {
        int whole, part;
        bool covers;
    };
    // Indexes: digit + 1; 12 bottom, 13 top, 14 E, 15 r.
    const Cover cases[] = {
        {9, 1, true},   {9, 2, true},   {9, 3, true},   {9, 4, true},   {9, 5, true},   {9, 6, true},
        {9, 7, true},   {9, 8, true},   {9, 10, true},  {9, 14, true},  {8, 2, true},   {4, 8, true},
        {10, 4, true},  {14, 15, true}, {1, 12, true},  {8, 13, true},  {7, 6, true},
        {1, 9, false},  {2, 8, false},  {4, 3, false},  {6, 7, false},  {15, 14, false}, {12, 13, false},
        {13, 12, false}, {3, 4, false},
    };
    for (const Cover& c : cases)
        EXPECT_EQ(InkCovers(pic(c.whole), pic(c.part), kLcdFace), c.covers) << c.whole << " over " << c.part;

    for (int i = 1; i <= 15; ++i)
        for (int j = i + 1; j <= 15; ++j) EXPECT_FALSE(SamePixels(pic(i), pic(j))) << i << " and " << j;
}

TEST(ImageLists, LegendsBracketsTrianglesAndBatteryMatchTheirMeanings) {
    const DisplayImages d;
    const QColor f = kLcdFace;
    // Mode: 1 all, 2 none, 3 LEQ, 4 MAX, 5 CAL, 6 none.
    EXPECT_EQ(InkCount(d.imlMode.Image(2), f), 0);
    EXPECT_EQ(InkCount(d.imlMode.Image(6), f), 0);
    for (int i : {3, 4, 5}) {
        EXPECT_GT(InkCount(d.imlMode.Image(i), f), 20) << i;
        EXPECT_TRUE(InkCovers(d.imlMode.Image(1), d.imlMode.Image(i), f)) << i;
        for (int j : {3, 4, 5})
            if (j != i) {
                EXPECT_FALSE(InkCovers(d.imlMode.Image(i), d.imlMode.Image(j), f)) << i << j;
            }
    }
    // Range: 4 none, 5 all three brackets.
    EXPECT_EQ(InkCount(d.imlRange.Image(4), f), 0);
    for (int i : {1, 2, 3}) {
        EXPECT_GT(InkCount(d.imlRange.Image(i), f), 100) << i;
        EXPECT_TRUE(InkCovers(d.imlRange.Image(5), d.imlRange.Image(i), f)) << i;
    }
    // Triangles: 1 nothing, 4 = outline with the filled one inside.
    for (const ImageList* l : {&d.imlOverflow, &d.imlUnderflow}) {
        EXPECT_EQ(InkCount(l->Image(1), f), 0);
        EXPECT_TRUE(InkCovers(l->Image(4), l->Image(2), f));
        EXPECT_TRUE(InkCovers(l->Image(4), l->Image(3), f));
        EXPECT_FALSE(InkCovers(l->Image(3), l->Image(2), f)) << "outline is hollow";
    }
    // Direction: the apex row of an upward triangle is above its base row.
    auto inkRows = [&](const QImage& img, int* first, int* last) {
        *first = -1;
        for (int y = 0; y < img.height(); ++y)
            for (int x = 0; x < img.width(); ++x)
                if (IsInk(img.pixel(x, y), f)) {
                    if (*first < 0) *first = y;
                    *last = y;
                }
    };
    auto widthOfRow = [&](const QImage& img, int y) {
        int n = 0;
        for (int x = 0; x < img.width(); ++x) n += IsInk(img.pixel(x, y), f);
        return n;
    };
    int top = 0, bottom = 0;
    inkRows(d.imlOverflow.Image(2), &top, &bottom);
    EXPECT_LT(widthOfRow(d.imlOverflow.Image(2), top), widthOfRow(d.imlOverflow.Image(2), bottom));
    inkRows(d.imlUnderflow.Image(2), &top, &bottom);
    EXPECT_GT(widthOfRow(d.imlUnderflow.Image(2), top), widthOfRow(d.imlUnderflow.Image(2), bottom));
    // Battery: empty, one bar, two bars.
    const int b1 = InkCount(d.imlBatteryState.Image(1), f), b2 = InkCount(d.imlBatteryState.Image(2), f),
              b3 = InkCount(d.imlBatteryState.Image(3), f);
    EXPECT_GT(b1, 20);
    EXPECT_GT(b2, b1 + 20);
    EXPECT_GT(b3, b2 + 20);
    EXPECT_TRUE(InkCovers(d.imlBatteryState.Image(3), d.imlBatteryState.Image(2), f));
    EXPECT_TRUE(InkCovers(d.imlBatteryState.Image(2), d.imlBatteryState.Image(1), f));
}

TEST(ImageLists, ToolbarHasTwelveKeyedPictures) {
    const ImageList l = MakeToolbarImages();
    const char* keys[] = {"Power",         "PowerPressed",          "PowerDisabled",
                          "RecordStopped", "RecordStoppedPressed",  "RecordStarted",
                          "RecordStartedPressed", "RecordStoppedDisabled", "StopRecord",
                          "StopRecordPressed", "StopRecordDisabled", "StopRecordDisabledPressed"};
    ASSERT_EQ(l.Count(), 12);
    for (int i = 0; i < 12; ++i) {
        EXPECT_EQ(l.IndexOf(QString::fromLatin1(keys[i])), i + 1) << keys[i];
        EXPECT_EQ(l.Image(i + 1).size(), QSize(30, 24));
        for (int j = 0; j < i; ++j)
            EXPECT_FALSE(SamePixels(l.Image(i + 1), l.Image(j + 1))) << keys[i] << " looks like " << keys[j];
    }
    EXPECT_EQ(l.IndexOf(QStringLiteral("power")), 0) << "keys are exact";
    EXPECT_THROW(l.Image(QStringLiteral("Record")), PictureError);

    const ImageList c = MakeConnectionStateImages();
    ASSERT_EQ(c.Count(), 2);
    EXPECT_EQ(c.Image(1).size(), QSize(16, 16));
    EXPECT_FALSE(SamePixels(c.Image(1), c.Image(2)));
}

TEST(ImageLists, KeyedPixmapIsTransparentExactlyOnTheKeyColour) {
    ImageList l({4, 1}, QColor(224, 224, 224));
    QImage img(4, 1, QImage::Format_RGB32);
    img.setPixel(0, 0, qRgb(224, 224, 224));
    img.setPixel(1, 0, qRgb(20, 20, 20));
    img.setPixel(2, 0, qRgb(223, 224, 224));
    img.setPixel(3, 0, qRgb(224, 224, 224));
    ASSERT_EQ(l.Add(img, QStringLiteral("k")), 1);
    const QImage keyed = l.Pixmap(1).toImage().convertToFormat(QImage::Format_ARGB32);
    EXPECT_EQ(qAlpha(keyed.pixel(0, 0)), 0);
    EXPECT_EQ(qAlpha(keyed.pixel(1, 0)), 255);
    EXPECT_EQ(qAlpha(keyed.pixel(2, 0)), 255);
    EXPECT_EQ(qAlpha(keyed.pixel(3, 0)), 0);
    EXPECT_EQ(l.Key(1), QStringLiteral("k"));
    // A picture of another size is fitted to the list.
    EXPECT_EQ(l.Image(l.Add(QImage(8, 2, QImage::Format_RGB32))).size(), QSize(4, 1));
}

}  // namespace
}  // namespace kestro::test
