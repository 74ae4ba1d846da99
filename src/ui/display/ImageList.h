#pragma once
// A list of pictures of one size, addressed by 1-based index or by key.

#include <QColor>
#include <QImage>
#include <QPixmap>
#include <QSize>
#include <QString>
#include <vector>

namespace kestro {

class ImageList {
public:
    // key: colour that counts as transparent when a picture is painted over
    // other elements (the background the pictures are drawn on).
    ImageList(QSize size, QColor key);

    // Adds a picture (converted to the list's size and an opaque format); returns its index.
    int add(const QImage& image, const QString& key = QString());

    int count() const { return static_cast<int>(items_.size()); }
    QSize imageSize() const { return size_; }
    bool has(int index) const { return index >= 1 && index <= count(); }
    // 0 when no picture has this key.
    int indexOf(const QString& key) const;
    QString key(int index) const;

    // The picture as stored. Throws PictureError(kErrInvalidPicture) for an index or key without one.
    const QImage& image(int index) const;
    const QImage& image(const QString& key) const;
    // The picture with its key colour transparent, ready to paint.
    const QPixmap& pixmap(int index) const;

    // image as a pixmap whose pixels of colour key are transparent.
    static QPixmap keyed(const QImage& image, const QColor& key);

private:
    struct Item {
        QString key;
        QImage image;
        QPixmap keyed;
    };
    const Item& at(int index) const;

    QSize size_;
    QColor key_;
    std::vector<Item> items_;
};

}  // namespace kestro
