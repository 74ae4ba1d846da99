#include "ui/setup/frmSetup.h"

#include "core/Types.h"
#include "link/SerialNames.h"
#include "settings/SettingsSchema.h"
#include "shell/Messages.h"
#include "ui/setup/FieldNames.h"

#include <QAbstractItemView>
#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QDir>
#include <QDoubleSpinBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QFocusEvent>
#include <QGridLayout>
#include <QGroupBox>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPainterPath>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <QScreen>
#include <QSpinBox>
#include <QStackedWidget>
#include <QTabBar>
#include <QToolButton>
#include <QVBoxLayout>

#include <algorithm>
#include <set>
#include <tuple>
#include <vector>

namespace kestro {

namespace {

constexpr int kPorts = 4;
const QString kTab = QStringLiteral("[TAB]");
const QString kSpace = QStringLiteral("[SPACE]");

// Refreshes its list each time it opens, so an adapter plugged in while the
// dialog is up can be picked without reopening it.
class DeviceComboBox final : public QComboBox {
public:
    using QComboBox::QComboBox;
    std::function<void()> beforePopup;
    void showPopup() override {
        if (beforePopup) beforePopup();
        QComboBox::showPopup();
    }
};

// The picture of the "Interface" page: a nine-pin serial plug.
QPixmap serialPlugPicture() {
    const qreal dpr = qGuiApp ? qGuiApp->devicePixelRatio() : 1.0;
    QPixmap pm(QSize(112, 64) * dpr);
    pm.setDevicePixelRatio(dpr);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    QPainterPath shell;
    shell.moveTo(8, 8);
    shell.lineTo(104, 8);
    shell.lineTo(94, 56);
    shell.lineTo(18, 56);
    shell.closeSubpath();
    QLinearGradient metal(0, 8, 0, 56);
    metal.setColorAt(0, QColor(206, 210, 216));
    metal.setColorAt(1, QColor(150, 156, 164));
    p.setPen(QPen(QColor(88, 92, 100), 2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(metal);
    p.drawPath(shell);
    p.setBrush(QColor(58, 62, 70));
    p.setPen(Qt::NoPen);
    for (int i = 0; i < 5; ++i)
        p.drawEllipse(QPointF(26 + i * 15, 24), 4.2, 4.2);
    for (int i = 0; i < 4; ++i)
        p.drawEllipse(QPointF(33.5 + i * 15, 40), 4.2, 4.2);
    return pm;
}

// A path as the serial port will take it: a bare name means a node in /dev.
bool deviceNodeExists(const QString& path) {
    if (QFileInfo::exists(path)) return true;
    return !path.contains(QLatin1Char('/')) && QFileInfo::exists(QStringLiteral("/dev/") + path);
}

QString environmentOverrideName(int n) { return QStringLiteral("KESTRO_COM%1").arg(n); }

// A screen reader names a field by the label beside it only when the label
// says so; otherwise it takes the frame's title. Every label of a grid row is
// paired with the field that follows it; a field without one is named by its tool tip.
void pairFieldsWithLabels(QWidget* root) {
    for (QGridLayout* grid : root->findChildren<QGridLayout*>()) {
        for (int row = 0; row < grid->rowCount(); ++row) {
            QLabel* label = nullptr;
            for (int column = 0; column < grid->columnCount(); ++column) {
                QLayoutItem* item = grid->itemAtPosition(row, column);
                QWidget* w = item ? item->widget() : nullptr;
                if (auto* l = qobject_cast<QLabel*>(w); l && !l->text().isEmpty() && !l->buddy()) {
                    label = l;
                } else if (label && w && (w->focusPolicy() & Qt::TabFocus)) {
                    label->setBuddy(w);
                    label = nullptr;
                }
            }
        }
    }
    for (QWidget* w : root->findChildren<QWidget*>()) {
        const bool field =
            qobject_cast<QLineEdit*>(w) || qobject_cast<QComboBox*>(w) || qobject_cast<QAbstractSpinBox*>(w);
        if (!field || !w->accessibleName().isEmpty() || w->parentWidget()->inherits("QAbstractSpinBox") ||
            w->parentWidget()->inherits("QComboBox"))
            continue;
        // The label is the name too: a list box is otherwise read out by its value alone ("15 min").
        QString name = w->toolTip();
        for (QLabel* l : w->parentWidget()->findChildren<QLabel*>(Qt::FindDirectChildrenOnly))
            if (l->buddy() == w) name = QString(l->text()).remove(QRegularExpression(QStringLiteral("&(?!&)")));
        if (auto* box = qobject_cast<QComboBox*>(w))
            nameListBox(box, name);
        else
            w->setAccessibleName(name);
        if (w->accessibleDescription().isEmpty() && name != w->toolTip()) w->setAccessibleDescription(w->toolTip());
    }
}

// Access keys: the letter after "&" in a caption (Alt+letter). Each page gets
// its own letters; those of the tabs and the buttons below hold on every page.
class Mnemonics {
public:
    void assign(QWidget* scope, const QList<QWidget*>& skip) {
        // A label or button caption (its "text" property), or a tab: (bar, index).
        std::vector<std::pair<QWidget*, int>> captions;
        // Fields first: their labels get the letters of their own words most often.
        for (int pass = 0; pass < 2; ++pass)
            for (QWidget* w : scope->findChildren<QWidget*>()) {
                if (std::any_of(skip.begin(), skip.end(), [&](QWidget* s) { return s == w || s->isAncestorOf(w); }))
                    continue;
                const auto* l = qobject_cast<QLabel*>(w);
                const auto* b = qobject_cast<QAbstractButton*>(w);
                const auto* bar = qobject_cast<QTabBar*>(w);
                const bool explicitlyHidden =
                    w->testAttribute(Qt::WA_WState_ExplicitShowHide) && w->testAttribute(Qt::WA_WState_Hidden);
                if ((pass == 0 && l && l->buddy()) ||
                    (pass == 1 && b && !qobject_cast<const QToolButton*>(b) && !explicitlyHidden))
                    captions.emplace_back(w, -1);
                for (int i = 0; pass == 1 && bar && i < bar->count(); ++i)
                    captions.emplace_back(w, i);
            }
        std::set<QChar> used = dialogWide_;
        for (const auto& [w, tab] : captions)
            if (const QString t = text(w, tab); t.indexOf(QLatin1Char('&')) >= 0 && !t.endsWith(QLatin1Char('&')))
                used.insert(t.at(t.indexOf(QLatin1Char('&')) + 1).toLower());
        for (const auto& [w, tab] : captions) {
            QString t = text(w, tab);
            const int at = t.contains(QLatin1Char('&')) ? -1 : choose(t, used);
            if (at < 0) continue;
            used.insert(t.at(at).toLower());
            t.insert(at, QLatin1Char('&'));
            if (tab >= 0)
                static_cast<QTabBar*>(w)->setTabText(tab, t);
            else
                w->setProperty("text", t);
        }
        if (dialogWide_.empty()) dialogWide_ = used;
    }

private:
    static QString text(const QWidget* w, int tab) {
        return tab >= 0 ? static_cast<const QTabBar*>(w)->tabText(tab) : w->property("text").toString();
    }
    // The first free letter that begins a word, else a free digit, else any free letter.
    static int choose(const QString& t, const std::set<QChar>& used) {
        for (int rule = 0; rule < 3; ++rule)
            for (int i = 0; i < t.size(); ++i) {
                const bool wordStart = i == 0 || !t.at(i - 1).isLetterOrNumber();
                if (t.at(i).isLetterOrNumber() && !used.count(t.at(i).toLower()) &&
                    (rule == 2 || (rule == 0 ? wordStart : t.at(i).isDigit())))
                    return i;
            }
        return -1;
    }
    std::set<QChar> dialogWide_;
};

// A separator field that also takes [TAB] and [SPACE] (the column separator's).
constexpr const char* kKeywords = "separatorKeywords";

double scaleOf(const SettingDef& row) { return row.has(kTenths) ? 10.0 : 1.0; }

// One binder per widget kind: a value of the row, in its stored form, shown in
// the widget named after the row, and read back from it.
void showValue(QWidget* w, const SettingDef& row, const QVariant& v) {
    if (auto* box = qobject_cast<QCheckBox*>(w)) {
        box->setChecked(v.toLongLong() != 0);
    } else if (auto* list = qobject_cast<QComboBox*>(w)) {
        list->setCurrentIndex(qMax(0, list->findData(v.toInt())));
    } else if (auto* spin = qobject_cast<QDoubleSpinBox*>(w)) {
        spin->setValue(v.toLongLong() / scaleOf(row));
    } else if (auto* spin = qobject_cast<QSpinBox*>(w)) {
        spin->setValue(v.toInt());
    } else if (auto* text = qobject_cast<QPlainTextEdit*>(w)) {
        text->setPlainText(v.toString());
    } else if (auto* line = qobject_cast<QLineEdit*>(w)) {
        const int32_t code = v.toInt();
        if (row.kind != SettingKind::Separator)
            line->setText(v.toString());
        else
            line->setText(w->property(kKeywords).toBool() ? separatorFieldText(code)
                                                          : QString(QChar(static_cast<char16_t>(code))));
    }
}

QVariant editedValue(const QWidget* w, const SettingDef& row) {
    if (auto* box = qobject_cast<const QCheckBox*>(w)) return box->isChecked() ? 1 : 0;
    if (auto* list = qobject_cast<const QComboBox*>(w)) return list->currentData().toInt();
    if (auto* spin = qobject_cast<const QDoubleSpinBox*>(w)) return qRound(spin->value() * scaleOf(row));
    if (auto* spin = qobject_cast<const QSpinBox*>(w)) return spin->value();
    if (auto* text = qobject_cast<const QPlainTextEdit*>(w)) return text->toPlainText();
    auto* line = qobject_cast<const QLineEdit*>(w);
    if (!line || row.kind != SettingKind::Separator) return line ? QVariant(line->text()) : QVariant();
    int32_t code = 0;
    separatorCode(line->text(), w->property(kKeywords).toBool(), &code);
    return code;
}

}  // namespace

QList<SerialDevice> presentSerialDevices() {
    return withStableNames(kernelSerialDevices(), stableSerialNames(QLatin1String(kSerialByIdDir)));
}

QList<SerialDevice> withStableNames(const QList<SerialDevice>& ports, const QList<StableSerialName>& names) {
    QList<SerialDevice> out;
    for (const StableSerialName& name : names) {
        SerialDevice d;
        d.path = name.link;
        d.description = frmSetup::tr("now %1").arg(name.target);
        for (const SerialDevice& p : ports) {
            if (QFileInfo(p.path).canonicalFilePath() != name.target) continue;
            if (!p.description.trimmed().isEmpty()) d.description += QStringLiteral(", ") + p.description.trimmed();
            d.hasIds = p.hasIds;
            d.vendorId = p.vendorId;
            d.productId = p.productId;
        }
        out.push_back(d);
    }
    return out + ports;
}

QString serialDeviceText(const SerialDevice& info) {
    QString text = info.path;
    const QString desc = info.description.trimmed();
    if (!desc.isEmpty()) text += QStringLiteral(" — ") + desc;
    if (info.hasIds)
        text += QStringLiteral(" (%1:%2)")
                    .arg(info.vendorId, 4, 16, QLatin1Char('0'))
                    .arg(info.productId, 4, 16, QLatin1Char('0'));
    return text;
}

bool separatorCode(const QString& fieldText, bool keywords, int32_t* code) {
    if (keywords) {
        const QString upper = fieldText.toUpper();
        if (upper == kTab) {
            *code = 9;
            return true;
        }
        if (upper == kSpace) {
            *code = 32;
            return true;
        }
    }
    if (fieldText.isEmpty()) return false;
    // The store keeps single-byte codes; the loader reads nothing else back.
    const int32_t c = fieldText.at(0).unicode();
    if (!settingProblem(setting(SettingId::TabularSeparator), c).isEmpty()) return false;
    *code = c;
    return true;
}

QString separatorFieldText(int32_t code) {
    if (code == 9) return kTab;
    if (code == 32) return kSpace;
    return QString(QChar(static_cast<char16_t>(code)));
}

frmSetup::frmSetup(SetupStore store, PortProber probePorts, MessageSink& messages,
                   std::function<void()> initApplication, SerialDeviceLister listDevices, QWidget* parent)
    : QDialog(parent),
      store_(std::move(store)),
      probePorts_(std::move(probePorts)),
      messages_(messages),
      initApplication_(std::move(initApplication)),
      listDevices_(std::move(listDevices)) {
    setObjectName(QStringLiteral("frmSetup"));
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowCloseButtonHint);
    setWindowTitle(tr("Setup"));
    buildControls();
    load();

    adjustSize();
    setFixedSize(sizeHint());
    if (QScreen* s = QGuiApplication::primaryScreen()) {
        const QRect area = s->availableGeometry();
        move(area.left() + (area.width() - width()) / 2, area.top() + (area.height() - height()) / 2);
    }
}

namespace {

template <class W>
W* named(W* w, const char* name) {
    w->setObjectName(QLatin1String(name));
    return w;
}

QLabel* fieldLabel(const QString& text, QWidget* parent) {
    auto* l = new QLabel(text, parent);
    l->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    return l;
}

// The pages, in the order of the tab strip.
const struct {
    const char* caption;
    const char* key;
    const char* tip;
} kTabs[] = {{QT_TRANSLATE_NOOP("kestro::frmSetup", "Recording"), "Group1",
              QT_TRANSLATE_NOOP("kestro::frmSetup", "Optionen für Gruppe 1 festlegen")},
             {QT_TRANSLATE_NOOP("kestro::frmSetup", "Interface"), "Group2",
              QT_TRANSLATE_NOOP("kestro::frmSetup", "Optionen für Gruppe 3 festlegen")},
             {QT_TRANSLATE_NOOP("kestro::frmSetup", "Statistics"), "Group3",
              QT_TRANSLATE_NOOP("kestro::frmSetup", "Interval and limit of the noise statistics")},
             {QT_TRANSLATE_NOOP("kestro::frmSetup", "Measurement details"), "Group4",
              QT_TRANSLATE_NOOP("kestro::frmSetup",
                                "Location, operator, weather, notes and instrument kept beside every series")}};

// The captions of the "Measurement details" fields, with their mnemonics.
const char* const kDetails[] = {
    QT_TRANSLATE_NOOP("kestro::frmSetup", "&Location"), QT_TRANSLATE_NOOP("kestro::frmSetup", "O&perator"),
    QT_TRANSLATE_NOOP("kestro::frmSetup", "&Weather"), QT_TRANSLATE_NOOP("kestro::frmSetup", "No&tes"),
    QT_TRANSLATE_NOOP("kestro::frmSetup", "Instr&ument")};

// The check boxes of "File Content" and their places in its grid.
const struct {
    QCheckBox* frmSetup::*field;
    const char* caption;
    const char* name;
    int row;
    int column;
} kContentBoxes[] = {
    {&frmSetup::chkIncludeHeader, QT_TRANSLATE_NOOP("kestro::frmSetup", "Header Line"), "IncludeHeaderLine", 0, 0},
    {&frmSetup::chkIncludeTime, QT_TRANSLATE_NOOP("kestro::frmSetup", "System Time"), "IncludeSystemTime", 1, 0},
    {&frmSetup::chkIncludeOverflow, QT_TRANSLATE_NOOP("kestro::frmSetup", "Overflow"), "IncludeOverflow", 0, 1},
    {&frmSetup::chkIncludeUnderflow, QT_TRANSLATE_NOOP("kestro::frmSetup", "Underflow"), "IncludeUnderflow", 1, 1}};

}  // namespace

void frmSetup::buildControls() {
    tbsOptions = named(new QTabBar(this), "tbsOptions");
    tbsOptions->setDrawBase(false);
    tbsOptions->setExpanding(false);
    for (const auto& t : kTabs) {
        const int i = tbsOptions->addTab(tr(t.caption));
        tbsOptions->setTabData(i, QString::fromLatin1(t.key));
        tbsOptions->setTabToolTip(i, tr(t.tip));
    }

    auto* pageFrame = new QFrame(this);
    pageFrame->setFrameShape(QFrame::StyledPanel);
    pages_ = new QStackedWidget(pageFrame);
    auto* pageFrameLayout = new QVBoxLayout(pageFrame);
    pageFrameLayout->setContentsMargins(10, 10, 10, 10);
    pageFrameLayout->addWidget(pages_);
    QWidget* (frmSetup::*const builders[])() = {&frmSetup::buildRecordingPage, &frmSetup::buildInterfacePage,
                                                &frmSetup::buildStatisticsPage, &frmSetup::buildDetailsPage};
    for (size_t i = 0; i < PicOptions.size(); ++i) {
        PicOptions[i] = (this->*builders[i])();
        PicOptions[i]->setObjectName(QStringLiteral("PicOptions%1").arg(i));
        pages_->addWidget(PicOptions[i]);
    }

    lblAttention = named(new QLabel(this), "lblAttention");
    lblAttention->setWordWrap(true);
    lblAttention->setContentsMargins(0, 0, 0, 8);
    lblAttention->hide();

    auto* top = new QVBoxLayout(this);
    top->setSpacing(0);
    top->addWidget(lblAttention);
    top->addWidget(tbsOptions);
    top->addWidget(pageFrame);
    top->addSpacing(10);
    top->addLayout(buildButtons());

    QWidget* order[] = {tbsOptions,
                        InputSaveDir,
                        cmdBrowseDir,
                        InputFileName,
                        InputFileExtension,
                        chkIncludeHeader,
                        chkIncludeTime,
                        chkIncludeOverflow,
                        chkIncludeUnderflow,
                        InputDecimalSeparator,
                        InputTabularSeparator,
                        OptionCOM[1],
                        DeviceCOM[1],
                        OptionCOM[2],
                        DeviceCOM[2],
                        OptionCOM[3],
                        DeviceCOM[3],
                        OptionCOM[4],
                        DeviceCOM[4],
                        cboLanguage,
                        cboReportLanguage,
                        cboStatisticsInterval,
                        InputLimitLevel,
                        chkDailyReports,
                        InputEventLevel,
                        InputEventMinDuration,
                        InputEventHysteresis,
                        chkEventNotifications,
                        InputLocation,
                        InputOperator,
                        InputWeather,
                        InputNotes,
                        InputInstrument,
                        cmdOK,
                        cmdCancel};
    for (size_t i = 1; i < sizeof(order) / sizeof(order[0]); ++i)
        setTabOrder(order[i - 1], order[i]);

    connect(tbsOptions, &QTabBar::currentChanged, this, [this] { tbsOptions_Click(); });
    connect(cmdOK, &QPushButton::clicked, this, &frmSetup::cmdOK_Click);
    connect(cmdCancel, &QPushButton::clicked, this, &frmSetup::cmdCancel_Click);
    connect(cmdBrowseDir, &QToolButton::clicked, this, &frmSetup::browseDirectory);

    // Seen before the focused control, wherever the focus is.
    installEventFilter(this);
    for (QWidget* w : findChildren<QWidget*>())
        w->installEventFilter(this);

    // The limits of the number fields are those of their rows.
    for (const SettingDef& row : settingsSchema()) {
        QWidget* w = row.has(kInSetup) ? findChild<QWidget*>(QLatin1String(row.name)) : nullptr;
        if (auto* spin = qobject_cast<QDoubleSpinBox*>(w))
            spin->setRange(row.min / scaleOf(row), row.max / scaleOf(row));
        if (auto* spin = qobject_cast<QSpinBox*>(w)) spin->setRange(row.min, row.max);
    }

    // Last, so that every page's fields are covered, also those added later.
    pairFieldsWithLabels(this);
    Mnemonics keys;
    keys.assign(this, {pages_});
    for (QWidget* page : PicOptions)
        keys.assign(page, {});
}

QWidget* frmSetup::buildRecordingPage() {
    auto* rec = new QWidget;

    auto* frameName = named(new QGroupBox(tr("File Name"), rec), "FrameFileName");
    InputSaveDir = named(new QLineEdit(frameName), "RecordDirectory");
    InputSaveDir->setMinimumWidth(320);
    cmdBrowseDir = named(new QToolButton(frameName), "cmdBrowseDir");
    cmdBrowseDir->setText(QStringLiteral("..."));
    cmdBrowseDir->setToolTip(tr("Choose the directory"));
    cmdBrowseDir->setAccessibleName(cmdBrowseDir->toolTip());
    InputFileName = named(new QLineEdit(frameName), "RecordNameBase");
    InputFileExtension = named(new QLineEdit(frameName), "RecordFileExtension");
    InputFileExtension->setFixedWidth(90);
    auto* nameGrid = new QGridLayout(frameName);
    nameGrid->setColumnStretch(1, 1);
    nameGrid->addWidget(fieldLabel(tr("Directory"), frameName), 0, 0);
    nameGrid->addWidget(InputSaveDir, 0, 1);
    nameGrid->addWidget(cmdBrowseDir, 0, 2);
    nameGrid->addWidget(fieldLabel(tr("Base Name"), frameName), 1, 0);
    nameGrid->addWidget(InputFileName, 1, 1, 1, 2);
    nameGrid->addWidget(fieldLabel(tr("Extension"), frameName), 2, 0);
    nameGrid->addWidget(InputFileExtension, 2, 1, Qt::AlignLeft);

    auto* frameContent = named(new QGroupBox(tr("File Content"), rec), "FrameFileContent");
    auto* contentGrid = new QGridLayout(frameContent);
    for (const auto& c : kContentBoxes) {
        this->*c.field = named(new QCheckBox(tr(c.caption), frameContent), c.name);
        contentGrid->addWidget(this->*c.field, c.row, c.column);
    }
    contentGrid->setRowStretch(2, 1);

    auto* frameFormat = named(new QGroupBox(tr("Format Options"), rec), "FrameFormatOptions");
    InputDecimalSeparator = named(new QLineEdit(frameFormat), "DecimalSeparator");
    InputTabularSeparator = named(new QLineEdit(frameFormat), "TabularSeparator");
    for (QLineEdit* e : {InputDecimalSeparator, InputTabularSeparator})
        e->setFixedWidth(90);
    InputTabularSeparator->setToolTip(tr("A character, [TAB] or [SPACE]"));
    InputTabularSeparator->setProperty(kKeywords, true);
    // The designed focus trap that turned an empty field into [TAB] would be an
    // invisible stop for the keyboard and for screen readers: it stays hidden,
    // and the column-separator field takes its Tab key itself.
    cmdTSepTabFocus = named(new QPushButton(QStringLiteral("TSep-Tab"), frameFormat), "cmdTSepTabFocus");
    cmdTSepTabFocus->hide();
    auto* formatGrid = new QGridLayout(frameFormat);
    formatGrid->addWidget(fieldLabel(tr("Decimal Seperator"), frameFormat), 0, 0);
    formatGrid->addWidget(InputDecimalSeparator, 0, 1);
    formatGrid->addWidget(fieldLabel(tr("Tabular Separator"), frameFormat), 1, 0);
    formatGrid->addWidget(InputTabularSeparator, 1, 1);
    formatGrid->setRowStretch(2, 1);

    auto* lower = new QHBoxLayout;
    lower->addWidget(frameContent, 1);
    lower->addWidget(frameFormat, 1);
    auto* recLayout = new QVBoxLayout(rec);
    recLayout->setContentsMargins(0, 0, 0, 0);
    recLayout->addWidget(frameName);
    recLayout->addLayout(lower);
    recLayout->addStretch();
    return rec;
}

QWidget* frmSetup::buildInterfacePage() {
    auto* itf = new QWidget;
    FrameCOM = new QGroupBox(tr("Serial Interface"), itf);
    named(FrameCOM, "FrameCOM");
    auto* comGrid = new QGridLayout(FrameCOM);
    comGrid->setColumnStretch(1, 1);
    comGrid->setHorizontalSpacing(12);
    auto* group = new QButtonGroup(FrameCOM);
    for (int n = 1; n <= kPorts; ++n) {
        OptionCOM[n] = new QRadioButton(tr("COM%1").arg(n), FrameCOM);
        OptionCOM[n]->setObjectName(QStringLiteral("OptionCOM%1").arg(n));
        group->addButton(OptionCOM[n], n);
        auto* combo = new DeviceComboBox(FrameCOM);
        combo->setObjectName(QStringLiteral("DeviceCOM%1").arg(n));
        combo->setEditable(true);
        combo->setInsertPolicy(QComboBox::NoInsert);
        combo->setMinimumContentsLength(22);
        combo->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
        combo->setToolTip(tr("Device of COM%1").arg(n));
        combo->beforePopup = [this, n] {
            fillDeviceList(n);
        };
        DeviceCOM[n] = combo;
        comGrid->addWidget(OptionCOM[n], n - 1, 0);
        comGrid->addWidget(combo, n - 1, 1);
        connect(OptionCOM[n], &QRadioButton::clicked, this, [this, n] { OptionCOM_Click(n); });
        connect(combo, &QComboBox::editTextChanged, this, [this, n](const QString& t) { devicePathEdited(n, t); });
        connect(combo, QOverload<int>::of(&QComboBox::activated), this, [this, n](int i) { devicePicked(n, i); });
    }
    auto* picture = new QLabel(FrameCOM);
    picture->setObjectName(QStringLiteral("PictureCOM"));
    picture->setPixmap(serialPlugPicture());
    picture->setAlignment(Qt::AlignCenter);
    comGrid->addWidget(picture, 0, 2, kPorts, 1, Qt::AlignCenter);
    auto* hint = new QLabel(tr("Ports that cannot be opened are greyed out. "
                               "Pick a device from a list to use it for that port."),
                            FrameCOM);
    hint->setWordWrap(true);
    comGrid->addWidget(hint, kPorts, 0, 1, 3);
    auto* frameLanguage = named(new QGroupBox(tr("Language"), itf), "FrameLanguage");
    cboLanguage = named(new QComboBox(frameLanguage), "Language");
    cboLanguage->addItem(tr("Automatic (the desktop's language)"), 0);
    cboLanguage->addItem(QStringLiteral("English"), 1);
    cboLanguage->addItem(QStringLiteral("Deutsch"), 2);
    auto* languageGrid = new QGridLayout(frameLanguage);
    languageGrid->setColumnStretch(2, 1);
    languageGrid->addWidget(fieldLabel(tr("Windows"), frameLanguage), 0, 0);
    languageGrid->addWidget(cboLanguage, 0, 1);
    // Reports go to clients, whose language may not be the one at the desk.
    cboReportLanguage = named(new QComboBox(frameLanguage), "ReportLanguage");
    cboReportLanguage->addItem(tr("As the windows"), 0);
    cboReportLanguage->addItem(QStringLiteral("English"), 1);
    cboReportLanguage->addItem(QStringLiteral("Deutsch"), 2);
    languageGrid->addWidget(fieldLabel(tr("PDF reports"), frameLanguage), 1, 0);
    languageGrid->addWidget(cboReportLanguage, 1, 1);
    auto* languageHint =
        new QLabel(tr("--lang and --report-lang choose for one run; the windows' language applies at the next start, "
                      "the reports' at once."),
                   frameLanguage);
    languageHint->setWordWrap(true);
    languageGrid->addWidget(languageHint, 2, 0, 1, 3);
    auto* itfLayout = new QVBoxLayout(itf);
    itfLayout->setContentsMargins(0, 0, 0, 0);
    itfLayout->addWidget(FrameCOM);
    itfLayout->addWidget(frameLanguage);
    itfLayout->addStretch();

    return itf;
}

QWidget* frmSetup::buildStatisticsPage() {
    auto* stat = new QWidget;
    auto* frameStat = new QGroupBox(tr("Noise Statistics"), stat);
    named(frameStat, "FrameStatistics");
    cboStatisticsInterval = new QComboBox(frameStat);
    named(cboStatisticsInterval, "StatisticsInterval");
    for (int seconds : setting(SettingId::StatisticsInterval).choices)
        cboStatisticsInterval->addItem(seconds < 60 ? tr("%1 s").arg(seconds) : tr("%1 min").arg(seconds / 60),
                                       seconds);
    InputLimitLevel = new QDoubleSpinBox(frameStat);
    named(InputLimitLevel, "LimitLevel");
    InputLimitLevel->setDecimals(1);
    InputLimitLevel->setSingleStep(0.5);
    InputLimitLevel->setSuffix(tr(" dB"));
    InputLimitLevel->setSpecialValueText(tr("none"));
    InputLimitLevel->setToolTip(tr("Intervals whose Leq is above this level are marked; 0 for none"));
    auto* statGrid = new QGridLayout(frameStat);
    statGrid->setColumnStretch(2, 1);
    statGrid->addWidget(fieldLabel(tr("Interval"), frameStat), 0, 0);
    statGrid->addWidget(cboStatisticsInterval, 0, 1);
    statGrid->addWidget(fieldLabel(tr("Limit (Leq)"), frameStat), 1, 0);
    statGrid->addWidget(InputLimitLevel, 1, 1);
    auto* statHint = new QLabel(tr("Each record file gets a statistics file beside it (…_STAT) "
                                   "with one row per interval. Changes apply to the next series."),
                                frameStat);
    statHint->setWordWrap(true);
    statGrid->addWidget(statHint, 2, 0, 1, 3);
    chkDailyReports = named(new QCheckBox(tr("Daily reports"), frameStat), "DailyReports");
    chkDailyReports->setToolTip(
        tr("When an assessment day ends, its PDF report, interval list and "
           "figures go into reports/ of the record directory"));
    statGrid->addWidget(chkDailyReports, 3, 0, 1, 3);
    auto* frameEvents = named(new QGroupBox(tr("Noise Events"), stat), "FrameEvents");
    auto decibels = [this, frameEvents](const char* name, const char* tip) {
        auto* box = named(new QDoubleSpinBox(frameEvents), name);
        box->setDecimals(1);
        box->setSingleStep(0.5);
        box->setSuffix(tr(" dB"));
        box->setToolTip(tr(tip));
        return box;
    };
    InputEventLevel =
        decibels("EventLevel", QT_TR_NOOP("An exceedance starts when the level rises above this; 0 for none"));
    InputEventLevel->setSpecialValueText(tr("none"));
    InputEventHysteresis =
        decibels("EventHysteresis", QT_TR_NOOP("It ends when the level falls below the event level less this"));
    InputEventMinDuration = named(new QSpinBox(frameEvents), "EventMinDuration");
    InputEventMinDuration->setSuffix(tr(" s"));
    InputEventMinDuration->setToolTip(tr("It counts when it lasted at least this long"));
    chkEventNotifications = named(new QCheckBox(tr("Desktop notifications"), frameEvents), "EventNotifications");
    auto* eventGrid = new QGridLayout(frameEvents);
    eventGrid->setColumnStretch(2, 1);
    eventGrid->addWidget(fieldLabel(tr("Event level"), frameEvents), 0, 0);
    eventGrid->addWidget(InputEventLevel, 0, 1);
    eventGrid->addWidget(fieldLabel(tr("Minimum duration"), frameEvents), 1, 0);
    eventGrid->addWidget(InputEventMinDuration, 1, 1);
    eventGrid->addWidget(fieldLabel(tr("Hysteresis"), frameEvents), 2, 0);
    eventGrid->addWidget(InputEventHysteresis, 2, 1);
    eventGrid->addWidget(chkEventNotifications, 3, 0, 1, 3);
    auto* eventHint = new QLabel(tr("Exceedances and marked spans go into an events file beside the "
                                    "record file (\u2026_EVENTS), on slow Lp levels or, in LEQ and "
                                    "MAX-Hold, on fast Lp levels. Changes apply to the next series."),
                                 frameEvents);
    eventHint->setWordWrap(true);
    eventGrid->addWidget(eventHint, 4, 0, 1, 3);
    auto* statLayout = new QVBoxLayout(stat);
    statLayout->setContentsMargins(0, 0, 0, 0);
    statLayout->addWidget(frameStat);
    statLayout->addWidget(frameEvents);
    statLayout->addStretch();

    return stat;
}

QWidget* frmSetup::buildDetailsPage() {
    auto* page = new QWidget;
    auto* frame = named(new QGroupBox(tr("Site and conditions"), page), "FrameDetails");
    InputLocation = named(new QLineEdit(frame), "MeasurementLocation");
    InputOperator = named(new QLineEdit(frame), "MeasurementOperator");
    InputWeather = named(new QLineEdit(frame), "MeasurementWeather");
    InputNotes = named(new QPlainTextEdit(frame), "MeasurementNotes");
    InputNotes->setTabChangesFocus(true);  // Tab leaves the notes; they are not a place for tab characters
    InputNotes->setFixedHeight(InputNotes->fontMetrics().lineSpacing() * 4 + 12);
    InputInstrument = named(new QLineEdit(frame), "MeasurementInstrument");
    InputInstrument->setPlaceholderText(tr("type and class of the sound level meter"));
    QWidget* const fields[] = {InputLocation, InputOperator, InputWeather, InputNotes, InputInstrument};
    auto* grid = new QGridLayout(frame);
    for (int i = 0; i < 5; ++i) {
        auto* label = fieldLabel(tr(kDetails[i]), frame);
        label->setBuddy(fields[i]);
        grid->addWidget(label, i, 0, i == 3 ? Qt::AlignTop : Qt::Alignment());
        grid->addWidget(fields[i], i, 1);
    }
    auto* hint = new QLabel(tr("Written into the side file (…_INFO.json) of every series from its start."), frame);
    hint->setWordWrap(true);
    grid->addWidget(hint, 5, 0, 1, 2);
    auto* layout = new QVBoxLayout(page);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(frame);
    layout->addStretch();
    return page;
}

QHBoxLayout* frmSetup::buildButtons() {
    cmdOK = named(new QPushButton(tr("OK"), this), "cmdOK");
    cmdCancel = named(new QPushButton(tr("Abbrechen"), this), "cmdCancel");
    // No default button: Enter in a text field must not confirm the dialog.
    for (QPushButton* b : {cmdOK, cmdCancel, cmdTSepTabFocus}) {
        b->setAutoDefault(false);
        b->setDefault(false);
    }
    for (QPushButton* b : {cmdOK, cmdCancel})
        b->setMinimumWidth(qMax(b->sizeHint().width(), 96));
    auto* buttons = new QHBoxLayout;
    buttons->setSpacing(8);
    buttons->addStretch();
    buttons->addWidget(cmdOK);
    buttons->addWidget(cmdCancel);
    return buttons;
}

void frmSetup::load() {
    showPage(0);

    const Settings& v = store_.values;
    const RunValues& forRun = store_.forRun;
    for (const SettingDef& row : settingsSchema()) {
        if (!row.has(kInSetup)) continue;
        QWidget* w = findChild<QWidget*>(QLatin1String(row.name));
        showValue(w, row, settingValue(v.recorder, row.id));
        if (forRun.has(row.id)) showRunValue({w}, tr("the command line"));
    }
    if (forRun.has(SettingId::RecordDirectory))
        showRunValue({InputSaveDir, cmdBrowseDir}, QStringLiteral("--record-dir"));

    const qint64 port = v.device.COMPort;
    portForThisRun_ = forRun.has(SettingId::COMPort);
    // A stored number without an option keeps no choice, so OK leaves it alone.
    if (port >= 1 && port <= kPorts) {
        OptionCOM[port]->setChecked(true);
        OptionCOM_Click(static_cast<int>(port));
    }

    const std::array<PortProbe, 5> probed = probePorts_ ? probePorts_() : std::array<PortProbe, 5>{};
    for (int n = 1; n <= kPorts; ++n) {
        loadedPath_[n] = probed[size_t(n)].path;
        QSignalBlocker block(DeviceCOM[n]);
        fillDeviceList(n);
        DeviceCOM[n]->setEditText(loadedPath_[n]);
        if (portForThisRun_ && n == 1) {
            showRunValue({DeviceCOM[n]}, QStringLiteral("--port"));
        } else if (!qEnvironmentVariable(qPrintable(environmentOverrideName(n))).trimmed().isEmpty()) {
            DeviceCOM[n]->setEnabled(false);
            DeviceCOM[n]->setToolTip(tr("Set by the environment variable ") + environmentOverrideName(n));
        }
    }
    for (int n = 1; n <= kPorts; ++n) {
        probedOpen_[n] = probed[size_t(n)].opens;
        OptionCOM[n]->setEnabled(probedOpen_[n] && !portForThisRun_);
    }
}

void frmSetup::showRunValue(std::initializer_list<QWidget*> controls, const QString& option) {
    for (QWidget* w : controls) {
        w->setEnabled(false);
        w->setToolTip(tr("Set for this run by %1; the stored value is kept").arg(option));
    }
}

void frmSetup::showPage(int index) {
    pages_->setCurrentIndex(index);
    for (int i = 0; i < static_cast<int>(PicOptions.size()); ++i)
        PicOptions[i]->setEnabled(i == index);
}

SetupAttention setupAttention(bool portOpen, const QString& recordDirectory) {
    if (!portOpen)
        return {frmSetup::kInterfacePage,
                frmSetup::tr("No serial port is set: choose the port of the meter and press OK.")};
    const QFileInfo dir(recordDirectory);
    if (!dir.isDir() || !dir.isWritable())
        return {frmSetup::kRecordingPage,
                frmSetup::tr("The record directory %1 cannot be written: choose another one and press OK.")
                    .arg(QDir::toNativeSeparators(recordDirectory))};
    return {frmSetup::kRecordingPage, frmSetup::tr("Check the recorder settings and press OK to store them.")};
}

void frmSetup::showAttention(const SetupAttention& attention) {
    tbsOptions->setCurrentIndex(attention.page);
    showPage(attention.page);
    const bool shown = lblAttention->isVisible();
    const int before = shown ? lblAttention->height() : 0;
    lblAttention->setText(attention.reason);
    // The reason wraps within the dialog's width; only the height grows.
    const QMargins m = layout()->contentsMargins();
    const int width = this->width() - m.left() - m.right();
    lblAttention->setFixedSize(width, lblAttention->heightForWidth(width));
    lblAttention->show();
    setFixedSize(this->width(), height() - before + lblAttention->height());
}

void frmSetup::tbsOptions_Click() { showPage(tbsOptions->currentIndex()); }

void frmSetup::nextTab(int step) {
    const int count = tbsOptions->count();
    tbsOptions->setCurrentIndex((tbsOptions->currentIndex() + step + count) % count);
}

void frmSetup::OptionCOM_Click(int n) { frameComTag_ = QString::number(n); }

void frmSetup::fillDeviceList(int n) {
    QComboBox* combo = DeviceCOM[n];
    const QString text = combo->currentText();
    QSignalBlocker block(combo);
    combo->clear();
    int widest = 0;
    const QList<SerialDevice> devices = listDevices_ ? listDevices_() : QList<SerialDevice>();
    for (const SerialDevice& d : devices) {
        const QString item = serialDeviceText(d);
        combo->addItem(item, d.path);
        widest = qMax(widest, combo->fontMetrics().horizontalAdvance(item));
    }
    combo->view()->setMinimumWidth(widest + 32);
    combo->setCurrentIndex(-1);
    combo->setEditText(text);
}

void frmSetup::devicePathEdited(int n, const QString& text) {
    const QString path = text.trimmed();
    // Only the paths probed at load have a verdict; for another one, whether the
    // device is there at all is the best guess before OK. Empty is the default mapping.
    const bool usable = path == loadedPath_[n] ? probedOpen_[n] : (path.isEmpty() || deviceNodeExists(path));
    OptionCOM[n]->setEnabled(usable && !portForThisRun_);
}

void frmSetup::devicePicked(int n, int item) {
    const QString path = DeviceCOM[n]->itemData(item).toString();
    if (path.isEmpty()) return;
    DeviceCOM[n]->setEditText(path);
    OptionCOM[n]->setChecked(true);
    OptionCOM_Click(n);
}

bool frmSetup::eventFilter(QObject* watched, QEvent* event) {
    switch (event->type()) {
        case QEvent::KeyPress: {
            auto* k = static_cast<QKeyEvent*>(event);
            if (watched == InputTabularSeparator && k->key() == Qt::Key_Tab && k->modifiers() == Qt::NoModifier &&
                InputTabularSeparator->text().isEmpty()) {
                InputTabularSeparator->setText(kTab);  // and the focus stays
                return true;
            }
            if (k->key() == Qt::Key_Tab && k->modifiers() == Qt::ControlModifier) {
                nextTab(1);
                return true;
            }
            if (k->key() == Qt::Key_Backtab && k->modifiers() == (Qt::ControlModifier | Qt::ShiftModifier)) {
                nextTab(-1);
                return true;
            }
            break;
        }
        case QEvent::KeyRelease:
            if (watched == InputTabularSeparator && static_cast<QKeyEvent*>(event)->key() == Qt::Key_Space)
                InputTabularSeparator->setText(kSpace);
            break;
        case QEvent::FocusOut:
            if (watched == InputFileExtension && !InputFileExtension->text().startsWith(QLatin1Char('.')))
                InputFileExtension->setText(QLatin1Char('.') + InputFileExtension->text());
            break;
        default:
            break;
    }
    return QDialog::eventFilter(watched, event);
}

void frmSetup::complain(QLineEdit* field, const QString& text) {
    messages_.showMessage(text);
    tbsOptions->setCurrentIndex(0);
    field->setFocus(Qt::OtherFocusReason);
    field->selectAll();
}

bool frmSetup::validateSeparators(int32_t* decimalCode, int32_t* tabularCode) {
    const struct {
        QLineEdit* field;
        const char* caption;
        int32_t* code;
    } fields[] = {{InputDecimalSeparator, QT_TR_NOOP("Decimal Seperator"), decimalCode},
                  {InputTabularSeparator, QT_TR_NOOP("Tabular Separator"), tabularCode}};
    for (const auto& f : fields) {
        const bool keywords = f.field->property(kKeywords).toBool();
        if (separatorCode(f.field->text(), keywords, f.code)) continue;
        const QString caption = tr(f.caption);
        if (f.field->text().isEmpty())
            complain(f.field, keywords ? tr("Please enter the character for \"%1\" (or [TAB] or [SPACE]).").arg(caption)
                                       : tr("Please enter the character for \"%1\".").arg(caption));
        else
            complain(f.field, tr("The character \"%1\" cannot be used as \"%2\". Please use a character of the "
                                 "Latin-1 character set.")
                                  .arg(f.field->text().left(1), caption));
        return false;
    }
    if (separatorsClash(*decimalCode, *tabularCode)) {
        complain(InputTabularSeparator,
                 tr("The \"Tabular Separator\" cannot be the \"Decimal Seperator\" too: every number "
                    "would be split in two. Please choose another character."));
        return false;
    }
    return true;
}

void frmSetup::cmdOK_Click() {
    // Checked before anything is written, so a refused OK leaves the store as it was.
    int32_t decimalCode = 0;
    int32_t tabularCode = 0;
    if (!validateSeparators(&decimalCode, &tabularCode)) return;
    // A name part that leads out of the record directory is refused.
    for (const auto& [field, caption, id] :
         {std::tuple{InputFileName, QT_TR_NOOP("Base Name"), SettingId::RecordNameBase},
          std::tuple{InputFileExtension, QT_TR_NOOP("Extension"), SettingId::RecordFileExtension}}) {
        const QString problem = settingProblem(setting(id), field->text());
        if (problem.isEmpty()) continue;
        complain(field, tr("The \"%1\" %2.")
                            .arg(tr(caption),
                                 QCoreApplication::translate("kestro::SettingsSchema", problem.toUtf8().constData())));
        return;
    }

    Settings v = store_.values;  // the values not edited here pass through
    for (const SettingDef& row : settingsSchema())
        if (row.has(kInSetup))
            setSettingValue(v.recorder, row.id, editedValue(findChild<QWidget*>(QLatin1String(row.name)), row));
    // Only paths the user changed: an untouched default mapping stays free
    // to follow the adapters present at the next start.
    for (int n = 1; n <= kPorts; ++n) {
        const QString path = DeviceCOM[n]->currentText().trimmed();
        if (path != loadedPath_[n]) v.device.COMnDevice[size_t(n)] = path;
    }
    v.device.COMPort = frameComTag_.isEmpty() ? 0 : frameComTag_.toInt();

    QString error;
    if (!store_.store || !store_.store(v, &error)) {
        messages_.showMessage(tr("The settings could not be saved.\n\n") + error,
                              tr("Settings file: ") + store_.file + tr("\nThe values after this one were not saved."));
        return;
    }
    accept();
}

void frmSetup::cmdCancel_Click() { reject(); }

void frmSetup::browseDirectory() {
    const QString dir = QFileDialog::getExistingDirectory(this, tr("Directory"), InputSaveDir->text());
    if (!dir.isEmpty()) InputSaveDir->setText(QDir::toNativeSeparators(dir));
}

void frmSetup::done(int r) {
    QDialog::done(r);
    if (unloaded_) return;
    unloaded_ = true;
    // May open a new setup dialog at once; this one is closed and goes on its own.
    if (initApplication_) initApplication_();
}

}  // namespace kestro
