#include "WindowFixture.h"

#include <QGroupBox>
#include <QLabel>

#include <array>
#include <string>

namespace kestro::test {
namespace {

using E = DisplayPanel;
const QString kTickError = QStringLiteral(": frmKestroRecord.Timer1.Error: ");

using PollCycle = WindowFixture;

TEST_F(PollCycle, DeviceAnsweringTheSerialNumberWalksTheStartUpSequence) {
    EXPECT_EQ(Tick(), Cmds({"gsn"}));
    EXPECT_FALSE(ps.KestroState.DeviceOnline);
    Feed("gsn 12345678\r");
    EXPECT_EQ(Tick(), Cmds({"gds"})) << "gate passed in the same tick";
    EXPECT_TRUE(ps.KestroState.DeviceOnline);
    EXPECT_EQ(started, 1);
    EXPECT_TRUE(w->cmdRecord->isEnabled());
    for (const char* step : {"smm 1", "gdv", "gdi", "ldk 3"}) {
        Feed("gds 11203\r");
        EXPECT_EQ(Tick(), Cmds({"gds", step}));
    }
    EXPECT_EQ(w->PanelText(2), QStringLiteral("Lp"));
    EXPECT_EQ(completed, 0);
    Feed("gds 11203\r");
    EXPECT_EQ(Tick(), Cmds({"gds", "awm 0", "swm 1"}));
    EXPECT_EQ(completed, 1);
    Feed("gds 11203\r");
    EXPECT_EQ(Tick(), Cmds({"gds"}));
    EXPECT_EQ(started + completed, 2) << "each signal once";
    EXPECT_EQ(CheckedMode(), 1);
    EXPECT_EQ(CheckedRange(), 2);
}

TEST_F(PollCycle, ArmingDuringStartUpKeepsTheFastValuesOn) {
    PassGate();
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

TEST_F(PollCycle, StartUpInInitialisationSendsNoFunctionAndShowsTheTestPattern) {
    PassGate();
    w->Reset_KestroDisplay();  // the test pattern must come from the function change
    for (int step = 2; step <= 5; ++step) {
        Feed("gds 01203\r");
        Tick();
    }
    Feed("gds 01203\r");
    EXPECT_EQ(Tick(), Cmds({"gds"}));
    EXPECT_EQ(w->InitStep, 7);
    EXPECT_EQ(w->PanelText(2), QStringLiteral("Initialisation"));
    EXPECT_EQ(CheckedMode(), 0);
    EXPECT_FALSE(w->optRange[0]->isEnabled());
    EXPECT_EQ(w->Picture1->digitIndex(0), 2);
    EXPECT_EQ(w->Picture1->digitIndex(3), 9);
}

TEST_F(PollCycle, LeavingInitialisationShowsWhatTheMeterReportsAgain) {
    StartDevice();
    // The same status before and after a pass through the test pattern.
    const struct {
        const char* status;
        const char* level;
        int bracket;
        bool autoLegend;
        int battery;
        std::array<int, 4> digits;
    } cases[] = {
        {"gds 11202\r", "lp 734 0\r", 2, false, 2, {11, 8, 4, 5}},    // low battery
        {"gds 11601\r", "lp err 0\r", 2, true, 1, {11, 14, 15, 15}},  // AUTO, empty battery, Err
        {"gds 21303\r", "leqs 655 0\r", 3, false, 3, {11, 7, 6, 6}},  // back into another function
        {"gds 11203\r", "lp 0 0\r", 2, false, 3, {11, 11, 11, 11}},   // Lp with level 0: blanked
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.status);
        Feed(c.status);
        Feed(c.level);
        Tick();
        std::string init = c.status;
        init[4] = '0';
        Feed(init.c_str());
        Tick();
        ASSERT_EQ(w->Picture1->pictureIndex(E::imgRange), 5) << "the test pattern";
        ASSERT_EQ(w->Picture1->digitIndex(1), 9);
        Feed(init.c_str());
        Tick();
        Feed(c.status);
        Tick();
        EXPECT_EQ(w->Picture1->pictureIndex(E::imgRange), c.bracket);
        EXPECT_EQ(w->Picture1->isShown(E::imgAuto), c.autoLegend);
        EXPECT_EQ(w->Picture1->pictureIndex(E::imgBatteryState), c.battery);
        for (int cell = 0; cell < 4; ++cell)
            EXPECT_EQ(w->Picture1->digitIndex(cell), c.digits[size_t(cell)]) << "cell " << cell;
    }
}

TEST_F(PollCycle, FunctionStepWaitsUntilTheDeviceHasReportedItsFunction) {
    PassGate("ldk\r", 5);  // answers that rearm the watchdog but report no function
    EXPECT_EQ(w->InitStep, 6);
    Feed("gds 21203\r");
    EXPECT_EQ(Tick(), Cmds({"gds", "awm 0", "swm 2"})) << "no 'swm 9999' from the reset sentinel";
}

TEST_F(PollCycle, SilenceForSixTicksLosesTheDevice) {
    StartDevice();
    w->EnableRecording();
    Feed("gds 11203\r");
    for (int i = 1; i <= 5; ++i) {
        EXPECT_EQ(Tick(), Cmds({"gds"})) << i;
        EXPECT_TRUE(ps.KestroState.DeviceOnline) << i;
    }
    EXPECT_EQ(Tick(), Cmds({"gds"})) << "selecting Initialisierung sends nothing";
    EXPECT_FALSE(ps.KestroState.DeviceOnline);
    EXPECT_EQ(lost, 1);
    EXPECT_EQ(w->PanelText(2), QStringLiteral("unknown"));
    EXPECT_EQ(w->PanelText(4), QStringLiteral("Recording disabled"));
    EXPECT_EQ(CheckedMode(), 0);
    for (QWidget* k : std::initializer_list<QWidget*>{w->cmdPower, w->cmdRecord, w->cmdStopRecord,
                                                      w->frmMeasurementMode, w->frmRange})
        EXPECT_FALSE(k->isEnabled()) << k->objectName().toStdString();
    ps.AppendReceived("half an answer");
    EXPECT_EQ(Tick(), Cmds({"gsn"})) << "offline: the serial number again";
    EXPECT_EQ(ps.RxCharCount, 0) << "the receive buffer is emptied";
}

TEST_F(PollCycle, ADeviceThatComesBackRunsTheWholeStartUpAgain) {
    StartDevice();
    for (int i = 0; i < 6; ++i)
        Tick();
    ASSERT_FALSE(ps.KestroState.DeviceOnline);
    StartDevice("gds 21103\r");
    EXPECT_EQ(started, 2);
    EXPECT_EQ(completed, 2);
    EXPECT_EQ(w->PanelText(2), QStringLiteral("LEQ"));
    EXPECT_EQ(CheckedRange(), 1);
}

TEST_F(PollCycle, FunctionChangesSelectWithoutCommandsAndRestartTheSeries) {
    StartDevice();
    const struct {
        const char* answer;
        const char* text;
        int option;
    } cases[] = {{"gds 22203\r", "LEQ", 2},
                 {"gds 31203\r", "MAX", 3},
                 {"gds 41203\r", "CAL", 4},
                 {"gds 51203\r", "Service", 5},
                 {"gds 11203\r", "Lp", 1}};
    for (const auto& c : cases) {
        ps.BufferRestart = 0;
        Feed(c.answer);
        EXPECT_EQ(Tick(), Cmds({"gds"})) << c.text;
        EXPECT_EQ(w->PanelText(2), QString::fromLatin1(c.text));
        EXPECT_EQ(CheckedMode(), c.option) << c.text;
        EXPECT_EQ(w->optRange[0]->isEnabled(), c.option == 1) << c.text;
        // Whichever answer reports the new function first: the next samples start new files.
        EXPECT_EQ(ps.BufferRestart, 3) << c.text;
    }
}

// The last calibration check shows after the four panels, whose texts stay.
TEST_F(PollCycle, CalibrationCheckShowsAfterTheFourPanels) {
    StartDevice();
    EXPECT_TRUE(w->calibrationPanel()->isHidden());
    Feed("gds 42203\rcal 941 0\r");
    Tick();
    EXPECT_EQ(w->PanelText(2), QStringLiteral("CAL"));
    EXPECT_FALSE(w->calibrationPanel()->isHidden());
    EXPECT_TRUE(w->calibrationPanel()->text().startsWith(QStringLiteral("Cal 94.1 dB ")))
        << w->calibrationPanel()->text().toStdString();
    EXPECT_TRUE(w->calibrationPanel()->toolTip().startsWith(QStringLiteral("Last calibration check: 20")));
}

TEST_F(PollCycle, VariantChangeAloneRestartsBothBuffers) {
    StartDevice();
    for (int expected : {3, 0}) {  // only a change restarts
        ps.BufferRestart = 0;
        Feed("gds 12203\r");
        Tick();
        EXPECT_EQ(ps.BufferRestart, expected);
    }
}

TEST_F(PollCycle, RangeCodesSelectBracketAutoLegendAndOptionWithoutCommands) {
    StartDevice();
    const struct {
        const char* answer;
        int bracket;
        bool autoLegend;
        int option;
    } cases[] = {{"gds 11603\r", 2, true, 0}, {"gds 11203\r", 2, false, 2}, {"gds 11103\r", 1, false, 1},
                 {"gds 11703\r", 3, true, 0}, {"gds 11303\r", 3, false, 3}, {"gds 11003\r", 4, false, 4}};
    for (const auto& c : cases) {
        Feed(c.answer);
        EXPECT_EQ(Tick(), Cmds({"gds"})) << c.answer;
        EXPECT_EQ(w->Picture1->pictureIndex(E::imgRange), c.bracket) << c.answer;
        EXPECT_EQ(w->Picture1->isShown(E::imgAuto), c.autoLegend) << c.answer;
        EXPECT_EQ(CheckedRange(), c.option) << c.answer;
    }
}

TEST_F(PollCycle, LeqLegendBlinksInVariantTwoOnly) {
    StartDevice("gds 22203\r");
    // The legend over the blink phases on, off, on, off.
    const struct {
        const char* answer;
        std::array<int, 4> legend;
    } cases[] = {{"gds 22203\r", {6, 3, 6, 3}},
                 {"gds 21203\r", {3, 3, 3, 3}},
                 {"gds 32203\r", {6, 4, 6, 4}},
                 {"gds 11203\r", {2, 2, 2, 2}}};
    for (const auto& c : cases) {
        w->BlinkCounter = 0;
        for (int phase = 0; phase < 4; ++phase) {
            w->BlinkTimer_Timer();
            Feed(c.answer);
            Tick();
            EXPECT_EQ(w->Picture1->modeIndex(), c.legend[size_t(phase)]) << c.answer << " phase " << phase;
        }
    }
}

TEST_F(PollCycle, FailuresInATickAreLoggedOncePerChangeAndTheTickGoesOn) {
    StartDevice();
    for (int i = 0; i < 6; ++i) {
        Feed("gds 71203\r");  // a function code without option or legend
        if (i == 0) Feed("lp err 0\r");
        Tick();
    }
    EXPECT_EQ(LogCount(kTickError + QString::number(kErrNoSuchOption)), 1);
    EXPECT_EQ(LogCount(kTickError + QString::number(kErrInvalidPicture)), 1);
    EXPECT_EQ(w->Picture1->digitIndex(1), 14) << "the level after the failures is still shown";
    Feed("gds 1120C\r");  // a battery value without picture
    Tick();
    EXPECT_EQ(LogCount(kTickError + QString::number(kErrInvalidPicture)), 2);
    EXPECT_EQ(w->Picture1->pictureIndex(E::imgBatteryState), 3) << "the previous picture stays";
    EXPECT_TRUE(ps.KestroState.DeviceOnline);
}

TEST_F(PollCycle, ArmedRecordingHandsSamplesOverEveryTick) {
    StartDevice();
    w->EnableRecording();
    Feed("lp 700 0\r");
    Feed("lp 701 0\r");
    Tick();
    Feed("lp 702 0\r");
    Tick();
    EXPECT_EQ(w->recorder().LocalSlowCount(), 3);
    const QStringList files = RecordFiles();
    ASSERT_EQ(files.size(), 1);
    QFile f(recordDir() + QLatin1Char('/') + files[0]);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_TRUE(files[0].startsWith(QStringLiteral("NoiseData_LP_")));
    EXPECT_EQ(f.readAll().count('\n'), 3);
}

TEST_F(PollCycle, ASampleOvertakingTheArmingConfirmationStaysInTheRecordFile) {
    StartDevice();
    w->EnableRecording();
    Feed("lp 700 0\r");  // measured before the meter has confirmed the arming
    Tick();
    clock.AdvanceMs(1000);
    Feed("awm 1\r");
    Feed("lp 701 0\r");
    Tick();
    const QStringList files = RecordFiles();
    ASSERT_EQ(files.size(), 1) << files.join(QLatin1Char(' ')).toStdString();
    QFile f(recordDir() + QLatin1Char('/') + files[0]);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_EQ(f.readAll().count('\n'), 2);
}

TEST_F(PollCycle, SamplesSinceTheLastTickAreWrittenWhenTheDeviceIsLost) {
    StartDevice();
    w->EnableRecording();
    Feed("lp 700 0\r");
    Tick();
    Feed("lp 701 0\r");
    Feed("lp 702 0\r");
    w->ConnectionLost();  // unplugged before the next tick
    const QStringList files = RecordFiles();
    ASSERT_EQ(files.size(), 1);
    QFile f(recordDir() + QLatin1Char('/') + files[0]);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    const QByteArray text = f.readAll();
    EXPECT_EQ(text.count('\n'), 3);
    EXPECT_TRUE(text.endsWith("; 70,2\r\n")) << text.constData();
    EXPECT_EQ(ps.SlowCount(), 0);
}

}  // namespace
}  // namespace kestro::test
