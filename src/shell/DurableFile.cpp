#include "shell/DurableFile.h"

#include <QFile>
#include <QFileInfo>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace kestro {

namespace {

// Writes to a descriptor and keeps the first error. QFile will not do: a
// short write at the end of its flush is not an error there, so a file cut
// at a file size limit passed as complete.
class WriteDevice final : public QIODevice {
public:
    explicit WriteDevice(int fd) : fd_(fd) { open(QIODevice::WriteOnly); }
    // Writes what is buffered; 0 when everything reached the file, else errno.
    int finish() {
        flush();
        return err_;
    }

protected:
    qint64 readData(char*, qint64) override { return -1; }
    qint64 writeData(const char* data, qint64 n) override {
        buffer_.append(data, n);
        if (buffer_.size() >= kBuffer) flush();
        return err_ == 0 ? n : -1;
    }

private:
    static constexpr qsizetype kBuffer = 256 * 1024;
    void flush() {
        qsizetype done = 0;
        while (err_ == 0 && done < buffer_.size()) {
            const ssize_t w = ::write(fd_, buffer_.constData() + done, size_t(buffer_.size() - done));
            if (w > 0)
                done += w;
            else if (w == 0)
                err_ = ENOSPC;
            else if (errno != EINTR)
                err_ = errno;
        }
        buffer_.clear();
    }
    int fd_;
    int err_ = 0;
    QByteArray buffer_;
};

QString systemError(int e) { return QString::fromLocal8Bit(std::strerror(e)); }

// The new name, and with it the file, survives a power cut once the folder is synced.
void syncFolder(const QString& path) {
    const int dir =
        ::open(QFile::encodeName(QFileInfo(path).absolutePath()).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir >= 0) {
        ::fsync(dir);
        ::close(dir);
    }
}

}  // namespace

bool writeFileDurably(const QString& path, const FileContentFn& content, QString* error) {
    const QFileInfo target(path);
    QByteArray temp = QFile::encodeName(target.absolutePath() + QStringLiteral("/.") + target.fileName()) + ".XXXXXX";
    auto fail = [&](const QString& why) {
        if (error) *error = why;
        return false;
    };
    const int fd = ::mkostemp(temp.data(), O_CLOEXEC);
    if (fd < 0) return fail(systemError(errno));

    QString why;
    WriteDevice out(fd);
    const bool made = content(&out, &why);
    // The system's reason says more than the writer's ("could not be completed").
    if (const int e = out.finish())
        why = systemError(e);
    else if (!made && why.isEmpty())
        why = QStringLiteral("the content could not be made");
    // A file replaced keeps its mode (someone may have narrowed it); a new one is 0644.
    struct stat st {};
    const mode_t mode =
        ::stat(QFile::encodeName(path).constData(), &st) == 0 && S_ISREG(st.st_mode) ? st.st_mode & 07777 : 0644;
    if (why.isEmpty() && (::fchmod(fd, mode) != 0 || ::fsync(fd) != 0)) why = systemError(errno);
    if (::close(fd) != 0 && why.isEmpty() && errno != EINTR) why = systemError(errno);
    if (why.isEmpty() && ::rename(temp.constData(), QFile::encodeName(path).constData()) != 0) why = systemError(errno);
    if (!why.isEmpty()) {
        ::unlink(temp.constData());
        return fail(why);
    }
    syncFolder(path);
    return true;
}

bool createFileDurably(const QString& path, const QByteArray& bytes, int mode, QString* error) {
    QByteArray temp = QFile::encodeName(path) + ".XXXXXX";
    const int fd = ::mkostemp(temp.data(), O_CLOEXEC);
    int err = fd < 0 ? errno : 0;
    if (err == 0 && ::fchmod(fd, mode_t(mode)) != 0) err = errno;
    for (qint64 done = 0; err == 0 && done < bytes.size();) {
        const ssize_t n = ::write(fd, bytes.constData() + done, size_t(bytes.size() - done));
        if (n < 0 && errno != EINTR) err = errno;
        if (n > 0) done += n;
    }
    if (err == 0 && ::fsync(fd) != 0) err = errno;
    if (fd >= 0 && ::close(fd) != 0 && err == 0) err = errno;
    // link() refuses a name that is there, where rename() would replace it.
    if (err == 0 && ::link(temp.constData(), QFile::encodeName(path).constData()) != 0) err = errno;
    if (fd >= 0) ::unlink(temp.constData());
    if (err != 0) {
        if (error) *error = QStringLiteral("%1: %2").arg(path, systemError(err));
        return false;
    }
    syncFolder(path);
    return true;
}

bool writeFileDurably(const QString& path, const QByteArray& bytes, QString* error) {
    return writeFileDurably(
        path, [&bytes](QIODevice* out, QString*) { return out->write(bytes) == bytes.size(); }, error);
}

}  // namespace kestro
