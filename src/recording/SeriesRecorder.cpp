#include "recording/SeriesRecorder.h"

#include "recording/RecordFormat.h"
#include "shell/EventLog.h"
#include "shell/FileTitle.h"

#include <algorithm>

namespace kestro {

namespace {

const QString kTickLabel = QString::fromLatin1(label::kTimer1);
const QString kWriterLabel = QString::fromLatin1(label::kRecordWriter);
// A file that keeps failing with the same error is logged again after this long,
// not on every tick, so a day without a medium does not flood the log.
constexpr int64_t kRepeatLogMs = 60000;
constexpr double kMsPerDay = 86400000.0;

}  // namespace

StatisticsConfig StatisticsConfigOf(const RecorderSettings& s) {
    StatisticsConfig c;
    c.intervalSeconds = s.StatisticsInterval;
    c.limitTenths = s.LimitLevel;
    c.decimalSeparator = s.DecimalSeparator;
    c.columnSeparator = s.TabularSeparator;
    c.periods.dayStartHour = s.DayStartHour;
    c.periods.eveningStartHour = s.EveningStartHour;
    c.periods.nightStartHour = s.NightStartHour;
    return c;
}

SeriesRecorder::SeriesRecorder(ProtocolState& ps, const RecorderSettings& settings, const Clock& clock,
                               const EventLog& log, QObject* parent)
    : QObject(parent),
      ps_(ps),
      s_(settings),
      clock_(clock),
      log_(log),
      writer_(std::make_unique<RecordWriter>()),
      slowStats_(StatisticsRecorder::Stream::Slow,
                 [this](const QString& path, const QByteArray& bytes) { WriteRecordBatch(path, bytes); }),
      fastStats_(StatisticsRecorder::Stream::Fast,
                 [this](const QString& path, const QByteArray& bytes) { WriteRecordBatch(path, bytes); }),
      events_([this](const QString& path, const QByteArray& bytes) { WriteRecordBatch(path, bytes); }),
      evidence_(
          ps, settings, clock, [this](const QString& path) { return writer_->HeldBytes(path); },
          [this](const QString& path, const QByteArray& bytes) { WriteRecordBatch(path, bytes); }) {
    slowStats_.onResult = [this](const IntervalResult& r) {
        emit statisticsResult(Stream::Slow, r);
    };
    fastStats_.onResult = [this](const IntervalResult& r) {
        emit statisticsResult(Stream::Fast, r);
    };
    events_.onNotice = [this](const EventNotice& n) {
        emit noiseEvent(n);
    };
}

bool SeriesRecorder::mark(const QString& note, const ClockReading& at) {
    if (!events_.mark(note, at)) return false;
    emit markChanged();
    return true;
}

SeriesRecorder::~SeriesRecorder() = default;

void SeriesRecorder::SetDataDirectory(const QString& dataDir, RecordWriter::OpenFn open) {
    dataDir_ = dataDir;
    auto next = std::make_unique<RecordWriter>(dataDir.isEmpty() ? QString() : dataDir + QStringLiteral("/spool"),
                                               std::move(open));
    for (const RecordWriter::Rescued& r : next->RecoverLeftovers(RescueDirectory()))
        log_.WriteLog(log_.DateTimeText() + kWriterLabel +
                      QStringLiteral("%1 lines left waiting for %2 by an earlier run were saved in %3")
                          .arg(r.lines)
                          .arg(r.target, r.savedTo));
    // Called before recording starts; a writer that already holds lines keeps them.
    if (writer_->HeldBytes() == 0) writer_ = std::move(next);
}

QString SeriesRecorder::RescueDirectory() const {
    return dataDir_.isEmpty() ? QString() : dataDir_ + QStringLiteral("/rescued");
}

QString SeriesRecorder::RecordErrorText() const { return errorText_; }
bool SeriesRecorder::HasHeldLines() const { return !writer_->HeldPaths().isEmpty(); }

size_t SeriesRecorder::RetainedBytes() const {
    return LocalSlowBuffer.RetainedBytes() + LocalFastBuffer.RetainedBytes() + taken_.capacity() * sizeof(taken_[0]) +
           ps_.SlowBuffer.RetainedBytes() + ps_.FastBuffer.RetainedBytes() +
           RecordFiles.capacity() * sizeof(RecordFileEntry);
}

void SeriesRecorder::LogTick(int32_t err) const { log_.LogError(kTickLabel, err); }

// ---------------------------------------------------------------- writing

void SeriesRecorder::WriteRecordBatch(const QString& path, const QByteArray& bytes) {
    const WriteOutcome o = writer_->Append(path, bytes);
    if (!o.lostSpool.isEmpty())
        log_.WriteLog(log_.DateTimeText() + kWriterLabel +
                      QStringLiteral("the spool file %1 was removed or changed by someone else: the %2 lines for %3 "
                                     "that waited in it are lost")
                          .arg(o.lostSpool)
                          .arg(o.lostSpoolLines)
                          .arg(path));
    auto it = std::find_if(errors_.begin(), errors_.end(), [&](const FileError& e) { return e.path == path; });
    if (o.ok() && o.droppedLines == 0) {
        if (it != errors_.end()) {
            if (it->droppedLines > 0)
                log_.WriteLog(log_.DateTimeText() + kWriterLabel +
                              QStringLiteral("%1 lines for %2 were dropped: neither the file nor the spool could "
                                             "take them")
                                  .arg(it->droppedLines)
                                  .arg(path));
            errors_.erase(it);
        }
    } else {
        ++recordErrors_;
        const int64_t now = clock_.Read().utcMs;
        FileError e{path, QString(), o.ok() ? kErrDiskFull : o.err, now, o.droppedLines};
        bool log = true;
        if (it != errors_.end()) {
            log = it->err != e.err || now - it->loggedMs >= kRepeatLogMs || now < it->loggedMs;
            if (!log) e.loggedMs = it->loggedMs;
            e.droppedLines += it->droppedLines;
            if (it->droppedLines == 0 && e.droppedLines > 0)
                log_.WriteLog(log_.DateTimeText() + kWriterLabel +
                              QStringLiteral("lines for %1 are being dropped: no room left to hold them").arg(path));
            errors_.erase(it);
        }
        if (log) LogTick(e.err);
        e.reason = o.ok() ? QStringLiteral("lines dropped") : o.reason;
        if (path.isEmpty()) e.path = QStringLiteral("(none)");
        errors_.push_back(std::move(e));
    }
    // The reason first: a long path must not push it out of the status bar.
    const QString text = errors_.empty() ? QString()
                                         : QStringLiteral("Record file error: ") + errors_.back().reason +
                                               QStringLiteral(" \u2014 ") + errors_.back().path;
    if (text != errorText_) {
        errorText_ = text;
        emit recordErrorChanged(text);
    }
}

void SeriesRecorder::RetryHeldLines() {
    writer_->StartTick();
    for (const QString& p : writer_->HeldPaths())
        WriteRecordBatch(p, QByteArray());
}

QStringList SeriesRecorder::RescueHeldLines() {
    QStringList texts;
    const std::vector<RecordWriter::Rescued> rescued = writer_->Rescue(RescueDirectory());
    for (const RecordWriter::Rescued& r : rescued) {
        if (r.lines > 0)
            texts << QStringLiteral("%1 lines could not be written to %2 and were saved in %3")
                         .arg(r.lines)
                         .arg(r.target, r.savedTo);
        if (r.lostLines > 0)
            texts << QStringLiteral("%1 lines could not be written to %2 and are lost").arg(r.lostLines).arg(r.target);
    }
    // Only files whose every line reached them are closed with their hashes.
    texts += evidence_.finish(rescued, RescueDirectory());
    for (const QString& t : texts)
        log_.WriteLog(log_.DateTimeText() + kWriterLabel + t);
    return texts;
}

// ---------------------------------------------------------------- hand-off

void SeriesRecorder::HandOff() {
    writer_->StartTick();
    TakeSlow();
    TakeFast();
    // An interval that is over is written now, even when no later sample came.
    const SystemTime now = clock_.Now();
    slowStats_.advanceClock(now);
    fastStats_.advanceClock(now);
    events_.advanceClock(clock_.Read().utcMs);
    // Files not written this tick that still hold lines (an earlier series,
    // a fast file without new samples).
    for (const QString& p : writer_->HeldPaths())
        if (p != SlowFileName && p != FastFileName) WriteRecordBatch(p, QByteArray());
}

void SeriesRecorder::TakeSlow() {
    ps_.SlowBuffer.TakePending(taken_);
    QByteArray batch;
    for (const SampleSeries::Entry& e : taken_) {
        if (LastSlowRecordNo < e.RecordNo) {
            // The rest of the old series goes to its own file first.
            if (!batch.isEmpty()) WriteRecordBatch(SlowFileName, batch);
            batch.clear();
            if (LastSlowRecordNo != 0) StopSlowMeasurement();
            LastSlowRecordNo = e.RecordNo;
            StartSeries(Stream::Slow, e.Sample);
            emit slowSeriesStarted();
        }
        LocalSlowBuffer.Push(e.Sample);
        if (e.Sample.Flags > 0) {
            emit slowSample(LocalSlowBuffer.Count());
            AppendSlowLine(batch, s_, e.Sample);
            evidence_.sampleWritten(0, e.Sample);
            ++slowWritten_;
            slowStats_.addSample(e.Sample);
            events_.addSample(0, e.Sample);
        }
    }
    if (!taken_.empty()) UpdateDuration(SlowFileIndex, LocalSlowBuffer);
    // Also without samples: the file of a new series exists from its first tick.
    WriteRecordBatch(SlowFileName, batch);
    LocalSlowBuffer.DropOlderThan(slowRetentionMs_);
}

void SeriesRecorder::TakeFast() {
    ps_.FastBuffer.TakePending(taken_);
    if (taken_.empty()) return;
    QByteArray batch;
    for (const SampleSeries::Entry& e : taken_) {
        if (LastFastRecordNo < e.RecordNo) {
            if (!batch.isEmpty()) {
                UpdateDuration(FastFileIndex, LocalFastBuffer);
                WriteRecordBatch(FastFileName, batch);
            }
            batch.clear();
            if (LastFastRecordNo != 0) StopFastMeasurement();
            LastFastRecordNo = e.RecordNo;
            StartSeries(Stream::Fast, e.Sample);
        }
        LocalFastBuffer.Push(e.Sample);
        if (e.Sample.Flags > 0) {
            if (const int32_t err = AppendFastLine(batch, s_, e.Sample)) LogTick(err);
            evidence_.sampleWritten(1, e.Sample);
            ++fastWritten_;
            fastStats_.addSample(e.Sample);
            events_.addSample(1, e.Sample);
        }
    }
    UpdateDuration(FastFileIndex, LocalFastBuffer);
    WriteRecordBatch(FastFileName, batch);
    // Only the newest fast sample is ever looked at again (durations).
    LocalFastBuffer.DropBefore(LocalFastBuffer.Count());
}

// ---------------------------------------------------------------- series

void SeriesRecorder::StartSeries(Stream s, const MeasurementRecord& first) {
    const bool slow = s == Stream::Slow;
    SampleWindow& local = slow ? LocalSlowBuffer : LocalFastBuffer;
    if (slow)
        ResetLocalSlowMeasurementBuffer();
    else
        ResetLocalFastMeasurementBuffer();
    local.SetHeader(SampleSeries::HeaderOf(first, !slow));
    const MeasurementRecord& h = local[0];

    RecordFileEntry e;
    e.FileName = RecordFilePath(s_, slow ? SlowTypeWord(h.Flags) : FastTypeWord(h.Flags), clock_.Now());
    e.FileTitle = FileTitle(e.FileName);
    e.Start = h.Timestamp;
    e.Duration = 0.0;
    e.Kind = s;
    RecordFiles.push_back(std::move(e));
    const auto index = static_cast<int32_t>(RecordFiles.size() - 1);
    (slow ? SlowFileIndex : FastFileIndex) = index;
    emit seriesStarted(index);
    QString& name = slow ? SlowFileName : FastFileName;
    name = RecordFiles.back().FileName;
    if (s_.IncludeHeaderLine) WriteRecordBatch(name, HeaderLine(s_));
    StatisticsRecorder& stats = slow ? slowStats_ : fastStats_;
    stats.setConfig(StatisticsConfigOf(s_));
    stats.startSeries(name, slow ? SlowTypeWord(h.Flags) : FastTypeWord(h.Flags));
    events_.startSeries(slow ? 0 : 1, name, slow ? SlowTypeWord(h.Flags) : FastTypeWord(h.Flags), s_,
                        ps_.KestroState.DevFunction);
    evidence_.startSeries(slow ? 0 : 1, name, slow ? SlowTypeWord(h.Flags) : FastTypeWord(h.Flags), first);
}

void SeriesRecorder::StopSeries(const SampleWindow& buf, int32_t index) {
    if (buf.Empty() || index < 1 || size_t(index) >= RecordFiles.size()) return;
    if (RecordFiles[size_t(index)].Duration == 0.0) UpdateDuration(index, buf);
}

void SeriesRecorder::StopSlowMeasurement() {
    StopSeries(LocalSlowBuffer, SlowFileIndex);
    slowStats_.endSeries();
    events_.endSeries(0);
    evidence_.endSeries(0);
}

void SeriesRecorder::StopFastMeasurement() {
    StopSeries(LocalFastBuffer, FastFileIndex);
    fastStats_.endSeries();
    events_.endSeries(1);
    evidence_.endSeries(1);
}

void SeriesRecorder::EndStatistics() {
    slowStats_.endSeries();
    fastStats_.endSeries();
    const bool marking = events_.spanOpen();
    events_.endRecording();
    if (marking) emit markChanged();
    evidence_.endSeries(0);
    evidence_.endSeries(1);
}
void SeriesRecorder::ResetLocalSlowMeasurementBuffer() { LocalSlowBuffer.Reset(); }
void SeriesRecorder::ResetLocalFastMeasurementBuffer() { LocalFastBuffer.Reset(); }

void SeriesRecorder::UpdateDuration(int32_t index, const SampleWindow& buf) {
    if (index < 1 || size_t(index) >= RecordFiles.size() || buf.Empty()) return;
    // From the stamps' instants: a daylight-saving change is no hour of recording.
    const double d = double(buf[buf.Count()].Instant - buf[0].Instant) / kMsPerDay;
    RecordFileEntry& e = RecordFiles[size_t(index)];
    if (e.Duration == d) return;
    e.Duration = d;
    emit durationChanged(index);
}

}  // namespace kestro
