#pragma once
// The events file beside a record file: its name, its lines, and reading it
// back. One row per exceedance or marked span, in the order they were
// completed; the samples around an exceedance follow it as Sample rows.
// Column and decimal separators are those of the record files; the note of a
// marked span is the last column, so a separator inside it reads back whole.

#include "statistics/NoiseEvents.h"
#include "statistics/ReportEvidence.h"
#include "statistics/StatisticsFile.h"

#include <QByteArray>
#include <QString>
#include <utility>
#include <vector>

namespace kestro {

// NoiseData_LP_20260305_140327.dat -> NoiseData_LP_20260305_140327_EVENTS.dat
QString eventsFilePath(const QString& recordPath);

// "Kind;Start;End;Duration;Samples;Lmax;Leq;SEL;State;Note" with CR LF.
QByteArray eventsHeaderLine(const StatisticsConfig& c);
// The row after the header that says what makes an event, in the same
// columns: "Criteria;-;-;<minimum duration>;-;<event level>;-;-;-;event level
// 70,0 dB / minimum duration 10,0 s / hysteresis 2,0 dB". Readers that know
// only the event rows pass over it.
QByteArray eventCriteriaRow(const StatisticsConfig& c, const EventConfig& e);
// The row of e, then (exceedances) a Sample row per sample before and after it.
void appendEventRows(QByteArray& out, const StatisticsConfig& c, const NoiseEvent& e);
// "2026-03-05 14:03:27,250": local time with milliseconds and the decimal separator.
QString eventTimeText(int64_t localMs, QChar decimalSeparator);

struct EventsFileContent {
    bool found = false;
    QString error;  // empty when it was read (a torn last line is skipped)
    std::vector<NoiseEvent> events;
    EventCriteria criteria;              // from the criteria row, when there is one
    std::vector<NoiseEvent> notVouched;  // rows past the vouched bytes: shown apart, used for nothing
};
// vouchedBytes: rows ending within them go into events, later ones into
// notVouched; negative: every row into events.
EventsFileContent readEventsFile(const QString& path, int64_t vouchedBytes = -1);

// The marked spans of events as [start, end) in local ms, sorted and merged.
std::vector<std::pair<int64_t, int64_t>> markedSpans(const std::vector<NoiseEvent>& events);

}  // namespace kestro
