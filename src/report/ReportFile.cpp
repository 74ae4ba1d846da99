#include "report/ReportFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <cerrno>
#include <cstring>

namespace kestro {

namespace {

QString systemError(int e) { return QString::fromLocal8Bit(std::strerror(e)); }

// Writes to a descriptor and keeps the first error. QFile will not do: a
// short write at the end of its flush is not an error there, so a report cut
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

}  // namespace

bool writeWholeFile(const QString& path, const FileContentFn& content, QString* error) {
    auto fail = [&](const QString& why) {
        if (error) *error = path + QStringLiteral(": ") + why;
        return false;
    };
    struct stat st {};
    // A device or a pipe cannot be replaced by a file (and must not be).
    if (::stat(QFile::encodeName(path).constData(), &st) == 0 && !S_ISREG(st.st_mode))
        return fail(QStringLiteral("not a regular file; the report is written only to a file"));

    const QFileInfo target(path);
    QString temp;
    int fd = -1;
    for (int n = 0; n < 16 && fd < 0; ++n) {
        temp = target.dir().filePath(QStringLiteral(".%1.%2.tmp")
                                         .arg(target.fileName())
                                         .arg(QRandomGenerator::global()->generate(), 8, 16, QLatin1Char('0')));
        fd = ::open(QFile::encodeName(temp).constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0666);
        if (fd < 0 && errno != EEXIST) return fail(systemError(errno));
    }
    if (fd < 0) return fail(systemError(EEXIST));

    QString why;
    WriteDevice out(fd);
    const bool made = content(&out, &why);
    // The system's reason says more than the painter's ("could not be completed").
    if (const int e = out.finish())
        why = systemError(e);
    else if (!made && why.isEmpty())
        why = QStringLiteral("the content could not be made");
    if (why.isEmpty() && ::fsync(fd) != 0) why = systemError(errno);
    if (::close(fd) != 0 && why.isEmpty() && errno != EINTR) why = systemError(errno);
    if (why.isEmpty() && ::rename(QFile::encodeName(temp).constData(), QFile::encodeName(path).constData()) != 0)
        why = systemError(errno);
    if (!why.isEmpty()) {
        ::unlink(QFile::encodeName(temp).constData());
        return fail(why);
    }
    // The rename itself reaches the disk with the folder.
    const int dir = ::open(QFile::encodeName(target.absolutePath()).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir >= 0) {
        ::fsync(dir);
        ::close(dir);
    }
    return true;
}

bool sameFile(const QString& a, const QString& b) {
    struct stat sa {};
    struct stat sb {};
    return ::stat(QFile::encodeName(a).constData(), &sa) == 0 && ::stat(QFile::encodeName(b).constData(), &sb) == 0 &&
           sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
}

}  // namespace kestro
