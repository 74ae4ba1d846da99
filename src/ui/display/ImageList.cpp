#include "ui/display/ImageList.h"

#include "ui/display/PictureError.h"

#include <QBitmap>

namespace kestro {

ImageList::ImageList(QSize size, QColor key) : size_(size), key_(key) {}

int ImageList::Add(const QImage& image, const QString& key) {
    Item item;
    item.key = key;
    item.image = (image.size() == size_ ? image : image.scaled(size_)).convertToFormat(QImage::Format_RGB32);
    item.keyed = Keyed(item.image, key_);
    items_.push_back(std::move(item));
    return Count();
}

QPixmap ImageList::Keyed(const QImage& image, const QColor& key) {
    QPixmap pm = QPixmap::fromImage(image);
    pm.setMask(QBitmap::fromImage(image.createMaskFromColor(key.rgb(), Qt::MaskInColor)));
    return pm;
}

int ImageList::IndexOf(const QString& key) const {
    for (int i = 0; i < Count(); ++i)
        if (items_[static_cast<size_t>(i)].key == key) return i + 1;
    return 0;
}

QString ImageList::Key(int index) const { return At(index).key; }

const ImageList::Item& ImageList::At(int index) const {
    if (!Has(index)) throw PictureError(kErrInvalidPicture, "no picture with index " + std::to_string(index));
    return items_[static_cast<size_t>(index - 1)];
}

const QImage& ImageList::Image(int index) const { return At(index).image; }

const QImage& ImageList::Image(const QString& key) const {
    const int i = IndexOf(key);
    if (i == 0) throw PictureError(kErrInvalidPicture, "no picture with key " + key.toStdString());
    return At(i).image;
}

const QPixmap& ImageList::Pixmap(int index) const { return At(index).keyed; }

}  // namespace kestro
