#pragma once
// Test seam for desktop acceptance runs: while KESTRO_UI_MAP names a file, the
// screen positions of the controls a person would click are written there as
// JSON, so a script can drive the real window with the mouse.

#include <QObject>
#include <QString>
#include <QTimer>

class QWidget;

namespace kestro {

class UiMap : public QObject {
    Q_OBJECT
public:
    UiMap(QString path, QObject* parent = nullptr);

private:
    void write();
    QString path_;
    QTimer timer_;
};

}  // namespace kestro
