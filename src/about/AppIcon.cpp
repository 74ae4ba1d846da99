#include "about/AppIcon.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>

namespace kestro {

QImage kestroAppImage(int size) {
    if (size < 1) return QImage();
    QImage img(size, size, QImage::Format_ARGB32_Premultiplied);
    img.fill(Qt::transparent);
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);
    // Drawn on a 100 x 100 grid so every size has the same proportions.
    p.scale(size / 100.0, size / 100.0);

    // Instrument body.
    QLinearGradient body(0, 0, 0, 100);
    body.setColorAt(0.0, QColor(66, 78, 94));
    body.setColorAt(1.0, QColor(30, 36, 45));
    p.setPen(QPen(QColor(20, 24, 30), 2));
    p.setBrush(body);
    p.drawRoundedRect(QRectF(4, 4, 92, 92), 16, 16);

    // Display panel.
    const QRectF lcd(13, 14, 74, 48);
    QLinearGradient glass(0, lcd.top(), 0, lcd.bottom());
    glass.setColorAt(0.0, QColor(214, 238, 196));
    glass.setColorAt(1.0, QColor(168, 206, 150));
    p.setPen(QPen(QColor(16, 20, 26), 1.5));
    p.setBrush(glass);
    p.drawRoundedRect(lcd, 5, 5);

    // Faint grid, only where it stays visible.
    if (size >= 32) {
        p.setPen(QPen(QColor(90, 130, 80, 90), 0.8));
        for (int i = 1; i < 4; ++i) {
            const double y = lcd.top() + lcd.height() * i / 4.0;
            p.drawLine(QPointF(lcd.left() + 3, y), QPointF(lcd.right() - 3, y));
        }
    }

    // Sound-level curve over time.
    static const double level[] = {0.62, 0.55, 0.58, 0.40, 0.47, 0.30, 0.36, 0.18,
                                   0.28, 0.45, 0.38, 0.52, 0.44, 0.60, 0.50};
    constexpr int n = sizeof(level) / sizeof(level[0]);
    QPainterPath curve;
    for (int i = 0; i < n; ++i) {
        const QPointF pt(lcd.left() + 5 + (lcd.width() - 10) * i / (n - 1),
                         lcd.top() + 5 + (lcd.height() - 10) * level[i]);
        if (i == 0)
            curve.moveTo(pt);
        else
            curve.lineTo(pt);
    }
    p.setPen(QPen(QColor(22, 74, 34), size >= 32 ? 3.2 : 5.0, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(Qt::NoBrush);
    p.drawPath(curve);

    // Level bar: green, yellow, red segments.
    const QColor seg[] = {QColor(76, 185, 88), QColor(76, 185, 88), QColor(76, 185, 88), QColor(232, 196, 54),
                          QColor(228, 70, 52)};
    p.setPen(Qt::NoPen);
    for (int i = 0; i < 5; ++i) {
        p.setBrush(seg[i]);
        p.drawRoundedRect(QRectF(13 + i * 11.5, 72, 9, 12), 2, 2);
    }
    // Record lamp.
    p.setBrush(QColor(214, 40, 40));
    p.setPen(QPen(QColor(120, 16, 16), 1.2));
    p.drawEllipse(QPointF(81, 78), 6.5, 6.5);
    return img;
}

QIcon kestroAppIcon() {
    QIcon icon;
    for (int s : {16, 24, 32, 48, 64, 128, 256})
        icon.addPixmap(QPixmap::fromImage(kestroAppImage(s)));
    return icon;
}

}  // namespace kestro
