// Texts of the window under light and dark palettes: measured on the rendered
// window, so that a fixed background behind palette-coloured text shows up.

#include "WindowFixture.h"

#include <QApplication>
#include <QGroupBox>
#include <QLabel>
#include <QMenuBar>
#include <QPalette>
#include <QStyle>
#include <QStyleOptionButton>
#include <QStyleOptionGroupBox>

#include <cmath>
#include <map>
#include <vector>

namespace kestro::test {
namespace {

double Luminance(const QColor& c) {
    auto linear = [](int v) {
        const double s = v / 255.0;
        return s <= 0.04045 ? s / 12.92 : std::pow((s + 0.055) / 1.055, 2.4);
    };
    return 0.2126 * linear(c.red()) + 0.7152 * linear(c.green()) + 0.0722 * linear(c.blue());
}

double Contrast(const QColor& a, const QColor& b) {
    const double la = Luminance(a), lb = Luminance(b);
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

// Text in rect of a rendered image: its most frequent colour is the background,
// the pixel farthest from it a fully covered pixel of the text.
double TextContrast(const QImage& img, const QRect& rect) {
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
        best = std::max(best, Contrast(QColor(rgb), QColor(background)));
    return best;
}

QPalette DarkPalette() {
    QPalette p;
    const QColor window(45, 48, 53), base(30, 32, 36), text(232, 232, 232), disabled(128, 130, 134);
    for (auto role : {QPalette::Window, QPalette::Button})
        p.setColor(role, window);
    for (auto role : {QPalette::Base, QPalette::AlternateBase, QPalette::ToolTipBase})
        p.setColor(role, base);
    for (auto role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText, QPalette::ToolTipText})
        p.setColor(role, text);
    p.setColor(QPalette::Light, window.lighter(150));
    p.setColor(QPalette::Midlight, window.lighter(125));
    p.setColor(QPalette::Mid, window.darker(120));
    p.setColor(QPalette::Dark, window.darker(150));
    p.setColor(QPalette::Shadow, Qt::black);
    p.setColor(QPalette::Highlight, QColor(61, 174, 233));
    p.setColor(QPalette::HighlightedText, Qt::black);
    for (auto role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText})
        p.setColor(QPalette::Disabled, role, disabled);
    return p;
}

struct Measured {
    QString what;
    double contrast;
};

// Every text of the window that the user can act on or read now (a disabled
// control's text is allowed to be faint).
std::vector<Measured> MeasureTexts(frmKestroRecord& w) {
    QCoreApplication::processEvents();
    const QImage img = w.grab().toImage().convertToFormat(QImage::Format_RGB32);
    auto inWindow = [&](const QWidget* widget, const QRect& r) {
        return QRect(widget->mapTo(&w, r.topLeft()), r.size());
    };
    std::vector<Measured> out;
    for (QGroupBox* frame : {w.frmMeasurementMode, w.frmRange}) {
        if (!frame->isEnabled()) continue;
        QStyleOptionGroupBox o;
        o.initFrom(frame);
        o.text = frame->title();
        o.lineWidth = 1;
        o.subControls = QStyle::SC_GroupBoxFrame | QStyle::SC_GroupBoxLabel;
        const QRect label = frame->style()->subControlRect(QStyle::CC_GroupBox, &o, QStyle::SC_GroupBoxLabel, frame);
        out.push_back({frame->title(), TextContrast(img, inWindow(frame, label))});
    }
    std::vector<QRadioButton*> options(w.optMeasurementMode.begin(), w.optMeasurementMode.end());
    options.insert(options.end(), w.optRange.begin(), w.optRange.end());
    for (QRadioButton* opt : options) {
        if (!opt->isEnabled() || !opt->parentWidget()->rect().intersects(opt->geometry())) continue;
        QStyleOptionButton o;
        o.initFrom(opt);
        o.text = opt->text();
        const QRect text = opt->style()->subElementRect(QStyle::SE_RadioButtonContents, &o, opt);
        out.push_back({opt->text(), TextContrast(img, inWindow(opt, text).intersected(inWindow(
                                                          opt->parentWidget(), opt->parentWidget()->rect())))});
    }
    for (int panel = 2; panel <= 4; ++panel) {
        auto* label = w.findChild<QLabel*>(QStringLiteral("StatusPanel%1").arg(panel));
        out.push_back({label->text(), TextContrast(img, inWindow(label, label->contentsRect()))});
    }
    QMenuBar* bar = w.menuBar();
    for (QAction* a : bar->actions())
        out.push_back({a->text(), TextContrast(img, inWindow(bar, bar->actionGeometry(a)))});
    return out;
}

class Palette : public WindowFixture {
protected:
    void TearDown() override {
        QApplication::setPalette(QPalette());
        WindowFixture::TearDown();
    }
    void ExpectLegible(const char* state) {
        w->SetPanel3Text(QStringLiteral("COM1 (/dev/ttyUSB0)"));
        for (const Measured& m : MeasureTexts(*w))
            EXPECT_GE(m.contrast, 4.5) << state << ": \"" << m.what.toStdString() << "\" " << m.contrast;
    }
};

// Light as it starts, dark as a desktop switches to it while the program runs.
TEST_F(Palette, EveryTextKeepsItsContrastUnderLightAndDarkPalettes) {
    ExpectLegible("light, offline");
    StartDevice();
    ExpectLegible("light, started");
    QApplication::setPalette(DarkPalette());
    ExpectLegible("dark, started");
    w->EnableRecording();
    ExpectLegible("dark, armed");
    for (int i = 0; i < 6; ++i)
        Tick();
    ASSERT_FALSE(ps.KestroState.DeviceOnline);
    ExpectLegible("dark, offline");
}

// Started under a dark palette: nothing keeps a colour from before.
class DarkFromTheStart : public Palette {
protected:
    void SetUp() override {
        QApplication::setPalette(DarkPalette());
        Palette::SetUp();
    }
};

TEST_F(DarkFromTheStart, EveryTextKeepsItsContrast) {
    StartDevice();
    ExpectLegible("dark from the start");
}

}  // namespace
}  // namespace kestro::test
