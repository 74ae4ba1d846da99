#pragma once
// The views of the recording: the level-time graph and the list of recorded
// files. They follow the recording core (SeriesRecorder) through its signals
// and draw from its local buffers; they hold no samples of their own.
//
// The main window takes both widgets into its own tree (placeWidgets), puts
// graphWidget() at the graph's place and fileListWidget() at the file list's
// place, calls initGraph() in its load
// handler, ScaleYAxis()/CalculateGraphStartTime()/ScaleTimeAxis() after
// showing, setGraphWidth() from its resize handler, and RestartTimeAxis()
// from the connection-lost actions and the option handlers.

#include "recording/SeriesRecorder.h"

#include <QColor>
#include <QObject>
#include <QPointer>

#include <memory>
#include <vector>

class QTreeWidget;
class QWidget;

namespace kestro {

class LevelGraph;

class RecordingViews : public QObject {
    Q_OBJECT
public:
    explicit RecordingViews(SeriesRecorder& recorder, QObject* parent = nullptr);
    ~RecordingViews() override;

    QWidget* graphWidget();     // PictureGraph (401 x 169 at design size)
    QWidget* fileListWidget();  // MessFileListe (401 x 100 at design size)
    // Both widgets become children of parent, which owns them from then on;
    // until then (a view without a window) they are owned here.
    void placeWidgets(QWidget* parent);

    // Graph
    void initGraph();  // MaxYAxis 1400, MinYAxis 0, GridTimeX 60, GridTimeY 100, DisplayWidthX 660; GraphReady 2
    void ScaleYAxis();
    void CalculateGraphStartTime();
    void ScaleTimeAxis();
    void RestartTimeAxis();
    void setGraphWidth(int px);  // resize: width of the three surfaces and the list, rebuild when ready
    int16_t GraphReady = 0;
    // Adds sample n of the local slow buffer to the graph.
    void ShowSlowSample(int32_t n);
    // Repaint of the visible surface: takes over PictureOriginal's image.
    void PictureGraph_Paint();
    // Bands behind the curve where an exceedance runs or ran, or a span is or
    // was marked (the recorder's events); an ended one stays while its time is on the graph.
    void showEventBands();
    // The labels follow the window's font.
    void setLabelFont(const QFont& windowFont);
    struct Band {
        double start;  // day count
        QColor colour;
        double end;  // day count; NaN while it runs
        bool exceedance;
    };
    const std::vector<Band>& eventBands() const { return bands_; }
    const LevelGraph& graph() const;
    const SeriesRecorder& recorder() const { return rec_; }

    // File list
    void InitFileList();
    void MessFileListe_aktualisieren(int16_t komplett, int32_t SelectedItem);
    // Shows the Duration of RecordFiles[index] in its row.
    void showDuration(int32_t index);

private:
    SeriesRecorder& rec_;
    std::unique_ptr<LevelGraph> graph_;
    std::unique_ptr<QWidget> ownView_;
    std::unique_ptr<QTreeWidget> ownList_;
    QPointer<QWidget> view_;
    QPointer<QTreeWidget> list_;
    bool inPaint_ = false;
    std::vector<Band> bands_;
};

}  // namespace kestro
