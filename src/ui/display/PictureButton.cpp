#include "ui/display/PictureButton.h"

#include "ui/display/PictureError.h"

#include <QEvent>
#include <QMouseEvent>
#include <QPainter>

namespace kestro {

PictureButton::PictureButton(const ImageList& pictures, const QString& name, QWidget* parent)
    : QWidget(parent), pictures_(pictures) {
    setObjectName(name);
    setFixedSize(33, 25);
    setAttribute(Qt::WA_TranslucentBackground, false);
}

void PictureButton::SetPicture(const QString& key) {
    const int i = pictures_.IndexOf(key);
    if (i == 0) throw PictureError(kErrInvalidPicture, "no key picture " + key.toStdString());
    if (i == index_) return;
    key_ = key;
    index_ = i;
    update();
}

void PictureButton::paintEvent(QPaintEvent*) {
    if (!pictures_.Has(index_)) return;
    QPainter p(this);
    const QSize s = pictures_.ImageSize();
    p.drawPixmap((width() - s.width()) / 2, (height() - s.height()) / 2, pictures_.Pixmap(index_));
}

void PictureButton::mousePressEvent(QMouseEvent* event) {
    event->accept();
    held_ = true;
    if (onMouseDown) onMouseDown();
}

void PictureButton::mouseReleaseEvent(QMouseEvent* event) {
    event->accept();
    if (!held_) return;
    held_ = false;
    if (onMouseUp) onMouseUp();
}

void PictureButton::changeEvent(QEvent* event) {
    // A key disabled while held never sees its release.
    if (event->type() == QEvent::EnabledChange && !isEnabled()) held_ = false;
    QWidget::changeEvent(event);
}

}  // namespace kestro
