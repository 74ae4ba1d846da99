#pragma once
// A front-panel key: a picture from an image list chosen by key, with press
// and release reported to the window. It is a real button: reachable with Tab,
// pressed with Space, its shortcut or an assistive technology as well as with
// any mouse button. A disabled key receives no presses.

#include "ui/display/ImageList.h"

#include <QAbstractButton>
#include <QString>
#include <functional>

namespace kestro {

class PictureButton : public QAbstractButton {
    Q_OBJECT
public:
    PictureButton(const ImageList& pictures, const QString& name, QWidget* parent = nullptr);

    // Throws PictureError when the list has no such key; the picture stays.
    void setPicture(const QString& key);
    QString pictureKey() const { return key_; }
    // Between a press and its release.
    bool isHeld() const { return held_; }

    // Press and release, whatever pressed the key.
    std::function<void()> onMouseDown;
    std::function<void()> onMouseUp;

    QSize sizeHint() const override { return {33, 25}; }

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void changeEvent(QEvent* event) override;
    // A press does not toggle a checkable key: its owner sets the state the press produced.
    void nextCheckState() override {}

private:
    void press();
    void release();

    const ImageList& pictures_;
    QString key_;
    int index_ = 0;
    bool held_ = false;
};

}  // namespace kestro
