// Texts of the window under light and dark palettes: measured on the rendered
// window, so that a fixed background behind palette-coloured text shows up.

#include "WindowFixture.h"
#include "about/frmAbout.h"
#include "support/Speaking.h"
#include "ui/setup/frmSetup.h"
#include "ui/statistics/StatisticsViews.h"
#include "ui/statistics/StatisticsWindow.h"

#include <QtTest>
#include <QtWidgets>

#include <cmath>
#include <map>
#include <optional>
#include <vector>

namespace kestro::test {
namespace {

double luminance(const QColor& c) {
    auto linear = [](int v) {
        const double s = v / 255.0;
        return s <= 0.04045 ? s / 12.92 : std::pow((s + 0.055) / 1.055, 2.4);
    };
    return 0.2126 * linear(c.red()) + 0.7152 * linear(c.green()) + 0.0722 * linear(c.blue());
}

double contrast(const QColor& a, const QColor& b) {
    const double la = luminance(a), lb = luminance(b);
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

// Text in rect of a rendered image: its most frequent colour is the background,
// the pixel farthest from it a fully covered pixel of the text.
double textContrast(const QImage& img, const QRect& rect) {
    const QRect r = rect.intersected(img.rect());
    std::map<QRgb, int> counts;
    for (int y = r.top(); y <= r.bottom(); ++y)
        for (int x = r.left(); x <= r.right(); ++x)
            ++counts[img.pixel(x, y)];
    if (counts.empty()) return 0;
    QRgb background = counts.begin()->first;
    for (const auto& [rgb, n] : counts)
        if (n > counts[background]) background = rgb;
    double best = 1;
    for (const auto& [rgb, n] : counts)
        best = std::max(best, contrast(QColor(rgb), QColor(background)));
    return best;
}

// A desktop's dark scheme as it comes, roles in their order: a nearly black
// window (#222020) with lighter buttons and base.
QPalette darkPalette() {
    const QRgb colours[] = {0xffffff, 0x424245, 0x979797, 0x5e5c5b, 0x302f2e, 0x4a4947, 0xffffff,
                            0xffffff, 0xffffff, 0x3d3d3d, 0x222020, 0xe7e4e0, 0x12608a, 0xf9f9f9,
                            0x0986d3, 0xa70b06, 0x5c5b5a, 0xffffff, 0x3f3f36, 0xffffff};
    QPalette p;
    for (int role = 0; role < int(std::size(colours)); ++role)
        if (role != QPalette::NoRole) p.setColor(QPalette::ColorRole(role), QColor(colours[role]));
    for (auto role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText, QPalette::HighlightedText})
        p.setColor(QPalette::Disabled, role, QColor(0x808080));
    return p;
}

// A text of a window: where it is drawn (window coordinates), the room its
// widget gives it and the room it needs by its font.
struct Text {
    QString what;
    QWidget* widget;
    QRect rect;    // the part that can be seen
    bool clipped;  // the widgets around cut some of it off
    QSize need, room;
};

QRect inWindow(const QWidget* window, const QWidget* w, const QRect& r) {
    return QRect(w->mapTo(window, r.topLeft()), r.size());
}

// Every text of a window that the user can see now: captions, labels, tabs, menus, headers.
std::vector<Text> texts(QWidget* window) {
    std::vector<Text> out;
    for (QWidget* w : window->findChildren<QWidget*>()) {
        if (!w->isVisible() || w->window() != window) continue;
        QRect visible = inWindow(window, w, w->rect());
        for (QWidget* p = w->parentWidget(); p && p != window; p = p->parentWidget())
            visible &= inWindow(window, p, p->rect());
        auto add = [&](const QString& text, const QRect& r, QSize need, QSize room) {
            const QRect whole = inWindow(window, w, r);
            if (!text.isEmpty()) out.push_back({text, w, whole & visible, !visible.contains(whole), need, room});
        };
        auto advance = [&](const QString& text) {
            return QSize(w->fontMetrics().horizontalAdvance(QString(text).remove(QLatin1Char('&'))), 0);
        };
        if (auto* l = qobject_cast<QLabel*>(w))
            add(l->text(), l->contentsRect(),
                l->wordWrap() ? QSize(l->width(), l->heightForWidth(l->width())) : l->sizeHint(), l->size());
        if (auto* b = qobject_cast<QAbstractButton*>(w)) {
            QStyleOptionButton o;
            o.initFrom(b);
            o.text = b->text();
            const auto element = qobject_cast<QRadioButton*>(b) ? QStyle::SE_RadioButtonContents
                                 : qobject_cast<QCheckBox*>(b)  ? QStyle::SE_CheckBoxContents
                                                                : QStyle::SE_PushButtonContents;
            add(b->text(), b->style()->subElementRect(element, &o, b), b->sizeHint(), b->size());
        }
        if (auto* g = qobject_cast<QGroupBox*>(w)) {
            QStyleOptionGroupBox o;
            o.initFrom(g);
            o.text = g->title();
            o.subControls = QStyle::SC_GroupBoxFrame | QStyle::SC_GroupBoxLabel;
            add(g->title(), g->style()->subControlRect(QStyle::CC_GroupBox, &o, QStyle::SC_GroupBoxLabel, g),
                {g->minimumSizeHint().width(), 0}, g->size());
        }
        if (auto* bar = qobject_cast<QTabBar*>(w))
            for (int i = 0; i < bar->count(); ++i)
                add(bar->tabText(i), bar->tabRect(i), advance(bar->tabText(i)), bar->tabRect(i).size());
        if (auto* bar = qobject_cast<QMenuBar*>(w))
            for (QAction* a : bar->actions())
                add(a->text(), bar->actionGeometry(a), advance(a->text()), bar->actionGeometry(a).size());
        if (auto* h = qobject_cast<QHeaderView*>(w))
            for (int i = 0; i < h->count() - (h->stretchLastSection() ? 1 : 0); ++i)
                add(h->model()->headerData(i, h->orientation()).toString(),
                    {h->sectionViewportPosition(i), 0, h->sectionSize(i), h->height()}, {h->sectionSizeHint(i), 0},
                    {h->sectionSize(i), 0});
    }
    return out;
}

class Palette : public WindowFixture {
protected:
    void TearDown() override {
        QApplication::setPalette(QPalette());
        QApplication::setFont(font);
        WindowFixture::TearDown();
    }
    // Every text the user can act on or read now: a disabled control's text
    // is allowed to be faint, a text that is only there to be read is not.
    void expectLegible(const char* state, QWidget* window = nullptr) {
        w->setPanel3Text(QStringLiteral("COM1 (/dev/ttyUSB0)"));
        window = window ? window : w.get();
        QCoreApplication::processEvents();
        const QImage img = window->grab().toImage().convertToFormat(QImage::Format_RGB32);
        for (const Text& t : texts(window))
            if ((t.widget->isEnabled() || qobject_cast<QLabel*>(t.widget)) && !t.rect.isEmpty())
                EXPECT_GE(textContrast(img, t.rect), 4.5) << state << ": \"" << t.what.toStdString() << "\"";
    }
    std::unique_ptr<frmSetup> makeSetup() {
        return std::make_unique<frmSetup>(
            setupStore(reg, tmp.path()), [this] { return probePorts(*com); }, messages, [] {});
    }
    // The statistics window with a record file of half an hour, every 5-minute interval over the limit.
    std::unique_ptr<StatisticsWindow> makeStatistics() {
        QFile f(tmp.filePath(QStringLiteral("NoiseData_LEQ_20260305_100000.dat")));
        EXPECT_TRUE(f.open(QIODevice::WriteOnly));
        for (int i = 0; i < 1800; ++i)
            f.write(QStringLiteral("10:%1:%2,000; 6%3,5\r\n")
                        .arg(i / 60, 2, 10, QLatin1Char('0'))
                        .arg(i % 60, 2, 10, QLatin1Char('0'))
                        .arg(i % 10)
                        .toLatin1());
        f.close();
        auto s = std::make_unique<StatisticsWindow>();
        s->setFileConfig({300, 100});
        QSignalSpy loaded(s.get(), &StatisticsWindow::fileLoaded);
        s->openRecordFile(f.fileName());
        EXPECT_TRUE(loaded.wait(10000));
        s->showFilePage();
        s->show();
        return s;
    }
    const QFont font = QApplication::font();
};

// Light as it starts, dark as a desktop switches to it while the program runs,
// and a window made under the dark palette keeps no colour from before.
TEST_F(Palette, EveryTextKeepsItsContrastUnderLightAndDarkPalettes) {
    expectLegible("light, offline");
    startDevice();
    expectLegible("light, started");
    QApplication::setPalette(darkPalette());
    expectLegible("dark, started");
    w->EnableRecording();
    expectLegible("dark, armed");
    for (int i = 0; i < 6; ++i)
        tick();
    ASSERT_FALSE(ps.device().DeviceOnline);
    expectLegible("dark, offline");
    startDevice();
    w = std::make_unique<frmKestroRecord>(*s, false);
    w->ShowMainWindow();
    expectLegible("dark from the start");
}

// The statistics window's labels, table marks and chart labels, and every page of Setup.
TEST_F(Palette, StatisticsAndSetupKeepTheirContrastUnderLightAndDarkPalettes) {
    const std::unique_ptr<StatisticsWindow> stats = makeStatistics();
    const std::unique_ptr<frmSetup> setup = makeSetup();
    setup->show();
    for (const char* palette : {"light", "dark"}) {
        if (QLatin1String(palette) == QLatin1String("dark")) QApplication::setPalette(darkPalette());
        expectLegible(palette, stats.get());
        const QImage img = stats->grab().toImage().convertToFormat(QImage::Format_RGB32);
        const QRect area = stats->history->plotArea().toRect();
        const QRect strips[] = {
            {0, area.top(), area.left() - 2, area.height()},  // level labels
            {area.left(), area.bottom() + 2, area.width(), stats->history->height() - area.bottom() - 3}};
        for (const QRect& strip : strips)
            EXPECT_GE(textContrast(img, inWindow(stats.get(), stats->history, strip)), 4.5)
                << palette << " chart labels";
        const QRect cell = stats->fileIntervals->visualItemRect(stats->fileIntervals->item(0, 3));
        EXPECT_GE(textContrast(img, inWindow(stats.get(), stats->fileIntervals->viewport(), cell)), 4.5)
            << palette << " an interval over the limit";
        for (int page = 0; page < setup->tbsOptions->count(); ++page) {
            setup->tbsOptions->setCurrentIndex(page);
            expectLegible(palette, setup.get());
        }
    }
}

// The fit tests in the program's own words and in German, whose words are longer.
class Captions : public Palette, public ::testing::WithParamInterface<const char*> {
    void SetUp() override {
        speaking.emplace(QString::fromLatin1(GetParam()));
        ASSERT_TRUE(speaking->loaded());
        Palette::SetUp();
    }
    void TearDown() override {
        Palette::TearDown();
        speaking.reset();
    }
    std::optional<Speaking> speaking;
};
INSTANTIATE_TEST_SUITE_P(Languages, Captions, ::testing::Values("", "de"),
                         [](const auto& info) { return std::string(*info.param ? info.param : "C"); });

// No caption is cut at the default font or larger ones, on any page of Setup:
// frames and panels grow with their texts (the design's places at the default font: Window tests).
TEST_P(Captions, NoneIsCutAt9To18Points) {
    for (int points : {9, 11, 14, 18}) {
        QApplication::setFont(QFont(QStringLiteral("DejaVu Sans"), points));
        QCoreApplication::processEvents();
        const std::unique_ptr<frmSetup> setup = makeSetup();
        const auto about = std::make_unique<frmAbout>(log, messages, reg.files());
        std::vector<QWidget*> windows{w.get(), about.get()};
        windows.insert(windows.end(), setup->tbsOptions->count(), setup.get());
        for (size_t i = 0; i < windows.size(); ++i) {
            if (i >= 2) setup->tbsOptions->setCurrentIndex(int(i - 2));
            windows[i]->show();
            QCoreApplication::processEvents();
            for (const Text& t : texts(windows[i]))
                EXPECT_TRUE(t.need.width() <= t.room.width() && t.need.height() <= t.room.height() && !t.clipped)
                    << points << " pt, " << windows[i]->objectName().toStdString() << ": \"" << t.what.toStdString()
                    << "\" needs " << t.need.width() << "x" << t.need.height() << ", has " << t.room.width() << "x"
                    << t.room.height() << (t.clipped ? ", clipped" : "");
        }
    }
}

// Every panel showing (calibration check, exceedance, a record-file error in
// panel 3), at the window's first size and at its narrowest: each panel keeps
// its essential text uncut (the error its reason, the file name giving way in
// its middle), a shortened text is whole in its tool tip; the mended file clears it.
TEST_P(Captions, StatusPanelsKeepTheirEssentialsAt9To18Points) {
    startDevice("gds 42203\r");
    feed("cal 941 0\rgds 11203\r");
    tick();
    w->EnableRecording();
    QDir(recordDir()).removeRecursively();
    for (int tenth = 0; tenth < 110; ++tenth) {
        feed(tenth % 10 ? "gds 11203\r" : "lp 900 0\rgds 11203\r");
        tick();
    }
    const QString reason = s->recorder().recordErrorReason();
    const QString essentials[] = {
        {},
        "Lp",
        frmKestroRecord::tr("Record file error: ") + reason + " \u2014 ",
        frmKestroRecord::tr("Recording enabled"),
        frmKestroRecord::tr("Cal %1 dB").arg(QStringLiteral("94") + shownDecimalPoint() + '1'),
        frmKestroRecord::tr("Exceedance since %1").arg(QString())};
    for (int points : {9, 11, 14, 18}) {
        QApplication::setFont(QFont(QStringLiteral("DejaVu Sans"), points));
        QCoreApplication::processEvents();
        for (int width : {w->width(), w->minimumWidth()}) {
            w->resize(width, w->height());
            QCoreApplication::processEvents();
            int right = 0;
            for (int i = 1; i <= 6; ++i) {
                auto* panel = w->findChild<QLabel*>(QStringLiteral("StatusPanel%1").arg(i));
                const QString text = panel->text();
                const auto where =
                    QStringLiteral("%1 pt, %2 px: \"%3\"").arg(points).arg(width).arg(text).toStdString();
                ASSERT_TRUE(panel->isVisible()) << where;
                EXPECT_GE(panel->x(), right) << where << " overlaps its neighbour";
                right = panel->geometry().right() + 1;
                EXPECT_LE(panel->fontMetrics().horizontalAdvance(text), panel->contentsRect().width()) << where;
                EXPECT_TRUE(text.startsWith(essentials[i - 1])) << where;
                if (text.contains(QChar(0x2026)))
                    EXPECT_TRUE(panel->toolTip().startsWith(text.section(QChar(0x2026), 0, 0)) &&
                                panel->toolTip().endsWith(text.section(QChar(0x2026), 1)))
                        << where << ", tool tip \"" << panel->toolTip().toStdString() << "\"";
            }
            EXPECT_LE(right, w->StatusBar1->width()) << points << " pt, " << width << " px";
        }
    }
    QDir().mkpath(recordDir());
    feed("lp 651 0\r");
    tick();
    EXPECT_FALSE(w->panelText(3).startsWith(frmKestroRecord::tr("Record file error: ")));
    EXPECT_TRUE(w->findChild<QLabel*>(QStringLiteral("StatusPanel3"))->toolTip().isEmpty());
}

}  // namespace
}  // namespace kestro::test
