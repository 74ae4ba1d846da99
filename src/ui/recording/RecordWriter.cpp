#include "ui/recording/RecordWriter.h"

#include "shell/AppendFile.h"

#include "ui/recording/RecordFormat.h"

#include <QFile>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <cerrno>
#include <cstring>

namespace kestro {

int32_t RecordErrorNumber(int e) {
    switch (e) {
        case ENOENT:
        case ENOTDIR:
            return kErrPathNotFound;
        case ENOSPC:
        case EDQUOT:
        case EFBIG:
            return kErrDiskFull;
        case EIO:
        case ENXIO:
        case ENODEV:
            return kErrDeviceIO;
        case EMFILE:
        case ENFILE:
            return kErrTooManyFiles;
        case ENAMETOOLONG:
            return kErrBadFileName;
        default:
            return kErrPathAccess;
    }
}

namespace {

WriteOutcome Failure(int e) {
    WriteOutcome o;
    o.err = RecordErrorNumber(e);
    o.sysErrno = e;
    o.reason = QString::fromLocal8Bit(std::strerror(e));
    return o;
}

}  // namespace

WriteOutcome RecordWriter::WriteBatch(const QString& path, const QByteArray& bytes, qsizetype* written) {
    *written = 0;
    if (path.isEmpty()) {
        WriteOutcome o;
        o.err = kErrBadFileName;
        o.sysErrno = ENOENT;
        o.reason = QStringLiteral("no record file name");
        return o;
    }
    const int fd = OpenForAppend(path);
    if (fd < 0) return Failure(errno);

    struct stat st {};
    const bool regular = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
    const off_t before = regular ? st.st_size : 0;

    int err = 0;
    qsizetype done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.constData() + done, static_cast<size_t>(bytes.size() - done));
        if (n < 0) {
            if (errno == EINTR) continue;
            err = errno;
            break;
        }
        if (n == 0) {
            err = ENOSPC;
            break;
        }
        done += n;
    }
    // Sync only what was written; special files (no sync) report EINVAL/EROFS.
    if (err == 0 && !bytes.isEmpty() && ::fdatasync(fd) != 0 && errno != EINVAL && errno != EROFS) err = errno;
    if (err != 0 && done > 0) {
        // Take the part of the batch back so the file never ends in half a
        // line; when that is impossible, report what stays on disk.
        if (!(regular && ::ftruncate(fd, before) == 0)) *written = done;
    }
    if (::close(fd) != 0 && err == 0 && errno != EINTR) err = errno;
    return err == 0 ? WriteOutcome{} : Failure(err);
}

WriteOutcome RecordWriter::Append(const QString& path, const QByteArray& bytes) {
    auto it = held_.begin();
    while (it != held_.end() && it->first != path)
        ++it;
    QByteArray batch;
    if (it != held_.end()) {
        batch = it->second;
        batch.append(bytes);
    } else {
        batch = bytes;
    }
    qsizetype written = 0;
    const WriteOutcome o = WriteBatch(path, batch, &written);
    if (o.ok()) {
        if (it != held_.end()) held_.erase(it);
        return o;
    }
    // Nothing can ever be written under an empty name: do not hold it.
    if (path.isEmpty()) return o;
    batch.remove(0, written);
    if (it != held_.end()) {
        if (batch.isEmpty())
            held_.erase(it);
        else
            it->second = std::move(batch);
    } else if (!batch.isEmpty()) {
        held_.emplace_back(path, std::move(batch));
    }
    return o;
}

QStringList RecordWriter::HeldPaths() const {
    QStringList out;
    for (const auto& h : held_)
        out << h.first;
    return out;
}

qsizetype RecordWriter::HeldBytes(const QString& path) const {
    for (const auto& h : held_)
        if (h.first == path) return h.second.size();
    return 0;
}

qsizetype RecordWriter::HeldBytes() const {
    qsizetype n = 0;
    for (const auto& h : held_)
        n += h.second.size();
    return n;
}

}  // namespace kestro
