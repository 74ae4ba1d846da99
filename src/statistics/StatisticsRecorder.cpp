#include "statistics/StatisticsRecorder.h"

#include <cmath>

namespace kestro {

bool sampleHundredths(const MeasurementRecord& r, bool fast, int32_t* hundredths) {
    if (!fast) {
        *hundredths = int32_t{r.Level} * 10;
        return true;
    }
    if (!(r.FastLevel > 0.0)) return false;  // also NaN
    const double k = fastHundredthsPerDecade(r.Flags);
    const double x = std::nearbyint(k * std::log10(r.FastLevel));
    // The record line holds 16-bit hundredths; beyond them it has no value either.
    if (!std::isfinite(x) || x < -32768.0 || x > 32767.0) return false;
    *hundredths = static_cast<int32_t>(x);
    return true;
}

StatisticsRecorder::StatisticsRecorder(Stream stream, WriteFn write) : stream_(stream), write_(std::move(write)) {
    engine_.onResult = [this](const IntervalResult& r) {
        emitResult(r);
    };
}

void StatisticsRecorder::startSeries(const QString& recordPath, const QString& typeWord) {
    if (engine_.running()) endSeries();
    current_ = next_;
    recordPath_ = recordPath;
    statPath_ = statisticsFilePath(recordPath);
    intervals_.clear();
    engine_.start(typeWord.toStdString(), current_.intervalSeconds, current_.limitTenths);
    if (write_) write_(statPath_, statisticsHeaderLine(current_));
    ++revision_;
}

void StatisticsRecorder::addSample(const MeasurementRecord& r) {
    if (!engine_.running() || r.Flags <= 0) return;
    const int64_t ms = absoluteMilliseconds(r.SysTime);
    int32_t h = 0;
    if (sampleHundredths(r, stream_ == Stream::Fast, &h))
        engine_.add(ms, h, r.LevelFlags);
    else
        engine_.addSkipped(ms);
    ++revision_;
}

void StatisticsRecorder::advanceClock(const SystemTime& now) { engine_.advance(absoluteMilliseconds(now)); }

void StatisticsRecorder::endSeries() {
    if (!engine_.running()) return;
    engine_.finish();
    ++revision_;
}

void StatisticsRecorder::emitResult(const IntervalResult& r) {
    if (r.kind == ResultKind::Interval)
        intervals_.push_back(r);
    else
        lastSeries_ = r;
    QByteArray row;
    appendStatisticsRow(row, current_, r);
    if (write_ && !row.isEmpty()) write_(statPath_, row);
    ++revision_;
    if (onResult) onResult(r);
}

}  // namespace kestro
