#include "ui/display/Pictures.h"

#include <QFont>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QPolygonF>
#include <QRadialGradient>

namespace kestro {
namespace {

const QColor kInk{26, 29, 34};       // a lit segment or legend
const QColor kGhost{213, 214, 215};  // an unlit segment, faintly visible as on a real panel

QImage canvas(int w, int h, const QColor& face) {
    QImage img(w, h, QImage::Format_RGB32);
    img.fill(face);
    return img;
}

QFont legendFont(int pixelSize, int weight = QFont::Bold) {
    QFont f(QStringLiteral("DejaVu Sans"));
    f.setPixelSize(pixelSize);
    f.setWeight(static_cast<QFont::Weight>(weight));
    f.setHintingPreference(QFont::PreferFullHinting);
    return f;
}

// ---- seven segments ----

constexpr int kSegA = 1, kSegB = 2, kSegC = 4, kSegD = 8, kSegE = 16, kSegF = 32, kSegG = 64;

// Segment bits of the digit list, by index - 1.
constexpr int kDigitSegments[15] = {
    kSegA | kSegB | kSegC | kSegD | kSegE | kSegF,          // 0
    kSegB | kSegC,                                          // 1
    kSegA | kSegB | kSegD | kSegE | kSegG,                  // 2
    kSegA | kSegB | kSegC | kSegD | kSegG,                  // 3
    kSegB | kSegC | kSegF | kSegG,                          // 4
    kSegA | kSegC | kSegD | kSegF | kSegG,                  // 5
    kSegA | kSegC | kSegD | kSegE | kSegF | kSegG,          // 6
    kSegA | kSegB | kSegC,                                  // 7
    kSegA | kSegB | kSegC | kSegD | kSegE | kSegF | kSegG,  // 8
    kSegA | kSegB | kSegC | kSegD | kSegF | kSegG,          // 9
    0,                                                      // blank
    kSegD,                                                  // bottom segment
    kSegA,                                                  // top segment
    kSegA | kSegD | kSegE | kSegF | kSegG,                  // E
    kSegE | kSegG,                                          // r
};

QPolygonF horizontalSegment(double x1, double x2, double y, double ht, double gap) {
    return QPolygonF({{x1 + gap, y},
                      {x1 + gap + ht, y - ht},
                      {x2 - gap - ht, y - ht},
                      {x2 - gap, y},
                      {x2 - gap - ht, y + ht},
                      {x1 + gap + ht, y + ht}});
}

QPolygonF verticalSegment(double x, double y1, double y2, double ht, double gap) {
    return QPolygonF({{x, y1 + gap},
                      {x + ht, y1 + gap + ht},
                      {x + ht, y2 - gap - ht},
                      {x, y2 - gap},
                      {x - ht, y2 - gap - ht},
                      {x - ht, y1 + gap + ht}});
}

QImage digitPicture(int segments) {
    QImage img = canvas(42, 64, kLcdFace);
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::NoPen);
    // Slanted like the instrument's glyphs: the top leans to the right.
    const double cx = 22, cy = 32;
    QTransform slant;
    slant.translate(cx, cy);
    slant.shear(-0.11, 0);
    slant.translate(-cx, -cy);
    p.setTransform(slant);

    const double L = 11, R = 35, T = 6, B = 58, M = (T + B) / 2, ht = 3.2, gap = 1.1;
    const QPolygonF segs[7] = {
        horizontalSegment(L, R, T, ht, gap),  // a
        verticalSegment(R, T, M, ht, gap),    // b
        verticalSegment(R, M, B, ht, gap),    // c
        horizontalSegment(L, R, B, ht, gap),  // d
        verticalSegment(L, M, B, ht, gap),    // e
        verticalSegment(L, T, M, ht, gap),    // f
        horizontalSegment(L, R, M, ht, gap),  // g
    };
    for (int s = 0; s < 7; ++s) {
        p.setBrush((segments & (1 << s)) ? kInk : kGhost);
        p.drawPolygon(segs[s]);
    }
    return img;
}

// ---- legends ----

QImage textPicture(int w, int h, const QString& text, int pixelSize, Qt::Alignment align = Qt::AlignCenter) {
    QImage img = canvas(w, h, kLcdFace);
    QPainter p(&img);
    p.setRenderHint(QPainter::TextAntialiasing);
    p.setFont(legendFont(pixelSize));
    p.setPen(kInk);
    p.drawText(QRect(0, 0, w, h), static_cast<int>(align), text);
    return img;
}

// Legend flags for the mode list: 1 CAL, 2 MAX, 4 LEQ.
QImage modePicture(int legends) {
    QImage img = canvas(115, 21, kLcdFace);
    QPainter p(&img);
    p.setRenderHint(QPainter::TextAntialiasing);
    p.setFont(legendFont(13));
    p.setPen(kInk);
    const QString names[3] = {QStringLiteral("CAL"), QStringLiteral("MAX"), QStringLiteral("LEQ")};
    for (int i = 0; i < 3; ++i)
        if (legends & (1 << i)) p.drawText(QRect(2 + i * 37, 0, 37, 21), Qt::AlignCenter, names[i]);
    return img;
}

// Range brackets over a 30-130 dB scale; bits 1, 2, 4 select the three ranges.
QImage rangePicture(int brackets) {
    QImage img = canvas(221, 30, kLcdFace);
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::TextAntialiasing);
    auto x = [](int db) {
        return 9.0 + (db - 30) * 2.03;
    };
    const QString labels[3] = {QStringLiteral("30 - 90 dB"), QStringLiteral("50 - 110 dB"),
                               QStringLiteral("70 - 130 dB")};
    QFont f = legendFont(8, QFont::DemiBold);
    p.setFont(f);
    for (int i = 0; i < 3; ++i) {
        if (!(brackets & (1 << i))) continue;
        const double x1 = x(30 + 20 * i), x2 = x(90 + 20 * i), y = 2.0 + 9.5 * i;
        QPainterPath bracket;
        bracket.moveTo(x1, y + 7);
        bracket.lineTo(x1, y);
        bracket.lineTo(x2, y);
        bracket.lineTo(x2, y + 7);
        p.setPen(QPen(kInk, 2.0, Qt::SolidLine, Qt::FlatCap, Qt::MiterJoin));
        p.setBrush(Qt::NoBrush);
        p.drawPath(bracket);
        p.setPen(kInk);
        p.drawText(QRectF(x1 + 3, y + 1, x2 - x1 - 6, 8.5), Qt::AlignCenter, labels[i]);
    }
    return img;
}

// Overflow (up) and underflow (down) triangles. kind: 0 nothing, 1 small filled,
// 2 outlined, 3 outlined with the filled one inside.
QImage trianglePicture(int kind, bool up) {
    QImage img = canvas(35, 20, kLcdFace);
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);
    auto flip = [up](QPolygonF poly) {
        if (!up)
            for (QPointF& pt : poly)
                pt.setY(20 - pt.y());
        return poly;
    };
    const QPolygonF outer = flip(QPolygonF({{8.0, 1.5}, {1.0, 18.0}, {15.0, 18.0}}));
    const QPolygonF inner = flip(QPolygonF({{8.0, 8.0}, {4.5, 15.5}, {11.5, 15.5}}));
    if (kind == 2 || kind == 3) {
        p.setPen(QPen(kInk, 1.6, Qt::SolidLine, Qt::RoundCap, Qt::MiterJoin));
        p.setBrush(Qt::NoBrush);
        p.drawPolygon(outer);
    }
    if (kind == 1 || kind == 3) {
        p.setPen(Qt::NoPen);
        p.setBrush(kInk);
        p.drawPolygon(inner);
    }
    return img;
}

QImage batteryPicture(int bars) {
    QImage img = canvas(32, 14, kLcdFace);
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(kInk, 1.5));
    p.setBrush(Qt::NoBrush);
    p.drawRoundedRect(QRectF(1.5, 1.5, 25, 11), 1.5, 1.5);
    p.setPen(Qt::NoPen);
    p.setBrush(kInk);
    p.drawRect(QRectF(27, 4.5, 3, 5));
    for (int i = 0; i < bars; ++i)
        p.drawRect(QRectF(4 + i * 11, 4, 9, 6));
    return img;
}

QImage backgroundPicture() {
    QImage img = canvas(244, 163, kLcdFace);
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);
    // A faint inner shadow along the top and left edge, as under a window of glass.
    p.setPen(QPen(QColor(196, 197, 199), 1.0));
    p.drawLine(QPointF(0.5, 0.5), QPointF(243.5, 0.5));
    p.drawLine(QPointF(0.5, 0.5), QPointF(0.5, 162.5));
    p.setPen(QPen(QColor(210, 211, 213), 1.0));
    p.drawLine(QPointF(1.5, 1.5), QPointF(242.5, 1.5));
    p.drawLine(QPointF(1.5, 1.5), QPointF(1.5, 161.5));
    return img;
}

// ---- front-panel keys ----

enum class KeyLook { Released, Pressed, Disabled, DisabledPressed };
enum class KeyIcon { Power, RecordOff, RecordOn, Stop };

QImage keyPicture(KeyIcon icon, KeyLook look) {
    QImage img = canvas(30, 24, kToolbarFace);
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);
    const bool pressed = look == KeyLook::Pressed || look == KeyLook::DisabledPressed;
    const bool greyed = look == KeyLook::Disabled || look == KeyLook::DisabledPressed;
    const QPointF shift = pressed ? QPointF(1, 1) : QPointF(0, 0);
    const QRectF body = QRectF(1.5, 1.5, 26, 20).translated(shift);

    if (!pressed) {  // drop shadow of a raised key
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(0, 0, 0, 40));
        p.drawRoundedRect(body.translated(1, 1), 4, 4);
    }
    QLinearGradient face(body.topLeft(), body.bottomLeft());
    if (greyed && !pressed) {
        face.setColorAt(0, QColor(240, 241, 242));
        face.setColorAt(1, QColor(226, 227, 229));
    } else if (pressed) {
        face.setColorAt(0, QColor(178, 181, 186));
        face.setColorAt(1, QColor(204, 206, 210));
    } else {
        face.setColorAt(0, QColor(252, 252, 253));
        face.setColorAt(1, QColor(208, 210, 214));
    }
    p.setBrush(face);
    p.setPen(QPen(greyed && !pressed ? QColor(182, 184, 188) : QColor(104, 108, 116), 1.0));
    p.drawRoundedRect(body, 4, 4);

    const QPointF c = body.center();
    const QColor muted(168, 170, 174);
    switch (icon) {
        case KeyIcon::Power: {
            const QColor ink = greyed ? muted : QColor(34, 112, 58);
            p.setPen(QPen(ink, 2.0, Qt::SolidLine, Qt::RoundCap));
            p.setBrush(Qt::NoBrush);
            const QRectF ring(c.x() - 6, c.y() - 5.5, 12, 12);
            p.drawArc(ring, 120 * 16, 300 * 16);
            p.drawLine(QPointF(c.x(), c.y() - 7), QPointF(c.x(), c.y() - 0.5));
            break;
        }
        case KeyIcon::RecordOff:
        case KeyIcon::RecordOn: {
            const bool lit = icon == KeyIcon::RecordOn && !greyed;
            if (lit) {  // the armed key glows
                QRadialGradient glow(c, 9);
                glow.setColorAt(0, QColor(255, 60, 50, 150));
                glow.setColorAt(1, QColor(255, 60, 50, 0));
                p.setPen(Qt::NoPen);
                p.setBrush(glow);
                p.drawEllipse(c, 9, 9);
            }
            QRadialGradient dot(c - QPointF(1.5, 1.5), 6);
            if (greyed) {
                dot.setColorAt(0, QColor(196, 186, 186));
                dot.setColorAt(1, QColor(170, 160, 160));
            } else if (lit) {
                dot.setColorAt(0, QColor(255, 150, 140));
                dot.setColorAt(1, QColor(222, 20, 20));
            } else {
                dot.setColorAt(0, QColor(176, 70, 70));
                dot.setColorAt(1, QColor(120, 24, 24));
            }
            p.setPen(QPen(greyed ? muted : QColor(90, 16, 16), 0.8));
            p.setBrush(dot);
            p.drawEllipse(c, 5.0, 5.0);
            break;
        }
        case KeyIcon::Stop: {
            p.setPen(Qt::NoPen);
            p.setBrush(greyed ? muted : QColor(44, 47, 54));
            p.drawRoundedRect(QRectF(c.x() - 4.5, c.y() - 4.5, 9, 9), 1.2, 1.2);
            break;
        }
    }
    return img;
}

}  // namespace

int segmentsOfDigitPicture(int index) { return index >= 1 && index <= 15 ? kDigitSegments[index - 1] : 0; }

DisplayImages::DisplayImages()
    : imlDigitalNumbers({42, 64}, kLcdFace),
      imlMode({115, 21}, kLcdFace),
      imlRange({221, 30}, kLcdFace),
      imlOverflow({35, 20}, kLcdFace),
      imlUnderflow({35, 20}, kLcdFace),
      imlBatteryState({32, 14}, kLcdFace) {
    for (int i = 1; i <= 15; ++i)
        imlDigitalNumbers.add(digitPicture(segmentsOfDigitPicture(i)));
    for (int legends : {7, 0, 4, 2, 1, 0})
        imlMode.add(modePicture(legends));
    for (int brackets : {1, 2, 4, 0, 7})
        imlRange.add(rangePicture(brackets));
    for (int kind = 0; kind < 4; ++kind) {
        imlOverflow.add(trianglePicture(kind, true));
        imlUnderflow.add(trianglePicture(kind, false));
    }
    for (int bars = 0; bars < 3; ++bars)
        imlBatteryState.add(batteryPicture(bars));

    DecimalPoint = canvas(11, 12, kLcdFace);
    {
        QPainter p(&DecimalPoint);
        p.setRenderHint(QPainter::Antialiasing);
        p.setPen(Qt::NoPen);
        p.setBrush(kInk);
        p.drawRoundedRect(QRectF(2, 3, 6.5, 6.5), 1.2, 1.2);
    }
    SymbolDBA = textPicture(40, 19, QStringLiteral("dBA"), 16);
    Auto = textPicture(47, 17, QStringLiteral("AUTO"), 14);
    Background = backgroundPicture();
}

ImageList makeToolbarImages() {
    ImageList list({30, 24}, kToolbarFace);
    list.add(keyPicture(KeyIcon::Power, KeyLook::Released), QStringLiteral("Power"));
    list.add(keyPicture(KeyIcon::Power, KeyLook::Pressed), QStringLiteral("PowerPressed"));
    list.add(keyPicture(KeyIcon::Power, KeyLook::Disabled), QStringLiteral("PowerDisabled"));
    list.add(keyPicture(KeyIcon::RecordOff, KeyLook::Released), QStringLiteral("RecordStopped"));
    list.add(keyPicture(KeyIcon::RecordOff, KeyLook::Pressed), QStringLiteral("RecordStoppedPressed"));
    list.add(keyPicture(KeyIcon::RecordOn, KeyLook::Released), QStringLiteral("RecordStarted"));
    list.add(keyPicture(KeyIcon::RecordOn, KeyLook::Pressed), QStringLiteral("RecordStartedPressed"));
    list.add(keyPicture(KeyIcon::RecordOff, KeyLook::Disabled), QStringLiteral("RecordStoppedDisabled"));
    list.add(keyPicture(KeyIcon::Stop, KeyLook::Released), QStringLiteral("StopRecord"));
    list.add(keyPicture(KeyIcon::Stop, KeyLook::Pressed), QStringLiteral("StopRecordPressed"));
    list.add(keyPicture(KeyIcon::Stop, KeyLook::Disabled), QStringLiteral("StopRecordDisabled"));
    list.add(keyPicture(KeyIcon::Stop, KeyLook::DisabledPressed), QStringLiteral("StopRecordDisabledPressed"));
    return list;
}

ImageList makeConnectionStateImages() {
    const QColor face = kToolbarFace;
    ImageList list({16, 16}, face);
    for (bool connected : {false, true}) {
        QImage img = canvas(16, 16, face);
        QPainter p(&img);
        p.setRenderHint(QPainter::Antialiasing);
        const QColor ink = connected ? QColor(30, 132, 62) : QColor(120, 124, 130);
        const double gap = connected ? 0.0 : 2.5;
        // cable and plug body
        p.setPen(QPen(ink, 1.6, Qt::SolidLine, Qt::RoundCap));
        p.drawLine(QPointF(0.8, 8), QPointF(3.5 - gap, 8));
        p.setPen(Qt::NoPen);
        p.setBrush(ink);
        p.drawRoundedRect(QRectF(3.5 - gap, 4.5, 4.5, 7), 1, 1);
        p.drawRect(QRectF(8 - gap, 5.8, 2.6, 1.4));
        p.drawRect(QRectF(8 - gap, 8.8, 2.6, 1.4));
        // socket and its cable
        p.drawRoundedRect(QRectF(10.6 + gap * 0.6, 4.0, 3.0, 8), 1, 1);
        p.setPen(QPen(ink, 1.6, Qt::SolidLine, Qt::RoundCap));
        p.drawLine(QPointF(13.6 + gap * 0.6, 8), QPointF(15.2, 8));
        if (!connected) {  // a red stroke through the gap
            p.setPen(QPen(QColor(206, 40, 36), 1.6, Qt::SolidLine, Qt::RoundCap));
            p.drawLine(QPointF(7.0, 13.5), QPointF(10.5, 2.5));
        }
        list.add(img);
    }
    return list;
}

}  // namespace kestro
