#include "statistics/StatisticsFile.h"

#include "core/Types.h"

#include <QLocale>
#include <QRegularExpression>
#include <cmath>
#include <cstdlib>

namespace kestro {

namespace {

char latin1(QChar c) { return c.unicode() <= 0xFF ? static_cast<char>(c.unicode()) : '?'; }

void appendLevel(QByteArray& out, double db, char decimal) {
    if (std::isnan(db)) {
        out.append('-');
        return;
    }
    const int64_t t = levelTenths(db);
    if (t < 0) out.append('-');
    const int64_t a = t < 0 ? -t : t;
    out.append(QByteArray::number(a / 10));
    out.append(decimal);
    out.append(char('0' + a % 10));
}

}  // namespace

QString utcOffsetText(int64_t offsetMs) {
    const int64_t m = (offsetMs < 0 ? -offsetMs : offsetMs) / 60000;
    return QStringLiteral("%1%2:%3")
        .arg(offsetMs < 0 ? QLatin1Char('-') : QLatin1Char('+'))
        .arg(m / 60, 2, 10, QLatin1Char('0'))
        .arg(m % 60, 2, 10, QLatin1Char('0'));
}

std::pair<QString, QString> intervalClockTexts(ZoneTimeline& zone, const IntervalResult& r, QChar gap) {
    const int64_t startUtc = r.startMs - kUnixEpochAbsoluteMs - int64_t{r.utcOffsetS} * 1000;
    if (zone.offsetAt(startUtc) != int64_t{r.utcOffsetS} * 1000)
        return {localDateTimeText(r.startMs), localDateTimeText(r.endMs)};
    auto text = [&](int64_t utc) {
        const int64_t local = zone.localOf(utc);
        QString t = localDateTimeText(local);
        if (zone.repeated(local)) t += gap + utcOffsetText(zone.offsetAt(utc));
        return t;
    };
    return {text(startUtc), text(startUtc + (r.endMs - r.startMs))};
}

QString statisticsFilePath(const QString& recordPath) {
    const qsizetype slash = recordPath.lastIndexOf(QLatin1Char('/'));
    const QString dir = recordPath.left(slash + 1);
    const QString name = recordPath.mid(slash + 1);
    static const QRegularExpression stamp(QStringLiteral("_[^_]+_\\d{8}_\\d{6}"));
    QRegularExpressionMatch m;
    qsizetype at = -1;
    // The last time stamp in the name: a base name may hold digits of its own.
    for (auto it = stamp.globalMatch(name); it.hasNext();) {
        m = it.next();
        at = m.capturedEnd();
    }
    if (at < 0) {
        at = name.lastIndexOf(QLatin1Char('.'));
        if (at <= 0) at = name.size();
    }
    return dir + name.left(at) + QStringLiteral("_STAT") + name.mid(at);
}

QByteArray statisticsHeaderLine(const StatisticsConfig& c) {
    static const char* const kColumns[] = {"Kind", "Start", "End", "Samples", "Leq",      "Lmax",      "Lmin",     "L5",
                                           "L10",  "L50",   "L90", "L95",     "Overflow", "Underflow", "OverLimit"};
    QByteArray out;
    for (const char* col : kColumns) {
        if (!out.isEmpty()) out.append(latin1(c.columnSeparator));
        out.append(col);
    }
    out.append("\r\n");
    return out;
}

void appendStatisticsRow(QByteArray& out, const StatisticsConfig& c, const IntervalResult& r, ZoneTimeline* zone) {
    if (r.samples <= 0) return;
    const auto [start, end] =
        zone ? intervalClockTexts(*zone, r) : std::pair{localDateTimeText(r.startMs), localDateTimeText(r.endMs)};
    const char t = latin1(c.columnSeparator);
    const char d = latin1(c.decimalSeparator);
    out.append(r.kind == ResultKind::Series ? "Series" : "Interval");
    out.append(t);
    out.append(start.toLatin1());
    out.append(t);
    out.append(end.toLatin1());
    out.append(t);
    out.append(QByteArray::number(qint64(r.samples)));
    for (double v : {r.leq, r.lmax, r.lmin, r.l5, r.l10, r.l50, r.l90, r.l95}) {
        out.append(t);
        appendLevel(out, v, d);
    }
    out.append(t);
    out.append(QByteArray::number(qint64(r.overflow)));
    out.append(t);
    out.append(QByteArray::number(qint64(r.underflow)));
    out.append(t);
    out.append(r.overLimit ? '1' : '0');
    out.append("\r\n");
}

QString localDateTimeText(int64_t localMs) {
    const SystemTime s = systemTimeFromAbsoluteMs(localMs);
    return QStringLiteral("%1-%2-%3 %4:%5:%6")
        .arg(s.wYear, 4, 10, QLatin1Char('0'))
        .arg(s.wMonth, 2, 10, QLatin1Char('0'))
        .arg(s.wDay, 2, 10, QLatin1Char('0'))
        .arg(s.wHour, 2, 10, QLatin1Char('0'))
        .arg(s.wMinute, 2, 10, QLatin1Char('0'))
        .arg(s.wSecond, 2, 10, QLatin1Char('0'));
}

QString isoLocalTime(int64_t localMs, int offsetMinutes) {
    const SystemTime t = systemTimeFromAbsoluteMs(localMs);
    const int a = std::abs(offsetMinutes);
    return QString::asprintf("%04d-%02d-%02dT%02d:%02d:%02d.%03d%c%02d:%02d", t.wYear, t.wMonth, t.wDay, t.wHour,
                             t.wMinute, t.wSecond, t.wMilliseconds, offsetMinutes < 0 ? '-' : '+', a / 60, a % 60);
}

QString isoTime(int64_t localMs, int64_t utcMs) {
    const int64_t offsetMs = localMs - (utcMs + kUnixEpochAbsoluteMs);
    return isoLocalTime(localMs, int(std::llround(double(offsetMs) / 60000.0)));
}

QString levelText(double db, QChar decimalSeparator) {
    QByteArray out;
    appendLevel(out, db, latin1(decimalSeparator));
    return QString::fromLatin1(out);
}

QChar shownDecimalPoint() {
    const QString point = QLocale().decimalPoint();
    return point.size() == 1 && point.at(0).unicode() < 256 ? point.at(0) : QLatin1Char('.');
}

}  // namespace kestro
