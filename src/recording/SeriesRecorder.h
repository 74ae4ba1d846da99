#pragma once
// The recording core: is handed the samples that the interpreter collected
// since the last tick (a SampleSink the session feeds), gives every series its own
// record file and list entry, and appends one record line per sample. It
// needs no widgets; the graph and the file list follow it through signals.
//
// Every sample handed over is written exactly once, in arrival order, into
// the file of the series it arrived in, however many series began since the
// last tick. Memory stays bounded: the module buffers hold only what was not
// handed off yet, the local buffers only what the graph can still show.

#include "protocol/SampleSink.h"
#include "recording/EventRecorder.h"
#include "recording/EvidenceTrail.h"
#include "recording/RecordWriter.h"
#include "recording/SampleWindow.h"
#include "settings/RecorderSettings.h"
#include "statistics/StatisticsRecorder.h"

#include <QObject>
#include <QString>
#include <QStringList>

#include <memory>
#include <vector>

namespace kestro {

class EventLog;

enum class Stream { Slow, Fast };

// The statistics settings of the recorder settings, with the record files' separators.
StatisticsConfig statisticsConfigOf(const RecorderSettings& s);

struct RecordFileEntry {
    QString FileName;
    QString FileTitle;
    double Start = 0.0;     // the first sample's stamp (SysTime) in days
    double Duration = 0.0;  // days from the first to the newest sample
    int16_t ListIndex = 0;  // row in the file list (1 = top), set by the list
    Stream Kind = Stream::Slow;
};

class SeriesRecorder : public QObject, public SampleSink {
    Q_OBJECT
public:
    // How long the local slow buffer keeps samples for the graph by default:
    // its ten-minute window plus room for the rounding of its left edge.
    static constexpr int64_t kDefaultSlowRetentionMs = 15 * 60 * 1000;

    // device: the meter's state as the session keeps it (its function starts a
    // series' events file, its serial number is told with every noise event).
    SeriesRecorder(const KestroStateRecord& device, const RecorderSettings& settings, const Clock& clock,
                   const EventLog& log, QObject* parent = nullptr);
    ~SeriesRecorder() override;

    // Waiting lines are spooled below stateDir/spool and, at exit, rescued into
    // stateDir/rescued (the state place: a record directory that vanished is
    // never re-created by them); without it they wait in memory.
    // Spools left by an earlier run are rescued at once (logged). open: the
    // writer's file opening (a seam for tests), by default without following links.
    void setStateDirectory(const QString& stateDir, RecordWriter::OpenFn open = {});
    // The writers' monotonic time, for this and every later writer (a seam for tests).
    void setMonotonic(RecordWriter::MonotonicFn now);
    QString rescueDirectory() const;
    // Spools that an earlier version left in spoolDir are rescued the same way (logged).
    void recoverSpoolsOf(const QString& spoolDir);

    // Sample hand-off of the poll tick. Failures are logged per statement with
    // ": frmKestroRecord.Timer1.Error: " and the error number (RecordFormat.h),
    // and the hand-off goes on; a file that keeps failing the same way is
    // logged again once a minute. Unwritten lines wait and go out first later.
    void takeSamples(const Batch& slow, const Batch& fast) override;
    // Only the fast values: those of an armed recording wait for its first
    // level, and must be written when it ends before one came.
    void takeFastSamples(const Batch& fast) override;
    // Goes to the evidence trail (EvidenceTrail::takeCalibration), before tickEvidence.
    void takeCalibration(const std::vector<CalibrationReading>& readings) override;

    void StopSlowMeasurement();
    void StopFastMeasurement();
    // Recording was disarmed or the program ends: the statistics of both
    // series get their last interval and their Series row.
    void endStatistics();
    // Statistics of the current series of each stream (beside every record file).
    const StatisticsRecorder& slowStatistics() const { return slowStats_; }
    const StatisticsRecorder& fastStatistics() const { return fastStats_; }
    void ResetLocalSlowMeasurementBuffer();
    void ResetLocalFastMeasurementBuffer();

    // Noise events and marked spans of the series being recorded (EventRecorder.h).
    const EventRecorder& events() const { return events_; }
    // The user's Mark, pressed at `at`: begins a marked span or ends the one
    // that runs; false while nothing is recorded.
    bool mark(const QString& note, const ClockReading& at);

    // Every poll tick, recording or not, after the calibration readings: the side files (EvidenceTrail.h).
    void tickEvidence();
    EvidenceTrail& evidence() { return evidence_; }

    // "Record file error: <reason> — <file>", empty while record files are written fine.
    QString recordErrorText() const;
    QString recordErrorReason() const { return errors_.empty() ? QString() : errors_.back().reason; }
    QString recordErrorPath() const { return errors_.empty() ? QString() : errors_.back().path; }
    bool hasHeldLines() const;
    // Writes waiting lines now (the window calls it now and then while not recording).
    void retryHeldLines();
    // At exit: what still cannot be written goes into the rescue directory;
    // returns one event-log text per record file concerned (also logged).
    QStringList rescueHeldLines();
    const RecordWriter& writer() const { return *writer_; }
    // For monitoring: samples handed to the record files, failed writes.
    uint64_t samplesWritten(Stream s) const { return s == Stream::Slow ? slowWritten_ : fastWritten_; }
    uint64_t recordErrors() const { return recordErrors_; }

    // The graph's window in milliseconds; the local slow buffer keeps that much.
    void setSlowRetentionMs(int64_t ms) { slowRetentionMs_ = ms; }
    size_t retainedBytes() const;

    int32_t LocalSlowCount() const { return LocalSlowBuffer.count(); }
    int32_t LocalFastCount() const { return LocalFastBuffer.count(); }

    // Window-level state (names as documented for the recorder).
    SampleWindow LocalSlowBuffer;
    SampleWindow LocalFastBuffer;
    int32_t LastSlowRecordNo = 0;
    int32_t LastFastRecordNo = 0;
    QString SlowFileName;
    QString FastFileName;
    int32_t SlowFileIndex = 0;
    int32_t FastFileIndex = 0;
    std::vector<RecordFileEntry> RecordFiles{RecordFileEntry{}};

signals:
    // A record file was started and appended to RecordFiles (index).
    void seriesStarted(int32_t fileIndex);
    // A slow series began: the graph starts a new time axis.
    void slowSeriesStarted();
    // Sample n of LocalSlowBuffer arrived and is about to be written.
    void slowSample(int32_t n);
    // The Duration of RecordFiles[fileIndex] changed.
    void durationChanged(int32_t fileIndex);
    void recordErrorChanged(const QString& text);
    // A statistics result of either stream, after its row was written.
    void statisticsResult(kestro::Stream stream, const kestro::IntervalResult& result);
    // An exceedance started (it has lasted the minimum duration) or ended.
    void noiseEvent(const kestro::EventNotice& notice);
    // A marked span began or ended.
    void markChanged();

private:
    void startSeries(Stream s, const MeasurementRecord& first);
    void takeSlow(const Batch& taken);
    void takeFast(const Batch& taken);
    void stopSeries(const SampleWindow& buf, int32_t index);
    // The series of record file name ended: its files are not begun again.
    void forgetHeads(const QString& name);
    void updateDuration(int32_t index, const SampleWindow& buf);
    void writeRecordBatch(const QString& path, const QByteArray& bytes);
    // Lines waiting for a file outside the record directory (it was chosen
    // anew in Setup) wait for the same name in it instead, a series' files
    // together with its side file, so nothing goes into the old folder again.
    void followRecordDirectory();
    void moveErrors(const QString& from, const QString& to);
    void logTick(int32_t err) const;
    void logRecovered(const std::vector<RecordWriter::Rescued>& rescued) const;

    const KestroStateRecord& device_;
    const RecorderSettings& s_;
    const Clock& clock_;
    const EventLog& log_;
    std::unique_ptr<RecordWriter> writer_;
    QString stateDir_;
    RecordWriter::MonotonicFn monotonic_;
    int64_t slowRetentionMs_ = kDefaultSlowRetentionMs;
    // Their statistics files go through the writer like record lines.
    StatisticsRecorder slowStats_;
    StatisticsRecorder fastStats_;
    EventRecorder events_;

    struct FileError {
        QString path;
        QString reason;
        int32_t err;
        int64_t loggedMs;
        int64_t droppedLines;
    };
    std::vector<FileError> errors_;  // files failing now, latest failure last
    QString errorText_;
    uint64_t slowWritten_ = 0;
    uint64_t fastWritten_ = 0;
    uint64_t recordErrors_ = 0;
    EvidenceTrail evidence_;
};

}  // namespace kestro
