#include "statistics/DailyReport.h"

#include "core/Types.h"
#include "statistics/IntervalResult.h"
#include "statistics/StatisticsFile.h"

#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <cmath>

namespace kestro {

namespace {

constexpr int64_t kDayMs = 86400000;

int64_t floorDiv(int64_t a, int64_t b) { return a / b - (a % b != 0 && (a < 0) != (b < 0)); }

QJsonValue tenths(double db) {
    if (std::isnan(db)) return QJsonValue(QJsonValue::Null);
    return double(levelTenths(db)) / 10.0;
}

QJsonObject periodJson(const PeriodLevel& p, int fromHour, int toHour) {
    QJsonObject o;
    o[QLatin1String("db")] = tenths(p.level());
    o[QLatin1String("from")] = fromHour;
    o[QLatin1String("to")] = toHour;
    // Whole percent, rounded down: 74.9 % is not three quarters.
    o[QLatin1String("coverage_percent")] = int(std::floor(p.coverage() * 100.0 + 1e-9));
    o[QLatin1String("covered_s")] = double(p.coveredMs / 1000);
    o[QLatin1String("length_s")] = double(p.lengthMs / 1000);
    return o;
}

QJsonObject checkJson(const CalibrationCheck& c) {
    QJsonObject o;
    o[QLatin1String("time")] = localDateTimeText(c.localMs);
    o[QLatin1String("db")] = tenths(c.levelDb);
    return o;
}

}  // namespace

int32_t assessmentDayOf(int64_t localMs, int dayStartHour) {
    return int32_t(floorDiv(localMs - int64_t{dayStartHour} * 3600000, kDayMs));
}

int64_t assessmentDayStartMs(int32_t day, int dayStartHour) {
    return int64_t{day} * kDayMs + int64_t{dayStartHour} * 3600000;
}

bool seriesTouchesDay(const DaySeries& s, int32_t day, int dayStartHour) {
    const int64_t from = assessmentDayStartMs(day, dayStartHour);
    return s.startLocalMs < from + kDayMs && s.endLocalMs >= from;
}

std::vector<DaySeries> seriesOfDay(const std::vector<DaySeries>& all, int32_t day, int dayStartHour) {
    std::vector<DaySeries> out;
    for (const DaySeries& s : all)
        if (seriesTouchesDay(s, day, dayStartHour)) out.push_back(s);
    return out;
}

std::vector<int32_t> missingReportDays(const std::vector<DaySeries>& all, const std::set<int32_t>& reported,
                                       int32_t currentDay, int dayStartHour, int maxDays) {
    std::vector<int32_t> out;
    for (int32_t day = currentDay - maxDays; day < currentDay; ++day) {
        if (reported.count(day)) continue;
        for (const DaySeries& s : all)
            if (seriesTouchesDay(s, day, dayStartHour)) {
                out.push_back(day);
                break;
            }
    }
    return out;
}

QString dayText(int32_t day) { return localDateTimeText(int64_t{day} * kDayMs).left(10); }

std::optional<int32_t> parseDayText(const QString& text) {
    static const QRegularExpression form(QStringLiteral("^(\\d{4})-(\\d{2})-(\\d{2})$"));
    const auto m = form.match(text);
    if (!m.hasMatch()) return std::nullopt;
    const int32_t day = dayNumber(m.captured(1).toInt(), m.captured(2).toInt(), m.captured(3).toInt());
    // 2026-02-30 would count on into March.
    if (dayText(day) != text) return std::nullopt;
    return day;
}

QString dailyReportBaseName(int32_t day, const QString& serial) {
    QString s = serial;
    for (QChar& c : s)
        if (!(c.isLetterOrNumber() && c.unicode() < 128) && c != QLatin1Char('-')) c = QLatin1Char('_');
    return dayText(day) + QLatin1Char('_') + (s.isEmpty() ? QStringLiteral("unknown") : s);
}

std::optional<int32_t> dailyReportDayOf(const QString& fileName) {
    static const QRegularExpression form(QStringLiteral("^(\\d{4}-\\d{2}-\\d{2})_[A-Za-z0-9_-]+\\.json$"));
    const auto m = form.match(fileName);
    return m.hasMatch() ? parseDayText(m.captured(1)) : std::nullopt;
}

std::set<int32_t> reportedDays(const QString& reportsDir) {
    std::set<int32_t> out;
    for (const QString& name : QDir(reportsDir).entryList({QStringLiteral("*.json")}, QDir::Files))
        if (const auto day = dailyReportDayOf(name)) out.insert(*day);
    return out;
}

QByteArray dailyReportJson(const DailyReportContent& c) {
    QJsonObject o;
    o[QLatin1String("format")] = QStringLiteral("KestroRecorder day 1");
    o[QLatin1String("date")] = dayText(c.day);
    o[QLatin1String("serial_number")] = c.serial;
    const int64_t start = assessmentDayStartMs(c.day, c.periods.dayStartHour);
    o[QLatin1String("start")] = localDateTimeText(start);
    o[QLatin1String("end")] = localDateTimeText(start + kDayMs);
    o[QLatin1String("time_zone")] = c.timeZone;
    o[QLatin1String("program_version")] = c.programVersion;
    o[QLatin1String("recorded")] = c.levels.has_value();
    if (c.levels) {
        const DayLevels& d = *c.levels;
        const DayPeriods& p = c.periods;
        o[QLatin1String("Ld")] = periodJson(d.day, p.dayStartHour, p.eveningStartHour);
        o[QLatin1String("Le")] = periodJson(d.evening, p.eveningStartHour, p.nightStartHour);
        o[QLatin1String("Ln")] = periodJson(d.night, p.nightStartHour, p.dayStartHour);
        o[QLatin1String("Lden")] = tenths(d.lden());
        o[QLatin1String("LAeq24h")] = tenths(d.laeq24());
        o[QLatin1String("complete")] = d.complete();
        o[QLatin1String("length_h")] = double(d.lengthMs() / 3600000);
    }
    int64_t events = 0;
    int64_t markers = 0;
    QJsonArray series;
    for (const DaySeriesFigures& f : c.series) {
        events += f.events;
        markers += f.markers;
        QJsonObject s;
        s[QLatin1String("record_file")] = f.recordFile;
        s[QLatin1String("verification")] = f.verification.isEmpty() ? QJsonValue(QJsonValue::Null) : f.verification;
        s[QLatin1String("events")] = double(f.events);
        s[QLatin1String("markers")] = double(f.markers);
        QJsonArray before;
        QJsonArray after;
        for (const CalibrationCheck& k : f.checksBefore)
            before.append(checkJson(k));
        for (const CalibrationCheck& k : f.checksAfter)
            after.append(checkJson(k));
        s[QLatin1String("calibration_before")] = before;
        s[QLatin1String("calibration_after")] = after;
        // The last check before the series against the first after it, as the report compares them.
        s[QLatin1String("drift_db")] = f.checksBefore.empty() || f.checksAfter.empty()
                                           ? QJsonValue(QJsonValue::Null)
                                           : tenths(f.checksAfter.front().levelDb - f.checksBefore.back().levelDb);
        series.append(s);
    }
    o[QLatin1String("series")] = series;
    o[QLatin1String("events")] = double(events);
    o[QLatin1String("markers")] = double(markers);
    if (!c.pdfName.isEmpty()) {
        o[QLatin1String("report")] = c.pdfName;
        o[QLatin1String("report_sha256")] = QString::fromLatin1(c.pdfSha256);
        o[QLatin1String("intervals_csv")] = c.csvName;
        o[QLatin1String("intervals_csv_sha256")] = QString::fromLatin1(c.csvSha256);
    }
    return QJsonDocument(o).toJson(QJsonDocument::Indented);
}

}  // namespace kestro
