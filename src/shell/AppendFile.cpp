#include "shell/AppendFile.h"

#include <QFile>

#include <fcntl.h>
#include <cerrno>

namespace kestro {

int openForAppend(const QString& path) {
    const QByteArray native = QFile::encodeName(path);
    int fd;
    do {
        fd = ::open(native.constData(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0644);
    } while (fd < 0 && errno == EINTR);
    return fd;
}

}  // namespace kestro
