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
    showBox(text, detail, QMessageBox::Ok);
}

bool DialogMessageSink::ask(const QString& text) {
    return showBox(text, QString(), QMessageBox::Ok | QMessageBox::Cancel) == QMessageBox::Ok;
}

int DialogMessageSink::showBox(const QString& text, const QString& detail, int buttons) {
    // The box belongs to the window the user is in, and the focus goes back
    // where it was: a keyboard user must not be left in another window.
    const QPointer<QWidget> focus = QApplication::focusWidget();
    QWidget* owner = QApplication::activeWindow() ? QApplication::activeWindow() : parent_;
    QMessageBox box(QMessageBox::NoIcon, applicationTitle(), text, QMessageBox::StandardButtons(buttons), owner);
    if (!detail.isEmpty()) box.setDetailedText(detail);
    const int answer = box.exec();
    if (focus) {
        focus->activateWindow();
        focus->setFocus(Qt::PopupFocusReason);
    }
    return answer;
}

}  // namespace kestro
