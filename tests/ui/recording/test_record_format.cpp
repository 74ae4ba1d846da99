#include "ui/recording/RecordFormat.h"

#include "PrintBytes.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace kestro {
namespace {

RecorderSettings AllOn() {
    RecorderSettings s;
    s.IncludeHeaderLine = s.IncludeSystemTime = s.IncludeOverflow = s.IncludeUnderflow = true;
    return s;
}

MeasurementRecord Sample(int16_t flags, int h, int m, int sec, int ms, int16_t level, double fast,
                         int16_t levelFlags) {
    MeasurementRecord r;
    r.Flags = flags;
    r.SysTime = SystemTime{2026, 3, 4, 5, int16_t(h), int16_t(m), int16_t(sec), int16_t(ms)};
    r.Timestamp = DateFromSystemTime(r.SysTime);
    r.Level = level;
    r.FastLevel = fast;
    r.LevelFlags = levelFlags;
    return r;
}

TEST(RecordFormat, TypeWords) {
    struct Case {
        int16_t flags;
        const char* slow;
        const char* fast;
    };
    const Case cases[] = {
        {1, "LP", "UnknownType"},       {2, "LEQ", "UnknownType"},   {4, "MAX", "UnknownType"},
        {3, "UnknownType", "UnknownType"}, {0, "UnknownType", "UnknownType"},
        {16, "UnknownType", "LPF"},     {32, "UnknownType", "LEQF"}, {64, "UnknownType", "RAW"},
        {16 | 2, "LEQ", "LPF"},         {48, "UnknownType", "UnknownType"},
        {int16_t(0x8000 | 64 | 1), "LP", "RAW"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(SlowTypeWord(c.flags), QLatin1String(c.slow)) << c.flags;
        EXPECT_EQ(FastTypeWord(c.flags), QLatin1String(c.fast)) << c.flags;
    }
}

TEST(RecordFormat, FileNames) {
    struct Case {
        const char* dir;
        const char* base;
        const char* ext;
        const char* word;
        SystemTime now;
        const char* expected;
    };
    const Case cases[] = {
        {"/data", "NoiseData", ".dat", "LEQ", {2026, 3, 4, 5, 14, 3, 27, 250},
         "/data/NoiseData_LEQ_20260305_140327.dat"},
        {"/data/", "NoiseData", ".dat", "LP", {2026, 3, 4, 5, 14, 3, 27, 250},
         "/data/NoiseData_LP_20260305_140327.dat"},
        {"/", "N", ".txt", "RAW", {2027, 12, 5, 31, 23, 59, 59, 999}, "/N_RAW_20271231_235959.txt"},
        {"/d", "", "", "UnknownType", {2026, 1, 4, 2, 0, 0, 0, 0}, "/d/_UnknownType_20260102_000000"},
    };
    for (const Case& c : cases) {
        RecorderSettings s;
        s.RecordDirectory = QString::fromUtf8(c.dir);
        s.RecordNameBase = QString::fromUtf8(c.base);
        s.RecordFileExtension = QString::fromUtf8(c.ext);
        EXPECT_EQ(RecordFilePath(s, QString::fromUtf8(c.word), c.now), QString::fromUtf8(c.expected));
    }
}

TEST(RecordFormat, HeaderLines) {
    struct Case {
        bool time, over, under;
        char tab;
        const char* expected;
    };
    const Case cases[] = {
        {true, true, true, ';', "Time;NoiseValue;Overflow;Underflow\r\n"},
        {false, false, false, ';', ";NoiseValue\r\n"},
        {true, false, true, '\t', "Time\tNoiseValue\tUnderflow\r\n"},
        {false, true, false, ' ', " NoiseValue Overflow\r\n"},
    };
    for (const Case& c : cases) {
        RecorderSettings s;
        s.IncludeSystemTime = c.time;
        s.IncludeOverflow = c.over;
        s.IncludeUnderflow = c.under;
        s.TabularSeparator = QLatin1Char(c.tab);
        EXPECT_EQ(HeaderLine(s), QByteArray(c.expected));
    }
}

TEST(RecordFormat, SlowLines) {
    struct Case {
        MeasurementRecord r;
        char tab, dec;
        bool time, over, under;
        const char* expected;
    };
    const Case cases[] = {
        {Sample(1, 14, 3, 27, 250, 653, 0, 0), ';', ',', true, true, true, "14:03:27,250; 65,3; 0; 0\r\n"},
        {Sample(1, 14, 3, 28, 250, 48, 0, 1), ';', ',', true, true, true, "14:03:28,250; 4,8; 0; 1\r\n"},
        {Sample(1, 14, 3, 28, 250, 48, 0, 5), ';', ',', true, true, true, "14:03:28,250; 4,8; 1; 1\r\n"},
        {Sample(2, 9, 5, 7, 45, 700, 0, 4), ';', ',', true, true, false, "09:05:07,045; 70,0; 1\r\n"},
        {Sample(1, 9, 5, 7, 45, 653, 0, 0), '\t', '.', false, false, false, "\t 65.3\r\n"},
        {Sample(1, 0, 0, 0, 0, 0, 0, 0), ' ', '.', true, false, false, "00:00:00.000  0.0\r\n"},
        {Sample(1, 23, 59, 59, 999, 1400, 0, 0), ';', ',', true, false, false, "23:59:59,999; 140,0\r\n"},
        // one minus sign in front of the number, none on the fraction
        {Sample(1, 1, 2, 3, 4, -5, 0, 0), ';', ',', false, false, false, "; -0,5\r\n"},
        {Sample(1, 1, 2, 3, 4, -123, 0, 0), ';', ',', false, false, false, "; -12,3\r\n"},
        {Sample(1, 1, 2, 3, 4, -32768, 0, 0), ';', ',', false, false, false, "; -3276,8\r\n"},
        {Sample(1, 1, 2, 3, 4, 32767, 0, 0), ';', ',', false, false, false, "; 3276,7\r\n"},
    };
    for (const Case& c : cases) {
        RecorderSettings s;
        s.TabularSeparator = QLatin1Char(c.tab);
        s.DecimalSeparator = QLatin1Char(c.dec);
        s.IncludeSystemTime = c.time;
        s.IncludeOverflow = c.over;
        s.IncludeUnderflow = c.under;
        QByteArray out;
        AppendSlowLine(out, s, c.r);
        EXPECT_EQ(out, QByteArray(c.expected)) << c.expected;
    }
}

TEST(RecordFormat, FastValuesRoundHalfToEven) {
    struct Case {
        int16_t flags;
        double fast;
        int32_t err;
        int16_t v;
    };
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    const Case cases[] = {
        {32, std::pow(10.0, 6.5), 0, 6500},
        {64, 1000.0, 0, 6000},             // RAW: 20 log10
        {16, std::pow(10.0, 6.505), 0, 6505},
        {16, 1.0, 0, 0},
        {16, 0.5, 0, -301},
        {64, 1e16, 0, 32000},
        {16, 1e32, 0, 32000},
        {16, 1e33, kErrOverflow, 0},
        {64, 1e17, kErrOverflow, 0},  // 34000 hundredths leave 16 bits
        {16, 1e-40, kErrOverflow, 0},
        {16, inf, kErrOverflow, 0},
        {16, 0.0, kErrInvalidCall, 0},
        {16, -1.0, kErrInvalidCall, 0},
        {16, nan, kErrInvalidCall, 0},
    };
    for (const Case& c : cases) {
        MeasurementRecord r;
        r.Flags = c.flags;
        r.FastLevel = c.fast;
        int16_t v = 12345;
        EXPECT_EQ(FastHundredths(r, &v), c.err) << c.fast;
        if (c.err == 0) {
            EXPECT_EQ(v, c.v) << c.fast;
        }
    }
}

// A linear value whose K * log10 is exactly the given number in doubles.
double LinearFor(double hundredths, double k) {
    double x = std::pow(10.0, hundredths / k);
    for (int i = 0; i < 100000 && k * std::log10(x) != hundredths; ++i)
        x = std::nextafter(x, k * std::log10(x) < hundredths ? HUGE_VAL : 0.0);
    return x;
}

TEST(RecordFormat, FastHalvesGoToTheEvenNeighbour) {
    struct Case {
        double exact;
        int16_t flags;
        int16_t v;
    };
    const Case cases[] = {{6504.5, 32, 6504},   {6505.5, 16, 6506},   {12001.5, 64, 12002},
                          {12002.5, 64, 12002}, {-6504.5, 16, -6504}, {-6505.5, 16, -6506}};
    for (const Case& c : cases) {
        MeasurementRecord r;
        r.Flags = c.flags;
        r.FastLevel = LinearFor(c.exact, (c.flags & 64) ? 2000.0 : 1000.0);
        ASSERT_EQ(((c.flags & 64) ? 2000.0 : 1000.0) * std::log10(r.FastLevel), c.exact);
        int16_t v = 0;
        ASSERT_EQ(FastHundredths(r, &v), 0);
        EXPECT_EQ(v, c.v) << c.exact;
    }
}

TEST(RecordFormat, FastLines) {
    struct Case {
        MeasurementRecord r;
        bool allOn;
        int32_t err;
        const char* expected;
    };
    const Case cases[] = {
        {Sample(32, 14, 3, 27, 265, 0, std::pow(10.0, 6.5), 4), true, 0, "14:03:27,265; 65,00; 1; 0\r\n"},
        {Sample(64, 14, 3, 27, 280, 0, 1000.0, 0), true, 0, "14:03:27,280; 60,00; 0; 0\r\n"},
        {Sample(16, 9, 5, 7, 45, 0, std::pow(10.0, 6.505), 0), false, 0, "09:05:07,045; 65,05\r\n"},
        {Sample(16, 9, 5, 7, 45, 0, std::pow(10.0, 0.0909), 0), false, 0, "09:05:07,045; 0,91\r\n"},
        // below 0 dB: one sign in front
        {Sample(16, 9, 5, 7, 45, 0, 0.5, 0), false, 0, "09:05:07,045; -3,01\r\n"},
        {Sample(16, 9, 5, 7, 45, 0, std::pow(10.0, -0.0004), 0), false, 0, "09:05:07,045; 0,00\r\n"},
        {Sample(16, 9, 5, 7, 45, 0, std::pow(10.0, -0.0009), 0), false, 0, "09:05:07,045; -0,01\r\n"},
        // no value: the line keeps its time and flags with an empty value column
        {Sample(16, 9, 5, 7, 45, 0, 0.0, 5), true, kErrInvalidCall, "09:05:07,045;; 1; 1\r\n"},
        {Sample(64, 9, 5, 7, 45, 0, 1e300, 0), false, kErrOverflow, "09:05:07,045;\r\n"},
    };
    for (const Case& c : cases) {
        RecorderSettings s = c.allOn ? AllOn() : RecorderSettings{};
        QByteArray out("x");
        EXPECT_EQ(AppendFastLine(out, s, c.r), c.err);
        EXPECT_EQ(out, "x" + QByteArray(c.expected));
    }
}

TEST(RecordFormat, SeparatorsOutsideLatin1AreWrittenAsQuestionMark) {
    RecorderSettings s;
    s.TabularSeparator = QChar(0x2192);
    s.DecimalSeparator = QLatin1Char('.');
    QByteArray out;
    AppendSlowLine(out, s, Sample(1, 1, 2, 3, 4, 653, 0, 0));
    EXPECT_EQ(out, QByteArray("01:02:03.004? 65.3\r\n"));
    s.TabularSeparator = QChar(0xA7);  // Latin-1 section sign: one byte
    out.clear();
    AppendSlowLine(out, s, Sample(1, 1, 2, 3, 4, 653, 0, 0));
    EXPECT_EQ(out, QByteArray("01:02:03.004\xA7 65.3\r\n"));
}

}  // namespace
}  // namespace kestro
