#include "WindowFixture.h"

#include <QGroupBox>
#include <QTest>

namespace kestro::test {
namespace {

class FrontPanel : public WindowFixture {
protected:
    void SetUp() override {
        WindowFixture::SetUp();
        StartDevice();
        port->ClearWritten();
    }
    // Press and release with the mouse; the commands of each half and the key's picture in between.
    struct Click {
        QStringList down, up;
        QString pictureWhileHeld;
    };
    Click Press(PictureButton* key) {
        Click c;
        port->ClearWritten();
        QTest::mousePress(key, Qt::LeftButton, {}, QPoint(10, 10));
        c.down = port->commands();
        c.pictureWhileHeld = key->pictureKey();
        port->ClearWritten();
        QTest::mouseRelease(key, Qt::LeftButton, {}, QPoint(10, 10));
        c.up = port->commands();
        return c;
    }
    QStringList ClickOption(QRadioButton* opt) {
        port->ClearWritten();
        QTest::mouseClick(opt, Qt::LeftButton, {}, QPoint(8, opt->height() / 2));
        return port->commands();
    }
    void ExpectArmed(bool armed) {
        EXPECT_EQ(ps.RecordState != 0, armed);
        EXPECT_EQ(w->PanelText(4), armed ? QStringLiteral("Recording enabled") : QStringLiteral("Recording disabled"));
        EXPECT_EQ(w->cmdRecord->pictureKey(), armed ? QStringLiteral("RecordStarted") : QStringLiteral("RecordStopped"));
        EXPECT_EQ(w->cmdStopRecord->isEnabled(), armed);
        EXPECT_EQ(w->cmdStopRecord->pictureKey(), armed ? QStringLiteral("StopRecord") : QStringLiteral("StopRecordDisabled"));
        EXPECT_EQ(w->frmMeasurementMode->isEnabled(), !armed);
        EXPECT_EQ(w->frmRange->isEnabled(), !armed);
    }
};

TEST_F(FrontPanel, RecordKeyArmsAndDisarms) {
    ps.BufferRestart = 0;
    Click arm = Press(w->cmdRecord);
    EXPECT_EQ(arm.down, Cmds({"swm 1", "awm 1"}));
    EXPECT_EQ(arm.pictureWhileHeld, QStringLiteral("RecordStartedPressed"));
    EXPECT_TRUE(arm.up.isEmpty());
    ExpectArmed(true);
    EXPECT_EQ(ps.RecordState, 1);
    EXPECT_EQ(ps.BufferRestart, 3) << "Lp starts new series itself";

    Click disarm = Press(w->cmdRecord);
    EXPECT_EQ(disarm.down, Cmds({"awm 0", "smm 1"}));
    EXPECT_EQ(disarm.pictureWhileHeld, QStringLiteral("RecordStoppedPressed"));
    ExpectArmed(false);
}

TEST_F(FrontPanel, StopKeyDisarmsOnlyWhileArmed) {
    Press(w->cmdRecord);
    port->ClearWritten();
    QTest::mousePress(w->cmdStopRecord, Qt::LeftButton);
    EXPECT_EQ(port->commands(), Cmds({"awm 0", "smm 1"}));
    EXPECT_EQ(w->cmdStopRecord->pictureKey(), QStringLiteral("StopRecordDisabledPressed"));
    EXPECT_EQ(w->cmdRecord->pictureKey(), QStringLiteral("RecordStopped"));
    EXPECT_TRUE(w->cmdStopRecord->isEnabled()) << "still held";
    EXPECT_TRUE(w->frmRange->isEnabled());
    QTest::mouseRelease(w->cmdStopRecord, Qt::LeftButton);
    ExpectArmed(false);

    // Disabled while not armed: a click does not reach it.
    port->ClearWritten();
    Click c = Press(w->cmdStopRecord);
    EXPECT_TRUE(c.down.isEmpty());
    ExpectArmed(false);
}

TEST_F(FrontPanel, PowerKeySendsSwm0FirstAndEmptiesTheBuffers) {
    Press(w->cmdRecord);
    Feed("lp 700 0\r");
    ASSERT_GT(ps.SlowCount, 0);
    Click c = Press(w->cmdPower);
    EXPECT_EQ(c.down, Cmds({"swm 0", "awm 0", "smm 1"}));
    EXPECT_EQ(c.pictureWhileHeld, QStringLiteral("PowerPressed"));
    EXPECT_EQ(w->cmdPower->pictureKey(), QStringLiteral("Power"));
    EXPECT_EQ(ps.SlowCount, 0);
    EXPECT_EQ(ps.FastCount, 0);
    ExpectArmed(false);
}

TEST_F(FrontPanel, ArmingInInitialisationSendsSwmWithoutDigit) {
    Feed("gds 01203\r");
    Tick();
    ASSERT_EQ(ps.KestroState.DevFunction, 0);
    Click c = Press(w->cmdRecord);
    EXPECT_EQ(c.down, Cmds({"swm ", "awm 1"}));
}

TEST_F(FrontPanel, ArmingFromTheApplicationShowsOnTheKeys) {
    w->EnableRecording();
    ExpectArmed(true);
    w->DisableRecording();
    ExpectArmed(false);
}

TEST_F(FrontPanel, ReleaseAfterTheDeviceWasLostFindsRecordingOff) {
    port->ClearWritten();
    QTest::mousePress(w->cmdRecord, Qt::LeftButton);
    ASSERT_EQ(ps.RecordState, 1);
    for (int i = 0; i < 6; ++i) Tick();
    ASSERT_FALSE(ps.KestroState.DeviceOnline);
    EXPECT_FALSE(w->cmdRecord->isHeld());
    QTest::mouseRelease(w->cmdRecord, Qt::LeftButton);
    EXPECT_EQ(w->cmdRecord->pictureKey(), QStringLiteral("RecordStoppedDisabled"));
}

TEST_F(FrontPanel, OptionClicksSendTheirSequences) {
    struct Case {
        const char* status;  // the device's state before the click
        bool range;
        int index;
        QStringList commands;
    };
    const Case cases[] = {
        {"gds 11203\r", false, 2, Cmds({"swm 2", "awm 0", "smm 1"})},
        {"gds 21103\r", false, 3, Cmds({"swm 3", "awm 0", "smm 1"})},
        {"gds 31203\r", false, 1, Cmds({"swm 1", "awm 0", "smm 1"})},
        {"gds 21103\r", true, 2, Cmds({"swm 2", "smr 2", "awm 0", "smm 1"})},
        {"gds 11203\r", true, 0, Cmds({"swm 1", "smr 0", "awm 0", "smm 1"})},
        {"gds 11203\r", true, 3, Cmds({"swm 1", "smr 3", "awm 0", "smm 1"})},
        {"gds 31303\r", true, 1, Cmds({"swm 3", "smr 1", "awm 0", "smm 1"})},
    };
    for (const Case& c : cases) {
        Feed(c.status);
        Tick();
        QRadioButton* opt = c.range ? w->optRange[size_t(c.index)] : w->optMeasurementMode[size_t(c.index)];
        ASSERT_TRUE(opt->isEnabled() && opt->isVisibleTo(w.get())) << c.status << c.index;
        EXPECT_EQ(ClickOption(opt), c.commands) << c.status << (c.range ? " range " : " mode ") << c.index;
        EXPECT_TRUE(opt->isChecked()) << "stays marked until the device reports";
    }
}

TEST_F(FrontPanel, AnOptionClickRestartsTheTimeAxis) {
    Recorder& r = w->recorder();
    // One sample in the window's slow series at 10:00:17 (day 46000).
    const double t = 46000.0 + (10 * 3600 + 17) / 86400.0;
    r.LocalSlowBuffer.assign(1001, MeasurementRecord{});
    r.LocalSlowBuffer[0].Timestamp = t;
    r.LocalSlowBuffer[1].Timestamp = t;
    r.LocalSlowBuffer[1].Flags = 1;
    r.LocalSlowCount = 1;
    ASSERT_EQ(r.Graph().GraphStartTime, 0.0);
    EXPECT_EQ(ClickOption(w->optRange[1]), Cmds({"swm 1", "smr 1", "awm 0", "smm 1"}));
    EXPECT_DOUBLE_EQ(r.Graph().GraphStartTime, 46000.0 + 10 * 3600 / 86400.0) << "rounded down to 30 s";
}

TEST_F(FrontPanel, ProgrammaticSelectionsSendNothingButUserClicksAlwaysDo) {
    w->OptionUpdate = true;
    w->optMeasurementMode_Click(2);
    w->optRange_Click(1);
    EXPECT_TRUE(port->written().isEmpty());
    w->OptionUpdate = false;
    // A click on the option already marked still sends.
    ASSERT_TRUE(w->optMeasurementMode[1]->isChecked());
    EXPECT_EQ(ClickOption(w->optMeasurementMode[1]), Cmds({"swm 1", "awm 0", "smm 1"}));
}

TEST_F(FrontPanel, OptionsTheUserCannotChooseAreOutOfSightAndReach) {
    struct Case {
        QRadioButton* opt;
        bool reachable;
    };
    const Case cases[] = {{w->optMeasurementMode[0], false}, {w->optMeasurementMode[1], true},
                          {w->optMeasurementMode[2], true},  {w->optMeasurementMode[3], true},
                          {w->optMeasurementMode[4], false}, {w->optMeasurementMode[5], false},
                          {w->optRange[0], true},            {w->optRange[1], true},
                          {w->optRange[2], true},            {w->optRange[3], true},
                          {w->optRange[4], false}};
    for (const Case& c : cases) {
        const QRect inFrame = c.opt->geometry();
        const QRect frame = c.opt->parentWidget()->rect();
        EXPECT_EQ(frame.contains(inFrame), c.reachable) << c.opt->text().toStdString();
        EXPECT_EQ(frame.intersects(inFrame), c.reachable) << c.opt->text().toStdString();
        EXPECT_EQ(c.opt->focusPolicy() != Qt::NoFocus, c.reachable) << c.opt->text().toStdString();
    }
    const char* captions[] = {" Initialisierung", " Lp", " LEQ", " MAX-Hold", " Calibration", " Service"};
    for (int i = 0; i < 6; ++i) EXPECT_EQ(w->optMeasurementMode[size_t(i)]->text(), QString::fromLatin1(captions[i]));
    const char* ranges[] = {" AUTO", " 30 - 90 dB", " 50 - 110 dB", " 70 - 130 dB", " unknown"};
    for (int i = 0; i < 5; ++i) EXPECT_EQ(w->optRange[size_t(i)]->text(), QString::fromLatin1(ranges[i]));
}

TEST_F(FrontPanel, FramesAndKeysStayLockedBeforeTheGate) {
    w.reset();
    WindowFixture::Build(true);
    for (PictureButton* k : {w->cmdPower, w->cmdRecord, w->cmdStopRecord}) EXPECT_FALSE(k->isEnabled());
    EXPECT_FALSE(w->frmMeasurementMode->isEnabled());
    EXPECT_FALSE(w->frmRange->isEnabled());
    Click c = Press(w->cmdRecord);
    EXPECT_TRUE(c.down.isEmpty());
    EXPECT_EQ(ps.RecordState, 0);
}

}  // namespace
}  // namespace kestro::test
