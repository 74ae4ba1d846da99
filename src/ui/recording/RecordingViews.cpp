#include "ui/recording/RecordingViews.h"

#include "ui/display/Accessibility.h"
#include "ui/recording/FileList.h"
#include "ui/recording/LevelGraph.h"

#include <QCoreApplication>
#include <QEvent>
#include <QPainter>
#include <QTreeWidget>
#include <QWidget>

#include <algorithm>
#include <cmath>
#include <limits>

namespace kestro {

namespace {

class GraphView final : public QWidget {
public:
    GraphView(RecordingViews& views, const LevelGraph& g) : views_(views), g_(g) {
        setObjectName(QStringLiteral("PictureGraph"));
        setAttribute(Qt::WA_OpaquePaintEvent);
        setAccessibleRole(this, QAccessible::Chart);
        setAccessibleName(QCoreApplication::translate("kestro::RecordingViews", "Level graph"));
        setAccessibleDescription(QCoreApplication::translate("kestro::RecordingViews",
                                                             "The slow level of the recording over the time of day"));
        setFixedSize(g.size());
    }

protected:
    void paintEvent(QPaintEvent*) override {
        views_.PictureGraph_Paint();
        QPainter p(this);
        p.drawImage(0, 0, g_.PictureGraph.image);
        const SampleWindow& buf = views_.recorder().LocalSlowBuffer;
        if (views_.eventBands().empty() || buf.empty()) return;
        // Over the image, never into it: the curve's surfaces stay as they are drawn.
        const QTransform m = g_.PictureGraph.transform();
        const double newest = m.map(QPointF(graphX(buf[buf.count()].Timestamp, g_.GraphStartTime), 0)).x();
        for (const RecordingViews::Band& b : views_.eventBands()) {
            const double x = std::max(0.0, m.map(QPointF(graphX(b.start, g_.GraphStartTime), 0)).x());
            const double end = std::isnan(b.end) ? newest : m.map(QPointF(graphX(b.end, g_.GraphStartTime), 0)).x();
            if (end > x) p.fillRect(QRectF(x, 0, end - x + 1, height()), b.colour);
        }
    }
    void changeEvent(QEvent* e) override {
        QWidget::changeEvent(e);
        if (e->type() == QEvent::FontChange) views_.setLabelFont(font());
    }

private:
    RecordingViews& views_;
    const LevelGraph& g_;
};

// The graph keeps what its window shows, plus a margin for the rounding of its left edge.
int64_t retentionMs(double displayWidthSeconds) {
    return std::max<int64_t>(SeriesRecorder::kDefaultSlowRetentionMs, int64_t(displayWidthSeconds * 1000.0) + 120000);
}

}  // namespace

RecordingViews::RecordingViews(SeriesRecorder& recorder, QObject* parent)
    : QObject(parent), rec_(recorder), graph_(std::make_unique<LevelGraph>()) {
    ownView_ = std::make_unique<GraphView>(*this, *graph_);
    ownList_ = createFileListView();
    view_ = ownView_.get();
    list_ = ownList_.get();
    connect(&rec_, &SeriesRecorder::seriesStarted, this, [this] { MessFileListe_aktualisieren(-1, 1); });
    connect(&rec_, &SeriesRecorder::slowSeriesStarted, this, [this] { RestartTimeAxis(); });
    connect(&rec_, &SeriesRecorder::slowSample, this, [this](int32_t n) { ShowSlowSample(n); });
    connect(&rec_, &SeriesRecorder::durationChanged, this, [this](int32_t index) { showDuration(index); });
}

RecordingViews::~RecordingViews() = default;

void RecordingViews::placeWidgets(QWidget* parent) {
    view_->setParent(parent);
    list_->setParent(parent);
    (void)ownView_.release();
    (void)ownList_.release();
}

QWidget* RecordingViews::graphWidget() { return view_; }
QWidget* RecordingViews::fileListWidget() { return list_; }
const LevelGraph& RecordingViews::graph() const { return *graph_; }

// ---------------------------------------------------------------- graph

void RecordingViews::initGraph() {
    LevelGraph& g = *graph_;
    g.MaxYAxis = 1400;
    g.MinYAxis = 0;
    g.GridTimeX = 60;
    g.GridTimeY = 100;
    g.DisplayWidthX = 660;
    rec_.setSlowRetentionMs(retentionMs(g.DisplayWidthX));
    GraphReady = 2;
}

void RecordingViews::ScaleYAxis() { graph_->ScaleYAxis(graph_->MinYAxis, graph_->MaxYAxis); }

void RecordingViews::CalculateGraphStartTime() { graph_->CalculateGraphStartTime(rec_.LocalSlowBuffer); }

void RecordingViews::ScaleTimeAxis() {
    graph_->ScaleTimeAxis(rec_.LocalSlowBuffer);
    if (view_) view_->update();
}

void RecordingViews::RestartTimeAxis() {
    CalculateGraphStartTime();
    ScaleTimeAxis();
}

void RecordingViews::setGraphWidth(int px) {
    graph_->setSize(px, kGraphHeight);
    if (view_) view_->setFixedSize(graph_->size());
    if (GraphReady == 2) {
        ScaleYAxis();
        ScaleTimeAxis();
    }
    if (list_) list_->setFixedWidth(graph_->size().width());
}

void RecordingViews::ShowSlowSample(int32_t n) {
    const QRect dirty = graph_->ShowSlowSample(rec_.LocalSlowBuffer, n);
    if (view_ && !dirty.isEmpty()) view_->update(dirty);
}

void RecordingViews::showEventBands() {
    const EventRecorder& ev = rec_.events();
    const SampleWindow& buf = rec_.LocalSlowBuffer;
    const double newest = buf.empty() ? 0.0 : buf[buf.count()].Timestamp;
    const std::optional<NoiseEvent> running = ev.running();
    const std::optional<NoiseEvent>& last = ev.lastEnded();
    std::vector<Band> bands;
    for (Band b : bands_) {
        if (std::isnan(b.end)) {
            const double now = b.exceedance ? (running ? running->startLocalMs / 86400000.0 : -1.0)
                                            : (ev.spanOpen() ? ev.spanStartLocalMs() / 86400000.0 : -1.0);
            if (now == b.start) continue;  // still running: taken anew below
            // It ended: where its last sample was, or the exceedance's own end.
            b.end = b.exceedance && last && last->startLocalMs / 86400000.0 == b.start ? last->endLocalMs / 86400000.0
                                                                                       : std::max(newest, b.start);
        }
        if (b.end >= graph_->GraphStartTime) bands.push_back(b);
    }
    const double runs = std::numeric_limits<double>::quiet_NaN();
    if (running) bands.push_back({running->startLocalMs / 86400000.0, QColor(255, 60, 40, 90), runs, true});
    if (ev.spanOpen()) bands.push_back({ev.spanStartLocalMs() / 86400000.0, QColor(70, 130, 255, 80), runs, false});
    // A running band grows with every sample; ended ones alone change only when one goes.
    const bool ran = std::any_of(bands_.begin(), bands_.end(), [](const Band& b) { return std::isnan(b.end); });
    if (!running && !ev.spanOpen() && !ran && bands.size() == bands_.size()) return;
    bands_ = std::move(bands);
    if (view_) view_->update();
}

void RecordingViews::setLabelFont(const QFont& windowFont) {
    graph_->setLabelFont(graphFont(windowFont));
    if (GraphReady == 2) {
        ScaleYAxis();
        ScaleTimeAxis();
    }
}

void RecordingViews::PictureGraph_Paint() {
    if (inPaint_) return;
    inPaint_ = true;
    graph_->PictureGraph.image = graph_->PictureOriginal.image;
    inPaint_ = false;
}

// ---------------------------------------------------------------- file list

void RecordingViews::InitFileList() {
    if (list_) initFileListView(list_);
}

namespace {

QTreeWidgetItem* rowItem(const RecordFileEntry& e) {
    return new QTreeWidgetItem({timeOfDayText(e.Start), durationText(e.Duration), e.FileTitle});
}

}  // namespace

void RecordingViews::MessFileListe_aktualisieren(int16_t komplett, int32_t SelectedItem) {
    QTreeWidget* v = list_;
    if (!v) return;
    std::vector<RecordFileEntry>& files = rec_.RecordFiles;
    if (komplett != 0) {
        v->clear();
        QList<QTreeWidgetItem*> rows;
        int32_t row = 0;
        for (size_t idx = files.size() - 1; idx >= 1; --idx) {
            ++row;
            rows << rowItem(files[idx]);
            files[idx].ListIndex = static_cast<int16_t>(std::min<int32_t>(row, INT16_MAX));
        }
        v->addTopLevelItems(rows);
        if (QTreeWidgetItem* it = v->topLevelItem(SelectedItem - 1)) v->setCurrentItem(it);
        return;
    }
    // One entry redone in place; its row stays selected.
    if (SelectedItem < 1 || size_t(SelectedItem) >= files.size()) return;
    const RecordFileEntry& e = files[size_t(SelectedItem)];
    const int row = e.ListIndex - 1;
    if (row < 0 || row >= v->topLevelItemCount()) return;
    std::unique_ptr<QTreeWidgetItem> old(v->takeTopLevelItem(row));  // taking hands it to us
    QTreeWidgetItem* it = rowItem(e);
    v->insertTopLevelItem(row, it);
    v->setCurrentItem(it);
}

void RecordingViews::showDuration(int32_t index) {
    const std::vector<RecordFileEntry>& files = rec_.RecordFiles;
    if (!list_ || index < 1 || size_t(index) >= files.size()) return;
    const RecordFileEntry& e = files[size_t(index)];
    QTreeWidgetItem* it = list_->topLevelItem(e.ListIndex - 1);
    const QString text = durationText(e.Duration);
    if (it && it->text(1) != text) it->setText(1, text);
}

}  // namespace kestro
