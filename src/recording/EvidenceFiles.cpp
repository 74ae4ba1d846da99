#include "recording/EvidenceFiles.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QRegularExpression>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <map>
#include <set>

namespace kestro {

namespace {

const QString kInfoSuffix = QStringLiteral("_INFO");
const QString kJson = QStringLiteral(".json");

QString two(int v) { return QStringLiteral("%1").arg(v, 2, 10, QLatin1Char('0')); }

QString fileNameOf(const QString& path) { return path.mid(path.lastIndexOf(QLatin1Char('/')) + 1); }

// The record file's name up to its extension: everything after the time stamp
// is the extension (the statistics file's rule), else the last ".".
QString stemOf(const QString& name) {
    static const QRegularExpression stamp(QStringLiteral("_[^_]+_\\d{8}_\\d{6}"));
    qsizetype at = -1;
    for (auto it = stamp.globalMatch(name); it.hasNext();)
        at = it.next().capturedEnd();
    if (at < 0) {
        at = name.lastIndexOf(QLatin1Char('.'));
        if (at <= 0) at = name.size();
    }
    return name.left(at);
}

// Order of severity: a worse finding decides the verdict.
int severity(Verdict v) { return static_cast<int>(v); }

}  // namespace

QString sideFilePath(const QString& recordPath, int n) {
    const qsizetype slash = recordPath.lastIndexOf(QLatin1Char('/'));
    const QString stem = stemOf(recordPath.mid(slash + 1));
    return recordPath.left(slash + 1) + stem + kInfoSuffix + (n > 1 ? QStringLiteral("_%1").arg(n) : QString()) + kJson;
}

bool isRecordFileName(const QString& name) {
    static const QRegularExpression re(
        QStringLiteral("^.+_(LP|LEQ|MAX|LPF|LEQF|RAW|UnknownType)_\\d{8}_\\d{6}(\\.[^_]*)?$"));
    return re.match(name).hasMatch();
}

QString calibrationLogPath(const QString& recordDirectory) {
    QString dir = recordDirectory;
    if (!dir.endsWith(QLatin1Char('/'))) dir += QLatin1Char('/');
    return dir + QStringLiteral("calibration.csv");
}

QString isoTime(const SystemTime& local, int64_t utcMs) {
    const int64_t offsetMs = absoluteMilliseconds(local) - (utcMs + kUnixEpochAbsoluteMs);
    const int64_t minutes = (offsetMs >= 0 ? offsetMs + 30000 : offsetMs - 30000) / 60000;
    const int64_t a = minutes < 0 ? -minutes : minutes;
    return QStringLiteral("%1-%2-%3T%4:%5:%6.%7%8%9:%10")
        .arg(local.wYear, 4, 10, QLatin1Char('0'))
        .arg(two(local.wMonth), two(local.wDay), two(local.wHour), two(local.wMinute), two(local.wSecond))
        .arg(local.wMilliseconds, 3, 10, QLatin1Char('0'))
        .arg(minutes < 0 ? QLatin1Char('-') : QLatin1Char('+'))
        .arg(two(int(a / 60)), two(int(a % 60)));
}

bool parseIsoTime(const QString& text, int64_t* localMs, int64_t* utcMs) {
    static const QRegularExpression re(
        QStringLiteral("^(\\d{4})-(\\d\\d)-(\\d\\d)T(\\d\\d):(\\d\\d):(\\d\\d)\\.(\\d{3})([+-])(\\d\\d):(\\d\\d)$"));
    const QRegularExpressionMatch m = re.match(text);
    if (!m.hasMatch()) return false;
    auto n = [&m](int i) {
        return static_cast<int16_t>(m.captured(i).toInt());
    };
    const SystemTime t{n(1), n(2), 0, n(3), n(4), n(5), n(6), n(7)};
    if (t.wMonth < 1 || t.wMonth > 12 || t.wDay < 1 || t.wDay > 31 || t.wHour > 23 || t.wMinute > 59 || t.wSecond > 59)
        return false;
    const int64_t offsetMs = (int64_t{n(9)} * 60 + n(10)) * 60000 * (m.captured(8) == QLatin1String("-") ? -1 : 1);
    *localMs = absoluteMilliseconds(t);
    *utcMs = *localMs - offsetMs - kUnixEpochAbsoluteMs;
    return true;
}

std::optional<FileDigest> digestFile(const QString& path, qint64 bytes) {
    FileDigest d;
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) return std::nullopt;
    const qint64 want = bytes < 0 ? f.size() : bytes;
    QCryptographicHash h(QCryptographicHash::Sha256);
    QByteArray buf(1 << 20, Qt::Uninitialized);
    while (d.bytes < want) {
        const qint64 n = f.read(buf.data(), std::min<qint64>(buf.size(), want - d.bytes));
        if (n <= 0) return std::nullopt;
        h.addData(QByteArrayView(buf.constData(), n));
        d.bytes += n;
    }
    d.sha256 = h.result().toHex();
    return d;
}

bool writeFileDurably(const QString& path, const QByteArray& bytes, QString* error) {
    const QFileInfo fi(path);
    const QByteArray dir = QFile::encodeName(fi.absolutePath());
    QByteArray tmp = QFile::encodeName(fi.absolutePath() + QStringLiteral("/.") + fi.fileName()) + ".XXXXXX";
    auto fail = [&](int e) {
        if (error) *error = QString::fromLocal8Bit(std::strerror(e));
        return false;
    };
    const int fd = ::mkostemp(tmp.data(), O_CLOEXEC);
    if (fd < 0) return fail(errno);
    qint64 done = 0;
    int err = 0;
    while (done < bytes.size() && err == 0) {
        const ssize_t n = ::write(fd, bytes.constData() + done, size_t(bytes.size() - done));
        if (n < 0 && errno != EINTR) err = errno;
        if (n > 0) done += n;
    }
    if (err == 0 && (::fchmod(fd, 0644) != 0 || ::fdatasync(fd) != 0)) err = errno;
    if (::close(fd) != 0 && err == 0) err = errno;
    if (err == 0 && ::rename(tmp.constData(), QFile::encodeName(path).constData()) != 0) err = errno;
    if (err != 0) {
        ::unlink(tmp.constData());
        return fail(err);
    }
    // The rename itself must survive a power cut.
    const int dfd = ::open(dir.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dfd >= 0) {
        ::fsync(dfd);
        ::close(dfd);
    }
    return true;
}

QByteArray calibrationLogHeader() { return "Time;Level;SerialNumber;Key\r\n"; }

QByteArray calibrationLogLine(const CalibrationCheck& c, const QString& time, const QString& key) {
    return (time + QLatin1Char(';') + QString::number(c.levelDb, 'f', 1) + QLatin1Char(';') + c.serialNumber +
            QLatin1Char(';') + key)
               .toLatin1() +
           "\r\n";
}

std::vector<LoggedCalibration> readCalibrationLog(const QString& path) {
    std::vector<LoggedCalibration> out;
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) return out;
    for (const QByteArray& raw : f.readAll().split('\n')) {
        const QList<QByteArray> cols = raw.trimmed().split(';');
        LoggedCalibration c;
        bool ok = false;
        if (cols.size() != 4 || !parseIsoTime(QString::fromLatin1(cols[0]), &c.check.localMs, &c.utcMs)) continue;
        c.check.levelDb = cols[1].toDouble(&ok);
        if (!ok) continue;
        c.check.serialNumber = QString::fromLatin1(cols[2]);
        c.time = QString::fromLatin1(cols[0]);
        c.key = QString::fromLatin1(cols[3]);
        out.push_back(c);
    }
    return out;
}

std::vector<LoggedCalibration> lastStayBefore(const std::vector<LoggedCalibration>& log, int64_t utcMs) {
    auto end = std::find_if(log.begin(), log.end(), [&](const LoggedCalibration& c) { return c.utcMs >= utcMs; });
    auto begin = end;
    while (begin != log.begin() && (begin == end || begin->utcMs - (begin - 1)->utcMs <= kCalibrationStayGapMs))
        --begin;
    return {begin, end};
}

std::vector<LoggedCalibration> firstStayAfter(const std::vector<LoggedCalibration>& log, int64_t utcMs) {
    auto begin = std::find_if(log.begin(), log.end(), [&](const LoggedCalibration& c) { return c.utcMs > utcMs; });
    auto end = begin;
    while (end != log.end() && (end == begin || end->utcMs - (end - 1)->utcMs <= kCalibrationStayGapMs))
        ++end;
    return {begin, end};
}

bool SideFile::closed() const {
    return doc.value(QLatin1String(side::kState)).toString() == QLatin1String(side::kClosed);
}
QString SideFile::recordFile() const { return doc.value(QLatin1String(side::kRecordFile)).toString(); }

std::vector<SideFile> readSideFiles(const QString& dir) {
    std::vector<SideFile> out;
    static const QRegularExpression re(QStringLiteral("_INFO(_\\d+)?\\.json$"));
    for (const QString& name : QDir(dir).entryList({QStringLiteral("*_INFO*.json")}, QDir::Files, QDir::Name)) {
        if (!re.match(name).hasMatch()) continue;
        SideFile s;
        s.path = QDir(dir).filePath(name);
        s.name = name;
        QFile f(s.path);
        if (f.open(QIODevice::ReadOnly)) {
            const QByteArray bytes = f.readAll();
            s.sha256 = QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toHex();
            const QJsonDocument doc = QJsonDocument::fromJson(bytes);
            s.parsed = doc.isObject();
            s.doc = doc.object();
        }
        out.push_back(std::move(s));
    }
    return out;
}

QString verdictText(Verdict v) {
    switch (v) {
        case Verdict::Ok:
            return QStringLiteral("OK");
        case Verdict::NotClosed:
            return QStringLiteral("NOT CLOSED");
        case Verdict::Changed:
            return QStringLiteral("CHANGED");
        case Verdict::Missing:
            return QStringLiteral("MISSING");
    }
    return QString();
}

bool DirectoryVerdict::allGood() const {
    return readable && std::all_of(files.begin(), files.end(), [](const FileVerdict& f) {
               return f.verdict == Verdict::Ok || f.verdict == Verdict::NotClosed;
           });
}

namespace {

QString str(const QJsonObject& o, const char* key) { return o.value(QLatin1String(key)).toString(); }
qint64 num(const QJsonObject& o, const char* key) { return qint64(o.value(QLatin1String(key)).toDouble(-1)); }
QJsonObject previousOf(const SideFile& s) { return s.doc.value(QLatin1String(side::kPrevious)).toObject(); }

struct Findings {
    Verdict verdict = Verdict::Ok;
    QStringList details;
    void add(Verdict v, const QString& detail) {
        if (severity(v) > severity(verdict)) verdict = v;
        details << detail;
    }
};

// A closed side file's hash of one of its files against the file as it is now.
void checkHashed(Findings& f, const QString& dir, const QString& name, qint64 bytes, const QString& sha,
                 const char* what) {
    const QString path = QDir(dir).filePath(name);
    if (!QFileInfo::exists(path)) {
        f.add(Verdict::Missing, QStringLiteral("%1 %2 is missing").arg(QLatin1String(what), name));
        return;
    }
    const std::optional<FileDigest> d = digestFile(path, bytes);
    if (!d)
        f.add(Verdict::Changed, QStringLiteral("%1 %2 is shorter than the %3 bytes it had when closed")
                                    .arg(QLatin1String(what), name)
                                    .arg(bytes));
    else if (QString::fromLatin1(d->sha256) != sha)
        f.add(Verdict::Changed, QStringLiteral("%1 %2 differs from what was closed (sha256 now %3, then %4)")
                                    .arg(QLatin1String(what), name, QString::fromLatin1(d->sha256), sha));
}

}  // namespace

ChainHead findChainHead(const std::vector<SideFile>& sides) {
    std::set<QString> named;
    for (const SideFile& s : sides)
        if (s.closed()) named.insert(str(previousOf(s), side::kPreviousSideFile));
    ChainHead head;
    int64_t newest = INT64_MIN;
    for (const SideFile& s : sides) {
        int64_t local = 0, utc = 0;
        if (!s.closed() || named.count(s.name) || !parseIsoTime(str(s.doc, side::kClosedAt), &local, &utc)) continue;
        if (utc >= newest) {
            newest = utc;
            head = {s.name, s.sha256, s.recordFile()};
        }
    }
    return head;
}

DirectoryVerdict verifyDirectory(const QString& dir, const QString& onlyRecord) {
    DirectoryVerdict out;
    const QFileInfo di(dir);
    if (!di.isDir() || !di.isReadable() || !di.isExecutable()) return out;
    out.readable = true;
    const std::vector<SideFile> sides = readSideFiles(dir);
    std::map<QString, std::vector<const SideFile*>> byRecord;
    std::map<QString, const SideFile*> byName;
    std::map<QString, const SideFile*> successor;  // side file name -> the closed side file naming it
    std::map<QString, QStringList> lostSides;      // record name -> missing side files named by the chain
    std::set<QString> records;
    for (const QString& n : QDir(dir).entryList(QDir::Files, QDir::Name))
        if (isRecordFileName(n)) records.insert(n);
    for (const SideFile& s : sides) {
        byName[s.name] = &s;
        if (!s.parsed) continue;
        byRecord[s.recordFile()].push_back(&s);
        records.insert(s.recordFile());
    }
    for (const SideFile& s : sides) {
        const QJsonObject prev = previousOf(s);
        const QString p = str(prev, side::kPreviousSideFile);
        if (!s.closed() || p.isEmpty()) continue;
        successor[p] = &s;
        if (byName.count(p)) continue;
        const QString r = str(prev, side::kRecordFile);
        lostSides[r] << QStringLiteral("%1 (named by %2)").arg(p, s.name);
        records.insert(r);
    }
    records.erase(QString());

    for (const QString& r : records) {
        if (!onlyRecord.isEmpty() && r != onlyRecord) continue;
        Findings f;
        const QString path = QDir(dir).filePath(r);
        const std::vector<const SideFile*>& mine = byRecord[r];
        for (const QString& lost : lostSides[r])
            f.add(Verdict::Missing, QStringLiteral("side file ") + lost + QStringLiteral(" is missing"));
        for (int n = 1; n <= 9; ++n) {
            auto it = byName.find(fileNameOf(sideFilePath(path, n)));
            if (it != byName.end() && !it->second->parsed)
                f.add(Verdict::Changed, QStringLiteral("side file %1 cannot be read").arg(it->first));
        }
        if (!QFileInfo::exists(path)) {
            f.add(Verdict::Missing, QStringLiteral("the record file is missing"));
        } else if (mine.empty()) {
            if (f.details.isEmpty()) f.add(Verdict::Missing, QStringLiteral("no side file"));
        } else {
            bool open = false;
            qint64 covered = 0;
            for (const SideFile* s : mine) {
                auto succ = successor.find(s->name);
                if (succ != successor.end() &&
                    str(previousOf(*succ->second), side::kPreviousSha) != QString::fromLatin1(s->sha256))
                    f.add(Verdict::Changed, QStringLiteral("side file %1 differs from what %2 recorded of it")
                                                .arg(s->name, succ->second->name));
                if (!s->closed()) {
                    open = true;
                    continue;
                }
                covered = std::max(covered, num(s->doc, side::kRecordBytes));
                checkHashed(f, dir, r, num(s->doc, side::kRecordBytes), str(s->doc, side::kRecordSha), "record file");
                const QString stat = str(s->doc, side::kStatisticsFile);
                if (!stat.isEmpty())
                    checkHashed(f, dir, stat, num(s->doc, side::kStatisticsBytes), str(s->doc, side::kStatisticsSha),
                                "statistics file");
                const QString events = str(s->doc, side::kEventsFile);
                if (!events.isEmpty())
                    checkHashed(f, dir, events, num(s->doc, side::kEventsBytes), str(s->doc, side::kEventsSha),
                                "events file");
            }
            const qint64 size = QFileInfo(path).size();
            if (!open && size > covered)
                f.add(Verdict::Changed, QStringLiteral("%1 bytes were added after it was closed").arg(size - covered));
            if (f.details.isEmpty() && open) {
                const std::optional<FileDigest> d = digestFile(path);
                f.add(Verdict::NotClosed, QStringLiteral("its series was never closed (cut short); now %1 bytes, "
                                                         "sha256 %2")
                                              .arg(d ? d->bytes : size)
                                              .arg(d ? QString::fromLatin1(d->sha256) : QStringLiteral("unreadable")));
            }
        }
        out.files.push_back({r, f.verdict, f.details.join(QStringLiteral("; "))});
    }

    const ChainHead head = findChainHead(sides);
    out.headSideFile = head.sideFile;
    out.headSha256 = head.sha256;
    return out;
}

namespace {

std::vector<CalibrationCheck> checksOf(const QJsonArray& a) {
    std::vector<CalibrationCheck> out;
    for (const QJsonValue& v : a) {
        const QJsonObject o = v.toObject();
        CalibrationCheck c;
        int64_t utc = 0;
        if (!parseIsoTime(str(o, "time"), &c.localMs, &utc)) continue;
        c.levelDb = o.value(QLatin1String("level_db")).toDouble();
        c.serialNumber = str(o, "serial_number");
        out.push_back(c);
    }
    return out;
}

std::vector<CalibrationCheck> checksOf(const std::vector<LoggedCalibration>& log) {
    std::vector<CalibrationCheck> out;
    for (const LoggedCalibration& l : log)
        out.push_back(l.check);
    return out;
}

// The zone's name alone; older side files wrote "Europe/Berlin (UTC+02:00)".
// The offset in force at the start tells a repeated hour's two showings apart.
void readZone(const QJsonObject& first, ReportEvidence& e) {
    QString zone = str(first, "time_zone");
    QString offset = str(first, side::kUtcOffsetAtStart);
    static const QRegularExpression old(QStringLiteral("^(.*) \\(UTC([+-]\\d\\d:\\d\\d)\\)$"));
    if (const QRegularExpressionMatch m = old.match(zone); m.hasMatch()) {
        zone = m.captured(1);
        if (offset.isEmpty()) offset = m.captured(2);
    }
    if (offset.isEmpty() && str(first, side::kStart).size() > 6) offset = str(first, side::kStart).right(6);
    e.timeZone = zone;
    e.utcOffsetAtStart = offset;
}

}  // namespace

void seriesZone(const QString& recordPath, QString* zone, QString* utcOffsetAtStart) {
    const QFileInfo fi(recordPath);
    ReportEvidence e;
    for (const SideFile& s : readSideFiles(fi.absolutePath()))
        if (s.parsed && s.recordFile() == fi.fileName()) {
            readZone(s.doc, e);
            break;
        }
    *zone = e.timeZone;
    *utcOffsetAtStart = e.utcOffsetAtStart;
}

ReportEvidence reportEvidenceFor(const QString& recordPath) {
    ReportEvidence e;
    const QFileInfo fi(recordPath);
    const QString dir = fi.absolutePath();
    const QString name = fi.fileName();
    const DirectoryVerdict v = verifyDirectory(dir, name);
    if (!v.files.empty()) {
        e.verification = verdictText(v.files.front().verdict);
        e.verificationDetail = v.files.front().detail;
    }
    std::vector<SideFile> mine;
    for (SideFile& s : readSideFiles(dir))
        if (s.parsed && s.recordFile() == name) mine.push_back(std::move(s));
    if (mine.empty()) return e;
    const QJsonObject& first = mine.front().doc;
    const QJsonObject& last = mine.back().doc;
    const QJsonObject meter = first.value(QLatin1String("meter")).toObject();
    const QJsonObject details = first.value(QLatin1String("measurement")).toObject();
    e.serialNumber = str(meter, "serial_number");
    e.programVersion = str(first, "program");
    readZone(first, e);
    e.location = str(details, "location");
    e.operatorName = str(details, "operator");
    e.weather = str(details, "weather");
    e.notes = str(details, "notes");
    e.instrument = str(details, "instrument");
    e.meterSoftware = str(meter, "software");
    e.meterHardware = str(meter, "hardware");
    e.stream = str(first, "stream");
    const QJsonObject criteria = first.value(QLatin1String(side::kEventCriteria)).toObject();
    if (!criteria.isEmpty()) {
        e.eventCriteria.known = true;
        e.eventCriteria.levelDb = criteria.value(QLatin1String("level_db")).toDouble(0.0);
        e.eventCriteria.minDurationS = criteria.value(QLatin1String("min_duration_s")).toDouble();
        e.eventCriteria.hysteresisDb = criteria.value(QLatin1String("hysteresis_db")).toDouble();
    }
    e.checksBefore = checksOf(first.value(QLatin1String(side::kCalibrationBefore)).toArray());
    e.checksAfter = checksOf(last.value(QLatin1String(side::kCalibrationAfter)).toArray());
    if (!e.checksBefore.empty() && !e.checksAfter.empty()) return e;
    // Checks the side files could not take: before the first series of a
    // directory was started, or after a series was closed.
    const std::vector<LoggedCalibration> log = readCalibrationLog(calibrationLogPath(dir));
    int64_t local = 0, start = 0, end = 0;
    if (e.checksBefore.empty() && parseIsoTime(str(first, side::kStart), &local, &start))
        e.checksBefore = checksOf(lastStayBefore(log, start));
    if (e.checksAfter.empty() && parseIsoTime(str(last, side::kEnd), &local, &end))
        e.checksAfter = checksOf(firstStayAfter(log, end));
    return e;
}

}  // namespace kestro
