#include "PictureCompare.h"
#include "ui/display/DisplayPanel.h"
#include "ui/display/ImageList.h"
#include "ui/display/PictureButton.h"
#include "ui/display/PictureError.h"
#include "ui/display/Pictures.h"

#include <QTest>

#include <gtest/gtest.h>

#include <array>
#include <functional>
#include <utility>

namespace kestro::test {
namespace {

using E = DisplayPanel;
using Cells = std::array<int, 4>;

Cells digits(const DisplayPanel& p) { return {p.digitIndex(0), p.digitIndex(1), p.digitIndex(2), p.digitIndex(3)}; }

int errorOf(const std::function<void()>& f) {
    try {
        f();
    } catch (const PictureError& e) {
        return e.number;
    }
    return 0;
}

// Picture indexes: digit + 1, 11 blank, 12 bottom bar, 13 top bar, 14 E, 15 r.
TEST(DisplayPanel, NoiseDisplayShowsOneDecimalWithLeadingBlanks) {
    const struct {
        int16_t value;
        Cells digits;
        bool point;
        int error;
    } cases[] = {
        {734, {11, 8, 4, 5}, true, 0},
        {1005, {2, 1, 1, 6}, true, 0},
        {5, {11, 11, 1, 6}, true, 0},
        {0, {11, 11, 1, 1}, true, 0},
        {1000, {2, 1, 1, 1}, true, 0},
        {100, {11, 2, 1, 1}, true, 0},
        {-1, {11, 14, 15, 15}, false, 0},  // "Err"
        {10000, {13, 13, 13, 13}, false, kErrInvalidPicture},
        {-2, {12, 12, 12, 12}, false, kErrInvalidPicture},
    };
    DisplayPanel p;
    p.show();
    p.connectionEstablished();
    const ImageList& pictures = p.images().imlDigitalNumbers;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.value);
        p.setShown(E::imgDecimalPoint, !c.point);  // the point must be set both ways
        EXPECT_EQ(errorOf([&] { p.NoiseDisplay(c.value); }), c.error);
        EXPECT_EQ(digits(p), c.digits);
        EXPECT_EQ(p.isShown(E::imgDecimalPoint), c.point);
        // Rendered, each digit cell shows exactly its list picture.
        const QImage shot = p.grab().toImage().convertToFormat(QImage::Format_RGB32);
        for (int i = 0; i < 4; ++i) {
            const QRect r = DisplayPanel::elementRect(E::Element(E::imgNoiseDigit0 + i));
            // The decimal point and the dBA legend overlap cells 2 and 3; those are compared left of them.
            const int width = i == 2 ? 132 - r.x() : i == 3 ? 183 - r.x() : r.width();
            const QImage cell = shot.copy(r).copy(0, 0, width, r.height());
            for (int other = 1; other <= pictures.count(); ++other)
                EXPECT_EQ(samePixels(cell, pictures.image(other).copy(0, 0, width, r.height())),
                          other == c.digits[size_t(i)])
                    << "cell " << i << " picture " << other;
        }
        EXPECT_EQ(inkCount(shot.copy(DisplayPanel::elementRect(E::imgDecimalPoint)), kLcdFace) > 10, c.point);
    }
}

TEST(DisplayPanel, ResetAndConnectionRules) {
    DisplayPanel p;
    p.Reset_KestroDisplay();
    for (E::Element e : {E::imgBatteryState, E::imgMode, E::imgRange, E::imgAuto, E::imgSymbolDBA, E::imgDecimalPoint})
        EXPECT_FALSE(p.isShown(e)) << e;
    EXPECT_EQ(digits(p), (Cells{11, 11, 11, 11}));
    EXPECT_TRUE(p.isShown(E::imgOverflow));
    EXPECT_EQ(p.pictureIndex(E::imgOverflow), 4) << "reset leaves the triangles";

    p.NoiseDisplay(734);
    p.connectionEstablished();
    EXPECT_TRUE(p.isShown(E::imgSymbolDBA));
    EXPECT_EQ(p.pictureIndex(E::imgUnderflow), 1);
    EXPECT_EQ(digits(p), (Cells{11, 8, 4, 5})) << "digits stay until their rule fires";
    p.showLevelStatus(15);
    p.connectionLost();
    EXPECT_EQ(digits(p), (Cells{11, 11, 11, 11}));
    EXPECT_FALSE(p.isShown(E::imgSymbolDBA));
    EXPECT_EQ(p.pictureIndex(E::imgOverflow), 1);
}

// The legends' pictures: the mode blinks while a measurement runs, the status
// word picks both triangles, the range its bracket and the AUTO legend.
TEST(DisplayPanel, LegendsPickTheirPictures) {
    const struct {
        std::function<void(DisplayPanel&)> show;
        E::Element element;
        int index, second;  // second: the underflow triangle, or 1 when AUTO shows
        int error = 0;
    } cases[] = {
        {[](DisplayPanel& p) { p.showModeLegend(1, 1, false); }, E::imgMode, 2, 0},
        {[](DisplayPanel& p) { p.showModeLegend(2, 1, true); }, E::imgMode, 3, 0},
        {[](DisplayPanel& p) { p.showModeLegend(2, 2, false); }, E::imgMode, 3, 0},
        {[](DisplayPanel& p) { p.showModeLegend(2, 2, true); }, E::imgMode, 6, 0},
        {[](DisplayPanel& p) { p.showModeLegend(3, 1, true); }, E::imgMode, 4, 0},
        {[](DisplayPanel& p) { p.showModeLegend(4, 1, true); }, E::imgMode, 5, 0},
        {[](DisplayPanel& p) { p.showModeLegend(4, 5, true); }, E::imgMode, 5, 0},
        {[](DisplayPanel& p) { p.showModeLegend(5, 0, true); }, E::imgMode, 6, 0},
        {[](DisplayPanel& p) { p.showLevelStatus(0); }, E::imgOverflow, 1, 1},
        {[](DisplayPanel& p) { p.showLevelStatus(5); }, E::imgOverflow, 2, 2},
        {[](DisplayPanel& p) { p.showLevelStatus(12); }, E::imgOverflow, 4, 1},
        {[](DisplayPanel& p) { p.showLevelStatus(3); }, E::imgOverflow, 1, 4},
        {[](DisplayPanel& p) { p.showLevelStatus(10); }, E::imgOverflow, 3, 3},
        {[](DisplayPanel& p) { p.showRange(1); }, E::imgRange, 1, 0},
        {[](DisplayPanel& p) { p.showRange(3); }, E::imgRange, 3, 0},
        {[](DisplayPanel& p) { p.showRange(6); }, E::imgRange, 2, 1},
        {[](DisplayPanel& p) { p.showRange(4); }, E::imgRange, 4, 1, kErrInvalidPicture},
        {[](DisplayPanel& p) { p.showRange(0); }, E::imgRange, 4, 0, kErrInvalidPicture},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(&c - cases);
        DisplayPanel p;
        p.setShown(c.element, false);
        EXPECT_EQ(errorOf([&] { c.show(p); }), c.error);
        EXPECT_EQ(c.element == E::imgMode ? p.modeIndex() : p.pictureIndex(c.element), c.index);
        EXPECT_EQ(c.element == E::imgOverflow ? p.pictureIndex(E::imgUnderflow)
                  : c.element == E::imgRange  ? int(p.isShown(E::imgAuto))
                                              : 0,
                  c.second);
        EXPECT_TRUE(c.element == E::imgOverflow || p.isShown(c.element));
    }
}

// What a screen reader gets: the reading as the name, the legends as the
// description; a blinking legend does not flicker in words.
TEST(DisplayPanel, ReadingAndLegendsInWords) {
    DisplayPanel p;
    const struct {
        std::function<void()> step;
        const char* reading;
        const char* legends;
    } steps[] = {
        {[] {}, "Level: segment test", "Initialisation"},
        {[&] {
             p.connectionEstablished();
             p.NoiseDisplay(734);
             p.showModeLegend(2, 2, true);
             p.showRange(6);
             p.showBattery(2);
             p.showLevelStatus(5);
         },
         "Level 73.4 dB", "LEQ, 50 - 110 dB, AUTO, battery low, overflow, underflow"},
        {[&] {
             p.showModeLegend(3, 1, false);
             p.showRange(3);
             p.showLevelStatus(14);
             p.NoiseDisplay(5);
         },
         "Level 0.5 dB", "MAX-Hold, 70 - 130 dB, battery low, overflow now and earlier, underflow earlier"},
        {[&] { p.NoiseDisplay(-1); }, "Level: error reading (Err)", nullptr},
        {[&] { errorOf([&] { p.NoiseDisplay(10000); }); }, "Level over range", nullptr},
        {[&] { p.functionChanged(1, 0); }, "Level: no reading",
         "Lp, 70 - 130 dB, battery low, overflow now and earlier, underflow earlier"},
        {[&] { p.connectionLost(); }, "Level: no reading", ""},
        {[&] { p.functionChanged(0, 0); }, "Level: segment test", "Initialisation"},
    };
    for (const auto& st : steps) {
        st.step();
        EXPECT_EQ(p.readingText(), QLatin1String(st.reading));
        if (st.legends) {
            EXPECT_EQ(p.legendText(), QLatin1String(st.legends)) << st.reading;
        }
    }
    // Published: the legends at once, a new reading at most once a second.
    p.NoiseDisplay(734);
    p.publishReading(10000);
    p.NoiseDisplay(735);
    p.showBattery(1);
    p.publishReading(10900);
    EXPECT_EQ(p.accessibleName(), QStringLiteral("Level 73.4 dB"));
    EXPECT_TRUE(p.accessibleDescription().contains(QStringLiteral("battery empty")));
    p.publishReading(11000);
    EXPECT_EQ(p.accessibleName(), QStringLiteral("Level 73.5 dB"));
}

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
