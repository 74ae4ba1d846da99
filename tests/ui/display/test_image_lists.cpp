#include "PictureCompare.h"
#include "ui/display/ImageList.h"
#include "ui/display/PictureError.h"
#include "ui/display/Pictures.h"

#include <gtest/gtest.h>

namespace kestro::test {
namespace {

TEST(ImageLists, CountsSizesAndKeys) {
    const DisplayImages d;
    const ImageList toolbar = MakeToolbarImages(), connection = MakeConnectionStateImages();
    const struct {
        const char* name;
        const ImageList& list;
        int count;
        QSize size;
    } cases[] = {
        {"imlDigitalNumbers", d.imlDigitalNumbers, 15, {42, 64}},
        {"imlMode", d.imlMode, 6, {115, 21}},
        {"imlRange", d.imlRange, 5, {221, 30}},
        {"imlOverflow", d.imlOverflow, 4, {35, 20}},
        {"imlUnderflow", d.imlUnderflow, 4, {35, 20}},
        {"imlBatteryState", d.imlBatteryState, 3, {32, 14}},
        {"toolbar", toolbar, 12, {30, 24}},
        {"connection", connection, 2, {16, 16}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.list.Count(), c.count) << c.name;
        for (int i = 1; i <= c.list.Count(); ++i) {
            EXPECT_EQ(c.list.Image(i).size(), c.size) << c.name << " " << i;
            for (int j = 1; j < i && c.count != 6; ++j)  // mode legends 2 and 6 both show nothing
                EXPECT_FALSE(SamePixels(c.list.Image(i), c.list.Image(j))) << c.name << i << j;
        }
        for (int bad : {0, -1, c.count + 1})
            EXPECT_THROW(c.list.Image(bad), PictureError) << c.name << " " << bad;
    }
    const char* keys[] = {"Power",
                          "PowerPressed",
                          "PowerDisabled",
                          "RecordStopped",
                          "RecordStoppedPressed",
                          "RecordStarted",
                          "RecordStartedPressed",
                          "RecordStoppedDisabled",
                          "StopRecord",
                          "StopRecordPressed",
                          "StopRecordDisabled",
                          "StopRecordDisabledPressed"};
    for (int i = 0; i < 12; ++i)
        EXPECT_EQ(toolbar.IndexOf(QString::fromLatin1(keys[i])), i + 1) << keys[i];
    EXPECT_EQ(toolbar.IndexOf(QStringLiteral("power")), 0) << "keys are exact";
}

// Seven segments: a glyph's lit segments are a subset of another's exactly where the digits say so.
TEST(ImageLists, DigitGlyphsFormAConsistentSevenSegmentSet) {
    const ImageList& l = DisplayImages().imlDigitalNumbers;
    EXPECT_EQ(InkCount(l.Image(11), kLcdFace), 0) << "blank cell";
    // Indexes: digit + 1; 12 bottom, 13 top, 14 E, 15 r.
    const struct {
        int whole, part;
        bool covers;
    } cases[] = {
        {9, 1, true},  {9, 2, true},  {9, 3, true},   {9, 6, true},    {9, 10, true},   {9, 14, true}, {8, 2, true},
        {4, 8, true},  {10, 4, true}, {14, 15, true}, {1, 12, true},   {8, 13, true},   {7, 6, true},  {1, 9, false},
        {2, 8, false}, {4, 3, false}, {6, 7, false},  {15, 14, false}, {12, 13, false}, {3, 4, false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(InkCovers(l.Image(c.whole), l.Image(c.part), kLcdFace), c.covers) << c.whole << " over " << c.part;
}

}  // namespace
}  // namespace kestro::test
