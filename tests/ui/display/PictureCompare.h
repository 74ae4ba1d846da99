#pragma once
// Pixel helpers: ink is what is clearly darker than the face it was drawn on.

#include <QColor>
#include <QImage>

namespace kestro::test {

inline bool isInk(QRgb px, const QColor& face) { return qGray(px) < qGray(face.rgb()) - 60; }

inline int inkCount(const QImage& img, const QColor& face) {
    int n = 0;
    for (int y = 0; y < img.height(); ++y)
        for (int x = 0; x < img.width(); ++x)
            n += isInk(img.pixel(x, y), face);
    return n;
}

inline bool samePixels(const QImage& a, const QImage& b) {
    return a.convertToFormat(QImage::Format_RGB32) == b.convertToFormat(QImage::Format_RGB32);
}

}  // namespace kestro::test
