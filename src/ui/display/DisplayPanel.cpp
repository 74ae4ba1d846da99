#include "ui/display/DisplayPanel.h"

#include "protocol/DeviceCodes.h"
#include "ui/display/Accessibility.h"
#include "ui/display/PictureError.h"

#include <QLocale>
#include <QPaintEvent>
#include <QPainter>
#include <QStringList>
#include <QStyle>
#include <QStyleOptionFocusRect>

namespace kestro {
namespace {

struct Placement {
    int x, y, w, h;
};

// Positions on the panel, in element order.
constexpr Placement kPlacement[DisplayPanel::kElementCount] = {
    {10, 18, 221, 30},   // imgRange
    {2, 72, 35, 20},     // imgOverflow
    {2, 91, 35, 20},     // imgUnderflow
    {10, 60, 42, 64},    // imgNoiseDigit0
    {52, 60, 42, 64},    // imgNoiseDigit1
    {95, 60, 42, 64},    // imgNoiseDigit2
    {145, 60, 42, 64},   // imgNoiseDigit3
    {132, 113, 11, 12},  // imgDecimalPoint
    {183, 105, 40, 19},  // imgSymbolDBA
    {60, 127, 115, 21},  // imgMode
    {177, 129, 47, 17},  // imgAuto
    {25, 131, 32, 14},   // imgBatteryState
};

// Painted in this order so that the triangles and legends lie above the digit cells.
constexpr DisplayPanel::Element kPaintOrder[] = {
    DisplayPanel::imgRange,       DisplayPanel::imgNoiseDigit0, DisplayPanel::imgNoiseDigit1,
    DisplayPanel::imgNoiseDigit2, DisplayPanel::imgNoiseDigit3, DisplayPanel::imgDecimalPoint,
    DisplayPanel::imgSymbolDBA,   DisplayPanel::imgOverflow,    DisplayPanel::imgUnderflow,
    DisplayPanel::imgMode,        DisplayPanel::imgAuto,        DisplayPanel::imgBatteryState,
};

constexpr int kBlank = 11, kTopSegment = 13, kBottomSegment = 12, kLetterE = 14, kLetterR = 15;

const char* const kFunctionWords[] = {QT_TRANSLATE_NOOP("kestro::DisplayPanel", "Initialisation"),
                                      "Lp",
                                      "LEQ",
                                      "MAX-Hold",
                                      QT_TRANSLATE_NOOP("kestro::DisplayPanel", "Calibration"),
                                      QT_TRANSLATE_NOOP("kestro::DisplayPanel", "Service")};
const char* const kRangeWords[] = {"30 - 90 dB", "50 - 110 dB", "70 - 130 dB"};
const char* const kBatteryWords[] = {QT_TRANSLATE_NOOP("kestro::DisplayPanel", "battery empty"),
                                     QT_TRANSLATE_NOOP("kestro::DisplayPanel", "battery low"),
                                     QT_TRANSLATE_NOOP("kestro::DisplayPanel", "battery full")};
// Triangle pictures 2..4: filled, outlined, both.
const char* const kFlowWords[] = {"%1", QT_TRANSLATE_NOOP("kestro::DisplayPanel", "%1 earlier"),
                                  QT_TRANSLATE_NOOP("kestro::DisplayPanel", "%1 now and earlier")};

}  // namespace

DisplayPanel::DisplayPanel(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("Picture1"));
    setFixedSize(245, 169);
    setAttribute(Qt::WA_OpaquePaintEvent);
    // A stop of its own, so that the reading can be asked for and is read out.
    setFocusPolicy(Qt::TabFocus);
    setAccessibleRole(this, QAccessible::StaticText);
    point_ = ImageList::keyed(images_.DecimalPoint, kLcdFace);
    dba_ = ImageList::keyed(images_.SymbolDBA, kLcdFace);
    auto_ = ImageList::keyed(images_.Auto, kLcdFace);
    // As designed: the segment test pattern 1888 with every legend lit.
    items_[imgRange].index = 5;
    items_[imgOverflow].index = 4;
    items_[imgUnderflow].index = 4;
    items_[imgNoiseDigit0].index = 2;
    items_[imgNoiseDigit1].index = 9;
    items_[imgNoiseDigit2].index = 9;
    items_[imgNoiseDigit3].index = 9;
    items_[imgMode].index = 1;
    items_[imgBatteryState].index = 3;
}

QRect DisplayPanel::elementRect(Element e) {
    const Placement& p = kPlacement[e];
    return {p.x, p.y, p.w, p.h};
}

const ImageList* DisplayPanel::listOf(Element e) const {
    switch (e) {
        case imgRange:
            return &images_.imlRange;
        case imgOverflow:
            return &images_.imlOverflow;
        case imgUnderflow:
            return &images_.imlUnderflow;
        case imgNoiseDigit0:
        case imgNoiseDigit1:
        case imgNoiseDigit2:
        case imgNoiseDigit3:
            return &images_.imlDigitalNumbers;
        case imgMode:
            return &images_.imlMode;
        case imgBatteryState:
            return &images_.imlBatteryState;
        default:
            return nullptr;
    }
}

void DisplayPanel::setPictureUnchecked(Element e, int index) {
    if (items_[e].index == index) return;
    items_[e].index = index;
    if (items_[e].shown) update(elementRect(e));
}

void DisplayPanel::setPicture(Element e, int index) {
    const ImageList* list = listOf(e);
    if (!list || !list->has(index))
        throw PictureError(kErrInvalidPicture,
                           "element " + std::to_string(e) + " has no picture " + std::to_string(index));
    setPictureUnchecked(e, index);
}

void DisplayPanel::setShown(Element e, bool shown) {
    if (items_[e].shown == shown) return;
    items_[e].shown = shown;
    update(elementRect(e));
}

void DisplayPanel::NoiseDisplay(int16_t value) {
    testPattern_ = false;
    if (value == -1) {
        const int err[4] = {kBlank, kLetterE, kLetterR, kLetterR};
        for (int i = 0; i < 4; ++i)
            setPicture(Element(imgNoiseDigit0 + i), err[i]);
        setShown(imgDecimalPoint, false);
        return;
    }
    if (value < -1 || value > 9999) {
        // Four cells cannot show it: a row of top (over range) or bottom
        // (under range) segments instead of digits that would read wrong.
        const int pattern = value > 9999 ? kTopSegment : kBottomSegment;
        for (int i = 0; i < 4; ++i)
            setPicture(Element(imgNoiseDigit0 + i), pattern);
        setShown(imgDecimalPoint, false);
        throw PictureError(kErrInvalidPicture, "level " + std::to_string(value) + " has no digits");
    }
    setShown(imgDecimalPoint, true);
    setPicture(imgNoiseDigit0, value >= 1000 ? value / 1000 + 1 : kBlank);
    setPicture(imgNoiseDigit1, value >= 100 ? (value / 100) % 10 + 1 : kBlank);
    setPicture(imgNoiseDigit2, (value / 10) % 10 + 1);
    setPicture(imgNoiseDigit3, value % 10 + 1);
}

void DisplayPanel::Reset_KestroDisplay() {
    setShown(imgBatteryState, false);
    setShown(imgMode, false);
    setShown(imgRange, false);
    setShown(imgAuto, false);
    for (int i = 0; i < 4; ++i)
        setPicture(Element(imgNoiseDigit0 + i), kBlank);
    setShown(imgSymbolDBA, false);
    setShown(imgDecimalPoint, false);
    lastModeRequest_ = 0;
    testPattern_ = false;
}

void DisplayPanel::connectionEstablished() {
    setShown(imgSymbolDBA, true);
    setShown(imgDecimalPoint, true);
    setPicture(imgOverflow, 1);
    setPicture(imgUnderflow, 1);
}

void DisplayPanel::connectionLost() {
    Reset_KestroDisplay();
    setPicture(imgOverflow, 1);
    setPicture(imgUnderflow, 1);
}

void DisplayPanel::functionChanged(int16_t function, int16_t level) {
    function_ = function;
    testPattern_ = function == 0;
    if (function == 0) {
        setPicture(imgMode, 1);
        setShown(imgMode, true);
        setPicture(imgBatteryState, 3);
        setShown(imgBatteryState, true);
        setPicture(imgRange, 5);
        setShown(imgRange, true);
        setShown(imgAuto, true);
        setPicture(imgNoiseDigit0, 2);
        for (int i = 1; i < 4; ++i)
            setPicture(Element(imgNoiseDigit0 + i), 9);
        lastModeRequest_ = 1;
    } else if (function == 1 && level == 0) {
        for (int i = 0; i < 4; ++i)
            setPicture(Element(imgNoiseDigit0 + i), kBlank);
    }
}

void DisplayPanel::showModeLegend(int16_t function, int16_t variant, bool blinkPhase) {
    int index = function + 1;
    const bool running = (function == 2 && variant == 2) || (function == 3 && variant == 2) ||
                         (function == 4 && variant > 1 && variant < 5);
    if (blinkPhase && running) index = 6;
    function_ = function;
    setShown(imgMode, true);
    const int previousRequest = lastModeRequest_;
    lastModeRequest_ = index;
    if (!images_.imlMode.has(index)) {
        if (index == previousRequest) return;  // reported when it first appeared
        throw PictureError(kErrInvalidPicture, "function " + std::to_string(function) + " has no legend");
    }
    setPictureUnchecked(imgMode, index);
}

void DisplayPanel::showLevelStatus(int16_t status) {
    setPicture(imgOverflow, ((status & kOverflowState) >> 2) + 1);
    setPicture(imgUnderflow, (status & kUnderflowState) + 1);
}

void DisplayPanel::showRange(int16_t range) {
    setShown(imgAuto, (range & kRangeAuto) != 0);
    setShown(imgRange, true);
    const int bracket = range & kRangeMask;
    if (bracket == 0) {
        // No bracket rather than the last one: that range is not in force.
        setPicture(imgRange, 4);
        throw PictureError(kErrInvalidPicture, "range code " + std::to_string(range) + " has no bracket");
    }
    setPicture(imgRange, bracket);
}

void DisplayPanel::showBattery(int16_t battery) {
    setShown(imgBatteryState, true);
    setPicture(imgBatteryState, battery);
}

QString DisplayPanel::readingText() const {
    if (testPattern_) return tr("Level: segment test");
    QString cells;
    for (int i = 0; i < 4; ++i) {
        const int index = items_[imgNoiseDigit0 + i].index;
        if (index >= 1 && index <= 10) cells += QChar('0' + index - 1);
        if (index == kLetterE || index == kLetterR) cells += QLatin1Char(index == kLetterE ? 'E' : 'r');
        if (index == kTopSegment || index == kBottomSegment)
            return index == kTopSegment ? tr("Level over range") : tr("Level under range");
    }
    if (cells.isEmpty()) return tr("Level: no reading");
    if (cells.startsWith(QLatin1Char('E'))) return tr("Level: error reading (Err)");
    if (items_[imgDecimalPoint].shown) cells.insert(cells.size() - 1, QLocale().decimalPoint());
    return tr("Level %1 dB").arg(cells);
}

QString DisplayPanel::legendText() const {
    QStringList words;
    auto shown = [this](Element e, int first, int last) {
        return items_[e].shown && items_[e].index >= first && items_[e].index <= last ? items_[e].index : 0;
    };
    if (testPattern_ || (items_[imgMode].shown && function_ >= 0 && function_ <= 5))
        words << tr(kFunctionWords[testPattern_ ? 0 : function_]);
    if (const int r = shown(imgRange, 1, 3)) words << QString::fromLatin1(kRangeWords[r - 1]);
    if (items_[imgAuto].shown && !testPattern_) words << QStringLiteral("AUTO");
    if (const int b = shown(imgBatteryState, 1, 3); b && !testPattern_) words << tr(kBatteryWords[b - 1]);
    for (auto [e, word] :
         {std::pair{imgOverflow, QT_TR_NOOP("overflow")}, std::pair{imgUnderflow, QT_TR_NOOP("underflow")}})
        if (const int f = shown(e, 2, 4); f && !testPattern_) words << tr(kFlowWords[f - 2]).arg(tr(word));
    return words.join(QStringLiteral(", "));
}

void DisplayPanel::publishReading(int64_t nowMs) {
    const QString legends = legendText();
    if (accessibleDescription() != legends) setAccessibleDescription(legends);
    const QString reading = readingText();
    if (accessibleName() == reading) return;
    // A level that changes every 100 ms would drown a screen reader.
    if (readingPublished_ && nowMs >= readingPublishedMs_ && nowMs - readingPublishedMs_ < 1000) return;
    setAccessibleName(reading);
    readingPublishedMs_ = nowMs;
    readingPublished_ = true;
}

void DisplayPanel::paintEvent(QPaintEvent* event) {
    QPainter p(this);
    p.setClipRegion(event->region());
    p.fillRect(rect(), kLcdFace);
    p.drawImage(0, 0, images_.Background);
    for (Element e : kPaintOrder) {
        const Item& it = items_[e];
        if (!it.shown) continue;
        const QRect r = elementRect(e);
        if (!event->region().intersects(r)) continue;
        if (const ImageList* list = listOf(e)) {
            if (list->has(it.index)) p.drawPixmap(r.topLeft(), list->pixmap(it.index));
        } else {
            p.drawPixmap(r.topLeft(), e == imgDecimalPoint ? point_ : e == imgSymbolDBA ? dba_ : auto_);
        }
    }
    if (hasFocus()) {
        QStyleOptionFocusRect o;
        o.initFrom(this);
        o.rect = rect().adjusted(1, 1, -1, -1);
        o.backgroundColor = kLcdFace;
        // Styles draw it only once a key moved the focus; here the focus starts, and is seen there.
        o.state |= QStyle::State_KeyboardFocusChange;
        style()->drawPrimitive(QStyle::PE_FrameFocusRect, &o, &p, this);
    }
}

}  // namespace kestro
