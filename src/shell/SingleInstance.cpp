#include "shell/SingleInstance.h"

#include "shell/EventLog.h"
#include "shell/Messages.h"

#include <QDir>
#include <QFile>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>
#include <cerrno>
#include <cstring>

namespace kestro {

SingleInstance::SingleInstance(const QString& lockPath) : path_(lockPath) {}

SingleInstance::~SingleInstance() {
    if (fd_ >= 0) ::close(fd_);
}

SingleInstance::Outcome SingleInstance::tryAcquire(int* sysErrno) {
    if (fd_ >= 0) return Outcome::Acquired;
    auto unguarded = [sysErrno](int err) {
        if (sysErrno) *sysErrno = err;
        return Outcome::Unguarded;
    };
    const QByteArray native = QFile::encodeName(path_);
    int fd;
    do {
        fd = ::open(native.constData(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) return unguarded(errno);
    int rc;
    do {
        rc = ::flock(fd, LOCK_EX | LOCK_NB);
    } while (rc != 0 && errno == EINTR);
    if (rc != 0) {
        const int err = errno;
        ::close(fd);
        if (err == EWOULDBLOCK) return Outcome::HeldByAnother;
        return unguarded(err);  // e.g. a file system without locks
    }
    fd_ = fd;
    // The owner's PID, for a person looking; the lock itself is what counts, so
    // a full disk that refuses these bytes changes nothing.
    const QByteArray pid = QByteArray::number(qint64(::getpid())) + '\n';
    if (::ftruncate(fd_, 0) == 0) {
        [[maybe_unused]] const ssize_t n = ::pwrite(fd_, pid.constData(), size_t(pid.size()), 0);
    }
    return Outcome::Acquired;
}

bool ensureSingleInstance(SingleInstance& instance, const EventLog& log, MessageSink& messages) {
    int err = 0;
    switch (instance.tryAcquire(&err)) {
        case SingleInstance::Outcome::Acquired:
            return true;
        case SingleInstance::Outcome::Unguarded:
            log.WriteLog(log.dateTimeText() + QString::fromLatin1(label::kSingleInstance) + QString::number(err) +
                         QStringLiteral(" - no guard against a second instance, the lock file ") + instance.lockPath() +
                         QStringLiteral(" cannot be used: ") + QString::fromLocal8Bit(std::strerror(err)));
            return true;
        case SingleInstance::Outcome::HeldByAnother:
            break;
    }
    messages.showMessage(QStringLiteral("You can start the Measurement viewer only one time!"));
    log.WriteLog(log.dateTimeText() + QString::fromLatin1(label::kSecondInstance));
    return false;
}

}  // namespace kestro
