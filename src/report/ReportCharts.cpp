#include "report/ReportCharts.h"

#include "core/Types.h"

#include <QFontMetricsF>
#include <QPainter>
#include <QPainterPath>
#include <algorithm>
#include <cmath>

namespace kestro {

namespace {

constexpr int64_t kMsPerDay = 86400000;

int64_t floorTo(int64_t v, int64_t step) {
    int64_t q = v / step;
    if (v % step != 0 && v < 0) --q;
    return q * step;
}

// Grid spacing of the time axis so that labels do not crowd.
int64_t timeStep(int64_t spanMs, double widthPx, double labelPx) {
    static const int64_t steps[] = {1000,     2000,     5000,     10000,    15000,     30000,    60000,
                                    120000,   300000,   600000,   900000,   1800000,   3600000,  7200000,
                                    10800000, 21600000, 43200000, 86400000, 172800000, 604800000};
    for (int64_t s : steps)
        if (double(s) / double(std::max<int64_t>(spanMs, 1)) * widthPx >= labelPx) return s;
    return steps[sizeof(steps) / sizeof(steps[0]) - 1];
}

}  // namespace

QString timeAxisLabel(int64_t localMs, int64_t spanMs) {
    const SystemTime t = systemTimeFromAbsoluteMs(localMs);
    auto two = [](int v) {
        return QStringLiteral("%1").arg(v, 2, 10, QLatin1Char('0'));
    };
    if (spanMs <= 180000) return two(t.wHour) + QLatin1Char(':') + two(t.wMinute) + QLatin1Char(':') + two(t.wSecond);
    if (localMs % kMsPerDay == 0 && spanMs > kMsPerDay / 2)
        return two(t.wDay) + QLatin1Char('.') + two(t.wMonth) + QLatin1Char('.');
    return two(t.wHour) + QLatin1Char(':') + two(t.wMinute);
}

std::vector<ShadedSpan> shadedSpansOf(const std::vector<NoiseEvent>& events) {
    std::vector<ShadedSpan> out;
    for (const NoiseEvent& e : events)
        out.push_back({e.startLocalMs, e.endLocalMs, e.kind == EventKind::Marker});
    return out;
}

PlotRange defaultPlotRange(const TimeHistory& h, int32_t limitTenths) {
    PlotRange r;
    r.fromMs = h.startMs();
    r.toMs = std::max(h.endMs(), h.startMs() + 60000);
    const TimeHistory::Column c = h.overall();
    double lo = c.empty ? 30.0 : c.minHundredths / 100.0;
    double hi = c.empty ? 90.0 : c.maxHundredths / 100.0;
    if (limitTenths > 0) {
        lo = std::min(lo, limitTenths / 10.0);
        hi = std::max(hi, limitTenths / 10.0);
    }
    r.lowDb = std::floor(lo / 10.0) * 10.0;
    r.highDb = std::ceil(hi / 10.0) * 10.0;
    if (r.highDb - r.lowDb < 20.0) r.highDb = r.lowDb + 20.0;
    return r;
}

QRectF drawTimeHistory(QPainter& p, const QRectF& frame, const TimeHistory& h, const PlotRange& range,
                       int32_t limitTenths, const QRectF& highlightSpan, const std::vector<ShadedSpan>& spans) {
    p.save();
    const QFontMetricsF fm(p.font(), p.device());
    const double left = fm.horizontalAdvance(QStringLiteral("120 ") + range.unit) + fm.height() * 0.5;
    const QRectF area(frame.left() + left, frame.top() + fm.height() * 0.5, frame.width() - left - fm.height() * 0.5,
                      frame.height() - fm.height() * 2.2);
    p.fillRect(area, Qt::white);
    const int64_t span = std::max<int64_t>(1, range.toMs - range.fromMs);
    const double dbSpan = std::max(1.0, range.highDb - range.lowDb);
    auto xOf = [&](int64_t ms) {
        return area.left() + double(ms - range.fromMs) / double(span) * area.width();
    };
    auto yOf = [&](double db) {
        return area.bottom() - (db - range.lowDb) / dbSpan * area.height();
    };

    if (highlightSpan.isValid()) p.fillRect(highlightSpan.intersected(area), QColor(255, 236, 170));
    for (const ShadedSpan& s : spans) {
        if (s.toMs < range.fromMs || s.fromMs > range.toMs) continue;
        // At least a line wide: a marker of a second in a week stays visible.
        const double x0 = std::max(area.left(), xOf(s.fromMs));
        const double x1 = std::min(area.right(), std::max(xOf(s.toMs), x0 + 1.5));
        p.fillRect(QRectF(x0, area.top(), x1 - x0, area.height()), s.marked ? kMarkedBand : kExceedanceBand);
    }

    // Level grid every 10 dB.
    const QPen grid(QColor(218, 220, 224), 0);
    p.setPen(grid);
    const double dbStep = dbSpan > 100 ? 20.0 : 10.0;
    for (double db = std::ceil(range.lowDb / dbStep) * dbStep; db <= range.highDb + 1e-9; db += dbStep) {
        const double y = yOf(db);
        p.setPen(grid);
        p.drawLine(QPointF(area.left(), y), QPointF(area.right(), y));
        p.setPen(Qt::black);
        p.drawText(QRectF(frame.left(), y - fm.height() / 2, left - fm.height() * 0.3, fm.height()),
                   Qt::AlignRight | Qt::AlignVCenter, QStringLiteral("%1 ").arg(db, 0, 'f', 0) + range.unit);
    }
    // Time grid and labels.
    const int64_t step = timeStep(span, area.width(), fm.horizontalAdvance(QStringLiteral("00:00:00")) * 1.6);
    for (int64_t t = floorTo(range.fromMs, step) + step; t < range.toMs; t += step) {
        const double x = xOf(t);
        p.setPen(grid);
        p.drawLine(QPointF(x, area.top()), QPointF(x, area.bottom()));
        p.setPen(Qt::black);
        const QString label = timeAxisLabel(t, span);
        const double w = fm.horizontalAdvance(label);
        p.drawText(QRectF(x - w / 2 - 2, area.bottom() + fm.height() * 0.2, w + 4, fm.height()), Qt::AlignCenter,
                   label);
    }
    // Midnights: the date changes here.
    QPen midnight(QColor(90, 90, 90), 0, Qt::DashLine);
    for (int64_t t = floorTo(range.fromMs, kMsPerDay) + kMsPerDay; t < range.toMs; t += kMsPerDay) {
        const double x = xOf(t);
        p.setPen(midnight);
        p.drawLine(QPointF(x, area.top()), QPointF(x, area.bottom()));
        const SystemTime s = systemTimeFromAbsoluteMs(t);
        p.setPen(QColor(60, 60, 60));
        p.drawText(QPointF(x + 3, area.top() + fm.ascent() + 1), QStringLiteral("%1-%2-%3")
                                                                     .arg(s.wYear)
                                                                     .arg(s.wMonth, 2, 10, QLatin1Char('0'))
                                                                     .arg(s.wDay, 2, 10, QLatin1Char('0')));
    }

    // The level: one vertical stroke per device pixel column, lowest to highest level.
    const int columns = std::max(1, int(std::lround(area.width())));
    const std::vector<TimeHistory::Column> cols = h.columns(range.fromMs, range.toMs, columns);
    p.setClipRect(area);
    QPainterPath band;
    for (int i = 0; i < columns; ++i) {
        const TimeHistory::Column& c = cols[size_t(i)];
        if (c.empty) continue;
        const double x = area.left() + (i + 0.5) * area.width() / columns;
        const double y0 = yOf(c.minHundredths / 100.0), y1 = yOf(c.maxHundredths / 100.0);
        band.moveTo(x, y0 + 0.5);
        band.lineTo(x, y1 - 0.5);
    }
    p.setPen(QPen(kLevelColour, std::max(1.0, area.width() / columns)));
    p.drawPath(band);
    if (limitTenths > 0) {
        p.setPen(QPen(kOverLimitColour, std::max(1.0, fm.height() / 10.0)));
        const double y = yOf(limitTenths / 10.0);
        p.drawLine(QPointF(area.left(), y), QPointF(area.right(), y));
    }
    p.setClipping(false);
    p.setPen(QPen(Qt::black, 0));
    p.setBrush(Qt::NoBrush);
    p.drawRect(area);
    p.restore();
    return area;
}

double barValue(const IntervalResult& r) { return gives(r.quantity, Statistic::Leq) ? r.leq : r.lmax; }

void drawIntervalBars(QPainter& p, const QRectF& frame, const std::vector<IntervalResult>& intervals,
                      int32_t limitTenths) {
    p.save();
    const QString unit = !intervals.empty() && intervals[0].quantity == Quantity::Amplitude ? QStringLiteral("dB")
                                                                                            : QStringLiteral("dBA");
    const QFontMetricsF fm(p.font(), p.device());
    const double left = fm.horizontalAdvance(QStringLiteral("120 ") + unit) + fm.height() * 0.5;
    const QRectF area(frame.left() + left, frame.top() + fm.height() * 0.5, frame.width() - left - fm.height() * 0.5,
                      frame.height() - fm.height() * 2.2);
    p.fillRect(area, Qt::white);
    double lo = 1e9, hi = -1e9;
    for (const IntervalResult& r : intervals) {
        if (std::isnan(barValue(r))) continue;
        lo = std::min(lo, barValue(r));
        hi = std::max(hi, barValue(r));
    }
    if (limitTenths > 0) {
        lo = std::min(lo, limitTenths / 10.0);
        hi = std::max(hi, limitTenths / 10.0);
    }
    if (lo > hi) {
        lo = 30;
        hi = 90;
    }
    const double low = std::floor(lo / 10.0) * 10.0 - 10.0;
    const double high = std::max(low + 20.0, std::ceil(hi / 10.0) * 10.0);
    auto yOf = [&](double db) {
        return area.bottom() - (db - low) / (high - low) * area.height();
    };
    const QPen grid(QColor(218, 220, 224), 0);
    for (double db = low; db <= high + 1e-9; db += 10.0) {
        p.setPen(grid);
        p.drawLine(QPointF(area.left(), yOf(db)), QPointF(area.right(), yOf(db)));
        p.setPen(Qt::black);
        p.drawText(QRectF(frame.left(), yOf(db) - fm.height() / 2, left - fm.height() * 0.3, fm.height()),
                   Qt::AlignRight | Qt::AlignVCenter, QStringLiteral("%1 ").arg(db, 0, 'f', 0) + unit);
    }
    const size_t n = intervals.size();
    if (n > 0) {
        const double slot = area.width() / double(n);
        const double gap = slot > 4 ? slot * 0.15 : 0.0;
        for (size_t i = 0; i < n; ++i) {
            const double v = barValue(intervals[i]);
            if (std::isnan(v)) continue;
            const QRectF bar(area.left() + i * slot + gap / 2, yOf(v), std::max(0.5, slot - gap),
                             area.bottom() - yOf(v));
            p.fillRect(bar, intervals[i].overLimit ? kOverLimitColour : kBarColour);
        }
        // Start times where a label fits, with the date wherever it changes.
        const bool days = systemTimeFromAbsoluteMs(intervals.front().startMs).wDay !=
                          systemTimeFromAbsoluteMs(intervals.back().startMs).wDay;
        p.setPen(Qt::black);
        double freeFrom = area.left();
        int lastDay = -1;
        for (size_t i = 0; i < n; ++i) {
            const SystemTime s = systemTimeFromAbsoluteMs(intervals[i].startMs);
            QString label =
                QStringLiteral("%1:%2").arg(s.wHour, 2, 10, QLatin1Char('0')).arg(s.wMinute, 2, 10, QLatin1Char('0'));
            if (days && s.wDay != lastDay)
                label = QStringLiteral("%1-%2 ")
                            .arg(s.wMonth, 2, 10, QLatin1Char('0'))
                            .arg(s.wDay, 2, 10, QLatin1Char('0')) +
                        label;
            const double w = fm.horizontalAdvance(label) + fm.height() * 0.5;
            double x = area.left() + double(i) * slot;
            if (x < freeFrom) continue;
            if (x + w > frame.right()) {
                if (area.right() - w < freeFrom) break;
                x = area.right() - w;  // the last label ends at the chart's edge rather than being cut
            }
            p.drawText(QRectF(x, area.bottom() + fm.height() * 0.2, w, fm.height()), Qt::AlignLeft | Qt::AlignVCenter,
                       label);
            freeFrom = x + w + fm.height() * 0.5;
            lastDay = s.wDay;
        }
    }
    if (limitTenths > 0) {
        p.setPen(QPen(kOverLimitColour, std::max(1.0, fm.height() / 10.0)));
        p.drawLine(QPointF(area.left(), yOf(limitTenths / 10.0)), QPointF(area.right(), yOf(limitTenths / 10.0)));
    }
    p.setPen(QPen(Qt::black, 0));
    p.drawRect(area);
    p.restore();
}

}  // namespace kestro
