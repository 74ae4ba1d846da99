#include "statistics/EventsFile.h"

#include "core/Types.h"

#include <QFile>
#include <QRegularExpression>
#include <algorithm>
#include <cmath>

namespace kestro {

namespace {

const char* const kColumns[] = {"Kind", "Start", "End", "Duration", "Samples", "Lmax", "Leq", "SEL", "State", "Note"};
constexpr int kColumnCount = 10;

char latin1(QChar c) { return c.unicode() <= 0xFF ? static_cast<char>(c.unicode()) : '?'; }

QByteArray durationText(int64_t ms, char decimal) {
    const int64_t tenths = (std::max<int64_t>(ms, 0) + 50) / 100;
    return QByteArray::number(qint64(tenths / 10)) + decimal + char('0' + tenths % 10);
}

void appendRow(QByteArray& out, char t, const QList<QByteArray>& cells) {
    for (int i = 0; i < cells.size(); ++i) {
        if (i > 0) out.append(t);
        out.append(cells[i]);
    }
    out.append("\r\n");
}

bool parseTime(const QByteArray& s, int64_t* localMs) {
    static const QRegularExpression re(
        QStringLiteral("^(\\d{4})-(\\d\\d)-(\\d\\d) (\\d\\d):(\\d\\d):(\\d\\d)\\D(\\d{3})$"));
    const QRegularExpressionMatch m = re.match(QString::fromLatin1(s));
    if (!m.hasMatch()) return false;
    auto n = [&](int i) {
        return m.captured(i).toInt();
    };
    *localMs = int64_t{dayNumber(n(1), n(2), n(3))} * 86400000 + ((n(4) * 60 + n(5)) * 60 + n(6)) * 1000 + n(7);
    return true;
}

double levelOf(const QByteArray& s, char decimal) {
    if (s == "-") return IntervalResult::kNoLevel;
    QByteArray t = s;
    t.replace(decimal, '.');
    bool ok = false;
    const double v = t.toDouble(&ok);
    return ok ? v : IntervalResult::kNoLevel;
}

}  // namespace

QString eventsFilePath(const QString& recordPath) {
    const qsizetype slash = recordPath.lastIndexOf(QLatin1Char('/'));
    qsizetype dot = recordPath.lastIndexOf(QLatin1Char('.'));
    if (dot <= slash + 1) dot = recordPath.size();
    return recordPath.left(dot) + QStringLiteral("_EVENTS") + recordPath.mid(dot);
}

QString eventTimeText(int64_t localMs, QChar decimalSeparator) {
    return localDateTimeText(localMs) + decimalSeparator +
           QStringLiteral("%1").arg(((localMs % 1000) + 1000) % 1000, 3, 10, QLatin1Char('0'));
}

QByteArray eventsHeaderLine(const StatisticsConfig& c) {
    QList<QByteArray> cells;
    for (const char* col : kColumns)
        cells << col;
    QByteArray out;
    appendRow(out, latin1(c.columnSeparator), cells);
    return out;
}

QByteArray eventCriteriaRow(const StatisticsConfig& c, const EventConfig& e) {
    const char d = latin1(c.decimalSeparator);
    const QByteArray level = e.levelTenths > 0 ? levelText(e.levelTenths / 10.0, c.decimalSeparator).toLatin1() : "-";
    const QByteArray duration = durationText(e.minDurationMs, d);
    const QByteArray hysteresis = levelText(e.hysteresisTenths / 10.0, c.decimalSeparator).toLatin1();
    QByteArray out;
    appendRow(out, latin1(c.columnSeparator),
              {"Criteria", "-", "-", duration, "-", level, "-", "-", "-",
               (e.levelTenths > 0 ? "event level " + level + " dB" : QByteArray("no event level")) +
                   " / minimum duration " + duration + " s / hysteresis " + hysteresis + " dB"});
    return out;
}

void appendEventRows(QByteArray& out, const StatisticsConfig& c, const NoiseEvent& e) {
    const char t = latin1(c.columnSeparator);
    const char d = latin1(c.decimalSeparator);
    auto time = [&](int64_t ms) {
        return eventTimeText(ms, c.decimalSeparator).toLatin1();
    };
    auto level = [&](double db) {
        return levelText(db, c.decimalSeparator).toLatin1();
    };
    // The note is one line; anything else it holds stays.
    QString note = QString::fromStdString(e.note);
    note.replace(QLatin1Char('\r'), QLatin1Char(' ')).replace(QLatin1Char('\n'), QLatin1Char(' '));
    appendRow(out, t,
              {e.kind == EventKind::Marker ? "Marker" : "Exceedance", time(e.startLocalMs), time(e.endLocalMs),
               durationText(e.durationMs, d), QByteArray::number(qint64(e.samples)), level(e.lmax), level(e.leq),
               level(e.sel), e.open ? "open" : "closed", note.toLatin1()});
    for (const auto& [state, samples] : {std::pair{"before", &e.before}, std::pair{"after", &e.after}})
        for (const EventSample& s : *samples) {
            const QByteArray v = level(s.hundredths / 100.0);
            appendRow(out, t,
                      {"Sample", time(s.localMs), time(s.localMs), durationText(0, d), "1", v, v, "-", state, ""});
        }
}

EventsFileContent readEventsFile(const QString& path, int64_t vouchedBytes) {
    EventsFileContent out;
    QFile f(path);
    if (!f.exists()) return out;
    out.found = true;
    if (!f.open(QIODevice::ReadOnly)) {
        out.error = QStringLiteral("%1 cannot be read: %2").arg(path, f.errorString());
        return out;
    }
    const QByteArray all = f.readAll();
    const QList<QByteArray> lines = all.split('\n');
    char t = ';', d = ',';
    bool header = false;
    int64_t end = 0;
    // The last piece follows the last line end: empty, or a torn line.
    for (qsizetype i = 0; i + 1 < lines.size(); ++i) {
        QByteArray line = lines[i];
        end += line.size() + 1;
        std::vector<NoiseEvent>& list = vouchedBytes < 0 || end <= vouchedBytes ? out.events : out.notVouched;
        if (line.endsWith('\r')) line.chop(1);
        if (!header) {
            if (!line.startsWith("Kind") || line.size() < 5) {
                out.error = QStringLiteral("%1 has no header line").arg(path);
                return out;
            }
            t = line[4];
            header = true;
            continue;
        }
        QList<QByteArray> cells = line.split(t);
        if (cells.size() < kColumnCount) continue;
        // A separator inside the note belongs to it.
        while (cells.size() > kColumnCount)
            cells[kColumnCount - 1] += t + cells.takeAt(kColumnCount);
        const QByteArray& dur = cells[3];
        for (char c : dur)
            if (c < '0' || c > '9') d = c;
        if (cells[0] == "Criteria") {
            static const QRegularExpression hysteresis(QStringLiteral("hysteresis (\\d+\\D\\d) dB"));
            const QRegularExpressionMatch m = hysteresis.match(QString::fromLatin1(cells[9]));
            out.criteria.known = true;
            out.criteria.levelDb = cells[5] == "-" ? 0.0 : levelOf(cells[5], d);
            out.criteria.minDurationS = levelOf(dur, d);
            out.criteria.hysteresisDb = m.hasMatch() ? levelOf(m.captured(1).toLatin1(), d) : 0.0;
            continue;
        }
        NoiseEvent e;
        if (!parseTime(cells[1], &e.startLocalMs) || !parseTime(cells[2], &e.endLocalMs)) continue;
        const double lmax = levelOf(cells[5], d);
        if (cells[0] == "Sample") {
            if (list.empty() || list.back().kind != EventKind::Exceedance || std::isnan(lmax)) continue;
            const EventSample s{e.startLocalMs, int32_t(std::lround(lmax * 100.0))};
            (cells[8] == "before" ? list.back().before : list.back().after).push_back(s);
            continue;
        }
        if (cells[0] != "Exceedance" && cells[0] != "Marker") continue;
        e.kind = cells[0] == "Marker" ? EventKind::Marker : EventKind::Exceedance;
        e.durationMs = std::llround(levelOf(dur, d) * 1000.0);
        e.samples = cells[4].toLongLong();
        e.lmax = lmax;
        e.leq = levelOf(cells[6], d);
        e.sel = levelOf(cells[7], d);
        e.open = cells[8] == "open";
        e.note = QString::fromLatin1(cells[9]).toStdString();
        list.push_back(std::move(e));
    }
    return out;
}

std::vector<std::pair<int64_t, int64_t>> markedSpans(const std::vector<NoiseEvent>& events) {
    std::vector<std::pair<int64_t, int64_t>> spans;
    for (const NoiseEvent& e : events)
        if (e.kind == EventKind::Marker && e.endLocalMs > e.startLocalMs)
            spans.emplace_back(e.startLocalMs, e.endLocalMs);
    std::sort(spans.begin(), spans.end());
    std::vector<std::pair<int64_t, int64_t>> merged;
    for (const auto& s : spans) {
        if (!merged.empty() && s.first <= merged.back().second)
            merged.back().second = std::max(merged.back().second, s.second);
        else
            merged.push_back(s);
    }
    return merged;
}

}  // namespace kestro
