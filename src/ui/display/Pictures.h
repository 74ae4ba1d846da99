#pragma once
// The pictures of the simulated instrument display, the front-panel keys and
// the connection state, drawn at start-up in the sizes of their image lists.

#include "ui/display/ImageList.h"

#include <QColor>
#include <QImage>

namespace kestro {

// Face colour of the liquid-crystal panel; also the key colour of its pictures.
inline const QColor kLcdFace{224, 224, 224};
// Ground of the front-panel key pictures, transparent when they are painted.
inline const QColor kToolbarFace{226, 228, 231};

// The pictures of the digit display panel.
struct DisplayImages {
    DisplayImages();

    ImageList imlDigitalNumbers;  // 15 x 42x64: digits 0-9, blank, bottom segment, top segment, E, r
    ImageList imlMode;            // 6 x 115x21: all legends, none, LEQ, MAX, CAL, none
    ImageList imlRange;           // 5 x 221x30: 30-90, 50-110, 70-130 brackets, none, all three
    ImageList imlOverflow;        // 4 x 35x20: nothing, filled, outlined, outlined with filled (up)
    ImageList imlUnderflow;       // 4 x 35x20: the same pointing down
    ImageList imlBatteryState;    // 3 x 32x14: empty, one bar, two bars
    QImage DecimalPoint;          // 11 x 12
    QImage SymbolDBA;             // 40 x 19
    QImage Auto;                  // 47 x 17
    QImage Background;            // 244 x 163
};

// Front-panel keys (12 keyed pictures, 30 x 24): "Power", "PowerPressed", ...
ImageList makeToolbarImages();
// Connection state for the status bar (16 x 16): 1 not connected, 2 connected.
ImageList makeConnectionStateImages();

// Segment bits of a seven-segment glyph: a top, b upper right, c lower right,
// d bottom, e lower left, f upper left, g middle (bit 0 = a).
int segmentsOfDigitPicture(int index);

}  // namespace kestro
