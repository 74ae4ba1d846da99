#include "desktop/DialogMessageSink.h"

#include <QApplication>
#include <QMessageBox>
#include <QPointer>

namespace kestro {

namespace {
QString applicationTitle() {
    const QString name = QApplication::applicationDisplayName();
    return name.isEmpty() ? QStringLiteral("KestroRecorder") : name;
}
}  // namespace

void DialogMessageSink::showMessage(const QString& text, const QString& detail) {
    // The box belongs to the window the user is in, and the focus goes back
    // where it was: a keyboard user must not be left in another window.
    const QPointer<QWidget> focus = QApplication::focusWidget();
    QWidget* owner = QApplication::activeWindow() ? QApplication::activeWindow() : parent_;
    QMessageBox box(QMessageBox::NoIcon, applicationTitle(), text, QMessageBox::Ok, owner);
    if (!detail.isEmpty()) box.setDetailedText(detail);
    box.exec();
    if (focus) {
        focus->activateWindow();
        focus->setFocus(Qt::PopupFocusReason);
    }
}

}  // namespace kestro
