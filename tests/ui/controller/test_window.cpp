// What the session announces, drawn: status bar, options, keys and display;
// what the user does with keys, options, menus and the keyboard reaches the
// session; the window's layout, its close and the documentation's picture.

#include "WindowFixture.h"
#include "ui/recording/LevelGraph.h"

#include <QtTest>
#include <QtWidgets>

#include <algorithm>
#include <cmath>

namespace kestro::test {
namespace {

class Window : public WindowFixture {
protected:
    QWidget* graph() { return w->views().graphWidget(); }
    QWidget* list() { return w->views().fileListWidget(); }
    qint64 graphKey() { return w->views().graph().PictureGraph.image.cacheKey(); }
    void resizeTo(int width, int extraHeight = 0) {
        w->resize(width, frmKestroRecord::kDesignHeight + w->menuBar()->height() + extraHeight);
        QCoreApplication::processEvents();
    }
};

// Only the graph and the list follow the width, by as much as the window
// grows; every resize, and restoring from minimised, rebuilds the graph.
TEST_F(Window, OnlyGraphAndListWidthsFollowTheWidth) {
    const QRect display = w->Picture1->geometry(), mode = w->frmMeasurementMode->geometry();
    resizeTo(frmKestroRecord::kDesignWidth);
    const QRect graphAtStart = graph()->geometry(), listAtStart = list()->geometry();
    for (const auto& [width, extra] : {std::pair{900, 0}, {500, 0}, {676, 120}}) {
        const qint64 before = graphKey();
        resizeTo(width, extra);
        const int grown = width - frmKestroRecord::kDesignWidth;
        EXPECT_EQ(graph()->geometry(), graphAtStart.adjusted(0, 0, grown, 0)) << width;
        EXPECT_EQ(list()->geometry(), listAtStart.adjusted(0, 0, grown, 0)) << width;
        EXPECT_EQ(w->views().graph().size(), graph()->size()) << width;
        EXPECT_NE(graphKey(), before) << width;
        EXPECT_EQ(w->Picture1->geometry(), display);
        EXPECT_EQ(w->frmMeasurementMode->geometry(), mode);
    }
    resizeTo(120);
    EXPECT_EQ(graph()->width(), frmKestroRecord::kMinGraphWidth);
    EXPECT_EQ(list()->width(), frmKestroRecord::kMinGraphWidth);
    const qint64 before = graphKey();
    w->setWindowState(Qt::WindowMinimized);
    QCoreApplication::processEvents();
    EXPECT_EQ(graphKey(), before) << "nothing is drawn while minimised";
    w->setWindowState(Qt::WindowNoState);
    QCoreApplication::processEvents();
    EXPECT_NE(graphKey(), before);
    EXPECT_FALSE(w->InResize);
}

// An exceedance turns the panel after the four red and bands the graph; the
// Events menu's Mark asks for the span's note, and a second Mark ends the span;
// a screen reader hears the exceedance begin and end, then the panel's next text.
TEST_F(Window, ExceedanceAndMarkAreShown) {
    startDevice();
    s->EnableRecording();
    QAction* mark = w->menuBar()->actions()[4]->menu()->actions()[0];
    EXPECT_EQ(mark->shortcut(), QKeySequence(QStringLiteral("Ctrl+M")));
    auto level = [&](const char* lp, int seconds, int tickMs) {  // a level a second, the status every tick
        for (int tenth = 0; tenth < seconds * 10; tenth += tickMs / 100, clock.advanceMs(tickMs - 100), tick())
            feed(tenth % 10 ? "gds 11203\r" : (QByteArray(lp) + "\rgds 11203\r").constData());
    };
    auto said = [&] {
        return QAccessible::queryAccessibleInterface(w->eventPanel())->text(QAccessible::Name);
    };
    level("lp 900 0", 11, 100);
    EXPECT_TRUE(w->eventPanel()->text().startsWith("Exceedance since ")) << w->eventPanel()->text().toStdString();
    EXPECT_EQ(said(), w->eventPanel()->text().replace("since", "started at")) << "announced";
    EXPECT_EQ(w->views().eventBands().size(), 1u);
    mark->trigger();
    mark->trigger();
    ASSERT_EQ(w->findChildren<QInputDialog*>().size(), 1) << "one note at a time";
    auto* note = w->findChild<QInputDialog*>(QStringLiteral("MarkDialog"));
    note->setTextValue(QStringLiteral("truck"));
    note->accept();
    EXPECT_EQ(s->recorder().events().spanNote(), "truck");
    EXPECT_EQ(w->views().eventBands().size(), 2u);
    mark->trigger();
    EXPECT_FALSE(s->recorder().events().spanOpen()) << "ended at once, without a note";
    level("lp 500 0", 11, 100);
    EXPECT_TRUE(said().startsWith("Exceedance ended at ")) << said().toStdString();
    EXPECT_TRUE(said().endsWith(", LAmax 90.0 dB")) << said().toStdString();
    // Both bands stay, ended, while their time is on the graph; then they go.
    const auto& bands = w->views().eventBands();
    ASSERT_EQ(bands.size(), 2u);
    const auto& loud = bands[0].exceedance ? bands[0] : bands[1];
    EXPECT_EQ(loud.end, s->recorder().events().lastEnded()->endLocalMs / 86400000.0);
    for (const auto& b : bands)
        EXPECT_LE(b.start, b.end);
    const LevelGraph& g = w->views().graph();
    const QPointF at =
        g.PictureGraph.toPixel((graphX(loud.start, g.GraphStartTime) + graphX(loud.end, g.GraphStartTime)) / 2, 0);
    EXPECT_NE(graph()->grab().toImage().pixelColor(int(at.x()), 4), QColor(graph_colours::kBackground)) << "drawn";
    level("lp 500 0", 720, 60000);
    EXPECT_TRUE(bands.empty()) << "gone with their time";
    mark->trigger();
    w->findChildren<QInputDialog*>().last()->accept();
    EXPECT_EQ(said(), w->eventPanel()->text()) << "after the announcement the panel speaks for itself";
}

// The focus starts on the display, and its frame shows before any key is pressed.
TEST_F(Window, TheFocusFrameShowsWhereTheFocusStarts) {
    w->activateWindow();
    QCoreApplication::processEvents();
    ASSERT_TRUE(w->Picture1->hasFocus());
    const QImage focused = w->Picture1->grab().toImage();
    w->Picture1->clearFocus();
    EXPECT_NE(focused, w->Picture1->grab().toImage());
}

// The picture of the window in the documentation: online, armed, a few
// minutes of a recording on the graph.
TEST_F(Window, ScreenshotOfTheArmedFrontPanel) {
    startDevice();
    w->EnableRecording();
    for (int i = 0; i < 260; ++i) {
        const double t = i / 260.0;
        const int level = int(std::lround(620 + 90 * std::sin(t * 9.0) + 40 * std::sin(t * 37.0) + (i % 7) * 6));
        port->feed("lp " + QByteArray::number(level) + " 0\r");
        feed("gds 11203\r");
        clock.advanceMs(900);
        tick();
    }
    feed("lp 734 0\r");
    tick();
    ASSERT_EQ(ps.RecordState(), 2);
    QCoreApplication::processEvents();
    const QString path = QStringLiteral(KESTRO_SCREENSHOT_DIR "/main-window.png");
    QDir().mkpath(QFileInfo(path).path());
    EXPECT_TRUE(w->grab().toImage().save(path));
}

using Views = WindowFixture;

TEST_F(Views, TheMetersStateIsDrawnIntoPanelsOptionsAndKeys) {
    startDevice();
    const struct {
        const char* answer;
        const char* function;
        int mode, range, bracket;
    } rows[] = {
        {"gds 11203\r", "Lp", 1, 2, 2},  {"gds 22303\r", "LEQ", 2, 3, 3},     {"gds 31603\r", "MAX", 3, 0, 2},
        {"gds 41103\r", "CAL", 4, 1, 1}, {"gds 51003\r", "Service", 5, 4, 4}, {"gds 11703\r", "Lp", 1, 0, 3},
    };
    for (const auto& r : rows) {
        feed(r.answer);
        tick();
        EXPECT_EQ(w->panelText(2), QLatin1String(r.function)) << r.answer;
        EXPECT_EQ(checkedMode(), r.mode) << r.answer;
        EXPECT_EQ(checkedRange(), r.range) << r.answer;
        EXPECT_EQ(w->optRange[0]->isEnabled(), r.mode == 1) << "AUTO only in Lp";
        EXPECT_EQ(w->Picture1->pictureIndex(DisplayPanel::imgRange), r.bracket) << r.answer;
    }
    for (QWidget* k : std::initializer_list<QWidget*>{w->cmdPower, w->cmdRecord, w->frmMeasurementMode, w->frmRange})
        EXPECT_TRUE(k->isEnabled()) << k->objectName().toStdString();
    feed("gds 01203\r");
    tick();
    EXPECT_EQ(w->Picture1->digitIndex(1), 9) << "Initialisation: the test pattern";
    w->EnableRecording();
    for (int i = 0; i < 6; ++i)
        tick();
    EXPECT_EQ(w->panelText(2), QStringLiteral("unknown"));
    EXPECT_EQ(w->panelText(4), QStringLiteral("Recording disabled"));
    EXPECT_EQ(checkedMode(), 0);
    EXPECT_FALSE(w->cmdRecord->isChecked());
    for (QWidget* k : std::initializer_list<QWidget*>{w->cmdPower, w->cmdRecord, w->cmdStopRecord,
                                                      w->frmMeasurementMode, w->frmRange})
        EXPECT_FALSE(k->isEnabled()) << k->objectName().toStdString();
}

// The function legend blinks with the blink timer; the last calibration check
// shows after the four panels, whose texts stay.
TEST_F(Views, TheLegendBlinksAndTheCalibrationCheckShowsAfterTheFourPanels) {
    startDevice("gds 22203\r");
    for (int legend : {6, 3, 6}) {
        w->BlinkTimer_Timer();
        tick();
        EXPECT_EQ(w->Picture1->modeIndex(), legend);
    }
    EXPECT_TRUE(w->calibrationPanel()->isHidden());
    feed("gds 42203\rcal 941 0\r");
    tick();
    EXPECT_TRUE(w->calibrationPanel()->toolTip().startsWith(QStringLiteral("Last calibration check: 20")));
}

TEST_F(Views, DrawingFailuresAreLoggedOncePerChangeAndTheTickGoesOn) {
    auto logged = [this](int err) {
        QFile f(log.mainLogPath());
        f.open(QIODevice::ReadOnly);
        return f.readAll().count(QByteArray(": frmKestroRecord.Timer1.Error: ") + QByteArray::number(err) + "\r");
    };
    startDevice();
    for (int i = 0; i < 6; ++i) {
        feed("gds 71203\r");  // a function code without option or legend
        if (i == 0) feed("lp err 0\r");
        tick();
    }
    EXPECT_EQ(logged(kErrNoSuchOption), 1);
    EXPECT_EQ(logged(kErrInvalidPicture), 1);
    EXPECT_EQ(w->Picture1->digitIndex(1), 14) << "the level after the failures is still shown";
    feed("gds 1120C\r");  // a battery value without picture
    tick();
    EXPECT_EQ(logged(kErrInvalidPicture), 2);
    EXPECT_EQ(w->Picture1->pictureIndex(DisplayPanel::imgBatteryState), 3) << "the previous picture stays";
    EXPECT_TRUE(s->isOnline());
}

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

// The menus keep their places and open with Alt; Ctrl+Q ends like Exit, from
// dialogs too, and so does the close box, which cancels the close to end in
// the program's order. The record keys work from the statistics window.
TEST_F(FrontPanel, MenusAndKeysOpenAndEndAndTheCloseBoxEndsInOrder) {
    int ends = 0, setups = 0, shown = 0, opened = 0;
    w->onEndApplication = counter(ends);
    w->onShowSetup = counter(setups);
    w->onShowStatistics = counter(shown);
    w->onOpenRecordFile = counter(opened);
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
    {
        startDevice();
        QDialog dialog(w.get());
        dialog.setModal(true);
        dialog.show();
        dialog.activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&dialog));
        QTest::keyClick(&dialog, Qt::Key_Q, Qt::ControlModifier);
        EXPECT_EQ(ends, 3);
        dialog.close();
        QWidget statistics(w.get(), Qt::Window);
        statistics.show();
        statistics.activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&statistics));
        QTest::keyClick(&statistics, Qt::Key_R, Qt::ControlModifier);
        EXPECT_TRUE(s->armed());
        QTest::keyClick(&statistics, Qt::Key_R, Qt::ControlModifier | Qt::ShiftModifier);
        EXPECT_FALSE(s->armed());
    }
    w->views().fileListWidget()->setFocus();
    QTest::keyClick(w.get(), Qt::Key_L, Qt::ControlModifier);
    EXPECT_TRUE(w->Picture1->hasFocus()) << "Ctrl+L: the display, which reads out the level";
    EXPECT_TRUE(w->Form_QueryUnload(0));
    EXPECT_FALSE(w->Form_QueryUnload(1));
    EXPECT_TRUE(w->close()) << "closed by the program itself";
    EXPECT_EQ(ends, 4);
    w->onEndApplication = nullptr;
    EXPECT_FALSE(w->Form_QueryUnload(0)) << "without an application to end the close box just closes";
}

TEST_F(FrontPanel, OptionClicksReachTheSessionWithTheirIndex) {
    auto click = [](QRadioButton* opt) {
        QTest::mouseClick(opt, Qt::LeftButton, {}, QPoint(8, opt->height() / 2));
    };
    EXPECT_EQ(sentBy([&] { click(w->optMeasurementMode[2]); }), cmds({"swm 2", "awm 0", "smm 1"}));
    EXPECT_TRUE(w->optMeasurementMode[2]->isChecked()) << "stays marked until the device reports";
    EXPECT_EQ(sentBy([&] { click(w->optRange[3]); }), cmds({"swm 1", "smr 3", "awm 0", "smm 1"}));
    EXPECT_TRUE(w->optRange[3]->isChecked());
}

// Setup closes the port: an armed recording ends only when the user agrees, logged,
// and arms again in a new series once the device has started on the reopened port.
TEST_F(FrontPanel, SetupWhileArmedAsksLogsAndResumesInANewSeries) {
    QStringList asked;
    int setups = 0;
    w->onAsk = [&](const QString& question) {
        asked << question;
        return asked.size() > 1;  // the first is declined
    };
    w->onShowSetup = [&] {
        ++setups;
        s->releasePort();
    };
    startDevice();
    s->EnableRecording();
    feed("lp 700 0\r");
    tick();
    w->MenuSetup_Click();
    EXPECT_TRUE(setups == 0 && s->armed()) << "declined: nothing changes";
    feed("lp 701 0\r");
    w->MenuSetup_Click();
    EXPECT_TRUE(asked.value(1).startsWith("Recording is armed. Setup stops it")) << asked.value(1).toStdString();
    QFile logFile(log.mainLogPath());
    EXPECT_TRUE(logFile.open(QIODevice::ReadOnly) && logFile.readAll().contains("Recording stopped for Setup"));
    ASSERT_TRUE(!s->isOnline() && com->InitForm() == kTrue) << "closed, no connection; Cancel reopens";
    clock.advanceMs(1000);  // the next files get names of their own
    startDevice();
    feed("lp 702 0\r");
    tick();
    s->stopRecordKey();
    EXPECT_EQ(recordValues(), QList<QStringList>({{"70,0", "70,1"}, {"70,2"}}));
    s->connectionLost();
    startDevice();
    EXPECT_FALSE(s->armed()) << "stopped by the user: a later start-up does not arm";
    w->MenuSetup_Click();
    EXPECT_TRUE(asked.size() == 2 && setups == 2) << "not armed: no question";
}

}  // namespace
}  // namespace kestro::test
