#include "app/DialogMessageSink.h"

#include <QGuiApplication>
#include <QMessageBox>

namespace kestro {

namespace {
QString ApplicationTitle() {
    const QString name = QGuiApplication::applicationDisplayName();
    return name.isEmpty() ? QStringLiteral("KestroRecorder") : name;
}
}  // namespace

void DialogMessageSink::ShowMessage(const QString& text, const QString& detail) {
    QMessageBox box(QMessageBox::NoIcon, ApplicationTitle(), text, QMessageBox::Ok, parent_);
    if (!detail.isEmpty()) box.setDetailedText(detail);
    box.exec();
}

}  // namespace kestro
