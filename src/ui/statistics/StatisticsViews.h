#pragma once
// The chart widgets of the statistics window.

#include "report/ReportCharts.h"
#include "statistics/IntervalResult.h"
#include "statistics/TimeHistory.h"

#include <QWidget>
#include <vector>

namespace kestro {

// Interval Leq as bars, over the limit in red.
class IntervalBarChart final : public QWidget {
    Q_OBJECT
public:
    explicit IntervalBarChart(QWidget* parent = nullptr);
    // Also its accessible description, with levels written with decimal.
    void setIntervals(const std::vector<IntervalResult>& intervals, int32_t limitTenths,
                      QChar decimal = QLatin1Char('.'));
    QSize sizeHint() const override { return {480, 160}; }

protected:
    void paintEvent(QPaintEvent*) override;

private:
    std::vector<IntervalResult> intervals_;
    int32_t limitTenths_ = 0;
};

// The level over time of a record file: wheel zooms the time axis around the
// mouse, dragging pans, dragging with Shift (or the right button) selects a
// span, a double click shows everything again. By keys: + and - zoom, the
// arrows pan, Shift+arrows move the end of a span, Home shows everything.
class TimeHistoryView final : public QWidget {
    Q_OBJECT
public:
    explicit TimeHistoryView(QWidget* parent = nullptr);
    void setHistory(const TimeHistory* h, int32_t limitTenths);
    // Exceedances and marked spans, as bands behind the levels.
    void setSpans(std::vector<ShadedSpan> spans) {
        spans_ = std::move(spans);
        update();
    }
    const PlotRange& range() const { return range_; }
    void setTimeRange(int64_t fromMs, int64_t toMs);
    void zoom(double factor, double anchorFraction = 0.5);  // factor < 1 zooms in
    void pan(double fraction);                              // of the visible span
    void resetZoom();
    bool hasSelection() const { return selTo_ > selFrom_; }
    int64_t selectionFrom() const { return selFrom_; }
    int64_t selectionTo() const { return selTo_; }
    void setSelection(int64_t fromMs, int64_t toMs);
    // The data area of the last paint (the labels lie around it).
    QRectF plotArea() const { return area_; }
    QSize sizeHint() const override { return {640, 240}; }

signals:
    void selectionChanged(qint64 fromMs, qint64 toMs);
    void rangeChanged();

protected:
    void paintEvent(QPaintEvent*) override;
    void wheelEvent(QWheelEvent* e) override;
    void mousePressEvent(QMouseEvent* e) override;
    void mouseMoveEvent(QMouseEvent* e) override;
    void mouseReleaseEvent(QMouseEvent* e) override;
    void mouseDoubleClickEvent(QMouseEvent* e) override;
    void keyPressEvent(QKeyEvent* e) override;

private:
    int64_t msAt(double x) const;
    void clampRange();

    const TimeHistory* h_ = nullptr;
    std::vector<ShadedSpan> spans_;
    int32_t limitTenths_ = 0;
    PlotRange range_;
    PlotRange full_;
    QRectF area_;
    enum class Drag { None, Pan, Select } drag_ = Drag::None;
    double dragX_ = 0;
    int64_t dragFromMs_ = 0;
    PlotRange dragRange_;
    int64_t selFrom_ = 0;
    int64_t selTo_ = 0;
    int64_t selAnchor_ = 0;  // the fixed end of a span selected by keys
};

}  // namespace kestro
