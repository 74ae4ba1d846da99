#include "recording/RecordWriter.h"

#include "recording/RecordFormat.h"
#include "shell/AppendFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <limits>
#include <optional>
#include <utility>

namespace kestro {

int32_t recordErrorNumber(int e) {
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

QString recordErrorReason(int e) {
    // open(O_NOFOLLOW) on a link says "too many levels of symbolic links".
    if (e == ELOOP) return QStringLiteral("the name is a symbolic link, which is never followed");
    return QString::fromLocal8Bit(std::strerror(e));
}

namespace {

WriteOutcome failure(int e) {
    WriteOutcome o;
    o.err = recordErrorNumber(e);
    o.sysErrno = e;
    o.reason = recordErrorReason(e);
    return o;
}

int64_t lineCount(const QByteArray& bytes) { return bytes.count('\n'); }

bool writeAll(int fd, const char* data, qint64 size, qint64* done) {
    *done = 0;
    while (*done < size) {
        const ssize_t n = ::write(fd, data + *done, static_cast<size_t>(size - *done));
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        if (n == 0) {
            errno = ENOSPC;
            return false;
        }
        *done += n;
    }
    return true;
}

// Up to n bytes at offset; fewer only at the end of the file or on an error.
qint64 readAt(int fd, char* out, qint64 n, qint64 offset) {
    qint64 got = 0;
    while (got < n) {
        const ssize_t r = ::pread(fd, out + got, static_cast<size_t>(n - got), offset + got);
        if (r < 0 && errno == EINTR) continue;
        if (r <= 0) break;
        got += r;
    }
    return got;
}

int openNoFollow(const QString& path, int flags) {
    const QByteArray native = QFile::encodeName(path);
    int fd;
    do {
        fd = ::open(native.constData(), flags | O_CLOEXEC | O_NOFOLLOW, 0644);
    } while (fd < 0 && errno == EINTR);
    return fd;
}

// The sidecar of a spool file: the offset already copied (fixed width, so it
// can be rewritten in place) and the record file the lines belong to.
constexpr int kOffsetWidth = 20;
// Spool appends between two syncs: about a minute of ticks.
constexpr int kSpoolSyncEvery = 600;

QString sidecarOf(const QString& spool) { return spool + QStringLiteral(".target"); }

// Up to max bytes, cut after the last line end unless they are all there is:
// between ticks a record file never ends in half a line.
QByteArray wholeLines(QByteArray piece, bool rest) {
    const qsizetype nl = piece.lastIndexOf('\n');
    if (!rest && nl >= 0) piece.truncate(nl + 1);
    return piece;
}

int64_t steadyNs() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

bool writeOffset(const QString& spool, qint64 offset) {
    const int fd = openNoFollow(sidecarOf(spool), O_WRONLY);
    if (fd < 0) return false;
    const QByteArray digits = QByteArray::number(offset).rightJustified(kOffsetWidth, '0');
    const bool ok = ::pwrite(fd, digits.constData(), kOffsetWidth, 0) == kOffsetWidth;
    ::close(fd);
    return ok;
}

// Appends bytes and syncs when sync. On failure the file is cut back to *base
// (its size at the last sync; -1: its size now, and *id which file that is)
// where it can be: *cutBack then says so and nothing of it stays; otherwise
// *written bytes of this batch do.
WriteOutcome writeAppend(const RecordWriter::OpenFn& open, const QString& path, const QByteArray& bytes, bool sync,
                         qint64* base, std::pair<dev_t, ino_t>* id, qint64* written, bool* cutBack) {
    *written = 0;
    *cutBack = false;
    const int fd = open(path);
    if (fd < 0) return failure(errno);
    bool regular = false;
    // An empty batch that syncs nothing (every tick opens the slow file) needs no look at the file.
    if (!bytes.isEmpty() || sync) {
        struct stat st {};
        regular = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
        if (*base < 0) {
            *base = regular ? st.st_size : 0;
            *id = {st.st_dev, st.st_ino};
        }
    }
    int err = 0;
    qint64 done = 0;
    if (!writeAll(fd, bytes.constData(), bytes.size(), &done)) err = errno;
    // Special files (no sync) report EINVAL/EROFS.
    if (err == 0 && sync && ::fdatasync(fd) != 0 && errno != EINVAL && errno != EROFS) err = errno;
    if (err != 0) *cutBack = regular && ::ftruncate(fd, *base) == 0;
    *written = *cutBack ? 0 : done;
    if (::close(fd) != 0 && err == 0 && errno != EINTR) err = errno;
    return err == 0 ? WriteOutcome{} : failure(err);
}

}  // namespace

// Whether the file under path is still the one the unsynced lines went to,
// and long enough to hold them.
bool RecordWriter::stillHolds(const QString& path, const Unsynced& u) {
    struct stat st {};
    return ::stat(QFile::encodeName(path).constData(), &st) == 0 && st.st_dev == u.id.first &&
           st.st_ino == u.id.second && st.st_size >= u.base + u.bytes.size();
}

struct RecordWriter::Backlog {
    QString path;            // the record file
    QString spool;           // its spool file; empty while there is none
    qint64 spoolSize = 0;    // bytes in the spool file
    qint64 spoolDone = 0;    // bytes of it already in the record file
    dev_t spoolDev = 0;      // which file the spool is: a different one under
    ino_t spoolIno = 0;      // its name is not ours
    int64_t spoolLines = 0;  // lines in it not yet copied
    QByteArray memory;       // lines that could not be spooled; they follow the spool's
    int64_t droppedLines = 0;
    int unsyncedAppends = 0;
    QString lostSpool;  // given up since the last report, with its waiting lines
    int64_t lostSpoolLines = 0;
    // The file's synced size and identity when unsynced lines went back to
    // waiting with it: should that file come back, it is cut back to there
    // first, or those lines would stand in it twice.
    qint64 cutTo = -1;
    std::pair<dev_t, ino_t> cutId;
    std::optional<Head> head;  // kept after the series forgot it
    bool empty() const { return spoolDone >= spoolSize && memory.isEmpty(); }
};

RecordWriter::RecordWriter(QString spoolDir, OpenFn open)
    : spoolDir_(std::move(spoolDir)), open_(std::move(open)), now_(steadyNs) {
    if (!open_) open_ = openForAppend;
}

RecordWriter::~RecordWriter() {
    syncAll();
    for (const int fd : freeing_)
        ::close(fd);
}

WriteOutcome RecordWriter::writeBatch(const OpenFn& open, const QString& path, const QByteArray& bytes,
                                      qint64* written) {
    bool given = false;
    return writePieces(
        open, path, [&] { return std::exchange(given, true) ? QByteArray() : bytes; }, written);
}

WriteOutcome RecordWriter::writePieces(const OpenFn& open, const QString& path, const std::function<QByteArray()>& next,
                                       qint64* written) {
    *written = 0;
    if (path.isEmpty()) {
        WriteOutcome o;
        o.err = kErrBadFileName;
        o.sysErrno = ENOENT;
        o.reason = QStringLiteral("no record file name");
        return o;
    }
    const int fd = open(path);
    if (fd < 0) return failure(errno);

    // Where a failed piece is cut back to; an empty batch (every tick opens the
    // slow file) needs no look at the file.
    bool regular = false, looked = false;
    off_t synced = 0;
    int err = 0;
    for (QByteArray piece = next(); !piece.isEmpty(); piece = next()) {
        if (!std::exchange(looked, true)) {
            struct stat st {};
            regular = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
            synced = regular ? st.st_size : 0;
        }
        qint64 done = 0;
        if (!writeAll(fd, piece.constData(), piece.size(), &done)) err = errno;
        // Special files (no sync) report EINVAL/EROFS.
        if (err == 0 && ::fdatasync(fd) != 0 && errno != EINVAL && errno != EROFS) err = errno;
        if (err != 0) {
            // Take the piece back so the file never ends in half a line;
            // when that is impossible, report what stays on disk.
            if (done > 0 && !(regular && ::ftruncate(fd, synced) == 0)) *written += done;
            break;
        }
        *written += done;
        synced += done;
    }
    if (::close(fd) != 0 && err == 0 && errno != EINTR) err = errno;
    return err == 0 ? WriteOutcome{} : failure(err);
}

RecordWriter::Backlog* RecordWriter::find(const QString& path) {
    for (const std::unique_ptr<Backlog>& b : backlogs_)
        if (b->path == path) return b.get();
    return nullptr;
}

void RecordWriter::erase(Backlog* b) {
    memoryBytes_ -= b->memory.size();
    backlogs_.erase(std::find_if(backlogs_.begin(), backlogs_.end(), [b](const auto& own) { return own.get() == b; }));
}

WriteOutcome RecordWriter::append(const QString& path, const QByteArray& bytes) {
    Backlog* b = find(path);
    if (!b) return appendDirect(path, bytes, false);
    WriteOutcome held;
    hold(*b, bytes, held);
    WriteOutcome o = drain(*b, tickSpentNs_ < 0 ? kTickBudgetNs : kTickBudgetNs - tickSpentNs_);
    o.droppedLines = held.droppedLines;
    o.lostSpool = std::exchange(b->lostSpool, QString());
    o.lostSpoolLines = std::exchange(b->lostSpoolLines, 0);
    if (b->empty()) erase(b);
    return o;
}

void RecordWriter::setHead(const QString& path, const QByteArray& head) {
    forgetHead(path);
    heads_.emplace_back(path, Head{head, false});
}

void RecordWriter::forgetHead(const QString& path) {
    heads_.erase(std::remove_if(heads_.begin(), heads_.end(), [&](const auto& h) { return h.first == path; }),
                 heads_.end());
}

RecordWriter::Head* RecordWriter::headOf(const QString& path) {
    for (auto& h : heads_)
        if (h.first == path) return &h.second;
    return nullptr;
}

QByteArray RecordWriter::leadOf(const QString& path, const Head* head) {
    if (!head || !head->written || head->bytes.isEmpty()) return {};
    struct stat st {};
    const bool empty = ::stat(QFile::encodeName(path).constData(), &st) != 0 ? errno == ENOENT : st.st_size == 0;
    return empty ? head->bytes : QByteArray();
}

WriteOutcome RecordWriter::appendDirect(const QString& path, const QByteArray& bytes, bool forceSync) {
    qint64 written = 0;
    // Nothing can ever be written under an empty name: do not hold it.
    if (path.isEmpty()) return writeBatch(open_, path, bytes, &written);
    Head* head = bytes.isEmpty() ? nullptr : headOf(path);
    const QByteArray lead = leadOf(path, head);
    auto u = std::find_if(unsynced_.begin(), unsynced_.end(), [&](const Unsynced& x) { return x.path == path; });
    const bool known = u != unsynced_.end();
    const int64_t now = now_();
    const bool sync = forceSync || (known && now - u->sinceNs >= kSyncEveryNs);
    // A file begun again is another file: its size and identity are taken anew.
    qint64 base = known && lead.isEmpty() ? u->base : -1;
    std::pair<dev_t, ino_t> id = known && lead.isEmpty() ? u->id : std::pair<dev_t, ino_t>();
    bool cutBack = false;
    WriteOutcome o = writeAppend(open_, path, lead + bytes, sync, &base, &id, &written, &cutBack);
    if (o.ok()) {
        if (head) head->written = true;
        o.restarted = !lead.isEmpty();
        if (sync && known) {
            unsynced_.erase(u);
        } else if (!sync && !bytes.isEmpty()) {
            if (!known) u = unsynced_.insert(unsynced_.end(), Unsynced{path, base, id, QByteArray(), now});
            // The old file's unsynced lines went with it; the new one's head counts as a line of it.
            if (o.restarted) *u = Unsynced{path, base, id, lead, u->sinceNs};
            u->bytes += bytes;
        }
        return o;
    }
    QByteArray rest = (lead + bytes).mid(written).right(bytes.size());
    Backlog* b = backlogs_.emplace_back(std::make_unique<Backlog>()).get();
    b->path = path;
    if (Head* h = headOf(path)) b->head = *h;
    if (known) {
        // Cut back with this batch, or gone with the file (a removed folder, a
        // pulled stick): they wait again. Otherwise they are in the file.
        if (cutBack || !stillHolds(path, *u)) {
            rest.prepend(u->bytes);
            // From the file's start: the head is among them.
            if (u->base == 0) b->head.reset();
            if (!cutBack) {
                b->cutTo = u->base;
                b->cutId = u->id;
            }
        }
        unsynced_.erase(u);
    }
    hold(*b, rest, o);
    if (b->empty()) erase(b);
    return o;
}

QStringList RecordWriter::dueUnsyncedPaths() const {
    QStringList out;
    const int64_t now = now_();
    for (const Unsynced& u : unsynced_)
        if (now - u.sinceNs >= kSyncEveryNs) out << u.path;
    return out;
}

qint64 RecordWriter::unsyncedBytes() const {
    qint64 n = 0;
    for (const Unsynced& u : unsynced_)
        n += u.bytes.size();
    return n;
}

void RecordWriter::syncAll() {
    // Each call takes its file off the list, synced or held; the name is
    // copied, as the entry goes before the call is done with it.
    while (!unsynced_.empty()) {
        const QString path = unsynced_.front().path;
        appendDirect(path, QByteArray(), true);
    }
}

void RecordWriter::hold(Backlog& b, const QByteArray& bytes, WriteOutcome& o) {
    // Lines held in memory go to the spool first once it works again, so the
    // order stays: spool, memory, new lines.
    if (!spoolDir_.isEmpty() && (!b.memory.isEmpty() || !bytes.isEmpty())) {
        if (b.memory.isEmpty() ? spool(b, bytes) : spool(b, b.memory + bytes)) {
            memoryBytes_ -= b.memory.size();
            b.memory.clear();
            return;
        }
    }
    if (bytes.isEmpty()) return;
    if (memoryBytes_ + bytes.size() > memoryLimit_) {
        o.droppedLines = lineCount(bytes);
        b.droppedLines += o.droppedLines;
        return;
    }
    b.memory += bytes;
    memoryBytes_ += bytes.size();
}

int RecordWriter::createSpool(Backlog& b) {
    if (!QDir().mkpath(spoolDir_)) return -1;
    // A fresh name: a spool left by an earlier run is never appended to.
    const QString base = spoolDir_ + QLatin1Char('/') + QFileInfo(b.path).fileName();
    for (int n = 0; n < 1000; ++n) {
        const QString name = base + QStringLiteral(".%1.spool").arg(n);
        const int fd = openNoFollow(name, O_WRONLY | O_APPEND | O_CREAT | O_EXCL);
        if (fd < 0) {
            if (errno == EEXIST || errno == EISDIR) continue;
            return -1;
        }
        struct stat st {};
        QFile side(sidecarOf(name));
        if (::fstat(fd, &st) != 0 || !side.open(QIODevice::WriteOnly) ||
            side.write(QByteArray(kOffsetWidth, '0') + '\n' + QFile::encodeName(b.path) + '\n') < 0) {
            ::close(fd);
            side.remove();
            QFile::remove(name);
            return -1;
        }
        b.spool = name;
        b.spoolDev = st.st_dev;
        b.spoolIno = st.st_ino;
        b.spoolSize = b.spoolDone = b.spoolLines = 0;
        b.unsyncedAppends = 0;
        return fd;
    }
    return -1;
}

int RecordWriter::openSpool(const Backlog& b, int flags, bool* lost) const {
    const int fd = openNoFollow(b.spool, flags);
    if (fd < 0) {
        // Removed (with its folder, perhaps), or something else under its name.
        *lost = errno == ENOENT || errno == ENOTDIR || errno == EISDIR || errno == ELOOP;
        return -1;
    }
    struct stat st {};
    *lost = ::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_dev != b.spoolDev || st.st_ino != b.spoolIno ||
            st.st_size != b.spoolSize;
    if (!*lost) return fd;
    ::close(fd);
    errno = EIO;
    return -1;
}

bool RecordWriter::spool(Backlog& b, const QByteArray& bytes) {
    if (bytes.isEmpty()) return true;
    int fd = -1;
    if (!b.spool.isEmpty()) {
        bool lost = false;
        fd = openSpool(b, O_WRONLY | O_APPEND, &lost);
        if (fd < 0 && !lost) return false;
        if (fd < 0) dropSpool(b);
    }
    if (fd < 0 && (fd = createSpool(b)) < 0) return false;
    qint64 done = 0;
    bool ok = writeAll(fd, bytes.constData(), bytes.size(), &done);
    // A sync costs milliseconds on a real disk; every tick would make a long
    // outage slow down the poll cycle. Now and then is enough for lines that
    // are waiting anyway: the page cache is written back within seconds.
    if (ok && ++b.unsyncedAppends >= kSpoolSyncEvery) {
        ok = ::fdatasync(fd) == 0;
        b.unsyncedAppends = 0;
    }
    if (!ok && done > 0 && ::ftruncate(fd, b.spoolSize) != 0) {  // keep the books true
        b.spoolSize += done;
        b.spoolLines += lineCount(bytes.left(done));
    }
    ::close(fd);
    if (ok) {
        b.spoolSize += bytes.size();
        b.spoolLines += lineCount(bytes);
    }
    return ok;
}

QByteArray RecordWriter::readSpool(const Backlog& b, qint64 max) const {
    const qint64 n = std::min(max, b.spoolSize - b.spoolDone);
    if (n <= 0) return {};
    QByteArray out(n, Qt::Uninitialized);
    const int fd = openNoFollow(b.spool, O_RDONLY);
    if (fd < 0) return {};
    const qint64 got = readAt(fd, out.data(), n, b.spoolDone);
    ::close(fd);
    out.truncate(got);
    return out;
}

void RecordWriter::startTick() {
    tickSpentNs_ = 0;
    if (freeing_.empty()) return;
    const int64_t start = now_();
    struct stat st {};
    const int fd = freeing_.front();
    if (!(::fstat(fd, &st) == 0 && st.st_size > kFreeSlice && ::ftruncate(fd, st.st_size - kFreeSlice) == 0)) {
        ::close(fd);
        freeing_.erase(freeing_.begin());
    }
    tickSpentNs_ = now_() - start;
}

void RecordWriter::discard(const QString& spool) {
    const QByteArray native = QFile::encodeName(spool);
    const int fd = openNoFollow(spool, O_WRONLY);
    if (::unlink(native.constData()) == 0 && fd >= 0)
        freeing_.push_back(fd);
    else if (fd >= 0)
        ::close(fd);
}

void RecordWriter::forgetSpool(Backlog& b) {
    if (b.spool.isEmpty()) return;
    discard(b.spool);
    QFile::remove(sidecarOf(b.spool));
    b.spool.clear();
    b.spoolSize = b.spoolDone = b.spoolLines = 0;
}

void RecordWriter::dropSpool(Backlog& b) {
    b.lostSpool = b.spool;
    b.lostSpoolLines += b.spoolLines;
    const QByteArray native = QFile::encodeName(b.spool);
    struct stat st {};
    // What now stands under its name is not ours to delete.
    if (::lstat(native.constData(), &st) == 0 && st.st_ino == b.spoolIno && st.st_dev == b.spoolDev) discard(b.spool);
    QFile::remove(sidecarOf(b.spool));
    b.spool.clear();
    b.spoolSize = b.spoolDone = b.spoolLines = 0;
}

WriteOutcome RecordWriter::drain(Backlog& b, int64_t budgetNs) {
    if (b.empty()) {
        forgetSpool(b);
        // Nothing waits, but the caller's batch may have been empty: the file
        // of a new series exists from its first tick.
        qint64 written = 0;
        return writeBatch(open_, b.path, QByteArray(), &written);
    }
    int spoolFd = -1;
    if (b.spoolDone < b.spoolSize) {
        bool lost = false;
        spoolFd = openSpool(b, O_RDONLY, &lost);
        if (spoolFd < 0 && !lost) return failure(errno);  // it may be readable again later
        if (spoolFd < 0) dropSpool(b);
    }
    if (b.cutTo >= 0) {
        struct stat st {};
        const QByteArray native = QFile::encodeName(b.path);
        if (::stat(native.constData(), &st) == 0) {
            // Back under its name (the folder renamed back): the lines after
            // its last sync are among those waiting.
            if (std::make_pair(st.st_dev, st.st_ino) == b.cutId && st.st_size > b.cutTo &&
                ::truncate(native.constData(), b.cutTo) != 0) {
                if (spoolFd >= 0) ::close(spoolFd);
                return failure(errno);
            }
            b.cutTo = -1;
        }
    }
    QByteArray lead = leadOf(b.path, b.head ? &*b.head : nullptr);
    const qint64 leadSize = lead.size();
    const int64_t start = now_();
    int64_t pieces = 0;
    qint64 fromSpool = 0;
    qint64 fromMemory = 0;
    int64_t linesDone = 0;
    int64_t piecelines = 0;
    bool unreadable = false;
    // Pieces while the next one is likely to end within the tick's time and
    // the chunk is not used up; the first one always (the tick's first drain
    // makes progress however slow the medium is).
    auto next = [&]() -> QByteArray {
        if (!lead.isEmpty()) return std::exchange(lead, QByteArray());
        linesDone += std::exchange(piecelines, 0);
        const qint64 taken = fromSpool + fromMemory;
        if (budgetNs <= 0 || unreadable || taken >= kDrainChunk) return {};
        // A piece is expected to cost what the earlier ones did on average.
        if (taken > 0 && (now_() - start) * (pieces + 1) / pieces > budgetNs) return {};
        ++pieces;
        const qint64 spoolLeft = b.spoolSize - b.spoolDone - fromSpool;
        if (spoolFd >= 0 && spoolLeft > 0) {
            QByteArray piece(std::min(kDrainPiece, spoolLeft), Qt::Uninitialized);
            const qint64 got = readAt(spoolFd, piece.data(), piece.size(), b.spoolDone + fromSpool);
            unreadable = got < piece.size();
            piece.truncate(got);
            piece = wholeLines(piece, !unreadable && got == spoolLeft);
            fromSpool += piece.size();
            piecelines = lineCount(piece);
            return piece;
        }
        QByteArray piece =
            wholeLines(b.memory.mid(fromMemory, kDrainPiece), b.memory.size() - fromMemory <= kDrainPiece);
        fromMemory += piece.size();
        return piece;
    };
    qint64 written = 0;
    WriteOutcome o = writePieces(open_, b.path, next, &written);
    if (o.ok()) linesDone += piecelines;
    o.restarted = leadSize > 0 && written >= leadSize;
    written = std::max<qint64>(0, written - leadSize);
    if (written > 0) {
        if (b.head) b.head->written = true;
        if (Head* h = headOf(b.path)) h->written = true;
    }
    const qint64 spoolTaken = std::min(written, fromSpool);
    const qint64 memoryTaken = written - spoolTaken;
    if (spoolFd >= 0) ::close(spoolFd);
    if (tickSpentNs_ >= 0) tickSpentNs_ += now_() - start;
    b.spoolDone += spoolTaken;
    b.spoolLines -= linesDone;
    if (memoryTaken > 0) {
        b.memory.remove(0, memoryTaken);
        memoryBytes_ -= memoryTaken;
    }
    if (unreadable)
        dropSpool(b);  // cut short or failing under us: its lines cannot come back
    else if (b.spoolDone >= b.spoolSize)
        forgetSpool(b);
    else if (spoolTaken > 0)
        writeOffset(b.spool, b.spoolDone);  // a crash then repeats at most this chunk in the rescue
    return o;
}

bool RecordWriter::retarget(const QString& from, const QString& to, const QByteArray& head) {
    Backlog* b = find(from);
    if (!b || find(to)) return false;
    b->path = to;
    if (!b->head && !head.isEmpty()) {
        // Lines that began the file there bring their head along.
        const QByteArray start = b->spoolDone < b->spoolSize ? readSpool(*b, head.size()) : b->memory.left(head.size());
        b->head = Head{head, start != head};
    }
    // A spool left at exit is rescued under the name it now waits for.
    if (!b->spool.isEmpty()) {
        QFile side(sidecarOf(b->spool));
        if (side.open(QIODevice::WriteOnly))
            side.write(QByteArray::number(b->spoolDone).rightJustified(kOffsetWidth, '0') + '\n' +
                       QFile::encodeName(to) + '\n');
    }
    return true;
}

QStringList RecordWriter::heldPaths() const {
    QStringList out;
    for (const std::unique_ptr<Backlog>& b : backlogs_)
        out << b->path;
    return out;
}

qint64 RecordWriter::heldBytes(const QString& path) const {
    for (const std::unique_ptr<Backlog>& b : backlogs_)
        if (b->path == path) return b->spoolSize - b->spoolDone + b->memory.size();
    return 0;
}

qint64 RecordWriter::heldBytes() const {
    qint64 n = 0;
    for (const std::unique_ptr<Backlog>& b : backlogs_)
        n += b->spoolSize - b->spoolDone + b->memory.size();
    return n;
}

bool RecordWriter::moveToRescue(Backlog& b, const QString& rescueDir, Rescued& r) {
    if (!QDir().mkpath(rescueDir)) return false;
    const QString dest = rescueDir + QLatin1Char('/') + QFileInfo(b.path).fileName();
    // In chunks: a backlog of days must not be read into memory at once.
    while (b.spoolDone < b.spoolSize) {
        const QByteArray chunk = readSpool(b, kDrainChunk);
        if (chunk.isEmpty()) return false;
        qint64 written = 0;
        if (!writeBatch(openForAppend, dest, chunk, &written).ok()) return false;
        b.spoolDone += chunk.size();
        r.lines += lineCount(chunk);
    }
    if (!b.memory.isEmpty()) {
        qint64 written = 0;
        if (!writeBatch(openForAppend, dest, b.memory, &written).ok()) return false;
        r.lines += lineCount(b.memory);
        memoryBytes_ -= b.memory.size();
        b.memory.clear();
    }
    r.savedTo = dest;
    forgetSpool(b);
    return true;
}

std::vector<RecordWriter::Rescued> RecordWriter::rescue(const QString& rescueDir) {
    syncAll();
    std::vector<Rescued> out;
    while (!backlogs_.empty()) {
        Backlog* b = backlogs_.front().get();
        // The record file may be writable again by now: drain as far as it goes.
        while (!b->empty() && drain(*b, std::numeric_limits<int64_t>::max()).ok()) {}
        Rescued r;
        r.target = b->path;
        if (!b->empty() && !moveToRescue(*b, rescueDir, r)) {
            // Whatever is in the spool stays there for the next start to recover.
            if (!b->memory.isEmpty() && (b->spool.isEmpty() || !spool(*b, b->memory))) {
                r.lostLines += lineCount(b->memory);
            }
            if (!b->spool.isEmpty()) {
                writeOffset(b->spool, b->spoolDone);
                r.savedTo = b->spool;
                r.lines = b->spoolLines;
                b->spool.clear();  // keep the file
            }
        }
        r.lostLines += b->droppedLines + b->lostSpoolLines;
        if (!r.savedTo.isEmpty() || r.lostLines > 0) out.push_back(r);
        erase(b);
    }
    return out;
}

std::vector<RecordWriter::Rescued> RecordWriter::recoverLeftovers(const QString& rescueDir) {
    std::vector<Rescued> out;
    if (spoolDir_.isEmpty()) return out;
    const QStringList spools = QDir(spoolDir_).entryList({QStringLiteral("*.spool")}, QDir::Files, QDir::Name);
    for (const QString& name : spools) {
        const QString spool = spoolDir_ + QLatin1Char('/') + name;
        if (std::any_of(backlogs_.begin(), backlogs_.end(),
                        [&](const std::unique_ptr<Backlog>& b) { return b->spool == spool; }))
            continue;
        Backlog b;
        b.spool = spool;
        b.path = name.section(QLatin1Char('.'), 0, -3);  // without ".<n>.spool"
        QFile side(sidecarOf(spool));
        if (side.open(QIODevice::ReadOnly)) {
            const QList<QByteArray> lines = side.readAll().split('\n');
            if (lines.size() >= 2) {
                b.spoolDone = lines[0].toLongLong();
                b.path = QFile::decodeName(lines[1]);
            }
        }
        b.spoolSize = QFileInfo(spool).size();
        b.spoolDone = std::clamp<qint64>(b.spoolDone, 0, b.spoolSize);
        Rescued r;
        r.target = b.path;
        if (b.empty()) {
            forgetSpool(b);
        } else if (moveToRescue(b, rescueDir, r)) {
            out.push_back(r);
        } else {
            writeOffset(spool, b.spoolDone);
        }
    }
    return out;
}

}  // namespace kestro
