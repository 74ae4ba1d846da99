// Whole answer lines through the receive event, one table row per key.

#include "ProtocolFixture.h"

#include <cmath>
#include <functional>

namespace kestro::test {
namespace {

struct GoodAnswer {
    const char* line;
    std::function<void(KestroStateRecord&)> expect;  // changes against the reset state
    int16_t bufferRestart = 0;
};

class KeyTable : public ProtocolTest, public ::testing::WithParamInterface<GoodAnswer> {};

TEST_P(KeyTable, GoodAnswerSetsFieldsAndWatchdog) {
    ResetLikePollCycle();
    ps.KestroState.DevFunction = 0;  // Initialisation, so value lines change the function
    ps.KestroState.DevVariant = 0;
    KestroStateRecord expected = ps.KestroState;
    GetParam().expect(expected);
    Feed(GetParam().line);
    EXPECT_EQ(ps.KestroState, expected);
    EXPECT_EQ(ps.AnswerWatchdog, 5);
    EXPECT_EQ(ps.BufferRestart, GetParam().bufferRestart);
    EXPECT_TRUE(errors.empty());
    ExpectDrained();
}

void Fn(KestroStateRecord& k, int16_t f, int16_t v, int16_t level, int16_t status) {
    k.DevFunction = f;
    k.DevVariant = v;
    k.DevLevel = level;
    k.DevLevelStatus = status;
    k.DataValid |= 1 | 2 | 8 | 16;
}

INSTANTIATE_TEST_SUITE_P(
    Answers, KeyTable,
    ::testing::Values(
        GoodAnswer{"p 49C350000\r", [](KestroStateRecord&) {}},
        GoodAnswer{"q 3F8000002\r", [](KestroStateRecord&) {}},
        GoodAnswer{"r 000000000\r", [](KestroStateRecord&) {}},
        GoodAnswer{"lp 734 0\r", [](KestroStateRecord& k) { Fn(k, 1, 1, 734, 0); }, 3},
        GoodAnswer{"LP 734 0\r", [](KestroStateRecord& k) { Fn(k, 1, 1, 734, 0); }, 3},
        GoodAnswer{"leqs 500 1\r", [](KestroStateRecord& k) { Fn(k, 2, 1, 500, 1); }, 3},
        GoodAnswer{"leq 501 4\r", [](KestroStateRecord& k) { Fn(k, 2, 2, 501, 4); }, 3},
        GoodAnswer{"leqr 502 5\r", [](KestroStateRecord& k) { Fn(k, 2, 3, 502, 5); }, 3},
        GoodAnswer{"maxs 1100 0\r", [](KestroStateRecord& k) { Fn(k, 3, 1, 1100, 0); }, 3},
        GoodAnswer{"max 1101 A\r", [](KestroStateRecord& k) { Fn(k, 3, 2, 1101, 10); }, 3},
        GoodAnswer{"maxr 1102 f\r", [](KestroStateRecord& k) { Fn(k, 3, 3, 1102, 15); }, 3},
        GoodAnswer{"cals 940 0\r", [](KestroStateRecord& k) { Fn(k, 4, 1, 940, 0); }, 3},
        GoodAnswer{"cal 941 0\r", [](KestroStateRecord& k) { Fn(k, 4, 2, 941, 0); }, 3},
        GoodAnswer{"calr 942 0\r", [](KestroStateRecord& k) { Fn(k, 4, 5, 942, 0); }, 3},
        // Code 0 equals the Initialisation code: nothing but the level changes.
        GoodAnswer{"gdv 650 4\r",
                   [](KestroStateRecord& k) {
                       k.DevLevel = 650;
                       k.DevLevelStatus = 4;
                       k.DataValid |= 8 | 16;
                   }},
        GoodAnswer{"gds 1230C\r",
                   [](KestroStateRecord& k) {
                       k.DevFunction = 1;
                       k.DevVariant = 2;
                       k.DevRange = 3;
                       k.DevKeyState = 0;
                       k.DevBattery = 12;
                       k.DataValid |= 1 | 2 | 4 | 32 | 64;
                   }},
        GoodAnswer{"gds 25a47\r",
                   [](KestroStateRecord& k) {
                       k.DevFunction = 2;
                       k.DevVariant = 5;
                       k.DevRange = 10;
                       k.DevKeyState = 4;
                       k.DevBattery = 7;
                       k.DataValid |= 1 | 2 | 4 | 32 | 64;
                   }},
        GoodAnswer{"gsn 12345678\r",
                   [](KestroStateRecord& k) {
                       k.DevSerialNo = 12345678;
                       k.DataValid |= 128;
                   }},
        GoodAnswer{"sw-rev = V1.23\r",
                   [](KestroStateRecord& k) {
                       k.DevSwRev = MakeFixedText64("V1.23\r");
                       k.DataValid |= 4096;
                   }},
        GoodAnswer{"HW-REV = B\r",
                   [](KestroStateRecord& k) {
                       k.DevHwRev = MakeFixedText64("B\r");
                       k.DataValid |= 8192;
                   }},
        GoodAnswer{"hw-rev x\r",  // shorter than the three skipped characters
                   [](KestroStateRecord& k) {
                       k.DevHwRev = MakeFixedText64("");
                       k.DataValid |= 8192;
                   }},
        GoodAnswer{"smm 1\r", [](KestroStateRecord& k) { k.DevMeasMode = 1; }},
        GoodAnswer{"swm 2\r", [](KestroStateRecord&) {}, 3},
        GoodAnswer{"swm 0\r", [](KestroStateRecord&) {}, 0},
        GoodAnswer{"awm 1\r", [](KestroStateRecord&) {}, 3},
        GoodAnswer{"awm 0\r", [](KestroStateRecord&) {}, 0},
        GoodAnswer{"saa 1\r", [](KestroStateRecord&) {}},
        GoodAnswer{"sso 0\r", [](KestroStateRecord&) {}},
        GoodAnswer{"sks 23\r",
                   [](KestroStateRecord& k) {
                       k.DevKeyState = 3;
                       k.DataValid |= 32;
                   }},
        GoodAnswer{"gso 1F4\r",
                   [](KestroStateRecord& k) {
                       k.DevOptions = 500;
                       k.DataValid |= 256;
                   }},
        GoodAnswer{"grc 1 1.234\r",
                   [](KestroStateRecord& k) {
                       k.DevCalCoef[1] = 1.234f;
                       k.DataValid |= 1024;
                   }},
        GoodAnswer{"grc 0 12\r",
                   [](KestroStateRecord& k) {
                       k.DevCalCoef[0] = 12.f;
                       k.DataValid |= 512;
                   }},
        GoodAnswer{"grc 2 0.05\r",
                   [](KestroStateRecord& k) {
                       k.DevCalCoef[2] = 0.05f;
                       k.DataValid |= 2048;
                   }},
        GoodAnswer{"flash 12\r",
                   [](KestroStateRecord& k) {
                       k.DevFlash = 12;
                       k.DataValid |= 65536;
                   }},
        GoodAnswer{"v_batt 4100\r",
                   [](KestroStateRecord& k) {
                       k.DevVBatt = 4100;
                       k.DataValid |= 131072;
                   }},
        GoodAnswer{"v_cpu 3300\r",
                   [](KestroStateRecord& k) {
                       k.DevVCpu = 3300;
                       k.DataValid |= 262144;
                   }},
        GoodAnswer{"v_ana 2500\r",
                   [](KestroStateRecord& k) {
                       k.DevVAna = 2500;
                       k.DataValid |= 524288;
                   }},
        GoodAnswer{"temp 25\r",
                   [](KestroStateRecord& k) {
                       k.DevTemp = 25;
                       k.DataValid |= 1048576;
                   }},
        GoodAnswer{"supply 5000\r",
                   [](KestroStateRecord& k) {
                       k.DevSupply = 5000;
                       k.DataValid |= 2097152;
                   }},
        GoodAnswer{"rdc ok\r", [](KestroStateRecord&) {}},
        GoodAnswer{"wdc ?\r", [](KestroStateRecord&) {}},
        GoodAnswer{"gsi\r", [](KestroStateRecord&) {}},
        GoodAnswer{"gdi\r", [](KestroStateRecord&) {}},
        GoodAnswer{"ldk\r", [](KestroStateRecord&) {}},
        GoodAnswer{"ldk  \r", [](KestroStateRecord&) {}}));

// Malformed answers: their line is consumed and nothing at all changes.
class MalformedAnswer : public ProtocolTest, public ::testing::WithParamInterface<const char*> {};

TEST_P(MalformedAnswer, ChangesNothing) {
    ResetLikePollCycle();
    ps.KestroState.DevFunction = 1;
    ps.KestroState.DevVariant = 1;
    ps.RecordState = 1;
    const KestroStateRecord before = ps.KestroState;
    const MeasurementRecord cm = ps.CurrentMeasurement;
    Feed(GetParam());
    EXPECT_EQ(ps.KestroState, before);
    EXPECT_EQ(ps.CurrentMeasurement, cm);
    EXPECT_EQ(ps.AnswerWatchdog, 0);
    EXPECT_EQ(ps.BufferRestart, 0);
    EXPECT_EQ(ps.SlowCount + ps.FastCount, 0);
    EXPECT_EQ(ps.LastStampMs, 0);
    EXPECT_TRUE(errors.empty());
    ExpectDrained();
}

INSTANTIATE_TEST_SUITE_P(
    Answers, MalformedAnswer,
    ::testing::Values("p 49C3500\r", "p 49C3500000\r", "p\r", "q 49C3500G0\r", "r 49C35000Z\r",
                      "lp 734\r", "lp\r", "lp 1 2 345\r", "lp 7a4 0\r", "leq  \r", "max 12.5\r",
                      "gdv\r", "gds 1230\r", "gds 12 3C\r", "gds 123456\r", "gds\r", "gsn 1234567\r",
                      "gsn 1234567A\r", "gsn 123456789\r", "gsn 1234 567\r", "sw-rev\r", "hw-rev\r",
                      "smm\r", "smm 1 2\r", "swm\r", "swm 1 2\r", "awm x\r", "saa\r", "sso 1 2 3\r", "sks\r",
                      "gso\r", "gso 1 2\r", "grc 1\r", "grc\r", "grc 1 2 3\r", "flash\r", "v_batt 1 2\r",
                      "v_cpu\r", "v_ana a\r", "temp\r", "supply 1 2\r", "rdc no\r", "rdc\r", "wdc  ok\r",
                      "gsi 1\r", "gdi 1 2\r", "ldk 3\r", "xyz 12\r", "abcdefgh 1\r", "lpx 734 0\r",
                      "l p 734 0\r", "\r", "\r\r\r", " 734 0\r", "\n\t 12 \x01\r", "\xe4lp\r"));

}  // namespace
}  // namespace kestro::test
