#include "remote/StationTime.h"
#include "support/ManualClock.h"

#include <gtest/gtest.h>

using namespace kestro;

namespace {

int64_t local(int y, int mo, int d, int h, int mi, int s = 0, int ms = 0) {
    return absoluteMilliseconds(
        SystemTime{int16_t(y), int16_t(mo), 0, int16_t(d), int16_t(h), int16_t(mi), int16_t(s), int16_t(ms)});
}

// Local times around a daylight-saving change get the offset in force when
// they were read, as long as the change is the last one seen.
TEST(StationTime, LocalTimesAroundADaylightSavingChange) {
    struct Case {
        const char* what;
        int before, after;                       // offsets in minutes
        int64_t changeLocal, nowAfterMs, local;  // the change's local time (old offset), "now" after it, time asked
        int expected;
    };
    const int64_t spring = local(2026, 3, 29, 2, 0);   // 02:00 CET -> 03:00 CEST
    const int64_t autumn = local(2026, 10, 25, 3, 0);  // 03:00 CEST -> 02:00 CET
    const Case rows[] = {
        {"spring: the interval that ended at the change", 60, 120, spring, 1000, local(2026, 3, 29, 1, 59, 59), 60},
        {"spring: after the change", 60, 120, spring, 15 * 60000, local(2026, 3, 29, 3, 15), 120},
        {"spring: a week later, an hour ago", 60, 120, spring, 7 * 86400000LL, spring + 7 * 86400000LL, 120},
        {"autumn: the last stamp before the change", 120, 60, autumn, 1000, local(2026, 10, 25, 2, 59, 59), 120},
        {"autumn: the repeated hour, read again", 120, 60, autumn, 30 * 60000, local(2026, 10, 25, 2, 15), 60},
        {"autumn: 02:40 of the first pass, asked at 02:30 of the second", 120, 60, autumn, 30 * 60000,
         local(2026, 10, 25, 2, 40), 120},
        {"autumn: before the repeated hour", 120, 60, autumn, 30 * 60000, local(2026, 10, 25, 1, 30), 120},
        {"autumn: a month later", 120, 60, autumn, 30 * 86400000LL, autumn + 30 * 86400000LL, 60},
    };
    for (const Case& c : rows) {
        SCOPED_TRACE(c.what);
        ManualClock clock;
        clock.setUtcOffsetMinutes(c.before);
        clock.set(systemTimeFromAbsoluteMs(c.changeLocal - 3600000));
        UtcOffsets offsets;
        offsets.observe(clock.read());
        clock.advanceMs(3600000 - 100);
        offsets.observe(clock.read());
        clock.advanceMs(100);
        clock.setUtcOffsetMinutes(c.after);
        offsets.observe(clock.read());
        clock.advanceMs(c.nowAfterMs);
        offsets.observe(clock.read());
        EXPECT_EQ(offsets.currentMinutes(), c.after);
        EXPECT_EQ(offsets.minutesFor(c.local), c.expected);
    }
}

TEST(StationTime, WithoutAChangeEveryTimeHasTheCurrentOffset) {
    ManualClock clock;
    clock.setUtcOffsetMinutes(60);
    UtcOffsets offsets;
    offsets.observe(clock.read());
    EXPECT_EQ(offsets.minutesFor(local(2020, 1, 1, 0, 0)), 60);
    EXPECT_EQ(offsets.isoText(local(2026, 3, 4, 5, 6, 7, 8)).toStdString(), "2026-03-04T05:06:07.008+01:00");
    EXPECT_EQ(offsets.utcOf(absoluteMilliseconds(clock.now())), clock.utcMs());
    // A record file's start as a day count, to the millisecond.
    EXPECT_EQ(offsets.isoTextOfDays(dateFromSystemTime(clock.now())), offsets.isoNow());
}

}  // namespace
