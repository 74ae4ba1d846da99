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

}  // namespace
}  // namespace kestro::test
