#pragma once
// Statistics of one sample stream while it is recorded: fed with the samples
// as they are handed off to the record files, it keeps the results of the
// current series for a live view and hands the statistics file's bytes to
// the record writer (which makes them as durable as the record lines).

#include "protocol/DeviceCodes.h"
#include "statistics/IntervalEngine.h"
#include "statistics/StatisticsFile.h"

#include <QByteArray>
#include <QString>
#include <functional>
#include <vector>

namespace kestro {

// Level of a sample as its record line holds it, in hundredths of a decibel:
// slow Level times 10; fast 2000 (RAW) or 1000 times log10(FastLevel), rounded
// half to even. False when the sample has no level (no logarithm, out of range).
bool sampleHundredths(const MeasurementRecord& r, bool fast, int32_t* hundredths);

class StatisticsRecorder {
public:
    enum class Stream { Slow, Fast };
    using WriteFn = std::function<void(const QString& path, const QByteArray& bytes)>;

    StatisticsRecorder(Stream stream, WriteFn write);

    // Applies to series started after the call; a running series keeps its settings.
    void setConfig(const StatisticsConfig& c) { next_ = c; }
    const StatisticsConfig& config() const { return next_; }

    // A new series writes to the record file recordPath; a running one is ended first.
    void startSeries(const QString& recordPath, const QString& typeWord);
    // One handed-off sample. Samples with Flags of 0 or below have no record line and are ignored.
    void addSample(const MeasurementRecord& r);
    // The samples of a tick are handed off: an interval that is over is written
    // now, even when no sample after its end has arrived.
    void advanceClock(const SystemTime& now);
    void endSeries();

    Stream stream() const { return stream_; }
    bool active() const { return engine_.running(); }
    QString recordPath() const { return recordPath_; }
    const StatisticsConfig& seriesConfig() const { return current_; }
    const IntervalEngine& engine() const { return engine_; }
    // Completed intervals of the current (or last) series, oldest first.
    const std::vector<IntervalResult>& intervals() const { return intervals_; }
    // The Series result of the last ended series (samples 0 before the first).
    const IntervalResult& lastSeries() const { return lastSeries_; }
    // Counts every change a view may want to show.
    uint64_t revision() const { return revision_; }

    // Also told about every result (after it was written).
    std::function<void(const IntervalResult&)> onResult;

private:
    void emitResult(const IntervalResult& r);
    // A sample of the series, stamped with its UTC offset.
    void take(const MeasurementRecord& r, const std::function<void(int64_t localMs)>& add);

    Stream stream_;
    WriteFn write_;
    StatisticsConfig next_;
    StatisticsConfig current_;
    IntervalEngine engine_;
    QString recordPath_;
    QString statPath_;
    std::vector<IntervalResult> intervals_;
    IntervalResult lastSeries_;
    uint64_t revision_ = 0;
    // The UTC offsets of the first sample of the series and of the open interval, in seconds.
    ZoneTimeline zone_{QTimeZone::systemTimeZone()};
    int32_t seriesOffsetS_ = 0;
    int32_t intervalOffsetS_ = 0;
    bool seriesOffsetKnown_ = false;
    bool intervalFresh_ = true;  // the next sample opens an interval
};

}  // namespace kestro
