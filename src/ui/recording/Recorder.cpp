#include "ui/recording/Recorder.h"

#include "shell/EventLog.h"
#include "shell/FileTitle.h"
#include "ui/recording/FileList.h"
#include "ui/recording/LevelGraph.h"
#include "ui/recording/RecordFormat.h"
#include "ui/recording/RecordWriter.h"

#include <QPainter>
#include <QPointer>
#include <QTreeWidget>
#include <QWidget>

#include <algorithm>

namespace kestro {

namespace {

const QString kTickLabel = QStringLiteral(": frmKestroRecord.Timer1.Error: ");
// A file that keeps failing with the same error is logged again after this long,
// not on every tick, so a day without a medium does not flood the log.
constexpr int64_t kRepeatLogMs = 60000;

class GraphView final : public QWidget {
public:
    GraphView(Recorder& rec, const LevelGraph& g) : rec_(rec), g_(g) {
        setObjectName(QStringLiteral("PictureGraph"));
        setAttribute(Qt::WA_OpaquePaintEvent);
        setFixedSize(g.Size());
    }

protected:
    void paintEvent(QPaintEvent*) override {
        rec_.PictureGraph_Paint();
        QPainter p(this);
        p.drawImage(0, 0, g_.PictureGraph.image);
    }

private:
    Recorder& rec_;
    const LevelGraph& g_;
};

}  // namespace

struct Recorder::Impl {
    Impl(ProtocolState& p, const RecorderSettings& st, const Clock& c, const EventLog& l)
        : ps(p), s(st), clock(c), log(l) {}

    ProtocolState& ps;
    const RecorderSettings& s;
    const Clock& clock;
    const EventLog& log;
    LevelGraph graph;
    RecordWriter writer;
    QPointer<QWidget> view;
    QPointer<QTreeWidget> list;
    bool inPaint = false;

    struct FileError {
        QString path;
        QString text;
        int32_t err;
        int64_t loggedMs;
    };
    std::vector<FileError> errors;  // files failing now, latest failure last
    QString errorText;

    void LogTick(int32_t err) const { log.LogError(kTickLabel, err); }
};

Recorder::Recorder(ProtocolState& ps, const RecorderSettings& settings, const Clock& clock, const EventLog& log,
                   QObject* parent)
    : QObject(parent), d(new Impl(ps, settings, clock, log)) {
    LocalSlowBuffer.resize(1);
    LocalFastBuffer.resize(1);
    d->view = new GraphView(*this, d->graph);
    d->list = CreateFileListView();
}

Recorder::~Recorder() {
    // Last chance for lines held back by a failing medium; nobody listens any more.
    blockSignals(true);
    RetryHeldLines();
    if (d->view && !d->view->parent()) delete d->view;
    if (d->list && !d->list->parent()) delete d->list;
    delete d;
}

QWidget* Recorder::graphWidget() { return d->view; }
QWidget* Recorder::fileListWidget() { return d->list; }
const LevelGraph& Recorder::Graph() const { return d->graph; }
const RecordWriter& Recorder::Writer() const { return d->writer; }
QString Recorder::RecordErrorText() const { return d->errorText; }
bool Recorder::HasHeldLines() const { return !d->writer.HeldPaths().isEmpty(); }

// ---------------------------------------------------------------- writing

void Recorder::WriteRecordBatch(const QString& path, const QByteArray& bytes) {
    const WriteOutcome o = d->writer.Append(path, bytes);
    auto it =
        std::find_if(d->errors.begin(), d->errors.end(), [&](const Impl::FileError& e) { return e.path == path; });
    if (o.ok()) {
        if (it != d->errors.end()) d->errors.erase(it);
    } else {
        const int64_t now = AbsoluteMilliseconds(d->clock.Now());
        Impl::FileError e{path, QString(), o.err, now};
        bool log = true;
        if (it != d->errors.end()) {
            log = it->err != o.err || now - it->loggedMs >= kRepeatLogMs || now < it->loggedMs;
            if (!log) e.loggedMs = it->loggedMs;
            d->errors.erase(it);
        }
        if (log) d->LogTick(o.err);
        e.text = QStringLiteral("Record file error: ") + (path.isEmpty() ? QStringLiteral("(none)") : path) +
                 QStringLiteral(": ") + o.reason;
        d->errors.push_back(std::move(e));
    }
    const QString text = d->errors.empty() ? QString() : d->errors.back().text;
    if (text != d->errorText) {
        d->errorText = text;
        emit recordErrorChanged(text);
    }
}

void Recorder::RetryHeldLines() {
    for (const QString& p : d->writer.HeldPaths())
        WriteRecordBatch(p, QByteArray());
}

// ---------------------------------------------------------------- hand-off

void Recorder::HandOff() {
    ProtocolState& ps = d->ps;
    const RecorderSettings& s = d->s;

    if (LastSlowRecordNo < ps.SlowRecordNo) {
        if (LastSlowRecordNo != 0) StopSlowMeasurement();
        LastSlowRecordNo = ps.SlowRecordNo;
        StartSlowMeasurement();
        RestartTimeAxis();
    }
    QByteArray batch;
    while (LocalSlowCount < ps.SlowCount) {
        if (LocalSlowCount % 1000 == 0 || LocalSlowBuffer.size() <= size_t(LocalSlowCount) + 1)
            LocalSlowBuffer.resize(size_t(LocalSlowCount) + 1001);
        if (LocalSlowCount == 0) LocalSlowBuffer[0] = ps.GetSlowRecord(0);
        ++LocalSlowCount;
        const MeasurementRecord& r = LocalSlowBuffer[size_t(LocalSlowCount)] = ps.GetSlowRecord(LocalSlowCount);
        if (r.Flags > 0) {
            ShowSlowSample(LocalSlowCount);
            AppendSlowLine(batch, s, LocalSlowBuffer[size_t(LocalSlowCount)]);
        }
    }
    // Also without samples: the file of a new series exists from its first tick.
    WriteRecordBatch(SlowFileName, batch);

    if (LastFastRecordNo < ps.FastRecordNo) {
        if (LastFastRecordNo != 0) StopFastMeasurement();
        LastFastRecordNo = ps.FastRecordNo;
        StartFastMeasurement();
    }
    const bool fastBatch = LocalFastCount < ps.FastCount;
    if (fastBatch) {
        batch.clear();
        while (LocalFastCount < ps.FastCount) {
            if (LocalFastCount % 1000 == 0 || LocalFastBuffer.size() <= size_t(LocalFastCount) + 1)
                LocalFastBuffer.resize(size_t(LocalFastCount) + 1001);
            if (LocalFastCount == 0) LocalFastBuffer[0] = ps.GetFastRecord(0);
            ++LocalFastCount;
            LocalFastBuffer[size_t(LocalFastCount)] = ps.GetFastRecord(LocalFastCount);
            const MeasurementRecord& r = LocalFastBuffer[size_t(LocalFastCount)];
            if (r.Flags > 0) {
                if (const int32_t err = AppendFastLine(batch, s, r)) d->LogTick(err);
            }
        }
        UpdateFastDuration(LocalFastCount);
        WriteRecordBatch(FastFileName, batch);
    }

    // Files not written this tick that still hold lines (an earlier series,
    // a fast file without new samples).
    for (const QString& p : d->writer.HeldPaths())
        if (p != SlowFileName && !(fastBatch && p == FastFileName)) WriteRecordBatch(p, QByteArray());
}

// ---------------------------------------------------------------- series

int32_t Recorder::AddFileEntry(const MeasurementRecord& first, const QString& typeWord) {
    RecordFileEntry e;
    e.FileName = RecordFilePath(d->s, typeWord, d->clock.Now());
    e.FileTitle = FileTitle(e.FileName);
    e.Start = first.Timestamp;
    e.Duration = 0.0;
    RecordFiles.push_back(std::move(e));
    const auto index = static_cast<int32_t>(RecordFiles.size() - 1);
    MessFileListe_aktualisieren(kTrue, 1);
    return index;
}

void Recorder::StartSlowMeasurement() {
    ResetLocalSlowMeasurementBuffer();
    LocalSlowBuffer[0] = d->ps.GetSlowRecord(0);
    SlowFileIndex = AddFileEntry(LocalSlowBuffer[0], SlowTypeWord(LocalSlowBuffer[0].Flags));
    SlowFileName = RecordFiles[size_t(SlowFileIndex)].FileName;
    if (d->s.IncludeHeaderLine) WriteRecordBatch(SlowFileName, HeaderLine(d->s));
}

void Recorder::StartFastMeasurement() {
    ResetLocalFastMeasurementBuffer();
    LocalFastBuffer[0] = d->ps.GetFastRecord(0);
    FastFileIndex = AddFileEntry(LocalFastBuffer[0], FastTypeWord(LocalFastBuffer[0].Flags));
    FastFileName = RecordFiles[size_t(FastFileIndex)].FileName;
    if (d->s.IncludeHeaderLine) WriteRecordBatch(FastFileName, HeaderLine(d->s));
}

void Recorder::StopSeries(int32_t count, const std::vector<MeasurementRecord>& buf, int32_t index) {
    if (count == 0 || index < 1 || size_t(index) >= RecordFiles.size() || size_t(count) >= buf.size()) return;
    RecordFileEntry& e = RecordFiles[size_t(index)];
    if (e.Duration == 0.0) {
        e.Duration = buf[size_t(count)].Timestamp - buf[0].Timestamp;
        ShowDuration(index);
    }
}

void Recorder::StopSlowMeasurement() { StopSeries(LocalSlowCount, LocalSlowBuffer, SlowFileIndex); }
void Recorder::StopFastMeasurement() { StopSeries(LocalFastCount, LocalFastBuffer, FastFileIndex); }

void Recorder::ResetLocalSlowMeasurementBuffer() {
    std::vector<MeasurementRecord>(1).swap(LocalSlowBuffer);  // give the memory back
    LocalSlowCount = 0;
}

void Recorder::ResetLocalFastMeasurementBuffer() {
    std::vector<MeasurementRecord>(1).swap(LocalFastBuffer);
    LocalFastCount = 0;
}

// ---------------------------------------------------------------- graph

void Recorder::InitGraph() {
    LevelGraph& g = d->graph;
    g.MaxYAxis = 1400;
    g.MinYAxis = 0;
    g.GridTimeX = 60;
    g.GridTimeY = 100;
    g.DisplayWidthX = 660;
    GraphReady = 2;
}

void Recorder::setMaxYAxis(int32_t v) { d->graph.MaxYAxis = v; }
void Recorder::setMinYAxis(int32_t v) { d->graph.MinYAxis = v; }
void Recorder::setGridTimeX(double v) { d->graph.GridTimeX = v; }
void Recorder::setGridTimeY(double v) { d->graph.GridTimeY = v; }
void Recorder::setDisplayWidthX(double v) { d->graph.DisplayWidthX = v; }

void Recorder::ScaleYAxis() { d->graph.ScaleYAxis(d->graph.MinYAxis, d->graph.MaxYAxis); }

void Recorder::CalculateGraphStartTime() { d->graph.CalculateGraphStartTime(LocalSlowBuffer, LocalSlowCount); }

void Recorder::ScaleTimeAxis() {
    d->graph.ScaleTimeAxis(LocalSlowBuffer, LocalSlowCount);
    if (d->view) d->view->update();
}

void Recorder::RestartTimeAxis() {
    CalculateGraphStartTime();
    ScaleTimeAxis();
}

void Recorder::SetGraphWidth(int px) {
    d->graph.SetSize(px, kGraphHeight);
    if (d->view) d->view->setFixedSize(d->graph.Size());
    if (GraphReady == 2) {
        ScaleYAxis();
        ScaleTimeAxis();
    }
    if (d->list) d->list->setFixedWidth(d->graph.Size().width());
}

void Recorder::ShowSlowSample(int32_t n) {
    const QRect dirty = d->graph.ShowSlowSample(LocalSlowBuffer, LocalSlowCount, n);
    if (d->view && !dirty.isEmpty()) d->view->update(dirty);
    UpdateDuration(SlowFileIndex, LocalSlowBuffer, n);
}

void Recorder::UpdateFastDuration(int32_t n) { UpdateDuration(FastFileIndex, LocalFastBuffer, n); }

void Recorder::PictureGraph_Paint() {
    if (d->inPaint) return;
    d->inPaint = true;
    d->graph.PictureGraph.image = d->graph.PictureOriginal.image;
    d->inPaint = false;
}

// ---------------------------------------------------------------- file list

void Recorder::InitFileList() {
    if (d->list) InitFileListView(d->list);
}

namespace {

QTreeWidgetItem* RowItem(const RecordFileEntry& e) {
    return new QTreeWidgetItem({TimeOfDayText(e.Start), DurationText(e.Duration), e.FileTitle});
}

}  // namespace

void Recorder::MessFileListe_aktualisieren(int16_t komplett, int32_t SelectedItem) {
    QTreeWidget* v = d->list;
    if (!v) return;
    if (komplett != 0) {
        v->clear();
        QList<QTreeWidgetItem*> rows;
        int32_t row = 0;
        for (size_t idx = RecordFiles.size() - 1; idx >= 1; --idx) {
            ++row;
            rows << RowItem(RecordFiles[idx]);
            RecordFiles[idx].ListIndex = static_cast<int16_t>(std::min<int32_t>(row, INT16_MAX));
        }
        v->addTopLevelItems(rows);
        if (QTreeWidgetItem* it = v->topLevelItem(SelectedItem - 1)) v->setCurrentItem(it);
        return;
    }
    // One entry redone in place; its row stays selected.
    if (SelectedItem < 1 || size_t(SelectedItem) >= RecordFiles.size()) return;
    const RecordFileEntry& e = RecordFiles[size_t(SelectedItem)];
    const int row = e.ListIndex - 1;
    if (row < 0 || row >= v->topLevelItemCount()) return;
    delete v->takeTopLevelItem(row);
    QTreeWidgetItem* it = RowItem(e);
    v->insertTopLevelItem(row, it);
    v->setCurrentItem(it);
}

void Recorder::ShowDuration(int32_t index) {
    if (!d->list || index < 1 || size_t(index) >= RecordFiles.size()) return;
    const RecordFileEntry& e = RecordFiles[size_t(index)];
    QTreeWidgetItem* it = d->list->topLevelItem(e.ListIndex - 1);
    const QString text = DurationText(e.Duration);
    if (it && it->text(1) != text) it->setText(1, text);
}

void Recorder::UpdateDuration(int32_t index, const std::vector<MeasurementRecord>& buf, int32_t n) {
    if (index < 1 || size_t(index) >= RecordFiles.size() || n < 0 || size_t(n) >= buf.size()) return;
    RecordFiles[size_t(index)].Duration = buf[size_t(n)].Timestamp - buf[0].Timestamp;
    ShowDuration(index);
}

}  // namespace kestro
