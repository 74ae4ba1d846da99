#include "WindowFixture.h"

#include <QAccessible>
#include <QAccessibleActionInterface>
#include <QApplication>
#include <QGroupBox>
#include <QMenu>
#include <QMenuBar>
#include <QTest>

#include <algorithm>
#include <functional>

namespace kestro::test {
namespace {

enum class Way { Mouse, Space, Shortcut, Assistive };

class FrontPanel : public WindowFixture {
protected:
    void SetUp() override {
        WindowFixture::SetUp();
        w->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(w.get()));
        StartDevice();
    }
    // Press and release; the commands sent on the press, and the key's picture
    // while it is held.
    std::pair<QStringList, QString> Press(PictureButton* key, Way way) {
        port->ClearWritten();
        QString held;
        switch (way) {
            case Way::Mouse:
                QTest::mousePress(key, Qt::LeftButton, {}, QPoint(10, 10));
                held = key->pictureKey();
                QTest::mouseRelease(key, Qt::LeftButton, {}, QPoint(10, 10));
                break;
            case Way::Space:
                key->setFocus(Qt::TabFocusReason);
                QTest::keyPress(key, Qt::Key_Space);
                held = key->pictureKey();
                QTest::keyRelease(key, Qt::Key_Space);
                break;
            case Way::Shortcut:
            case Way::Assistive:
                if (way == Way::Shortcut) {
                    const QKeyCombination k = key->shortcut()[0];
                    QTest::keyClick(w.get(), k.key(), k.keyboardModifiers());
                } else {
                    QAccessible::queryAccessibleInterface(key)->actionInterface()->doAction(
                        QAccessibleActionInterface::pressAction());
                }
                held = key->pictureKey();
                // The key shows itself held for a moment before it is released.
                EXPECT_TRUE(QTest::qWaitFor([&] { return !key->isHeld(); }, 2000));
                break;
        }
        EXPECT_FALSE(key->isHeld());
        return {port->commands(), held};
    }
    void ExpectArmed(bool armed) {
        EXPECT_EQ(s->armed(), armed);
        EXPECT_EQ(w->PanelText(4), armed ? QStringLiteral("Recording enabled") : QStringLiteral("Recording disabled"));
        EXPECT_EQ(w->cmdRecord->pictureKey(),
                  armed ? QStringLiteral("RecordStarted") : QStringLiteral("RecordStopped"));
        EXPECT_EQ(w->cmdStopRecord->isEnabled(), armed);
        EXPECT_EQ(w->frmRange->isEnabled(), !armed);
    }
};

// Mouse, Space, the shortcut and an assistive technology press a key alike;
// the key shows itself held, then the state the session is left in.
TEST_F(FrontPanel, EveryWayOfPressingAKeyReachesTheSession) {
    enum Key { Record, Stop, Power };
    const struct {
        bool armedBefore;
        Key key;
        const char* held;
        bool armedAfter;
    } cases[] = {
        {false, Record, "RecordStartedPressed", true},
        {true, Record, "RecordStoppedPressed", false},
        {true, Stop, "StopRecordDisabledPressed", false},
        {false, Stop, "StopRecordDisabled", false},
        {true, Power, "PowerPressed", false},
    };
    for (Way way : {Way::Mouse, Way::Space, Way::Shortcut, Way::Assistive})
        for (const auto& c : cases) {
            PictureButton* key = c.key == Record ? w->cmdRecord : c.key == Stop ? w->cmdStopRecord : w->cmdPower;
            if (way == Way::Shortcut && key->shortcut().isEmpty()) continue;  // the power key has none
            SCOPED_TRACE(testing::Message() << "key " << c.key << " armed " << c.armedBefore << " way " << int(way));
            c.armedBefore ? w->EnableRecording() : w->DisableRecording();
            const auto [commands, held] = Press(key, way);
            EXPECT_EQ(commands.isEmpty(), c.key == Stop && !c.armedBefore);
            EXPECT_EQ(held, QLatin1String(c.held));
            ExpectArmed(c.armedAfter);
            if (c.key == Power) {
                EXPECT_EQ(w->cmdPower->pictureKey(), QStringLiteral("Power"));
            }
        }
}

// The record key is read out as checked exactly while recording is armed,
// whatever armed or disarmed it.
TEST_F(FrontPanel, KeysAreNamedButtonsThatTellTheirShortcutsAndTheRecordKeyItsState) {
    const struct {
        PictureButton* key;
        const char* name;
        const char* toolTip;
        QAccessible::Role role;
    } keys[] = {{w->cmdPower, "Power", "Power", QAccessible::Button},
                {w->cmdRecord, "Record", "Record (Ctrl+R)", QAccessible::CheckBox},
                {w->cmdStopRecord, "Stop recording", "Stop recording (Ctrl+Shift+R)", QAccessible::Button}};
    for (const auto& k : keys) {
        QAccessibleInterface* a = QAccessible::queryAccessibleInterface(k.key);
        ASSERT_NE(a, nullptr);
        EXPECT_EQ(a->role(), k.role) << k.name;
        EXPECT_EQ(a->text(QAccessible::Name), QLatin1String(k.name));
        EXPECT_EQ(k.key->toolTip(), QLatin1String(k.toolTip));
    }
    StartDevice();
    QAccessibleInterface* record = QAccessible::queryAccessibleInterface(w->cmdRecord);
    const struct {
        std::function<void()> act;
        bool armed;
    } steps[] = {{[&] { QTest::keyClick(w->cmdRecord, Qt::Key_Space); }, true},
                 {[&] { QTest::keyClick(w->cmdRecord, Qt::Key_Space); }, false},
                 {[&] { w->EnableRecording(); }, true},
                 {[&] { QTest::mouseClick(w->cmdStopRecord, Qt::LeftButton); }, false},
                 {[&] { w->EnableRecording(); }, true},
                 {[&] { s->ConnectionLost(); }, false}};
    for (const auto& st : steps) {
        st.act();
        EXPECT_EQ(s->armed(), st.armed);
        EXPECT_EQ(record->state().checked, st.armed);
    }
}

// The names of the widgets that Tab (or Shift+Tab) visits from the power key
// until it comes back to it.
QStringList TabChain(frmKestroRecord& w, bool backwards) {
    w.cmdPower->setFocus(Qt::TabFocusReason);
    QStringList names;
    for (int i = 0; i < 20; ++i) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab, backwards ? Qt::ShiftModifier : Qt::NoModifier);
        QWidget* f = QApplication::focusWidget();
        if (!f || f == w.cmdPower) break;
        names << f->objectName();
    }
    return names;
}

TEST_F(FrontPanel, TabWalksKeysOptionsAndFileListInReadingOrder) {
    // Each option group is one stop, at its marked option; a key or an option
    // that cannot act is passed over (not armed: the stop key; armed: the options).
    const struct {
        const char* status;
        bool armed;
        QStringList chain;
    } cases[] = {
        {"gds 11203\r", false, {"cmdRecord", "Picture1", "optMeasurementMode1", "optRange2", "MessFileListe"}},
        {"gds 21303\r", false, {"cmdRecord", "Picture1", "optMeasurementMode2", "optRange3", "MessFileListe"}},
        {"gds 11603\r", false, {"cmdRecord", "Picture1", "optMeasurementMode1", "optRange0", "MessFileListe"}},
        // Initialisation: no function marked, and AUTO, still marked, cannot be chosen.
        {"gds 01203\r", false, {"cmdRecord", "Picture1", "optMeasurementMode1", "optRange1", "MessFileListe"}},
        {"gds 11203\r", true, {"cmdRecord", "cmdStopRecord", "Picture1", "MessFileListe"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.status);
        Feed(c.status);
        Tick();
        c.armed ? w->EnableRecording() : w->DisableRecording();
        EXPECT_EQ(TabChain(*w, false), c.chain);
        QStringList back = c.chain;
        std::reverse(back.begin(), back.end());
        EXPECT_EQ(TabChain(*w, true), back);
    }
}

TEST_F(FrontPanel, MenusOpenWithAltAndCtrlQEndsLikeExit) {
    int ends = 0, setups = 0;
    w->onEndApplication = [&] {
        ++ends;
    };
    w->onShowSetup = [&] {
        ++setups;
    };
    QTest::keyClick(w.get(), Qt::Key_Question, Qt::AltModifier);
    ASSERT_TRUE(QTest::qWaitFor([] { return QApplication::activePopupWidget() != nullptr; }, 2000));
    EXPECT_EQ(QApplication::activePopupWidget()->objectName(), QStringLiteral("MenuHelp"));
    QTest::keyClick(QApplication::activePopupWidget(), Qt::Key_Escape);
    ASSERT_TRUE(QTest::qWaitFor([] { return QApplication::activePopupWidget() == nullptr; }, 2000));
    QTest::keyClick(w.get(), Qt::Key_F, Qt::AltModifier);
    ASSERT_TRUE(QTest::qWaitFor([] { return QApplication::activePopupWidget() != nullptr; }, 2000));
    EXPECT_EQ(QApplication::activePopupWidget()->objectName(), QStringLiteral("MenuFile"));
    QTest::keyClick(QApplication::activePopupWidget(), Qt::Key_X);  // its "Exit"
    EXPECT_TRUE(QTest::qWaitFor([&] { return ends == 1; }, 2000));
    QTest::keyClick(w.get(), Qt::Key_S, Qt::AltModifier);
    EXPECT_TRUE(QTest::qWaitFor([&] { return setups == 1; }, 2000)) << "Alt+S runs Setup";
    QTest::keyClick(w.get(), Qt::Key_Q, Qt::ControlModifier);
    EXPECT_EQ(ends, 2);
    EXPECT_EQ(setups, 1);
    w->views().fileListWidget()->setFocus();
    ASSERT_FALSE(w->Picture1->hasFocus());
    QTest::keyClick(w.get(), Qt::Key_L, Qt::ControlModifier);
    EXPECT_TRUE(w->Picture1->hasFocus()) << "Ctrl+L: the display, which reads out the level";
}

TEST_F(FrontPanel, OptionClicksReachTheSessionWithTheirIndex) {
    const struct {
        bool range;
        int index;
        QStringList commands;
    } cases[] = {{false, 2, Cmds({"swm 2", "awm 0", "smm 1"})}, {true, 3, Cmds({"swm 1", "smr 3", "awm 0", "smm 1"})}};
    for (const auto& c : cases) {
        QRadioButton* opt = c.range ? w->optRange[size_t(c.index)] : w->optMeasurementMode[size_t(c.index)];
        port->ClearWritten();
        QTest::mouseClick(opt, Qt::LeftButton, {}, QPoint(8, opt->height() / 2));
        EXPECT_EQ(port->commands(), c.commands);
        EXPECT_TRUE(opt->isChecked()) << "stays marked until the device reports";
    }
}

}  // namespace
}  // namespace kestro::test
