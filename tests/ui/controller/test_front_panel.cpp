// The keys, options, menus and the keyboard: what the user does reaches the session.

#include "WindowFixture.h"

#include <QtTest>
#include <QtWidgets>

#include <algorithm>

namespace kestro::test {
namespace {

enum class Way { Mouse, Space, Shortcut, Assistive };

class FrontPanel : public WindowFixture {
protected:
    void SetUp() override {
        WindowFixture::SetUp();
        w->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(w.get()));
        startDevice();
    }
    // Press and release; whether commands went out, and the key's picture while it was held.
    std::pair<bool, QString> press(PictureButton* key, Way way) {
        port->clearWritten();
        QString held;
        if (way == Way::Mouse) QTest::mousePress(key, Qt::LeftButton, {}, QPoint(10, 10));
        if (way == Way::Space) {
            key->setFocus(Qt::TabFocusReason);
            QTest::keyPress(key, Qt::Key_Space);
        }
        if (way == Way::Shortcut)
            QTest::keyClick(w.get(), key->shortcut()[0].key(), key->shortcut()[0].keyboardModifiers());
        if (way == Way::Assistive)
            QAccessible::queryAccessibleInterface(key)->actionInterface()->doAction(
                QAccessibleActionInterface::pressAction());
        held = key->pictureKey();
        if (way == Way::Mouse) QTest::mouseRelease(key, Qt::LeftButton, {}, QPoint(10, 10));
        if (way == Way::Space) QTest::keyRelease(key, Qt::Key_Space);
        // The shortcut and the assistive press show the key held for a moment.
        EXPECT_TRUE(QTest::qWaitFor([&] { return !key->isHeld(); }, 2000));
        return {!port->commands().isEmpty(), held};
    }
    void expectArmed(bool armed) {
        EXPECT_EQ(s->armed(), armed);
        EXPECT_EQ(w->panelText(4), armed ? QStringLiteral("Recording enabled") : QStringLiteral("Recording disabled"));
        EXPECT_EQ(w->cmdRecord->pictureKey(),
                  armed ? QStringLiteral("RecordStarted") : QStringLiteral("RecordStopped"));
        EXPECT_EQ(QAccessible::queryAccessibleInterface(w->cmdRecord)->state().checked, armed) << "read out as armed";
        EXPECT_EQ(w->cmdStopRecord->isEnabled(), armed);
        EXPECT_EQ(w->frmRange->isEnabled(), !armed);
    }
};

// Mouse, Space, the shortcut and an assistive technology press a key alike:
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
            if (way == Way::Shortcut) EXPECT_TRUE(key->toolTip().endsWith(" (" + key->shortcut().toString() + ")"));
            SCOPED_TRACE(testing::Message() << "key " << c.key << " armed " << c.armedBefore << " way " << int(way));
            c.armedBefore ? w->EnableRecording() : w->DisableRecording();
            const auto [sent, held] = press(key, way);
            EXPECT_EQ(sent, c.key != Stop || c.armedBefore);
            EXPECT_EQ(held, QLatin1String(c.held));
            expectArmed(c.armedAfter);
            EXPECT_EQ(w->cmdPower->pictureKey(), QStringLiteral("Power"));
        }
}

// Tab and Shift+Tab from the power key round the window: each option group is
// one stop at its marked option; what cannot act is passed over.
TEST_F(FrontPanel, TabWalksKeysOptionsAndFileListInReadingOrder) {
    auto chain = [this](bool backwards) {
        w->cmdPower->setFocus(Qt::TabFocusReason);
        QStringList names;
        for (int i = 0; i < 20; ++i) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab, backwards ? Qt::ShiftModifier : Qt::NoModifier);
            if (QApplication::focusWidget() == w->cmdPower) break;
            names << QApplication::focusWidget()->objectName();
        }
        return names;
    };
    const struct {
        const char* status;
        bool armed;
        QStringList chain;
    } cases[] = {
        {"gds 11603\r", false, {"cmdRecord", "Picture1", "optMeasurementMode1", "optRange0", "MessFileListe"}},
        // Initialisation: no function marked, and AUTO, still marked, cannot be chosen.
        {"gds 01203\r", false, {"cmdRecord", "Picture1", "optMeasurementMode1", "optRange1", "MessFileListe"}},
        {"gds 11203\r", true, {"cmdRecord", "cmdStopRecord", "Picture1", "MessFileListe"}},
    };
    for (const auto& c : cases) {
        feed(c.status);
        tick();
        c.armed ? w->EnableRecording() : w->DisableRecording();
        EXPECT_EQ(chain(false), c.chain) << c.status;
        QStringList back = c.chain;
        std::reverse(back.begin(), back.end());
        EXPECT_EQ(chain(true), back) << c.status;
    }
}

// The menus keep their places and open with Alt; Ctrl+Q ends like Exit, and
// so does the close box, which cancels the close to end in the program's order.
TEST_F(FrontPanel, MenusAndKeysOpenAndEndAndTheCloseBoxEndsInOrder) {
    int ends = 0, setups = 0, shown = 0, opened = 0;
    w->onEndApplication = counter(ends);
    w->onShowSetup = counter(setups);
    w->onShowStatistics = counter(shown);
    w->onOpenRecordFile = counter(opened);
    QStringList titles;
    for (QAction* a : w->menuBar()->actions())
        titles << a->text().remove(QLatin1Char('&'));
    EXPECT_EQ(titles, QStringList({"File", "Setup", "?", "Statistics", "Events"}));
    for (QAction* a : w->menuBar()->actions()[3]->menu()->actions())
        a->trigger();
    EXPECT_EQ(shown + opened, 2);
    QTest::keyClick(w.get(), Qt::Key_F, Qt::AltModifier);
    ASSERT_TRUE(QTest::qWaitFor([] { return QApplication::activePopupWidget() != nullptr; }, 2000));
    QTest::keyClick(QApplication::activePopupWidget(), Qt::Key_X);  // its "Exit"
    EXPECT_TRUE(QTest::qWaitFor([&] { return ends == 1; }, 2000));
    QTest::keyClick(w.get(), Qt::Key_S, Qt::AltModifier);
    EXPECT_TRUE(QTest::qWaitFor([&] { return setups == 1; }, 2000)) << "Alt+S runs Setup";
    QTest::keyClick(w.get(), Qt::Key_Q, Qt::ControlModifier);
    EXPECT_EQ(ends, 2);
    w->views().fileListWidget()->setFocus();
    QTest::keyClick(w.get(), Qt::Key_L, Qt::ControlModifier);
    EXPECT_TRUE(w->Picture1->hasFocus()) << "Ctrl+L: the display, which reads out the level";
    EXPECT_TRUE(w->Form_QueryUnload(0));
    EXPECT_FALSE(w->Form_QueryUnload(1));
    EXPECT_TRUE(w->close()) << "closed by the program itself";
    EXPECT_EQ(ends, 3);
    w->onEndApplication = nullptr;
    EXPECT_FALSE(w->Form_QueryUnload(0)) << "without an application to end the close box just closes";
}

TEST_F(FrontPanel, OptionClicksReachTheSessionWithTheirIndex) {
    const struct {
        bool range;
        int index;
        QStringList commands;
    } cases[] = {{false, 2, cmds({"swm 2", "awm 0", "smm 1"})}, {true, 3, cmds({"swm 1", "smr 3", "awm 0", "smm 1"})}};
    for (const auto& c : cases) {
        QRadioButton* opt = c.range ? w->optRange[size_t(c.index)] : w->optMeasurementMode[size_t(c.index)];
        port->clearWritten();
        QTest::mouseClick(opt, Qt::LeftButton, {}, QPoint(8, opt->height() / 2));
        EXPECT_EQ(port->commands(), c.commands);
        EXPECT_TRUE(opt->isChecked()) << "stays marked until the device reports";
    }
}

}  // namespace
}  // namespace kestro::test
