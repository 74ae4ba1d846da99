#include "PictureCompare.h"
#include "ui/display/ImageList.h"
#include "ui/display/PictureButton.h"
#include "ui/display/PictureError.h"
#include "ui/display/Pictures.h"

#include <QTest>

#include <gtest/gtest.h>

#include <utility>

namespace kestro::test {
namespace {

// One press, one release, whatever presses the key (any mouse button, Space,
// a click, a drag off and back): the record key toggles, so a second press
// would undo the first. Only while enabled; a key disabled while held never
// sees its release.
TEST(PictureButton, PressedOnceByAnythingAndOnlyWhileEnabled) {
    const ImageList keys = makeToolbarImages();
    PictureButton b(keys, QStringLiteral("cmdRecord"));
    int down = 0, up = 0;
    bool heldInHandler = false;
    b.onMouseDown = [&] {
        ++down, heldInHandler = b.isHeld();
    };
    b.onMouseUp = std::function<void()>([&] { ++up; });
    b.show();
    for (const auto& [button, enabled] : {std::pair{Qt::LeftButton, true},
                                          {Qt::RightButton, true},
                                          {Qt::LeftButton, false},
                                          {Qt::MiddleButton, true}}) {
        b.setEnabled(enabled);
        const int before = down;
        QTest::mousePress(&b, button);
        QTest::mouseRelease(&b, button);
        EXPECT_EQ(std::pair(down, up), std::pair(before + enabled, before + enabled)) << button;
        EXPECT_FALSE(b.isHeld());
    }
    EXPECT_TRUE(heldInHandler) << "the press handler already sees the key held";
    b.setEnabled(true);
    QTest::keyPress(&b, Qt::Key_Space);
    EXPECT_TRUE(b.isHeld());
    QTest::mousePress(&b, Qt::LeftButton);  // already held: no second press
    QTest::mouseRelease(&b, Qt::LeftButton);
    QTest::keyRelease(&b, Qt::Key_Space);  // already let go by the mouse
    EXPECT_EQ(std::pair(down, up), std::pair(4, 4));
    QTest::mousePress(&b, Qt::LeftButton, {}, QPoint(5, 5));
    QTest::mouseMove(&b, QPoint(200, 200));  // dragged off the key and back
    QTest::mouseMove(&b, QPoint(6, 6));
    QTest::mouseRelease(&b, Qt::LeftButton, {}, QPoint(6, 6));
    b.click();
    EXPECT_EQ(std::pair(down, up), std::pair(6, 6));
    QTest::keyPress(&b, Qt::Key_Space);
    b.setEnabled(false);
    EXPECT_FALSE(b.isHeld());
    b.setEnabled(true);
    QTest::keyRelease(&b, Qt::Key_Space);
    EXPECT_EQ(std::pair(down, up), std::pair(7, 6)) << "a key disabled while held never sees its release";
}

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
    PictureButton power(toolbar, QStringLiteral("cmdPower"));  // an unknown key leaves the picture as it was
    power.setPicture(QStringLiteral("PowerPressed"));
    EXPECT_THROW(power.setPicture(QStringLiteral("PowerHalfPressed")), PictureError);
    EXPECT_EQ(power.pictureKey(), QStringLiteral("PowerPressed"));
}

}  // namespace
}  // namespace kestro::test
