#pragma once
// The statistics file beside each record file: its name and its lines.

#include "core/Types.h"
#include "statistics/DayLevels.h"
#include "statistics/IntervalResult.h"
#include "statistics/ZoneTimeline.h"

#include <QByteArray>
#include <QChar>
#include <QString>
#include <limits>
#include <utility>

namespace kestro {

// The separators and limits a series' statistics are made with.
struct StatisticsConfig {
    int32_t intervalSeconds = 900;
    int32_t limitTenths = 0;  // Leq limit per interval, 0 = none
    QChar decimalSeparator = QLatin1Char(',');
    QChar columnSeparator = QLatin1Char(';');
    DayPeriods periods;  // of the day levels of record files
    // What the one flag column of a record file without a header holds: 4 overflow, 1 underflow.
    int16_t singleFlagColumn = 4;
    // Record files: the IANA zone their local times are of (empty: this
    // computer's) and, where known, the UTC offset at the first sample, which
    // tells the two showings of a repeated hour apart.
    QByteArray timeZone;
    int64_t startOffsetMs = std::numeric_limits<int64_t>::min();
};

// The record file's path with "_STAT" after its time stamp:
// NoiseData_LEQ_20260305_140327.dat -> NoiseData_LEQ_20260305_140327_STAT.dat.
// A name without the record file pattern gets it before its extension.
QString statisticsFilePath(const QString& recordPath);

// "Kind;Start;End;Samples;Leq;...;OverLimit" with CR LF, in Latin-1.
QByteArray statisticsHeaderLine(const StatisticsConfig& c);
// One Interval or Series row with CR LF. Nothing for a result without samples.
// With zone, Start and End as intervalClockTexts gives them.
void appendStatisticsRow(QByteArray& out, const StatisticsConfig& c, const IntervalResult& r,
                         ZoneTimeline* zone = nullptr);

// An interval's start and end as the clock showed them, followed by gap and
// the UTC offset where the clock showed that time twice (the hour when
// daylight saving time ends): "2026-10-25 02:00:00 +01:00". Plain local times
// when r's offset does not fit the zone (an instant that is not known).
std::pair<QString, QString> intervalClockTexts(ZoneTimeline& zone, const IntervalResult& r,
                                               QChar gap = QLatin1Char(' '));

// "YYYY-MM-DD hh:mm:ss" of a local time in milliseconds since 1899-12-30.
QString localDateTimeText(int64_t localMs);
// "2026-03-05T14:03:27.250+01:00": a local time (milliseconds since
// 1899-12-30) with its UTC offset; the one ISO 8601 form of every outlet.
QString isoLocalTime(int64_t localMs, int offsetMinutes);
// The same with the offset of a local time and its instant (UTC milliseconds
// since 1970), rounded to whole minutes.
QString isoTime(int64_t localMs, int64_t utcMs);
inline QString isoTime(const SystemTime& local, int64_t utcMs) { return isoTime(absoluteMilliseconds(local), utcMs); }
// One decimal with the given separator; "-" for no level.
QString levelText(double db, QChar decimalSeparator = QLatin1Char('.'));
// "+02:00": a UTC offset as interval labels and reports show it.
QString utcOffsetText(int64_t offsetMs);
// The decimal mark of the interface's locale: what every window shows, whatever
// separator the files were written with.
QChar shownDecimalPoint();

}  // namespace kestro
