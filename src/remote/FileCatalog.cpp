#include "remote/FileCatalog.h"

#include "recording/EvidenceFiles.h"

#include <QCryptographicHash>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <algorithm>
#include <cstring>
#include <functional>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace kestro {

namespace {

// Side files are a few kilobytes; a bigger one is not ours to parse.
constexpr int64_t kMaxSideBytes = 1 << 20;
constexpr const char* kReports = "reports";

// Opens without following a link, and without waiting on a FIFO planted in the directory.
int openPlain(int dirFd, const QByteArray& name, int extra = 0) {
    return ::openat(dirFd, name.constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC | extra);
}

int64_t mtimeNsOf(const struct stat& st) { return int64_t(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec; }

struct Found {
    QString name;
    const char* kind;
    struct stat st;
};

// The entries of a directory with a name of ours.
void scan(int dirFd, const QString& prefix, const std::function<const char*(const QString&)>& kindOf,
          std::vector<Found>* out) {
    const int fd = ::dup(dirFd);
    if (fd < 0) return;
    DIR* d = ::fdopendir(fd);
    if (!d) {
        ::close(fd);
        return;
    }
    ::rewinddir(d);
    while (const dirent* e = ::readdir(d)) {
        const QString name = prefix + QString::fromUtf8(e->d_name);
        const char* kind = kindOf(name);
        struct stat st {};
        // Links and anything but a regular file are left out where every entry is looked at (refresh).
        if (!kind || ::fstatat(dirFd, e->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0) continue;
        out->push_back(Found{name, kind, st});
    }
    ::closedir(d);
}

QString text(const QJsonObject& o, const char* key) { return o.value(QLatin1String(key)).toString(); }

}  // namespace

const char* catalogKind(const QString& name) {
    static const QRegularExpression series(
        QStringLiteral("^[^/]+_(LP|LEQ|MAX|LPF|LEQF|RAW|UnknownType)_\\d{8}_\\d{6}"
                       "(?:(_STAT|_EVENTS)(\\.[^_/]*)?|(_INFO(_\\d+)?\\.json)(\\.sig|\\.tsr)?)$"));
    static const QRegularExpression report(
        QStringLiteral("^reports/\\d{4}-?\\d{2}-?\\d{2}_[A-Za-z0-9_-]+\\.(pdf|csv|json)$"));
    // Names beginning with a dot are files being written (writeFileDurably).
    if (name.startsWith(QLatin1Char('.'))) return nullptr;
    if (name == QLatin1String("calibration.csv")) return "calibration";
    if (report.match(name).hasMatch()) return "report";
    if (name.contains(QLatin1Char('/'))) return nullptr;
    if (isRecordFileName(name)) return "record";
    const QRegularExpressionMatch m = series.match(name);
    if (!m.hasMatch()) return nullptr;
    if (m.captured(2) == QLatin1String("_STAT")) return "statistics";
    if (m.captured(2) == QLatin1String("_EVENTS")) return "events";
    if (m.captured(6) == QLatin1String(".sig")) return "signature";
    if (m.captured(6) == QLatin1String(".tsr")) return "timestamp";
    return "side";
}

FileCatalog::Side FileCatalog::readSide(int dirFd, const QString& name) {
    Side s;
    const int fd = openPlain(dirFd, name.toUtf8());
    struct stat st {};
    if (fd < 0 || ::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_size > kMaxSideBytes) {
        if (fd >= 0) ::close(fd);
        return s;
    }
    QByteArray bytes(qsizetype(st.st_size), '\0');
    ssize_t got = 0;
    while (got < st.st_size) {
        const ssize_t n = ::pread(fd, bytes.data() + got, size_t(st.st_size - got), got);
        if (n <= 0) break;
        got += n;
    }
    ::close(fd);
    bytes.truncate(qsizetype(got));
    s.sha256 = QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toHex();
    const QJsonObject doc = QJsonDocument::fromJson(bytes).object();
    s.closed = text(doc, side::kState) == QLatin1String(side::kClosed);
    const struct {
        const char* file;
        const char* bytes;
        const char* sha;
    } named[] = {{side::kRecordFile, side::kRecordBytes, side::kRecordSha},
                 {side::kStatisticsFile, side::kStatisticsBytes, side::kStatisticsSha},
                 {side::kEventsFile, side::kEventsBytes, side::kEventsSha},
                 {side::kCalibrationLog, side::kCalibrationLogBytes, side::kCalibrationLogSha}};
    for (const auto& n : named) {
        const QString file = text(doc, n.file);
        if (file.isEmpty()) continue;
        s.names.push_back(file);
        const QByteArray sha = text(doc, n.sha).toLatin1();
        if (s.closed && sha.size() == 64 && doc.value(QLatin1String(n.bytes)).isDouble())
            s.vouches.push_back({file, Vouch{int64_t(doc.value(QLatin1String(n.bytes)).toDouble()), sha}});
    }
    return s;
}

void FileCatalog::judge(Entry& e) const {
    CatalogFile& c = e.file;
    const std::string kind = c.kind;
    c.sha256.clear();
    if (kind == "side") {
        c.closed = e.side.closed;
        if (c.closed) c.sha256 = e.side.sha256;
        return;
    }
    // A record file that a later series appends to was vouched for at an earlier size.
    const auto v = vouched_.find(c.name);
    if (v != vouched_.end())
        for (const Vouch& x : v->second)
            if (x.bytes == c.size) c.sha256 = x.sha256;
    c.closed = kind == "signature" || kind == "timestamp" || kind == "report" ||
               (kind != "calibration" && !c.sha256.isEmpty() && !running_.count(c.name));
}

void FileCatalog::refresh(const QString& dir) {
    if (dir != dir_) {
        entries_.clear();
        vouched_.clear();
        running_.clear();
        dirMtimeNs_ = reportsMtimeNs_ = -1;
        dir_ = dir;
    }
    const int dirFd = ::open(QFile::encodeName(dir).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    struct stat ds {
    }, rs{};
    if (dirFd < 0 || ::fstat(dirFd, &ds) != 0) {
        if (dirFd >= 0) ::close(dirFd);
        entries_.clear();
        dirMtimeNs_ = -1;
        return;
    }
    const int reportsFd = openPlain(dirFd, kReports, O_DIRECTORY);
    const int64_t reportsMtime = reportsFd >= 0 && ::fstat(reportsFd, &rs) == 0 ? mtimeNsOf(rs) : -1;
    bool sidesChanged = false;
    // Entries come and go (and files are replaced by renaming) only with a new time of their directory.
    if (mtimeNsOf(ds) != dirMtimeNs_ || reportsMtime != reportsMtimeNs_) {
        // Names already known keep their kind without being matched again.
        const auto kindOf = [this](const QString& name) {
            const auto it = entries_.find(name);
            return it == entries_.end() ? catalogKind(name) : it->second.file.kind;
        };
        std::vector<Found> found;
        scan(dirFd, QString(), kindOf, &found);
        if (reportsFd >= 0) scan(reportsFd, QLatin1String(kReports) + QLatin1Char('/'), kindOf, &found);
        std::map<QString, Entry> next;
        for (Found& f : found) {
            auto it = entries_.find(f.name);
            Entry e = it == entries_.end() ? Entry{} : std::move(it->second);
            e.file.name = f.name;
            e.file.kind = f.kind;
            if (e.mtimeNs != mtimeNsOf(f.st) || e.file.size != f.st.st_size) {
                e.file.size = f.st.st_size;
                e.file.modifiedMs = int64_t(f.st.st_mtim.tv_sec) * 1000 + f.st.st_mtim.tv_nsec / 1000000;
                e.mtimeNs = mtimeNsOf(f.st);
                if (std::strcmp(f.kind, "side") == 0) e.side = readSide(dirFd, f.name);
            }
            next.emplace(f.name, std::move(e));
        }
        entries_.swap(next);
        sidesChanged = true;
        dirMtimeNs_ = mtimeNsOf(ds);
        reportsMtimeNs_ = reportsMtime;
    }
    std::vector<QString> gone;
    for (auto& [name, e] : entries_) {
        // What the program writes no more is not looked at again until the directory changes.
        if (e.mtimeNs >= 0 && e.file.closed) continue;
        const bool inReports = name.startsWith(QLatin1String(kReports) + QLatin1Char('/'));
        struct stat st {};
        const QByteArray base = QFile::encodeName(inReports ? name.mid(8) : name);
        if (::fstatat(inReports ? reportsFd : dirFd, base.constData(), &st, AT_SYMLINK_NOFOLLOW) != 0 ||
            !S_ISREG(st.st_mode)) {
            gone.push_back(name);
            continue;
        }
        if (st.st_size == e.file.size && mtimeNsOf(st) == e.mtimeNs) continue;
        e.file.size = st.st_size;
        e.file.modifiedMs = int64_t(st.st_mtim.tv_sec) * 1000 + st.st_mtim.tv_nsec / 1000000;
        e.mtimeNs = mtimeNsOf(st);
        if (std::strcmp(e.file.kind, "side") == 0) {
            e.side = readSide(dirFd, name);
            sidesChanged = true;
        }
        judge(e);
    }
    for (const QString& name : gone) {
        sidesChanged = sidesChanged || std::strcmp(entries_[name].file.kind, "side") == 0;
        entries_.erase(name);
    }
    if (reportsFd >= 0) ::close(reportsFd);
    ::close(dirFd);
    if (!sidesChanged) return;
    vouched_.clear();
    running_.clear();
    for (const auto& [name, e] : entries_) {
        for (const auto& [file, v] : e.side.vouches)
            vouched_[file].push_back(v);
        if (!e.side.closed)
            for (const QString& n : e.side.names)
                running_[n] = true;
    }
    for (auto& [name, e] : entries_)
        judge(e);
}

std::vector<CatalogFile> FileCatalog::list(const QString& dir) {
    refresh(dir);
    std::vector<CatalogFile> out;
    out.reserve(entries_.size());
    for (const auto& [name, e] : entries_)
        out.push_back(e.file);
    return out;
}

int FileCatalog::open(const QString& dir, const QString& name, CatalogFile* file) {
    refresh(dir);
    const auto it = entries_.find(name);
    if (it == entries_.end()) return -1;
    const int dirFd = ::open(QFile::encodeName(dir).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dirFd < 0) return -1;
    const qsizetype slash = name.indexOf(QLatin1Char('/'));
    int parent = dirFd;
    if (slash > 0) parent = openPlain(dirFd, QFile::encodeName(name.left(slash)), O_DIRECTORY);
    const int fd = parent < 0 ? -1 : openPlain(parent, QFile::encodeName(name.mid(slash + 1)));
    if (parent != dirFd && parent >= 0) ::close(parent);
    ::close(dirFd);
    struct stat st {};
    if (fd < 0 || ::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        if (fd >= 0) ::close(fd);
        return -1;
    }
    *file = it->second.file;
    // What is served is the file as it is now.
    if (st.st_size != file->size) file->sha256.clear();
    file->size = st.st_size;
    file->modifiedMs = int64_t(st.st_mtim.tv_sec) * 1000 + st.st_mtim.tv_nsec / 1000000;
    return fd;
}

}  // namespace kestro
