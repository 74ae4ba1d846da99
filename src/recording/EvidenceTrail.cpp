#include "recording/EvidenceTrail.h"

#include "kestro/Version.h"
#include "recording/DailyReports.h"
#include "statistics/EventsFile.h"
#include "statistics/StatisticsFile.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QTimeZone>

#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>
#include <algorithm>
#include <chrono>
#include <future>
#include <optional>
#include <utility>

namespace kestro {

namespace {

constexpr const char* kRecordLines = "record_lines";

// The settings the table lists under object of a side file, as listed there:
// flags as true/false, separators as their character, tenths divided by ten
// and null for a 0 that stands for none.
QJsonObject listedSettings(const RecorderSettings& s, const char* object) {
    QJsonObject o;
    for (const SettingDef& row : settingsSchema()) {
        if (!row.sideObject || qstrcmp(row.sideObject, object) != 0) continue;
        const QVariant v = settingValue(s, row.id);
        QJsonValue listed;
        if (row.kind == SettingKind::Flag)
            listed = v.toLongLong() != 0;
        else if (row.kind == SettingKind::Separator)
            listed = QString(QChar(char16_t(v.toInt())));
        else if (v.typeId() == QMetaType::QString)
            listed = v.toString();
        else if (!(row.has(kZeroIsNone) && v.toLongLong() <= 0))
            listed = row.has(kTenths) ? QJsonValue(v.toLongLong() / 10.0) : QJsonValue(v.toInt());
        o[QLatin1String(row.sideName)] = listed;
    }
    return o;
}

// A side file that could not be written is tried again after this long.
constexpr int64_t kRetryMs = 1000;

QString dirOf(const QString& path) { return path.left(path.lastIndexOf(QLatin1Char('/'))); }
QString nameOf(const QString& path) { return path.mid(path.lastIndexOf(QLatin1Char('/')) + 1); }

std::pair<dev_t, ino_t> identityOf(const QString& path) {
    struct stat st {};
    return ::stat(QFile::encodeName(path).constData(), &st) == 0 ? std::pair{st.st_dev, st.st_ino}
                                                                 : std::pair<dev_t, ino_t>{};
}

QJsonValue textOrNull(const QString& s) { return s.isEmpty() ? QJsonValue() : QJsonValue(s); }

QString keyOf(int16_t code) {
    switch (code) {
        case kCodeCals:
            return QStringLiteral("cals");
        case kCodeCalr:
            return QStringLiteral("calr");
        default:
            return QStringLiteral("cal");
    }
}

QJsonObject meterOf(const KestroStateRecord& k) {
    static const char* const kFunctions[] = {"Initialisation", "Lp", "LEQ", "MAX-Hold", "Calibration", "Service"};
    static const char* const kRanges[] = {"30 - 90 dB", "50 - 110 dB", "70 - 130 dB"};
    QJsonObject m;
    m[QLatin1String("serial_number")] = textOrNull(QString::fromStdString(serialNumberText(k.DevSerialNo)));
    const bool function = (k.DataValid & kValidFunction) && k.DevFunction >= 0 && k.DevFunction <= 5;
    m[QLatin1String("function")] = function ? QJsonValue(QLatin1String(kFunctions[k.DevFunction])) : QJsonValue();
    m[QLatin1String("function_code")] = function ? QJsonValue(k.DevFunction * 10 + k.DevVariant) : QJsonValue();
    const int range = k.DevRange & kRangeMask;
    const bool ranged = (k.DataValid & kValidRange) && range >= 1;
    m[QLatin1String("range")] = ranged ? QJsonValue(QLatin1String(kRanges[range - 1])) : QJsonValue();
    m[QLatin1String("auto_range")] = ranged ? QJsonValue((k.DevRange & kRangeAuto) != 0) : QJsonValue();
    m[QLatin1String("software")] =
        textOrNull((k.DataValid & kValidSwRev) ? QString::fromStdString(fixedTextToString(k.DevSwRev)) : QString());
    m[QLatin1String("hardware")] =
        textOrNull((k.DataValid & kValidHwRev) ? QString::fromStdString(fixedTextToString(k.DevHwRev)) : QString());
    return m;
}

QJsonObject readingJson(const QString& time, double db, const QString& serial, const QString& key) {
    QJsonObject o;
    o[QLatin1String("time")] = time;
    o[QLatin1String("level_db")] = db;
    o[QLatin1String("serial_number")] = textOrNull(serial);
    o[QLatin1String("key")] = key;
    return o;
}

QByteArray jsonBytes(const QJsonObject& o) { return QJsonDocument(o).toJson(QJsonDocument::Indented); }

int64_t nowUtc(const Clock& c) { return c.read().utcMs; }

}  // namespace

struct EvidenceTrail::Series {
    QString recordPath;
    QString statPath;
    QString eventsPath;
    QString sidePath;
    QJsonObject doc;  // the open side file's content
    bool dirty = true;
    int64_t retryUtc = 0;
    SystemTime lastLocal;  // the last sample's time
    int64_t lastUtc = 0;
    int64_t lines = 0;
    QJsonObject settings;          // the line settings last written down
    uint64_t linesGeneration = 0;  // of the settings last listed
    bool hashing = false;
    struct Closed {
        bool written = false;
        QByteArray sha256;              // of the side file as written
        std::optional<ChainHead> head;  // read from the directory when not known yet
    };
    std::future<Closed> closed;
    std::pair<dev_t, ino_t> dirId;   // the folder's identity when closing began
    std::pair<dev_t, ino_t> sideId;  // the open side file's, as last written
    QJsonObject movedFrom;           // the part left behind in the record directory before
};

EvidenceTrail::EvidenceTrail(const KestroStateRecord& device, const RecorderSettings& s, const Clock& clock,
                             HeldFn held, AppendFn append)
    : device_(device), s_(s), clock_(clock), held_(std::move(held)), append_(std::move(append)) {}

EvidenceTrail::~EvidenceTrail() = default;

const QJsonObject& EvidenceTrail::lineSettings() {
    // Found once: this runs every tick.
    static const std::vector<SettingId> rows = [] {
        std::vector<SettingId> ids;
        for (const SettingDef& row : settingsSchema())
            if (row.sideObject && qstrcmp(row.sideObject, kRecordLines) == 0) ids.push_back(row.id);
        return ids;
    }();
    bool same = !lines_.isEmpty();
    for (size_t i = 0; same && i < rows.size(); ++i)
        same = sameSetting(s_, linesOf_, rows[i]);
    if (!same) {
        linesOf_ = s_;
        lines_ = listedSettings(s_, kRecordLines);
        ++linesGeneration_;
    }
    return lines_;
}

bool EvidenceTrail::sidePathInUse(const QString& path) const {
    if (QFileInfo::exists(path)) return true;
    for (const auto& s : current_)
        if (s && s->sidePath == path) return true;
    for (const auto& s : closing_)
        if (s->sidePath == path) return true;
    return false;
}

void EvidenceTrail::loadLog(const QString& dir) {
    if (logsRead_.contains(dir)) return;
    logsRead_ << dir;
    const std::vector<LoggedCalibration> log = readCalibrationLog(calibrationLogPath(dir));
    if (log.empty()) return;
    if (lastStay_.isEmpty() && !inStay_) {
        const std::vector<LoggedCalibration> stay = lastStayBefore(log, INT64_MAX);
        for (size_t i = stay.size() > size_t(kMaxReadings) ? stay.size() - kMaxReadings : 0; i < stay.size(); ++i)
            lastStay_.append(readingJson(stay[i].time, stay[i].check.levelDb, stay[i].check.serialNumber, stay[i].key));
    }
    if (!hasLastCheck_) {
        hasLastCheck_ = true;
        lastCheck_ = log.back().check;
        if (onCalibration) onCalibration(lastCheck_);
    }
}

void EvidenceTrail::startSeries(int stream, const QString& recordPath, const QString& typeWord,
                                const MeasurementRecord& first) {
    if (current_[size_t(stream)]) endSeries(stream);
    auto s = std::make_unique<Series>();
    s->recordPath = recordPath;
    s->statPath = statisticsFilePath(recordPath);
    s->eventsPath = eventsFilePath(recordPath);
    for (int n = 1; s->sidePath.isEmpty() || sidePathInUse(s->sidePath); ++n)
        s->sidePath = sideFilePath(recordPath, n);
    loadLog(dirOf(recordPath));
    s->settings = lineSettings();
    s->linesGeneration = linesGeneration_;
    s->lines = s_.IncludeHeaderLine ? 1 : 0;
    const QString start = isoTime(first.SysTime, first.Instant);
    s->lastLocal = first.SysTime;
    s->lastUtc = first.Instant;

    QJsonObject& d = s->doc;
    d[QLatin1String("format")] = QStringLiteral("KestroRecorder series 1");
    d[QLatin1String(side::kState)] = QLatin1String(side::kOpen);
    d[QLatin1String(side::kRecordFile)] = nameOf(recordPath);
    d[QLatin1String(side::kStatisticsFile)] = nameOf(s->statPath);
    d[QLatin1String("stream")] = stream == 0 ? QStringLiteral("slow") : QStringLiteral("fast");
    d[QLatin1String("type")] = typeWord;
    d[QLatin1String(side::kStart)] = start;
    d[QLatin1String("time_zone")] = QString::fromLatin1(QTimeZone::systemTimeZoneId());
    d[QLatin1String(side::kUtcOffsetAtStart)] = start.right(6);
    d[QLatin1String("program")] = QStringLiteral(KESTRO_APP_TITLE " " KESTRO_VERSION_STRING);
    d[QLatin1String(side::kStationKey)] = key_ ? QJsonValue(key_->id()) : QJsonValue();
    d[QLatin1String("meter")] = meterOf(device_);
    // Every setting the table lists for side files, in its object (record_lines among them).
    for (const SettingDef& row : settingsSchema())
        if (row.sideObject && !d.contains(QLatin1String(row.sideObject)))
            d[QLatin1String(row.sideObject)] = listedSettings(s_, row.sideObject);
    d[QLatin1String(side::kCalibrationBefore)] = lastStay_;
    d[QLatin1String(side::kCalibrationAfter)] = QJsonArray();
    current_[size_t(stream)] = std::move(s);
    writeOpen(*current_[size_t(stream)]);
}

void EvidenceTrail::sampleWritten(int stream, const MeasurementRecord& r) {
    Series* s = current_[size_t(stream)].get();
    if (!s) return;
    ++s->lines;
    s->lastLocal = r.SysTime;
    s->lastUtc = r.Instant;
}

void EvidenceTrail::endSeries(int stream) {
    std::unique_ptr<Series> s = std::move(current_[size_t(stream)]);
    if (!s) return;
    s->doc[QLatin1String(side::kEnd)] = isoTime(s->lastLocal, s->lastUtc);
    s->retryUtc = 0;
    closing_.push_back(std::move(s));
    while (closeNext(false)) {}
}

void EvidenceTrail::fileBack(const QString& recordPath, bool restarted) {
    auto mark = [&](Series& s) {
        if (s.recordPath != recordPath) return;
        s.dirty = true;
        s.retryUtc = 0;
        if (!restarted) return;
        QJsonObject before = std::exchange(s.movedFrom, QJsonObject());
        if (before.isEmpty()) {
            before[QLatin1String(side::kRecordFile)] = nameOf(s.recordPath);
            before[QLatin1String("side_file")] = nameOf(s.sidePath);
        }
        QJsonArray parts = s.doc.value(QLatin1String(side::kPartsBefore)).toArray();
        parts.append(before);
        s.doc[QLatin1String(side::kPartsBefore)] = parts;
    };
    for (auto& s : current_)
        if (s) mark(*s);
    for (auto& s : closing_)
        mark(*s);
}

bool EvidenceTrail::filesOf(const QString& path, Files* out) const {
    auto has = [&](const Series& s, bool ended) {
        if (s.recordPath != path && s.statPath != path && s.eventsPath != path) return false;
        *out = {s.recordPath, s.statPath, s.eventsPath, ended};
        return true;
    };
    for (const auto& s : current_)
        if (s && has(*s, false)) return true;
    for (const auto& s : closing_)
        if (has(*s, true)) return true;
    return false;
}

void EvidenceTrail::moveSeries(const QString& recordPath, const QString& toDir) {
    auto move = [&](Series& s) {
        if (s.recordPath != recordPath || s.hashing) return;
        const QString oldSide = s.sidePath;
        s.recordPath = toDir + QLatin1Char('/') + nameOf(recordPath);
        s.statPath = statisticsFilePath(s.recordPath);
        s.eventsPath = eventsFilePath(s.recordPath);
        // The old folder under its new name: the same side file goes on.
        const QString same = toDir + QLatin1Char('/') + nameOf(oldSide);
        if (s.sideId != std::pair<dev_t, ino_t>{} && identityOf(same) == s.sideId) {
            s.sidePath = same;
        } else {
            s.sidePath.clear();
            QString free;
            for (int n = 1; free.isEmpty() || sidePathInUse(free); ++n)
                free = sideFilePath(s.recordPath, n);
            s.sidePath = free;
            QJsonObject before;
            before[QLatin1String(side::kRecordFile)] = nameOf(recordPath);
            before[QLatin1String("side_file")] = nameOf(oldSide);
            before[QLatin1String("directory")] = dirOf(recordPath);
            s.movedFrom = before;
        }
        s.dirty = true;
        s.retryUtc = 0;
    };
    for (auto& s : current_)
        if (s) move(*s);
    for (auto& s : closing_)
        move(*s);
}

bool EvidenceTrail::writeOpen(Series& s) {
    if (!writeFileDurably(s.sidePath, jsonBytes(s.doc))) {
        s.dirty = true;
        s.retryUtc = nowUtc(clock_) + kRetryMs;
        return false;
    }
    s.sideId = identityOf(s.sidePath);
    s.dirty = false;
    return true;
}

void EvidenceTrail::takeCalibration(const std::vector<CalibrationReading>& readings) {
    for (const CalibrationReading& r : readings) {
        CalibrationCheck c;
        c.localMs = absoluteMilliseconds(r.SysTime);
        c.levelDb = r.Level / 10.0;
        c.serialNumber = QString::fromStdString(serialNumberText(r.SerialNo));
        const QString time = isoTime(r.SysTime, r.Instant);
        const QString key = keyOf(r.Code);
        // Without a record directory there is no place for the log (never the root directory).
        if (!s_.RecordDirectory.isEmpty()) {
            const QString log = calibrationLogPath(s_.RecordDirectory);
            QByteArray bytes = calibrationLogLine(c, time, key);
            if (!QFileInfo::exists(log) && held_(log) == 0) bytes.prepend(calibrationLogHeader());
            append_(log, bytes);
        }

        const QJsonObject reading = readingJson(time, c.levelDb, c.serialNumber, key);
        if (!inStay_) lastStay_ = QJsonArray();
        inStay_ = true;
        lastStay_.append(reading);
        if (lastStay_.size() > kMaxReadings) lastStay_.removeFirst();
        for (auto& s : current_) {
            if (!s) continue;
            QJsonArray after = s->doc.value(QLatin1String(side::kCalibrationAfter)).toArray();
            if (after.size() >= kMaxReadings) continue;
            after.append(reading);
            s->doc[QLatin1String(side::kCalibrationAfter)] = after;
            s->dirty = true;
        }
        hasLastCheck_ = true;
        lastCheck_ = c;
        if (onCalibration) onCalibration(c);
    }
}

void EvidenceTrail::tick() {
    const KestroStateRecord& k = device_;
    if ((k.DataValid & kValidFunction) && k.DevFunction != kFunctionCal) inStay_ = false;
    if (s_.RecordDirectory != logDir_) {
        logDir_ = s_.RecordDirectory;
        if (!logDir_.isEmpty()) loadLog(QDir::cleanPath(logDir_));
    }
    announceHead();
    const int64_t now = nowUtc(clock_);
    const QJsonObject& settings = lineSettings();
    for (auto& s : current_) {
        if (!s) continue;
        if (linesGeneration_ != s->linesGeneration && settings != s->settings) {
            // Lines are formed with the settings of the moment they are written.
            QJsonObject change = settings;
            change[QLatin1String("from_line")] = qint64(s->lines + 1);
            QJsonArray changes = s->doc.value(QLatin1String("record_lines_changes")).toArray();
            changes.append(change);
            s->doc[QLatin1String("record_lines_changes")] = changes;
            s->settings = settings;
            s->dirty = true;
            s->retryUtc = 0;
        }
        s->linesGeneration = linesGeneration_;
        if (s->dirty && now >= s->retryUtc) writeOpen(*s);
    }
    while (closeNext(false)) {}
}

void EvidenceTrail::addDailyReport(const QString& dir, const QString& name, const QByteArray& sha256) {
    QJsonObject o;
    o[QLatin1String("name")] = name;
    o[QLatin1String("sha256")] = QString::fromLatin1(sha256);
    QJsonArray& list = dailyReports_[QDir::cleanPath(dir)];
    for (const QJsonValue& v : list)
        if (v.toObject() == o) return;
    list.append(o);
}

void EvidenceTrail::announceHead() {
    // The head of the record directory's chain is known before this run closes
    // a side file: whoever reads it after a restart sees it at once.
    const QString dir = QDir::cleanPath(logDir_);
    if (!headRead_.valid() && !logDir_.isEmpty() && !heads_.count(dir) && !headAnnounced_.contains(dir)) {
        headAnnounced_ << dir;
        headRead_ = std::async(std::launch::async, [dir] { return std::pair{dir, findChainHead(readSideFiles(dir))}; });
    }
    if (!headRead_.valid() || headRead_.wait_for(std::chrono::seconds(0)) != std::future_status::ready) return;
    const auto [read, head] = headRead_.get();
    if (heads_.count(read)) return;  // a side file closed meanwhile: that one is the head
    heads_[read] = head;
    heads_[read].directory = read;
    headDirs_[read] = identityOf(read);
    if (onChainHead && !head.sideFile.isEmpty()) onChainHead(heads_[read]);
}

namespace {

struct Digests {
    std::optional<FileDigest> record, stat, events, calibrationLog;
};

// The side file as closed: the open one with the hashes, the link to the
// chain's head, and its station.
QJsonObject closedDoc(QJsonObject d, const Digests& h, const ChainHead& head, const QString& closedAt,
                      const QString& eventsName, const QString& logName) {
    d[QLatin1String(side::kState)] = QLatin1String(side::kClosed);
    d[QLatin1String(side::kClosedAt)] = closedAt;
    d[QLatin1String(side::kRecordBytes)] = h.record->bytes;
    d[QLatin1String(side::kRecordSha)] = QString::fromLatin1(h.record->sha256);
    if (h.stat) {
        d[QLatin1String(side::kStatisticsBytes)] = h.stat->bytes;
        d[QLatin1String(side::kStatisticsSha)] = QString::fromLatin1(h.stat->sha256);
    } else {
        d.remove(QLatin1String(side::kStatisticsFile));
    }
    // Only a series that had events (or watched for them) has an events file.
    if (h.events) {
        d[QLatin1String(side::kEventsFile)] = eventsName;
        d[QLatin1String(side::kEventsBytes)] = h.events->bytes;
        d[QLatin1String(side::kEventsSha)] = QString::fromLatin1(h.events->sha256);
    }
    if (h.calibrationLog) {
        d[QLatin1String(side::kCalibrationLog)] = logName;
        d[QLatin1String(side::kCalibrationLogBytes)] = h.calibrationLog->bytes;
        d[QLatin1String(side::kCalibrationLogSha)] = QString::fromLatin1(h.calibrationLog->sha256);
    }
    QJsonObject previous;
    if (!head.sideFile.isEmpty()) {
        previous[QLatin1String(side::kPreviousSideFile)] = head.sideFile;
        previous[QLatin1String(side::kPreviousSha)] = QString::fromLatin1(head.sha256);
        previous[QLatin1String(side::kRecordFile)] = head.recordFile;
    }
    d[QLatin1String(side::kPrevious)] = head.sideFile.isEmpty() ? QJsonValue() : QJsonValue(previous);
    return d;
}

}  // namespace

bool EvidenceTrail::lost(const Series& s) const { return held_(s.recordPath) == 0 && !QFileInfo::exists(s.recordPath); }

bool EvidenceTrail::closeNext(bool wait) {
    QStringList tried;
    for (size_t i = 0; i < closing_.size(); ++i) {
        Series& s = *closing_[i];
        const QString dir = dirOf(s.sidePath);
        if (tried.contains(dir)) continue;  // behind the one its chain waits for
        tried << dir;
        auto next = std::find_if(closing_.begin() + qsizetype(i) + 1, closing_.end(),
                                 [&](const std::unique_ptr<Series>& n) { return dirOf(n->sidePath) == dir; });
        if (!s.hashing && next != closing_.end() && lost(s)) {
            // Its files went with their folder: the chain goes on past it, and says so.
            QJsonObject gone;
            gone[QLatin1String("side_file")] = nameOf(s.sidePath);
            gone[QLatin1String(side::kRecordFile)] = nameOf(s.recordPath);
            gone[QLatin1String("reason")] = QStringLiteral("its record file is gone");
            QJsonArray passed = s.doc.value(QLatin1String(side::kNotClosedBefore)).toArray();
            passed.append(gone);
            for (const QJsonValue& v : (*next)->doc.value(QLatin1String(side::kNotClosedBefore)).toArray())
                passed.append(v);
            (*next)->doc[QLatin1String(side::kNotClosedBefore)] = passed;
            givenUpTexts_ << QStringLiteral(
                                 "the side file %1 cannot be closed: its record file is gone; %2 is "
                                 "closed past it and names it")
                                 .arg(s.sidePath, nameOf((*next)->sidePath));
            closing_.erase(closing_.begin() + qsizetype(i));
            return true;
        }
        if (closeOne(s, wait)) {
            closing_.erase(closing_.begin() + qsizetype(i));
            return true;
        }
    }
    return false;
}

bool EvidenceTrail::closeOne(Series& s, bool wait) {
    const QString dir = dirOf(s.sidePath);
    if (!s.hashing) {
        if (held_(s.recordPath) > 0 || held_(s.statPath) > 0 || held_(s.eventsPath) > 0) return false;
        if (!wait && nowUtc(clock_) < s.retryUtc) return false;
        // Kept in the series' document, so a retried close names them still.
        if (auto d = dailyReports_.find(QDir::cleanPath(dir)); d != dailyReports_.end()) {
            QJsonArray all = s.doc.value(QLatin1String(kDailyReportsField)).toArray();
            for (const QJsonValue& v : d->second)
                all.append(v);
            s.doc[QLatin1String(kDailyReportsField)] = all;
            dailyReports_.erase(d);
        }
        // A folder made anew under the old name holds none of the chain known of it.
        s.dirId = identityOf(dir);
        if (headDirs_.count(dir) && headDirs_[dir] != s.dirId) heads_.erase(dir);
        // The sizes now: a later series may append to the same file (same name within a second).
        auto sizeOf = [](const QString& path) {
            return QFileInfo::exists(path) ? QFileInfo(path).size() : qint64(-2);
        };
        // The log grows on; what it holds now is what this series can vouch for.
        const QString log = calibrationLogPath(dir);
        const qint64 logBytes = sizeOf(log);
        const qint64 recordBytes = QFileInfo(s.recordPath).size();
        const qint64 statBytes = sizeOf(s.statPath), eventsBytes = sizeOf(s.eventsPath);
        // Off the poll cycle: hashing a week of fast values, reading a directory
        // of a year's side files, signing, and the syncs of the writes.
        std::optional<ChainHead> head;
        if (heads_.count(dir)) head = heads_[dir];
        s.closed = std::async(
            std::launch::async, [r = s.recordPath, st = s.statPath, ev = s.eventsPath, log, side = s.sidePath,
                                 doc = s.doc, key = key_, recordBytes, statBytes, eventsBytes, logBytes, dir, head,
                                 closedAt = isoTime(clock_.now(), nowUtc(clock_))] {
                // Behind the poll thread when both want the same processor.
                ::setpriority(PRIO_PROCESS, id_t(::syscall(SYS_gettid)), 10);
                Series::Closed c;
                if (!head) c.head = findChainHead(readSideFiles(dir));
                Digests h{digestFile(r, recordBytes), statBytes < -1 ? std::nullopt : digestFile(st, statBytes),
                          eventsBytes < -1 ? std::nullopt : digestFile(ev, eventsBytes),
                          logBytes < -1 ? std::nullopt : digestFile(log, logBytes)};
                if (!h.record) return c;
                const QByteArray bytes =
                    jsonBytes(closedDoc(doc, h, head ? *head : *c.head, closedAt, nameOf(ev), nameOf(log)));
                // The signature first: one left beside a side file still open is never looked at.
                if (key) {
                    const QByteArray sig = key->sign(bytes);
                    if (sig.isEmpty() || !writeFileDurably(side + QLatin1String(kSignatureSuffix), sig)) return c;
                }
                c.written = writeFileDurably(side, bytes);
                c.sha256 = QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toHex();
                return c;
            });
        s.hashing = true;
    }
    if (!wait && s.closed.wait_for(std::chrono::seconds(0)) != std::future_status::ready) return false;
    const Series::Closed c = s.closed.get();
    s.hashing = false;
    if (c.head && !heads_.count(dir)) {
        heads_[dir] = *c.head;
        headDirs_[dir] = s.dirId;
    }
    if (!c.written) {
        s.retryUtc = nowUtc(clock_) + kRetryMs;
        return false;
    }
    heads_[dir] = {nameOf(s.sidePath), c.sha256, nameOf(s.recordPath), dir};
    headDirs_[dir] = s.dirId;
    if (onChainHead) onChainHead(heads_[dir]);
    return true;
}

QStringList EvidenceTrail::finish(const std::vector<RecordWriter::Rescued>& rescued, const QString& rescueDir) {
    for (int stream = 0; stream < 2; ++stream)
        endSeries(stream);
    QStringList texts;
    while (!closing_.empty()) {
        Series& s = *closing_.front();
        QJsonArray pending;
        for (const RecordWriter::Rescued& r : rescued) {
            if (r.target != s.recordPath && r.target != s.statPath && r.target != s.eventsPath) continue;
            QJsonObject p;
            p[QLatin1String("file")] = nameOf(r.target);
            p[QLatin1String("lines_rescued")] = double(r.lines);
            p[QLatin1String("rescued_to")] = textOrNull(r.savedTo);
            p[QLatin1String("lines_lost")] = double(r.lostLines);
            pending.append(p);
        }
        if (pending.isEmpty() && closeOne(s, true)) {
            closing_.pop_front();
            continue;
        }
        // Not complete: the side file stays open and says why.
        s.doc[QLatin1String("pending_at_exit")] = pending;
        if (!writeFileDurably(s.sidePath, jsonBytes(s.doc))) {
            const QString aside = rescueDir + QLatin1Char('/') + nameOf(s.sidePath);
            const bool saved =
                !rescueDir.isEmpty() && QDir().mkpath(rescueDir) && writeFileDurably(aside, jsonBytes(s.doc));
            texts << (saved ? QStringLiteral("the side file %1 could not be written and was saved in %2")
                                  .arg(s.sidePath, aside)
                            : QStringLiteral("the side file %1 could not be written").arg(s.sidePath));
        }
        closing_.pop_front();
    }
    return texts;
}

}  // namespace kestro
