#include "ui/controller/frmKestroRecord.h"

#include "core/Errors.h"
#include "settings/cRegistry.h"
#include "shell/EventLog.h"
#include "statistics/StatisticsFile.h"
#include "ui/display/Accessibility.h"
#include "ui/display/PictureError.h"
#include "ui/display/Pictures.h"
#include "ui/recording/FileList.h"
#include "ui/recording/LevelGraph.h"

#include <QAccessible>
#include <QAction>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QDialog>
#include <QFontMetrics>
#include <QGroupBox>
#include <QInputDialog>
#include <QKeySequence>
#include <QLabel>
#include <QLinearGradient>
#include <QMenu>
#include <QMenuBar>
#include <QPainter>
#include <QRadioButton>
#include <QTreeWidget>

#include <algorithm>
#include <iterator>
#include <vector>

namespace kestro {
namespace {

const QString kTimer1Error = QString::fromLatin1(label::kTimer1);
const QString kLoadError = QString::fromLatin1(label::kFormLoad);
const QString kResizeError = QString::fromLatin1(label::kFormResize);
const QString kHandlerError = QString::fromLatin1(label::kHandler);

constexpr int kToolbarHeight = 28;
constexpr int kStatusHeight = 20;
constexpr int kStatusMargin = 1, kStatusSpacing = 2;
constexpr int kGraphTop = 8, kListTop = 190;
// The design's frames and options at the default font.
constexpr int kFrameTop = 184, kFrameWidth = 117, kFrameHeight = 105, kFrameGap = 11;
constexpr int kOptionLeft = 10, kOptionWidth = 104, kOptionHeight = 21;
constexpr int kPanelHeight = 301;

// The window's own surfaces take their colours from the palette, so that the
// texts on them (which the style draws in the palette's text colours) stay
// legible under a dark desktop theme. Only the instrument display and the
// graph keep fixed colours.

// The tool bar strip behind the front-panel keys.
class ToolbarStrip final : public QWidget {
public:
    using QWidget::QWidget;

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        const QPalette& pal = palette();
        p.fillRect(rect(), pal.color(QPalette::Button));
        p.setPen(pal.color(QPalette::Light));
        p.drawLine(0, 0, width(), 0);
        p.setPen(pal.color(QPalette::Mid));
        p.drawLine(0, height() - 1, width(), height() - 1);
    }
};

// The main panel: the instrument's housing with a bezel around the display.
class MainPanel final : public QWidget {
public:
    using QWidget::QWidget;

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        p.fillRect(rect(), palette().color(QPalette::Window));
        p.setRenderHint(QPainter::Antialiasing);
        const QRectF bezel(3.5, 3.5, 254, 178);
        QLinearGradient g(bezel.topLeft(), bezel.bottomLeft());
        g.setColorAt(0, QColor(70, 74, 82));
        g.setColorAt(1, QColor(42, 45, 51));
        p.setPen(QPen(QColor(30, 32, 36), 1.0));
        p.setBrush(g);
        p.drawRoundedRect(bezel, 5, 5);
    }
};

// An exclusive group is a single tab stop. It is the marked option, so Tab lands
// where the arrow keys then move from; when no usable option is marked
// (Initialisation, " unknown", AUTO outside Lp) the first usable one.
template <size_t N>
void markedOptionIsTheTabStop(const std::array<QRadioButton*, N>& options) {
    auto usable = [](const QRadioButton* o) {
        return o->focusPolicy() != Qt::NoFocus && o->isEnabledTo(o->parentWidget());
    };
    QRadioButton* stop = nullptr;
    for (QRadioButton* o : options)
        if (o->isChecked() && usable(o)) stop = o;
    for (QRadioButton* o : options) {
        if (o->focusPolicy() == Qt::NoFocus) continue;
        if (!stop && usable(o)) stop = o;
        o->setFocusPolicy(o == stop ? Qt::StrongFocus : Qt::ClickFocus);
    }
}

}  // namespace

template <class F>
void frmKestroRecord::step(const QString& label, F&& statement) noexcept {
    try {
        statement();
    } catch (const PictureError& e) {
        log_.logError(label, e.number);
    } catch (const RaisedError& e) {
        log_.logError(label, e.number);
    } catch (...) {
        log_.logError(label, kErrInternal);
    }
}

template <class F>
void frmKestroRecord::tick(F&& statement) noexcept {
    step(kTimer1Error, std::forward<F>(statement));
}

frmKestroRecord::frmKestroRecord(Session& session, bool startTimers, QWidget* parent)
    : QMainWindow(parent),
      session_(session),
      log_(session.log()),
      startTimers_(startTimers),
      views_(session.recorder(), this),
      imlToolbar_(makeToolbarImages()),
      imlConnectionState_(makeConnectionStateImages()) {
    setObjectName(QStringLiteral("frmKestroRecord"));
    setWindowTitle(QStringLiteral(" Kestro-Recorder"));
    BlinkTimer.setInterval(500);
    connect(&BlinkTimer, &QTimer::timeout, this, &frmKestroRecord::BlinkTimer_Timer);
    connect(&session, &Session::recordErrorChanged, this, [this] { fitStatusBar(); });
    buildWindow();
    observeSession();
    QCoreApplication::instance()->installEventFilter(this);
}

frmKestroRecord::~frmKestroRecord() = default;

// ---------------------------------------------------------------- layout

namespace {

// The menu bar, in its order; an item without a menu stands in the bar itself.
struct MenuItemDef {
    const char* menu;
    const char* menuName;
    const char* caption;
    const char* name;
    const char* shortcut;  // portable text, empty for none
    void (frmKestroRecord::*click)();
    bool applicationWide = false;
};
const MenuItemDef kMenuItems[] = {
    {QT_TRANSLATE_NOOP("kestro::frmKestroRecord", "&File"), "MenuFile",
     QT_TRANSLATE_NOOP("kestro::frmKestroRecord", "E&xit"), "MenuFileExit", "Ctrl+Q",
     &frmKestroRecord::MenuFileExit_Click, true},
    {nullptr, nullptr, QT_TRANSLATE_NOOP("kestro::frmKestroRecord", "&Setup"), "MenuSetup", "",
     &frmKestroRecord::MenuSetup_Click},
    {QT_TRANSLATE_NOOP("kestro::frmKestroRecord", "&?"), "MenuHelp",
     QT_TRANSLATE_NOOP("kestro::frmKestroRecord", "&About"), "MenuHelpAbout", "",
     &frmKestroRecord::MenuHelpAbout_Click},
    // After the original menus, which keep their places.
    {QT_TRANSLATE_NOOP("kestro::frmKestroRecord", "S&tatistics"), "MenuStatistics",
     QT_TRANSLATE_NOOP("kestro::frmKestroRecord", "&Statistics window"), "MenuStatisticsShow", "",
     &frmKestroRecord::onStatisticsShow},
    {QT_TRANSLATE_NOOP("kestro::frmKestroRecord", "S&tatistics"), "MenuStatistics",
     QT_TRANSLATE_NOOP("kestro::frmKestroRecord", "&Open record file\u2026"), "MenuStatisticsOpen", "",
     &frmKestroRecord::onStatisticsOpen},
    {QT_TRANSLATE_NOOP("kestro::frmKestroRecord", "E&vents"), "MenuEvents",
     QT_TRANSLATE_NOOP("kestro::frmKestroRecord", "&Mark\u2026"), "MenuEventsMark", "Ctrl+M",
     &frmKestroRecord::onEventsMark},
};

// The front-panel keys of the tool bar, with names for screen readers.
struct KeyDef {
    PictureButton* frmKestroRecord::*field;
    const char* objectName;
    int x;
    const char* picture;
    void (frmKestroRecord::*down)();
    void (frmKestroRecord::*up)();
    const char* accessibleName;
    const char* shortcut;
};
const KeyDef kKeys[] = {
    {&frmKestroRecord::cmdPower, "cmdPower", 0, "PowerDisabled", &frmKestroRecord::cmdPower_MouseDown,
     &frmKestroRecord::cmdPower_MouseUp, QT_TRANSLATE_NOOP("kestro::frmKestroRecord", "Power"), ""},
    {&frmKestroRecord::cmdRecord, "cmdRecord", 40, "RecordStoppedDisabled", &frmKestroRecord::cmdRecord_MouseDown,
     &frmKestroRecord::cmdRecord_MouseUp, QT_TRANSLATE_NOOP("kestro::frmKestroRecord", "Record"), "Ctrl+R"},
    {&frmKestroRecord::cmdStopRecord, "cmdStopRecord", 70, "StopRecordDisabled",
     &frmKestroRecord::cmdStopRecord_MouseDown, &frmKestroRecord::cmdStopRecord_MouseUp,
     QT_TRANSLATE_NOOP("kestro::frmKestroRecord", "Stop recording"), "Ctrl+Shift+R"},
};

// Option buttons; those the user cannot choose lie outside their frame's
// visible area and out of the keyboard's reach.
struct OptionDef {
    const char* caption;
    int y;
    bool userCanClick;
};
const OptionDef kModeOptions[6] = {{QT_TRANSLATE_NOOP("kestro::frmKestroRecord", " Initialisierung"), -40, false},
                                   {" Lp", 24, true},
                                   {" LEQ", 50, true},
                                   {" MAX-Hold", 76, true},
                                   {QT_TRANSLATE_NOOP("kestro::frmKestroRecord", " Calibration"), 130, false},
                                   {QT_TRANSLATE_NOOP("kestro::frmKestroRecord", " Service"), 155, false}};
const OptionDef kRangeOptions[5] = {{" AUTO", 21, true},
                                    {" 30 - 90 dB", 41, true},
                                    {" 50 - 110 dB", 61, true},
                                    {" 70 - 130 dB", 81, true},
                                    {QT_TRANSLATE_NOOP("kestro::frmKestroRecord", " unknown"), 130, false}};

// Status bar panels: widths at the default font; 0 takes the room that is left.
const int kPanelWidths[4] = {24, 96, 0, 128};
// The texts panels 2 and 4 show; each panel is as wide as the widest.
const std::vector<const char*> kPanelTexts[4] = {
    {},
    {QT_TRANSLATE_NOOP("kestro::frmKestroRecord", "Initialisation"), "Lp", "LEQ", "MAX", "CAL",
     QT_TRANSLATE_NOOP("kestro::frmKestroRecord", "Service"), QT_TRANSLATE_NOOP("kestro::frmKestroRecord", "unknown")},
    {},
    {QT_TRANSLATE_NOOP("kestro::frmKestroRecord", "Recording enabled"),
     QT_TRANSLATE_NOOP("kestro::frmKestroRecord", "Recording disabled")}};

}  // namespace

void frmKestroRecord::buildWindow() {
    buildMenus();
    auto* client = new QWidget(this);
    setCentralWidget(client);
    buildKeys(client);

    Picture2 = new MainPanel(client);
    Picture2->setObjectName(QStringLiteral("Picture2"));
    Picture1 = new DisplayPanel(Picture2);
    Picture1->move(8, 8);
    buildOptions();

    views_.placeWidgets(Picture2);
    QWidget* graph = views_.graphWidget();
    // Read the level: the display takes the focus, and a screen reader reads it out.
    auto* readLevel = new QAction(tr("Read the level"), this);
    readLevel->setObjectName(QStringLiteral("ReadLevel"));
    readLevel->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_L));
    addAction(readLevel);
    connect(readLevel, &QAction::triggered, this, [this] {
        Picture1->publishReading(session_.clock().read().utcMs);
        Picture1->setFocus(Qt::ShortcutFocusReason);
        QAccessibleEvent focus(Picture1, QAccessible::Focus);
        QAccessible::updateAccessibility(&focus);
    });
    graph->move(kGraphLeft, kGraphTop);
    QWidget* list = views_.fileListWidget();
    list->move(kGraphLeft, kListTop);

    // Tab walks the window as it reads: keys, display, function, range, file list.
    QWidget* chain[] = {cmdPower,
                        cmdRecord,
                        cmdStopRecord,
                        Picture1,
                        optMeasurementMode[1],
                        optMeasurementMode[2],
                        optMeasurementMode[3],
                        optRange[0],
                        optRange[1],
                        optRange[2],
                        optRange[3],
                        list};
    for (size_t i = 0; i + 1 < std::size(chain); ++i)
        setTabOrder(chain[i], chain[i + 1]);

    buildStatusBar(client);

    layoutControls();
    resize(std::max(kDesignWidth, graphLeft_ + kGraphDesignWidth + kGraphRightMargin), minimumHeight());
    layoutClientArea();
}

void frmKestroRecord::layoutControls() {
    // As designed at the default font. A larger font widens and heightens the
    // options with their captions, the frames with them, and moves what lies
    // right of and below them; the window grows along.
    int optionWidth = kOptionWidth, optionHeight = kOptionHeight;
    auto measure = [&](const auto& options, const OptionDef* defs) {
        for (size_t i = 0; i < options.size(); ++i)
            if (defs[i].userCanClick) {
                optionWidth = std::max(optionWidth, options[i]->sizeHint().width());
                optionHeight = std::max(optionHeight, options[i]->sizeHint().height());
            }
    };
    measure(optMeasurementMode, kModeOptions);
    measure(optRange, kRangeOptions);
    const double scale = double(optionHeight) / kOptionHeight;
    const int frameWidth =
        std::max({kFrameWidth, kOptionLeft + optionWidth + 3, frmMeasurementMode->minimumSizeHint().width(),
                  frmRange->minimumSizeHint().width()});
    const int frameHeight = int(std::lround(kFrameHeight * scale));
    int x = 8;
    auto place = [&](QGroupBox* frame, auto& options, const OptionDef* defs) {
        frame->setGeometry(x, kFrameTop, frameWidth, frameHeight);
        for (size_t i = 0; i < options.size(); ++i)
            options[i]->setGeometry(kOptionLeft, int(std::lround(defs[i].y * scale)), optionWidth, optionHeight);
        x += frameWidth + kFrameGap;
    };
    place(frmMeasurementMode, optMeasurementMode, kModeOptions);
    place(frmRange, optRange, kRangeOptions);
    graphLeft_ = std::max(int(kGraphLeft), x);
    panelHeight_ = std::max(kPanelHeight, kFrameTop + frameHeight + 12);

    // Status panels: as wide as their longest text, never narrower than designed.
    statusHeight_ = kStatusHeight;
    for (int i = 1; i < 4; i += 2) {
        QLabel* label = panels_[size_t(i)];
        const QString shown = label->text();
        int width = kPanelWidths[i];
        for (const char* text : kPanelTexts[i]) {
            label->setText(tr(text));
            width = std::max(width, label->sizeHint().width());
        }
        label->setText(shown);
        label->setFixedWidth(width);
        statusHeight_ = std::max(statusHeight_, label->sizeHint().height() + 2);
    }
    graphMinWidth_ = graphLeft_ + kMinGraphWidth + kGraphRightMargin;
    setMinimumHeight(kToolbarHeight + panelHeight_ + statusHeight_ + menuBar()->sizeHint().height());
    fitStatusBar();
}

void frmKestroRecord::buildMenus() {
    QMenu* menu = nullptr;
    for (const MenuItemDef& m : kMenuItems) {
        QAction* action = nullptr;
        if (!m.menu) {
            action = menuBar()->addAction(tr(m.caption));
        } else {
            if (!menu || menu->objectName() != QLatin1String(m.menuName)) {
                menu = menuBar()->addMenu(tr(m.menu));
                menu->setObjectName(QLatin1String(m.menuName));
            }
            action = menu->addAction(tr(m.caption));
        }
        action->setObjectName(QLatin1String(m.name));
        if (*m.shortcut) action->setShortcut(QKeySequence(QLatin1String(m.shortcut), QKeySequence::PortableText));
        // "Exit" ends the program from every window of it (statistics, Setup, About).
        action->setShortcutContext(m.applicationWide ? Qt::ApplicationShortcut : Qt::WindowShortcut);
        connect(action, &QAction::triggered, this, [this, click = m.click] { (this->*click)(); });
        if (m.click == &frmKestroRecord::onEventsMark) markAction_ = action;
        if (m.click == &frmKestroRecord::MenuFileExit_Click) exitAction_ = action;
    }
    markAction_->setEnabled(false);
    markAction_->setStatusTip(tr("Marks a span of the recording; a second Mark ends it"));
}

void frmKestroRecord::buildKeys(QWidget* client) {
    Toolbar1 = new ToolbarStrip(client);
    Toolbar1->setObjectName(QStringLiteral("Toolbar1"));
    setAccessibleRole(Toolbar1, QAccessible::ToolBar);
    Toolbar1->setAccessibleName(tr("Front panel keys"));
    for (const KeyDef& k : kKeys) {
        auto* key = new PictureButton(imlToolbar_, QString::fromLatin1(k.objectName), Toolbar1);
        this->*k.field = key;
        key->move(k.x, 1);
        key->setPicture(QString::fromLatin1(k.picture));
        key->setEnabled(false);
        key->onMouseDown = [this, down = k.down] {
            step(kHandlerError, [&] { (this->*down)(); });
        };
        key->onMouseUp = [this, up = k.up] {
            step(kHandlerError, [&] { (this->*up)(); });
        };
        // The tool tips also tell the shortcuts.
        const QString name = tr(k.accessibleName);
        const QKeySequence shortcut(QLatin1String(k.shortcut), QKeySequence::PortableText);
        key->setAccessibleName(name);
        key->setShortcut(shortcut);
        if (!shortcut.isEmpty()) {
            // The same key from the statistics window: a modal dialog blocks it anyway.
            auto* action = new QAction(name, this);
            action->setShortcut(shortcut);
            connect(action, &QAction::triggered, key, [key] {
                if (key->isEnabled()) key->click();
            });
            keyActions_ << action;
        }
        // The record key is a toggle: its checked state says whether recording is armed.
        key->setCheckable(k.field == &frmKestroRecord::cmdRecord);
        key->setToolTip(shortcut.isEmpty()
                            ? name
                            : QStringLiteral("%1 (%2)").arg(name, shortcut.toString(QKeySequence::NativeText)));
    }
}

void frmKestroRecord::buildOptions() {
    auto frame = [this](const char* caption, const char* name, auto& options, const auto& defs, const char* optionName,
                        void (frmKestroRecord::*click)(int16_t)) {
        auto* box = new QGroupBox(tr(caption), Picture2);
        box->setObjectName(QLatin1String(name));
        for (size_t i = 0; i < options.size(); ++i) {
            auto* opt = new QRadioButton(tr(defs[i].caption), box);
            if (!defs[i].userCanClick) {
                // Hidden as well: lying outside the frame, it must not be reported as showing.
                opt->setEnabled(false);
                opt->setFocusPolicy(Qt::NoFocus);
                opt->setVisible(false);
            }
            opt->setObjectName(QStringLiteral("%1%2").arg(QLatin1String(optionName)).arg(i));
            connect(opt, &QRadioButton::clicked, this,
                    [this, click, i] { step(kHandlerError, [&] { (this->*click)(int16_t(i)); }); });
            options[i] = opt;
        }
        return box;
    };
    frmMeasurementMode = frame(QT_TR_NOOP("Mode"), "frmMeasurementMode", optMeasurementMode, kModeOptions,
                               "optMeasurementMode", &frmKestroRecord::optMeasurementMode_Click);
    frmRange =
        frame(QT_TR_NOOP("Range"), "frmRange", optRange, kRangeOptions, "optRange", &frmKestroRecord::optRange_Click);
    optMeasurementMode[0]->setChecked(true);
    markedOptionIsTheTabStop(optMeasurementMode);
    markedOptionIsTheTabStop(optRange);
    for (QRadioButton* o : optMeasurementMode)
        connect(o, &QRadioButton::toggled, this, [this](bool on) {
            if (on) markedOptionIsTheTabStop(optMeasurementMode);
        });
    for (QRadioButton* o : optRange)
        connect(o, &QRadioButton::toggled, this, [this](bool on) {
            if (on) markedOptionIsTheTabStop(optRange);
        });
    frmMeasurementMode->setEnabled(false);
    frmRange->setEnabled(false);
}

void frmKestroRecord::buildStatusBar(QWidget* client) {
    // The bottom strip of the client area.
    StatusBar1 = new QWidget(client);
    StatusBar1->setObjectName(QStringLiteral("StatusBar1"));
    setAccessibleRole(StatusBar1, QAccessible::StatusBar);
    StatusBar1->setAccessibleName(tr("Status"));
    StatusBar1->setBackgroundRole(QPalette::Button);
    StatusBar1->setAutoFillBackground(true);
    // Placed by fitStatusBar: which panel gives way first is ours to decide, not a layout's.
    for (int i = 0; i < 4; ++i) {
        const int width = kPanelWidths[i];
        auto* label = new QLabel(StatusBar1);
        label->setObjectName(QStringLiteral("StatusPanel%1").arg(i + 1));
        label->setFrameStyle(QFrame::Panel | QFrame::Sunken);
        label->setForegroundRole(QPalette::ButtonText);  // on the strip's button colour
        label->setContentsMargins(i == 0 ? 0 : 3, 0, 3, 0);
        if (width > 0) label->setFixedWidth(width);
        if (i == 0) label->setAlignment(Qt::AlignCenter);
        panels_[size_t(i)] = label;
    }
    // The last calibration check, after the four panels; hidden until there is one.
    calibrationPanel_ = new QLabel(StatusBar1);
    calibrationPanel_->setObjectName(QStringLiteral("StatusPanel5"));
    calibrationPanel_->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    calibrationPanel_->setContentsMargins(3, 0, 3, 0);
    calibrationPanel_->hide();
    eventPanel_ = new QLabel(StatusBar1);
    eventPanel_->setObjectName(QStringLiteral("StatusPanel6"));
    eventPanel_->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    eventPanel_->setContentsMargins(3, 0, 3, 0);
    eventPanel_->setAutoFillBackground(true);
    eventPanel_->hide();
    setConnectionPicture(1);
    panels_[1]->setText(tr("unknown"));
    panels_[3]->setText(tr("Recording disabled"));
}

void frmKestroRecord::layoutClientArea() {
    QWidget* client = centralWidget();
    if (!client) return;
    const int w = client->width(), h = client->height();
    Toolbar1->setGeometry(0, 0, w, kToolbarHeight);
    Picture2->setGeometry(0, kToolbarHeight, w, std::max(0, h - kToolbarHeight - statusHeight_));
    StatusBar1->setGeometry(0, std::max(kToolbarHeight, h - statusHeight_), w, statusHeight_);
}

void frmKestroRecord::resizeEvent(QResizeEvent* event) {
    QMainWindow::resizeEvent(event);
    layoutClientArea();
    Form_Resize();
    fitStatusBar();  // an elided file name fits the new width
}

void frmKestroRecord::changeEvent(QEvent* event) {
    QMainWindow::changeEvent(event);
    if (event->type() == QEvent::FontChange || event->type() == QEvent::StyleChange) {
        // After every control has its new font.
        QMetaObject::invokeMethod(
            this,
            [this] {
                layoutControls();
                // The window grows by what the frames grew, so the graph keeps its width.
                resize(std::max(width(), graphLeft_ + kGraphDesignWidth + kGraphRightMargin),
                       std::max(height(), minimumHeight()));
                if (auto* list = qobject_cast<QTreeWidget*>(views_.fileListWidget())) fitFileListColumns(list);
                layoutClientArea();
                Form_Resize();
            },
            Qt::QueuedConnection);
        return;
    }
    if (event->type() != QEvent::WindowStateChange) return;
    // Restoring from the task bar delivers no resize: the graph is rebuilt here.
    const bool minimized = isMinimized();
    if (wasMinimized_ && !minimized) Form_Resize();
    wasMinimized_ = minimized;
}

void frmKestroRecord::closeEvent(QCloseEvent* event) {
    // Only the window system's close (the close box) is spontaneous.
    if (Form_QueryUnload(event->spontaneous() ? 0 : 1))
        event->ignore();
    else
        event->accept();
}

bool frmKestroRecord::Form_QueryUnload(int UnloadMode) {
    // The user's close ends the program in its own order; other closes proceed.
    if (UnloadMode != 0 || !onEndApplication) return false;
    onEndApplication();
    return true;
}

// ---------------------------------------------------------------- window events

void frmKestroRecord::ShowMainWindow() {
    if (!loaded_)
        Form_Load();
    else
        show();
}

void frmKestroRecord::Form_Load() {
    if (loaded_) return;
    loaded_ = true;
    step(kLoadError, [&] {
        session_.recorder().RecordFiles.assign(1, RecordFileEntry{});
        session_.recorder().LastSlowRecordNo = 0;
        session_.recorder().LastFastRecordNo = 0;
    });
    Reset_KestroStateOld();
    Reset_KestroState();
    step(kLoadError, [&] { views_.InitFileList(); });
    step(kLoadError, [&] { views_.initGraph(); });
    step(kLoadError, [&] { InitForm(); });
    // The focus starts where it can be seen: on the display, which reads out the level.
    Picture1->setFocus(Qt::OtherFocusReason);
    Picture1->publishReading(session_.clock().read().utcMs);
    show();
    QCoreApplication::processEvents();
    step(kLoadError, [&] { views_.ScaleYAxis(); });
    step(kLoadError, [&] { views_.CalculateGraphStartTime(); });
    step(kLoadError, [&] { views_.ScaleTimeAxis(); });
    if (startTimers_) {
        session_.Timer1.start();
        BlinkTimer.start();
    }
}

void frmKestroRecord::Form_Resize() {
    if (isMinimized() || InResize) return;
    struct Guard {
        bool& flag;
        explicit Guard(bool& f) : flag(f) { flag = true; }
        ~Guard() { flag = false; }
    } guard(InResize);
    // 401 at the design width of 676: the graph keeps its left edge and right margin.
    const int graphWidth = std::max(kMinGraphWidth, width() - graphLeft_ - kGraphRightMargin);
    step(kResizeError, [&] { views_.setGraphWidth(graphWidth); });
    step(kResizeError, [&] {
        views_.graphWidget()->move(graphLeft_, kGraphTop);
        // Down to the frames' bottom edge (100 at the design height).
        views_.fileListWidget()->setGeometry(graphLeft_, kListTop, graphWidth, panelHeight_ - kListTop - 11);
    });
}

int16_t frmKestroRecord::InitForm() { return session_.InitForm(); }

void frmKestroRecord::MenuFileExit_Click() {
    if (onEndApplication) onEndApplication();
}

bool frmKestroRecord::eventFilter(QObject* watched, QEvent* event) {
    // A modal dialog shadows the window's application-wide shortcuts; one that
    // carries the action itself is not shadowed.
    if (event->type() != QEvent::Show || !watched->isWidgetType()) return QMainWindow::eventFilter(watched, event);
    auto* w = static_cast<QWidget*>(watched);
    if (w == this || !w->isWindow() || w->windowType() == Qt::Popup || w->windowType() == Qt::ToolTip ||
        w->actions().contains(exitAction_))
        return false;
    w->addAction(exitAction_);
    if (!qobject_cast<QDialog*>(w) && w->parentWidget() == this) {
        w->addAction(markAction_);
        w->addActions(keyActions_);
    }
    return false;
}

void frmKestroRecord::MenuSetup_Click() {
    // Setup closes the port: an armed recording must not end unannounced.
    if (session_.armed() && onAsk &&
        !onAsk(tr("Recording is armed. Setup stops it while the dialog is open; it resumes when you "
                  "close Setup.")))
        return;
    if (onShowSetup) onShowSetup();
}

void frmKestroRecord::MenuHelpAbout_Click() {
    if (onShowAbout) onShowAbout();
}

void frmKestroRecord::onStatisticsShow() {
    if (onShowStatistics) onShowStatistics();
}

void frmKestroRecord::onStatisticsOpen() {
    if (onOpenRecordFile) onOpenRecordFile();
}

void frmKestroRecord::onEventsMark() {
    SeriesRecorder& rec = session_.recorder();
    const ClockReading pressed = session_.clock().read();
    // The second Mark ends the span at once: its end is the moment of the key.
    if (rec.events().spanOpen() || !rec.events().recording()) {
        rec.mark(QString(), pressed);
        return;
    }
    // One note at a time: a second dialog would end the span the first begins.
    if (auto* asking = findChild<QInputDialog*>(QStringLiteral("MarkDialog")); asking && asking->isVisible()) {
        asking->activateWindow();
        return;
    }
    auto* dialog = new QInputDialog(this);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->setObjectName(QStringLiteral("MarkDialog"));
    dialog->setWindowTitle(tr("Mark"));
    dialog->setLabelText(tr("&Note of the span marked from %1 (Mark again to end it):")
                             .arg(localDateTimeText(absoluteMilliseconds(pressed.local)).mid(11)));
    dialog->setTextValue(localDateTimeText(absoluteMilliseconds(pressed.local)).mid(11));
    connect(dialog, &QInputDialog::textValueSelected, this,
            [this, pressed](const QString& note) { session_.recorder().mark(note, pressed); });
    dialog->open();
}

void frmKestroRecord::showEvents() {
    const EventRecorder& ev = session_.recorder().events();
    views_.showEventBands();
    markAction_->setEnabled(ev.recording());
    QString text, tip = ev.detectionText(true);
    bool alarm = false;
    if (const std::optional<NoiseEvent> e = ev.running()) {
        text = tr("Exceedance since %1").arg(localDateTimeText(e->startLocalMs).mid(11));
        tip += tr("; LAmax so far %1 dB").arg(levelText(e->lmax, shownDecimalPoint()));
        alarm = true;
    } else if (ev.spanOpen()) {
        text = tr("Marked since %1").arg(localDateTimeText(ev.spanStartLocalMs()).mid(11));
        tip += QStringLiteral("; ") + ev.spanNote();
    } else if (ev.recording()) {
        text = ev.detecting() ? tr("Events: %1").arg(ev.count()) : tr("No events");
    }
    // After an announcement the panel's next change speaks for itself again.
    if (!announceExceedance(ev) && eventPanel_->text() != text) eventPanel_->setAccessibleName(QString());
    if (eventPanel_->isVisibleTo(StatusBar1) == !text.isEmpty() && eventPanel_->text() == text &&
        eventPanel_->toolTip() == tip)
        return;
    eventPanel_->setVisible(!text.isEmpty());
    eventPanel_->setText(text);
    eventPanel_->setToolTip(tip);
    eventPanel_->setAccessibleDescription(tip);
    // White on a dark red: legible under any theme.
    eventPanel_->setStyleSheet(alarm ? QStringLiteral("background: #a61b1b; color: #ffffff;") : QString());
    // The free panel lost or won room: an elided file name is cut anew.
    fitStatusBar();
}

bool frmKestroRecord::announceExceedance(const EventRecorder& ev) {
    // A screen reader hears an exceedance begin and end: the panel's name
    // changes as a live region's would (this Qt has no announcement event).
    const std::optional<NoiseEvent> e = ev.running();
    QString said;
    if (e && e->startLocalMs != announcedStartMs_) {
        announcedStartMs_ = e->startLocalMs;
        said = tr("Exceedance started at %1").arg(localDateTimeText(e->startLocalMs).mid(11));
    } else if (!e && announcedStartMs_ >= 0) {
        announcedStartMs_ = -1;
        if (const std::optional<NoiseEvent>& last = ev.lastEnded())
            said = tr("Exceedance ended at %1, LAmax %2 dB")
                       .arg(localDateTimeText(last->endLocalMs).mid(11), levelText(last->lmax, shownDecimalPoint()));
    }
    if (!said.isEmpty()) eventPanel_->setAccessibleName(said);
    return !said.isEmpty();
}

void frmKestroRecord::setPanel3Text(const QString& text) {
    panel3Text_ = text;
    showPanel3();
}

QString frmKestroRecord::panel3Prefix() const {
    const SeriesRecorder& recorder = session_.recorder();
    if (recorder.recordErrorText().isEmpty()) return {};
    return tr("Record file error: ") + recorder.recordErrorReason() + QStringLiteral(" \u2014 ");
}

void frmKestroRecord::showPanel3() {
    QLabel* label = panels_[2];
    const SeriesRecorder& recorder = session_.recorder();
    const QString error = recorder.recordErrorText();
    const QFontMetrics fm(label->font());
    const int room = label->contentsRect().width();
    if (error.isEmpty()) {
        // The free text gives way at its end; the tool tip holds it whole.
        const QString shown = fm.elidedText(panel3Text_, Qt::ElideRight, room);
        label->setToolTip(shown == panel3Text_ ? QString() : panel3Text_);
        setPanelText(3, shown);
        return;
    }
    // The reason stays readable; the file name gives way in its middle and is
    // whole in the tool tip, in the panel's language.
    const QString prefix = panel3Prefix();
    label->setToolTip(prefix + recorder.recordErrorPath());
    setPanelText(3, prefix + fm.elidedText(recorder.recordErrorPath(), Qt::ElideMiddle,
                                           std::max(room - fm.horizontalAdvance(prefix),
                                                    fm.horizontalAdvance(QStringLiteral("\u2026")))));
}

void frmKestroRecord::fitStatusBar() {
    // From the most important: the event, the recording state, the function
    // and the connection keep their whole texts; the calibration check drops
    // its time first, then the file name of a record-file error gives way, never
    // its reason. What that leaves is the narrowest the window may become.
    auto outer = [](const QLabel* l, const QString& text) {
        const QMargins m = l->contentsMargins();
        return l->fontMetrics().horizontalAdvance(text) + m.left() + m.right() + 2 * l->frameWidth();
    };
    const QFontMetrics fm3(panels_[2]->font());
    const QString prefix = panel3Prefix();
    const int panel3Least = outer(panels_[2], prefix + QStringLiteral("\u2026"));
    int fixed = 0, shown = 0;
    for (QLabel* l : {panels_[0], panels_[1], panels_[3]}) {
        fixed += l->minimumWidth();
        ++shown;
    }
    const int eventWidth = eventPanel_->isVisibleTo(StatusBar1) ? outer(eventPanel_, eventPanel_->text()) : 0;
    const bool calibration = calibrationPanel_->isVisibleTo(StatusBar1);
    shown += 1 + (eventWidth > 0 ? 1 : 0) + (calibration ? 1 : 0);
    fixed += eventWidth + 2 * kStatusMargin + (shown - 1) * kStatusSpacing;
    const int calibrationLeast = calibration ? outer(calibrationPanel_, calibrationShort_) : 0;
    const int least = fixed + calibrationLeast + panel3Least;
    if (std::max(graphMinWidth_, least) != minimumWidth()) setMinimumWidth(std::max(graphMinWidth_, least));

    const int room = StatusBar1->width() - fixed;
    const int calibrationFull = calibration ? outer(calibrationPanel_, calibrationFull_) : 0;
    const bool calibrationWhole = room - calibrationFull >= panel3Least;
    if (calibration) {
        const QString text = calibrationWhole ? calibrationFull_ : calibrationShort_;
        if (calibrationPanel_->text() != text) calibrationPanel_->setText(text);
    }
    const int calibrationWidth = calibrationWhole ? calibrationFull : calibrationLeast;
    const int panel3Width = std::max(room - calibrationWidth, panel3Least);
    const int height = statusHeight_ - 2 * kStatusMargin;
    int x = kStatusMargin;
    auto place = [&](QLabel* l, int width) {
        l->setGeometry(x, kStatusMargin, width, height);
        x += width + kStatusSpacing;
    };
    place(panels_[0], panels_[0]->minimumWidth());
    place(panels_[1], panels_[1]->minimumWidth());
    place(panels_[2], panel3Width);
    place(panels_[3], panels_[3]->minimumWidth());
    if (calibration) place(calibrationPanel_, calibrationWidth);
    if (eventWidth > 0) place(eventPanel_, eventWidth);
    showPanel3();
}

void frmKestroRecord::showCalibrationCheck(const CalibrationCheck& c) {
    const QString level = QString::number(c.levelDb, 'f', 1).replace(QLatin1Char('.'), shownDecimalPoint());
    const QString when = localDateTimeText(c.localMs);
    calibrationShort_ = tr("Cal %1 dB").arg(level);
    calibrationFull_ = tr("Cal %1 dB %2").arg(level, when.mid(11, 5));
    calibrationPanel_->setText(calibrationFull_);
    calibrationPanel_->setToolTip(tr("Last calibration check: %1, %2 dB").arg(when, level) +
                                  (c.serialNumber.isEmpty() ? QString() : tr(", meter %1").arg(c.serialNumber)));
    calibrationPanel_->show();
    fitStatusBar();
}

QString frmKestroRecord::panelText(int panel) const {
    return panel >= 1 && panel <= 4 ? panels_[size_t(panel - 1)]->text() : QString();
}

void frmKestroRecord::setPanelText(int panel, const QString& text) {
    QLabel* label = panels_[size_t(panel - 1)];
    if (label->text() != text) label->setText(text);
}

void frmKestroRecord::setConnectionPicture(int index) {
    if (index == connectionPicture_) return;
    panels_[0]->setPixmap(imlConnectionState_.pixmap(index));
    panels_[0]->setToolTip(index == 2 ? tr("Connected") : tr("Not connected"));
    panels_[0]->setAccessibleName(panels_[0]->toolTip());
    connectionPicture_ = index;
}

void frmKestroRecord::setFramesEnabled(bool on) {
    frmMeasurementMode->setEnabled(on);
    frmRange->setEnabled(on);
}

void frmKestroRecord::selectMode(int index) {
    if (index < 0 || index >= int(optMeasurementMode.size()))
        throw PictureError(kErrNoSuchOption, "no function option " + std::to_string(index));
    optMeasurementMode[size_t(index)]->setChecked(true);
}

void frmKestroRecord::selectRange(int index) {
    if (index < 0 || index >= int(optRange.size()))
        throw PictureError(kErrNoSuchOption, "no range option " + std::to_string(index));
    optRange[size_t(index)]->setChecked(true);
}

// ---------------------------------------------------------------- what the session shows

void frmKestroRecord::observeSession() {
    Session& s = session_;
    connect(&s, &Session::wentOnline, this, &frmKestroRecord::showOnline);
    connect(&s, &Session::wentOffline, this, &frmKestroRecord::showOffline);
    connect(&s, &Session::deviceStarted, this, &frmKestroRecord::showStarted);
    connect(&s, &Session::functionChanged, this, &frmKestroRecord::showFunction);
    connect(&s, &Session::modeLegend, this,
            [this](int16_t f, int16_t variant) { tick([&] { Picture1->showModeLegend(f, variant, BlinkPhase); }); });
    connect(&s, &Session::levelChanged, this, [this](int16_t level) { tick([&] { NoiseDisplay(level); }); });
    connect(&s, &Session::levelStatusChanged, this,
            [this](int16_t status) { tick([&] { Picture1->showLevelStatus(status); }); });
    connect(&s, &Session::rangeChanged, this, &frmKestroRecord::showRange);
    connect(&s, &Session::batteryChanged, this,
            [this](int16_t battery) { tick([&] { Picture1->showBattery(battery); }); });
    connect(&s, &Session::recordingChanged, this, &frmKestroRecord::showRecording);
    connect(&s, &Session::timeAxisRestarted, this, [this] { tick([&] { views_.RestartTimeAxis(); }); });
    connect(&s, &Session::statusText, this, &frmKestroRecord::setPanel3Text);
    connect(&s, &Session::calibrationChecked, this, &frmKestroRecord::showCalibrationCheck);
    connect(&s, &Session::ticked, this, [this] {
        Picture1->publishReading(session_.clock().read().utcMs);
        showEvents();
    });
    connect(&s.recorder(), &SeriesRecorder::markChanged, this, &frmKestroRecord::showEvents);
}

void frmKestroRecord::showOnline() {
    tick([&] { setConnectionPicture(2); });
    tick([&] { Picture1->connectionEstablished(); });
}

void frmKestroRecord::setKey(PictureButton* key, bool enabled, const char* picture) {
    tick([&] {
        key->setEnabled(enabled);
        key->setPicture(QLatin1String(picture));
    });
}

void frmKestroRecord::showOffline() {
    tick([&] { Picture1->connectionLost(); });
    tick([&] { setPanelText(2, tr("unknown")); });
    setFramesEnabled(false);
    setKey(cmdPower, false, "PowerDisabled");
    setKey(cmdStopRecord, false, "StopRecordDisabled");
    setKey(cmdRecord, false, "RecordStoppedDisabled");
    cmdRecord->setChecked(false);
    tick([&] { setPanelText(4, tr("Recording disabled")); });
    tick([&] { selectMode(0); });
    tick([&] { setConnectionPicture(1); });
    Picture1->publishReading(session_.clock().read().utcMs);
}

void frmKestroRecord::showStarted() {
    setFramesEnabled(true);
    setKey(cmdPower, true, "Power");
    setKey(cmdStopRecord, false, "StopRecordDisabled");
    setKey(cmdRecord, true, "RecordStopped");
}

void frmKestroRecord::showFunction(int16_t f, int16_t level) {
    static const char* const kTexts[6] = {
        QT_TRANSLATE_NOOP("kestro::frmKestroRecord", "Initialisation"), "Lp", "LEQ", "MAX", "CAL",
        QT_TRANSLATE_NOOP("kestro::frmKestroRecord", "Service")};
    if (f >= kFunctionInit && f <= kFunctionService) {
        tick([&] { setPanelText(2, tr(kTexts[f])); });
        if (f <= kFunctionLp) tick([&] { Picture1->functionChanged(f, level); });
        optRange[0]->setEnabled(f == kFunctionLp);
        markedOptionIsTheTabStop(optRange);
    }
    tick([&] { selectMode(f); });
}

void frmKestroRecord::showRange(int16_t range, int option) {
    tick([&] { Picture1->showRange(range); });
    tick([&] { selectRange(option); });
}

void frmKestroRecord::NoiseDisplay(int16_t Value) {
    if (!session_.isOnline()) return;
    Picture1->NoiseDisplay(Value);
}

void frmKestroRecord::Reset_KestroDisplay() { Picture1->Reset_KestroDisplay(); }

void frmKestroRecord::showRecording(bool armed) {
    cmdRecord->setChecked(armed);
    setPanelText(4, armed ? tr("Recording enabled") : tr("Recording disabled"));
    setFramesEnabled(!armed);
    // Armed or disarmed from elsewhere than the key (start-up option, power
    // key): the record key shows it too.
    if (cmdRecord->isEnabled() && !cmdRecord->isHeld())
        cmdRecord->setPicture(armed ? QStringLiteral("RecordStarted") : QStringLiteral("RecordStopped"));
    if (armed) {
        cmdStopRecord->setEnabled(true);
        cmdStopRecord->setPicture(QStringLiteral("StopRecord"));
    } else if (!cmdStopRecord->isHeld()) {
        cmdStopRecord->setEnabled(false);
        cmdStopRecord->setPicture(QStringLiteral("StopRecordDisabled"));
    }
}

// ---------------------------------------------------------------- keys and options

void frmKestroRecord::BlinkTimer_Timer() {
    BlinkCounter += 1;
    BlinkPhase = (BlinkCounter % 2) != 0;
}

void frmKestroRecord::cmdPower_MouseDown() {
    cmdPower->setPicture(QStringLiteral("PowerPressed"));
    session_.powerKey();
}

void frmKestroRecord::cmdPower_MouseUp() { cmdPower->setPicture(QStringLiteral("Power")); }

void frmKestroRecord::cmdRecord_MouseDown() {
    cmdRecord->setPicture(session_.armed() ? QStringLiteral("RecordStoppedPressed")
                                           : QStringLiteral("RecordStartedPressed"));
    session_.recordKey();
}

void frmKestroRecord::cmdRecord_MouseUp() {
    cmdRecord->setPicture(session_.armed() ? QStringLiteral("RecordStarted") : QStringLiteral("RecordStopped"));
}

void frmKestroRecord::cmdStopRecord_MouseDown() {
    if (!session_.armed()) return;
    cmdStopRecord->setPicture(QStringLiteral("StopRecordDisabledPressed"));
    cmdRecord->setPicture(QStringLiteral("RecordStopped"));
    session_.stopRecordKey();
}

void frmKestroRecord::cmdStopRecord_MouseUp() {
    if (!session_.armed()) {
        cmdStopRecord->setEnabled(false);
        cmdStopRecord->setPicture(QStringLiteral("StopRecordDisabled"));
    } else {
        cmdStopRecord->setPicture(QStringLiteral("StopRecord"));
    }
}

void frmKestroRecord::optMeasurementMode_Click(int16_t Index) { session_.chooseFunction(Index); }

void frmKestroRecord::optRange_Click(int16_t Index) { session_.chooseRange(Index); }

}  // namespace kestro
