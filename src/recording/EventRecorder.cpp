#include "recording/EventRecorder.h"

#include "protocol/DeviceCodes.h"
#include "recording/EvidenceFiles.h"
#include "recording/SeriesRecorder.h"
#include "statistics/EventsFile.h"
#include "statistics/StatisticsRecorder.h"

#include <QCoreApplication>
#include <cmath>

namespace kestro {

EventRecorder::EventRecorder(WriteFn writeFn) : write_(std::move(writeFn)) {
    for (Series& s : series_) {
        s.tracker.onStarted = [this, &s](const NoiseEvent& e) {
            ++count_;
            notice(s, EventNotice::Phase::Started, e);
        };
        s.tracker.onEnded = [this, &s](const NoiseEvent& e) {
            last_ = e;
            notice(s, EventNotice::Phase::Ended, e);
        };
        s.tracker.onComplete = [this, &s](const NoiseEvent& e) {
            writeRows(s, e);
        };
    }
}

void EventRecorder::startSeries(int stream, const QString& recordPath, const QString& typeWord,
                                const RecorderSettings& settings, int16_t function) {
    Series& s = series_[size_t(stream)];
    if (s.tracker.started()) endSeries(stream);
    s.recordPath = recordPath;
    s.eventsPath = eventsFilePath(recordPath);
    s.typeWord = typeWord;
    s.format = statisticsConfigOf(settings);
    s.headerWritten = false;
    levelTenths_ = settings.EventLevel;
    // Slow Lp levels are the ones to watch; fast levels only where the slow
    // values are running ones (LEQ, MAX-Hold), never twice.
    const bool detect =
        stream == 0 ? typeWord == QLatin1String("LP") : typeWord == QLatin1String("LPF") && function != kFunctionLp;
    s.tracker.start({settings.EventLevel, int64_t{settings.EventMinDuration} * 1000, settings.EventHysteresis}, detect,
                    quantityOfType(typeWord.toStdString()));
    // A watched series says so with its events file from the start.
    if (s.tracker.detecting()) {
        write_(s.eventsPath, eventsHeaderLine(s.format) + eventCriteriaRow(s.format, s.tracker.config()));
        s.headerWritten = true;
    }
    if (span_) s.tracker.beginSpan(0, span_->localMs, span_->note.toStdString());
}

void EventRecorder::addSample(int stream, const MeasurementRecord& r) {
    Series& s = series_[size_t(stream)];
    int32_t hundredths = 0;
    if (!s.tracker.started() || r.Flags <= 0 || !sampleHundredths(r, stream == 1, &hundredths)) return;
    s.tracker.add(r.Instant, absoluteMilliseconds(r.SysTime), hundredths);
}

void EventRecorder::advanceClock(int64_t utcMs) {
    for (Series& s : series_)
        s.tracker.advance(utcMs);
}

void EventRecorder::endSeries(int stream) {
    Series& s = series_[size_t(stream)];
    s.tracker.finish();
    s.eventsPath.clear();
}

void EventRecorder::endRecording() {
    endSeries(0);
    endSeries(1);
    span_.reset();
}

bool EventRecorder::recording() const { return series_[0].tracker.started() || series_[1].tracker.started(); }

bool EventRecorder::mark(const QString& note, const ClockReading& now) {
    if (!recording()) return false;
    const int64_t local = absoluteMilliseconds(now.local);
    for (Series& s : series_) {
        if (!s.tracker.started()) continue;
        if (span_)
            s.tracker.endSpan(now.utcMs, local);
        else
            s.tracker.beginSpan(now.utcMs, local, note.toStdString());
    }
    if (span_)
        span_.reset();
    else
        span_ = Span{note, local};
    return true;
}

bool EventRecorder::detecting() const { return series_[0].tracker.detecting() || series_[1].tracker.detecting(); }

QString EventRecorder::detectionText(bool forWindow) const {
    const auto text = [forWindow](const char* source) {
        return forWindow ? QCoreApplication::translate("kestro::EventRecorder", source) : QString::fromUtf8(source);
    };
    for (const Series& s : series_)
        if (s.tracker.detecting())
            return text(&s == &series_[0] ? QT_TRANSLATE_NOOP("kestro::EventRecorder", "slow %1 levels above %2 dB")
                                          : QT_TRANSLATE_NOOP("kestro::EventRecorder", "fast %1 levels above %2 dB"))
                .arg(s.typeWord, levelText(levelTenths_ / 10.0, forWindow ? shownDecimalPoint() : QLatin1Char('.')));
    if (!recording()) return QString();
    if (levelTenths_ <= 0) return text(QT_TRANSLATE_NOOP("kestro::EventRecorder", "no event level set"));
    const Series& s = series_[0].tracker.started() ? series_[0] : series_[1];
    return text(QT_TRANSLATE_NOOP("kestro::EventRecorder", "%1 values are no instant levels")).arg(s.typeWord);
}

std::optional<NoiseEvent> EventRecorder::running() const {
    for (const Series& s : series_)
        if (auto e = s.tracker.running()) return e;
    return std::nullopt;
}

void EventRecorder::writeRows(Series& s, const NoiseEvent& e) {
    QByteArray bytes;
    if (!s.headerWritten) bytes = eventsHeaderLine(s.format) + eventCriteriaRow(s.format, s.tracker.config());
    s.headerWritten = true;
    appendEventRows(bytes, s.format, e);
    write_(s.eventsPath.isEmpty() ? eventsFilePath(s.recordPath) : s.eventsPath, bytes);
}

void EventRecorder::notice(const Series& s, EventNotice::Phase phase, const NoiseEvent& e) {
    if (!onNotice) return;
    EventNotice n;
    n.phase = phase;
    n.event = e;
    n.event.before.clear();
    n.event.after.clear();
    n.typeWord = s.typeWord;
    n.recordPath = s.recordPath;
    n.levelTenths = levelTenths_;
    n.count = count_;
    onNotice(n);
}

}  // namespace kestro
