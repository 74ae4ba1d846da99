#include "statistics/RecordAnalysis.h"

#include "statistics/IntervalEngine.h"
#include "statistics/LevelAccumulator.h"
#include "statistics/RunningLevels.h"
#include "statistics/ZoneTimeline.h"

#include <algorithm>
#include <limits>
#include <utility>

namespace kestro {

namespace {
constexpr int64_t kIndexStepMs = 60000;
constexpr int64_t kNoTime = std::numeric_limits<int64_t>::min();
}  // namespace

int64_t RecordAnalysis::coveredMs() const { return read.coveredMs; }

RecordAnalysis analyzeRecordFile(const QString& path, const StatisticsConfig& config, const ProgressFn& progress,
                                 int64_t eventsVouchedBytes) {
    RecordAnalysis a;
    a.path = path;
    a.config = config;
    const RecordFileName name = parseRecordFileName(path);
    a.typeWord = name.valid ? name.typeWord : QStringLiteral("UnknownType");
    a.quantity = quantityOfType(a.typeWord.toStdString());

    // The engine counts on a steady clock (UTC at the first sample's offset),
    // so intervals are cut on instants: a repeated hour stays apart, a skipped
    // one is not there. Results are labelled with the local clock again.
    ZoneTimeline zone(ZoneTimeline::zoneNamed(config.timeZone));
    a.zone = zone.zone();
    int64_t lastUtc = ZoneTimeline::kNone, steadyShift = ZoneTimeline::kNone;
    auto steady = [&](int64_t localMs) {
        const int64_t utc = zone.instantOf(localMs, lastUtc,
                                           lastUtc == ZoneTimeline::kNone ? config.startOffsetMs : ZoneTimeline::kNone);
        if (steadyShift == ZoneTimeline::kNone) steadyShift = localMs - utc;
        lastUtc = utc;
        return utc + steadyShift;
    };
    auto labelled = [&](IntervalResult r) {
        const int64_t utc = r.startMs - steadyShift, length = r.endMs - r.startMs;
        r.utcOffsetS = int32_t(zone.offsetAt(utc) / 1000);
        r.startMs = zone.localOf(utc);
        r.endMs = r.startMs + length;
        return r;
    };
    IntervalEngine engine;
    engine.onResult = [&](const IntervalResult& r) {
        if (r.kind == ResultKind::Interval)
            a.intervals.push_back(labelled(r));
        else
            a.summary = labelled(r);
    };
    engine.onHour = [&](const IntervalResult& r) {
        a.hours.push_back(labelled(r));
    };
    engine.start(a.typeWord.toStdString(), config.intervalSeconds, config.limitTenths);
    a.eventsPath = eventsFilePath(path);
    a.events = readEventsFile(a.eventsPath, eventsVouchedBytes);
    const std::vector<std::pair<int64_t, int64_t>> spans = markedSpans(a.events.events);
    // What is left outside the marked spans: the levels, or a running Leq's steps.
    LevelAccumulator kept;
    RunningIntegrator integrator(isFastTypeWord(a.typeWord) ? 1 : 10);
    RunningSum keptSteps, stretch;  // a span cuts the steps: the reading errors at its edges add up
    int32_t keptLast = 0;
    auto marked = [&spans](int64_t ms) {
        auto it = std::upper_bound(spans.begin(), spans.end(), std::pair{ms, INT64_MAX});
        return it != spans.begin() && ms < std::prev(it)->second;
    };
    int64_t prevMs = kNoTime;
    int64_t nextIndexMs = kNoTime;
    RecordReadOptions options;
    options.progress = progress;
    options.singleFlagColumn = config.singleFlagColumn;
    a.read = readRecordFile(
        path,
        [&](const RecordSample& s, int64_t offset) {
            // A span is read again from an entry; an estimated instant depends on the lines before it.
            if ((nextIndexMs == kNoTime || s.localMs >= nextIndexMs) && (!s.estimated || a.index.empty())) {
                a.index.push_back({s.localMs, offset, prevMs});
                nextIndexMs = s.localMs + kIndexStepMs;
            }
            if (s.valued) {
                engine.add(steady(s.localMs), s.hundredths, s.levelFlags, s.estimated);
                a.history.add(s.localMs, s.hundredths);
                if (!spans.empty()) {
                    RunningIntegrator::Step step;
                    if (a.quantity == Quantity::RunningLeq) step = integrator.add(s.localMs, s.hundredths);
                    if (marked(s.localMs)) {
                        ++a.markedSamples;
                        keptSteps.append(std::exchange(stretch, RunningSum()));
                    } else {
                        kept.add(s.hundredths, s.levelFlags);
                        stretch.add(step);
                        keptLast = s.hundredths;
                    }
                }
            } else {
                engine.addSkipped(steady(s.localMs));
            }
            prevMs = s.localMs;
        },
        options);
    engine.finish();
    if (!a.read.ok()) return a;
    if (!spans.empty()) {
        keptSteps.append(stretch);
        IntervalResult& w = a.withoutMarked;
        kept.fill(w, config.limitTenths);
        w.typeWord = a.typeWord.toStdString();
        w.quantity = a.quantity;
        keepWhatTheQuantityGives(w, keptSteps, keptLast);
        w.kind = ResultKind::Series;
    }
    if (a.summary.samples == 0) {
        a.summary.typeWord = a.typeWord.toStdString();
        a.summary.quantity = a.quantity;
        a.summary.kind = ResultKind::Series;
        a.summary.skipped = a.read.skipped;
    }
    a.days = computeDayLevels(a.intervals, config.periods, a.zone, a.read.cadenceMs,
                              int64_t{engine.intervalSeconds()} * 1000);
    return a;
}

IntervalResult analyzeSpan(const RecordAnalysis& a, int64_t fromMs, int64_t toMs, const ProgressFn& progress,
                           bool* ok) {
    if (toMs < fromMs) std::swap(fromMs, toMs);
    RecordReadOptions options;
    const bool running = a.quantity == Quantity::RunningLeq;
    // The last index entry at or before the span (the index follows the file order).
    for (const RecordAnalysis::IndexEntry& e : a.index) {
        if (running || e.localMs > fromMs) break;
        options.startOffset = e.offset;
        options.previousMs = e.previousMs;
    }
    options.stopAfterMs = toMs;
    options.progress = progress;
    options.singleFlagColumn = a.config.singleFlagColumn;
    LevelAccumulator acc;
    RunningIntegrator integrator(a.read.fast ? 1 : 10);
    RunningSum sum;
    int32_t last = 0;
    int64_t first = kNoTime, lastMs = kNoTime, estimated = 0;
    const RecordReadResult rr = readRecordFile(
        a.path,
        [&](const RecordSample& s, int64_t) {
            RunningIntegrator::Step step;
            if (running && s.valued) step = integrator.add(s.localMs, s.hundredths);
            if (s.localMs < fromMs || s.localMs > toMs) return;
            if (first == kNoTime) first = s.localMs;
            lastMs = s.localMs;
            estimated += s.estimated ? 1 : 0;
            if (!s.valued) {
                acc.addSkipped();
                return;
            }
            acc.add(s.hundredths, s.levelFlags);
            sum.add(step);
            last = s.hundredths;
        },
        options);
    if (ok) *ok = rr.ok();
    IntervalResult r;
    acc.fill(r, a.config.limitTenths);
    r.typeWord = a.typeWord.toStdString();
    r.quantity = a.quantity;
    keepWhatTheQuantityGives(r, sum, last);
    r.kind = ResultKind::Series;
    r.startMs = first == kNoTime ? fromMs : first;
    r.endMs = lastMs == kNoTime ? toMs : lastMs;
    r.estimated = estimated;
    return r;
}

}  // namespace kestro
