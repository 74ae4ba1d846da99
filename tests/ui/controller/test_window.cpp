// What the session announces, drawn: status bar, options, keys and display;
// the window's layout, its close, its menus and the documentation's picture.

#include "WindowFixture.h"
#include "ui/recording/LevelGraph.h"

#include <QtTest>
#include <QtWidgets>

#include <cerrno>
#include <cmath>
#include <cstring>

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
// Events menu's Mark asks for the span's note, and a second Mark ends the span.
TEST_F(Window, ExceedanceAndMarkAreShown) {
    startDevice();
    s->EnableRecording();
    QAction* mark = w->menuBar()->actions()[4]->menu()->actions()[0];
    EXPECT_EQ(mark->shortcut(), QKeySequence(QStringLiteral("Ctrl+M")));
    for (int second = 0; second < 11; ++second) {
        feed("lp 900 0\r");
        for (int t = 0; t < 10; ++t) {
            feed("gds 11203\r");
            tick();
        }
    }
    EXPECT_TRUE(w->eventPanel()->text().startsWith("Exceedance since ")) << w->eventPanel()->text().toStdString();
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
}

// A record file that cannot be written: the reason is read first, the file
// name gives way in its middle, the whole text is the tool tip; at any width.
TEST_F(Window, RecordFileErrorShowsItsReasonFirst) {
    startDevice();
    w->EnableRecording();
    QDir(recordDir()).removeRecursively();
    feed("lp 650 0\r");
    tick();
    const QString head = QStringLiteral("Record file error: ") + QString::fromLocal8Bit(std::strerror(ENOENT));
    auto* panel = w->findChild<QLabel*>(QStringLiteral("StatusPanel3"));
    const QFontMetrics fm(panel->font());
    for (int width : {676, 435, 1200}) {
        resizeTo(width);
        const QString shown = w->panelText(3);
        EXPECT_TRUE(shown.startsWith(head)) << shown.toStdString();
        EXPECT_LE(fm.horizontalAdvance(shown), std::max(panel->contentsRect().width(),
                                                        fm.horizontalAdvance(head + QStringLiteral(" \u2014 \u2026"))));
        EXPECT_EQ(panel->toolTip(), s->recorder().recordErrorText());
        EXPECT_EQ(shown.endsWith(QStringLiteral(".dat")), width >= 676) << "the end of the name stays where it fits";
        EXPECT_EQ(shown.contains(QChar(0x2026)), width < 1200) << width;
    }
    QDir().mkpath(recordDir());
    feed("lp 651 0\r");
    tick();
    EXPECT_FALSE(w->panelText(3).startsWith(QStringLiteral("Record file error")));
    EXPECT_TRUE(panel->toolTip().isEmpty());
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
    ASSERT_EQ(ps.RecordState, 2);
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
    EXPECT_EQ(w->panelText(2), QStringLiteral("CAL"));
    EXPECT_FALSE(w->calibrationPanel()->isHidden());
    EXPECT_TRUE(w->calibrationPanel()->text().startsWith(QStringLiteral("Cal 94.1 dB ")))
        << w->calibrationPanel()->text().toStdString();
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

}  // namespace
}  // namespace kestro::test
