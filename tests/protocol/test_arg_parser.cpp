// The numeric scanner over both sources, and the fast value conversion.

#include "ProtocolFixture.h"

#include "protocol/ArgParser.h"

#include <cmath>
#include <cstring>
#include <limits>
#include <memory>

namespace kestro::test {
namespace {

using Scan = ProtocolTest;

TEST_F(Scan, TextAndBufferParsersFillTheSameSlots) {
    struct Case {
        const char* text;  // the character that ended the key first
        int16_t radix1, radix2, count;
        int32_t v1;
        int16_t d1;
        int32_t v2;
    };
    const Case cases[] = {
        {" 652 3\r", 0, 1, 2, 652, 0, 3},  {" err 3\r", 0, 1, 1, 3, 0, 0},
        {" 1.234\r", 3, 0, 1, 1234, 3, 0}, {" 1.\r", 3, 0, 1, 1, 0, 0},
        {" 1F4\r", 1, 0, 1, 500, 0, 0},    {" 1.5\r", 0, 0, 1, 105, 0, 0},  // no radix 3: "." is a 0
        {" 1 2 345\r", 0, 0, 1, 45, 0, 0},  // third number: first digit dropped, count restarts
        {" 1 2 3\r", 0, 0, 0, 1, 0, 2},    {" 101 2\r", 2, 0, 2, 5, 0, 2},
        {" 1.2a\r", 3, 0, 0, 12, 3, 0},    {" 7FFFFFFF\r", 1, 0, 1, std::numeric_limits<int32_t>::max(), 0, 0},
        {" -12,+3\r", 0, 0, 2, 12, 0, 3},  {" e3 4\r", 0, 0, 1, 4, 0, 0},  // char after a bad digit eaten
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        ps.ResetReceiveBuffer();
        ps.ArgText = c.text;
        ps.CurChar = c.text[0];
        ps.appendReceived(std::string(c.text + 1) + "gsi\r");  // the next answer must stay untouched
        for (bool fromText : {true, false}) {
            for (int i : {1, 2})
                ps.Args[i].Value = ps.Args[i].Digits = 0;
            ps.Args[1].Radix = c.radix1;
            ps.Args[2].Radix = c.radix2;
            EXPECT_EQ(fromText ? ParseArgsFromText(ps) : ParseArgsFromBuffer(ps), c.count);
            EXPECT_EQ(ps.Args[1].Value, c.v1);
            EXPECT_EQ(ps.Args[1].Digits, c.d1);
            if (c.count == 2) {
                EXPECT_EQ(ps.Args[2].Value, c.v2);
            }
        }
        EXPECT_EQ(ps.rxPending(), "gsi\r");
        EXPECT_EQ(ps.RxLineCount, 1);
    }
    ps.ArgText = " 12 34";  // cut off by the end: no number
    EXPECT_EQ(ParseArgsFromText(ps), 0);
}

TEST(HexFloat, ConvertsBitPatternsAndBadInputToNaN) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const std::pair<const char*, double> cases[] = {
        {"49C35000", 1600000.0},
        {"bf800000", -1.0},
        {"3DCCCCCD", static_cast<double>(0.1f)},
        {"7F800000", std::numeric_limits<double>::infinity()},
        {"7FC00000", nan},
        {"49C3500", nan},
        {"49C350000", nan},
        {"49C3500G", nan},
        {"", nan},
        {" 9C35000", nan},
        {"0x123456", nan},
    };
    for (const auto& [text, value] : cases) {
        const double got = ConvertASCIIHexToFloat(text);
        EXPECT_TRUE(std::isnan(value) ? std::isnan(got) : got == value) << text;
    }
    EXPECT_TRUE(std::isnan(ConvertASCIIHexToFloat(nullptr)));
    auto shortText = std::make_unique<char[]>(4);  // exactly sized: a read past it trips the sanitizer
    std::memcpy(shortText.get(), "3F8", 4);
    EXPECT_TRUE(std::isnan(ConvertASCIIHexToFloat(shortText.get())));
}

}  // namespace
}  // namespace kestro::test
