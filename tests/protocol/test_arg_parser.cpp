// The numeric scanner over both sources, and the fast value conversion.

#include "ProtocolFixture.h"

#include "protocol/ArgParser.h"

#include <cmath>
#include <cstring>
#include <limits>
#include <memory>
#include <string>

namespace kestro::test {
namespace {

struct ScanCase {
    const char* text;  // for the buffer parser: the character after the key first
    int16_t radix1, radix2;
    int16_t count;
    int32_t v1;
    int16_t d1;
    int32_t v2;
};

const ScanCase kScanCases[] = {
    {" 652 3\r", 0, 1, 2, 652, 0, 3},
    {" err 3\r", 0, 1, 1, 3, 0, 0},
    {" 1.234\r", 3, 0, 1, 1234, 3, 0},
    {" 1.\r", 3, 0, 1, 1, 0, 0},
    {" 0.000\r", 3, 0, 1, 0, 3, 0},
    {" 1F4\r", 1, 0, 1, 500, 0, 0},
    {" 1f4\r", 1, 0, 1, 500, 0, 0},
    {" 1.5\r", 0, 0, 1, 105, 0, 0},          // without radix 3 the point is a zero digit
    {" 1 2 345\r", 0, 0, 1, 45, 0, 0},       // third number: first digit dropped, count restarts
    {" 1 2 3\r", 0, 0, 0, 1, 0, 2},
    {" 101 2\r", 2, 0, 2, 5, 0, 2},
    {" 102\r", 2, 0, 0, 2, 0, 0},
    {" 1.2a\r", 3, 0, 0, 12, 3, 0},          // a letter after the point is an error
    {" 2147483647\r", 0, 0, 1, std::numeric_limits<int32_t>::max(), 0, 0},
    {" 7FFFFFFF\r", 1, 0, 1, std::numeric_limits<int32_t>::max(), 0, 0},
    {" -12,+3\r", 0, 0, 2, 12, 0, 3},        // signs are separators
    {" e3 4\r", 0, 0, 1, 4, 0, 0},           // the character after a bad digit is swallowed
    {"\r", 0, 0, 0, 0, 0, 0},
};

class TextScan : public ProtocolTest, public ::testing::WithParamInterface<ScanCase> {};

TEST_P(TextScan, FillsSlots) {
    const ScanCase& c = GetParam();
    ps.ArgText = c.text;
    ps.Args[1].Radix = c.radix1;
    ps.Args[2].Radix = c.radix2;
    EXPECT_EQ(ParseArgsFromText(ps), c.count);
    EXPECT_EQ(ps.Args[1].Value, c.v1);
    EXPECT_EQ(ps.Args[1].Digits, c.d1);
    if (c.count == 2) {
        EXPECT_EQ(ps.Args[2].Value, c.v2);
    }
}

INSTANTIATE_TEST_SUITE_P(Cases, TextScan, ::testing::ValuesIn(kScanCases));

class BufferScan : public ProtocolTest, public ::testing::WithParamInterface<ScanCase> {};

TEST_P(BufferScan, SameResultAndConsumesTheLine) {
    const ScanCase& c = GetParam();
    const std::string text = c.text;
    // CurChar holds the character that ended the key; the rest waits in the buffer,
    // followed by the next answer, which must stay untouched.
    ps.CurChar = text[0];
    ps.AppendReceived(text.substr(1) + "gsi\r");
    ps.Args[1].Radix = c.radix1;
    ps.Args[2].Radix = c.radix2;
    EXPECT_EQ(ParseArgsFromBuffer(ps), text[0] == '\r' ? 0 : c.count);
    if (text[0] != '\r') {
        EXPECT_EQ(ps.Args[1].Value, c.v1);
        EXPECT_EQ(ps.Args[1].Digits, c.d1);
        if (c.count == 2) {
        EXPECT_EQ(ps.Args[2].Value, c.v2);
    }
    }
    EXPECT_EQ(ps.RxPending(), "gsi\r");
    EXPECT_EQ(ps.RxLineCount, 1);
}

INSTANTIATE_TEST_SUITE_P(Cases, BufferScan, ::testing::ValuesIn(kScanCases));

using Scan = ProtocolTest;

TEST_F(Scan, KeyEndedByLineEndTakesNothing) {
    ps.CurChar = '\r';
    ps.AppendReceived("12 3\r");
    EXPECT_EQ(ParseArgsFromBuffer(ps), 0);
    EXPECT_EQ(ps.RxPending(), "12 3\r");
    EXPECT_EQ(ps.RxLineCount, 1);
}

TEST_F(Scan, CharacterThatEndedTheKeyCountsOnlyInText) {
    ps.ArgText = "12 C\r";
    ps.Args[2].Radix = 1;
    EXPECT_EQ(ParseArgsFromText(ps), 2);
    EXPECT_EQ(ps.Args[1].Value, 12);
    ps.CurChar = '1';
    ps.AppendReceived("2 C\r");
    EXPECT_EQ(ParseArgsFromBuffer(ps), 2);
    EXPECT_EQ(ps.Args[1].Value, 2);
    EXPECT_EQ(ps.Args[2].Value, 12);
}

TEST_F(Scan, NumberCutOffByTheEndIsNoNumber) {
    ps.ArgText = " 12 34";
    EXPECT_EQ(ParseArgsFromText(ps), 0);
    ps.CurChar = ' ';
    ps.AppendReceived("12 34");
    EXPECT_EQ(ParseArgsFromBuffer(ps), 0);
    EXPECT_TRUE(ps.RxEmpty());
}

TEST_F(Scan, ThirtyTwoBitOverflowThrowsAndKeepsCountsExact) {
    for (const char* text : {" 2147483648\r", " 99999999999 1\r", " 80000000\r"}) {
        SCOPED_TRACE(text);
        ps.Args[1].Radix = text[1] == '8' ? 1 : 0;
        ps.ArgText = text;
        try {
            ParseArgsFromText(ps);
            ADD_FAILURE() << "no overflow";
        } catch (const ProtocolFailure& f) {
            EXPECT_EQ(f.errNo(), kErrOverflow);
        }
        ps.ResetReceiveBuffer();
        ps.CurChar = ' ';
        ps.AppendReceived(std::string(text + 1));
        EXPECT_THROW(ParseArgsFromBuffer(ps), ProtocolFailure);
        EXPECT_EQ(ps.RxLineCount, 1);  // its line end is still waiting
        EXPECT_EQ(ps.RxCharCount, static_cast<int16_t>(ps.RxPending().size()));
    }
}

TEST(CharClasses, MatchTheirDefinitions) {
    for (int i = 0; i < 256; ++i) {
        const char c = static_cast<char>(i);
        const bool letter = (i >= 'a' && i <= 'z') || (i >= 'A' && i <= 'Z');
        const bool hex = (i >= '0' && i <= '9') || (i >= 'a' && i <= 'f') || (i >= 'A' && i <= 'F');
        EXPECT_EQ(IsLetter(c), letter) << i;
        EXPECT_EQ(IsKeyChar(c), letter || i == '-' || i == '_') << i;
        EXPECT_EQ(IsHexDigit(c), hex) << i;
    }
    EXPECT_EQ(HexDigitValue('.'), 0);
    EXPECT_EQ(HexDigitValue('f'), HexDigitValue('F'));
}

TEST(HexFloat, ConvertsBitPatterns) {
    struct Case {
        const char* text;
        double value;  // NaN: expect NaN
    };
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const Case cases[] = {
        {"49C35000", 1600000.0}, {"3F800000", 1.0}, {"bf800000", -1.0}, {"00000000", 0.0},
        {"3DCCCCCD", static_cast<double>(0.1f)}, {"7F800000", std::numeric_limits<double>::infinity()},
        {"7FC00000", nan}, {"49C3500", nan}, {"49C350000", nan}, {"49C3500G", nan}, {"", nan},
        {" 9C35000", nan}, {"0x123456", nan},
    };
    for (const Case& c : cases) {
        const double got = ConvertASCIIHexToFloat(c.text);
        if (std::isnan(c.value)) {
            EXPECT_TRUE(std::isnan(got)) << c.text;
        } else {
            EXPECT_EQ(got, c.value) << c.text;
        }
    }
    EXPECT_TRUE(std::isnan(ConvertASCIIHexToFloat(nullptr)));
    // Exactly sized heap text: reading past its terminator would be caught by the sanitizer.
    auto shortText = std::make_unique<char[]>(4);
    std::memcpy(shortText.get(), "3F8", 4);
    EXPECT_TRUE(std::isnan(ConvertASCIIHexToFloat(shortText.get())));
}

}  // namespace
}  // namespace kestro::test
