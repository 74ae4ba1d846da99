#pragma once
// The simulated liquid-crystal display: picture elements at fixed places,
// each showing a picture chosen by index from its image list.

#include "ui/display/Pictures.h"

#include <QWidget>
#include <array>
#include <cstdint>

namespace kestro {

class DisplayPanel : public QWidget {
    Q_OBJECT
public:
    enum Element {
        imgRange,
        imgOverflow,
        imgUnderflow,
        imgNoiseDigit0,
        imgNoiseDigit1,
        imgNoiseDigit2,
        imgNoiseDigit3,
        imgDecimalPoint,
        imgSymbolDBA,
        imgMode,
        imgAuto,
        imgBatteryState,
        kElementCount
    };

    explicit DisplayPanel(QWidget* parent = nullptr);

    const DisplayImages& images() const { return images_; }
    static QRect elementRect(Element e);
    // The image list an element takes its pictures from; nullptr for the fixed pictures.
    const ImageList* listOf(Element e) const;

    // Current picture index (0 for a fixed picture) and visibility.
    int pictureIndex(Element e) const { return items_[e].index; }
    bool isShown(Element e) const { return items_[e].shown; }
    int digitIndex(int cell) const { return items_[imgNoiseDigit0 + cell].index; }
    int modeIndex() const { return items_[imgMode].index; }

    // Throws PictureError when the list has no such picture; the element keeps its picture.
    void setPicture(Element e, int index);
    void setShown(Element e, bool shown);

    // ---- display operations; the window decides when they apply ----
    // Level in tenths of a decibel, -1 for an error reading. A level beyond
    // the four cells shows an over- or under-range pattern and throws PictureError.
    void NoiseDisplay(int16_t value);
    void Reset_KestroDisplay();
    void connectionEstablished();
    void connectionLost();
    // Display part of a function change.
    void functionChanged(int16_t function, int16_t level);
    // Function legend with blinking (every cycle). A function without a legend
    // throws once per change of the requested picture, not on every cycle.
    void showModeLegend(int16_t function, int16_t variant, bool blinkPhase);
    void showLevelStatus(int16_t status);
    // Range bracket and AUTO legend; a code without a range shows no bracket (and throws).
    void showRange(int16_t range);
    void showBattery(int16_t battery);

    QSize sizeHint() const override { return {245, 169}; }

    // What the display shows, in words for assistive technologies: the
    // reading ("Level 73.4 dB") and the legends ("LEQ, 50 - 110 dB, AUTO,
    // battery low, overflow").
    QString readingText() const;
    QString legendText() const;
    // Passes both on as the accessible name and description: the legends at
    // once, a new reading at most once a second (nowMs: any steady clock).
    void publishReading(int64_t nowMs);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    struct Item {
        int index = 0;
        bool shown = true;
    };
    void setPictureUnchecked(Element e, int index);

    DisplayImages images_;
    QPixmap point_, dba_, auto_;  // the fixed pictures, ready to paint
    std::array<Item, kElementCount> items_{};
    int lastModeRequest_ = 0;
    int16_t function_ = 0;     // of the legend shown
    bool testPattern_ = true;  // 1888 with every legend: not a reading
    int64_t readingPublishedMs_ = 0;
    bool readingPublished_ = false;
};

}  // namespace kestro
