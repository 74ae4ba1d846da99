// Day levels and interval rows of record files made in a zone with daylight
// saving time, whatever zone reads them, and coverage at its bounds.
#include "StatTestSupport.h"
#include "statistics/RecordAnalysis.h"

#include <gtest/gtest.h>
#include <QDateTime>
#include <QTemporaryDir>
#include <QTimeZone>

#include <vector>

namespace kestro {
namespace {

struct Recording {
    const char* zone;
    int month, day, hour;      // local start, 2026
    int64_t seconds;           // of real time, one sample every 10 s
    int keptPerQuarter = 900;  // the first seconds of each quarter hour that hold samples
    int64_t startOffsetMs = std::numeric_limits<int64_t>::min();
    int32_t interval = 900;
    bool secondShowing = false;  // of a local start the clock shows twice
    int nightStep = 10;          // seconds between samples at night
};

// Day 60, evening 55, night 45 dB, the local clock written as the meter's computer shows it.
RecordAnalysis analyzed(const QTemporaryDir& dir, const Recording& r) {
    const QTimeZone zone(r.zone);
    // The second showing of a Berlin hour is an hour after UTC.
    const QDateTime start = r.secondShowing
                                ? QDateTime(QDate(2026, r.month, r.day), QTime(r.hour - 1, 0), Qt::UTC).toTimeZone(zone)
                                : QDateTime(QDate(2026, r.month, r.day), QTime(r.hour, 0), zone);
    QByteArray bytes;
    for (int64_t s = 0; s < r.seconds;) {
        const QDateTime t = start.addSecs(s);
        const int h = t.time().hour();
        s += h >= 7 && h < 23 ? 10 : r.nightStep;
        if (t.time().minute() % 15 * 60 + t.time().second() >= r.keptPerQuarter) continue;
        const int32_t tenths = h >= 7 && h < 19 ? 600 : h >= 19 && h < 23 ? 550 : 450;
        bytes += recordLine(
            localMs(t.date().year(), t.date().month(), t.date().day(), h, t.time().minute(), t.time().second()),
            tenths);
    }
    const QString path = dir.filePath(start.toString(QStringLiteral("'NoiseData_LP_'yyyyMMdd_hhmmss'.dat'")));
    EXPECT_TRUE(writeBytes(path, bytes));
    StatisticsConfig c;
    c.intervalSeconds = r.interval;
    c.timeZone = r.zone;
    c.startOffsetMs = r.startOffsetMs;
    return analyzeRecordFile(path, c);
}

TEST(DaysOfAZone, DaylightSavingAndCoverage) {
    const QTemporaryDir dir;
    const struct {
        const char* what;
        Recording r;
        std::vector<const char*> days;  // date, hours long, Lden, LAeq,24h
    } cases[] = {
        // (12·10^6 + 4·10^6 + 7·10^5.5) / 23 and (12·10^6 + 4·10^5.5 + 7·10^4.5) / 23
        {"daylight saving time begins", {"Europe/Berlin", 3, 28, 7, 23 * 3600}, {"28 23 h 59.0 57.7"}},
        // the same with 9 h of night over 25 h
        {"daylight saving time ends", {"Europe/Berlin", 10, 24, 7, 25 * 3600}, {"24 25 h 58.8 57.3"}},
        {"ends, hourly intervals",
         {"Europe/Berlin", 10, 24, 7, 25 * 3600, 900, INT64_MIN, 3600},
         {"24 25 h 58.8 57.3"}},
        // (12·10^6 + 4·10^6 + 8·10^5.5) / 24: a night covered 6 of 8 h is enough
        {"six hours of night", {"UTC", 3, 5, 7, 22 * 3600}, {"5 24 h 58.9 57.5"}},
        {"one sample short", {"UTC", 3, 5, 7, 22 * 3600 - 10}, {"5 24 h - (night 74 %) - (night 74 %)"}},
        // Samples twice as dense as the stream's cadence cover no more than their intervals.
        {"4 h of night, densely",
         {"UTC", 3, 5, 7, 20 * 3600, 900, INT64_MIN, 900, false, 5},
         {"5 24 h - (night 50 %) - (night 50 %)"}},
        {"3 min of every quarter hour",
         {"UTC", 3, 5, 7, 24 * 3600, 180},
         {"5 24 h - (day 20 %, evening 20 %, night 20 %) - (day 20 %, evening 20 %, night 20 %)"}},
    };
    for (const auto& c : cases) {
        const RecordAnalysis a = analyzed(dir, c.r);
        std::vector<std::string> got;
        for (const DayLevels& d : a.days)
            got.push_back(
                QStringLiteral("%1 %2 h %3 %4")
                    .arg(systemTimeFromAbsoluteMs(int64_t{d.dayNumber} * 86400000).wDay)
                    .arg(d.lengthMs() / 3600000)
                    .arg(wholeDayText(d, d.lden(), QLatin1Char('.')), wholeDayText(d, d.laeq24(), QLatin1Char('.')))
                    .toStdString());
        EXPECT_EQ(got, std::vector<std::string>(c.days.begin(), c.days.end())) << c.what;
    }
}

TEST(DaysOfAZone, HourlyRowsKeepTheRepeatedHourApart) {
    const QTemporaryDir dir;
    const struct {
        const char* what;
        Recording r;
        std::vector<const char*> rows;  // of 25 October from 00:00: local start, UTC offset in hours, samples
    } cases[] = {
        {"through the change",
         {"Europe/Berlin", 10, 25, 0, 5 * 3600, 900, INT64_MIN, 3600},
         {"00:00 +2 360", "01:00 +2 360", "02:00 +2 360", "02:00 +1 360", "03:00 +1 360"}},
        // The side file's offset says the file began in the second showing.
        {"begun in the repeated hour", {"Europe/Berlin", 10, 25, 2, 3600, 900, 3600000, 3600, true}, {"02:00 +1 360"}},
        {"the first showing unless told",
         {"Europe/Berlin", 10, 25, 2, 3600, 900, INT64_MIN, 3600, true},
         {"02:00 +2 360"}},
    };
    for (const auto& c : cases) {
        const RecordAnalysis a = analyzed(dir, c.r);
        std::vector<std::string> got;
        for (const IntervalResult& i : a.intervals)
            got.push_back(QStringLiteral("%1 %2%3 %4")
                              .arg(localDateTimeText(i.startMs).mid(11, 5))
                              .arg(i.utcOffsetS < 0 ? "-" : "+")
                              .arg(i.utcOffsetS / 3600)
                              .arg(i.samples)
                              .toStdString());
        EXPECT_EQ(got, std::vector<std::string>(c.rows.begin(), c.rows.end())) << c.what;
    }
}

}  // namespace
}  // namespace kestro
