// One row per key: a good answer and the fields it sets, malformed answers that
// change nothing; the numeric scanner below them.

#include "ProtocolFixture.h"

#include "protocol/ArgParser.h"

#include <cmath>
#include <cstring>
#include <limits>
#include <memory>
#include <tuple>

namespace kestro::test {
namespace {

using K = KestroStateRecord;

struct Row {
    const char* good;    // nullptr: the row has malformed lines only
    void (*expect)(K&);  // the changes against the reset state; nullptr: none
    int16_t restart;
    const char* bad;
    const char* bad2 = nullptr;
};

void fn(K& k, int16_t f, int16_t v, int16_t level, int16_t status) {
    k.DevFunction = f, k.DevVariant = v, k.DevLevel = level, k.DevLevelStatus = status;
    k.DataValid |= kValidFunction | kValidVariant | kValidLevel | kValidLevelStatus;
}

const Row kRows[] = {
    {"p 49C350000\r", nullptr, 0, "p 49C3500\r", "p 49C3500000\r"},
    {"q 3F8000002\r", nullptr, 0, "q 49C3500G0\r"},
    {"r 000000000\r", nullptr, 0, "r 49C35000Z\r", "p\r"},
    {"lp 734 0\r", [](K& k) { fn(k, 1, 1, 734, 0); }, 3, "lp 734\r", "lp 7a4 0\r"},
    {"LP 734 0\r", [](K& k) { fn(k, 1, 1, 734, 0); }, 3, "lp 1 2 345\r", "l p 734 0\r"},
    {"leqs 500 1\r", [](K& k) { fn(k, 2, 1, 500, 1); }, 3, "leqs\r"},
    {"leq 501 4\r", [](K& k) { fn(k, 2, 2, 501, 4); }, 3, "leq  \r"},
    {"leqr 502 5\r", [](K& k) { fn(k, 2, 3, 502, 5); }, 3, "leqr 1\r"},
    {"maxs 1100 0\r", [](K& k) { fn(k, 3, 1, 1100, 0); }, 3, "maxs\r"},
    {"max 1101 A\r", [](K& k) { fn(k, 3, 2, 1101, 10); }, 3, "max 12.5\r"},
    {"maxr 1102 f\r", [](K& k) { fn(k, 3, 3, 1102, 15); }, 3, "maxr x\r"},
    {"cals 940 0\r", [](K& k) { fn(k, 4, 1, 940, 0); }, 3, "cals 1\r"},
    {"cal 941 0\r", [](K& k) { fn(k, 4, 2, 941, 0); }, 3, "cal\r"},
    {"calr 942 0\r", [](K& k) { fn(k, 4, 5, 942, 0); }, 3, "calr 1 2 3\r"},
    // Code 0 equals the Initialisation code: only the level changes.
    {"gdv 650 4\r",
     [](K& k) { k.DevLevel = 650, k.DevLevelStatus = 4, k.DataValid |= kValidLevel | kValidLevelStatus; }, 0, "gdv\r"},
    {"gds 1230C\r",
     [](K& k) {
         k.DevFunction = 1, k.DevVariant = 2, k.DevRange = 3, k.DevKeyState = 0, k.DevBattery = 12,
         k.DataValid |= kValidFunction | kValidVariant | kValidRange | kValidKeyState | kValidBattery;
     },
     3, "gds 1230\r", "gds 12 3C\r"},  // a new function: both series restart
    {"gsn 12345678\r", [](K& k) { k.DevSerialNo = 12345678, k.DataValid |= kValidSerialNo; }, 0, "gsn 1234567\r",
     "gsn 123456789\r"},
    {"sw-rev = V1.23\r", [](K& k) { k.DevSwRev = makeFixedText64("V1.23\r"), k.DataValid |= kValidSwRev; }, 0,
     "sw-rev\r"},
    {"HW-REV = B\r", [](K& k) { k.DevHwRev = makeFixedText64("B\r"), k.DataValid |= kValidHwRev; }, 0, "hw-rev\r"},
    {"smm 1\r", [](K& k) { k.DevMeasMode = 1; }, 0, "smm 1 2\r"},
    {"swm 2\r", nullptr, 3, "swm\r"},
    {"swm 0\r", nullptr, 0, "swm 1 2\r"},
    {"awm 1\r", nullptr, 0, "awm x\r"},  // the arming itself restarts, not its echo
    {"saa 1\r", nullptr, 0, "saa\r"},
    {"sso 0\r", nullptr, 0, "sso 1 2 3\r"},
    {"sks 23\r", [](K& k) { k.DevKeyState = 3, k.DataValid |= kValidKeyState; }, 0, "sks\r"},
    {"gso 1F4\r", [](K& k) { k.DevOptions = 500, k.DataValid |= kValidOptions; }, 0, "gso 1 2\r"},
    {"grc 1 1.234\r", [](K& k) { k.DevCalCoef[1] = 1.234f, k.DataValid |= validCalCoef(1); }, 0, "grc 1\r",
     "grc 1 2 3\r"},
    {"grc 2 0.05\r", [](K& k) { k.DevCalCoef[2] = 0.05f, k.DataValid |= validCalCoef(2); }, 0, "grc\r"},
    {"flash 12\r", [](K& k) { k.DevFlash = 12, k.DataValid |= kValidFlash; }, 0, "flash\r"},
    {"v_batt 4100\r", [](K& k) { k.DevVBatt = 4100, k.DataValid |= kValidVBatt; }, 0, "v_batt 1 2\r"},
    {"v_cpu 3300\r", [](K& k) { k.DevVCpu = 3300, k.DataValid |= kValidVCpu; }, 0, "v_cpu\r"},
    {"v_ana 2500\r", [](K& k) { k.DevVAna = 2500, k.DataValid |= kValidVAna; }, 0, "v_ana a\r"},
    {"temp 25\r", [](K& k) { k.DevTemp = 25, k.DataValid |= kValidTemp; }, 0, "temp\r"},
    {"supply 5000\r", [](K& k) { k.DevSupply = 5000, k.DataValid |= kValidSupply; }, 0, "supply 1 2\r"},
    {"rdc ok\r", nullptr, 0, "rdc no\r"},
    {"wdc ?\r", nullptr, 0, "wdc  ok\r"},
    {"gsi\r", nullptr, 0, "gsi 1\r"},
    {"gdi\r", nullptr, 0, "gdi 1 2\r"},
    {"ldk\r", nullptr, 0, "ldk 3\r"},
    {"ldk  \r", nullptr, 0, "ldk 0\r"},
    {nullptr, nullptr, 0, "xyz 12\r", "lpx 734 0\r"},
    {nullptr, nullptr, 0, "\r\r\r", " 734 0\r"},
    {nullptr, nullptr, 0, "\n\t 12 \x01\r", "\xe4lp\r"},
};

class KeyTable : public ProtocolTest, public ::testing::WithParamInterface<Row> {};

TEST_P(KeyTable, GoodAnswerSetsFieldsMalformedChangesNothing) {
    const Row& r = GetParam();
    if (r.good) {
        resetLikePollCycle();  // Initialisation: value lines change the function
        K expected = ps.KestroState;
        if (r.expect) r.expect(expected);
        feed(r.good);
        EXPECT_EQ(ps.KestroState, expected);
        EXPECT_EQ(ps.AnswerWatchdog, 5);
        EXPECT_EQ(ps.BufferRestart, r.restart);
    }
    for (const char* bad : {r.bad, r.bad2}) {
        if (!bad) continue;
        SCOPED_TRACE(bad);
        resetLikePollCycle(1, 1);  // recording in code 11: a wrongly accepted value would be stored
        ps.RecordState = 1;
        ps.AnswerWatchdog = ps.BufferRestart = 0;
        auto seen = [&] {
            return std::tuple(ps.KestroState, ps.CurrentMeasurement, ps.LastSlowStampMs, ps.LastFastStampMs);
        };
        const auto before = seen();
        feed(bad);
        EXPECT_EQ(seen(), before);
        EXPECT_EQ(ps.AnswerWatchdog + ps.BufferRestart + ps.SlowCount() + ps.FastCount(), 0);
    }
    EXPECT_TRUE(errors.empty());
    expectDrained();
}

INSTANTIATE_TEST_SUITE_P(Answers, KeyTable, ::testing::ValuesIn(kRows));

// After a reset every item of the device state differs from its shown copy,
// so that whatever arrives is shown once.
TEST(DeviceCodes, ResetRecordsDifferInEveryItem) {
    const K received = notReceivedState(), shown = notShownState();
    EXPECT_FALSE(received.DeviceOnline);
    EXPECT_TRUE(shown.DeviceOnline);
    EXPECT_EQ(received.DataValid | shown.DataValid, 0);
    for (int16_t K::*item : {&K::DevFunction, &K::DevVariant, &K::DevRange, &K::DevLevel, &K::DevLevelStatus,
                             &K::DevMeasMode, &K::DevKeyState, &K::DevBattery, &K::DevOptions, &K::DevFlash,
                             &K::DevVBatt, &K::DevVCpu, &K::DevVAna, &K::DevTemp, &K::DevSupply})
        EXPECT_NE(received.*item, shown.*item);
    EXPECT_NE(received.DevSerialNo, shown.DevSerialNo);
    EXPECT_NE(received.DevCalCoef, shown.DevCalCoef);
    EXPECT_NE(received.DevSwRev, shown.DevSwRev);
    EXPECT_NE(received.DevHwRev, shown.DevHwRev);
}

// The numeric scanner over both sources, and the fast value conversion.
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
