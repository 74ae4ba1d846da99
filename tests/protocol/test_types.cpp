// Date values, clocks and fixed texts.

#include "protocol/Types.h"

#include <gtest/gtest.h>

#include <cmath>
#include <ctime>

namespace kestro {
namespace {

struct DateCase {
    SystemTime t;
    double date;
};

TEST(DateValues, DayCountsFromTheEpochDay) {
    const DateCase cases[] = {
        {{1899, 12, 6, 30, 0, 0, 0, 0}, 0.0},
        {{1900, 1, 1, 1, 0, 0, 0, 0}, 2.0},
        {{2000, 1, 6, 1, 12, 0, 0, 0}, 36526.5},
        {{2024, 2, 4, 29, 6, 0, 0, 0}, 45351.25},
        {{2026, 3, 4, 5, 14, 3, 27, 250}, 46086.0 + (14 * 3600 + 3 * 60 + 27.25) / 86400.0},
        {{1899, 12, 5, 29, 6, 0, 0, 0}, -1.25},  // before the epoch the time still counts forward
        {{1600, 3, 3, 1, 0, 0, 0, 0}, -109511.0},
        {{2026, 12, 4, 31, 23, 59, 59, 999}, 46387.0 + 86399.999 / 86400.0},
    };
    for (const DateCase& c : cases) {
        SCOPED_TRACE(c.date);
        EXPECT_DOUBLE_EQ(DateFromSystemTime(c.t), c.date);
        EXPECT_EQ(SystemTimeFromDate(c.date), c.t);  // weekday included
    }
}

TEST(DateValues, OddInputGivesNoDateInsteadOfGarbage) {
    for (double d : {std::nan(""), double(INFINITY), -double(INFINITY), 1e300}) EXPECT_EQ(SystemTimeFromDate(d), SystemTime{});
    // Rounding up to the next day carries into the date.
    EXPECT_EQ(SystemTimeFromDate(46086.9999999999), (SystemTime{2026, 3, 5, 6, 0, 0, 0, 0}));
}

TEST(DateValues, MillisecondsAndAbsoluteOrder) {
    const SystemTime t{2026, 3, 4, 5, 14, 3, 27, 250};
    EXPECT_EQ(MillisecondsOfDay(t), 14 * 3600000 + 3 * 60000 + 27250);
    const SystemTime next{2026, 3, 5, 6, 0, 0, 0, 1};
    EXPECT_GT(AbsoluteMilliseconds(next), AbsoluteMilliseconds(t));
    EXPECT_EQ(SystemTimeFromAbsoluteMs(AbsoluteMilliseconds(t)), t);
    EXPECT_EQ(DayNumber(2026, 15, 5), DayNumber(2027, 3, 5));  // months fold into years
    EXPECT_EQ(DayNumber(2026, 0, 5), DayNumber(2025, 12, 5));
}

TEST(ManualClockTest, AdvanceCarriesThroughEveryField) {
    struct Case {
        SystemTime from;
        int64_t ms;
        SystemTime to;
    };
    const Case cases[] = {
        {{2026, 12, 4, 31, 23, 59, 59, 999}, 1, {2027, 1, 5, 1, 0, 0, 0, 0}},
        {{2024, 2, 3, 28, 23, 59, 59, 500}, 1000, {2024, 2, 4, 29, 0, 0, 0, 500}},
        {{2023, 2, 2, 28, 12, 0, 0, 0}, 86400000, {2023, 3, 3, 1, 12, 0, 0, 0}},
        {{2026, 3, 0, 1, 0, 0, 0, 0}, -1, {2026, 2, 6, 28, 23, 59, 59, 999}},
        {{2026, 3, 4, 5, 14, 3, 27, 250}, 7LL * 86400000, {2026, 3, 4, 12, 14, 3, 27, 250}},
        {{2026, 3, 4, 5, 14, 3, 27, 250}, 61001, {2026, 3, 4, 5, 14, 4, 28, 251}},
        {{2026, 3, 4, 5, 14, 3, 27, 250}, 1000000000LL, {2026, 3, 2, 17, 3, 50, 7, 250}},
    };
    for (const Case& c : cases) {
        ManualClock clock(c.from);
        clock.AdvanceMs(c.ms);
        EXPECT_EQ(clock.Now(), c.to) << c.ms;
    }
}

TEST(SystemClockTest, AgreesWithTheLibraryClock) {
    const SystemTime t = SystemClock().Now();
    const std::time_t now = std::time(nullptr);
    std::tm tm{};
    localtime_r(&now, &tm);
    std::tm back{};
    back.tm_year = t.wYear - 1900;
    back.tm_mon = t.wMonth - 1;
    back.tm_mday = t.wDay;
    back.tm_hour = t.wHour;
    back.tm_min = t.wMinute;
    back.tm_sec = t.wSecond;
    back.tm_isdst = -1;
    EXPECT_LE(std::fabs(std::difftime(std::mktime(&back), now)), 2.0);
    EXPECT_EQ(t.wDayOfWeek, (SystemTimeFromAbsoluteMs(AbsoluteMilliseconds(t))).wDayOfWeek);
    EXPECT_GE(t.wMilliseconds, 0);
    EXPECT_LE(t.wMilliseconds, 999);
}

TEST(FixedText, PaddedAndCut) {
    const FixedText64 a = MakeFixedText64("V1.23");
    EXPECT_EQ(std::string(a.data(), 5), "V1.23");
    for (size_t i = 5; i < a.size(); ++i) ASSERT_EQ(a[i], ' ');
    EXPECT_EQ(FixedTextToString(a), "V1.23");
    const std::string longText(70, 'x');
    EXPECT_EQ(FixedTextToString(MakeFixedText64(longText)), std::string(64, 'x'));
    EXPECT_EQ(FixedTextToString(MakeFixedText64("")), "");
    EXPECT_EQ(FixedTextToString(FixedText64{}), "");  // never set
    EXPECT_EQ(FixedTextToString(MakeFixedText64(" a b ")), " a b");
}

}  // namespace
}  // namespace kestro
