#include "ui/recording/LevelGraph.h"

#include "protocol/DeviceCodes.h"

#include <QFontInfo>
#include <QFontMetrics>
#include <QPainter>

#include <cmath>

namespace kestro {

using namespace graph_colours;

int32_t SecondsOfDay(double value) {
    return static_cast<int32_t>(std::nearbyint(value * 86400.0 - std::trunc(value) * 86400.0));
}

double graphX(double timestamp, double graphStart) {
    return std::nearbyint(timestamp * 86400.0 - std::floor(graphStart) * 86400.0);
}

double graphStartTimeOf(const SampleWindow& buf) {
    double g = 0.0;
    if (!buf.empty()) {
        // Not before the earliest sample kept; after the clock went back that
        // is no longer the header, and the window must reach the new time.
        double earliest = buf[0].Timestamp;
        for (int32_t i = std::max(1, buf.firstIndex()); i <= buf.count(); ++i)
            earliest = std::min(earliest, buf[i].Timestamp);
        g = std::max(buf[buf.count()].Timestamp - 600.0 / 86400.0, earliest);
    }
    return std::trunc(g * 2880.0) / 2880.0;
}

double gridStep(double initial, double extent) {
    double step = initial;
    if (step <= 0.0) return step;  // a spacing of zero never grows; callers refuse it
    while (extent > step)
        step *= 2.0;
    return step;
}

bool segmentFlagged(int16_t prevLevelFlags, int16_t levelFlags) {
    constexpr int16_t kFlagged = kStatusOverflow | kStatusUnderflow;
    return (prevLevelFlags & kFlagged) != 0 || (levelFlags & kFlagged) != 0;
}

QString levelLabel(int32_t y) { return QString::number(std::lround(y / 10.0)) + QLatin1Char(' '); }

QString timeLabel(double x) {
    int64_t s = static_cast<int64_t>(std::floor(x)) % 86400;
    if (s < 0) s += 86400;
    return QStringLiteral(" %1:%2 ").arg(s / 3600, 2, 10, QLatin1Char('0')).arg((s / 60) % 60, 2, 10, QLatin1Char('0'));
}

std::vector<GridLine> levelGridLines(int32_t min, int32_t max, int32_t step) {
    std::vector<GridLine> out;
    if (step <= 0) return out;
    int32_t k = min / step;
    int32_t lastK = 0;
    bool any = false;
    for (int64_t y = int64_t(k) * step; y <= max; ++k, y = int64_t(k) * step) {
        if (y >= min) {
            out.push_back({static_cast<double>(y), levelLabel(static_cast<int32_t>(y))});
            lastK = k;
            any = true;
        }
    }
    if (any && lastK - 1 > 0) {
        for (GridLine& g : out)
            if (g.pos == double(int64_t(lastK - 1) * step)) g.label = QStringLiteral("dB ");
    }
    return out;
}

std::vector<GridLine> timeGridLines(double t0, double width, double step) {
    std::vector<GridLine> out;
    if (step <= 0.0) return out;
    int64_t k = static_cast<int64_t>(std::trunc(t0 / step));
    for (double x = k * step; x < t0 + width; ++k, x = k * step)
        if (x >= t0) out.push_back({x, timeLabel(x)});
    const double last = (k - 1) * step;
    if (last > t0 && !out.empty() && out.back().pos == last) out.back().label = QStringLiteral("hh:mm");
    return out;
}

QTransform Surface::transform() const {
    const double sx = image.width() / ScaleWidth;
    const double sy = image.height() / ScaleHeight;
    return QTransform(sx, 0, 0, sy, -ScaleLeft * sx, -ScaleTop * sy);
}

double Surface::textWidth(const QFont& f, const QString& s) const {
    return QFontMetrics(f).horizontalAdvance(s) * ScaleWidth / std::max(1, image.width());
}

double Surface::textHeight(const QFont& f, const QString&) const {
    return QFontMetrics(f).height() * ScaleHeight / std::max(1, image.height());
}

void Surface::copyScale(const Surface& o) {
    ScaleLeft = o.ScaleLeft;
    ScaleTop = o.ScaleTop;
    ScaleWidth = o.ScaleWidth;
    ScaleHeight = o.ScaleHeight;
}

QFont graphFont(const QFont& windowFont) {
    QFont f(QStringLiteral("DejaVu Sans"));
    f.setStyleHint(QFont::SansSerif);
    // At 169 px a 10 dB step is about 10 px: at the default 12 px window font
    // the line height stays within 9 px; it grows in proportion to the window's.
    const int most = std::max(9, int(std::lround(QFontInfo(windowFont).pixelSize() * 0.75)));
    for (int px = most; px >= 6; --px) {
        f.setPixelSize(px);
        if (QFontMetrics(f).height() <= most) break;
    }
    return f;
}

namespace {

// A line back in time would cross the curve drawn before the step: the curve starts afresh.
bool clockWentBack(const MeasurementRecord& prev, const MeasurementRecord& r) { return r.Timestamp < prev.Timestamp; }

QPen makePen(const QColor& c, Qt::PenStyle style = Qt::SolidLine) {
    QPen p(c, 0, style);  // cosmetic: one pixel at any scale
    return p;
}

enum class Anchor { RightTop, CentreTop };

// Text is drawn unscaled in pixels at the place a user point maps to.
void printText(QPainter& p, const Surface& s, const QFont& f, const QString& text, double x, double yTop, Anchor a,
               const QColor& c) {
    const QPointF px = s.toPixel(x, yTop);
    const QFontMetrics fm(f);
    const int w = fm.horizontalAdvance(text);
    const QRectF r = a == Anchor::RightTop ? QRectF(px.x() - w, px.y(), w + 1, fm.height())
                                           : QRectF(px.x() - w / 2.0, px.y(), w + 1, fm.height());
    p.save();
    p.resetTransform();
    p.setPen(c);
    p.setFont(f);
    p.drawText(r, Qt::AlignLeft | Qt::AlignTop | Qt::TextDontClip, text);
    p.restore();
}

void line(QPainter& p, double x1, double y1, double x2, double y2) { p.drawLine(QPointF(x1, y1), QPointF(x2, y2)); }

}  // namespace

LevelGraph::LevelGraph() : font_(graphFont()) { setSize(kGraphDesignWidth, kGraphHeight); }

void LevelGraph::setSize(int width, int height) {
    width = std::max(width, 40);
    height = std::max(height, 40);
    for (Surface* s : {&PictureClear, &PictureOriginal, &PictureGraph}) {
        s->image = QImage(width, height, QImage::Format_RGB32);
        s->image.fill(kBackground);
    }
}

void LevelGraph::ScaleYAxis(int32_t Min, int32_t Max) {
    Surface& c = PictureClear;
    const double range = double(Max) - double(Min);
    c.ScaleHeight = -range;
    double t = 0.0;
    for (int i = 0; i < 5; ++i) {
        t = std::nearbyint(c.textHeight(font_, QStringLiteral("0")));
        c.ScaleHeight = 3.0 * t - range;
    }
    if (c.ScaleHeight == 0.0) c.ScaleHeight = -1.0;  // Min == Max: keep the scale usable
    const double h = -t;
    TextH = static_cast<int32_t>(h);
    c.ScaleTop = Max - t;
    YAxisMax = Max;
    YAxisMin = Min;
    c.image.fill(kBackground);

    c.ScaleWidth = DisplayWidthX;
    for (int i = 0; i < 5; ++i) {
        LabelWidth = static_cast<int32_t>(std::nearbyint(c.textWidth(font_, levelLabel(Max))));
        const auto db = static_cast<int32_t>(std::nearbyint(c.textWidth(font_, QStringLiteral("dB "))));
        if (db > LabelWidth) LabelWidth = db;
        c.ScaleWidth = 1.5 * LabelWidth + DisplayWidthX;
    }
    c.ScaleLeft = -1.5 * LabelWidth;
    PictureOriginal.copyScale(c);
    PictureGraph.copyScale(c);

    const double gap = std::nearbyint(0.25 * LabelWidth);
    LevelStep = gridStep(std::nearbyint(GridTimeY), std::fabs(PictureOriginal.textHeight(font_, QStringLiteral("0"))));
    LevelLines = levelGridLines(Min, Max, static_cast<int32_t>(LevelStep));

    QPainter p(&c.image);
    p.setTransform(c.transform());
    p.setPen(makePen(kLevelGrid, Qt::DotLine));
    for (const GridLine& g : LevelLines) {
        line(p, 0, g.pos, DisplayWidthX, g.pos);
        printText(p, c, font_, g.label, -gap, g.pos + h / 2.0, Anchor::RightTop, kLabel);
    }
    p.setPen(makePen(kLevelGrid));
    line(p, 0, MinYAxis, 0, c.ScaleTop);
    line(p, 0, MinYAxis, c.ScaleLeft + c.ScaleWidth, MinYAxis);
}

void LevelGraph::CalculateGraphStartTime(const SampleWindow& buf) { GraphStartTime = graphStartTimeOf(buf); }

void LevelGraph::ScaleTimeAxis(const SampleWindow& buf) {
    Surface& o = PictureOriginal;
    const double t0 = graphX(GraphStartTime, GraphStartTime);
    o.ScaleLeft = t0 - 1.5 * LabelWidth;
    o.image = PictureClear.image.copy();
    PictureGraph.ScaleLeft = o.ScaleLeft;

    TimeStep = gridStep(GridTimeX, o.textWidth(font_, QStringLiteral(" 00:00 ")));
    TimeLines = timeGridLines(t0, DisplayWidthX, TimeStep);
    {
        QPainter p(&o.image);
        p.setTransform(o.transform());
        p.setPen(makePen(kTimeGrid, Qt::DotLine));
        for (const GridLine& g : TimeLines) {
            line(p, g.pos, YAxisMin, g.pos, YAxisMax);
            printText(p, o, font_, g.label, g.pos, YAxisMin - TextH / 3.0, Anchor::CentreTop, kLabel);
        }
    }
    Werte_einzeichnen(buf);
}

void LevelGraph::Werte_einzeichnen(const SampleWindow& buf) {
    const int32_t count = buf.count();
    if (count > 1) {
        // Every sample kept is drawn: after the clock went back, samples from
        // before the step may lie inside the window too (the image clips the rest).
        const int32_t i = buf.firstIndex() > 1 ? buf.firstIndex() : 0;
        QPainter p(&PictureOriginal.image);
        p.setTransform(PictureOriginal.transform());
        const MeasurementRecord* prev = &buf[i];
        QPointF last(graphX(prev->Timestamp, GraphStartTime), prev->Level);
        p.setPen(makePen(kCurve));
        p.drawPoint(last);
        for (int32_t j = i + 1; j <= count; ++j) {
            const MeasurementRecord& r = buf[j];
            const QPointF pt(graphX(r.Timestamp, GraphStartTime), r.Level);
            // A sample without a function leaves a gap; the curve goes on from it.
            if (r.Flags != 0) {
                p.setPen(makePen(segmentFlagged(prev->LevelFlags, r.LevelFlags) ? kCurveFlagged : kCurve));
                if (clockWentBack(*prev, r))
                    p.drawPoint(pt);
                else
                    p.drawLine(last, pt);
            }
            last = pt;
            prev = &r;
        }
    }
    PictureGraph.image = PictureOriginal.image;
}

QRect LevelGraph::ShowSlowSample(const SampleWindow& buf, int32_t n) {
    if (n < 0) n = 0;
    if (n > buf.count() || (n > 0 && n < buf.firstIndex())) return {};
    const MeasurementRecord& r = buf[n];
    bool full = false;
    const double x = graphX(r.Timestamp, GraphStartTime);
    const double t0 = graphX(GraphStartTime, GraphStartTime);
    // Beyond the window's end, or before its start because the clock went back.
    if (t0 + DisplayWidthX - 30.0 < x || x < t0) {
        CalculateGraphStartTime(buf);
        ScaleTimeAxis(buf);
        full = true;
    }
    QPointF a, b;
    QPen pen = makePen(kCurve);
    bool draw = true;
    if (n == 0) {
        a = b = QPointF(graphX(r.Timestamp, GraphStartTime), r.Level);
    } else if (r.Flags == 0) {
        draw = false;
    } else {
        const MeasurementRecord& q = buf[n - 1];
        b = QPointF(graphX(r.Timestamp, GraphStartTime), r.Level);
        a = clockWentBack(q, r) ? b : QPointF(graphX(q.Timestamp, GraphStartTime), q.Level);
        if (segmentFlagged(q.LevelFlags, r.LevelFlags)) pen = makePen(kCurveFlagged);
    }
    if (!draw) return full ? PictureGraph.image.rect() : QRect();
    for (Surface* s : {&PictureOriginal, &PictureGraph}) {
        QPainter p(&s->image);
        p.setTransform(s->transform());
        p.setPen(pen);
        if (a == b)
            p.drawPoint(a);
        else
            p.drawLine(a, b);
    }
    if (full) return PictureGraph.image.rect();
    const QTransform m = PictureGraph.transform();
    return QRectF(m.map(a), m.map(b)).normalized().toAlignedRect().adjusted(-2, -2, 2, 2) & PictureGraph.image.rect();
}

}  // namespace kestro
