#pragma once
// What a test reads back from a file it had the program write.

#include <QByteArray>
#include <QFile>
#include <QString>

namespace kestro {

// The file's bytes; empty when it cannot be read.
inline QByteArray fileBytes(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

}  // namespace kestro
