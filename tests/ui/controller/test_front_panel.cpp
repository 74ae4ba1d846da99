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
    }
    // Press and release with the mouse; the commands sent on the press.
    QStringList Press(PictureButton* key) {
        port->ClearWritten();
        QTest::mousePress(key, Qt::LeftButton, {}, QPoint(10, 10));
        const QStringList down = port->commands();
        QTest::mouseRelease(key, Qt::LeftButton, {}, QPoint(10, 10));
        return down;
    }
    void ExpectArmed(bool armed) {
        EXPECT_EQ(ps.RecordState != 0, armed);
        EXPECT_EQ(w->PanelText(4), armed ? QStringLiteral("Recording enabled") : QStringLiteral("Recording disabled"));
        EXPECT_EQ(w->cmdRecord->pictureKey(),
                  armed ? QStringLiteral("RecordStarted") : QStringLiteral("RecordStopped"));
        EXPECT_EQ(w->cmdStopRecord->isEnabled(), armed);
        EXPECT_EQ(w->frmRange->isEnabled(), !armed);
    }
};

TEST_F(FrontPanel, KeysArmAndDisarmWithTheirCommands) {
    enum Key { Record, Stop, Power };
    const struct {
        const char* status;
        bool armedBefore;
        Key key;
        QStringList commands;
        bool armedAfter;
    } cases[] = {
        {"gds 01203\r", false, Record, Cmds({"swm ", "awm 1"}), true},  // Initialisation: no digit
        {"gds 11203\r", false, Record, Cmds({"swm 1", "awm 1"}), true},
        {"gds 11203\r", true, Record, Cmds({"awm 0", "smm 1"}), false},
        {"gds 11203\r", true, Stop, Cmds({"awm 0", "smm 1"}), false},
        {"gds 11203\r", false, Stop, {}, false},  // disabled while not armed
        {"gds 11203\r", true, Power, Cmds({"swm 0", "awm 0", "smm 1"}), false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.status << " key " << c.key << " armed " << c.armedBefore);
        Feed(c.status);
        Tick();
        c.armedBefore ? w->EnableRecording() : w->DisableRecording();
        if (c.armedBefore) Feed("lp 700 0\r");  // a slow sample in the buffers
        ps.BufferRestart = 0;
        PictureButton* key = c.key == Record ? w->cmdRecord : c.key == Stop ? w->cmdStopRecord : w->cmdPower;
        EXPECT_EQ(Press(key), c.commands);
        ExpectArmed(c.armedAfter);
        if (c.armedAfter) {
            EXPECT_EQ(ps.BufferRestart, 3) << "arming starts new series in every function";
        }
        if (c.key == Power) {
            EXPECT_EQ(ps.SlowCount() + ps.FastCount(), 0) << "power empties the buffers";
        }
    }
}

TEST_F(FrontPanel, OptionClicksSendTheirSequences) {
    const struct {
        const char* status;
        bool range;
        int index;
        QStringList commands;
    } cases[] = {
        // status before the click
        {"gds 11203\r", false, 2, Cmds({"swm 2", "awm 0", "smm 1"})},
        {"gds 21103\r", false, 3, Cmds({"swm 3", "awm 0", "smm 1"})},
        {"gds 31203\r", false, 1, Cmds({"swm 1", "awm 0", "smm 1"})},
        {"gds 11203\r", false, 1, Cmds({"swm 1", "awm 0", "smm 1"})},  // the marked option still sends
        {"gds 21103\r", true, 2, Cmds({"swm 2", "smr 2", "awm 0", "smm 1"})},
        {"gds 11203\r", true, 0, Cmds({"swm 1", "smr 0", "awm 0", "smm 1"})},
        {"gds 11203\r", true, 3, Cmds({"swm 1", "smr 3", "awm 0", "smm 1"})},
        {"gds 31303\r", true, 1, Cmds({"swm 3", "smr 1", "awm 0", "smm 1"})},
    };
    for (const auto& c : cases) {
        Feed(c.status);
        Tick();
        QRadioButton* opt = c.range ? w->optRange[size_t(c.index)] : w->optMeasurementMode[size_t(c.index)];
        port->ClearWritten();
        QTest::mouseClick(opt, Qt::LeftButton, {}, QPoint(8, opt->height() / 2));
        EXPECT_EQ(port->commands(), c.commands) << c.status << (c.range ? " range " : " mode ") << c.index;
        EXPECT_TRUE(opt->isChecked()) << "stays marked until the device reports";
    }
}

}  // namespace
}  // namespace kestro::test
