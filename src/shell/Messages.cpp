#include "shell/Messages.h"

#include <QGuiApplication>
#include <QMessageBox>

#include <cstdio>

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

void StderrMessageSink::ShowMessage(const QString& text, const QString& detail) {
    QString out = QStringLiteral("KestroRecorder: ") + text + QLatin1Char('\n');
    if (!detail.isEmpty()) out += detail + QLatin1Char('\n');
    const QByteArray bytes = out.toLocal8Bit();
    std::fwrite(bytes.constData(), 1, static_cast<size_t>(bytes.size()), stderr);
    std::fflush(stderr);
}

}  // namespace kestro
