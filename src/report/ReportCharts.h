#pragma once
// The two charts of the statistics: the level over time (lowest and highest
// level per pixel column, day boundaries, the limit) and the interval Leq as
// bars (over the limit in red). Drawn with QPainter, so the window and the
// PDF report share them.

#include "statistics/IntervalResult.h"
#include "statistics/NoiseEvents.h"
#include "statistics/TimeHistory.h"

#include <QColor>
#include <QRectF>
#include <QString>
#include <vector>

class QPainter;

namespace kestro {

inline const QColor kLevelColour(24, 112, 48);
inline const QColor kOverLimitColour(200, 32, 32);
inline const QColor kBarColour(52, 101, 164);

struct PlotRange {
    int64_t fromMs = 0;  // local ms since 1899-12-30
    int64_t toMs = 0;
    double lowDb = 20.0;
    double highDb = 120.0;
    QString unit = QStringLiteral("dB");  // of the level axis
};

// A stretch drawn as a band behind the levels: an exceedance, or a marked span.
struct ShadedSpan {
    int64_t fromMs = 0;  // local ms since 1899-12-30
    int64_t toMs = 0;
    bool marked = false;
};
inline const QColor kExceedanceBand(230, 120, 40, 90);
inline const QColor kMarkedBand(60, 110, 220, 70);
std::vector<ShadedSpan> shadedSpansOf(const std::vector<NoiseEvent>& events);

// A level axis in 10 dB steps around the lowest and highest level.
PlotRange defaultPlotRange(const TimeHistory& h, int32_t limitTenths);

// The whole frame: axes, grid, labels, the min/max band, midnight lines and the limit.
// Returns the rectangle of the data area (for mapping mouse positions).
QRectF drawTimeHistory(QPainter& p, const QRectF& frame, const TimeHistory& h, const PlotRange& range,
                       int32_t limitTenths, const QRectF& highlightSpan = QRectF(),
                       const std::vector<ShadedSpan>& spans = {});

// Bars of the interval Leq (of a running maximum its LAmax), oldest left; the
// limit as a line. Labels carry the date where it changes.
void drawIntervalBars(QPainter& p, const QRectF& frame, const std::vector<IntervalResult>& intervals,
                      int32_t limitTenths);

// Text of a time axis label at local ms for a span of spanMs.
QString timeAxisLabel(int64_t localMs, int64_t spanMs);

}  // namespace kestro
