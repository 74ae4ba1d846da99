#include "WindowFixture.h"

#include <QGroupBox>

namespace kestro::test {
namespace {

using E = DisplayPanel;
const QString kTickError = QStringLiteral(": frmKestroRecord.Timer1.Error: ");

class PollCycle : public WindowFixture {};

TEST_F(PollCycle, LoadResetsBothRecordsToTheirSentinels) {
    const KestroStateRecord& s = ps.KestroState;
    const KestroStateRecord& o = w->KestroStateOld;
    EXPECT_FALSE(s.DeviceOnline);
    EXPECT_TRUE(o.DeviceOnline);
    EXPECT_EQ(s.DataValid, 0);
    EXPECT_EQ(o.DataValid, 0);
    for (int16_t KestroStateRecord::*f :
         {&KestroStateRecord::DevFunction, &KestroStateRecord::DevVariant, &KestroStateRecord::DevRange,
          &KestroStateRecord::DevLevel, &KestroStateRecord::DevLevelStatus, &KestroStateRecord::DevMeasMode,
          &KestroStateRecord::DevKeyState, &KestroStateRecord::DevBattery, &KestroStateRecord::DevOptions,
          &KestroStateRecord::DevFlash, &KestroStateRecord::DevVBatt, &KestroStateRecord::DevVCpu,
          &KestroStateRecord::DevVAna, &KestroStateRecord::DevTemp, &KestroStateRecord::DevSupply}) {
        EXPECT_EQ(s.*f, 9999);
        EXPECT_EQ(o.*f, 9998);
    }
    EXPECT_EQ(s.DevSerialNo, 999999999);
    EXPECT_EQ(o.DevSerialNo, 999999998);
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(s.DevCalCoef[size_t(i)], 9.99995f);
        EXPECT_EQ(o.DevCalCoef[size_t(i)], 9.99994f);
    }
    EXPECT_EQ(FixedTextToString(s.DevSwRev), "empty");
    EXPECT_EQ(FixedTextToString(s.DevHwRev), "empty");
    EXPECT_EQ(FixedTextToString(o.DevSwRev), "");
    EXPECT_EQ(w->InitStep, 1);
    EXPECT_FALSE(w->OptionUpdate);
    EXPECT_EQ(w->Timer1.interval(), 100);
    EXPECT_EQ(w->BlinkTimer.interval(), 500);
    EXPECT_FALSE(w->Timer1.isActive()) << "built without timers";
    // Load does not blank the designed test pattern.
    EXPECT_EQ(w->Picture1->digitIndex(0), 2);
    EXPECT_EQ(w->Picture1->digitIndex(3), 9);
}

TEST_F(PollCycle, DeviceAnsweringTheSerialNumberWalksTheStartUpSequence) {
    EXPECT_EQ(Tick(), Cmds({"gsn"}));
    EXPECT_FALSE(ps.KestroState.DeviceOnline);
    EXPECT_EQ(w->ConnectionPicture(), 1);

    Feed("gsn 12345678\r");
    EXPECT_EQ(Tick(), Cmds({"gds"}));
    EXPECT_TRUE(ps.KestroState.DeviceOnline);
    EXPECT_EQ(w->ConnectionPicture(), 2);
    EXPECT_EQ(w->InitStep, 2) << "gate passed in the same tick";
    EXPECT_EQ(ps.KestroState.DataValid, 128);
    EXPECT_EQ(started, 1);
    EXPECT_TRUE(w->cmdPower->isEnabled());
    EXPECT_EQ(w->cmdPower->pictureKey(), QStringLiteral("Power"));
    EXPECT_TRUE(w->cmdRecord->isEnabled());
    EXPECT_EQ(w->cmdRecord->pictureKey(), QStringLiteral("RecordStopped"));
    EXPECT_FALSE(w->cmdStopRecord->isEnabled());
    EXPECT_EQ(w->cmdStopRecord->pictureKey(), QStringLiteral("StopRecordDisabled"));
    EXPECT_TRUE(w->frmMeasurementMode->isEnabled());
    EXPECT_TRUE(w->frmRange->isEnabled());
    EXPECT_TRUE(w->Picture1->isShown(E::imgSymbolDBA));
    EXPECT_EQ(w->Picture1->pictureIndex(E::imgOverflow), 1);

    const char* steps[] = {"smm 1", "gdv", "gdi", "ldk 3"};
    for (const char* step : steps) {
        Feed("gds 11203\r");
        EXPECT_EQ(Tick(), Cmds({"gds", step}));
    }
    EXPECT_EQ(w->PanelText(2), QStringLiteral("Lp"));
    EXPECT_EQ(completed, 0);
    Feed("gds 11203\r");
    EXPECT_EQ(Tick(), Cmds({"gds", "awm 0", "swm 1"}));
    EXPECT_EQ(w->InitStep, 7);
    EXPECT_EQ(completed, 1);
    Feed("gds 11203\r");
    EXPECT_EQ(Tick(), Cmds({"gds"}));
    EXPECT_EQ(started, 1);
    EXPECT_EQ(completed, 1);

    // What the device reported is on the window.
    EXPECT_EQ(CheckedMode(), 1);
    EXPECT_EQ(CheckedRange(), 2);
    EXPECT_EQ(w->Picture1->modeIndex(), 2);
    EXPECT_EQ(w->Picture1->pictureIndex(E::imgRange), 2);
    EXPECT_FALSE(w->Picture1->isShown(E::imgAuto));
    EXPECT_EQ(w->Picture1->pictureIndex(E::imgBatteryState), 3);
    EXPECT_TRUE(w->optRange[0]->isEnabled());
}

TEST_F(PollCycle, StartUpInInitialisationSendsNoFunctionAndShowsTheTestPattern) {
    Tick();
    Feed("gsn 12345678\r");
    Tick();
    w->Reset_KestroDisplay();
    for (const char* step : {"smm 1", "gdv", "gdi", "ldk 3"}) {
        Feed("gds 01203\r");
        EXPECT_EQ(Tick(), Cmds({"gds", step}));
    }
    Feed("gds 01203\r");
    EXPECT_EQ(Tick(), Cmds({"gds"}));
    EXPECT_EQ(w->InitStep, 7);
    EXPECT_EQ(w->PanelText(2), QStringLiteral("Initialisation"));
    EXPECT_EQ(CheckedMode(), 0);
    EXPECT_FALSE(w->optRange[0]->isEnabled());
    const DisplayPanel& d = *w->Picture1;
    EXPECT_EQ(d.digitIndex(0), 2);
    for (int i = 1; i < 4; ++i) EXPECT_EQ(d.digitIndex(i), 9);
    EXPECT_EQ(d.modeIndex(), 1);
    EXPECT_EQ(d.pictureIndex(E::imgRange), 5) << "no display refresh in Initialisation";
    EXPECT_TRUE(d.isShown(E::imgAuto));
}

TEST_F(PollCycle, ArmingDuringStartUpKeepsTheFastValuesOn) {
    Tick();
    Feed("gsn 12345678\r");
    Tick();
    w->cmdRecord_MouseDown();  // the key is usable from the gate on
    w->cmdRecord_MouseUp();
    for (int step = 2; step <= 5; ++step) {
        Feed("gds 11203\r");
        Tick();
    }
    Feed("gds 11203\r");
    EXPECT_EQ(Tick(), Cmds({"gds", "awm 1", "swm 1"})) << "an 'awm 0' here would silence the armed fast stream";
    EXPECT_EQ(ps.RecordState, 1);
}

TEST_F(PollCycle, FunctionStepWaitsUntilTheDeviceHasReportedItsFunction) {
    Tick();
    Feed("gsn 12345678\r");
    Tick();
    for (int i = 0; i < 4; ++i) {
        Feed("ldk\r");  // answers that rearm the watchdog but report no function
        Tick();
    }
    EXPECT_EQ(w->InitStep, 6);
    Feed("ldk\r");
    EXPECT_EQ(Tick(), Cmds({"gds"})) << "no 'swm 9999' from the reset sentinel";
    EXPECT_EQ(w->InitStep, 6);
    Feed("gds 21203\r");
    EXPECT_EQ(Tick(), Cmds({"gds", "awm 0", "swm 2"}));
    EXPECT_EQ(w->InitStep, 7);
}

TEST_F(PollCycle, SilenceForSixTicksLosesTheDevice) {
    StartDevice();
    w->EnableRecording();
    Feed("gds 11203\r");  // the last answer
    port->ClearWritten();
    for (int i = 1; i <= 5; ++i) {
        EXPECT_EQ(Tick(), Cmds({"gds"})) << i;
        EXPECT_TRUE(ps.KestroState.DeviceOnline) << i;
    }
    EXPECT_EQ(lost, 0);
    EXPECT_EQ(Tick(), Cmds({"gds"})) << "the option selection sends nothing";
    EXPECT_FALSE(ps.KestroState.DeviceOnline);
    EXPECT_EQ(lost, 1);
    EXPECT_EQ(w->PanelText(2), QStringLiteral("unknown"));
    EXPECT_EQ(w->PanelText(4), QStringLiteral("Recording disabled"));
    EXPECT_EQ(ps.RecordState, 0);
    EXPECT_EQ(w->ConnectionPicture(), 1);
    EXPECT_EQ(CheckedMode(), 0);
    EXPECT_FALSE(w->OptionUpdate);
    EXPECT_FALSE(w->frmMeasurementMode->isEnabled());
    EXPECT_FALSE(w->frmRange->isEnabled());
    struct Key {
        PictureButton* key;
        const char* picture;
    };
    for (const Key& k : {Key{w->cmdPower, "PowerDisabled"}, Key{w->cmdRecord, "RecordStoppedDisabled"},
                         Key{w->cmdStopRecord, "StopRecordDisabled"}}) {
        EXPECT_FALSE(k.key->isEnabled()) << k.picture;
        EXPECT_EQ(k.key->pictureKey(), QString::fromLatin1(k.picture));
    }
    const DisplayPanel& d = *w->Picture1;
    for (int i = 0; i < 4; ++i) EXPECT_EQ(d.digitIndex(i), 11);
    EXPECT_FALSE(d.isShown(E::imgSymbolDBA));
    EXPECT_EQ(ps.KestroState.DevSerialNo, 999999999);
    EXPECT_EQ(w->InitStep, 1);
    // Offline: the serial number is asked for again and the receive buffer is emptied every tick.
    ps.AppendReceived("half an answer");
    EXPECT_EQ(Tick(), Cmds({"gsn"}));
    EXPECT_EQ(ps.RxCharCount, 0);
    EXPECT_EQ(lost, 1);
}

TEST_F(PollCycle, ADeviceThatComesBackRunsTheWholeStartUpAgain) {
    StartDevice();
    for (int i = 0; i < 6; ++i) Tick();
    ASSERT_FALSE(ps.KestroState.DeviceOnline);
    StartDevice("gds 21103\r");
    EXPECT_EQ(started, 2);
    EXPECT_EQ(completed, 2);
    EXPECT_EQ(w->PanelText(2), QStringLiteral("LEQ"));
    EXPECT_EQ(CheckedRange(), 1);
}

TEST_F(PollCycle, FunctionChangeLpToLeqSelectsWithoutCommandsOrRestart) {
    StartDevice();
    ps.BufferRestart = 0;
    Feed("gds 22203\r");  // LEQ, and a new variant in the same answer
    EXPECT_EQ(Tick(), Cmds({"gds"}));
    EXPECT_EQ(w->PanelText(2), QStringLiteral("LEQ"));
    EXPECT_EQ(CheckedMode(), 2);
    EXPECT_FALSE(w->optRange[0]->isEnabled());
    EXPECT_EQ(ps.BufferRestart, 0);
    EXPECT_EQ(w->KestroStateOld.DevFunction, 2);
    EXPECT_EQ(w->KestroStateOld.DevVariant, 2);

    struct Case {
        const char* answer;
        const char* text;
        int option;
    };
    for (const Case& c : {Case{"gds 31203\r", "MAX", 3}, Case{"gds 41203\r", "CAL", 4},
                          Case{"gds 51203\r", "Service", 5}, Case{"gds 11203\r", "Lp", 1}}) {
        Feed(c.answer);
        EXPECT_EQ(Tick(), Cmds({"gds"})) << c.text;
        EXPECT_EQ(w->PanelText(2), QString::fromLatin1(c.text));
        EXPECT_EQ(CheckedMode(), c.option) << c.text;
        EXPECT_EQ(w->optRange[0]->isEnabled(), c.option == 1) << c.text;
    }
    // Calibration and Service options lie outside the frame: no visible option is marked then.
    Feed("gds 41203\r");
    Tick();
    for (int i : {1, 2, 3}) EXPECT_FALSE(w->optMeasurementMode[size_t(i)]->isChecked());
    EXPECT_TRUE(w->optMeasurementMode[4]->visibleRegion().isEmpty());
}

TEST_F(PollCycle, VariantChangeAloneRestartsBothBuffers) {
    StartDevice();
    ps.BufferRestart = 0;
    Feed("gds 12203\r");
    Tick();
    EXPECT_EQ(ps.BufferRestart, 3);
    EXPECT_EQ(w->KestroStateOld.DevVariant, 2);
    ps.BufferRestart = 0;
    Feed("gds 12203\r");
    Tick();
    EXPECT_EQ(ps.BufferRestart, 0) << "only a change restarts";
}

TEST_F(PollCycle, RangeCodesSelectBracketAutoLegendAndOptionWithoutCommands) {
    StartDevice();
    struct Case {
        const char* answer;
        int bracket;
        bool autoLegend;
        int option;
    };
    const Case cases[] = {
        {"gds 11603\r", 2, true, 0}, {"gds 11203\r", 2, false, 2}, {"gds 11103\r", 1, false, 1},
        {"gds 11703\r", 3, true, 0}, {"gds 11303\r", 3, false, 3}, {"gds 11003\r", 4, false, 4},
    };
    for (const Case& c : cases) {
        Feed(c.answer);
        EXPECT_EQ(Tick(), Cmds({"gds"})) << c.answer;
        EXPECT_EQ(w->Picture1->pictureIndex(E::imgRange), c.bracket) << c.answer;
        EXPECT_EQ(w->Picture1->isShown(E::imgAuto), c.autoLegend) << c.answer;
        EXPECT_EQ(CheckedRange(), c.option) << c.answer;
        EXPECT_FALSE(w->OptionUpdate);
    }
}

TEST_F(PollCycle, LevelAndStatusReachTheDisplay) {
    StartDevice();
    Feed("lp 734 5\r");
    Tick();
    const DisplayPanel& d = *w->Picture1;
    EXPECT_EQ(d.digitIndex(0), 11);
    EXPECT_EQ(d.digitIndex(1), 8);
    EXPECT_EQ(d.digitIndex(2), 4);
    EXPECT_EQ(d.digitIndex(3), 5);
    EXPECT_EQ(d.pictureIndex(E::imgOverflow), 2);
    EXPECT_EQ(d.pictureIndex(E::imgUnderflow), 2);
    Feed("lp err 0\r");
    Feed("gds 11203\r");
    Tick();
    EXPECT_EQ(d.digitIndex(1), 14);
    EXPECT_FALSE(d.isShown(E::imgDecimalPoint));
    EXPECT_EQ(d.pictureIndex(E::imgOverflow), 1);
    Feed("lp 1005 0\r");
    Tick();
    EXPECT_EQ(d.digitIndex(0), 2);
    EXPECT_TRUE(d.isShown(E::imgDecimalPoint));
    Feed("gds 11202\r");
    Tick();
    EXPECT_EQ(d.pictureIndex(E::imgBatteryState), 2);
}

TEST_F(PollCycle, LeqLegendBlinksInVariantTwoOnly) {
    StartDevice("gds 22203\r");
    struct Case {
        const char* answer;
        std::array<int, 4> legend;  // over four blink phases: true, false, true, false
    };
    for (const Case& c : {Case{"gds 22203\r", {6, 3, 6, 3}}, Case{"gds 21203\r", {3, 3, 3, 3}},
                          Case{"gds 32203\r", {6, 4, 6, 4}}, Case{"gds 43203\r", {6, 5, 6, 5}},
                          Case{"gds 11203\r", {2, 2, 2, 2}}}) {
        w->BlinkCounter = 0;
        for (int phase = 0; phase < 4; ++phase) {
            w->BlinkTimer_Timer();
            EXPECT_EQ(w->BlinkPhase, phase % 2 == 0) << "odd counts are the dark phase";
            Feed(c.answer);
            Tick();
            EXPECT_EQ(w->Picture1->modeIndex(), c.legend[size_t(phase)]) << c.answer << " phase " << phase;
            EXPECT_TRUE(w->Picture1->isShown(E::imgMode));
        }
    }
}

TEST_F(PollCycle, NoPortMeansNothingIsSentAndNothingChanges) {
    com->CloseCOMPort();
    port->ClearWritten();
    for (int i = 0; i < 3; ++i) {
        w->Timer1_Timer();
        EXPECT_TRUE(port->written().isEmpty());
    }
    EXPECT_FALSE(ps.KestroState.DeviceOnline);
    EXPECT_EQ(w->PanelText(2), QStringLiteral("unknown"));
    EXPECT_EQ(lost, 0);
}

TEST_F(PollCycle, ThePortClosingUnderAnOnlineDeviceLosesIt) {
    StartDevice();
    com->CloseCOMPort();
    w->Timer1_Timer();
    EXPECT_FALSE(ps.KestroState.DeviceOnline);
    EXPECT_EQ(lost, 1);
    EXPECT_FALSE(w->cmdRecord->isEnabled());
}

TEST_F(PollCycle, ConnectionLostFromOutsideNeedsAFreshAnswer) {
    StartDevice();
    Feed("gds 11203\r");
    w->ConnectionLost();
    EXPECT_FALSE(ps.KestroState.DeviceOnline);
    EXPECT_EQ(lost, 1);
    EXPECT_EQ(ps.AnswerWatchdog, 0);
    EXPECT_EQ(Tick(), Cmds({"gsn"}));
    EXPECT_FALSE(ps.KestroState.DeviceOnline) << "the stale watchdog does not bring it back";
    w->ConnectionLost();
    EXPECT_EQ(lost, 1) << "nothing to lose twice";
}

TEST_F(PollCycle, FailuresInATickAreLoggedOncePerChangeAndTheTickGoesOn) {
    StartDevice();
    Feed("gds 71203\r");  // a function code without option or legend
    Feed("lp err 0\r");  // an error reading leaves the function alone
    Tick();
    EXPECT_EQ(LogCount(kTickError + QString::number(kErrNoSuchOption)), 1);
    EXPECT_EQ(LogCount(kTickError + QString::number(kErrInvalidPicture)), 1);
    EXPECT_EQ(w->PanelText(2), QStringLiteral("Lp")) << "no status text for an unknown function";
    EXPECT_EQ(w->Picture1->digitIndex(1), 14) << "the level after the failures is still shown";
    EXPECT_FALSE(w->OptionUpdate);
    for (int i = 0; i < 5; ++i) {
        Feed("gds 71203\r");
        Tick();
    }
    EXPECT_EQ(LogCount(kTickError + QString::number(kErrNoSuchOption)), 1);
    EXPECT_EQ(LogCount(kTickError + QString::number(kErrInvalidPicture)), 1);
    // Battery value without picture: logged once, the previous picture stays.
    Feed("gds 1120C\r");
    Tick();
    EXPECT_EQ(LogCount(kTickError + QString::number(kErrInvalidPicture)), 2);
    EXPECT_EQ(w->Picture1->pictureIndex(E::imgBatteryState), 3);
    EXPECT_TRUE(ps.KestroState.DeviceOnline);
}

TEST_F(PollCycle, ArmedRecordingHandsSamplesOverEveryTick) {
    StartDevice();
    w->EnableRecording();
    Feed("lp 700 0\r");
    Feed("lp 701 0\r");
    ASSERT_EQ(ps.RecordState, 2);
    Tick();
    EXPECT_EQ(w->recorder().LocalSlowCount, ps.SlowCount);
    EXPECT_EQ(ps.SlowCount, 2);
    Feed("lp 702 0\r");
    Tick();
    EXPECT_EQ(w->recorder().LocalSlowCount, 3);
    const QStringList files = QDir(recordDir()).entryList(QDir::Files);
    ASSERT_EQ(files.size(), 1);
    EXPECT_TRUE(files[0].startsWith(QStringLiteral("NoiseData_LP_")));
}

}  // namespace
}  // namespace kestro::test
