#include "recording/DailyReports.h"

#include "core/Types.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <algorithm>
#include <set>

namespace kestro {

namespace {

int64_t localMsOf(const QDateTime& t) {
    const QDateTime l = t.toLocalTime();
    const QDate d = l.date();
    const QTime c = l.time();
    return int64_t{dayNumber(d.year(), d.month(), d.day())} * 86400000 + c.msecsSinceStartOfDay();
}

}  // namespace

QString dailyReportsDir(const QString& recordDir) { return QDir(recordDir).filePath(QStringLiteral("reports")); }

std::vector<DaySeries> recordedSeries(const QString& dir) {
    static const QRegularExpression stamp(
        QStringLiteral("_(\\d{4})(\\d{2})(\\d{2})_(\\d{2})(\\d{2})(\\d{2})(\\.[^_]*)?$"));
    std::vector<DaySeries> out;
    const std::vector<SideFile> sides = readSideFiles(dir);
    for (const QString& name : QDir(dir).entryList(QDir::Files, QDir::Name)) {
        if (!isRecordFileName(name)) continue;
        const auto m = stamp.match(name);
        if (!m.hasMatch()) continue;
        DaySeries s;
        s.recordPath = QDir(dir).filePath(name);
        s.startLocalMs =
            int64_t{dayNumber(m.captured(1).toInt(), m.captured(2).toInt(), m.captured(3).toInt())} * 86400000 +
            ((m.captured(4).toInt() * 60 + m.captured(5).toInt()) * 60 + m.captured(6).toInt()) * 1000;
        s.endLocalMs = -1;
        bool open = false;
        for (const SideFile& f : sides) {
            if (!f.parsed || f.recordFile() != name) continue;
            int64_t local = 0, utc = 0;
            if (f.closed() && parseIsoTime(f.doc.value(QLatin1String(side::kEnd)).toString(), &local, &utc))
                s.endLocalMs = std::max(s.endLocalMs, local);
            else
                open = true;
        }
        // Cut short, still running, or from before side files: the file's last change is its end.
        if (open || s.endLocalMs < 0)
            s.endLocalMs = std::max(s.endLocalMs, localMsOf(QFileInfo(s.recordPath).lastModified()));
        s.endLocalMs = std::max(s.endLocalMs, s.startLocalMs);
        out.push_back(s);
    }
    return out;
}

QString newestSerial(const QString& dir) {
    QString serial;
    QString newest;
    for (const SideFile& f : readSideFiles(dir)) {
        const QString s =
            f.doc.value(QLatin1String("meter")).toObject().value(QLatin1String("serial_number")).toString();
        const QString start = f.doc.value(QLatin1String(side::kStart)).toString();
        if (!s.isEmpty() && start >= newest) {
            newest = start;
            serial = s;
        }
    }
    return serial;
}

std::vector<std::pair<QString, QByteArray>> unvouchedDailyReports(const QString& dir) {
    std::set<QString> named;
    for (const SideFile& s : readSideFiles(dir))
        for (const QJsonValue& v : s.doc.value(QLatin1String(kDailyReportsField)).toArray())
            named.insert(v.toObject().value(QLatin1String("name")).toString());
    std::vector<std::pair<QString, QByteArray>> out;
    const QDir reports(dailyReportsDir(dir));
    for (const QString& n : reports.entryList({QStringLiteral("*.json")}, QDir::Files, QDir::Name)) {
        const QString name = QStringLiteral("reports/") + n;
        if (!dailyReportDayOf(n) || named.count(name)) continue;
        if (const std::optional<FileDigest> d = digestFile(reports.filePath(n))) out.emplace_back(name, d->sha256);
    }
    return out;
}

std::vector<FileVerdict> verifyDailyReports(const QString& dir, const std::vector<SideFile>& sides) {
    std::vector<FileVerdict> out;
    for (const SideFile& s : sides) {
        if (!s.closed()) continue;
        for (const QJsonValue& v : s.doc.value(QLatin1String(kDailyReportsField)).toArray()) {
            const QString name = v.toObject().value(QLatin1String("name")).toString();
            const QByteArray sha = v.toObject().value(QLatin1String("sha256")).toString().toLatin1();
            FileVerdict f{name, Verdict::Ok, QString(), QString()};
            // Names as written: reports/<file>, nothing that climbs.
            if (!name.startsWith(QLatin1String("reports/")) || name.count(QLatin1Char('/')) != 1 ||
                name.contains(QLatin1String(".."))) {
                f.verdict = Verdict::Changed;
                f.detail = QStringLiteral("side file %1 names a daily report outside reports/").arg(s.name);
                out.push_back(f);
                continue;
            }
            const QString path = QDir(dir).filePath(name);
            const std::optional<FileDigest> d = digestFile(path);
            if (!d) {
                f.verdict = Verdict::Missing;
                f.detail = QStringLiteral("named by side file %1, it is missing").arg(s.name);
            } else if (d->sha256 != sha) {
                f.verdict = Verdict::Changed;
                f.detail = QStringLiteral("differs from what side file %1 recorded of it").arg(s.name);
            } else {
                QFile json(path);
                json.open(QIODevice::ReadOnly);
                const QJsonObject doc = QJsonDocument::fromJson(json.readAll()).object();
                QStringList bad;
                for (const char* k : {"report", "intervals_csv"}) {
                    const QString file = doc.value(QLatin1String(k)).toString();
                    if (file.isEmpty()) continue;
                    const std::optional<FileDigest> fd = file.contains(QLatin1Char('/'))
                                                             ? std::nullopt
                                                             : digestFile(QDir(dailyReportsDir(dir)).filePath(file));
                    if (!fd ||
                        fd->sha256 != doc.value(QLatin1String(k) + QLatin1String("_sha256")).toString().toLatin1())
                        bad << file;
                }
                if (!bad.isEmpty()) {
                    f.verdict = Verdict::Changed;
                    f.detail = QStringLiteral("%1 missing or not as the day's JSON records")
                                   .arg(bad.join(QStringLiteral(", ")));
                }
            }
            out.push_back(f);
        }
    }
    std::sort(out.begin(), out.end(),
              [](const FileVerdict& a, const FileVerdict& b) { return a.recordFile < b.recordFile; });
    return out;
}

}  // namespace kestro
