#include "recording/RecordFormat.h"

#include <gtest/gtest.h>

#include <cmath>

namespace kestro {
namespace {

MeasurementRecord sample(int16_t flags, int h, int m, int sec, int ms, int16_t level, double fast, int16_t levelFlags) {
    MeasurementRecord r;
    r.Flags = flags;
    r.SysTime = SystemTime{2026, 3, 4, 5, int16_t(h), int16_t(m), int16_t(sec), int16_t(ms)};
    r.Timestamp = dateFromSystemTime(r.SysTime);
    r.Level = level;
    r.FastLevel = fast;
    r.LevelFlags = levelFlags;
    return r;
}

TEST(RecordFormat, FileNames) {
    const SystemTime now{2026, 3, 4, 5, 14, 3, 27, 250};
    const struct {
        const char *dir, *base, *ext, *word;
        SystemTime now;
        const char* expected;
    } cases[] = {
        {"/data", "NoiseData", ".dat", "LEQ", now, "/data/NoiseData_LEQ_20260305_140327.dat"},
        {"/data/", "NoiseData", ".dat", "LP", now, "/data/NoiseData_LP_20260305_140327.dat"},
        {"/", "N", ".txt", "RAW", {2027, 12, 5, 31, 23, 59, 59, 999}, "/N_RAW_20271231_235959.txt"},
        {"/d", "", "", "UnknownType", {2026, 1, 4, 2, 0, 0, 0, 0}, "/d/_UnknownType_20260102_000000"},
    };
    for (const auto& c : cases) {
        RecorderSettings s;
        s.RecordDirectory = QString::fromUtf8(c.dir);
        s.RecordNameBase = QString::fromUtf8(c.base);
        s.RecordFileExtension = QString::fromUtf8(c.ext);
        EXPECT_EQ(recordFilePath(s, QString::fromUtf8(c.word), c.now), QString::fromUtf8(c.expected));
    }
}

// One table for header, slow and fast lines: switches, separators, signs and missing values.
TEST(RecordFormat, Lines) {
    enum Kind { Header, Slow, Fast };
    const struct {
        Kind kind;
        MeasurementRecord r;
        char tab, dec;
        bool time, over, under;
        int32_t err;
        const char* expected;
    } cases[] = {
        {Header, {}, ';', ',', true, true, true, 0, "Time;NoiseValue;Overflow;Underflow\r\n"},
        {Header, {}, ';', ',', false, false, false, 0, ";NoiseValue\r\n"},
        {Header, {}, ' ', ',', false, true, false, 0, " NoiseValue Overflow\r\n"},
        {Slow, sample(1, 14, 3, 27, 250, 653, 0, 0), ';', ',', true, true, true, 0, "14:03:27,250; 65,3; 0; 0\r\n"},
        {Slow, sample(1, 14, 3, 28, 250, 48, 0, 5), ';', ',', true, true, true, 0, "14:03:28,250; 4,8; 1; 1\r\n"},
        {Slow, sample(2, 9, 5, 7, 45, 700, 0, 4), ';', ',', true, true, false, 0, "09:05:07,045; 70,0; 1\r\n"},
        {Slow, sample(1, 9, 5, 7, 45, 653, 0, 0), '\t', '.', false, false, false, 0, "\t 65.3\r\n"},
        {Slow, sample(1, 0, 0, 0, 0, 0, 0, 0), ' ', '.', true, false, false, 0, "00:00:00.000  0.0\r\n"},
        {Slow, sample(1, 1, 2, 3, 4, -5, 0, 0), ';', ',', false, false, false, 0, "; -0,5\r\n"},
        {Slow, sample(1, 1, 2, 3, 4, -32768, 0, 0), ';', ',', false, false, false, 0, "; -3276,8\r\n"},
        {Fast, sample(32, 14, 3, 27, 265, 0, std::pow(10.0, 6.5), 4), ';', ',', true, true, true, 0,
         "14:03:27,265; 65,00; 1; 0\r\n"},
        {Fast, sample(16, 9, 5, 7, 45, 0, std::pow(10.0, 6.505), 0), ';', ',', true, false, false, 0,
         "09:05:07,045; 65,05\r\n"},
        {Fast, sample(16, 9, 5, 7, 45, 0, 0.5, 0), ';', '.', true, false, false, 0, "09:05:07.045; -3.01\r\n"},
        {Fast, sample(16, 9, 5, 7, 45, 0, std::pow(10.0, -0.0004), 0), ';', ',', true, false, false, 0,
         "09:05:07,045; 0,00\r\n"},
        {Fast, sample(16, 9, 5, 7, 45, 0, std::pow(10.0, -0.0009), 0), ';', ',', true, false, false, 0,
         "09:05:07,045; -0,01\r\n"},
        // no logarithm: the line keeps its time and flags with an empty value column
        {Fast, sample(16, 9, 5, 7, 45, 0, 0.0, 5), ';', ',', true, true, true, kErrInvalidCall,
         "09:05:07,045;; 1; 1\r\n"},
        {Fast, sample(64, 9, 5, 7, 45, 0, 1e300, 0), ';', ',', true, false, false, kErrOverflow, "09:05:07,045;\r\n"},
    };
    for (const auto& c : cases) {
        RecorderSettings s;
        s.TabularSeparator = QLatin1Char(c.tab);
        s.DecimalSeparator = QLatin1Char(c.dec);
        s.IncludeSystemTime = c.time;
        s.IncludeOverflow = c.over;
        s.IncludeUnderflow = c.under;
        QByteArray out("x");
        if (c.kind == Header) out += headerLine(s);
        if (c.kind == Slow) appendSlowLine(out, s, c.r);
        if (c.kind == Fast) {
            EXPECT_EQ(appendFastLine(out, s, c.r), c.err) << c.expected;
        }
        EXPECT_EQ(out, "x" + QByteArray(c.expected));
    }
}

}  // namespace
}  // namespace kestro
