// Which assessment day and which series a daily report covers, which days a
// start still owes, and the figures its JSON gives.
#include "core/Types.h"
#include "statistics/DailyReport.h"

#include <gtest/gtest.h>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace kestro {
namespace {

int64_t at(int32_t day, int hour, int minute = 0, int64_t ms = 0) {
    return int64_t{day} * 86400000 + (hour * 60 + minute) * 60000 + ms;
}

const int32_t kDay = dayNumber(2026, 3, 9);

TEST(DailyReport, DaysAndTheSeriesTheyCover) {
    struct Case {
        int64_t localMs;
        int startHour;
        int32_t day;
    } cases[] = {{at(kDay, 7), 7, kDay}, {at(kDay, 6, 59, 59999), 7, kDay - 1}, {at(kDay + 1, 6, 59), 7, kDay},
                 {at(kDay, 0), 0, kDay}, {at(kDay, 5, 30), 6, kDay - 1},        {at(-2, 7), 7, -2},
                 {at(-2, 6), 7, -3}};
    for (const Case& c : cases)
        EXPECT_EQ(assessmentDayOf(c.localMs, c.startHour), c.day) << c.localMs << " " << c.startHour;
    // A series across 07:00 counts for both days; one that ends at 06:59:59 for the first alone.
    const DaySeries across{"a", at(kDay, 6, 50), at(kDay, 7, 10)};
    const DaySeries before{"b", at(kDay, 5), at(kDay, 6, 59, 59000)};
    const DaySeries atStart{"c", at(kDay, 7), at(kDay, 8)};
    EXPECT_EQ(seriesOfDay({across, before, atStart}, kDay - 1, 7).size(), 2u);
    EXPECT_EQ(seriesOfDay({across, before, atStart}, kDay, 7).size(), 2u);
    EXPECT_FALSE(seriesTouchesDay(atStart, kDay - 1, 7));
    EXPECT_FALSE(seriesTouchesDay(before, kDay, 7));
}

TEST(DailyReport, MissingDaysAreEndedRecordedAndUnreported) {
    const std::vector<DaySeries> all{{"old", at(kDay - 40, 8), at(kDay - 40, 9)},
                                     {"a", at(kDay - 31, 8), at(kDay - 31, 9)},
                                     {"b", at(kDay - 3, 8), at(kDay - 1, 7, 30)},
                                     {"today", at(kDay, 8), at(kDay, 9)}};
    EXPECT_EQ(missingReportDays(all, {}, kDay, 7), (std::vector<int32_t>{kDay - 31, kDay - 3, kDay - 2, kDay - 1}));
    EXPECT_EQ(missingReportDays(all, {kDay - 2}, kDay, 7), (std::vector<int32_t>{kDay - 31, kDay - 3, kDay - 1}));
    EXPECT_EQ(missingReportDays(all, {}, kDay, 7, 2), (std::vector<int32_t>{kDay - 2, kDay - 1}));
}

TEST(DailyReport, NamesAndDates) {
    EXPECT_EQ(parseDayText(QStringLiteral("2026-03-09")), kDay);
    for (const char* bad : {"2026-02-30", "2026-3-09", "09.03.2026", "2026-03-09x", ""})
        EXPECT_FALSE(parseDayText(QString::fromLatin1(bad))) << bad;
    EXPECT_EQ(dailyReportBaseName(kDay, QStringLiteral("12/34 5")), QStringLiteral("2026-03-09_12_34_5"));
    EXPECT_EQ(dailyReportBaseName(kDay, QString()), QStringLiteral("2026-03-09_unknown"));
    EXPECT_EQ(dailyReportDayOf(QStringLiteral("2026-03-09_12345678.json")), kDay);
    for (const char* other : {"2026-03-09_12345678.pdf", "2026-03-09_.json", "2026-03-09_a.json.tmp", "x.json"})
        EXPECT_FALSE(dailyReportDayOf(QString::fromLatin1(other))) << other;
}

TEST(DailyReport, JsonFigures) {
    DailyReportContent c;
    c.day = kDay;
    c.serial = QStringLiteral("12345678");
    DayLevels d;
    d.dayNumber = kDay;
    // Day 60 dB over 12 h; evening 55 dB over 2 h 59 min 59.9 s of 4 h (74.99 %); night 45 dB over 8 h.
    d.day = {12 * 3600 * 1e6, 12 * 3600, 0, 12 * 3600000, 12 * 3600000};
    d.evening = {10799.9 * 316227.766, 10799.9, 0, 10799900, 4 * 3600000};
    d.night = {8 * 3600 * 31622.7766, 8 * 3600, 0, 8 * 3600000, 8 * 3600000};
    c.levels = d;
    DaySeriesFigures f;
    f.events = 2;
    f.markers = 1;
    f.checksBefore = {{0, 93.9, {}}, {0, 94.0, {}}};
    f.checksAfter = {{0, 94.26, {}}};
    c.series = {f, DaySeriesFigures{}};
    const QJsonObject o = QJsonDocument::fromJson(dailyReportJson(c)).object();
    EXPECT_EQ(o["Ld"]["db"].toDouble(), 60.0);
    EXPECT_EQ(o["Le"]["db"].toDouble(), 55.0);
    EXPECT_EQ(o["Le"]["coverage_percent"].toInt(), 74);  // never three quarters for 74.99 %
    EXPECT_TRUE(o["Lden"].isNull());
    EXPECT_TRUE(o["LAeq24h"].isNull());
    EXPECT_EQ(o["start"].toString(), QStringLiteral("2026-03-09 07:00:00"));
    EXPECT_EQ(o["end"].toString(), QStringLiteral("2026-03-10 07:00:00"));
    EXPECT_EQ(o["events"].toInt(), 2);
    EXPECT_EQ(o["markers"].toInt(), 1);
    EXPECT_EQ(o["series"][0]["drift_db"].toDouble(), 0.3);  // 94.26 after against 94.0, the last before
    EXPECT_TRUE(o["series"][1]["drift_db"].isNull());
    // The evening covered in full: 10 lg((12·10^6 + 4·10^6 + 8·10^5.5) / 24) and without the additions.
    d.evening = {4 * 3600 * 316227.766, 4 * 3600, 0, 4 * 3600000, 4 * 3600000};
    c.levels = d;
    const QJsonObject full = QJsonDocument::fromJson(dailyReportJson(c)).object();
    EXPECT_EQ(full["Lden"].toDouble(), 58.9);
    EXPECT_EQ(full["LAeq24h"].toDouble(), 57.5);
    EXPECT_TRUE(full["complete"].toBool());
    c.levels.reset();
    EXPECT_FALSE(QJsonDocument::fromJson(dailyReportJson(c)).object()["recorded"].toBool());
}

}  // namespace
}  // namespace kestro
