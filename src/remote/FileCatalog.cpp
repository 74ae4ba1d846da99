#include "remote/FileCatalog.h"

#include "recording/EvidenceFiles.h"

#include <QCryptographicHash>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <algorithm>
#include <cstring>

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

// The regular files of a directory with a name of ours; links, directories and the rest are skipped.
void scan(int dirFd, const QString& prefix, std::vector<Found>* out) {
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
        const char* kind = catalogKind(name);
        struct stat st {};
        if (!kind || ::fstatat(dirFd, e->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISREG(st.st_mode)) continue;
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

const FileCatalog::Side& FileCatalog::side(int dirFd, const QString& name, int64_t size, int64_t mtimeNs) {
    Side& s = sides_[name];
    if (s.size == size && s.mtimeNs == mtimeNs) return s;
    s = Side{};
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
    // Kept only when read whole as it was listed: a side file being replaced is read again next time.
    if (got != st.st_size || st.st_size != size || mtimeNsOf(st) != mtimeNs) return s;
    s.size = size;
    s.mtimeNs = mtimeNs;
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
            s.vouches.push_back(Vouch{file, int64_t(doc.value(QLatin1String(n.bytes)).toDouble()), sha});
    }
    return s;
}

std::vector<CatalogFile> FileCatalog::list(const QString& dir) {
    std::vector<CatalogFile> out;
    if (dir != dir_) sides_.clear();
    dir_ = dir;
    const int dirFd = ::open(QFile::encodeName(dir).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dirFd < 0) return out;
    std::vector<Found> found;
    scan(dirFd, QString(), &found);
    const int reportsFd = openPlain(dirFd, kReports, O_DIRECTORY);
    if (reportsFd >= 0) {
        scan(reportsFd, QLatin1String(kReports) + QLatin1Char('/'), &found);
        ::close(reportsFd);
    }
    std::map<QString, Side> kept;
    std::map<QString, std::vector<Vouch>> vouched;
    std::map<QString, bool> running;  // named by an open side file
    for (const Found& f : found) {
        if (std::strcmp(f.kind, "side") != 0) continue;
        const Side& s = side(dirFd, f.name, f.st.st_size, mtimeNsOf(f.st));
        kept[f.name] = s;
        for (const Vouch& v : s.vouches)
            vouched[v.name].push_back(v);
        if (!s.closed)
            for (const QString& n : s.names)
                running[n] = true;
    }
    ::close(dirFd);
    // Side files that are gone are forgotten.
    sides_.swap(kept);
    for (const Found& f : found) {
        CatalogFile c;
        c.name = f.name;
        c.kind = f.kind;
        c.size = f.st.st_size;
        c.modifiedMs = int64_t(f.st.st_mtim.tv_sec) * 1000 + f.st.st_mtim.tv_nsec / 1000000;
        const std::string kind = f.kind;
        if (kind == "side") {
            const Side& s = sides_[f.name];
            c.closed = s.closed;
            if (s.closed) c.sha256 = s.sha256;
        } else {
            // A record file that a later series appends to was vouched for at an earlier size.
            for (const Vouch& v : vouched[f.name])
                if (v.bytes == c.size) c.sha256 = v.sha256;
            c.closed = kind == "signature" || kind == "timestamp" || kind == "report" ||
                       (kind != "calibration" && !c.sha256.isEmpty() && !running.count(f.name));
        }
        out.push_back(std::move(c));
    }
    std::sort(out.begin(), out.end(), [](const CatalogFile& a, const CatalogFile& b) { return a.name < b.name; });
    return out;
}

int FileCatalog::open(const QString& dir, const QString& name, CatalogFile* file) {
    const std::vector<CatalogFile> all = list(dir);
    const auto it = std::find_if(all.begin(), all.end(), [&](const CatalogFile& c) { return c.name == name; });
    if (it == all.end()) return -1;
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
    *file = *it;
    // What is served is the file as it is now.
    if (st.st_size != file->size) file->sha256.clear();
    file->size = st.st_size;
    file->modifiedMs = int64_t(st.st_mtim.tv_sec) * 1000 + st.st_mtim.tv_nsec / 1000000;
    return fd;
}

}  // namespace kestro
