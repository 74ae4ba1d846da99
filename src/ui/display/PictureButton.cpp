#include "ui/display/PictureButton.h"

#include "ui/display/PictureError.h"

#include <QEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QStyle>
#include <QStyleOptionFocusRect>

namespace kestro {

PictureButton::PictureButton(const ImageList& pictures, const QString& name, QWidget* parent)
    : QAbstractButton(parent), pictures_(pictures) {
    setObjectName(name);
    setFixedSize(33, 25);
    // Tab reaches the key; a mouse click leaves the focus where it was.
    setFocusPolicy(Qt::TabFocus);
    // Space, the shortcut and assistive technologies press through the button's
    // own machinery; the mouse is handled below.
    connect(this, &QAbstractButton::pressed, this, [this] { press(); });
    connect(this, &QAbstractButton::released, this, [this] { release(); });
}

void PictureButton::setPicture(const QString& key) {
    const int i = pictures_.indexOf(key);
    if (i == 0) throw PictureError(kErrInvalidPicture, "no key picture " + key.toStdString());
    if (i == index_) return;
    key_ = key;
    index_ = i;
    update();
}

void PictureButton::press() {
    if (held_) return;
    held_ = true;
    if (onMouseDown) onMouseDown();
}

void PictureButton::release() {
    if (!held_) return;
    held_ = false;
    if (onMouseUp) onMouseUp();
}

void PictureButton::paintEvent(QPaintEvent*) {
    QPainter p(this);
    if (pictures_.has(index_)) {
        const QSize s = pictures_.imageSize();
        p.drawPixmap((width() - s.width()) / 2, (height() - s.height()) / 2, pictures_.pixmap(index_));
    }
    if (hasFocus()) {
        QStyleOptionFocusRect o;
        o.initFrom(this);
        o.backgroundColor = palette().color(QPalette::Window);
        style()->drawPrimitive(QStyle::PE_FrameFocusRect, &o, &p, this);
    }
}

// Any mouse button acts, and a press stays one press wherever the mouse goes
// until it is let go (the record key toggles: a second press would undo it).
void PictureButton::mousePressEvent(QMouseEvent* event) {
    event->accept();
    press();
}

void PictureButton::mouseReleaseEvent(QMouseEvent* event) {
    event->accept();
    release();
}

void PictureButton::mouseMoveEvent(QMouseEvent* event) { event->accept(); }

void PictureButton::changeEvent(QEvent* event) {
    // A key disabled while held never sees its release.
    if (event->type() == QEvent::EnabledChange && !isEnabled()) held_ = false;
    QAbstractButton::changeEvent(event);
}

}  // namespace kestro
