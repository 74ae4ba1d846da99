#pragma once
// The statistics of a whole record file: intervals, summary, day levels and
// the time history, read in one pass in constant memory per interval.

#include "statistics/DayLevels.h"
#include "statistics/EventsFile.h"
#include "statistics/IntervalResult.h"
#include "statistics/RecordFileReader.h"
#include "statistics/StatisticsFile.h"
#include "statistics/TimeHistory.h"

#include <QString>
#include <QTimeZone>
#include <functional>
#include <vector>

namespace kestro {

struct RecordAnalysis {
    QString path;
    RecordReadResult read;
    StatisticsConfig config;
    QTimeZone zone;  // of the local times: config.timeZone, or this computer's
    QString typeWord;
    Quantity quantity = Quantity::Level;
    std::vector<IntervalResult> intervals;
    // Clock hours, when the intervals are shorter: a long recording's overview.
    std::vector<IntervalResult> hours;
    IntervalResult summary;       // the whole file as one series
    std::vector<DayLevels> days;  // in zone
    TimeHistory history;
    // The events file beside the record file (EventsFile.h), and the file's
    // statistics without the samples in its marked spans (kind Series; no
    // samples when nothing was marked).
    QString eventsPath;
    EventsFileContent events;
    IntervalResult withoutMarked;
    int64_t markedSamples = 0;

    // Where to resume reading for a span: about one entry per minute of samples.
    struct IndexEntry {
        int64_t localMs = 0;     // of the first sample at offset
        int64_t offset = 0;      // of its line
        int64_t previousMs = 0;  // of the sample before it (INT64_MIN for none)
    };
    std::vector<IndexEntry> index;

    bool ok() const { return read.ok(); }
    // From the first sample to the end of the last one (one cadence after it),
    // without the hours a clock set skipped or repeated.
    int64_t coveredMs() const;
};

using ProgressFn = std::function<bool(int64_t done, int64_t total)>;

// eventsVouchedBytes: of the events file, as ReportEvidence gives it; only
// the marked spans of vouched rows are left out of withoutMarked.
RecordAnalysis analyzeRecordFile(const QString& path, const StatisticsConfig& config,
                                 const ProgressFn& progress = ProgressFn(), int64_t eventsVouchedBytes = -1);

// Statistics of the samples in [fromMs, toMs] of an analysed file, read again
// from the file (only the part of the span; a running Leq from the start, as
// its values need the time since then). The result's kind is Series.
IntervalResult analyzeSpan(const RecordAnalysis& a, int64_t fromMs, int64_t toMs,
                           const ProgressFn& progress = ProgressFn(), bool* ok = nullptr);

}  // namespace kestro
