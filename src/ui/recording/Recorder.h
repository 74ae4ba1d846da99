#pragma once
// Window-level recording state of the main window: the local sample buffers,
// the record files of the current series, the level-time graph and the list of
// recorded files. The main window owns one and calls it from its poll tick.
//
// CONTRACT with the main window (names binding, internals free): the window
// embeds graphWidget() at the graph's place and fileListWidget() at the file
// list's place, calls InitGraph() in its load handler (graph settings step),
// ScaleYAxis()/CalculateGraphStartTime()/ScaleTimeAxis() after showing,
// SetGraphWidth() from its resize handler, HandOff() as tick step 11, and
// the Stop/Reset/RestartTimeAxis procedures from the connection-lost actions,
// the buttons and the option handlers. Panel 3 of the status bar shows
// RecordErrorText() (signal recordErrorChanged).

#include "protocol/ProtocolState.h"
#include "settings/RecorderSettings.h"

#include <QByteArray>
#include <QObject>
#include <QString>
#include <vector>

class QWidget;

namespace kestro {

class EventLog;
class LevelGraph;
class RecordWriter;

struct RecordFileEntry {
    QString FileName;
    QString FileTitle;
    double Start = 0.0;
    double Duration = 0.0;
    int16_t ListIndex = 0;
};

class Recorder : public QObject {
    Q_OBJECT
public:
    Recorder(ProtocolState& ps, const RecorderSettings& settings, const Clock& clock, const EventLog& log,
             QObject* parent = nullptr);
    ~Recorder() override;

    QWidget* graphWidget();     // PictureGraph (401 x 169 at design size)
    QWidget* fileListWidget();  // MessFileListe (401 x 100 at design size)

    // Sample hand-off of the poll tick. Failures are logged per statement with
    // ": frmKestroRecord.Timer1.Error: " and the error number (RecordFormat.h)
    // and the hand-off goes on; a file that keeps failing the same way is logged
    // again once a minute. Unwritten lines are held and written first later.
    void HandOff();

    void StartSlowMeasurement();
    void StartFastMeasurement();
    void StopSlowMeasurement();
    void StopFastMeasurement();
    void ResetLocalSlowMeasurementBuffer();
    void ResetLocalFastMeasurementBuffer();

    // Graph
    void InitGraph();  // MaxYAxis 1400, MinYAxis 0, GridTimeX 60, GridTimeY 100, DisplayWidthX 660; GraphReady 2
    void ScaleYAxis();
    void CalculateGraphStartTime();
    void ScaleTimeAxis();
    void RestartTimeAxis();
    void SetGraphWidth(int px);  // resize: width of the three surfaces and the list, rebuild when ready
    int16_t GraphReady = 0;
    // Graph properties: stored only, nothing is redrawn.
    void setMaxYAxis(int32_t v);
    void setMinYAxis(int32_t v);
    void setGridTimeX(double v);
    void setGridTimeY(double v);
    void setDisplayWidthX(double v);
    // Adds sample n of LocalSlowBuffer to the graph, then shows the slow file's duration.
    void ShowSlowSample(int32_t n);
    // Shows the fast file's duration up to sample n of LocalFastBuffer.
    void UpdateFastDuration(int32_t n);
    // Repaint of the visible surface: takes over PictureOriginal's image.
    void PictureGraph_Paint();
    const LevelGraph& Graph() const;

    // File list
    void InitFileList();
    void MessFileListe_aktualisieren(int16_t komplett, int32_t SelectedItem);

    QString RecordErrorText() const;  // empty while record files are written fine
    // Lines that could not be written yet are held per file and go out first
    // with the next batch; the window may also retry them while not recording.
    bool HasHeldLines() const;
    void RetryHeldLines();
    const RecordWriter& Writer() const;

    // Window-level state (names as documented for the recorder).
    std::vector<MeasurementRecord> LocalSlowBuffer;
    std::vector<MeasurementRecord> LocalFastBuffer;
    int32_t LocalSlowCount = 0;
    int32_t LocalFastCount = 0;
    int32_t LastSlowRecordNo = 0;
    int32_t LastFastRecordNo = 0;
    QString SlowFileName;
    QString FastFileName;
    int32_t SlowFileIndex = 0;
    int32_t FastFileIndex = 0;
    std::vector<RecordFileEntry> RecordFiles{RecordFileEntry{}};

signals:
    void recordErrorChanged(const QString& text);

private:
    void WriteRecordBatch(const QString& path, const QByteArray& bytes);
    int32_t AddFileEntry(const MeasurementRecord& first, const QString& typeWord);
    void StopSeries(int32_t count, const std::vector<MeasurementRecord>& buf, int32_t index);
    void UpdateDuration(int32_t index, const std::vector<MeasurementRecord>& buf, int32_t n);
    void ShowDuration(int32_t index);

    struct Impl;
    Impl* d;
};

}  // namespace kestro
