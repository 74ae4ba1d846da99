#include "statistics/StatisticsRecorder.h"

#include <cmath>
#include <utility>

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
    zone_ = ZoneTimeline(ZoneTimeline::zoneNamed(current_.timeZone));
    seriesOffsetKnown_ = false;
    intervalFresh_ = true;
    engine_.start(typeWord.toStdString(), current_.intervalSeconds, current_.limitTenths);
    if (write_) write_(statPath_, statisticsHeaderLine(current_));
    ++revision_;
}

void StatisticsRecorder::addSample(const MeasurementRecord& r) {
    if (!engine_.running() || r.Flags <= 0) return;
    int32_t h = 0;
    const bool level = sampleHundredths(r, stream_ == Stream::Fast, &h);
    take(r, [&](int64_t ms) {
        if (level)
            engine_.add(ms, h, r.LevelFlags);
        else
            engine_.addSkipped(ms);
    });
    ++revision_;
}

void StatisticsRecorder::take(const MeasurementRecord& r, const std::function<void(int64_t localMs)>& add) {
    const int64_t ms = absoluteMilliseconds(r.SysTime);
    // Whole minutes: the local and the UTC stamp of one moment.
    const auto offsetS = int32_t(std::llround(double(ms - kUnixEpochAbsoluteMs - r.Instant) / 60000.0) * 60);
    if (!std::exchange(seriesOffsetKnown_, true)) seriesOffsetS_ = offsetS;
    auto opened = [&] {
        if (std::exchange(intervalFresh_, false)) intervalOffsetS_ = offsetS;
    };
    opened();
    add(ms);  // may end the interval before this sample's
    opened();
}

void StatisticsRecorder::advanceClock(const SystemTime& now) { engine_.advance(absoluteMilliseconds(now)); }

void StatisticsRecorder::endSeries() {
    if (!engine_.running()) return;
    engine_.finish();
    ++revision_;
}

void StatisticsRecorder::emitResult(const IntervalResult& result) {
    IntervalResult r = result;
    const bool interval = r.kind == ResultKind::Interval;
    r.utcOffsetS = interval ? intervalOffsetS_ : seriesOffsetS_;
    if (interval) {
        intervals_.push_back(r);
        intervalFresh_ = true;
    } else {
        lastSeries_ = r;
    }
    QByteArray row;
    appendStatisticsRow(row, current_, r, &zone_);
    if (write_ && !row.isEmpty()) write_(statPath_, row);
    ++revision_;
    if (onResult) onResult(r);
}

}  // namespace kestro
