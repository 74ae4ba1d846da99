#pragma once
// The noise events of the series being recorded: exceedances of the event
// level, detected on instant levels only (the slow LP series; in LEQ and
// MAX-Hold the fast series when it carries levels, LPF; otherwise none), and
// the spans the user marks. Each series writes its events into the events
// file beside its record file (EventsFile.h) through the record writer, so
// they get the care of the record lines: durable, spooled, rescued.
//
// A marked span runs from one Mark to the next, over every series recorded
// meanwhile (each gets its part, open where the series ended first); ending
// the recording ends it.

#include "settings/RecorderSettings.h"
#include "statistics/NoiseEvents.h"
#include "statistics/StatisticsFile.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <array>
#include <functional>
#include <optional>

namespace kestro {

struct MeasurementRecord;

// An exceedance as every outlet gets it (recording/EventOutputs.h renders it).
struct EventNotice {
    enum class Phase { Started, Ended };
    Phase phase = Phase::Started;
    NoiseEvent event;    // without its context; values so far when it starts
    QString typeWord;    // of the series it was detected on: LP or LPF
    QString recordPath;  // that series' record file
    int32_t levelTenths = 0;
    int64_t count = 0;     // exceedances counted in this run, this one included
    QString serialNumber;  // of the meter, as serialNumberText() gives it
};

class EventRecorder {
public:
    using WriteFn = std::function<void(const QString& path, const QByteArray& bytes)>;

    explicit EventRecorder(WriteFn writeFn);

    // stream 0 slow, 1 fast. function: the meter's, which decides whether the
    // fast levels are the ones to watch.
    void startSeries(int stream, const QString& recordPath, const QString& typeWord, const RecorderSettings& s,
                     int16_t function);
    void addSample(int stream, const MeasurementRecord& r);
    void advanceClock(int64_t utcMs);
    void endSeries(int stream);
    // Recording was disarmed or the program ends: a marked span ends too.
    void endRecording();

    // The user's Mark: begins a span, or ends the one that runs. False while no series runs.
    bool mark(const QString& note, const ClockReading& now);
    bool spanOpen() const { return span_.has_value(); }
    QString spanNote() const { return span_ ? span_->note : QString(); }
    int64_t spanStartLocalMs() const { return span_ ? span_->localMs : 0; }

    bool recording() const;
    // Where the events of a series go; empty when none runs.
    QString eventsPath(int stream) const { return series_[size_t(stream)].eventsPath; }
    // What is watched, for the window and the web page: "slow LP levels above
    // 80.0 dB", or why nothing is ("LEQ values are no instant levels"). The
    // window's text is translated and takes the interface's decimal mark; the
    // web page's never is.
    QString detectionText(bool forWindow = false) const;
    bool detecting() const;
    std::optional<NoiseEvent> running() const;
    // The last exceedance that ended in this run.
    const std::optional<NoiseEvent>& lastEnded() const { return last_; }
    int64_t count() const { return count_; }

    std::function<void(const EventNotice&)> onNotice;

private:
    struct Series {
        EventTracker tracker;
        QString recordPath;
        QString eventsPath;
        QString typeWord;
        StatisticsConfig format;
        bool headerWritten = false;
    };
    struct Span {
        QString note;
        int64_t localMs = 0;
    };
    void writeRows(Series& s, const NoiseEvent& e);
    void notice(const Series& s, EventNotice::Phase phase, const NoiseEvent& e);

    WriteFn write_;
    std::array<Series, 2> series_;
    std::optional<Span> span_;
    int32_t levelTenths_ = 0;
    int64_t count_ = 0;
    std::optional<NoiseEvent> last_;
};

}  // namespace kestro
