#pragma once
// The level-time graph: three image surfaces sharing one user coordinate
// system (x in seconds, y in tenths of a decibel, growing upward), the grid
// math as plain functions and the drawing procedures.

#include "core/Types.h"
#include "recording/SampleWindow.h"

#include <QColor>
#include <QFont>
#include <QImage>
#include <QPointF>
#include <QRect>
#include <QString>
#include <QTransform>

#include <vector>

namespace kestro {

constexpr int kGraphHeight = 169;
constexpr int kGraphDesignWidth = 401;

namespace graph_colours {
inline const QColor kBackground{0, 0, 0};
inline const QColor kLabel{212, 208, 200};  // the 3-D face grey
inline const QColor kLevelGrid{96, 96, 96};
inline const QColor kTimeGrid{128, 128, 128};
inline const QColor kCurve{0, 255, 0};
inline const QColor kCurveFlagged{255, 0, 0};
}  // namespace graph_colours

// Seconds since midnight of a date-time value, rounded half to even.
int32_t SecondsOfDay(double value);
// x of a time on the graph: seconds from midnight of the day of graphStart, so
// that a recording running past midnight keeps growing to the right. Equals
// SecondsOfDay for times on graphStart's day.
double graphX(double timestamp, double graphStart);
// The left edge for the samples of buf: ten minutes before the newest one
// (not before the earliest one kept), rounded down to 30 s; 0 without samples.
double graphStartTimeOf(const SampleWindow& buf);
// Grid spacing: initial, doubled while the label extent is larger.
double gridStep(double initial, double extent);
// A segment touching a sample with overflow or underflow is drawn red.
bool segmentFlagged(int16_t prevLevelFlags, int16_t levelFlags);

struct GridLine {
    double pos;     // y (level) or x (seconds of the graph)
    QString label;  // text at the line; empty when the line has none
};
QString levelLabel(int32_t y);  // "65 " for 650
QString timeLabel(double x);    // " hh:mm " of x seconds (modulo a day)
// Level lines from min to max; the second-highest labelled line carries "dB ".
std::vector<GridLine> levelGridLines(int32_t min, int32_t max, int32_t step);
// Time lines in [t0, t0 + width); the last one carries "hh:mm" when it lies right of t0.
std::vector<GridLine> timeGridLines(double t0, double width, double step);

// An off-screen image with a user coordinate system.
struct Surface {
    QImage image;
    double ScaleLeft = 0.0;
    double ScaleTop = 0.0;
    double ScaleWidth = 1.0;
    double ScaleHeight = 1.0;

    QTransform transform() const;  // user units to pixels
    QPointF toPixel(double x, double y) const { return transform().map(QPointF(x, y)); }
    double textWidth(const QFont& f, const QString& s) const;   // in x units
    double textHeight(const QFont& f, const QString& s) const;  // in y units (negative: y grows upward)
    void copyScale(const Surface& o);
};

// The font of the labels for a window font: at the default one small enough
// that a label fits a 10 dB step at the design height, larger with a larger one.
QFont graphFont(const QFont& windowFont = QFont());

class LevelGraph {
public:
    LevelGraph();

    // Properties (stored only; nothing is redrawn).
    int32_t MaxYAxis = 1400;
    int32_t MinYAxis = 0;
    double GridTimeX = 60.0;
    double GridTimeY = 100.0;
    double DisplayWidthX = 660.0;

    // Working fields.
    double GraphStartTime = 0.0;
    int32_t YAxisMax = 0;
    int32_t YAxisMin = 0;
    int32_t LabelWidth = 0;
    int32_t TextH = 0;  // h: height of "0" in y units

    Surface PictureClear;
    Surface PictureOriginal;
    Surface PictureGraph;

    // Last drawn grids (for inspection).
    std::vector<GridLine> LevelLines;
    std::vector<GridLine> TimeLines;
    double LevelStep = 0.0;
    double TimeStep = 0.0;

    void setSize(int width, int height);
    QSize size() const { return PictureClear.image.size(); }

    void ScaleYAxis(int32_t Min, int32_t Max);
    void CalculateGraphStartTime(const SampleWindow& buf);
    void ScaleTimeAxis(const SampleWindow& buf);
    void Werte_einzeichnen(const SampleWindow& buf);
    // Adds sample n; returns the pixel rectangle of PictureGraph that changed
    // (the whole image after a full redraw, empty when nothing was drawn).
    QRect ShowSlowSample(const SampleWindow& buf, int32_t n);
    // Takes effect with the next ScaleYAxis and ScaleTimeAxis.
    void setLabelFont(const QFont& f) { font_ = f; }
    const QFont& labelFont() const { return font_; }

private:
    QFont font_;
};

}  // namespace kestro
