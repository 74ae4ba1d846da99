#include "core/Types.h"

#include <cmath>
#include <ctime>

namespace kestro {

namespace {

constexpr int64_t kMsPerDay = 86400000;
// 1970-01-01 counted from 1899-12-30.
constexpr int32_t kUnixEpochDay = 25569;

int64_t floorDiv(int64_t a, int64_t b) {
    int64_t q = a / b;
    if ((a % b != 0) && ((a < 0) != (b < 0))) --q;
    return q;
}

// Days since 1970-01-01 of a proleptic Gregorian date (month already 1..12).
int64_t daysFromCivil(int64_t y, int64_t m, int64_t d) {
    y -= m <= 2;
    const int64_t era = floorDiv(y, 400);
    const int64_t yoe = y - era * 400;
    const int64_t mp = (m + 9) % 12;
    const int64_t doy = (153 * mp + 2) / 5 + d - 1;
    const int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468;
}

void civilFromDays(int64_t z, int64_t& y, int64_t& m, int64_t& d) {
    z += 719468;
    const int64_t era = floorDiv(z, 146097);
    const int64_t doe = z - era * 146097;
    const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const int64_t mp = (5 * doy + 2) / 153;
    d = doy - (153 * mp + 2) / 5 + 1;
    m = mp < 10 ? mp + 3 : mp - 9;
    y = yoe + era * 400 + (m <= 2);
}

int64_t msOfDay64(const SystemTime& t) {
    return int64_t{t.wHour} * 3600000 + int64_t{t.wMinute} * 60000 + int64_t{t.wSecond} * 1000 + t.wMilliseconds;
}

SystemTime fromDayAndMs(int64_t day, int64_t ms) {
    SystemTime t;
    int64_t y = 0, m = 0, d = 0;
    civilFromDays(day - kUnixEpochDay, y, m, d);
    t.wYear = static_cast<int16_t>(y);
    t.wMonth = static_cast<int16_t>(m);
    t.wDay = static_cast<int16_t>(d);
    // 1899-12-30 was a Saturday.
    t.wDayOfWeek = static_cast<int16_t>(((day % 7) + 7 + 6) % 7);
    t.wHour = static_cast<int16_t>(ms / 3600000);
    t.wMinute = static_cast<int16_t>(ms / 60000 % 60);
    t.wSecond = static_cast<int16_t>(ms / 1000 % 60);
    t.wMilliseconds = static_cast<int16_t>(ms % 1000);
    return t;
}

}  // namespace

int32_t dayNumber(int year, int month, int day) {
    // Fold a month outside 1..12 into the year so odd input cannot misbehave.
    int64_t y = year;
    int64_t m0 = int64_t{month} - 1;
    y += floorDiv(m0, 12);
    m0 -= floorDiv(m0, 12) * 12;
    return static_cast<int32_t>(daysFromCivil(y, m0 + 1, day) + kUnixEpochDay);
}

int32_t millisecondsOfDay(const SystemTime& t) { return static_cast<int32_t>(msOfDay64(t)); }

int64_t absoluteMilliseconds(const SystemTime& t) {
    return int64_t{dayNumber(t.wYear, t.wMonth, t.wDay)} * kMsPerDay + msOfDay64(t);
}

SystemTime systemTimeFromAbsoluteMs(int64_t ms) {
    const int64_t day = floorDiv(ms, kMsPerDay);
    return fromDayAndMs(day, ms - day * kMsPerDay);
}

double dateFromSystemTime(const SystemTime& t) {
    const int32_t day = dayNumber(t.wYear, t.wMonth, t.wDay);
    const double frac = static_cast<double>(msOfDay64(t)) / static_cast<double>(kMsPerDay);
    // Before the epoch day the time of day still counts forward (-1.25 is 1899-12-29 06:00).
    return day >= 0 ? day + frac : day - frac;
}

SystemTime systemTimeFromDate(double date) {
    // Beyond about 8000 years the fields no longer fit; such values carry no date.
    if (!std::isfinite(date) || std::fabs(date) > 3.0e6) return SystemTime{};
    const double whole = std::trunc(date);
    int64_t day = static_cast<int64_t>(whole);
    int64_t ms = std::llround(std::fabs(date - whole) * static_cast<double>(kMsPerDay));
    if (ms >= kMsPerDay) {
        ms -= kMsPerDay;
        ++day;
    }
    return fromDayAndMs(day, ms);
}

namespace {

// How far around a reading a stamp may lie: a line read late (its age comes from
// the bytes after it in the same read, at most a full receive buffer) or early.
constexpr time_t kOffsetLookBackS = 60;
constexpr time_t kOffsetLookAheadS = 2;

long offsetOfSecond(time_t s) {
    std::tm tm{};
    localtime_r(&s, &tm);
    return tm.tm_gmtoff;
}

// The first second of the offset found at `to`, when `from` had another one.
time_t offsetChangeBetween(time_t from, time_t to, long before) {
    while (to - from > 1) {
        const time_t mid = from + (to - from) / 2;
        (offsetOfSecond(mid) == before ? from : to) = mid;
    }
    return to;
}

}  // namespace

ClockReading SystemClock::readingAt(int64_t utcMs) {
    const time_t sec = static_cast<time_t>(floorDiv(utcMs, 1000));
    std::tm tm{};
    localtime_r(&sec, &tm);
    ClockReading r;
    SystemTime& t = r.local;
    t.wYear = static_cast<int16_t>(tm.tm_year + 1900);
    t.wMonth = static_cast<int16_t>(tm.tm_mon + 1);
    t.wDayOfWeek = static_cast<int16_t>(tm.tm_wday);
    t.wDay = static_cast<int16_t>(tm.tm_mday);
    t.wHour = static_cast<int16_t>(tm.tm_hour);
    t.wMinute = static_cast<int16_t>(tm.tm_min);
    // A leap second shows as :59 so the field stays in range.
    t.wSecond = static_cast<int16_t>(tm.tm_sec > 59 ? 59 : tm.tm_sec);
    t.wMilliseconds = static_cast<int16_t>(utcMs - int64_t{sec} * 1000);
    r.utcMs = utcMs;
    // Daylight saving changes twice a year: look for one near this reading, so a
    // stamp just across it gets the local time the clock really showed then.
    const long now = tm.tm_gmtoff;
    const long before = offsetOfSecond(sec - kOffsetLookBackS);
    const long after = offsetOfSecond(sec + kOffsetLookAheadS);
    if (before != now) {
        r.offsetChangeUtcMs = int64_t{offsetChangeBetween(sec - kOffsetLookBackS, sec, before)} * 1000;
        r.offsetBeforeMs = int64_t{before} * 1000;
        r.offsetAfterMs = int64_t{now} * 1000;
    } else if (after != now) {
        r.offsetChangeUtcMs = int64_t{offsetChangeBetween(sec, sec + kOffsetLookAheadS, now)} * 1000;
        r.offsetBeforeMs = int64_t{now} * 1000;
        r.offsetAfterMs = int64_t{after} * 1000;
    }
    return r;
}

ClockReading SystemClock::read() const {
    timespec ts{};
    clock_gettime(CLOCK_REALTIME, &ts);
    return readingAt(int64_t{ts.tv_sec} * 1000 + ts.tv_nsec / 1000000);
}

SystemTime ClockReading::localAt(int64_t utc) const {
    if (utc == utcMs) return local;
    int64_t shift = utc - utcMs;
    if (offsetChangeUtcMs != kNoOffsetChange) {
        const int64_t offsetNow = utcMs < offsetChangeUtcMs ? offsetBeforeMs : offsetAfterMs;
        shift += (utc < offsetChangeUtcMs ? offsetBeforeMs : offsetAfterMs) - offsetNow;
    }
    return systemTimeFromAbsoluteMs(absoluteMilliseconds(local) + shift);
}

bool operator==(const SystemTime& a, const SystemTime& b) {
    return a.wYear == b.wYear && a.wMonth == b.wMonth && a.wDayOfWeek == b.wDayOfWeek && a.wDay == b.wDay &&
           a.wHour == b.wHour && a.wMinute == b.wMinute && a.wSecond == b.wSecond && a.wMilliseconds == b.wMilliseconds;
}

}  // namespace kestro
