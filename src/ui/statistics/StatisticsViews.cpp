#include "ui/statistics/StatisticsViews.h"

#include "statistics/StatisticsFile.h"
#include "ui/display/Accessibility.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QStyle>
#include <QStyleOptionFocusRect>
#include <QWheelEvent>
#include <algorithm>
#include <cmath>

namespace kestro {

IntervalBarChart::IntervalBarChart(QWidget* parent) : QWidget(parent) {
    setMinimumHeight(120);
    setAttribute(Qt::WA_OpaquePaintEvent);
    setAccessibleRole(this, QAccessible::Chart);
    setAccessibleName(tr("Interval levels"));
    setIntervals({}, 0);
}

void IntervalBarChart::setIntervals(const std::vector<IntervalResult>& intervals, int32_t limitTenths, QChar decimal) {
    intervals_ = intervals;
    limitTenths_ = limitTenths;
    // What the bars show, for a screen reader: the span, the range of the levels, how many are over the limit.
    double lo = IntervalResult::kNoLevel, hi = IntervalResult::kNoLevel;
    int over = 0;
    for (const IntervalResult& r : intervals) {
        if (std::isnan(r.leq)) continue;
        lo = std::isnan(lo) ? r.leq : std::min(lo, r.leq);
        hi = std::isnan(hi) ? r.leq : std::max(hi, r.leq);
        over += r.overLimit ? 1 : 0;
    }
    QString text = tr("No interval yet");
    if (!intervals.empty())
        text = tr("LAeq of %1 intervals from %2 to %3")
                   .arg(intervals.size())
                   .arg(localDateTimeText(intervals.front().startMs), localDateTimeText(intervals.back().endMs));
    if (!std::isnan(lo)) text += tr(", %1 to %2 dB").arg(levelText(lo, decimal), levelText(hi, decimal));
    if (limitTenths > 0 && !intervals.empty())
        text += tr("; %1 above the limit of %2 dB").arg(over).arg(levelText(limitTenths / 10.0, decimal));
    setAccessibleDescription(text);
    update();
}

namespace {

// The charts are drawn as on the report's paper, in its colours, under any
// desktop theme: their labels are dark on light.
const QColor kPaper(Qt::white);

void drawFocus(QWidget* w, QPainter& p) {
    if (!w->hasFocus()) return;
    QStyleOptionFocusRect o;
    o.initFrom(w);
    o.backgroundColor = kPaper;
    w->style()->drawPrimitive(QStyle::PE_FrameFocusRect, &o, &p, w);
}

}  // namespace

void IntervalBarChart::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.fillRect(rect(), kPaper);
    drawIntervalBars(p, QRectF(rect()).adjusted(2, 2, -2, -2), intervals_, limitTenths_);
}

TimeHistoryView::TimeHistoryView(QWidget* parent) : QWidget(parent) {
    setMinimumHeight(120);  // leaves room for wrapped summaries on a laptop's screen
    setAttribute(Qt::WA_OpaquePaintEvent);
    setMouseTracking(false);
    setFocusPolicy(Qt::StrongFocus);
    setAccessibleRole(this, QAccessible::Chart);
    setAccessibleName(tr("Time history"));
    setToolTip(
        tr("Wheel or + and -: zoom the time axis. Drag or the arrow keys: pan. Shift+drag, right drag "
           "or Shift+arrows: select a span. Double click or Home: everything."));
}

void TimeHistoryView::setHistory(const TimeHistory* h, int32_t limitTenths) {
    h_ = h;
    limitTenths_ = limitTenths;
    if (h_ && !h_->isEmpty()) full_ = defaultPlotRange(*h_, limitTenths);
    range_ = full_;
    selFrom_ = selTo_ = 0;
    update();
    emit rangeChanged();
}

void TimeHistoryView::clampRange() {
    const int64_t fullSpan = std::max<int64_t>(1000, full_.toMs - full_.fromMs);
    int64_t span = std::clamp<int64_t>(range_.toMs - range_.fromMs, 10000, fullSpan);
    if (range_.fromMs < full_.fromMs) range_.fromMs = full_.fromMs;
    if (range_.fromMs + span > full_.fromMs + fullSpan) range_.fromMs = full_.fromMs + fullSpan - span;
    range_.toMs = range_.fromMs + span;
}

void TimeHistoryView::setTimeRange(int64_t fromMs, int64_t toMs) {
    range_.fromMs = std::min(fromMs, toMs);
    range_.toMs = std::max(fromMs, toMs);
    clampRange();
    update();
    emit rangeChanged();
}

void TimeHistoryView::zoom(double factor, double anchorFraction) {
    const double span = double(range_.toMs - range_.fromMs);
    const double anchor = double(range_.fromMs) + span * anchorFraction;
    const double newSpan = span * factor;
    setTimeRange(int64_t(anchor - newSpan * anchorFraction), int64_t(anchor + newSpan * (1.0 - anchorFraction)));
}

void TimeHistoryView::pan(double fraction) {
    const int64_t d = int64_t(double(range_.toMs - range_.fromMs) * fraction);
    setTimeRange(range_.fromMs + d, range_.toMs + d);
}

void TimeHistoryView::resetZoom() { setTimeRange(full_.fromMs, full_.toMs); }

void TimeHistoryView::setSelection(int64_t fromMs, int64_t toMs) {
    selFrom_ = std::min(fromMs, toMs);
    selTo_ = std::max(fromMs, toMs);
    update();
    emit selectionChanged(selFrom_, selTo_);
}

int64_t TimeHistoryView::msAt(double x) const {
    if (area_.width() <= 0) return range_.fromMs;
    const double f = std::clamp((x - area_.left()) / area_.width(), 0.0, 1.0);
    return range_.fromMs + int64_t(f * double(range_.toMs - range_.fromMs));
}

void TimeHistoryView::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.fillRect(rect(), kPaper);
    if (!h_ || h_->isEmpty()) {
        p.setPen(Qt::black);
        p.drawText(rect(), Qt::AlignCenter, tr("Open a record file to see its time history."));
        drawFocus(this, p);
        return;
    }
    QRectF highlight;
    if (hasSelection() && area_.width() > 0) {
        const double span = double(range_.toMs - range_.fromMs);
        const double x0 = area_.left() + double(selFrom_ - range_.fromMs) / span * area_.width();
        const double x1 = area_.left() + double(selTo_ - range_.fromMs) / span * area_.width();
        highlight = QRectF(QPointF(x0, area_.top()), QPointF(std::max(x1, x0 + 1), area_.bottom()));
    }
    area_ = drawTimeHistory(p, QRectF(rect()).adjusted(2, 2, -2, -2), *h_, range_, limitTenths_, highlight, spans_);
    drawFocus(this, p);
}

void TimeHistoryView::wheelEvent(QWheelEvent* e) {
    if (!h_ || h_->isEmpty() || area_.width() <= 0) return;
    const double steps = e->angleDelta().y() / 120.0;
    const double anchor = std::clamp((e->position().x() - area_.left()) / area_.width(), 0.0, 1.0);
    zoom(std::pow(0.8, steps), anchor);
    e->accept();
}

void TimeHistoryView::mousePressEvent(QMouseEvent* e) {
    if (!h_ || h_->isEmpty()) return;
    dragX_ = e->position().x();
    dragRange_ = range_;
    if (e->button() == Qt::RightButton || (e->modifiers() & Qt::ShiftModifier)) {
        drag_ = Drag::Select;
        dragFromMs_ = msAt(dragX_);
        selFrom_ = selTo_ = dragFromMs_;
    } else if (e->button() == Qt::LeftButton) {
        drag_ = Drag::Pan;
        setCursor(Qt::ClosedHandCursor);
    }
}

void TimeHistoryView::mouseMoveEvent(QMouseEvent* e) {
    if (drag_ == Drag::Pan && area_.width() > 0) {
        const double f = (dragX_ - e->position().x()) / area_.width();
        const int64_t d = int64_t(double(dragRange_.toMs - dragRange_.fromMs) * f);
        range_ = dragRange_;
        setTimeRange(dragRange_.fromMs + d, dragRange_.toMs + d);
    } else if (drag_ == Drag::Select) {
        const int64_t t = msAt(e->position().x());
        selFrom_ = std::min(dragFromMs_, t);
        selTo_ = std::max(dragFromMs_, t);
        update();
    }
}

void TimeHistoryView::mouseReleaseEvent(QMouseEvent* e) {
    if (drag_ == Drag::Select) {
        mouseMoveEvent(e);
        if (selTo_ > selFrom_) emit selectionChanged(selFrom_, selTo_);
    }
    drag_ = Drag::None;
    unsetCursor();
}

void TimeHistoryView::mouseDoubleClickEvent(QMouseEvent*) { resetZoom(); }

void TimeHistoryView::keyPressEvent(QKeyEvent* e) {
    const bool shift = e->modifiers() & Qt::ShiftModifier;
    const int direction = e->key() == Qt::Key_Left ? -1 : e->key() == Qt::Key_Right ? 1 : 0;
    if (!h_ || h_->isEmpty() ||
        (!direction && e->key() != Qt::Key_Plus && e->key() != Qt::Key_Equal && e->key() != Qt::Key_Minus &&
         e->key() != Qt::Key_Home)) {
        QWidget::keyPressEvent(e);  // Tab, Escape and the window's shortcuts go on
        return;
    }
    const int64_t span = range_.toMs - range_.fromMs;
    if (direction && shift) {
        // A span grows from the middle of the view; its moving end goes a twentieth of the view per press.
        int64_t end = range_.fromMs + span / 2;
        if (!hasSelection()) {
            selAnchor_ = end;
        } else {
            if (selAnchor_ != selFrom_ && selAnchor_ != selTo_) selAnchor_ = selFrom_;  // one made with the mouse
            end = selAnchor_ == selFrom_ ? selTo_ : selFrom_;
        }
        end = std::clamp<int64_t>(end + direction * std::max<int64_t>(1000, span / 20), full_.fromMs, full_.toMs);
        setSelection(selAnchor_, end);
    } else if (direction) {
        pan(0.25 * direction);
    } else if (e->key() == Qt::Key_Home) {
        resetZoom();
    } else {
        zoom(e->key() == Qt::Key_Minus ? 2.0 : 0.5);
    }
    e->accept();
}

}  // namespace kestro
