#include "recording/SeriesRecorder.h"

#include "recording/RecordFormat.h"
#include "shell/EventLog.h"
#include "shell/FileTitle.h"
#include "statistics/EventsFile.h"
#include "statistics/StatisticsFile.h"

#include <QFileInfo>

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

StatisticsConfig statisticsConfigOf(const RecorderSettings& s) {
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

SeriesRecorder::SeriesRecorder(const KestroStateRecord& device, const RecorderSettings& settings, const Clock& clock,
                               const EventLog& log, QObject* parent)
    : QObject(parent),
      device_(device),
      s_(settings),
      clock_(clock),
      log_(log),
      writer_(std::make_unique<RecordWriter>()),
      slowStats_(StatisticsRecorder::Stream::Slow,
                 [this](const QString& path, const QByteArray& bytes) { writeRecordBatch(path, bytes); }),
      fastStats_(StatisticsRecorder::Stream::Fast,
                 [this](const QString& path, const QByteArray& bytes) { writeRecordBatch(path, bytes); }),
      events_([this](const QString& path, const QByteArray& bytes) { writeRecordBatch(path, bytes); }),
      evidence_(
          device, settings, clock, [this](const QString& path) { return writer_->heldBytes(path); },
          [this](const QString& path, const QByteArray& bytes) { writeRecordBatch(path, bytes); }) {
    slowStats_.onResult = [this](const IntervalResult& r) {
        emit statisticsResult(Stream::Slow, r);
    };
    fastStats_.onResult = [this](const IntervalResult& r) {
        emit statisticsResult(Stream::Fast, r);
    };
    events_.onNotice = [this](EventNotice n) {
        n.serialNumber = QString::fromStdString(serialNumberText(device_));
        emit noiseEvent(n);
    };
}

bool SeriesRecorder::mark(const QString& note, const ClockReading& at) {
    if (!events_.mark(note, at)) return false;
    emit markChanged();
    return true;
}

SeriesRecorder::~SeriesRecorder() = default;

void SeriesRecorder::setStateDirectory(const QString& stateDir, RecordWriter::OpenFn open) {
    stateDir_ = stateDir;
    auto next = std::make_unique<RecordWriter>(stateDir.isEmpty() ? QString() : stateDir + QStringLiteral("/spool"),
                                               std::move(open));
    if (monotonic_) next->setMonotonic(monotonic_);
    logRecovered(next->recoverLeftovers(rescueDirectory()));
    // Called before recording starts; a writer that already holds lines keeps them.
    if (writer_->heldBytes() == 0) writer_ = std::move(next);
    QString why;
    evidence_.setStationKey(stateDir.isEmpty() ? nullptr : StationKey::loadOrCreate(stateDir, &why));
    if (!why.isEmpty())
        log_.WriteLog(log_.dateTimeText() + kWriterLabel +
                      QStringLiteral("the station key cannot be used (%1): side files are closed unsigned").arg(why));
}

void SeriesRecorder::setMonotonic(RecordWriter::MonotonicFn now) {
    monotonic_ = std::move(now);
    writer_->setMonotonic(monotonic_);
}

void SeriesRecorder::recoverSpoolsOf(const QString& spoolDir) {
    if (!QFileInfo::exists(spoolDir)) return;
    logRecovered(RecordWriter(spoolDir).recoverLeftovers(rescueDirectory()));
}

void SeriesRecorder::logRecovered(const std::vector<RecordWriter::Rescued>& rescued) const {
    for (const RecordWriter::Rescued& r : rescued)
        log_.WriteLog(log_.dateTimeText() + kWriterLabel +
                      QStringLiteral("%1 lines left waiting for %2 by an earlier run were saved in %3")
                          .arg(r.lines)
                          .arg(r.target, r.savedTo));
}

QString SeriesRecorder::rescueDirectory() const {
    return stateDir_.isEmpty() ? QString() : stateDir_ + QStringLiteral("/rescued");
}

QString SeriesRecorder::recordErrorText() const { return errorText_; }
bool SeriesRecorder::hasHeldLines() const { return !writer_->heldPaths().isEmpty(); }

size_t SeriesRecorder::retainedBytes() const {
    return LocalSlowBuffer.retainedBytes() + LocalFastBuffer.retainedBytes() +
           RecordFiles.capacity() * sizeof(RecordFileEntry);
}

void SeriesRecorder::logTick(int32_t err) const { log_.logError(kTickLabel, err); }

// ---------------------------------------------------------------- writing

void SeriesRecorder::writeRecordBatch(const QString& path, const QByteArray& bytes) {
    const WriteOutcome o = writer_->append(path, bytes);
    if (o.restarted) {
        log_.WriteLog(log_.dateTimeText() + kWriterLabel +
                      QStringLiteral("%1 was gone and is begun again with its header; the lines before are in the "
                                     "file of that name that went with its folder")
                          .arg(path));
    }
    if (!o.lostSpool.isEmpty())
        log_.WriteLog(log_.dateTimeText() + kWriterLabel +
                      QStringLiteral("the spool file %1 was removed or changed by someone else: the %2 lines for %3 "
                                     "that waited in it are lost")
                          .arg(o.lostSpool)
                          .arg(o.lostSpoolLines)
                          .arg(path));
    auto it = std::find_if(errors_.begin(), errors_.end(), [&](const FileError& e) { return e.path == path; });
    if (o.ok() && o.droppedLines == 0) {
        if (it != errors_.end()) {
            if (it->droppedLines > 0)
                log_.WriteLog(log_.dateTimeText() + kWriterLabel +
                              QStringLiteral("%1 lines for %2 were dropped: neither the file nor the spool could "
                                             "take them")
                                  .arg(it->droppedLines)
                                  .arg(path));
            errors_.erase(it);
            // Mended: the folder may be a new one, which needs the side file too.
            evidence_.fileBack(path, o.restarted);
        } else if (o.restarted) {
            evidence_.fileBack(path, true);
        }
    } else {
        ++recordErrors_;
        const int64_t now = clock_.read().utcMs;
        FileError e{path, QString(), o.ok() ? kErrDiskFull : o.err, now, o.droppedLines};
        bool log = true;
        if (it != errors_.end()) {
            log = it->err != e.err || now - it->loggedMs >= kRepeatLogMs || now < it->loggedMs;
            if (!log) e.loggedMs = it->loggedMs;
            e.droppedLines += it->droppedLines;
            if (it->droppedLines == 0 && e.droppedLines > 0)
                log_.WriteLog(log_.dateTimeText() + kWriterLabel +
                              QStringLiteral("lines for %1 are being dropped: no room left to hold them").arg(path));
            errors_.erase(it);
        }
        if (log) logTick(e.err);
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

void SeriesRecorder::takeCalibration(const std::vector<CalibrationReading>& readings) {
    evidence_.takeCalibration(readings);
}

void SeriesRecorder::tickEvidence() {
    evidence_.tick();
    for (const QString& t : evidence_.takeGivenUp())
        log_.WriteLog(log_.dateTimeText() + kWriterLabel + t);
}

void SeriesRecorder::followRecordDirectory() {
    if (s_.RecordDirectory.isEmpty()) return;
    // Spelled as the record files' paths are (recordFilePath), not cleaned: the same folder is no other.
    QString dir = s_.RecordDirectory;
    if (dir.endsWith(QLatin1Char('/'))) dir.chop(1);
    auto dirOf = [](const QString& p) {
        return p.left(p.lastIndexOf(QLatin1Char('/')));
    };
    auto into = [&](const QString& p) {
        return dir + QLatin1Char('/') + p.mid(p.lastIndexOf(QLatin1Char('/')) + 1);
    };
    const QStringList held = writer_->heldPaths();
    for (const QString& p : held) {
        if (dirOf(p) == dir) continue;
        EvidenceTrail::Files f;
        if (!evidence_.filesOf(p, &f)) {
            if (p == calibrationLogPath(dirOf(p)) && writer_->retarget(p, into(p), calibrationLogHeader()))
                moveErrors(p, into(p));
            continue;
        }
        // A series whose record file was complete before its folder went stays with it, as does one still recorded.
        if ((f.record != p && !held.contains(f.record)) || !f.ended) continue;
        if (!writer_->retarget(f.record, into(f.record))) continue;
        moveErrors(f.record, into(f.record));
        for (const QString& q : {f.stat, f.events})
            if (held.contains(q) && writer_->retarget(q, into(q))) moveErrors(q, into(q));
        evidence_.moveSeries(f.record, dir);
        log_.WriteLog(log_.dateTimeText() + kWriterLabel +
                      QStringLiteral("the lines waiting for %1 go to %2 in the record directory chosen anew")
                          .arg(f.record, into(f.record)));
    }
}

void SeriesRecorder::moveErrors(const QString& from, const QString& to) {
    // The failure stays shown until the file it now waits for is written.
    for (FileError& e : errors_)
        if (e.path == from) e.path = to;
}

void SeriesRecorder::retryHeldLines() {
    writer_->startTick();
    followRecordDirectory();
    for (const QString& p : writer_->heldPaths() + writer_->dueUnsyncedPaths())
        writeRecordBatch(p, QByteArray());
}

QStringList SeriesRecorder::rescueHeldLines() {
    followRecordDirectory();
    QStringList texts;
    const std::vector<RecordWriter::Rescued> rescued = writer_->rescue(rescueDirectory());
    for (const RecordWriter::Rescued& r : rescued) {
        if (r.lines > 0)
            texts << QStringLiteral("%1 lines could not be written to %2 and were saved in %3")
                         .arg(r.lines)
                         .arg(r.target, r.savedTo);
        if (r.lostLines > 0)
            texts << QStringLiteral("%1 lines could not be written to %2 and are lost").arg(r.lostLines).arg(r.target);
    }
    // Only files whose every line reached them are closed with their hashes.
    texts += evidence_.finish(rescued, rescueDirectory());
    for (const QString& t : texts)
        log_.WriteLog(log_.dateTimeText() + kWriterLabel + t);
    return texts;
}

// ---------------------------------------------------------------- hand-off

void SeriesRecorder::takeSamples(const Batch& slow, const Batch& fast) {
    writer_->startTick();
    followRecordDirectory();
    takeSlow(slow);
    takeFast(fast);
    // An interval that is over is written now, even when no later sample came.
    const SystemTime now = clock_.now();
    slowStats_.advanceClock(now);
    fastStats_.advanceClock(now);
    events_.advanceClock(clock_.read().utcMs);
    // Files not written this tick that still hold lines (an earlier series,
    // a fast file without new samples).
    for (const QString& p : writer_->heldPaths() + writer_->dueUnsyncedPaths())
        if (p != SlowFileName && p != FastFileName) writeRecordBatch(p, QByteArray());
}

void SeriesRecorder::takeFastSamples(const Batch& fast) {
    writer_->startTick();
    takeFast(fast);
}

void SeriesRecorder::takeSlow(const Batch& taken) {
    QByteArray batch;
    for (const SampleSeries::Entry& e : taken) {
        if (LastSlowRecordNo < e.RecordNo) {
            // The rest of the old series goes to its own file first.
            if (!batch.isEmpty()) writeRecordBatch(SlowFileName, batch);
            batch.clear();
            if (LastSlowRecordNo != 0) StopSlowMeasurement();
            LastSlowRecordNo = e.RecordNo;
            startSeries(Stream::Slow, e.Sample);
            emit slowSeriesStarted();
        }
        LocalSlowBuffer.push(e.Sample);
        if (e.Sample.Flags > 0) {
            emit slowSample(LocalSlowBuffer.count());
            appendSlowLine(batch, s_, e.Sample);
            evidence_.sampleWritten(0, e.Sample);
            ++slowWritten_;
            slowStats_.addSample(e.Sample);
            events_.addSample(0, e.Sample);
        }
    }
    if (!taken.empty()) updateDuration(SlowFileIndex, LocalSlowBuffer);
    // Also without samples: the file of a new series exists from its first tick.
    writeRecordBatch(SlowFileName, batch);
    LocalSlowBuffer.dropOlderThan(slowRetentionMs_);
}

void SeriesRecorder::takeFast(const Batch& taken) {
    if (taken.empty()) return;
    QByteArray batch;
    for (const SampleSeries::Entry& e : taken) {
        if (LastFastRecordNo < e.RecordNo) {
            if (!batch.isEmpty()) {
                updateDuration(FastFileIndex, LocalFastBuffer);
                writeRecordBatch(FastFileName, batch);
            }
            batch.clear();
            if (LastFastRecordNo != 0) StopFastMeasurement();
            LastFastRecordNo = e.RecordNo;
            startSeries(Stream::Fast, e.Sample);
        }
        LocalFastBuffer.push(e.Sample);
        if (e.Sample.Flags > 0) {
            if (const int32_t err = appendFastLine(batch, s_, e.Sample)) logTick(err);
            evidence_.sampleWritten(1, e.Sample);
            ++fastWritten_;
            fastStats_.addSample(e.Sample);
            events_.addSample(1, e.Sample);
        }
    }
    updateDuration(FastFileIndex, LocalFastBuffer);
    writeRecordBatch(FastFileName, batch);
    // Only the newest fast sample is ever looked at again (durations).
    LocalFastBuffer.dropBefore(LocalFastBuffer.count());
}

// ---------------------------------------------------------------- series

void SeriesRecorder::startSeries(Stream s, const MeasurementRecord& first) {
    const bool slow = s == Stream::Slow;
    SampleWindow& local = slow ? LocalSlowBuffer : LocalFastBuffer;
    if (slow)
        ResetLocalSlowMeasurementBuffer();
    else
        ResetLocalFastMeasurementBuffer();
    local.setHeader(SampleSeries::headerOf(first, !slow));
    const MeasurementRecord& h = local[0];

    RecordFileEntry e;
    // Named and started by the first line, not by the tick: lines are dated
    // back, and fast values wait for the first level (also across midnight).
    e.FileName = recordFilePath(s_, slow ? slowTypeWord(h.Flags) : fastTypeWord(h.Flags), first.SysTime);
    e.FileTitle = FileTitle(e.FileName);
    e.Start = dateFromSystemTime(first.SysTime);
    e.Duration = 0.0;
    e.Kind = s;
    RecordFiles.push_back(std::move(e));
    const auto index = static_cast<int32_t>(RecordFiles.size() - 1);
    (slow ? SlowFileIndex : FastFileIndex) = index;
    emit seriesStarted(index);
    QString& name = slow ? SlowFileName : FastFileName;
    name = RecordFiles.back().FileName;
    // A file begun again after its folder went starts like the first one.
    const StatisticsConfig config = statisticsConfigOf(s_);
    writer_->setHead(statisticsFilePath(name), statisticsHeaderLine(config));
    writer_->setHead(eventsFilePath(name), eventsHeaderLine(config));
    if (s_.IncludeHeaderLine) {
        writer_->setHead(name, headerLine(s_));
        writeRecordBatch(name, headerLine(s_));
    }
    StatisticsRecorder& stats = slow ? slowStats_ : fastStats_;
    stats.setConfig(config);
    stats.startSeries(name, slow ? slowTypeWord(h.Flags) : fastTypeWord(h.Flags));
    events_.startSeries(slow ? 0 : 1, name, slow ? slowTypeWord(h.Flags) : fastTypeWord(h.Flags), s_,
                        device_.DevFunction);
    evidence_.startSeries(slow ? 0 : 1, name, slow ? slowTypeWord(h.Flags) : fastTypeWord(h.Flags), first);
}

void SeriesRecorder::forgetHeads(const QString& name) {
    if (name.isEmpty()) return;
    for (const QString& path : {name, statisticsFilePath(name), eventsFilePath(name)})
        writer_->forgetHead(path);
}

void SeriesRecorder::stopSeries(const SampleWindow& buf, int32_t index) {
    if (buf.empty() || index < 1 || size_t(index) >= RecordFiles.size()) return;
    if (RecordFiles[size_t(index)].Duration == 0.0) updateDuration(index, buf);
}

void SeriesRecorder::StopSlowMeasurement() {
    stopSeries(LocalSlowBuffer, SlowFileIndex);
    slowStats_.endSeries();
    events_.endSeries(0);
    evidence_.endSeries(0);
    forgetHeads(SlowFileName);
}

void SeriesRecorder::StopFastMeasurement() {
    stopSeries(LocalFastBuffer, FastFileIndex);
    fastStats_.endSeries();
    events_.endSeries(1);
    evidence_.endSeries(1);
    forgetHeads(FastFileName);
}

void SeriesRecorder::endStatistics() {
    slowStats_.endSeries();
    fastStats_.endSeries();
    const bool marking = events_.spanOpen();
    events_.endRecording();
    if (marking) emit markChanged();
    evidence_.endSeries(0);
    evidence_.endSeries(1);
    forgetHeads(SlowFileName);
    forgetHeads(FastFileName);
}
void SeriesRecorder::ResetLocalSlowMeasurementBuffer() { LocalSlowBuffer.reset(); }
void SeriesRecorder::ResetLocalFastMeasurementBuffer() { LocalFastBuffer.reset(); }

void SeriesRecorder::updateDuration(int32_t index, const SampleWindow& buf) {
    if (index < 1 || size_t(index) >= RecordFiles.size() || buf.empty()) return;
    // From the stamps' instants: a daylight-saving change is no hour of recording.
    const double d = double(buf[buf.count()].Instant - buf[0].Instant) / kMsPerDay;
    RecordFileEntry& e = RecordFiles[size_t(index)];
    if (e.Duration == d) return;
    e.Duration = d;
    emit durationChanged(index);
}

}  // namespace kestro
