#include "settings/cRegistry.h"

#include "shell/DurableFile.h"
#include "shell/Instance.h"
#include "shell/Places.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>
#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>

namespace kestro {

namespace {

const QLatin1String kType("type");
const QLatin1String kValue("value");
constexpr qint64 kSettleNs = 2000000000;

QString executableName() {
    if (QCoreApplication::instance()) return QFileInfo(QCoreApplication::applicationFilePath()).fileName();
    return QString::fromLocal8Bit(program_invocation_short_name);
}

// "A\\B\\" and "\\A\\\\B" name the same key.
QString normalizeKeyPath(const QString& path) {
    return path.split(QLatin1Char('\\'), Qt::SkipEmptyParts).join(QLatin1Char('\\'));
}

// The name under which `name` is already stored (compared without case), or `name`.
QString storedName(const QJsonObject& obj, const QString& name) {
    for (auto it = obj.constBegin(); it != obj.constEnd(); ++it)
        if (it.key().compare(name, Qt::CaseInsensitive) == 0) return it.key();
    return name;
}

// The name under which the key path `section` (normalised) is already stored, or
// `section`. A hand-edited name with a stray "\\" still names the same key.
QString storedKeyName(const QJsonObject& doc, const QString& section) {
    for (auto it = doc.constBegin(); it != doc.constEnd(); ++it)
        if (normalizeKeyPath(it.key()).compare(section, Qt::CaseInsensitive) == 0) return it.key();
    return section;
}

bool findCaseless(const QJsonObject& obj, const QString& name, QJsonValue* out) {
    for (auto it = obj.constBegin(); it != obj.constEnd(); ++it) {
        if (it.key().compare(name, Qt::CaseInsensitive) == 0) {
            *out = it.value();
            return true;
        }
    }
    return false;
}

bool hasEnvironmentReference(const QString& text) {
    const qsizetype first = text.indexOf(QLatin1Char('%'));
    return first >= 0 && text.indexOf(QLatin1Char('%'), first + 2) >= 0;
}

// Replaces every %NAME% by the environment's value; unknown names are kept as written.
QString expandReferences(const QString& text) {
    QString out;
    qsizetype pos = 0;
    while (pos < text.size()) {
        const qsizetype open = text.indexOf(QLatin1Char('%'), pos);
        if (open < 0) break;
        const qsizetype close = text.indexOf(QLatin1Char('%'), open + 1);
        if (close < 0) break;
        out += QStringView(text).mid(pos, open - pos);
        const QString name = text.mid(open + 1, close - open - 1);
        const QByteArray key = name.toLocal8Bit();
        if (!name.isEmpty() && qEnvironmentVariableIsSet(key.constData())) {
            out += qEnvironmentVariable(key.constData());
        } else {
            out += QStringView(text).mid(open, close - open + 1);
        }
        pos = close + 1;
    }
    out += QStringView(text).mid(pos);
    return out;
}

// A JSON number holding a 32-bit pattern, signed or unsigned spelling.
bool toInt32(const QJsonValue& v, int32_t* out) {
    if (!v.isDouble()) return false;
    const double d = v.toDouble();
    if (!std::isfinite(d) || d != std::floor(d) || d < double(std::numeric_limits<int32_t>::min()) ||
        d > double(std::numeric_limits<uint32_t>::max()))
        return false;
    *out = static_cast<int32_t>(static_cast<uint32_t>(static_cast<int64_t>(d)));
    return true;
}

// The 16- and 32-bit integers a number value accepts; wider ones when they fit.
bool integerArgument(const QVariant& v, int32_t* out) {
    switch (v.typeId()) {
        case QMetaType::Short:
        case QMetaType::UShort:
        case QMetaType::Int:
            *out = v.toInt();
            return true;
        case QMetaType::UInt:
            *out = static_cast<int32_t>(v.toUInt());
            return true;
        case QMetaType::Long:
        case QMetaType::LongLong: {
            const qlonglong n = v.toLongLong();
            if (n < std::numeric_limits<int32_t>::min() || n > std::numeric_limits<int32_t>::max()) return false;
            *out = static_cast<int32_t>(n);
            return true;
        }
        case QMetaType::ULong:
        case QMetaType::ULongLong: {
            const qulonglong n = v.toULongLong();
            if (n > qulonglong(std::numeric_limits<int32_t>::max())) return false;
            *out = static_cast<int32_t>(n);
            return true;
        }
        default:
            return false;
    }
}

// Holds an exclusive lock on a file beside the store for one read-modify-write,
// so two writers (two programs, or a script beside the program) never write
// back a document that misses the other's value. Without a lock file (a
// directory we cannot create files in) the write goes ahead unguarded; it
// would fail on its own there anyway.
class StoreLock {
public:
    explicit StoreLock(const QString& storePath) {
        const QByteArray native = QFile::encodeName(storePath + QStringLiteral(".lock"));
        do {
            fd_ = ::open(native.constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
        } while (fd_ < 0 && errno == EINTR);
        if (fd_ < 0) return;
        int rc;
        do {
            rc = ::flock(fd_, LOCK_EX);
        } while (rc != 0 && errno == EINTR);
    }
    ~StoreLock() {
        if (fd_ >= 0) ::close(fd_);  // releases the lock
    }
    StoreLock(const StoreLock&) = delete;
    StoreLock& operator=(const StoreLock&) = delete;

private:
    int fd_ = -1;
};

}  // namespace

RegistryFiles RegistryFiles::standard() {
    RegistryFiles f;
    f.currentUser = configDirectory(PlaceEnvironment::current()) + QStringLiteral("/registry.json");
    f.localMachine = QStringLiteral("/etc/xdg/KestroRecorder/registry.json");
    return f;
}

RegistryFiles RegistryFiles::of(const Instance& instance) {
    RegistryFiles f = standard();
    f.currentUser = instance.settingsFile(f.currentUser);
    return f;
}

cRegistry::cRegistry(RegistryFiles files) : files_(std::move(files)) {}

QString cRegistry::textAsRead(const QString& text) {
    return hasEnvironmentReference(text) ? expandReferences(text) : text;
}

QString cRegistry::rootPath(uint32_t root) const {
    if (root == HKEY_CURRENT_USER_) return files_.currentUser;
    if (root == HKEY_LOCAL_MACHINE_) return files_.localMachine;
    return QString();
}

const cRegistry::Cached& cRegistry::load(int slot, const QString& path) const {
    Cached& c = cache_[slot];
    FileStamp stamp;
    struct stat st {};
    const QByteArray native = QFile::encodeName(path);
    int statErrno = 0;
    if (!path.isEmpty() && ::stat(native.constData(), &st) == 0) {
        stamp.exists = true;
        stamp.inode = st.st_ino;
        stamp.size = st.st_size;
        stamp.mtimeNs = qint64(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
    } else if (!path.isEmpty() && errno != ENOENT && errno != ENOTDIR) {
        statErrno = errno;
        stamp.exists = true;  // there, but not even its status can be read
        stamp.size = -2;
    }
    // A stamp that changes on every replace (new inode) or edit in place
    // (size, mtime) lets a row of reads share one parse. File times advance in
    // coarse ticks, so a file modified just before the parse could change again
    // within the same tick unseen: such a parse is not reused.
    if (c.path == path && c.stamp == stamp && c.settled && stamp.size != -1) return c;

    const FileState before = (c.path == path) ? c.state : FileState::Missing;
    c.path = path;
    c.stamp = stamp;
    timespec now{};
    ::clock_gettime(CLOCK_REALTIME, &now);
    c.settled = qint64(now.tv_sec) * 1000000000 + now.tv_nsec - stamp.mtimeNs > kSettleNs;
    c.doc = QJsonObject();
    c.problem.clear();
    if (!stamp.exists) {
        c.state = FileState::Missing;
        return c;
    }
    QFile f(path);
    QByteArray bytes;
    bool readOk = false;
    if (stamp.size == -2) {
        c.problem = QString::fromLocal8Bit(std::strerror(statErrno));
    } else if (!S_ISREG(st.st_mode)) {
        // Opening a FIFO for reading would block the program.
        c.problem = S_ISDIR(st.st_mode) ? QStringLiteral("it is a directory") : QStringLiteral("not a regular file");
    } else if (!f.open(QIODevice::ReadOnly)) {
        c.problem = f.errorString();
    } else {
        bytes = f.readAll();
        readOk = f.error() == QFileDevice::NoError;
        if (!readOk) c.problem = f.errorString();
    }
    int32_t logNo = 0;
    if (!readOk) {
        c.state = FileState::Unreadable;
        logNo = kErrRegistryUnreadable;
    } else {
        QJsonParseError err{};
        const QJsonDocument doc = QJsonDocument::fromJson(bytes, &err);
        if (err.error != QJsonParseError::NoError || !doc.isObject()) {
            c.state = FileState::Corrupt;
            c.problem =
                err.error != QJsonParseError::NoError
                    ? QStringLiteral("not a settings document (%1 at byte %2)").arg(err.errorString()).arg(err.offset)
                    : QStringLiteral("not a settings document (no JSON object)");
            logNo = kErrRegistryCorrupt;
        } else {
            c.state = FileState::Ok;
            c.doc = doc.object();
        }
    }
    // Logged when the file turns bad, not on every read of the same bad file.
    if (logNo != 0 && errorLog_ && before != c.state) errorLog_(label::kRegistry, logNo);
    return c;
}

const cRegistry::RunValue* cRegistry::findRunValue(uint32_t root, const QString& section, const QString& name) const {
    const QString normal = normalizeKeyPath(section);
    for (const RunValue& r : runValues_)
        if (r.root == root && r.section.compare(normal, Qt::CaseInsensitive) == 0 &&
            r.name.compare(name, Qt::CaseInsensitive) == 0)
            return &r;
    return nullptr;
}

bool cRegistry::isRunValue(uint32_t root, const QString& section, const QString& name) const {
    return findRunValue(root, section, name) != nullptr;
}

void cRegistry::setRunValue(uint32_t root, const QString& section, const QString& name, const QVariant& value,
                            int32_t type) {
    RunValue r{root, normalizeKeyPath(section), name, QJsonObject()};
    if (type == REG_DWORD_) {
        r.entry.insert(kType, REG_DWORD_);
        r.entry.insert(kValue, value.toInt());
    } else {
        r.entry.insert(kType, REG_SZ_);  // taken literally: no environment references
        r.entry.insert(kValue, value.toString());
    }
    runValues_.erase(std::remove_if(runValues_.begin(), runValues_.end(),
                                    [&](const RunValue& o) {
                                        return o.root == r.root &&
                                               o.section.compare(r.section, Qt::CaseInsensitive) == 0 &&
                                               o.name.compare(r.name, Qt::CaseInsensitive) == 0;
                                    }),
                     runValues_.end());
    runValues_.push_back(r);
}

QString cRegistry::storeProblem() const {
    if (files_.currentUser.isEmpty()) return QString();
    const Cached& c = load(0, files_.currentUser);
    return (c.state == FileState::Corrupt || c.state == FileState::Unreadable) ? c.problem : QString();
}

bool cRegistry::findEntry(uint32_t root, const QString& section, const QString& name, QJsonObject* entry) const {
    QJsonValue value;
    if (const RunValue* run = findRunValue(root, section, name)) {
        value = run->entry;
    } else {
        const QString path = rootPath(root);
        if (path.isEmpty()) return false;
        const Cached& c = load(root == HKEY_CURRENT_USER_ ? 0 : 1, path);
        // Every stored spelling of the key path counts; the first that holds the value wins.
        const QString normal = normalizeKeyPath(section);
        bool found = false;
        for (auto it = c.doc.constBegin(); it != c.doc.constEnd() && !found; ++it)
            found = normalizeKeyPath(it.key()).compare(normal, Qt::CaseInsensitive) == 0 && it.value().isObject() &&
                    findCaseless(it.value().toObject(), name, &value);
        if (!found) return false;
    }
    if (!value.isObject()) return false;
    const QJsonObject e = value.toObject();
    const QJsonValue type = e.value(kType);
    const QJsonValue data = e.value(kValue);
    int32_t n = 0;
    if (!toInt32(type, &n)) return false;
    switch (n) {
        case REG_SZ_:
        case REG_EXPAND_SZ_:
            if (!data.isString()) return false;
            break;
        case REG_MULTI_SZ_:
            if (!data.isString() && !data.isArray()) return false;
            break;
        case REG_DWORD_:
        case REG_DWORD_BIG_ENDIAN_:
            if (!toInt32(data, &n)) return false;
            break;
        default:
            if (!data.isString()) return false;
            break;
    }
    *entry = e;
    return true;
}

bool cRegistry::exists(uint32_t root, const QString& section, const QString& name) const {
    QJsonObject e;
    return findEntry(root, section, name, &e);
}

QVariant cRegistry::read(uint32_t root, const QString& section, const QString& name, const QVariant& def,
                         int32_t* storedType) const {
    QJsonObject e;
    if (!findEntry(root, section, name, &e)) return def;
    int32_t type = 0;
    toInt32(e.value(kType), &type);
    if (storedType) *storedType = type;
    const QJsonValue data = e.value(kValue);
    switch (type) {
        case REG_SZ_:
            return data.toString();
        case REG_EXPAND_SZ_:
            return expandReferences(data.toString());
        case REG_MULTI_SZ_:
            // Up to the first terminating zero: the first text of the list.
            if (data.isArray()) {
                const QJsonArray list = data.toArray();
                return list.isEmpty() ? QString() : list.first().toString();
            }
            return data.toString();
        case REG_DWORD_:
        case REG_DWORD_BIG_ENDIAN_: {
            int32_t n = 0;
            toInt32(data, &n);
            if (type == REG_DWORD_BIG_ENDIAN_) {
                const uint32_t u = static_cast<uint32_t>(n);
                n = static_cast<int32_t>((u >> 24) | ((u >> 8) & 0xFF00u) | ((u << 8) & 0xFF0000u) | (u << 24));
            }
            return n;
        }
        default:
            return QByteArray::fromBase64(data.toString().toLatin1());
    }
}

void cRegistry::raiseWriteFailure(uint32_t root, const QString& section, const QString& name, const QVariant& v) {
    throw RaisedError(kErrRegistryWrite, executableName() + QStringLiteral(".cRegistry"),
                      QStringLiteral("Failed to set registry value Key: '") + QString::number(root) +
                          QStringLiteral("',Section: '") + section + QStringLiteral("',Key: '") + name +
                          QStringLiteral("' to value: '") + v.toString() + QStringLiteral("'"));
}

void cRegistry::write(uint32_t root, const QString& section, const QString& name, int32_t type, const QVariant& v) {
    auto fail = [&] {
        raiseWriteFailure(root, section, name, v);
    };
    // Only the current user's part is ours to change.
    if (root != HKEY_CURRENT_USER_ || files_.currentUser.isEmpty()) fail();

    QJsonObject entry;
    switch (type) {
        case REG_SZ_:
        case REG_EXPAND_SZ_: {
            const QString text = v.toString();
            entry.insert(kType, hasEnvironmentReference(text) ? REG_EXPAND_SZ_ : REG_SZ_);
            entry.insert(kValue, text);
            break;
        }
        case REG_DWORD_:
        case REG_DWORD_BIG_ENDIAN_: {
            int32_t n = 0;
            if (!integerArgument(v, &n)) return;  // not a number of the store's width: nothing to store
            entry.insert(kType, REG_DWORD_);
            entry.insert(kValue, n);
            break;
        }
        case REG_BINARY_:
            if (v.typeId() != QMetaType::QByteArray) fail();
            entry.insert(kType, REG_BINARY_);
            entry.insert(kValue, QString::fromLatin1(v.toByteArray().toBase64()));
            break;
        default:
            fail();
    }

    const QString path = files_.currentUser;
    if (!QDir().mkpath(QFileInfo(path).absolutePath())) fail();
    const StoreLock lock(path);
    // Under the lock, what is on disk now counts, not an earlier parse.
    cache_[0].settled = false;
    const Cached& current = load(0, path);
    if (current.state == FileState::Unreadable) fail();  // replacing it would destroy settings we could not read
    QJsonObject doc = current.doc;
    if (current.state == FileState::Corrupt) {
        const QString aside = path + QStringLiteral(".corrupt");
        QFile::remove(aside);
        if (!QFile::rename(path, aside)) fail();
        doc = QJsonObject();
    }
    cache_[0] = Cached();

    // Create every level of the key path, keeping the spelling of existing levels.
    const QStringList parts = normalizeKeyPath(section).split(QLatin1Char('\\'), Qt::SkipEmptyParts);
    QString level;
    QString keyName;
    for (qsizetype i = 0; i < parts.size(); ++i) {
        level = level.isEmpty() ? parts[i] : level + QLatin1Char('\\') + parts[i];
        keyName = storedKeyName(doc, level);
        if (!doc.value(keyName).isObject()) doc.insert(keyName, QJsonObject());
    }
    if (keyName.isEmpty()) keyName = storedKeyName(doc, QString());
    QJsonObject key = doc.value(keyName).toObject();
    key.insert(storedName(key, name), entry);
    doc.insert(keyName, key);

    if (!writeFileDurably(path, QJsonDocument(doc).toJson(QJsonDocument::Indented))) fail();
}

}  // namespace kestro
