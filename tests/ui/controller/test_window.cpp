#include "WindowFixture.h"

#include <QAction>
#include <QCloseEvent>
#include <QGroupBox>
#include <QMenuBar>
#include <QTest>

#include <cmath>

namespace kestro::test {
namespace {

class Window : public WindowFixture {
protected:
    QWidget* graph() { return w->recorder().graphWidget(); }
    QWidget* list() { return w->recorder().fileListWidget(); }
    qint64 GraphKey() { return w->recorder().Graph().PictureGraph.image.cacheKey(); }
    void ResizeTo(int width, int height) {
        w->resize(width, height);
        QCoreApplication::processEvents();
    }
    int DesignHeight() const { return frmKestroRecord::kDesignHeight + w->menuBar()->height(); }
};

TEST_F(Window, DesignLayout) {
    EXPECT_EQ(w->windowTitle(), QStringLiteral(" Kestro-Recorder"));
    EXPECT_EQ(w->centralWidget()->width() , 676);
    EXPECT_EQ(w->centralWidget()->height(), 349) << "client area below the menus";
    EXPECT_EQ(w->StatusBar1->geometry(), QRect(0, 329, 676, 20));
    EXPECT_EQ(w->Toolbar1->geometry(), QRect(0, 0, 676, 28));
    EXPECT_EQ(w->Picture2->geometry(), QRect(0, 28, 676, 301));
    EXPECT_EQ(w->Picture1->geometry(), QRect(8, 8, 245, 169));
    EXPECT_EQ(w->frmMeasurementMode->geometry(), QRect(8, 184, 117, 105));
    EXPECT_EQ(w->frmMeasurementMode->title(), QStringLiteral("Mode"));
    EXPECT_EQ(w->frmRange->geometry(), QRect(136, 184, 117, 105));
    EXPECT_EQ(w->frmRange->title(), QStringLiteral("Range"));
    EXPECT_EQ(graph()->geometry(), QRect(264, 8, 401, 169));
    EXPECT_EQ(list()->geometry(), QRect(264, 190, 401, 100));
    EXPECT_EQ(graph()->parentWidget(), w->Picture2);
    struct Key {
        PictureButton* key;
        int x;
    };
    for (const Key& k : {Key{w->cmdPower, 0}, Key{w->cmdRecord, 40}, Key{w->cmdStopRecord, 70}})
        EXPECT_EQ(k.key->geometry(), QRect(k.x, 1, 33, 25)) << k.key->objectName().toStdString();
    // Status bar at start.
    EXPECT_EQ(w->ConnectionPicture(), 1);
    EXPECT_EQ(w->PanelText(2), QStringLiteral("unknown"));
    EXPECT_EQ(w->PanelText(3), QString());
    EXPECT_EQ(w->PanelText(4), QStringLiteral("Recording disabled"));
    EXPECT_EQ(w->recorder().GraphReady, 2);
}

TEST_F(Window, OnlyGraphAndListWidthsFollowTheWidth) {
    const QRect display = w->Picture1->geometry(), mode = w->frmMeasurementMode->geometry();
    struct Case {
        int width;
        int graphWidth;
    };
    for (const Case c : {Case{900, 625}, Case{676, 401}, Case{500, 225}, Case{1400, 1125}}) {
        ResizeTo(c.width, DesignHeight());
        EXPECT_EQ(graph()->geometry(), QRect(264, 8, c.graphWidth, 169)) << c.width;
        EXPECT_EQ(list()->geometry(), QRect(264, 190, c.graphWidth, 100)) << c.width;
        EXPECT_EQ(w->recorder().Graph().Size(), QSize(c.graphWidth, 169)) << c.width;
        EXPECT_EQ(w->Picture1->geometry(), display);
        EXPECT_EQ(w->frmMeasurementMode->geometry(), mode);
        EXPECT_EQ(w->Toolbar1->width(), c.width) << "the tool bar strip spans the window";
        EXPECT_FALSE(w->InResize);
    }
}

TEST_F(Window, TheGraphNeverShrinksAwayBelowTheMinimumWidth) {
    ResizeTo(120, DesignHeight());
    EXPECT_GE(w->width(), w->minimumWidth());
    EXPECT_GE(graph()->width(), frmKestroRecord::kMinGraphWidth);
    EXPECT_EQ(graph()->width(), list()->width());
}

TEST_F(Window, HeightAloneRebuildsTheGraphButMovesNothing) {
    const QRect g = graph()->geometry(), l = list()->geometry(), d = w->Picture1->geometry();
    const qint64 before = GraphKey();
    ResizeTo(676, DesignHeight() + 120);
    EXPECT_EQ(graph()->geometry(), g);
    EXPECT_EQ(list()->geometry(), l);
    EXPECT_EQ(w->Picture1->geometry(), d);
    EXPECT_NE(GraphKey(), before) << "rebuilt";
    EXPECT_EQ(w->StatusBar1->geometry().bottom(), w->centralWidget()->height() - 1) << "the status bar stays at the bottom";
}

TEST_F(Window, MinimisingDrawsNothingRestoringRebuilds) {
    const qint64 before = GraphKey();
    w->setWindowState(Qt::WindowMinimized);
    QCoreApplication::processEvents();
    EXPECT_EQ(GraphKey(), before);
    w->setWindowState(Qt::WindowNoState);
    QCoreApplication::processEvents();
    EXPECT_NE(GraphKey(), before);
    EXPECT_FALSE(w->InResize);
}

TEST_F(Window, CloseBoxAndExitBothEndTheApplication) {
    int ends = 0, setups = 0, abouts = 0;
    w->onEndApplication = [&] { ++ends; };
    w->onShowSetup = [&] { ++setups; };
    w->onShowAbout = [&] { ++abouts; };

    // The close box (unload mode 0) cancels the close and ends the program in its own order.
    EXPECT_TRUE(w->Form_QueryUnload(0));
    EXPECT_EQ(ends, 1);
    EXPECT_FALSE(w->Form_QueryUnload(1));
    EXPECT_EQ(ends, 1);
    EXPECT_TRUE(w->isVisible());

    const QList<QAction*> menus = w->menuBar()->actions();
    ASSERT_EQ(menus.size(), 3);
    EXPECT_EQ(menus[0]->text(), QStringLiteral("File"));
    EXPECT_EQ(menus[1]->text(), QStringLiteral("Setup"));
    EXPECT_EQ(menus[1]->menu(), nullptr) << "Setup has no items";
    EXPECT_EQ(menus[2]->text(), QStringLiteral("?"));
    ASSERT_EQ(menus[0]->menu()->actions().size(), 1);
    EXPECT_EQ(menus[0]->menu()->actions()[0]->text(), QStringLiteral("Exit"));
    ASSERT_EQ(menus[2]->menu()->actions().size(), 1);
    EXPECT_EQ(menus[2]->menu()->actions()[0]->text(), QStringLiteral("About"));

    menus[0]->menu()->actions()[0]->trigger();
    menus[1]->trigger();
    menus[2]->menu()->actions()[0]->trigger();
    EXPECT_EQ(ends, 2);
    EXPECT_EQ(setups, 1);
    EXPECT_EQ(abouts, 1);

    // Closed by the program itself: the close proceeds and ends nothing.
    EXPECT_TRUE(w->close());
    EXPECT_FALSE(w->isVisible());
    EXPECT_EQ(ends, 2);
    // Without an application to end, even the close box just closes.
    w->onEndApplication = nullptr;
    EXPECT_FALSE(w->Form_QueryUnload(0));
}

TEST_F(Window, Panel3ShowsTheFreeTextUnlessARecordFileFails) {
    w->SetPanel3Text(QStringLiteral("COM1 (/dev/ttyUSB0) disconnected"));
    EXPECT_EQ(w->PanelText(3), QStringLiteral("COM1 (/dev/ttyUSB0) disconnected"));
    // Record into a directory that cannot exist: a plain file stands in its way.
    QFile blocker(tmp.filePath(QStringLiteral("blocker")));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    w->settings().RecordDirectory = blocker.fileName() + QStringLiteral("/records");
    StartDevice();
    w->EnableRecording();
    Feed("lp 700 0\r");
    Tick();
    EXPECT_TRUE(w->PanelText(3).startsWith(QStringLiteral("Record file error"))) << w->PanelText(3).toStdString();
    w->SetPanel3Text(QStringLiteral("other"));
    EXPECT_TRUE(w->PanelText(3).startsWith(QStringLiteral("Record file error"))) << "the record error wins";
}

TEST_F(Window, InitFormLoadsTheRecorderSettings) {
    Store(kRecorderSection, QStringLiteral("RecordNameBase"), QStringLiteral("Hall7"), REG_SZ_);
    EXPECT_NE(w->InitForm(), kTrue) << "not all values are stored";
    EXPECT_EQ(w->settings().RecordNameBase, QStringLiteral("Hall7"));
    EXPECT_EQ(w->settings().RecordDirectory, recordDir());
}

// The picture of the window in the documentation: online, armed, a few
// minutes of a recording on the graph.
TEST_F(Window, ScreenshotOfTheArmedFrontPanel) {
    StartDevice("gds 11203\r");
    Feed("lp 600 0\r");
    Tick();
    w->EnableRecording();
    for (int i = 0; i < 260; ++i) {
        const double t = i / 260.0;
        const int level = int(std::lround(620 + 90 * std::sin(t * 9.0) + 40 * std::sin(t * 37.0) + (i % 7) * 6));
        const QByteArray line = "lp " + QByteArray::number(level) + " 0\r";
        port->feed(line);
        Feed("gds 11203\r");
        clock.AdvanceMs(900);
        Tick();
    }
    Feed("lp 734 0\r");
    Tick();
    ASSERT_EQ(ps.RecordState, 2);
    ASSERT_EQ(w->Picture1->digitIndex(1), 8);
    QCoreApplication::processEvents();
    const QImage shot = w->grab().toImage();
    EXPECT_EQ(shot.width(), 676);
    const QString path = QStringLiteral(KESTRO_SOURCE_DIR "/docs/main-window.png");
    QDir().mkpath(QFileInfo(path).path());
    EXPECT_TRUE(shot.save(path));
}

}  // namespace
}  // namespace kestro::test
