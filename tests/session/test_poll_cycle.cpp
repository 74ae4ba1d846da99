#include "SessionFixture.h"

namespace kestro::test {
namespace {

using PollCycle = SessionFixture;

// Every row starts offline (the previous one fell silent) and must run the
// whole start-up again from the serial number.
TEST_F(PollCycle, StartUpSendsOneStepPerTickAfterTheSerialNumberGate) {
    const struct {
        const char* what;
        const char* status;  // the answer before every tick after the gate
        bool armAtGate, armOnStart;
        QStringList sixth;       // the sixth tick after the gate
        const char* thenStatus;  // the function reported afterwards
        QStringList then;
    } rows[] = {
        {"Lp", "gds 11203\r", false, false, Cmds({"gds", "awm 0", "swm 1"}), nullptr, {}},
        {"Initialisation: no function to set", "gds 01203\r", false, false, Cmds({"gds"}), nullptr, {}},
        {"armed at the gate: the fast values stay on",
         "gds 11203\r",
         true,
         false,
         Cmds({"gds", "awm 1", "swm 1"}),
         nullptr,
         {}},
        {"no function reported: the step waits", "ldk\r", false, false, Cmds({"gds"}), "gds 21203\r",
         Cmds({"gds", "awm 0", "swm 2"})},
        // Armed by the command line once started, after the start-up's own commands, on every connection.
        {"--record", "gds 11203\r", false, true, Cmds({"gds", "awm 0", "swm 1", "swm 1", "awm 1"}), nullptr, {}},
        {"--record again", "gds 11203\r", false, true, Cmds({"gds", "awm 0", "swm 1", "swm 1", "awm 1"}), nullptr, {}},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.what);
        s->setArmOnStart(r.armOnStart);
        Said();
        EXPECT_EQ(Tick(), Cmds({"gsn"}));
        Feed("gsn 12345678\r");
        EXPECT_EQ(Tick(), Cmds({"gds"})) << "the gate is passed in the tick that goes online";
        EXPECT_EQ(Said(), Cmds({"online", "started"}));
        if (r.armAtGate) s->recordKey();
        for (const char* step : {"smm 1", "gdv", "gdi", "ldk 3"}) {
            Feed(r.status);
            EXPECT_EQ(Tick(), Cmds({"gds", step}));
        }
        Feed(r.status);
        EXPECT_EQ(Tick(), r.sixth);
        if (r.thenStatus) {
            EXPECT_EQ(s->InitStep, 6);
            Feed(r.thenStatus);
            EXPECT_EQ(Tick(), r.then);
        }
        EXPECT_EQ(s->InitStep, 7);
        Feed(r.status);
        EXPECT_EQ(Tick(), Cmds({"gds"}));
        const QStringList said = Said();
        EXPECT_EQ(said.count(QStringLiteral("completed")), 1);
        EXPECT_EQ(said.count(QStringLiteral("started")), 0) << "once, at the gate";
        EXPECT_EQ(ps.RecordState, r.armAtGate || r.armOnStart ? kRecordArmed : kRecordOff);
        for (int i = 0; i < 6; ++i)
            Tick();
        ASSERT_FALSE(s->isOnline());
    }
}

TEST_F(PollCycle, SilenceLosesTheDeviceOnTheSixthTick) {
    StartDevice();
    s->EnableRecording();
    Feed("gds 11203\r");
    for (int i = 1; i <= 5; ++i) {
        EXPECT_EQ(Tick(), Cmds({"gds"})) << i;
        EXPECT_TRUE(s->isOnline()) << i;
    }
    Said();
    EXPECT_EQ(Tick(), Cmds({"gds"})) << "marking Initialisation sends nothing";
    EXPECT_FALSE(s->isOnline());
    EXPECT_EQ(Said(), Cmds({"axis", "offline opt", "lost"}));
    EXPECT_EQ(ps.RecordState, kRecordOff);
    EXPECT_EQ(ps.KestroState.DevSerialNo, kSerialNotReceived);
    ps.AppendReceived("half an answer");
    EXPECT_EQ(Tick(), Cmds({"gsn"})) << "offline: the serial number again";
    EXPECT_EQ(ps.RxCharCount, 0) << "the receive buffer is emptied";
    EXPECT_TRUE(Said().isEmpty());
    com->CloseCOMPort();
    EXPECT_TRUE(Tick().isEmpty()) << "no port: nothing is sent";
}

// What a status answer makes the session show; function and range options
// are marked with OptionUpdate set, and nothing goes to the meter.
TEST_F(PollCycle, ChangesAreShownOnceAndRestartTheSeriesOnAFunctionOrVariant) {
    StartDevice();
    const struct {
        const char* answer;
        QStringList said;
        int restart;
    } rows[] = {
        {"gds 22203\r", {"function 2 opt"}, 3},
        {"gds 32203\r", {"function 3 opt"}, 3},
        {"gds 42203\r", {"function 4 opt"}, 3},
        {"gds 52203\r", {"function 5 opt"}, 3},
        {"gds 12203\r", {"function 1 opt"}, 3},
        {"gds 11203\r", {}, 3},  // the variant alone
        {"gds 11203\r", {}, 0},  // nothing changed
        {"gds 11603\r", {"range 6 0 opt"}, 0},
        {"gds 11103\r", {"range 1 1 opt"}, 0},
        {"gds 11703\r", {"range 7 0 opt"}, 0},
        {"gds 11303\r", {"range 3 3 opt"}, 0},
        {"gds 11003\r", {"range 0 4 opt"}, 0},  // no range: " unknown", never AUTO
        {"gds 11002\r", {"battery 2"}, 0},
        {"gds 71002\r", {"function 7 opt"}, 3},  // a code without option: once per change
        {"gds 71002\r", {}, 0},
    };
    for (const auto& r : rows) {
        ps.BufferRestart = 0;
        Feed(r.answer);
        EXPECT_EQ(Tick(), Cmds({"gds"})) << r.answer;
        EXPECT_EQ(Said(), r.said) << r.answer;
        EXPECT_EQ(ps.BufferRestart, r.restart) << r.answer;
    }
}

// The test pattern lights every legend: leaving it shows the meter's items
// again, even those that did not change meanwhile.
TEST_F(PollCycle, LeavingInitialisationShowsTheItemsAgain) {
    StartDevice();
    const struct {
        const char* status;
        const char* level;
        QStringList said;
    } rows[] = {
        {"gds 11202\r", "lp 734 0\r", {"function 1 opt", "level 734", "range 2 2 opt", "battery 2"}},
        {"gds 11601\r", "lp err 0\r", {"function 1 opt", "level -1", "range 6 0 opt", "battery 1"}},
        {"gds 21303\r", "leqs 655 0\r", {"function 2 opt", "level 655", "range 3 3 opt", "battery 3"}},
        {"gds 11203\r", "lp 0 0\r", {"function 1 opt", "range 2 2 opt", "battery 3"}},  // blanked by Lp itself
    };
    for (const auto& r : rows) {
        Feed(r.status);
        Feed(r.level);
        Tick();
        Said();
        std::string init = r.status;
        init[4] = '0';
        Feed(init.c_str());
        Tick();
        EXPECT_EQ(Said(), Cmds({"function 0 opt"}));
        Feed(init.c_str());
        Tick();
        EXPECT_TRUE(Said().isEmpty()) << "nothing is refreshed in Initialisation";
        Feed(r.status);
        Tick();
        EXPECT_EQ(Said(), r.said) << r.status;
    }
}

}  // namespace
}  // namespace kestro::test
