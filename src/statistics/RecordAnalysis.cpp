#include "statistics/RecordAnalysis.h"

#include "statistics/IntervalEngine.h"
#include "statistics/LevelAccumulator.h"

#include <algorithm>
#include <limits>

namespace kestro {

namespace {
constexpr int64_t kIndexStepMs = 60000;
constexpr int64_t kNoTime = std::numeric_limits<int64_t>::min();
}  // namespace

RecordAnalysis AnalyzeRecordFile(const QString& path, const StatisticsConfig& config, const ProgressFn& progress) {
    RecordAnalysis a;
    a.path = path;
    a.config = config;
    const RecordFileName name = ParseRecordFileName(path);
    a.typeWord = name.valid ? name.typeWord : QStringLiteral("UnknownType");

    IntervalEngine engine;
    engine.onResult = [&](const IntervalResult& r) {
        if (r.kind == ResultKind::Interval)
            a.intervals.push_back(r);
        else
            a.summary = r;
    };
    engine.start(a.typeWord.toStdString(), config.intervalSeconds, config.limitTenths);
    int64_t prevMs = kNoTime;
    int64_t nextIndexMs = kNoTime;
    RecordReadOptions options;
    options.progress = progress;
    a.read = ReadRecordFile(
        path,
        [&](const RecordSample& s, int64_t offset) {
            if (nextIndexMs == kNoTime || s.localMs >= nextIndexMs) {
                a.index.push_back({s.localMs, offset, prevMs});
                nextIndexMs = s.localMs + kIndexStepMs;
            }
            if (s.valued) {
                engine.add(s.localMs, s.hundredths, s.levelFlags);
                a.history.add(s.localMs, s.hundredths);
            } else {
                engine.addSkipped(s.localMs);
            }
            prevMs = s.localMs;
        },
        options);
    engine.finish();
    if (!a.read.ok()) return a;
    if (a.summary.samples == 0) {
        a.summary.typeWord = a.typeWord.toStdString();
        a.summary.kind = ResultKind::Series;
        a.summary.skipped = a.read.skipped;
    }
    a.days = ComputeDayLevels(a.intervals);
    return a;
}

IntervalResult AnalyzeSpan(const RecordAnalysis& a, int64_t fromMs, int64_t toMs, const ProgressFn& progress,
                           bool* ok) {
    if (toMs < fromMs) std::swap(fromMs, toMs);
    RecordReadOptions options;
    // The last index entry at or before the span (the index follows the file order).
    for (const RecordAnalysis::IndexEntry& e : a.index) {
        if (e.localMs > fromMs) break;
        options.startOffset = e.offset;
        options.previousMs = e.previousMs;
    }
    options.stopAfterMs = toMs;
    options.progress = progress;
    LevelAccumulator acc;
    int64_t first = kNoTime, last = kNoTime;
    const RecordReadResult rr = ReadRecordFile(
        a.path,
        [&](const RecordSample& s, int64_t) {
            if (s.localMs < fromMs || s.localMs > toMs) return;
            if (first == kNoTime) first = s.localMs;
            last = s.localMs;
            if (s.valued)
                acc.add(s.hundredths, s.levelFlags);
            else
                acc.addSkipped();
        },
        options);
    if (ok) *ok = rr.ok();
    IntervalResult r;
    r.typeWord = a.typeWord.toStdString();
    r.kind = ResultKind::Series;
    r.startMs = first == kNoTime ? fromMs : first;
    r.endMs = last == kNoTime ? toMs : last;
    acc.fill(r, a.config.limitTenths);
    return r;
}

}  // namespace kestro
