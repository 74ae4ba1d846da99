#include "WindowFixture.h"
#include "ui/recording/LevelGraph.h"

#include <QAction>
#include <QCoreApplication>
#include <QGroupBox>
#include <QMenuBar>

#include <QLabel>

#include <cerrno>
#include <cmath>
#include <cstring>

namespace kestro::test {
namespace {

class Window : public WindowFixture {
protected:
    QWidget* graph() { return w->views().graphWidget(); }
    QWidget* list() { return w->views().fileListWidget(); }
    qint64 GraphKey() { return w->views().Graph().PictureGraph.image.cacheKey(); }
    void ResizeTo(int width, int height) {
        w->resize(width, height);
        QCoreApplication::processEvents();
    }
    int DesignHeight() const { return frmKestroRecord::kDesignHeight + w->menuBar()->height(); }
};

TEST_F(Window, OnlyGraphAndListWidthsFollowTheWidth) {
    const QRect display = w->Picture1->geometry(), mode = w->frmMeasurementMode->geometry();
    for (const auto& [width, graphWidth] : {std::pair{900, 625}, {500, 225}, {676, 401}}) {
        ResizeTo(width, DesignHeight());
        EXPECT_EQ(graph()->geometry(), QRect(264, 8, graphWidth, 169)) << width;
        EXPECT_EQ(list()->geometry(), QRect(264, 190, graphWidth, 100)) << width;
        EXPECT_EQ(w->views().Graph().Size(), QSize(graphWidth, 169)) << width;
        EXPECT_EQ(w->Picture1->geometry(), display);
        EXPECT_EQ(w->frmMeasurementMode->geometry(), mode);
    }
    // Height alone: nothing moves, the graph is rebuilt.
    qint64 before = GraphKey();
    ResizeTo(676, DesignHeight() + 120);
    EXPECT_EQ(graph()->geometry(), QRect(264, 8, 401, 169));
    EXPECT_EQ(list()->geometry(), QRect(264, 190, 401, 100));
    EXPECT_NE(GraphKey(), before);
    // Below the minimum width the graph keeps its least width.
    ResizeTo(120, DesignHeight());
    EXPECT_GE(graph()->width(), frmKestroRecord::kMinGraphWidth);
    EXPECT_EQ(graph()->width(), list()->width());
    // Minimised nothing is drawn; restoring rebuilds.
    before = GraphKey();
    w->setWindowState(Qt::WindowMinimized);
    QCoreApplication::processEvents();
    EXPECT_EQ(GraphKey(), before);
    w->setWindowState(Qt::WindowNoState);
    QCoreApplication::processEvents();
    EXPECT_NE(GraphKey(), before);
    EXPECT_FALSE(w->InResize);
}

TEST_F(Window, OnlyTheCloseBoxAndExitEndTheApplication) {
    int ends = 0;
    w->onEndApplication = [&] {
        ++ends;
    };
    EXPECT_TRUE(w->Form_QueryUnload(0)) << "the close box cancels the close and ends the program in its own order";
    EXPECT_EQ(ends, 1);
    EXPECT_FALSE(w->Form_QueryUnload(1));
    EXPECT_EQ(ends, 1);
    w->menuBar()->actions()[0]->menu()->actions()[0]->trigger();  // File / Exit
    EXPECT_EQ(ends, 2);
    EXPECT_TRUE(w->close()) << "closed by the program itself";
    EXPECT_FALSE(w->isVisible());
    EXPECT_EQ(ends, 2);
    w->onEndApplication = nullptr;
    EXPECT_FALSE(w->Form_QueryUnload(0)) << "without an application to end the close box just closes";
}

// A record file that cannot be written: the reason is read first, the file
// name gives way in its middle, the whole text is the tool tip; at any width.
TEST_F(Window, RecordFileErrorShowsItsReasonFirst) {
    StartDevice();
    w->EnableRecording();
    QDir(recordDir()).removeRecursively();
    Feed("lp 650 0\r");
    Tick();
    const QString reason = QString::fromLocal8Bit(std::strerror(ENOENT));
    const QString full = s->recorder().RecordErrorText();
    ASSERT_TRUE(full.startsWith(QStringLiteral("Record file error: ") + reason)) << full.toStdString();
    auto* panel = w->findChild<QLabel*>(QStringLiteral("StatusPanel3"));
    ASSERT_NE(panel, nullptr);
    for (int width : {676, 435, 1200}) {
        ResizeTo(width, DesignHeight());
        const QString shown = w->PanelText(3);
        EXPECT_TRUE(shown.startsWith(QStringLiteral("Record file error: ") + reason)) << width;
        EXPECT_LE(
            QFontMetrics(panel->font()).horizontalAdvance(shown),
            std::max(panel->contentsRect().width(), QFontMetrics(panel->font())
                                                        .horizontalAdvance(QStringLiteral("Record file error: ") +
                                                                           reason + QStringLiteral(" \u2014 \u2026"))))
            << width;
        EXPECT_EQ(panel->toolTip(), full);
        if (width >= 676)
            EXPECT_TRUE(shown.endsWith(QStringLiteral(".dat"))) << "the end of the name stays: " << shown.toStdString();
        if (width < 1200) EXPECT_TRUE(shown.contains(QChar(0x2026))) << width;
    }
    QDir().mkpath(recordDir());
    Feed("lp 651 0\r");
    Tick();
    EXPECT_FALSE(w->PanelText(3).startsWith(QStringLiteral("Record file error")));
    EXPECT_TRUE(panel->toolTip().isEmpty());
}

TEST_F(Window, MenusKeepTheirPlacesAndStatisticsComesLast) {
    QStringList titles;
    for (QAction* a : w->menuBar()->actions())
        titles << a->text().remove(QLatin1Char('&'));
    EXPECT_EQ(titles, QStringList({"File", "Setup", "?", "Statistics"}));
    int shown = 0, opened = 0;
    w->onShowStatistics = [&] {
        ++shown;
    };
    w->onOpenRecordFile = [&] {
        ++opened;
    };
    const QList<QAction*> items = w->menuBar()->actions()[3]->menu()->actions();
    ASSERT_EQ(items.size(), 2);
    items[0]->trigger();
    EXPECT_EQ(shown, 1);
    items[1]->trigger();
    EXPECT_EQ(opened, 1);
}

// The picture of the window in the documentation: online, armed, a few
// minutes of a recording on the graph.
TEST_F(Window, ScreenshotOfTheArmedFrontPanel) {
    StartDevice();
    w->EnableRecording();
    for (int i = 0; i < 260; ++i) {
        const double t = i / 260.0;
        const int level = int(std::lround(620 + 90 * std::sin(t * 9.0) + 40 * std::sin(t * 37.0) + (i % 7) * 6));
        port->feed("lp " + QByteArray::number(level) + " 0\r");
        Feed("gds 11203\r");
        clock.AdvanceMs(900);
        Tick();
    }
    Feed("lp 734 0\r");
    Tick();
    ASSERT_EQ(ps.RecordState, 2);
    QCoreApplication::processEvents();
    const QString path = QStringLiteral(KESTRO_SCREENSHOT_DIR "/main-window.png");
    QDir().mkpath(QFileInfo(path).path());
    EXPECT_TRUE(w->grab().toImage().save(path));
}

}  // namespace
}  // namespace kestro::test
