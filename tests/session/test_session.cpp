// The session over a fake meter: the poll cycle, the keys, the recordings,
// the port's supervision and the command run on noise events.

#include "SessionFixture.h"
#include "session/EventCommand.h"
#include "support/FileBytes.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>

#include <unistd.h>

#include <cmath>
#include <cstring>
#include <deque>

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
        EXPECT_EQ(ps.RecordState(), r.armAtGate || r.armOnStart ? kRecordArmed : kRecordOff);
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
    EXPECT_EQ(ps.RecordState(), kRecordOff);
    EXPECT_EQ(ps.device().DevSerialNo, kSerialNotReceived);
    QFile f(recordDir() + QLatin1Char('/') + QDir(recordDir()).entryList({QStringLiteral("*_EVENTS.dat")}).value(0));
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    const QList<QByteArray> rows = f.readAll().split('\n');
    ASSERT_EQ(rows.size(), 4);  // header, criteria, the exceedance, the end
    EXPECT_TRUE(rows[2].startsWith("Exceedance;")) << rows[2].data();
    EXPECT_TRUE(rows[2].endsWith(";12,0;12;90,0;90,0;100,8;open;\r")) << rows[2].data();
    ps.appendReceived("half an answer");
    EXPECT_EQ(tick(), cmds({"gsn"})) << "offline: the serial number again";
    EXPECT_EQ(ps.RxCharCount(), 0) << "the receive buffer is emptied";
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
        ps.setBufferRestart(0);
        feed(r.answer);
        EXPECT_EQ(tick(), cmds({"gds"})) << r.answer;
        EXPECT_EQ(takeSaid(), r.said) << r.answer;
        EXPECT_EQ(ps.BufferRestart(), r.restart) << r.answer;
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

// The watchdog's sign of life: on the first tick, then once per interval however
// the ticks fall (also while the port is away), and at once after the clock was stepped back.
TEST_F(PollCycle, SignsOfLifeKeepTheirIntervalAcrossClockSteps) {
    int alive = 0;
    s->setAliveSignal(1000, [&] { ++alive; });
    const struct {
        const char* what;
        int64_t stepMs;
        int alive;
    } steps[] = {
        {"first tick", 100, 1},
        {"within the interval", 999, 1},
        {"interval passed", 1, 2},
        {"a slow tick", 2500, 3},
        {"port away", 999, 3},
        {"port away, interval passed", 1, 4},
        {"stepped back", -3600000, 5},
        {"counted from the step", 999, 5},
        {"and then", 1, 6},
    };
    for (const auto& st : steps) {
        SCOPED_TRACE(st.what);
        if (QByteArray(st.what).startsWith("port away")) com->CloseCOMPort();
        clock.advanceMs(st.stepMs);
        s->Timer1_Timer();
        EXPECT_EQ(alive, st.alive);
    }
}

using Keys = SessionFixture;

TEST_F(Keys, KeysAndOptionsSendTheirCommandsAndArmOrDisarm) {
    enum Act { Record, Stop, Power, Function, Range };
    const struct {
        const char* status;
        bool armedBefore;
        Act act;
        int16_t index;
        QStringList commands;
        bool armedAfter;
    } rows[] = {
        {"gds 01203\r", false, Record, 0, cmds({"swm ", "awm 1"}), true},  // Initialisation: "swm " without digit
        {"gds 11203\r", false, Record, 0, cmds({"swm 1", "awm 1"}), true},
        {"gds 11203\r", true, Record, 0, cmds({"awm 0", "smm 1"}), false},
        {"gds 11203\r", true, Stop, 0, cmds({"awm 0", "smm 1"}), false},
        {"gds 11203\r", false, Stop, 0, {}, false},
        {"gds 11203\r", true, Power, 0, cmds({"swm 0", "awm 0", "smm 1"}), false},
        {"gds 11203\r", true, Function, 2, cmds({"swm 2", "awm 0", "smm 1"}), false},
        {"gds 21103\r", false, Function, 3, cmds({"swm 3", "awm 0", "smm 1"}), false},
        {"gds 11203\r", false, Function, 1, cmds({"swm 1", "awm 0", "smm 1"}), false},  // the marked one sends too
        {"gds 21103\r", false, Range, 2, cmds({"swm 2", "smr 2", "awm 0", "smm 1"}), false},
        {"gds 11203\r", false, Range, 0, cmds({"swm 1", "smr 0", "awm 0", "smm 1"}), false},
    };
    startDevice();
    for (const auto& r : rows) {
        SCOPED_TRACE(testing::Message() << r.status << " act " << r.act << " index " << r.index);
        feed(r.status);
        tick();
        r.armedBefore ? s->EnableRecording() : s->DisableRecording();
        if (r.armedBefore) feed("lp 700 0\r");  // a slow sample in the buffers
        ps.setBufferRestart(0);
        takeSaid();
        const std::function<void()> acts[] = {[&] { s->recordKey(); }, [&] { s->stopRecordKey(); },
                                              [&] { s->powerKey(); }, [&] { s->chooseFunction(r.index); },
                                              [&] {
                                                  s->chooseRange(r.index);
                                              }};
        const QStringList sent = sentBy(acts[r.act]);
        EXPECT_EQ(sent, r.commands);
        EXPECT_EQ(s->armed(), r.armedAfter);
        const QStringList said = takeSaid();
        EXPECT_EQ(said.contains(QString("armed %1").arg(r.armedAfter)), !r.commands.isEmpty());
        EXPECT_EQ(said.contains("axis"), r.act >= Function) << "a choice restarts the graph's time axis";
        EXPECT_EQ(ps.BufferRestart(), r.armedAfter ? 3 : 0) << "every arming starts new series";
        if (r.act == Power) {
            EXPECT_EQ(ps.SlowCount() + ps.FastCount(), 0) << "power empties the buffers";
        }
    }
    s->OptionUpdate = true;
    EXPECT_TRUE(sentBy([&] { s->chooseFunction(2), s->chooseRange(1); }).isEmpty()) << "the session's own marking";
}

// Recordings against a meter that answers like a real one: commands are
// echoed only after a delay, value lines keep arriving in between, and
// nothing waits for a tick before a key is pressed.
class Recordings : public SessionFixture {
protected:
    std::deque<std::pair<int, QByteArray>> echoes;  // (ticks to wait, answer)
    int delayTicks = 0;
    int next = 100;  // the next level, in tenths
    const char* slowKey = "leq";
    QStringList armedValues;  // values sent while armed since the last arming
    QList<QStringList> recordings;

    // The meter's traffic of one tick (its due echoes and a level), then the tick.
    void meterTick() {
        for (auto& e : echoes)
            --e.first;
        while (!echoes.empty() && echoes.front().first <= 0) {
            port->feed(echoes.front().second);
            echoes.pop_front();
        }
        sendLevel();
        echo(tick());
    }
    void sendLevel() {
        port->feed(QByteArray(slowKey) + ' ' + QByteArray::number(next) + " 0\r");
        if (s->armed()) armedValues << QString("%1,%2").arg(next / 10).arg(next % 10);
        ++next;
    }
    void echo(const QStringList& commands) {
        for (const QString& c : commands)
            if (c.startsWith("awm") || c.startsWith("swm") || c.startsWith("smm"))
                echoes.emplace_back(delayTicks, c.toLatin1() + '\r');
    }
    void arm() {
        echo(sentBy([&] { s->recordKey(); }));
        armedValues.clear();
    }
    // Ends the recording; a level arrives after the last tick, before the end.
    void end(const std::function<void()>& end) {
        sendLevel();
        echo(sentBy(end));
        recordings << armedValues;
    }
};

// Record, values, stop, record again: in every recorded function, with the
// meter's echo immediate, late or a second late, ended by every way there
// is. Each recording is in files of its own, whole, once.
TEST_F(Recordings, EveryArmingHasItsOwnFilesWithEveryValue) {
    const struct {
        const char* status;
        const char* key;
        int delay;
        void (Session::*end)();
    } rows[] = {
        {"gds 22203\r", "leq", 0, &Session::stopRecordKey}, {"gds 22203\r", "leq", 3, &Session::stopRecordKey},
        {"gds 22203\r", "leq", 10, &Session::recordKey},    {"gds 32203\r", "max", 10, &Session::stopRecordKey},
        {"gds 11203\r", "lp", 10, &Session::recordKey},     {"gds 22203\r", "leq", 2, &Session::powerKey},
        {"gds 11203\r", "lp", 0, &Session::connectionLost},  // the port vanishes
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(testing::Message() << "row " << &r - rows);
        QDir(recordDir()).removeRecursively();
        QDir().mkpath(recordDir());
        recordings.clear();
        echoes.clear();
        delayTicks = r.delay;
        slowKey = r.key;
        startDevice(r.status);
        meterTick();
        for (int recording = 0; recording < 3; ++recording) {
            arm();
            for (int t = 0; t < 12; ++t)
                meterTick();
            end([&] { (*s.*r.end)(); });
            if (r.end == &Session::connectionLost) startDevice(r.status);
            for (int t = 0; t < 12; ++t)  // values go on while not armed; the echoes arrive
                meterTick();
            clock.advanceMs(1000);  // the next files get names of their own
        }
        EXPECT_EQ(recordValues(), recordings);
    }
}

// Armed during the start-up sequence: the start-up's own "awm 1" and its
// late echo must not split the recording.
TEST_F(Recordings, ArmingDuringStartUpKeepsOneFile) {
    delayTicks = 4;
    slowKey = "lp";
    passGate();
    arm();
    for (int t = 0; t < 20; ++t) {
        feed("gds 11203\r");
        meterTick();
    }
    end([&] { s->stopRecordKey(); });
    EXPECT_EQ(recordValues(), recordings);
}

using Supervision = SessionFixture;

TEST_F(Supervision, AVanishedPortClosesTheBooksAndIsReopenedWhenItsDeviceIsBack) {
    startDevice();
    s->EnableRecording();
    feed("lp 700 0\r");
    tick();
    feed("lp 701 0\r");
    port->simulateGone();
    QCoreApplication::processEvents();  // the port reports its loss from a queued call
    EXPECT_EQ(recordValues(), QList<QStringList>({{"70,0", "70,1"}})) << "written before the buffers are emptied";
    const QString text = "text COM1 (" + meter() + ") disconnected \u2014 retrying";
    EXPECT_EQ(takeSaid().mid(3), QStringList({"axis", "offline opt", "lost", text}));
    s->retryPort();
    EXPECT_EQ(com->GetCOMPort(), 0) << "no device node yet";
    ASSERT_TRUE(QFile(meter()).open(QIODevice::WriteOnly));
    s->retryPort();
    EXPECT_EQ(com->GetCOMPort(), 1);
    EXPECT_EQ(takeSaid(), QStringList({"text "}));
    s->retryPort();
    EXPECT_EQ(port->openCount(), 2) << "reopened once";
    // Offline on an open port whose node has gone: gone as well.
    ASSERT_TRUE(QFile::remove(meter()));
    s->superviseLink();
    EXPECT_EQ(com->GetCOMPort(), 0);
    EXPECT_EQ(takeSaid(), QStringList({text}));
    // A device missing at the start is waited for the same way.
    s->releasePort();
    s->awaitPort(1);
    ASSERT_TRUE(QFile(meter()).open(QIODevice::WriteOnly));
    s->retryPort();
    EXPECT_EQ(com->GetCOMPort(), 1);
}

TEST_F(Supervision, ShutdownWritesWhatArrivedBeforeTheStopSequence) {
    startDevice();
    s->EnableRecording();
    feed("lp 700 0\r");
    tick();
    feed("lp 701 0\r");
    s->Timer1.start();
    EXPECT_EQ(sentBy([&] { EXPECT_TRUE(s->shutdown().isEmpty()); }), cmds({"SMM 0", "LDK 0"}));
    EXPECT_EQ(recordValues(), QList<QStringList>({{"70,0", "70,1"}}));
    EXPECT_FALSE(s->Timer1.isActive());
    s->onPortGone(1, meter(), QStringLiteral("gone"));
    EXPECT_TRUE(takeSaid().filter("text").isEmpty()) << "nothing is reconnected while ending";
}

// Unplug and replug cycles of a meter streaming fast values, re-armed at every
// start as a recording from the command line is, unplugged at every moment
// that matters: every fast value is in the files once, in order.
TEST_F(Supervision, NoFastValueIsLostOrDoubledAcrossUnplugs) {
    enum Moment { Held, BetweenTicks, PartialLine, TickBeforeClose };
    int sent = 0;
    QStringList expected;
    const auto fast = [&](int n) {
        for (int i = 0; i < n; ++i, ++sent) {  // 30,00 dB, 30,01 dB, ...
            const float v = std::pow(10.0f, (3000 + sent) / 1000.0f);
            uint32_t bits;
            std::memcpy(&bits, &v, 4);
            feed(QByteArray("p ").append(QByteArray::number(bits, 16).rightJustified(8, '0')).append("0\r"));
            expected << QString("%1,%2").arg(30 + sent / 100).arg(sent % 100, 2, 10, QLatin1Char('0'));
        }
    };
    s->setArmOnStart(true);
    for (int cycle = 0; cycle < 8; ++cycle) {
        const auto moment = Moment(cycle % 4);
        SCOPED_TRACE(testing::Message() << "cycle " << cycle);
        if (com->GetCOMPort() < 1) {
            ASSERT_TRUE(QFile(meter()).open(QIODevice::WriteOnly));
            s->retryPort();
        }
        startDevice();
        ASSERT_TRUE(s->armed());
        fast(30);  // a backlog handed over at once, before the first level
        tick();
        if (moment != Held) {
            for (int t = 0; t < 12; ++t) {
                if (t % 10 == 1) feed("lp 650 0\r");
                fast(2);
                tick();
            }
            fast(3);
        }
        if (moment == PartialLine) feed("p 4");
        port->simulateGone();
        if (moment == TickBeforeClose) s->Timer1_Timer();
        QCoreApplication::processEvents();
        ASSERT_FALSE(s->isOnline());
        clock.advanceMs(1000);  // the next files get names of their own
    }
    QStringList onDisk;
    for (const QStringList& file : recordValues(QStringLiteral("LPF")))
        onDisk += file;
    EXPECT_EQ(onDisk, expected);
}

// Each case posts its events at once; the command notes what it saw in $F.
// Had two run at the same time, "<" and ">" around the runs would not alternate.
TEST(EventCommandTest, OneAtATimeSlowFailingAndUnstartableCommands) {
    const struct {
        const char* script;  // after noting its start; none: a program that cannot be started
        int posts;
        int limitMs;
        size_t queue;
        const char* notes;
        QStringList log;  // the start of each line, after "--on-event PROGRAM "
    } cases[] = {
        {"sleep 0.2; echo '>' >>$F", 3, 30000, 16, "<start1\n>\n<end2\n>\n<start3\n>\n", {}},
        // Full queue: the oldest waiting one gives way, the newest runs.
        {"sleep 0.3; echo '>' >>$F",
         4,
         30000,
         1,
         "<start1\n>\n<end4\n>\n",
         {"is still busy: the event of 2026-03-04T05:14:02 (end) was dropped",
          "is still busy: the event of 2026-03-04T05:14:03 (start) was dropped"}},
        {"exec sleep 30", 2, 300, 16, "<start1\n<end2\n", QStringList(2, "took longer than 0.3 s and was killed")},
        {"exit 3", 1, 30000, 16, "<start1\n", {"ended with status 3"}},
        {"kill -9 $$", 1, 30000, 16, "<start1\n", {"was ended by a signal"}},
        {nullptr, 2, 30000, 16, "", QStringList(2, "could not be started")},
    };
    for (const auto& c : cases) {
        QTemporaryDir dir;
        qputenv("F", dir.filePath(QStringLiteral("notes")).toLocal8Bit());
        const QStringList command =
            c.script ? QStringList{"/bin/sh", "-c",
                                   QString("echo \"<$KESTRO_EVENT_PHASE$KESTRO_EVENT_COUNT\" >>$F; ") + c.script}
                     : QStringList{dir.path()};
        QStringList log;
        EventCommand cmd(
            command, [&](const QString& line) { log << line; }, c.limitMs, c.queue);
        for (int i = 1; i <= c.posts; ++i) {
            QProcessEnvironment event;
            event.insert("KESTRO_EVENT_PHASE", i % 2 ? "start" : "end");
            event.insert("KESTRO_EVENT_COUNT", QString::number(i));
            event.insert("KESTRO_EVENT_START", QStringLiteral("2026-03-04T05:14:%1").arg(i, 2, 10, QLatin1Char('0')));
            cmd.post(event);
        }
        const QDeadlineTimer bound(60000);  // against a hang only
        while (!cmd.idle() && !bound.hasExpired())
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
        QFile f(qEnvironmentVariable("F"));
        f.open(QIODevice::ReadOnly);
        EXPECT_EQ(f.readAll(), c.notes) << c.script;
        ASSERT_EQ(log.size(), c.log.size()) << log.join('\n').toStdString();
        for (int i = 0; i < log.size(); ++i)
            EXPECT_TRUE(log[i].startsWith("--on-event " + command[0] + ' ' + c.log[i])) << log[i].toStdString();
    }
}

// The processes of a group still there; a zombie counts only when it is ours to reap.
QStringList groupMembers(pid_t group) {
    QStringList members;
    for (const QString& pid : QDir("/proc").entryList(QDir::Dirs)) {
        const QByteArray stat = fileBytes("/proc/" + pid + "/stat");
        const QList<QByteArray> v = stat.mid(stat.lastIndexOf(')') + 2).split(' ');  // state, ppid, pgrp
        if (v.size() > 2 && v[2].toInt() == group && (v[0] != "Z" || v[1].toInt() == ::getpid())) members << pid;
    }
    return members;
}

// None of the recorder's secrets reach a command, whatever they are called. One
// that has started a child and hangs ends with its whole group at the time
// limit and with the program, by SIGKILL when it ignores SIGTERM.
TEST(EventCommandTest, NoSecretsInAndNothingLeftOfAHungCommand) {
    const char* vars[][3] = {{"KESTRO_SERVE_TOKEN", "serve-token", ""}, {"KESTRO_MQTT_PASSWORD", "mqtt-pass", ""},
                             {"KESTRO_OTHER_TOKEN", "other-token", ""}, {"SMTP_PASSWORD", "smtp-pass", ""},
                             {"COPY_OF_IT", "given-token", ""},         {"KESTRO_TOKEN_DIR", "/run/kept", "seen"},
                             {"PASSWORD_HINT", "kept-hint", "seen"}};
    for (const auto& v : vars)
        qputenv(v[0], v[1]);
    for (const char* trap : {"", "trap '' TERM; "}) {
        for (const bool atLimit : {true, false}) {
            SCOPED_TRACE(std::string(trap) + (atLimit ? "at the limit" : "with the program"));
            QTemporaryDir dir;
            const QString pg = dir.filePath("pg");
            QStringList log;
            auto cmd = std::make_unique<EventCommand>(
                QStringList{"/bin/sh", "-c", QString(trap) + "env >\"$0.env\"; sleep 300 & echo $$ >\"$0\"; wait; wait",
                            pg},
                [&](const QString& line) { log << line; }, atLimit ? 300 : 60000, 16, 300);
            cmd->setSecrets({"given-token", ""});
            QProcessEnvironment event;
            event.insert("KESTRO_EVENT_PHASE", "start");
            cmd->post(event);
            const QDeadlineTimer bound(20000);  // against a hang only
            while (!fileBytes(pg).endsWith('\n') && !bound.hasExpired())
                QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
            const QByteArray env = fileBytes(pg + ".env");
            EXPECT_TRUE(env.contains("KESTRO_EVENT_PHASE=start\n"));
            for (const auto& v : vars)
                EXPECT_EQ(env.contains(v[1]), *v[2] != 0) << v[0];
            const pid_t group = fileBytes(pg).trimmed().toInt();
            ASSERT_EQ(groupMembers(group).size(), 2);
            if (!atLimit) cmd.reset();
            while ((!groupMembers(group).isEmpty() || (cmd && !cmd->idle())) && !bound.hasExpired())
                QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 20);
            EXPECT_EQ(groupMembers(group), QStringList());
            EXPECT_EQ(
                log, atLimit ? QStringList{"--on-event /bin/sh took longer than 0.3 s and was killed"} : QStringList());
        }
    }
    for (const auto& v : vars)
        qunsetenv(v[0]);
}

}  // namespace
}  // namespace kestro::test
