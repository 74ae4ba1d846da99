#include "report/ReportDocument.h"

#include "core/Types.h"
#include "protocol/DeviceCodes.h"
#include "report/ReportCharts.h"
#include "report/ReportFile.h"
#include "statistics/StatisticsFile.h"
#include "statistics/ZoneTimeline.h"

#include <QBuffer>
#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QFontMetricsF>
#include <QPageLayout>
#include <QPainter>
#include <QPdfWriter>
#include <algorithm>
#include <array>
#include <cmath>
#include <map>
#include <numeric>

namespace kestro {

namespace {

constexpr double kDriftWarningDb = 0.5;

// Lays out blocks from top to bottom and starts a new page when one does not fit.
class Pager {
public:
    // pageOf: "Page %1 of %2" in the report's language.
    Pager(QPdfWriter& w, QPainter& p, const QString& footer, const QString& pageOf, int totalPages)
        : w_(w), p_(p), footer_(footer), pageOf_(pageOf), total_(totalPages) {
        const QRect r = p.viewport();
        margin_ = w.resolution() * 15 / 25.4;
        page_ = QRectF(margin_, margin_, r.width() - 2 * margin_, r.height() - 2 * margin_);
        y_ = page_.top();
        drawFooter();
    }
    double width() const { return page_.width(); }
    double left() const { return page_.left(); }
    double y() const { return y_; }
    int pages() const { return pageNo_; }
    void advance(double h) { y_ += h; }
    // Room for h more at the cursor, else a new page (then true).
    bool need(double h) {
        if (y_ + h <= page_.bottom() - footerHeight()) return false;
        w_.newPage();
        ++pageNo_;
        y_ = page_.top();
        drawFooter();
        return true;
    }
    double footerHeight() const { return QFontMetricsF(smallFont(), p_.device()).height() * 1.5; }
    static QFont smallFont() { return QFont(QStringLiteral("DejaVu Sans"), 7); }

private:
    void drawFooter() {
        p_.save();
        p_.setFont(smallFont());
        p_.setPen(QColor(90, 90, 90));
        const QFontMetricsF fm(p_.font(), p_.device());
        const QRectF r(page_.left(), page_.bottom() - fm.height(), page_.width(), fm.height());
        p_.drawText(r, Qt::AlignLeft | Qt::AlignVCenter, footer_);
        p_.drawText(r, Qt::AlignRight | Qt::AlignVCenter, pageOf_.arg(pageNo_).arg(total_));
        p_.restore();
    }
    QPdfWriter& w_;
    QPainter& p_;
    QString footer_;
    QString pageOf_;
    int total_;
    double margin_ = 0;
    QRectF page_;
    double y_ = 0;
    int pageNo_ = 1;
};

QFont bodyFont() { return QFont(QStringLiteral("DejaVu Sans"), 9); }
QFont tableFont() { return QFont(QStringLiteral("DejaVu Sans"), 7); }

void heading(QPainter& p, Pager& pg, const QString& text) {
    QFont f = bodyFont();
    f.setPointSizeF(11.5);
    f.setBold(true);
    p.setFont(f);
    const QFontMetricsF fm(f, p.device());
    pg.need(fm.height() * 4);  // a heading never stands alone at the foot of a page
    pg.advance(fm.height() * 0.6);
    p.setPen(Qt::black);
    p.drawText(QPointF(pg.left(), pg.y() + fm.ascent()), text);
    pg.advance(fm.height() * 1.3);
}

void paragraph(QPainter& p, Pager& pg, const QString& text, const QColor& colour = Qt::black) {
    p.setFont(bodyFont());
    const QFontMetricsF fm(p.font(), p.device());
    const QRectF bound = fm.boundingRect(QRectF(0, 0, pg.width(), 1e6), Qt::TextWordWrap, text);
    pg.need(bound.height());
    p.setPen(colour);
    p.drawText(QRectF(pg.left(), pg.y(), pg.width(), bound.height()), Qt::TextWordWrap, text);
    pg.advance(bound.height() + fm.height() * 0.3);
}

struct Table {
    QStringList header;
    std::vector<double> widths;  // fractions of the page width
    std::vector<int> align;      // Qt alignment per column
};

// Rows of text; rows flagged red are drawn in the over-limit colour. Cells wrap.
void drawTable(QPainter& p, Pager& pg, const Table& t, const std::vector<QStringList>& rows,
               const std::vector<bool>& red) {
    QFont f = tableFont();
    const QFontMetricsF fm(f, p.device());
    const double pad = fm.height() * 0.2;
    const double lineH = fm.height() * 1.35;
    QFont bold = f;
    bold.setBold(true);
    const QFontMetricsF bm(bold, p.device());
    // Every column holds the longest word of its header and cells, whatever the font;
    // columns that then add up to more than the page give up their room beyond that.
    std::vector<double> widths = t.widths, least(t.widths.size(), 0.0);
    auto fit = [&](size_t i, const QString& text, const QFontMetricsF& m) {
        for (const QString& word : text.split(QLatin1Char(' ')))
            least[i] = std::max(least[i], (m.horizontalAdvance(word) + 2 * pad + 1) / pg.width());
    };
    for (size_t i = 0; i < widths.size(); ++i) {
        if (i < size_t(t.header.size())) fit(i, t.header[int(i)], bm);
        for (const QStringList& row : rows)
            if (i < size_t(row.size())) fit(i, row[int(i)], fm);
        widths[i] = std::max(widths[i], least[i]);
    }
    const double total = std::accumulate(widths.begin(), widths.end(), 0.0);
    const double floor = std::accumulate(least.begin(), least.end(), 0.0);
    for (size_t i = 0; i < widths.size() && total > 1.0; ++i)
        widths[i] =
            floor < 1.0 ? least[i] + (widths[i] - least[i]) * (1.0 - floor) / (total - floor) : widths[i] / total;
    // A header that does not fit its column wraps (whatever font the system gives) rather than being cut.
    double headerH = lineH;
    for (int i = 0; i < t.header.size(); ++i)
        headerH = std::max(headerH, bm.boundingRect(QRectF(0, 0, widths[size_t(i)] * pg.width() - 2 * pad, 1e6),
                                                    Qt::TextWordWrap, t.header[i])
                                            .height() +
                                        fm.height() * 0.35);
    auto headerRow = [&] {
        pg.need(headerH + lineH);
        p.setFont(bold);
        p.fillRect(QRectF(pg.left(), pg.y(), pg.width(), headerH), QColor(226, 230, 236));
        double x = pg.left();
        p.setPen(Qt::black);
        for (int i = 0; i < t.header.size(); ++i) {
            const double w = widths[size_t(i)] * pg.width();
            p.drawText(QRectF(x + pad, pg.y(), w - 2 * pad, headerH),
                       t.align[size_t(i)] | Qt::AlignVCenter | Qt::TextWordWrap, t.header[i]);
            x += w;
        }
        pg.advance(headerH);
        p.setFont(f);
    };
    p.setFont(f);
    if (!t.header.isEmpty()) headerRow();
    for (size_t r = 0; r < rows.size(); ++r) {
        double rowH = lineH;
        for (int i = 0; i < rows[r].size() && size_t(i) < widths.size(); ++i) {
            const double w = widths[size_t(i)] * pg.width() - 2 * pad;
            rowH = std::max(rowH, fm.boundingRect(QRectF(0, 0, w, 1e6), Qt::TextWordWrap, rows[r][i]).height() +
                                      fm.height() * 0.35);
        }
        if (pg.need(rowH) && !t.header.isEmpty()) headerRow();  // the header again on every page
        if (r % 2 == 1) p.fillRect(QRectF(pg.left(), pg.y(), pg.width(), rowH), QColor(246, 247, 249));
        p.setPen(r < red.size() && red[r] ? kOverLimitColour : QColor(Qt::black));
        double x = pg.left();
        for (int i = 0; i < rows[r].size() && size_t(i) < widths.size(); ++i) {
            const double w = widths[size_t(i)] * pg.width();
            p.drawText(QRectF(x + pad, pg.y(), w - 2 * pad, rowH),
                       t.align[size_t(i)] | Qt::AlignVCenter | Qt::TextWordWrap, rows[r][i]);
            x += w;
        }
        pg.advance(rowH);
    }
    pg.advance(lineH * 0.5);
}

QString timeOnly(int64_t ms) { return localDateTimeText(ms).mid(11); }

QString given(const ReportLanguage& lang, const QString& s) {
    return s.trimmed().isEmpty() ? lang.translate("Report", "not given") : s;
}

QString number(double v, int decimals, QChar d) {
    return QString::number(v, 'f', decimals).replace(QLatin1Char('.'), d);
}

// An interval's start and end as the clock showed them, with the UTC offset
// where it showed them twice (the hour when daylight saving time ends).
std::pair<QString, QString> clockTexts(ZoneTimeline& tl, const IntervalResult& r) {
    const int64_t startUtc = r.startMs - kUnixEpochAbsoluteMs - int64_t{r.utcOffsetS} * 1000;
    const int64_t endUtc = startUtc + (r.endMs - r.startMs);
    auto text = [&tl](int64_t utc) {
        const int64_t local = tl.localOf(utc);
        QString t = localDateTimeText(local);
        if (tl.repeated(local)) t += QChar(0xA0) + utcOffsetText(tl.offsetAt(utc));  // never wrapped apart
        return t;
    };
    return {text(startUtc), text(endUtc)};
}

// "level 70.0 dB, minimum duration 10 s, hysteresis 2.0 dB (side file)".
QString criteriaText(const ReportLanguage& lang, const EventCriteria& c, bool fromSideFile, QChar d) {
    if (!c.known) return lang.translate("Report", "not recorded with the measurement");
    const QString level = c.levelDb > 0 ? lang.translate("Report", "event level %1 dB").arg(number(c.levelDb, 1, d))
                                        : lang.translate("Report", "no event level (marked spans only)");
    return lang.translate("Report", "%1, minimum duration %2 s, hysteresis %3 dB (from the %4)")
        .arg(level, number(c.minDurationS, 0, d), number(c.hysteresisDb, 1, d),
             fromSideFile ? lang.translate("Report", "side file") : lang.translate("Report", "events file"));
}

// The record file of the other stream of the same measurement: same base, the
// other stream's type word, named within a minute of this one.
QString otherStreamFile(const QString& path) {
    const RecordFileName n = parseRecordFileName(path);
    if (!n.valid) return QString();
    const bool fast = isFastTypeWord(n.typeWord);
    const QFileInfo fi(path);
    for (const QFileInfo& other : fi.dir().entryInfoList(QDir::Files, QDir::Name)) {
        const RecordFileName o = parseRecordFileName(other.fileName());
        if (o.valid && o.base == n.base && o.extension == n.extension && isFastTypeWord(o.typeWord) != fast &&
            o.typeWord != QLatin1String("UnknownType") && std::llabs(o.startMs - n.startMs) <= 60000 &&
            !other.fileName().contains(QLatin1String("_STAT")) && !other.fileName().contains(QLatin1String("_EVENTS")))
            return other.fileName();
    }
    return QString();
}

// Which stream and reading rate the figures come from, and what to do when both were recorded.
QString streamText(const ReportLanguage& lang, const RecordAnalysis& a, const ReportEvidence& e) {
    const bool fast = e.stream.isEmpty() ? isFastTypeWord(a.typeWord) : e.stream == QLatin1String("fast");
    const double perSecond = a.read.cadenceMs > 0 ? 1000.0 / double(a.read.cadenceMs) : 0.0;
    const QString rate =
        perSecond >= 1.5   ? lang.translate("Report", "about %1 readings a second").arg(std::lround(perSecond))
        : perSecond > 0.75 ? lang.translate("Report", "one reading a second")
                           : lang.translate("Report", "one reading every %1 s")
                                 .arg(QStringLiteral("%1")
                                          .arg(a.read.cadenceMs / 1000.0)
                                          .replace(QLatin1Char('.'), lang.decimalMark(QLatin1Char('.'))));
    QString text = (fast ? lang.translate("Report", "The figures come from the fast stream (%1), %2.")
                         : lang.translate("Report", "The figures come from the slow stream (%1), %2."))
                       .arg(a.typeWord, rate);
    const QString other = otherStreamFile(a.path);
    if (!other.isEmpty())
        text += (fast ? lang.translate("Report",
                                       " The slow stream of the same measurement is in %1; the two differ where the "
                                       "level changes faster than the slow readings follow (a slow running value is "
                                       "integrated since the meter started). Report on the fast stream for short "
                                       "events, on the slow one for long-term levels, and say which.")
                      : lang.translate("Report",
                                       " The fast stream of the same measurement is in %1; the two differ where the "
                                       "level changes faster than the slow readings follow (a slow running value is "
                                       "integrated since the meter started). Report on the fast stream for short "
                                       "events, on the slow one for long-term levels, and say which."))
                    .arg(other);
    return text;
}

// Which zone the days follow, and why.
QString zoneText(const RecordAnalysis& a, const ReportOptions& o) {
    const ReportLanguage& lang = o.language;
    const ReportEvidence& e = o.evidence;
    const QString used = QString::fromUtf8(a.zone.id());
    QString t;
    if (e.timeZone.isEmpty())
        t = lang.translate("Report",
                           "not given: days and period lengths as in this computer's zone, %1 (--tz names another)")
                .arg(used);
    else if (e.timeZone != used)
        t = lang.translate("Report",
                           "%1, which this computer does not know: days and period lengths as in its own zone, %2")
                .arg(e.timeZone, used);
    else
        t = e.utcOffsetAtStart.isEmpty()
                ? used
                : lang.translate("Report", "%1 (UTC%2 at the start)").arg(used, e.utcOffsetAtStart);
    if (!o.timeZoneNote.isEmpty()) t += QStringLiteral("; ") + o.timeZoneNote;
    return t;
}

std::vector<Statistic> givenStatistics(Quantity q) {
    std::vector<Statistic> out;
    for (Statistic s : kStatistics)
        if (gives(q, s)) out.push_back(s);
    return out;
}

QString unitOf(Quantity q) { return q == Quantity::Amplitude ? QStringLiteral("dB") : QStringLiteral("dBA"); }

// O overload, U under-range, E estimated instants, > over the limit, R the
// meter started again, ~ no Leq within the reading resolution.
QString marks(const IntervalResult& r) {
    QString m;
    if (r.overflow > 0) m += QLatin1Char('O');
    if (r.underflow > 0) m += QLatin1Char('U');
    if (r.estimated > 0) m += QLatin1Char('E');
    if (r.overLimit) m += QLatin1Char('>');
    if (r.restarts > 0) m += QLatin1Char('R');
    if (r.leqUnresolved()) m += QLatin1Char('~');
    return m;
}

QString intervalLength(int32_t seconds) {
    return seconds < 60 ? QStringLiteral("%1 s").arg(seconds) : QStringLiteral("%1 min").arg(seconds / 60);
}

QString hours(int hour) { return QStringLiteral("%1").arg(hour, 2, 10, QLatin1Char('0')); }

}  // namespace

std::vector<std::vector<CalibrationCheck>> calibrationChecks(const std::vector<CalibrationCheck>& readings) {
    std::vector<std::vector<CalibrationCheck>> checks;
    for (const CalibrationCheck& c : readings) {
        if (checks.empty() || c.localMs - checks.back().back().localMs > kCalibrationCheckGapMs) checks.emplace_back();
        checks.back().push_back(c);
    }
    return checks;
}

namespace {

void writeCalibration(QPainter& p, Pager& pg, const ReportLanguage& lang, const ReportEvidence& e, const QString& meter,
                      QChar d) {
    heading(p, pg, lang.translate("Report", "Calibration checks"));
    std::vector<QStringList> rows;
    // One row per check: the readings of one stay in Calibration, with their range.
    auto add = [&](const char* when, const std::vector<CalibrationCheck>& readings) {
        for (const std::vector<CalibrationCheck>& check : calibrationChecks(readings)) {
            const CalibrationCheck &first = check.front(), &last = check.back();
            double low = first.levelDb, high = first.levelDb;
            QStringList serials;
            for (const CalibrationCheck& c : check) {
                low = std::min(low, c.levelDb);
                high = std::max(high, c.levelDb);
                QString serial = c.serialNumber.isEmpty() ? lang.translate("Report", "not known") : c.serialNumber;
                if (!c.serialNumber.isEmpty() && !meter.isEmpty() && c.serialNumber != meter)
                    serial += lang.translate("Report", " (another meter)");
                if (!serials.contains(serial)) serials << serial;
            }
            QString time = localDateTimeText(first.localMs);
            if (last.localMs != first.localMs) time += QStringLiteral(" \u2013 ") + timeOnly(last.localMs);
            QString level = number(low, 1, d);
            if (high != low) level += QStringLiteral(" \u2013 ") + number(high, 1, d);
            level += QStringLiteral(" dB");
            if (check.size() > 1) level += lang.translate("Report", " (%1 readings)").arg(check.size());
            rows.push_back({lang.translate("Report", when), time, level, serials.join(QStringLiteral(", "))});
        }
    };
    add(QT_TRANSLATE_NOOP("Report", "before"), e.checksBefore);
    add(QT_TRANSLATE_NOOP("Report", "after"), e.checksAfter);
    add(QT_TRANSLATE_NOOP("Report", "before, not vouched for"), e.checksBeforeNotVouched);
    add(QT_TRANSLATE_NOOP("Report", "after, not vouched for"), e.checksAfterNotVouched);
    if (rows.empty()) {
        paragraph(p, pg, lang.translate("Report", "No calibration check is known before or after the measurement."));
        return;
    }
    drawTable(p, pg,
              Table{{lang.translate("Report", "Check"), lang.translate("Report", "Date and time"),
                     lang.translate("Report", "Level"), lang.translate("Report", "Meter serial number")},
                    {0.2, 0.3, 0.22, 0.28},
                    {Qt::AlignLeft, Qt::AlignLeft, Qt::AlignRight, Qt::AlignLeft}},
              rows, {});
    if (!e.checksBeforeNotVouched.empty() || !e.checksAfterNotVouched.empty())
        paragraph(p, pg,
                  lang.translate("Report",
                                 "Checks not vouched for by a closed side file (added to the calibration log after "
                                 "it, or of a series never closed) enter no figure here."),
                  QColor(150, 90, 0));
    if (e.checksBefore.empty() || e.checksAfter.empty()) {
        paragraph(p, pg,
                  e.checksBefore.empty()
                      ? lang.translate("Report", "No check before the measurement: the drift is not known.")
                      : lang.translate("Report", "No check after the measurement: the drift is not known."),
                  QColor(150, 90, 0));
        return;
    }
    const double drift = e.checksAfter.front().levelDb - e.checksBefore.back().levelDb;
    const QString text = lang.translate("Report",
                                        "Drift between the last check before and the first check after the "
                                        "measurement: %1%2 dB.")
                             .arg(drift >= 0 ? QStringLiteral("+") : QString(), number(drift, 1, d));
    if (std::fabs(drift) > kDriftWarningDb)
        paragraph(p, pg,
                  text + lang.translate("Report", " Warning: more than %1 dB; the levels may be off by as much.")
                             .arg(number(kDriftWarningDb, 1, d)),
                  kOverLimitColour);
    else
        paragraph(p, pg, text);
}

QString eventDuration(int64_t ms, QChar d) { return number(ms / 1000.0, 1, d) + QStringLiteral(" s"); }

// Counts per day and per hour of day, the longest and the loudest exceedances
// with their time histories, every row of the events file, and the Leq of
// the recording with and without its marked spans.
// vouched: whether a closed side file speaks for the events file (ReportEvidence::eventsVouchedBytes).
void writeEvents(QPainter& p, Pager& pg, const ReportLanguage& lang, const RecordAnalysis& a, QChar d,
                 const QString& unit, bool vouched) {
    heading(p, pg, lang.translate("Report", "Events and markers"));
    const QString file = QFileInfo(a.eventsPath).fileName();
    if (!a.events.found) {
        paragraph(p, pg,
                  lang.translate("Report",
                                 "No events file (%1) lies beside the record file: nothing was marked, and no "
                                 "exceedance was watched for while it was recorded.")
                      .arg(file));
        return;
    }
    if (!a.events.error.isEmpty()) {
        paragraph(p, pg, a.events.error, kOverLimitColour);
        return;
    }
    if (!vouched)
        paragraph(p, pg,
                  lang.translate("Report",
                                 "Not vouched for: no closed side file speaks for %1 (its series was never closed, "
                                 "or its side file is missing); its rows are used as they are.")
                      .arg(file),
                  QColor(150, 90, 0));
    std::vector<const NoiseEvent*> exceedances, marks;
    for (const NoiseEvent& e : a.events.events)
        (e.kind == EventKind::Exceedance ? exceedances : marks).push_back(&e);
    paragraph(p, pg,
              lang.translate("Report",
                             "Exceedances of the event level: %1. Marked spans: %2. From %3. An exceedance starts "
                             "when the level rises above the event level and ends when it falls below that level "
                             "less the hysteresis; it counts when it lasted the minimum duration. SEL = LAeq + 10 "
                             "lg(duration / 1 s).")
                  .arg(exceedances.size())
                  .arg(marks.size())
                  .arg(file));

    std::map<QString, std::pair<int, int>> perDay;
    std::array<int, 24> perHour{};
    for (const NoiseEvent& e : a.events.events) {
        auto& day = perDay[localDateTimeText(e.startLocalMs).left(10)];
        (e.kind == EventKind::Exceedance ? day.first : day.second) += 1;
        if (e.kind == EventKind::Exceedance) ++perHour[size_t(systemTimeFromAbsoluteMs(e.startLocalMs).wHour)];
    }
    std::vector<QStringList> dayRows;
    for (const auto& [day, n] : perDay)
        dayRows.push_back({day, QString::number(n.first), QString::number(n.second)});
    drawTable(p, pg,
              Table{{lang.translate("Report", "Date"), lang.translate("Report", "Exceedances"),
                     lang.translate("Report", "Marked spans")},
                    {0.2, 0.15, 0.15},
                    {Qt::AlignLeft, Qt::AlignRight, Qt::AlignRight}},
              dayRows, {});
    Table byHour{{lang.translate("Report", "Exceedances by hour")}, {0.16}, {Qt::AlignLeft}};
    QStringList am{QStringLiteral("00–11 h")}, pm{QStringLiteral("12–23 h")};
    for (int h = 0; h < 12; ++h) {
        byHour.header << QStringLiteral("%1/%2").arg(hours(h), hours(h + 12));
        byHour.widths.push_back(0.07);
        byHour.align.push_back(Qt::AlignRight);
        am << QString::number(perHour[size_t(h)]);
        pm << QString::number(perHour[size_t(h + 12)]);
    }
    drawTable(p, pg, byHour, {am, pm}, {});

    // The three longest and the three loudest, each once, by start.
    std::vector<const NoiseEvent*> chosen;
    auto pick = [&](bool (*before)(const NoiseEvent*, const NoiseEvent*)) {
        std::vector<const NoiseEvent*> order = exceedances;
        std::stable_sort(order.begin(), order.end(), before);
        for (size_t i = 0; i < order.size() && i < 3; ++i)
            if (std::find(chosen.begin(), chosen.end(), order[i]) == chosen.end()) chosen.push_back(order[i]);
    };
    pick([](const NoiseEvent* x, const NoiseEvent* y) { return x->durationMs > y->durationMs; });
    pick([](const NoiseEvent* x, const NoiseEvent* y) { return x->lmax > y->lmax; });
    std::sort(chosen.begin(), chosen.end(),
              [](const NoiseEvent* x, const NoiseEvent* y) { return x->startLocalMs < y->startLocalMs; });
    for (const NoiseEvent* e : chosen) {
        paragraph(p, pg,
                  lang.translate("Report", "%1 to %2, %3%4: LAmax %5 %6, LAeq %7 %6, SEL %8 %6")
                      .arg(localDateTimeText(e->startLocalMs), timeOnly(e->endLocalMs), eventDuration(e->durationMs, d),
                           e->open ? lang.translate("Report", " (cut short by the end of the series)") : QString(),
                           levelText(e->lmax, d), unit, levelText(e->leq, d), levelText(e->sel, d)));
        const double plotH = pg.width() * 0.2;
        pg.need(plotH);
        PlotRange range = defaultPlotRange(a.history, 0);
        range.fromMs = e->startLocalMs - EventTracker::kContextMs;
        range.toMs = e->endLocalMs + EventTracker::kContextMs;
        range.unit = unit;
        p.setFont(tableFont());
        drawTimeHistory(p, QRectF(pg.left(), pg.y(), pg.width(), plotH), a.history, range, 0, QRectF(),
                        {{e->startLocalMs, e->endLocalMs, false}});
        pg.advance(plotH);
    }

    std::vector<QStringList> rows;
    for (const NoiseEvent& e : a.events.events)
        rows.push_back(
            {e.kind == EventKind::Marker ? lang.translate("Report", "Marker") : lang.translate("Report", "Exceedance"),
             localDateTimeText(e.startLocalMs), timeOnly(e.endLocalMs), eventDuration(e.durationMs, d),
             levelText(e.lmax, d), levelText(e.leq, d), levelText(e.sel, d),
             e.open ? lang.translate("Report", "open") : QString(), QString::fromStdString(e.note)});
    if (!rows.empty())
        drawTable(p, pg,
                  Table{{lang.translate("Report", "Kind"), lang.translate("Report", "Start"),
                         lang.translate("Report", "End"), lang.translate("Report", "Duration"), QStringLiteral("LAmax"),
                         QStringLiteral("LAeq"), QStringLiteral("SEL"), QString(), lang.translate("Report", "Note")},
                        {0.11, 0.17, 0.09, 0.09, 0.07, 0.07, 0.07, 0.06, 0.27},
                        {Qt::AlignLeft, Qt::AlignLeft, Qt::AlignLeft, Qt::AlignRight, Qt::AlignRight, Qt::AlignRight,
                         Qt::AlignRight, Qt::AlignLeft, Qt::AlignLeft}},
                  rows, {});

    if (!a.events.notVouched.empty()) {
        std::vector<QStringList> extra;
        for (const NoiseEvent& e : a.events.notVouched)
            extra.push_back({e.kind == EventKind::Marker ? lang.translate("Report", "Marker")
                                                         : lang.translate("Report", "Exceedance"),
                             localDateTimeText(e.startLocalMs), timeOnly(e.endLocalMs),
                             QString::fromStdString(e.note)});
        paragraph(p, pg,
                  lang.translate("Report",
                                 "Not vouched for: %1 rows of %2 that no closed side file vouches for (written after "
                                 "its series was closed, or changed since). They are counted nowhere in this "
                                 "report and leave no span out of any level.")
                      .arg(extra.size())
                      .arg(file),
                  kOverLimitColour);
        drawTable(p, pg,
                  Table{{lang.translate("Report", "Kind"), lang.translate("Report", "Start"),
                         lang.translate("Report", "End"), lang.translate("Report", "Note")},
                        {0.15, 0.25, 0.15, 0.45},
                        {Qt::AlignLeft, Qt::AlignLeft, Qt::AlignLeft, Qt::AlignLeft}},
                  extra, {});
    }
    const char* leq = statisticName(a.quantity, Statistic::Leq);
    if (marks.empty()) {
        paragraph(p, pg, lang.translate("Report", "Nothing was marked: no span is left out of any level."));
    } else if (!leq) {
        paragraph(p, pg,
                  lang.translate("Report", "A running maximum gives no LAeq: the marked spans leave no level out."));
    } else {
        paragraph(p, pg,
                  lang.translate("Report",
                                 "%1 of the whole recording: %2 %3. Without the %4 marked spans (%5 of %6 samples "
                                 "left out): %7 %3.")
                      .arg(QLatin1String(leq), levelText(a.summary.leq, d), unit)
                      .arg(marks.size())
                      .arg(a.markedSamples)
                      .arg(a.summary.samples)
                      .arg(levelText(a.withoutMarked.leq, d)));
    }
}

// What every section of a report draws with and from.
struct Sheet {
    QPainter& p;
    Pager& pg;
    const RecordAnalysis& a;
    const ReportOptions& o;
    QChar dec;
    QString unit;
    std::vector<Statistic> stats;
    ZoneTimeline timeline;
};

void writeTitle(Sheet& r) {
    const ReportLanguage& lang = r.o.language;
    QPainter& p = r.p;
    QFont title = bodyFont();
    title.setPointSizeF(16);
    title.setBold(true);
    p.setFont(title);
    p.drawText(QPointF(r.pg.left(), r.pg.y() + QFontMetricsF(title, p.device()).ascent()),
               lang.translate("Report", "Noise measurement report"));
    r.pg.advance(QFontMetricsF(title, p.device()).height() * 1.5);
}

// What was measured, with what, where and by whom.
void writeFacts(Sheet& r, const QString& serial) {
    const ReportLanguage& lang = r.o.language;
    const RecordAnalysis& a = r.a;
    const ReportOptions& o = r.o;
    const ReportEvidence& e = o.evidence;
    const IntervalResult& s = a.summary;
    const QChar dec = r.dec;
    const QString& unit = r.unit;
    const QString limit = a.config.limitTenths > 0 ? levelText(a.config.limitTenths / 10.0, dec) +
                                                         lang.translate("Report", " %1 (LAeq per interval)").arg(unit)
                                                   : lang.translate("Report", "none");
    QString samples = QString::number(s.samples);
    if (s.skipped > 0) samples += lang.translate("Report", ", %1 without a level (not counted)").arg(s.skipped);
    if (a.read.estimated > 0) samples += lang.translate("Report", ", %1 at estimated instants").arg(a.read.estimated);
    QStringList names;
    for (Statistic st : r.stats)
        names << QString::fromLatin1(statisticName(a.quantity, st));
    const bool any = s.samples + s.skipped > 0;
    IntervalResult whole = s;
    whole.endMs += a.read.cadenceMs;  // the last sample stands for its cadence
    const auto [startText, endText] = clockTexts(r.timeline, whole);
    QString software =
        e.meterSoftware.isEmpty() && e.meterHardware.isEmpty()
            ? lang.translate("Report", "not reported by the meter")
            : lang.translate("Report", "software %1, hardware %2")
                  .arg(e.meterSoftware.isEmpty() ? lang.translate("Report", "not reported") : e.meterSoftware,
                       e.meterHardware.isEmpty() ? lang.translate("Report", "not reported") : e.meterHardware);
    std::vector<QStringList> facts = {
        {lang.translate("Report", "Meter serial number"),
         serial.isEmpty() ? lang.translate("Report", "not known") : serial},
        {lang.translate("Report", "Instrument type and class"), given(lang, e.instrument)},
        {lang.translate("Report", "Meter revisions"), software},
        {lang.translate("Report", "Recorded with"), given(lang, e.programVersion)},
        {lang.translate("Report", "Report made with"), o.programVersion},
        {lang.translate("Report", "Record file"), QFileInfo(a.path).absoluteFilePath()},
        {lang.translate("Report", "Measured value"), quantityText(a.typeWord, lang)},
        {lang.translate("Report", "Statistics"),
         names.join(QStringLiteral(", ")) + lang.translate("Report", ", in ") + unit},
        {lang.translate("Report", "Location"), given(lang, e.location)},
        {lang.translate("Report", "Operator"), given(lang, e.operatorName)},
        {lang.translate("Report", "Weather"), given(lang, e.weather)},
        {lang.translate("Report", "Notes"), given(lang, e.notes)},
        {lang.translate("Report", "Time zone"), zoneText(a, o)},
        {lang.translate("Report", "Start"), any ? startText : QStringLiteral("-")},
        {lang.translate("Report", "End"), any ? endText : QStringLiteral("-")},
        {lang.translate("Report", "Duration"),
         durationText(a.coveredMs()) + lang.translate("Report", " (%1 samples)").arg(s.samples + s.skipped)},
        {lang.translate("Report", "Event criteria"),
         criteriaText(lang, e.eventCriteria.known ? e.eventCriteria : a.events.criteria, e.eventCriteria.known, dec)},
        {lang.translate("Report", "Interval"), intervalLength(a.config.intervalSeconds)},
        {lang.translate("Report", "Limit"), limit},
        {lang.translate("Report", "Samples"), samples},
    };
    if (a.read.flagColumnAssumed)
        facts.push_back(
            {lang.translate("Report", "Flag column"),
             lang.translate("Report", "no header line and one flag column after the level: read as %1 (%2)")
                 .arg(a.config.singleFlagColumn == kStatusUnderflow ? lang.translate("Report", "underflow")
                                                                    : lang.translate("Report", "overflow"),
                      o.flagColumnGiven ? lang.translate("Report", "as given") : lang.translate("Report", "assumed"))});
    QString verification = e.verification.isEmpty() ? lang.translate("Report", "not checked") : e.verification;
    if (!e.verificationDetail.isEmpty()) verification += QStringLiteral(": ") + e.verificationDetail;
    facts.push_back({lang.translate("Report", "File verification"), verification});
    drawTable(r.p, r.pg, Table{{}, {0.25, 0.75}, {Qt::AlignLeft, Qt::AlignLeft}}, facts, {});
    for (const QString& n : a.read.notices)
        paragraph(r.p, r.pg, lang.translate("Report", "Note: ") + n, QColor(150, 90, 0));
    paragraph(r.p, r.pg,
              lang.translate("Report",
                             "Levels are in %1 as the meter displays them; the meter does not report its time "
                             "weighting over the serial line. ")
                      .arg(unit) +
                  streamText(lang, a, e));
}

void writeTimeHistory(Sheet& r) {
    const ReportLanguage& lang = r.o.language;
    const RecordAnalysis& a = r.a;
    QPainter& p = r.p;
    Pager& pg = r.pg;
    heading(p, pg, lang.translate("Report", "Time history"));
    const double plotH = pg.width() * 0.42;
    pg.need(plotH);
    p.setFont(tableFont());
    if (!a.history.isEmpty()) {
        PlotRange range = defaultPlotRange(a.history, a.config.limitTenths);
        range.unit = r.unit;
        drawTimeHistory(p, QRectF(pg.left(), pg.y(), pg.width(), plotH), a.history, range, a.config.limitTenths,
                        QRectF(), shadedSpansOf(a.events.events));
    }
    pg.advance(plotH);
    paragraph(p, pg,
              lang.translate("Report", "Lowest and highest value of every pixel column; dashed lines mark midnight") +
                  (a.config.limitTenths > 0 ? lang.translate("Report", ", the red line the limit") : QString()) +
                  (a.events.events.empty()
                       ? QString()
                       : lang.translate("Report", "; orange bands are exceedances, blue ones marked spans")) +
                  QLatin1Char('.'));
}

void writeSummary(Sheet& r) {
    const ReportLanguage& lang = r.o.language;
    const IntervalResult& s = r.a.summary;
    const Quantity q = r.a.quantity;
    heading(r.p, r.pg, lang.translate("Report", "Summary of the whole recording"));
    Table levels;
    QStringList row;
    for (Statistic st : r.stats) {
        levels.header << QString::fromLatin1(statisticName(q, st));
        row << levelText(s.value(st), r.dec);
    }
    levels.header << lang.translate("Report", "Overflow") << lang.translate("Report", "Underflow");
    row << QString::number(s.overflow) << QString::number(s.underflow);
    levels.widths.assign(size_t(levels.header.size()), 0.1);
    levels.align.assign(size_t(levels.header.size()), Qt::AlignRight);
    drawTable(r.p, r.pg, levels, {row}, {s.overLimit});
    switch (q) {
        case Quantity::Level:
            paragraph(r.p, r.pg,
                      lang.translate("Report", "LAN is the level reached or exceeded by N % of the samples."));
            break;
        case Quantity::RunningLeq:
            paragraph(r.p, r.pg,
                      lang.translate("Report",
                                     "The meter integrates LAeq from the start of the series; an interval's LAeq "
                                     "is (T2·10^(L2/10) − T1·10^(L1/10)) / (T2 − T1), T counted "
                                     "from the series' first reading, L1 the reading before the interval and L2 its "
                                     "last. Where the 0.1 dB resolution of the readings leaves that more than "
                                     "±0.3 dB uncertain, the interval has none (~). A running LAeq gives no "
                                     "LAmax, LAmin or LAN."));
            break;
        case Quantity::RunningMax:
            paragraph(r.p, r.pg,
                      lang.translate("Report",
                                     "The meter holds the highest level since the series began: an interval's "
                                     "LAmax is that value at the interval's end, not the highest level within the "
                                     "interval alone. A running maximum gives no LAeq, LAmin or LAN."));
            break;
        case Quantity::Amplitude:
            paragraph(
                r.p, r.pg,
                lang.translate("Report", "Raw amplitudes give an Leq (the mean of their squares) and nothing else."));
            break;
    }
}

void writeDayLevels(Sheet& r) {
    const ReportLanguage& lang = r.o.language;
    const RecordAnalysis& a = r.a;
    const QChar dec = r.dec;
    const DayPeriods& dp = a.config.periods.valid() ? a.config.periods : DayPeriods();
    heading(r.p, r.pg, lang.translate("Report", "Day, evening and night levels"));
    if (!gives(a.quantity, Statistic::Leq)) {
        paragraph(r.p, r.pg, lang.translate("Report", "A running maximum gives no day levels."));
        return;
    }
    std::vector<QStringList> dayRows;
    auto period = [&](const PeriodLevel& pl) {
        return periodLevelText(pl, dec);
    };
    const QString periods[] = {lang.translate("Report", "day"), lang.translate("Report", "evening"),
                               lang.translate("Report", "night")};
    auto whole = [&](const DayLevels& d, double level) {
        return wholeDayText(d, level, dec, periods);
    };
    for (const DayLevels& d : a.days) {
        QString date = localDateTimeText(int64_t{d.dayNumber} * 86400000).left(10);
        if (d.lengthMs() != 24 * 3600000) date += QStringLiteral(" (%1 h)").arg(d.lengthMs() / 3600000);
        if (d.estimated > 0) date += QStringLiteral(" E");
        dayRows.push_back(
            {date, period(d.day), period(d.evening), period(d.night), whole(d, d.lden()), whole(d, d.laeq24())});
    }
    drawTable(r.p, r.pg,
              Table{{lang.translate("Report", "Assessment day"),
                     QStringLiteral("Ld %1\u2013%2").arg(hours(dp.dayStartHour), hours(dp.eveningStartHour)),
                     QStringLiteral("Le %1\u2013%2").arg(hours(dp.eveningStartHour), hours(dp.nightStartHour)),
                     QStringLiteral("Ln %1\u2013%2").arg(hours(dp.nightStartHour), hours(dp.dayStartHour)),
                     QStringLiteral("Lden"), QStringLiteral("LAeq,24h")},
                    {0.17, 0.15, 0.15, 0.15, 0.19, 0.19},
                    {Qt::AlignLeft, Qt::AlignRight, Qt::AlignRight, Qt::AlignRight, Qt::AlignRight, Qt::AlignRight}},
              dayRows, {});
    paragraph(r.p, r.pg,
              lang.translate("Report",
                             "An assessment day runs from %1:00 to %1:00 of the next date; in brackets the "
                             "hours the recording covers. Lden = 10 lg((hd·10^(Ld/10) + "
                             "he·10^((Le+5)/10) + hn·10^((Ln+10)/10)) / 24) and LAeq,24h likewise "
                             "without the additions, with the hours of each period (hn is 7 or 9 and the day "
                             "23 or 25 hours when daylight saving time begins or ends). Both are given only "
                             "when every period is covered to at least %2 %; otherwise the coverage of the "
                             "periods that fall short. E: instants estimated.")
                  .arg(hours(dp.dayStartHour))
                  .arg(std::lround(kMinimumCoverage * 100)));
}

// The interval table lists clock hours instead of intervals (which go into the CSV file).
bool compactIntervals(const RecordAnalysis& a) { return a.intervals.size() > kMaxIntervalRows; }

void writeOverLimit(Sheet& r) {
    const ReportLanguage& lang = r.o.language;
    const RecordAnalysis& a = r.a;
    const QChar dec = r.dec;
    heading(r.p, r.pg, lang.translate("Report", "Intervals over the limit"));
    if (a.config.limitTenths <= 0) {
        paragraph(r.p, r.pg, lang.translate("Report", "No limit was set."));
        return;
    }
    int64_t over = 0;
    const IntervalResult* loudest = nullptr;
    for (const IntervalResult& i : a.intervals) {
        if (!i.overLimit) continue;
        ++over;
        if (!loudest || i.leq > loudest->leq) loudest = &i;
    }
    if (!loudest)
        paragraph(r.p, r.pg,
                  lang.translate("Report", "No interval has an LAeq above %1 %2.")
                      .arg(levelText(a.config.limitTenths / 10.0, dec), r.unit));
    else
        paragraph(r.p, r.pg,
                  lang.translate("Report",
                                 "%1 of %2 intervals have an LAeq above %3 %4, the highest %5 %4 from %6 to "
                                 "%7; they are red and marked > in the interval table%8.")
                      .arg(over)
                      .arg(a.intervals.size())
                      .arg(levelText(a.config.limitTenths / 10.0, dec), r.unit, levelText(loudest->leq, dec),
                           clockTexts(r.timeline, *loudest).first, clockTexts(r.timeline, *loudest).second.mid(11),
                           compactIntervals(a) ? lang.translate("Report", " beside this report") : QString()));
}

void writeIntervals(Sheet& r, const QString& csvName) {
    const ReportLanguage& lang = r.o.language;
    const RecordAnalysis& a = r.a;
    const Quantity q = a.quantity;
    const bool compact = compactIntervals(a);
    const std::vector<IntervalResult>& shown = compact ? a.hours : a.intervals;
    Table intervalTable{{lang.translate("Report", "Date"), lang.translate("Report", "Start"),
                         lang.translate("Report", "End"), lang.translate("Report", "Samples")},
                        {0.1, 0.08, 0.08, 0.08},
                        {Qt::AlignLeft, Qt::AlignLeft, Qt::AlignLeft, Qt::AlignRight}};
    const double levelWidth = r.stats.size() > 1 ? 0.07 : 0.1;
    for (Statistic st : r.stats) {
        intervalTable.header << QString::fromLatin1(statisticName(q, st));
        intervalTable.widths.push_back(levelWidth);
        intervalTable.align.push_back(Qt::AlignRight);
    }
    for (const char* h : {QT_TRANSLATE_NOOP("Report", "Ovf."), QT_TRANSLATE_NOOP("Report", "Unf."),
                          QT_TRANSLATE_NOOP("Report", "Marks")}) {
        intervalTable.header << lang.translate("Report", h);
        intervalTable.widths.push_back(0.05);
        intervalTable.align.push_back(Qt::AlignRight);
    }
    auto rowOf = [&](const IntervalResult& i) {
        const auto [start, end] = clockTexts(r.timeline, i);
        QStringList cells{start.left(10), start.mid(11), end.mid(11), QString::number(i.samples)};
        for (Statistic st : r.stats)
            cells << levelText(i.value(st), r.dec);
        cells << QString::number(i.overflow) << QString::number(i.underflow) << marks(i);
        return cells;
    };
    heading(r.p, r.pg,
            compact ? lang.translate("Report", "Clock hours")
                    : lang.translate("Report", "Intervals of %1").arg(intervalLength(a.config.intervalSeconds)));
    if (compact)
        paragraph(r.p, r.pg,
                  lang.translate("Report",
                                 "The recording has %1 intervals of %2: the table lists clock hours, every interval "
                                 "is in %3 beside this report.")
                      .arg(a.intervals.size())
                      .arg(intervalLength(a.config.intervalSeconds), csvName));
    std::vector<QStringList> rows;
    std::vector<bool> red;
    rows.reserve(shown.size());
    for (const IntervalResult& i : shown) {
        rows.push_back(rowOf(i));
        red.push_back(i.overLimit);
    }
    if (rows.empty())
        paragraph(r.p, r.pg, lang.translate("Report", "The file holds no level."));
    else
        drawTable(r.p, r.pg, intervalTable, rows, red);
    paragraph(r.p, r.pg,
              lang.translate("Report",
                             "Marks: O overload, U under-range, E instants estimated (lines without a time), > "
                             "over the limit, R the meter started its measurement again, ~ no LAeq within the "
                             "resolution of the readings."));
}

// The number of pages, 0 when the report cannot be written.
int render(QPdfWriter& writer, const RecordAnalysis& a, const ReportOptions& o, int totalPages, const QString& csvName,
           QString* why) {
    QPainter p;
    if (!p.begin(&writer)) {
        *why = QStringLiteral("the report cannot be written there");
        return 0;
    }
    Pager pg(writer, p,
             QFileInfo(a.path).fileName() + QStringLiteral(" \u2014 ") + o.programVersion + QStringLiteral(" \u2014 ") +
                 QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd hh:mm")),
             o.language.translate("Report", "Page %1 of %2"), totalPages);
    Sheet sheet{p,
                pg,
                a,
                o,
                o.language.decimalMark(o.decimalSeparator),
                unitOf(a.quantity),
                givenStatistics(a.quantity),
                ZoneTimeline(a.zone)};
    const ReportEvidence& e = o.evidence;
    const QString serial = !e.serialNumber.isEmpty() ? e.serialNumber : o.serialNumber;
    writeTitle(sheet);
    writeFacts(sheet, serial);
    writeCalibration(p, pg, o.language, e, serial, sheet.dec);
    writeTimeHistory(sheet);
    writeSummary(sheet);
    writeDayLevels(sheet);
    writeOverLimit(sheet);
    writeEvents(p, pg, o.language, a, sheet.dec, sheet.unit, e.eventsVouchedBytes >= 0);
    writeIntervals(sheet, csvName);
    if (!p.end()) {
        *why = QStringLiteral("the report could not be completed");
        return 0;
    }
    return pg.pages();
}

bool writeIntervalCsv(const RecordAnalysis& a, const QString& path, QString* error) {
    ZoneTimeline timeline(a.zone);
    QByteArray out = "Start,End,Samples";
    for (Statistic st : kStatistics)
        if (gives(a.quantity, st)) out += QByteArray(",") + statisticName(a.quantity, st);
    out += ",Overflow,Underflow,Estimated,OverLimit\r\n";
    for (const IntervalResult& r : a.intervals) {
        auto [start, end] = clockTexts(timeline, r);
        out += start.replace(QChar(0xA0), QLatin1Char(' ')).toLatin1() + ',' +
               end.replace(QChar(0xA0), QLatin1Char(' ')).toLatin1() + ',' + QByteArray::number(qint64(r.samples));
        for (Statistic st : kStatistics) {
            if (!gives(a.quantity, st)) continue;
            out += ',';
            if (!std::isnan(r.value(st))) out += levelText(r.value(st)).toLatin1();
        }
        out += ',' + QByteArray::number(qint64(r.overflow)) + ',' + QByteArray::number(qint64(r.underflow)) + ',' +
               QByteArray::number(qint64(r.estimated)) + ',' + (r.overLimit ? '1' : '0') + "\r\n";
    }
    return writeWholeFile(
        path,
        [&](QIODevice* f, QString* why) {
            if (f->write(out) == out.size()) return true;
            *why = f->errorString();
            return false;
        },
        error);
}

}  // namespace

QString intervalCsvPath(const QString& pdfPath) {
    const QFileInfo fi(pdfPath);
    return fi.dir().filePath(fi.completeBaseName() + QStringLiteral("_intervals.csv"));
}

QString durationText(int64_t ms) {
    if (ms < 0) ms = 0;
    const int64_t s = (ms + 500) / 1000;
    return QStringLiteral("%1:%2:%3")
        .arg(s / 3600, 2, 10, QLatin1Char('0'))
        .arg(s / 60 % 60, 2, 10, QLatin1Char('0'))
        .arg(s % 60, 2, 10, QLatin1Char('0'));
}

QString quantityText(const QString& typeWord, const ReportLanguage& lang) {
    const char* text = QT_TRANSLATE_NOOP("Report", "the A-weighted sound level at each reading");
    if (typeWord == QLatin1String("LEQ") || typeWord == QLatin1String("LEQF"))
        text = QT_TRANSLATE_NOOP("Report",
                                 "the A-weighted equivalent level LAeq, integrated by the meter since it started its "
                                 "measurement (with the series)");
    else if (typeWord == QLatin1String("MAX"))
        text = QT_TRANSLATE_NOOP(
            "Report", "the highest A-weighted level since the meter started its measurement (with the series)");
    else if (typeWord == QLatin1String("RAW"))
        text = QT_TRANSLATE_NOOP("Report", "raw amplitudes, as levels 20 lg v");
    else if (typeWord != QLatin1String("LP") && typeWord != QLatin1String("LPF"))
        return lang.translate("Report", "not known from the file name: read as sound levels");
    return typeWord + (isFastTypeWord(typeWord) ? lang.translate("Report", " (fast values): ") : QStringLiteral(": ")) +
           lang.translate("Report", text);
}

bool writeReportPdf(const RecordAnalysis& a, const ReportOptions& o, const QString& outPath, QString* error) {
    if (sameFile(a.path, outPath)) {
        if (error) *error = QStringLiteral("%1 is the record file itself; the report would replace it").arg(outPath);
        return false;
    }
    auto setUp = [&](QPdfWriter& w) {
        w.setPageSize(QPageSize(QPageSize::A4));
        w.setPageMargins(QMarginsF(0, 0, 0, 0));
        w.setResolution(300);
        w.setTitle(o.language.translate("Report", "Noise measurement report: ") + QFileInfo(a.path).fileName());
        w.setCreator(o.programVersion);
    };
    // Laid out twice: the first time only to count the pages.
    QBuffer scratch;
    scratch.open(QIODevice::WriteOnly);
    QPdfWriter counting(&scratch);
    setUp(counting);
    const QString csv = intervalCsvPath(outPath);
    const QString csvName = QFileInfo(csv).fileName();
    QString why;
    const int pages = render(counting, a, o, 0, csvName, &why);
    if (pages == 0) {
        if (error) *error = outPath + QStringLiteral(": ") + why;
        return false;
    }
    const bool written = writeWholeFile(
        outPath,
        [&](QIODevice* out, QString* reason) {
            QPdfWriter writer(out);
            setUp(writer);
            return render(writer, a, o, pages, csvName, reason) != 0;
        },
        error);
    if (!written) return false;
    if (a.intervals.size() <= kMaxIntervalRows && !o.alwaysIntervalCsv) return true;
    if (sameFile(a.path, csv)) {
        if (error) *error = QStringLiteral("%1 is the record file itself; the interval list would replace it").arg(csv);
        return false;
    }
    return writeIntervalCsv(a, csv, error);
}

}  // namespace kestro
