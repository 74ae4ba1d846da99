#include "PictureCompare.h"
#include "ui/display/ImageList.h"
#include "ui/display/PictureError.h"
#include "ui/display/Pictures.h"

#include <gtest/gtest.h>

namespace kestro::test {
namespace {

// Every picture of a list is its own (mode legends 2 and 6 both show
// nothing), and an index outside the list is an error, not a blank.
TEST(ImageLists, PicturesDifferAndIndexesOutsideFail) {
    const DisplayImages d;
    const ImageList toolbar = makeToolbarImages(), connection = makeConnectionStateImages();
    for (const ImageList* list : {&d.imlDigitalNumbers, &d.imlRange, &d.imlOverflow, &d.imlUnderflow,
                                  &d.imlBatteryState, &toolbar, &connection, &d.imlMode}) {
        for (int i = 1; i <= list->count(); ++i)
            for (int j = 1; j < i && list != &d.imlMode; ++j)
                EXPECT_FALSE(samePixels(list->image(i), list->image(j))) << i << " " << j;
        for (int bad : {0, -1, list->count() + 1})
            EXPECT_THROW(list->image(bad), PictureError) << bad;
    }
    EXPECT_GT(toolbar.indexOf(QStringLiteral("PowerPressed")), 0);
    EXPECT_EQ(toolbar.indexOf(QStringLiteral("powerpressed")), 0) << "keys are exact";
}

// Seven segments: a glyph's lit segments are a subset of another's exactly where the digits say so.
TEST(ImageLists, DigitGlyphsFormAConsistentSevenSegmentSet) {
    const ImageList& l = DisplayImages().imlDigitalNumbers;
    EXPECT_EQ(inkCount(l.image(11), kLcdFace), 0) << "blank cell";
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
        EXPECT_EQ(inkCovers(l.image(c.whole), l.image(c.part), kLcdFace), c.covers) << c.whole << " over " << c.part;
}

}  // namespace
}  // namespace kestro::test
