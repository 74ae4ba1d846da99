#include "ui/display/ImageList.h"

#include "ui/display/PictureError.h"

#include <QBitmap>

namespace kestro {

ImageList::ImageList(QSize size, QColor key) : size_(size), key_(key) {}

int ImageList::add(const QImage& image, const QString& key) {
    Item item;
    item.key = key;
    item.image = (image.size() == size_ ? image : image.scaled(size_)).convertToFormat(QImage::Format_RGB32);
    item.keyed = keyed(item.image, key_);
    items_.push_back(std::move(item));
    return count();
}

QPixmap ImageList::keyed(const QImage& image, const QColor& key) {
    QPixmap pm = QPixmap::fromImage(image);
    pm.setMask(QBitmap::fromImage(image.createMaskFromColor(key.rgb(), Qt::MaskInColor)));
    return pm;
}

int ImageList::indexOf(const QString& key) const {
    for (int i = 0; i < count(); ++i)
        if (items_[static_cast<size_t>(i)].key == key) return i + 1;
    return 0;
}

QString ImageList::key(int index) const { return at(index).key; }

const ImageList::Item& ImageList::at(int index) const {
    if (!has(index)) throw PictureError(kErrInvalidPicture, "no picture with index " + std::to_string(index));
    return items_[static_cast<size_t>(index - 1)];
}

const QImage& ImageList::image(int index) const { return at(index).image; }

const QImage& ImageList::image(const QString& key) const {
    const int i = indexOf(key);
    if (i == 0) throw PictureError(kErrInvalidPicture, "no picture with key " + key.toStdString());
    return at(i).image;
}

const QPixmap& ImageList::pixmap(int index) const { return at(index).keyed; }

}  // namespace kestro
