#include "shell/Messages.h"

#include <QStringList>

#include <sys/stat.h>
#include <cstdio>
#include <cstdlib>

namespace kestro {

bool isJournalStream(const QByteArray& journalStream, unsigned long long device, unsigned long long inode) {
    const QList<QByteArray> parts = journalStream.split(':');
    if (parts.size() != 2) return false;
    bool okDevice = false;
    bool okInode = false;
    const unsigned long long d = parts[0].toULongLong(&okDevice);
    const unsigned long long i = parts[1].toULongLong(&okInode);
    return okDevice && okInode && d == device && i == inode;
}

QByteArray stderrLine(Priority priority, const QString& text, bool journal) {
    QStringList parts = text.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    QByteArray line = journal ? "<" + QByteArray::number(int(priority)) + ">" : QByteArray();
    line += "KestroRecorder: " + parts.join(QStringLiteral("; ")).toLocal8Bit() + '\n';
    return line;
}

void writeStderrLine(Priority priority, const QString& text) {
    struct stat st {};
    const char* stream = std::getenv("JOURNAL_STREAM");
    const bool journal = stream && ::fstat(2, &st) == 0 && isJournalStream(stream, st.st_dev, st.st_ino);
    const QByteArray bytes = stderrLine(priority, text, journal);
    std::fwrite(bytes.constData(), 1, static_cast<size_t>(bytes.size()), stderr);
    std::fflush(stderr);
}

void StderrMessageSink::showMessage(const QString& text, const QString& detail) {
    writeStderrLine(Priority::Error, detail.isEmpty() ? text : text + QLatin1Char(' ') + detail);
}

bool StderrMessageSink::ask(const QString& text) {
    // Nobody can answer here: say what happens, and go on as if agreed.
    writeStderrLine(Priority::Warning, text);
    return true;
}

}  // namespace kestro
