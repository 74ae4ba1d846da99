#include "shell/Messages.h"

#include <cstdio>

namespace kestro {

void StderrMessageSink::showMessage(const QString& text, const QString& detail) {
    QString out = QStringLiteral("KestroRecorder: ") + text + QLatin1Char('\n');
    if (!detail.isEmpty()) out += detail + QLatin1Char('\n');
    const QByteArray bytes = out.toLocal8Bit();
    std::fwrite(bytes.constData(), 1, static_cast<size_t>(bytes.size()), stderr);
    std::fflush(stderr);
}

bool StderrMessageSink::ask(const QString& text) {
    showMessage(text, QString());
    return true;
}

}  // namespace kestro
