#include "report/ReportDocument.h"

#include "core/Types.h"
#include "report/ReportCharts.h"
#include "statistics/StatisticsFile.h"

#include <QDateTime>
#include <QFileInfo>
#include <QFontMetricsF>
#include <QPageLayout>
#include <QPainter>
#include <QPdfWriter>
#include <cmath>

namespace kestro {

namespace {

// Lays out blocks from top to bottom and starts a new page when one does not fit.
class Pager {
public:
    Pager(QPdfWriter& w, QPainter& p, const QString& footer) : w_(w), p_(p), footer_(footer) {
        const QRect r = p.viewport();
        margin_ = w.resolution() * 15 / 25.4;
        page_ = QRectF(margin_, margin_, r.width() - 2 * margin_, r.height() - 2 * margin_);
        y_ = page_.top();
        drawFooter();
    }
    double width() const { return page_.width(); }
    double left() const { return page_.left(); }
    double y() const { return y_; }
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
    double footerHeight() const { return QFontMetricsF(SmallFont(), p_.device()).height() * 1.5; }
    static QFont SmallFont() { return QFont(QStringLiteral("DejaVu Sans"), 7); }

private:
    void drawFooter() {
        p_.save();
        p_.setFont(SmallFont());
        p_.setPen(QColor(90, 90, 90));
        const QFontMetricsF fm(p_.font(), p_.device());
        const QRectF r(page_.left(), page_.bottom() - fm.height(), page_.width(), fm.height());
        p_.drawText(r, Qt::AlignLeft | Qt::AlignVCenter, footer_);
        p_.drawText(r, Qt::AlignRight | Qt::AlignVCenter, QStringLiteral("Page %1").arg(pageNo_));
        p_.restore();
    }
    QPdfWriter& w_;
    QPainter& p_;
    QString footer_;
    double margin_ = 0;
    QRectF page_;
    double y_ = 0;
    int pageNo_ = 1;
};

QFont BodyFont() { return QFont(QStringLiteral("DejaVu Sans"), 9); }
QFont TableFont() { return QFont(QStringLiteral("DejaVu Sans"), 7); }

void Heading(QPainter& p, Pager& pg, const QString& text) {
    QFont f = BodyFont();
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

void Paragraph(QPainter& p, Pager& pg, const QString& text, const QColor& colour = Qt::black) {
    p.setFont(BodyFont());
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

// Rows of text; rows flagged red are drawn in the over-limit colour.
void DrawTable(QPainter& p, Pager& pg, const Table& t, const std::vector<QStringList>& rows,
               const std::vector<bool>& red) {
    QFont f = TableFont();
    const QFontMetricsF fm(f, p.device());
    const double rowH = fm.height() * 1.35;
    auto headerRow = [&] {
        pg.need(rowH * 2);
        QFont b = f;
        b.setBold(true);
        p.setFont(b);
        p.fillRect(QRectF(pg.left(), pg.y(), pg.width(), rowH), QColor(226, 230, 236));
        double x = pg.left();
        p.setPen(Qt::black);
        for (int i = 0; i < t.header.size(); ++i) {
            const double w = t.widths[size_t(i)] * pg.width();
            p.drawText(QRectF(x + fm.height() * 0.2, pg.y(), w - fm.height() * 0.4, rowH),
                       t.align[size_t(i)] | Qt::AlignVCenter, t.header[i]);
            x += w;
        }
        pg.advance(rowH);
        p.setFont(f);
    };
    headerRow();
    for (size_t r = 0; r < rows.size(); ++r) {
        if (pg.need(rowH)) headerRow();  // the header again on every page
        if (r % 2 == 1) p.fillRect(QRectF(pg.left(), pg.y(), pg.width(), rowH), QColor(246, 247, 249));
        p.setPen(r < red.size() && red[r] ? kOverLimitColour : QColor(Qt::black));
        double x = pg.left();
        for (int i = 0; i < rows[r].size() && size_t(i) < t.widths.size(); ++i) {
            const double w = t.widths[size_t(i)] * pg.width();
            p.drawText(QRectF(x + fm.height() * 0.2, pg.y(), w - fm.height() * 0.4, rowH),
                       t.align[size_t(i)] | Qt::AlignVCenter, rows[r][i]);
            x += w;
        }
        pg.advance(rowH);
    }
    pg.advance(rowH * 0.5);
}

QString TimeOnly(int64_t ms) { return LocalDateTimeText(ms).mid(11); }

}  // namespace

QString DurationText(int64_t ms) {
    if (ms < 0) ms = 0;
    const int64_t s = ms / 1000;
    const QString hms = QStringLiteral("%1:%2:%3")
                            .arg(s / 3600 % 24, 2, 10, QLatin1Char('0'))
                            .arg(s / 60 % 60, 2, 10, QLatin1Char('0'))
                            .arg(s % 60, 2, 10, QLatin1Char('0'));
    return s >= 86400 ? QStringLiteral("%1 d ").arg(s / 86400) + hms : hms;
}

bool WriteReportPdf(const RecordAnalysis& a, const ReportOptions& o, const QString& outPath, QString* error) {
    QPdfWriter writer(outPath);
    writer.setPageSize(QPageSize(QPageSize::A4));
    writer.setPageMargins(QMarginsF(0, 0, 0, 0));
    writer.setResolution(300);
    writer.setTitle(QStringLiteral("Noise measurement report: ") + QFileInfo(a.path).fileName());
    writer.setCreator(o.programVersion);
    QPainter p;
    if (!p.begin(&writer)) {
        if (error) *error = QStringLiteral("%1: the report cannot be written there").arg(outPath);
        return false;
    }
    const QChar dec = o.decimalSeparator;
    const IntervalResult& s = a.summary;
    Pager pg(writer, p,
             QFileInfo(a.path).fileName() + QStringLiteral(" \u2014 ") + o.programVersion + QStringLiteral(" \u2014 ") +
                 QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd hh:mm")));

    QFont title = BodyFont();
    title.setPointSizeF(16);
    title.setBold(true);
    p.setFont(title);
    p.drawText(QPointF(pg.left(), pg.y() + QFontMetricsF(title, p.device()).ascent()),
               QStringLiteral("Noise measurement report"));
    pg.advance(QFontMetricsF(title, p.device()).height() * 1.5);

    // ---- what was measured
    const QString limit = a.config.limitTenths > 0
                              ? LevelText(a.config.limitTenths / 10.0, dec) + QStringLiteral(" dB (Leq per interval)")
                              : QStringLiteral("none");
    const QString samples =
        QString::number(s.samples) +
        (s.skipped > 0 ? QStringLiteral(" (%1 without a level, not counted)").arg(s.skipped) : QString());
    const std::vector<QStringList> facts = {
        {QStringLiteral("Meter serial number"),
         o.serialNumber.isEmpty() ? QStringLiteral("not known") : o.serialNumber},
        {QStringLiteral("Program"), o.programVersion},
        {QStringLiteral("Record file"), QFileInfo(a.path).absoluteFilePath()},
        {QStringLiteral("Measured value"), a.typeWord},
        {QStringLiteral("Start"), s.samples > 0 ? LocalDateTimeText(s.startMs) : QStringLiteral("-")},
        {QStringLiteral("End"), s.samples > 0 ? LocalDateTimeText(s.endMs) : QStringLiteral("-")},
        {QStringLiteral("Duration"), DurationText(s.endMs - s.startMs)},
        {QStringLiteral("Interval"), QStringLiteral("%1 min").arg(a.config.intervalSeconds / 60)},
        {QStringLiteral("Limit"), limit},
        {QStringLiteral("Samples"), samples},
    };
    DrawTable(p, pg, Table{{QStringLiteral("Measurement"), QString()}, {0.25, 0.75}, {Qt::AlignLeft, Qt::AlignLeft}},
              facts, {});
    for (const QString& n : a.read.notices)
        Paragraph(p, pg, QStringLiteral("Note: ") + n, QColor(150, 90, 0));

    // ---- time history
    Heading(p, pg, QStringLiteral("Time history"));
    const double plotH = pg.width() * 0.42;
    pg.need(plotH);
    p.setFont(TableFont());
    if (!a.history.isEmpty())
        DrawTimeHistory(p, QRectF(pg.left(), pg.y(), pg.width(), plotH), a.history,
                        DefaultPlotRange(a.history, a.config.limitTenths), a.config.limitTenths);
    pg.advance(plotH);
    Paragraph(p, pg,
              QStringLiteral("Lowest and highest level of every pixel column; dashed lines mark midnight") +
                  (a.config.limitTenths > 0 ? QStringLiteral(", the red line the limit.") : QStringLiteral(".")));

    // ---- series summary
    Heading(p, pg, QStringLiteral("Summary of the whole recording"));
    const Table levels{{QStringLiteral("Leq"), QStringLiteral("Lmax"), QStringLiteral("Lmin"), QStringLiteral("L5"),
                        QStringLiteral("L10"), QStringLiteral("L50"), QStringLiteral("L90"), QStringLiteral("L95"),
                        QStringLiteral("Overflow"), QStringLiteral("Underflow")},
                       {0.1, 0.1, 0.1, 0.1, 0.1, 0.1, 0.1, 0.1, 0.1, 0.1},
                       std::vector<int>(10, Qt::AlignRight)};
    DrawTable(p, pg, levels,
              {{LevelText(s.leq, dec), LevelText(s.lmax, dec), LevelText(s.lmin, dec), LevelText(s.l5, dec),
                LevelText(s.l10, dec), LevelText(s.l50, dec), LevelText(s.l90, dec), LevelText(s.l95, dec),
                QString::number(s.overflow), QString::number(s.underflow)}},
              {s.overLimit});
    Paragraph(p, pg, QStringLiteral("Levels in dB. LN is the level reached or exceeded by N % of the samples."));

    // ---- day levels
    Heading(p, pg, QStringLiteral("Day, evening and night levels"));
    std::vector<QStringList> dayRows;
    auto period = [&](const PeriodLevel& pl) {
        if (pl.weight <= 0) return QStringLiteral("-");
        return LevelText(pl.level(), dec) +
               QStringLiteral(" (%1 h)").arg(
                   QString::number(pl.coveredMs / 3600000.0, 'f', 1).replace(QLatin1Char('.'), dec));
    };
    for (const DayLevels& d : a.days)
        dayRows.push_back({LocalDateTimeText(int64_t{d.dayNumber} * 86400000).left(10), period(d.day),
                           period(d.evening), period(d.night), LevelText(d.lden(), dec)});
    DrawTable(p, pg,
              Table{{QStringLiteral("Date"), QStringLiteral("Ld 07-19"), QStringLiteral("Le 19-23"),
                     QStringLiteral("Ln 23-07"), QStringLiteral("Lden")},
                    {0.2, 0.2, 0.2, 0.2, 0.2},
                    {Qt::AlignLeft, Qt::AlignRight, Qt::AlignRight, Qt::AlignRight, Qt::AlignRight}},
              dayRows, {});
    Paragraph(
        p, pg,
        QStringLiteral("Per calendar day; in brackets the hours of the period the recording covers. "
                       "Lden = 10 log10((12\u00b710^(Ld/10) + 4\u00b710^((Le+5)/10) + 8\u00b710^((Ln+10)/10)) / 24), "
                       "only for days with all three periods."));

    // ---- intervals
    const Table intervalTable{
        {QStringLiteral("Date"), QStringLiteral("Start"), QStringLiteral("End"), QStringLiteral("Samples"),
         QStringLiteral("Leq"), QStringLiteral("Lmax"), QStringLiteral("Lmin"), QStringLiteral("L5"),
         QStringLiteral("L10"), QStringLiteral("L50"), QStringLiteral("L90"), QStringLiteral("L95"),
         QStringLiteral("Ovf."), QStringLiteral("Unf.")},
        {0.1, 0.08, 0.08, 0.08, 0.07, 0.07, 0.07, 0.07, 0.07, 0.07, 0.07, 0.07, 0.05, 0.05},
        {Qt::AlignLeft, Qt::AlignLeft, Qt::AlignLeft, Qt::AlignRight, Qt::AlignRight, Qt::AlignRight, Qt::AlignRight,
         Qt::AlignRight, Qt::AlignRight, Qt::AlignRight, Qt::AlignRight, Qt::AlignRight, Qt::AlignRight,
         Qt::AlignRight}};
    auto rowOf = [&](const IntervalResult& r) {
        return QStringList{LocalDateTimeText(r.startMs).left(10),
                           TimeOnly(r.startMs),
                           TimeOnly(r.endMs),
                           QString::number(r.samples),
                           LevelText(r.leq, dec),
                           LevelText(r.lmax, dec),
                           LevelText(r.lmin, dec),
                           LevelText(r.l5, dec),
                           LevelText(r.l10, dec),
                           LevelText(r.l50, dec),
                           LevelText(r.l90, dec),
                           LevelText(r.l95, dec),
                           QString::number(r.overflow),
                           QString::number(r.underflow)};
    };
    Heading(p, pg, QStringLiteral("Intervals over the limit"));
    if (a.config.limitTenths <= 0) {
        Paragraph(p, pg, QStringLiteral("No limit was set."));
    } else {
        std::vector<QStringList> over;
        for (const IntervalResult& r : a.intervals)
            if (r.overLimit) over.push_back(rowOf(r));
        if (over.empty())
            Paragraph(
                p, pg,
                QStringLiteral("No interval has an Leq above %1 dB.").arg(LevelText(a.config.limitTenths / 10.0, dec)));
        else
            DrawTable(p, pg, intervalTable, over, std::vector<bool>(over.size(), true));
    }

    Heading(p, pg, QStringLiteral("Intervals of %1 minutes").arg(a.config.intervalSeconds / 60));
    std::vector<QStringList> rows;
    std::vector<bool> red;
    rows.reserve(a.intervals.size());
    for (const IntervalResult& r : a.intervals) {
        rows.push_back(rowOf(r));
        red.push_back(r.overLimit);
    }
    if (rows.empty())
        Paragraph(p, pg, QStringLiteral("The file holds no level."));
    else
        DrawTable(p, pg, intervalTable, rows, red);

    if (!p.end()) {
        if (error) *error = QStringLiteral("%1: the report could not be completed").arg(outPath);
        return false;
    }
    return true;
}

}  // namespace kestro
