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
        {"Lp", "gds 11203\r", false, false, cmds({"gds", "awm 0", "swm 1"}), nullptr, {}},
        {"Initialisation: no function to set", "gds 01203\r", false, false, cmds({"gds"}), nullptr, {}},
        {"armed at the gate: fast values on", "gds 11203\r", true, false, cmds({"gds", "awm 1", "swm 1"}), nullptr, {}},
        {"no function reported: the step waits", "ldk\r", false, false, cmds({"gds"}), "gds 21203\r",
         cmds({"gds", "awm 0", "swm 2"})},
        // Armed by the command line once started, after the start-up's own commands, on every connection.
        {"--record", "gds 11203\r", false, true, cmds({"gds", "awm 0", "swm 1", "swm 1", "awm 1"}), nullptr, {}},
        {"--record again", "gds 11203\r", false, true, cmds({"gds", "awm 0", "swm 1", "swm 1", "awm 1"}), nullptr, {}},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.what);
        s->setArmOnStart(r.armOnStart);
        takeSaid();
        EXPECT_EQ(tick(), cmds({"gsn"}));
        feed("gsn 12345678\r");
        EXPECT_EQ(tick(), cmds({"gds"})) << "the gate is passed in the tick that goes online";
        EXPECT_EQ(takeSaid(), cmds({"online", "started"}));
        if (r.armAtGate) s->recordKey();
        for (const char* step : {"smm 1", "gdv", "gdi", "ldk 3"}) {
            feed(r.status);
            EXPECT_EQ(tick(), cmds({"gds", step}));
        }
        feed(r.status);
        EXPECT_EQ(tick(), r.sixth);
        if (r.thenStatus) {
            EXPECT_EQ(s->InitStep, 6);
            feed(r.thenStatus);
            EXPECT_EQ(tick(), r.then);
        }
        EXPECT_EQ(s->InitStep, 7);
        feed(r.status);
        EXPECT_EQ(tick(), cmds({"gds"}));
        const QStringList said = takeSaid();
        EXPECT_EQ(said.count(QStringLiteral("completed")), 1);
        EXPECT_EQ(said.count(QStringLiteral("started")), 0) << "once, at the gate";
        EXPECT_EQ(ps.RecordState, r.armAtGate || r.armOnStart ? kRecordArmed : kRecordOff);
        for (int i = 0; i < 6; ++i)
            tick();
        ASSERT_FALSE(s->isOnline());
    }
}

// The meter falls silent twelve seconds into an exceedance: the series ends
// and so does the event, open, one reading's time after its last level.
TEST_F(PollCycle, SilenceLosesTheDeviceOnTheSixthTickAndEndsAnEventOpen) {
    startDevice();
    s->EnableRecording();
    for (int second = 0; second < 12; ++second) {
        feed("lp 900 0\r");
        for (int t = 0; t < 10; ++t) {
            feed("gds 11203\r");
            tick();
        }
    }
    feed("gds 11203\r");
    for (int i = 1; i <= 5; ++i) {
        EXPECT_EQ(tick(), cmds({"gds"})) << i;
        EXPECT_TRUE(s->isOnline()) << i;
    }
    takeSaid();
    EXPECT_EQ(tick(), cmds({"gds"})) << "marking Initialisation sends nothing";
    EXPECT_FALSE(s->isOnline());
    EXPECT_EQ(takeSaid(), cmds({"axis", "offline opt", "lost"}));
    EXPECT_EQ(ps.RecordState, kRecordOff);
    EXPECT_EQ(ps.KestroState.DevSerialNo, kSerialNotReceived);
    QFile f(recordDir() + QLatin1Char('/') + QDir(recordDir()).entryList({QStringLiteral("*_EVENTS.dat")}).value(0));
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    const QList<QByteArray> rows = f.readAll().split('\n');
    ASSERT_EQ(rows.size(), 3);
    EXPECT_TRUE(rows[1].startsWith("Exceedance;")) << rows[1].data();
    EXPECT_TRUE(rows[1].endsWith(";12,0;12;90,0;90,0;100,8;open;\r")) << rows[1].data();
    ps.appendReceived("half an answer");
    EXPECT_EQ(tick(), cmds({"gsn"})) << "offline: the serial number again";
    EXPECT_EQ(ps.RxCharCount, 0) << "the receive buffer is emptied";
    EXPECT_TRUE(takeSaid().isEmpty());
    com->CloseCOMPort();
    EXPECT_TRUE(tick().isEmpty()) << "no port: nothing is sent";
}

// What a status answer makes the session show; function and range options
// are marked with OptionUpdate set, and nothing goes to the meter.
TEST_F(PollCycle, ChangesAreShownOnceAndRestartTheSeriesOnAFunctionOrVariant) {
    startDevice();
    const struct {
        const char* answer;
        QStringList said;
        int restart;
    } rows[] = {
        {"gds 22203\r", {"function 2 opt"}, 3},
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
        feed(r.answer);
        EXPECT_EQ(tick(), cmds({"gds"})) << r.answer;
        EXPECT_EQ(takeSaid(), r.said) << r.answer;
        EXPECT_EQ(ps.BufferRestart, r.restart) << r.answer;
    }
}

// The test pattern lights every legend: leaving it shows the meter's items
// again, even those that did not change meanwhile.
TEST_F(PollCycle, LeavingInitialisationShowsTheItemsAgain) {
    startDevice();
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
        feed(r.status);
        feed(r.level);
        tick();
        takeSaid();
        std::string init = r.status;
        init[4] = '0';
        feed(init.c_str());
        tick();
        EXPECT_EQ(takeSaid(), cmds({"function 0 opt"}));
        feed(init.c_str());
        tick();
        EXPECT_TRUE(takeSaid().isEmpty()) << "nothing is refreshed in Initialisation";
        feed(r.status);
        tick();
        EXPECT_EQ(takeSaid(), r.said) << r.status;
    }
}

}  // namespace
}  // namespace kestro::test
