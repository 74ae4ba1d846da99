#include "recording/EvidenceFiles.h"

#include "recording/DailyReports.h"

#include "recording/StationKey.h"
#include "recording/TimeStamps.h"
#include "statistics/EventsFile.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QRegularExpression>

#include <openssl/evp.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <map>
#include <memory>
#include <set>

namespace kestro {

namespace {

const QString kInfoSuffix = QStringLiteral("_INFO");
const QString kJson = QStringLiteral(".json");

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
    // OpenSSL's SHA-256 uses the processor's SHA instructions: --verify goes at disk speed.
    std::unique_ptr<EVP_MD_CTX, void (*)(EVP_MD_CTX*)> h(EVP_MD_CTX_new(), EVP_MD_CTX_free);
    if (!h || EVP_DigestInit_ex(h.get(), EVP_sha256(), nullptr) != 1) return std::nullopt;
    QByteArray buf(1 << 20, Qt::Uninitialized);
    while (d.bytes < want) {
        const qint64 n = f.read(buf.data(), std::min<qint64>(buf.size(), want - d.bytes));
        if (n <= 0) return std::nullopt;
        EVP_DigestUpdate(h.get(), buf.constData(), size_t(n));
        d.bytes += n;
    }
    unsigned char md[EVP_MAX_MD_SIZE];
    unsigned int len = 0;
    if (EVP_DigestFinal_ex(h.get(), md, &len) != 1) return std::nullopt;
    d.sha256 = QByteArray(reinterpret_cast<const char*>(md), int(len)).toHex();
    return d;
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
    const QByteArray all = f.readAll();
    qint64 at = 0;
    for (const QByteArray& raw : all.split('\n')) {
        at += raw.size() + 1;
        const QList<QByteArray> cols = raw.trimmed().split(';');
        LoggedCalibration c;
        bool ok = false;
        // A line still being written (no line end yet) is not a reading yet.
        if (at > all.size() || cols.size() != 4 ||
            !parseIsoTime(QString::fromLatin1(cols[0]), &c.check.localMs, &c.utcMs))
            continue;
        c.check.levelDb = cols[1].toDouble(&ok);
        if (!ok) continue;
        c.check.serialNumber = QString::fromLatin1(cols[2]);
        c.time = QString::fromLatin1(cols[0]);
        c.key = QString::fromLatin1(cols[3]);
        c.endOffset = at;
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
            s.bytes = f.readAll();
            const QByteArray& bytes = s.bytes;
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

// A file that only closed side files speak for: all of it must be what the newest of them hashed.
void checkWhole(Findings& f, const QString& dir, const QString& name, qint64 covered, const char* what) {
    const QFileInfo fi(QDir(dir).filePath(name));
    if (!fi.exists()) return;
    if (covered < 0)
        f.add(Verdict::Changed, QStringLiteral("%1 %2 appeared after its series was closed, which had none")
                                    .arg(QLatin1String(what), name));
    else if (fi.size() > covered)
        f.add(Verdict::Changed, QStringLiteral("%1 %2: %3 bytes were added after its series was closed")
                                    .arg(QLatin1String(what), name)
                                    .arg(fi.size() - covered));
}

int64_t closedAtUtc(const SideFile& s) {
    int64_t local = 0, utc = 0;
    return parseIsoTime(str(s.doc, side::kClosedAt), &local, &utc) ? utc : INT64_MIN;
}

// Side files made with a key name its public key; older ones name none.
bool otherStation(const SideFile& a, const SideFile& b) {
    const QString x = str(a.doc, side::kStationKey), y = str(b.doc, side::kStationKey);
    return !x.isEmpty() && !y.isEmpty() && x != y;
}

}  // namespace

ChainHead findChainHead(const std::vector<SideFile>& sides) {
    // By content: a side file edited since a later one named it is no longer named.
    std::set<QString> named;
    for (const SideFile& s : sides)
        if (s.closed()) named.insert(str(previousOf(s), side::kPreviousSha));
    ChainHead head;
    int64_t newest = INT64_MIN;
    for (const SideFile& s : sides) {
        const int64_t utc = closedAtUtc(s);
        if (!s.closed() || named.count(QString::fromLatin1(s.sha256)) || utc == INT64_MIN) continue;
        if (utc >= newest) {
            newest = utc;
            head = {s.name, s.sha256, s.recordFile()};
        }
    }
    return head;
}

namespace {

enum class Signature { Good, None, Bad };

Signature signatureOf(const SideFile& s, const QByteArray& key) {
    QFile f(s.path + QLatin1String(kSignatureSuffix));
    if (!f.open(QIODevice::ReadOnly)) return Signature::None;
    return verifySignature(key, s.bytes, f.readAll()) ? Signature::Good : Signature::Bad;
}

}  // namespace

ChainLink findChainLink(const QString& dir, const QByteArray& sha256) {
    ChainLink link;
    const std::vector<SideFile> sides = readSideFiles(dir);
    std::map<QString, const SideFile*> bySha;
    for (const SideFile& s : sides) {
        if (!s.closed()) continue;
        bySha[QString::fromLatin1(s.sha256)] = &s;
        if (s.sha256 != sha256) continue;
        link.found = true;
        link.sideFile = s.name;
    }
    // Bounded by the number of side files: a loop of links cannot hold it.
    auto at = bySha.find(QString::fromLatin1(findChainHead(sides).sha256));
    for (size_t steps = 0; at != bySha.end() && steps <= sides.size(); ++steps) {
        if (at->second->sha256 == sha256) {
            link.onChain = true;
            link.after = int(steps);
            break;
        }
        at = bySha.find(str(previousOf(*at->second), side::kPreviousSha));
    }
    return link;
}

DirectoryVerdict verifyDirectory(const QString& dir, const QString& onlyRecord, const QByteArray& stationKey,
                                 const QString& timeStampCa) {
    DirectoryVerdict out;
    const QFileInfo di(dir);
    if (!di.isDir() || !di.isReadable() || !di.isExecutable()) return out;
    out.readable = true;
    const std::vector<SideFile> sides = readSideFiles(dir);
    std::map<QString, std::vector<const SideFile*>> byRecord;
    std::map<QString, const SideFile*> byName;
    std::map<QString, const SideFile*> bySha;
    std::map<QString, Findings> chain;  // record name -> what the links say of it
    std::set<QString> records;
    for (const QString& n : QDir(dir).entryList(QDir::Files, QDir::Name))
        if (isRecordFileName(n)) records.insert(n);
    for (const SideFile& s : sides) {
        byName[s.name] = &s;
        bySha[QString::fromLatin1(s.sha256)] = &s;
        if (!s.parsed) continue;
        byRecord[s.recordFile()].push_back(&s);
        records.insert(s.recordFile());
    }
    std::map<QString, const SideFile*> successor;  // sha256 -> the closed side file naming it
    std::vector<const SideFile*> roots;
    for (const SideFile& s : sides) {
        if (!s.closed()) continue;
        const QJsonObject prev = previousOf(s);
        const QString p = str(prev, side::kPreviousSideFile), sha = str(prev, side::kPreviousSha);
        if (p.isEmpty()) {
            roots.push_back(&s);
            continue;
        }
        if (bySha.count(sha)) {
            auto [it, fresh] = successor.emplace(sha, &s);
            if (!fresh)
                chain[s.recordFile()].add(Verdict::Changed, QStringLiteral("side file %1 continues the chain from %2, "
                                                                           "as %3 already does")
                                                                .arg(s.name, p, it->second->name));
            continue;
        }
        auto named = byName.find(p);
        if (named == byName.end()) {
            const QString r = str(prev, side::kRecordFile);
            chain[r].add(Verdict::Missing, QStringLiteral("side file %1 (named by %2) is missing").arg(p, s.name));
            records.insert(r);
        } else if (otherStation(s, *named->second)) {
            chain[s.recordFile()].add(Verdict::Changed,
                                      QStringLiteral("side file %1 was made by another station than %2, whose name "
                                                     "it gives as the previous one: it is not of this chain")
                                          .arg(s.name, p));
        } else {
            chain[named->second->recordFile()].add(
                Verdict::Changed, QStringLiteral("side file %1 differs from what %2 recorded of it").arg(p, s.name));
        }
    }
    // The first series of a directory starts its chain; any other start was put there.
    std::stable_sort(roots.begin(), roots.end(),
                     [](const SideFile* a, const SideFile* b) { return closedAtUtc(*a) < closedAtUtc(*b); });
    for (size_t i = 1; i < roots.size(); ++i)
        chain[roots[i]->recordFile()].add(Verdict::Changed,
                                          QStringLiteral("side file %1 starts a second chain (it names no previous "
                                                         "side file) in a directory whose chain starts with %2")
                                              .arg(roots[i]->name, roots[0]->name));
    records.erase(QString());
    std::map<const SideFile*, Signature> signatures;
    int64_t firstSigned = INT64_MAX;
    const SideFile* firstSignedSide = nullptr;
    for (const SideFile& s : sides) {
        if (stationKey.isEmpty() || !s.closed()) continue;
        const Signature g = signatures[&s] = signatureOf(s, stationKey);
        if (g == Signature::Good && closedAtUtc(s) < firstSigned) {
            firstSigned = closedAtUtc(s);
            firstSignedSide = &s;
        }
    }

    for (const QString& r : records) {
        if (!onlyRecord.isEmpty() && r != onlyRecord) continue;
        Findings f = chain[r];
        const QString path = QDir(dir).filePath(r);
        const std::vector<const SideFile*>& mine = byRecord[r];
        for (int n = 1; n <= 9; ++n) {
            auto it = byName.find(fileNameOf(sideFilePath(path, n)));
            if (it != byName.end() && !it->second->parsed)
                f.add(Verdict::Changed, QStringLiteral("side file %1 cannot be read").arg(it->first));
        }
        if (!QFileInfo::exists(path)) {
            f.add(Verdict::Missing, QStringLiteral("the record file is missing"));
        } else if (mine.empty()) {
            if (f.details.isEmpty()) f.add(Verdict::Missing, QStringLiteral("no side file"));
        }
        int good = 0, none = 0, bad = 0;
        for (const SideFile* s : mine) {
            if (!signatures.count(s)) continue;
            const Signature g = signatures[s];
            (g == Signature::Good ? good : g == Signature::None ? none : bad) += 1;
            if (g == Signature::Bad)
                f.add(Verdict::Changed, QStringLiteral("side file %1 has a BAD SIGNATURE: not made with this key, or "
                                                       "changed since it was signed")
                                            .arg(s->name));
            else if (g == Signature::None && closedAtUtc(*s) > firstSigned)
                f.add(Verdict::Changed, QStringLiteral("side file %1 is NOT SIGNED, though the station signed %2, "
                                                       "closed before it")
                                            .arg(s->name, firstSignedSide->name));
        }
        for (const SideFile* s : mine) {
            QFile tsr(s->path + QLatin1String(kTimeStampSuffix));
            if (timeStampCa.isEmpty() || !s->closed() || !tsr.open(QIODevice::ReadOnly)) continue;
            QString when, why;
            if (verifyTimeStamp(tsr.readAll(), s->bytes, timeStampCa, &when, &why))
                f.details << QStringLiteral("side file %1 TIME-STAMPED %2").arg(s->name, when);
            else
                f.add(Verdict::Changed, QStringLiteral("side file %1 has a BAD TIME STAMP (%2)").arg(s->name, why));
        }
        const QString signature = bad > 0    ? QStringLiteral("BAD SIGNATURE")
                                  : none > 0 ? QStringLiteral("NOT SIGNED")
                                  : good > 0 ? QStringLiteral("SIGNED BY THE STATION")
                                             : QString();
        if (QFileInfo::exists(path) && !mine.empty()) {
            bool open = false;
            qint64 covered = 0, statCovered = -1, eventsCovered = -1;
            const QString events = fileNameOf(eventsFilePath(path));
            const QString stat = fileNameOf(statisticsFilePath(path));
            for (const SideFile* s : mine) {
                if (!s->closed()) {
                    open = true;
                    continue;
                }
                covered = std::max(covered, num(s->doc, side::kRecordBytes));
                checkHashed(f, dir, r, num(s->doc, side::kRecordBytes), str(s->doc, side::kRecordSha), "record file");
                if (!str(s->doc, side::kStatisticsFile).isEmpty()) {
                    statCovered = std::max(statCovered, num(s->doc, side::kStatisticsBytes));
                    checkHashed(f, dir, str(s->doc, side::kStatisticsFile), num(s->doc, side::kStatisticsBytes),
                                str(s->doc, side::kStatisticsSha), "statistics file");
                }
                if (!str(s->doc, side::kEventsFile).isEmpty()) {
                    eventsCovered = std::max(eventsCovered, num(s->doc, side::kEventsBytes));
                    checkHashed(f, dir, str(s->doc, side::kEventsFile), num(s->doc, side::kEventsBytes),
                                str(s->doc, side::kEventsSha), "events file");
                }
            }
            const qint64 size = QFileInfo(path).size();
            if (!open) {
                if (size > covered)
                    f.add(Verdict::Changed,
                          QStringLiteral("%1 bytes were added after it was closed").arg(size - covered));
                checkWhole(f, dir, stat, statCovered, "statistics file");
                checkWhole(f, dir, events, eventsCovered, "events file");
            }
            if (f.verdict == Verdict::Ok && open) {
                const std::optional<FileDigest> d = digestFile(path);
                f.add(Verdict::NotClosed, QStringLiteral("its series was never closed (cut short); now %1 bytes, "
                                                         "sha256 %2")
                                              .arg(d ? d->bytes : size)
                                              .arg(d ? QString::fromLatin1(d->sha256) : QStringLiteral("unreadable")));
            }
        }
        out.files.push_back({r, f.verdict, f.details.join(QStringLiteral("; ")), signature});
    }

    // The calibration log grows between series: each closed side file vouches for the part it saw.
    if (onlyRecord.isEmpty()) {
        Findings f;
        const QString log = fileNameOf(calibrationLogPath(dir));
        bool vouched = false;
        for (const SideFile& s : sides) {
            if (!s.closed() || str(s.doc, side::kCalibrationLog).isEmpty()) continue;
            vouched = true;
            checkHashed(f, dir, log, num(s.doc, side::kCalibrationLogBytes), str(s.doc, side::kCalibrationLogSha),
                        "calibration log");
        }
        if (vouched) out.files.push_back({log, f.verdict, f.details.join(QStringLiteral("; "))});
        for (const FileVerdict& d : verifyDailyReports(dir, sides))
            out.files.push_back(d);
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

// Readings of the log up to `vouched` bytes into vouchedOut, the rest into others.
void splitChecks(const std::vector<LoggedCalibration>& log, qint64 vouched, std::vector<CalibrationCheck>& vouchedOut,
                 std::vector<CalibrationCheck>& others) {
    for (const LoggedCalibration& l : log)
        (l.endOffset <= vouched ? vouchedOut : others).push_back(l.check);
}

// The longest prefix of a file that a closed side file hashed and that is still as hashed.
qint64 vouchedPrefix(const QString& path, const std::vector<SideFile>& sides, const char* name, const char* bytes,
                     const char* sha) {
    qint64 best = 0;
    const QString file = fileNameOf(path);
    for (const SideFile& s : sides) {
        const qint64 n = num(s.doc, bytes);
        if (!s.closed() || str(s.doc, name) != file || n <= best) continue;
        const std::optional<FileDigest> d = digestFile(path, n);
        if (d && QString::fromLatin1(d->sha256) == str(s.doc, sha)) best = n;
    }
    return best;
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
    const std::vector<SideFile> all = readSideFiles(dir);
    std::vector<const SideFile*> mine;
    bool anyClosed = false;
    for (const SideFile& s : all) {
        if (!s.parsed || s.recordFile() != name) continue;
        mine.push_back(&s);
        anyClosed = anyClosed || s.closed();
    }
    if (anyClosed)
        e.eventsVouchedBytes = vouchedPrefix(eventsFilePath(fi.absoluteFilePath()), all, side::kEventsFile,
                                             side::kEventsBytes, side::kEventsSha);
    if (mine.empty()) return e;
    const SideFile& firstSide = *mine.front();
    const SideFile& lastSide = *mine.back();
    const QJsonObject& first = firstSide.doc;
    const QJsonObject& last = lastSide.doc;
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
    // An open side file may still be rewritten: its readings are nobody's word yet.
    (firstSide.closed() ? e.checksBefore : e.checksBeforeNotVouched) =
        checksOf(first.value(QLatin1String(side::kCalibrationBefore)).toArray());
    (lastSide.closed() ? e.checksAfter : e.checksAfterNotVouched) =
        checksOf(last.value(QLatin1String(side::kCalibrationAfter)).toArray());
    const bool before = e.checksBefore.empty() && e.checksBeforeNotVouched.empty();
    const bool after = e.checksAfter.empty() && e.checksAfterNotVouched.empty();
    if (!before && !after) return e;
    // Checks the side files could not take: before the first series of a
    // directory was started, or after a series was closed; only the part of
    // the log a closed side file saw is vouched for.
    const QString logPath = calibrationLogPath(dir);
    const std::vector<LoggedCalibration> log = readCalibrationLog(logPath);
    const qint64 vouched =
        vouchedPrefix(logPath, all, side::kCalibrationLog, side::kCalibrationLogBytes, side::kCalibrationLogSha);
    int64_t local = 0, start = 0, end = 0;
    if (before && parseIsoTime(str(first, side::kStart), &local, &start))
        splitChecks(lastStayBefore(log, start), vouched, e.checksBefore, e.checksBeforeNotVouched);
    if (after && parseIsoTime(str(last, side::kEnd), &local, &end))
        splitChecks(firstStayAfter(log, end), vouched, e.checksAfter, e.checksAfterNotVouched);
    return e;
}

}  // namespace kestro
