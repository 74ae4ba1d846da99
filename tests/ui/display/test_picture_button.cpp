#include "ui/display/PictureButton.h"
#include "ui/display/PictureError.h"
#include "ui/display/Pictures.h"

#include <QTest>

#include <gtest/gtest.h>

namespace kestro::test {
namespace {

struct Presses {
    int down = 0, up = 0;
};

TEST(PictureButton, PressAndReleaseReachTheHandlersOnlyWhileEnabled) {
    const ImageList keys = MakeToolbarImages();
    PictureButton b(keys, QStringLiteral("cmdRecord"));
    Presses n;
    b.onMouseDown = [&] { ++n.down; };
    b.onMouseUp = [&] { ++n.up; };
    b.show();

    struct Step {
        bool enabled;
        Qt::MouseButton button;
        int down, up;
    };
    // Any mouse button acts; a disabled key hears nothing.
    const Step steps[] = {{true, Qt::LeftButton, 1, 1}, {true, Qt::RightButton, 2, 2}, {false, Qt::LeftButton, 2, 2},
                          {true, Qt::MiddleButton, 3, 3}};
    for (const Step& s : steps) {
        b.setEnabled(s.enabled);
        QTest::mousePress(&b, s.button);
        QTest::mouseRelease(&b, s.button);
        EXPECT_EQ(n.down, s.down);
        EXPECT_EQ(n.up, s.up);
    }
}

TEST(PictureButton, HeldUntilReleasedOrDisabled) {
    const ImageList keys = MakeToolbarImages();
    PictureButton b(keys, QStringLiteral("cmdStopRecord"));
    b.show();
    bool heldInHandler = false;
    b.onMouseDown = [&] { heldInHandler = b.isHeld(); };
    QTest::mousePress(&b, Qt::LeftButton);
    EXPECT_TRUE(heldInHandler) << "the press handler already sees the key held";
    EXPECT_TRUE(b.isHeld());
    QTest::mouseRelease(&b, Qt::LeftButton);
    EXPECT_FALSE(b.isHeld());

    QTest::mousePress(&b, Qt::LeftButton);
    b.setEnabled(false);
    EXPECT_FALSE(b.isHeld()) << "a key disabled while held never sees its release";
}

TEST(PictureButton, PicturesByKeyAndUnknownKeysFail) {
    const ImageList keys = MakeToolbarImages();
    PictureButton b(keys, QStringLiteral("cmdPower"));
    EXPECT_EQ(b.size(), QSize(33, 25));
    b.SetPicture(QStringLiteral("PowerPressed"));
    EXPECT_EQ(b.pictureKey(), QStringLiteral("PowerPressed"));
    EXPECT_THROW(b.SetPicture(QStringLiteral("PowerHalfPressed")), PictureError);
    EXPECT_EQ(b.pictureKey(), QStringLiteral("PowerPressed"));

    b.show();
    const QImage shot = b.grab().toImage().convertToFormat(QImage::Format_RGB32);
    const QImage pic = keys.Image(QStringLiteral("PowerPressed"));
    int compared = 0;
    for (int y = 0; y < pic.height(); ++y)
        for (int x = 0; x < pic.width(); ++x)
            if (pic.pixel(x, y) != kToolbarFace.rgb()) {
                ++compared;
                EXPECT_EQ(shot.pixel(x + 1, y), pic.pixel(x, y)) << x << "," << y;
            }
    EXPECT_GT(compared, 500);
}

}  // namespace
}  // namespace kestro::test
