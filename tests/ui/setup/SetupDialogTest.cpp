#include "settings/SettingsSchema.h"
#include "settings/cRegistry.h"
#include "shell/EventLog.h"
#include "support/FakeSerialPort.h"
#include "support/ManualClock.h"
#include "support/RecordingMessageSink.h"
#include "ui/setup/frmSetup.h"

#include <QtTest>
#include <QtWidgets>

#include <gtest/gtest.h>

#include <sys/resource.h>
#include <csignal>
#include <map>
#include <memory>

namespace kestro::test {
namespace {

// A stored value and the type the store keeps it as; type 0 when absent.
struct Typed {
    QVariant value;
    int32_t type = 0;
    bool operator==(const Typed& o) const { return value == o.value && type == o.type; }
};

class SetupDialog : public ::testing::Test {
protected:
    void SetUp() override {
        for (int n = 1; n <= 4; ++n)
            qunsetenv(qPrintable(QString("KESTRO_COM%1").arg(n)));
        ASSERT_TRUE(tmp.isValid());
        ASSERT_TRUE(QDir().mkpath(devDir()));
        com = std::make_unique<frmCOMx>(reg, log, messages, FakeSerialPort::factoryInto(port));
        com->setDeviceDirectory(devDir());
    }
    void TearDown() override {
        const QWidgetList windows = QApplication::topLevelWidgets();
        for (const QPointer<QWidget>& w : QList<QPointer<QWidget>>(windows.begin(), windows.end()))
            delete w.data();
        flushDeletes();
    }

    QString devDir() const { return tmp.filePath("dev"); }
    QString devicePath(int n) const { return devDir() + QString("/ttyS%1").arg(n - 1); }
    void failPort(int n) { port->setOpenFailure(devicePath(n), kErrPortNotFound, "No such file"); }
    cRegistry at(const char* section, const QString& name) const {
        cRegistry r(files);
        r.ClassKey = HKEY_CURRENT_USER_;
        r.SectionKey = QString::fromLatin1(section);
        r.ValueKey = name;
        return r;
    }
    void store(const char* section, const QString& name, const QVariant& value, int32_t type = REG_SZ_) {
        cRegistry w = at(section, name);
        w.ValueType = type;
        w.setValue(value);
    }
    void rec(const QString& name, const QVariant& value, int32_t type = REG_SZ_) {
        store(kRecorderSection, name, value, type);
    }
    void storePort(int n) { store(kDeviceSection, "COMPort", n, REG_DWORD_); }
    Typed stored(const char* section, const QString& name) const {
        cRegistry r = at(section, name);
        return r.ValueExists() ? Typed{r.Value(), r.ValueType} : Typed{};
    }
    Typed recorder(const QString& name) const { return stored(kRecorderSection, name); }
    Typed device(const QString& name) const { return stored(kDeviceSection, name); }
    QByteArray storeBytes() const {
        QFile f(files.currentUser);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }
    // A fresh dialog; every close counts one InitApplication.
    frmSetup* makeDialog(SerialDeviceLister lister = [] { return QList<SerialDevice>(); }) {
        return new frmSetup(
            setupStore(reg, "/opt/kestro/bin"), [this] { return probePorts(*com); }, messages,
            [this] { ++initApplicationCalls; }, std::move(lister));
    }
    // Shown and active, so focus moves and focus events arrive as for a user.
    frmSetup* shownDialog() {
        frmSetup* d = makeDialog();
        d->show();
        d->activateWindow();
        QApplication::setActiveWindow(d);
        EXPECT_TRUE(QTest::qWaitForWindowActive(d));
        return d;
    }
    static void flushDeletes() { QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete); }
    // Enabled on its own: the page itself is disabled while it is hidden.
    static bool usable(const frmSetup& d, const QWidget* w) { return w->isEnabledTo(d.PicOptions[1]); }
    static int checkedPort(const frmSetup& d) {
        for (int n = 1; n <= 4; ++n)
            if (d.OptionCOM[n]->isChecked()) return n;
        return 0;
    }

    QTemporaryDir tmp;
    ManualClock clock;
    EventLog log{tmp.path(), clock};
    RegistryFiles files{tmp.filePath("user.json"), tmp.filePath("machine.json")};
    cRegistry reg{files};
    RecordingMessageSink messages;
    FakeSerialPort* port = nullptr;
    std::unique_ptr<frmCOMx> com;
    int initApplicationCalls = 0;
};

// OK on an empty store stores every value the dialog stands for (the nine
// that open it among them) as its default, with its row's type.
TEST_F(SetupDialog, EmptyStoreOkStoresEveryDefaultTyped) {
    QPointer<frmSetup> d = makeDialog();
    d->cmdOK->click();
    for (const SettingDef& def : settingsSchema()) {
        const Typed got = stored(def.section, def.name);
        if (!got.type && !def.opensSetup) continue;  // not the dialog's to write
        const QVariant value = def.id == SettingId::RecordDirectory ? QVariant("/opt/kestro/bin") : settingDefault(def);
        EXPECT_EQ(got, (Typed{value, def.storedType})) << def.name;
    }
    for (int n = 1; n <= 4; ++n)  // the default device mapping is not frozen into the store
        EXPECT_EQ(device(QString("COM%1Device").arg(n)).type, 0) << n;
}

// Every value the dialog stands for has one widget, named after it, that shows
// the value it is given and hands it back unchanged on OK.
TEST_F(SetupDialog, EveryValueHasItsWidgetAndComesBackAsGiven) {
    SetupStore given;
    for (const SettingDef& def : settingsSchema()) {
        if (!def.has(kInSetup)) continue;
        QVariant other = QString("v-") + def.name;  // no default, and usable
        if (def.kind == SettingKind::Flag) other = def.defaultNumber ? 0 : 1;
        if (def.kind == SettingKind::Separator) other = 33 + int(def.id);
        if (def.kind == SettingKind::Range) other = def.max;
        if (def.kind == SettingKind::Choice) other = def.choices.back();
        setSettingValue(given.values.recorder, def.id, other);
    }
    Settings handed;
    given.store = [&](const Settings& v, QString*) {
        handed = v;
        return true;
    };
    QPointer<frmSetup> d = new frmSetup(given, nullptr, messages, nullptr, nullptr);
    d->cmdOK->click();
    for (const SettingDef& def : settingsSchema()) {
        if (!def.has(kInSetup)) continue;
        EXPECT_EQ(d->findChildren<QWidget*>(def.name).size(), 1) << def.name;
        EXPECT_EQ(settingValue(handed.recorder, def.id), settingValue(given.values.recorder, def.id)) << def.name;
    }
}

TEST_F(SetupDialog, StoredValuesAreShownAndChangesSaved) {
    const QString dir = qEnvironmentVariable("HOME") + "/Messungen";
    rec("RecordDirectory", QString("%HOME%/Messungen"));
    ASSERT_EQ(recorder("RecordDirectory").type, REG_EXPAND_SZ_);
    rec("RecordNameBase", QString(""));
    rec("IncludeSystemTime", 0, REG_DWORD_);
    rec("IncludeOverflow", -1, REG_DWORD_);    // another tool's "true"
    rec("DecimalSeparator", 300, REG_DWORD_);  // no character of the code page: the default
    rec("TabularSeparator", QString("9"));     // a text that spells a number
    storePort(4);
    QPointer<frmSetup> d = makeDialog();
    EXPECT_EQ(d->InputSaveDir->text(), dir);
    EXPECT_EQ(d->InputFileName->text(), "");  // an empty stored text stays empty
    EXPECT_FALSE(d->chkIncludeTime->isChecked());
    EXPECT_TRUE(d->chkIncludeOverflow->isChecked());
    EXPECT_EQ(d->InputDecimalSeparator->text(), ",");
    EXPECT_EQ(d->InputTabularSeparator->text(), "[TAB]");
    EXPECT_EQ(checkedPort(*d), 4);
    d->tbsOptions->setCurrentIndex(1);
    d->OptionCOM[2]->click();
    d->cmdOK->click();
    EXPECT_EQ(recorder("IncludeOverflow"), (Typed{1, REG_DWORD_}));
    EXPECT_EQ(recorder("RecordDirectory"), (Typed{dir, REG_SZ_}));  // stored expanded
    EXPECT_EQ(device("COMPort"), (Typed{2, REG_DWORD_}));
}

TEST_F(SetupDialog, StatisticsPageShowsAndSavesIntervalAndLimit) {
    const struct {
        QVariant storedInterval, storedLimit;  // invalid: not stored
        const char* shownInterval;
        double shownLimit;
        int pick;  // interval item chosen before OK
        double typed;
        Typed savedInterval, savedLimit;
    } cases[] = {
        {QVariant(), QVariant(), "15 min", 0.0, -1, -1, {900, REG_DWORD_}, {0, REG_DWORD_}},
        {300, 655, "5 min", 65.5, -1, -1, {300, REG_DWORD_}, {655, REG_DWORD_}},
        {77, -3, "15 min", 0.0, 7, 70.04, {3600, REG_DWORD_}, {700, REG_DWORD_}},  // unusable values show defaults
        {1800, 700, "30 min", 70.0, 0, 0.0, {10, REG_DWORD_}, {0, REG_DWORD_}},
    };
    for (const auto& c : cases) {
        QFile::remove(files.currentUser);
        if (c.storedInterval.isValid()) rec("StatisticsInterval", c.storedInterval, REG_DWORD_);
        if (c.storedLimit.isValid()) rec("LimitLevel", c.storedLimit, REG_DWORD_);
        QPointer<frmSetup> d = makeDialog();
        EXPECT_EQ(d->cboStatisticsInterval->currentText(), c.shownInterval);
        EXPECT_DOUBLE_EQ(d->InputLimitLevel->value(), c.shownLimit);
        if (c.pick >= 0) d->cboStatisticsInterval->setCurrentIndex(c.pick);
        if (c.typed >= 0) d->InputLimitLevel->setValue(c.typed);
        d->cmdOK->click();
        EXPECT_EQ(recorder("StatisticsInterval"), c.savedInterval);
        EXPECT_EQ(recorder("LimitLevel"), c.savedLimit);
        flushDeletes();
    }
    // The noise events: typed values stored.
    QPointer<frmSetup> d = makeDialog();
    d->InputEventLevel->setValue(85.5);
    d->InputEventMinDuration->setValue(30);
    d->InputEventHysteresis->setValue(3.0);
    d->chkEventNotifications->setChecked(false);
    d->cboLanguage->setCurrentIndex(2);
    d->cboReportLanguage->setCurrentIndex(1);
    d->chkDailyReports->setChecked(true);
    d->cmdOK->click();
    for (const auto& [name, value] : {std::pair{"EventLevel", 855},
                                      {"EventMinDuration", 30},
                                      {"EventHysteresis", 30},
                                      {"EventNotifications", 0},
                                      {"Language", 2},
                                      {"ReportLanguage", 1},
                                      {"DailyReports", 1}})
        EXPECT_EQ(recorder(name), (Typed{value, REG_DWORD_})) << name;
}

// A typed or keyed separator, and an extension that gets its leading dot
// when the field is left, as shown and as saved.
TEST_F(SetupDialog, ColumnSeparatorKeysKeywordsCodesAndExtensionDot) {
    const struct {
        QLineEdit* frmSetup::*field;
        const char* text;
        Qt::Key key;  // 0: none
        const char* shown;
        Typed stored;
        bool keepsFocus;
    } cases[] = {
        {&frmSetup::InputTabularSeparator, "", Qt::Key_Tab, "[TAB]", {9, REG_DWORD_}, true},
        {&frmSetup::InputTabularSeparator, "abc", Qt::Key_Space, "[SPACE]", {32, REG_DWORD_}, true},
        {&frmSetup::InputTabularSeparator, "|x", Qt::Key(0), "|x", {124, REG_DWORD_}, true},
        {&frmSetup::InputTabularSeparator, "[tab]", Qt::Key(0), "[tab]", {9, REG_DWORD_}, true},
        {&frmSetup::InputTabularSeparator, "[TAB]x", Qt::Key(0), "[TAB]x", {'[', REG_DWORD_}, true},
        {&frmSetup::InputTabularSeparator, ";", Qt::Key_Tab, ";", {59, REG_DWORD_}, false},
        {&frmSetup::InputFileExtension, "csv", Qt::Key(0), ".csv", {QString(".csv"), REG_SZ_}, true},
        {&frmSetup::InputFileExtension, "", Qt::Key(0), ".", {QString("."), REG_SZ_}, true},
        {&frmSetup::InputFileExtension, ".dat", Qt::Key(0), ".dat", {QString(".dat"), REG_SZ_}, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        QPointer<frmSetup> d = shownDialog();
        QLineEdit* field = (*d).*c.field;
        field->setFocus();
        field->setText(c.text);
        if (c.key) QTest::keyClick(field, c.key);
        // A filled field lets Tab move on, to OK as the other page is disabled.
        EXPECT_EQ(QApplication::focusWidget(), c.keepsFocus ? static_cast<QWidget*>(field) : d->cmdOK);
        d->cmdOK->setFocus();  // as a click on OK does first
        EXPECT_EQ(field->text(), c.shown);
        d->cmdOK->click();
        EXPECT_EQ(recorder(field == d->InputFileExtension ? "RecordFileExtension" : "TabularSeparator"), c.stored);
        flushDeletes();
    }
}

TEST_F(SetupDialog, CtrlTabSwitchesPagesAndWraps) {
    QPointer<frmSetup> d = shownDialog();
    const struct {
        QWidget* focus;
        Qt::Key key;
        Qt::KeyboardModifiers mods;
        int page;
    } steps[] = {
        {d->InputFileName, Qt::Key_Tab, Qt::ControlModifier, 1},
        {d->DeviceCOM[1], Qt::Key_Tab, Qt::ControlModifier, 2},
        {d->cboStatisticsInterval, Qt::Key_Tab, Qt::ControlModifier, 3},
        {d->InputLocation, Qt::Key_Tab, Qt::ControlModifier, 0},  // the last tab wraps to the first
        {d->InputFileName, Qt::Key_Backtab, Qt::ControlModifier | Qt::ShiftModifier, 3},
    };
    for (const auto& s : steps) {
        s.focus->setFocus();
        ASSERT_EQ(QApplication::focusWidget(), s.focus);
        QTest::keyClick(s.focus, s.key, s.mods);
        EXPECT_EQ(d->tbsOptions->currentIndex(), s.page);
        for (int page = 0; page < int(d->PicOptions.size()); ++page)
            EXPECT_EQ(d->PicOptions[page]->isEnabled(), page == s.page) << page;
    }
    EXPECT_EQ(d->InputFileName->text(), "NoiseData");  // the key did not reach the field
}

// On every page (also pages added later): each field is read out by its own
// label or tool tip, never by its frame's title; the access keys of the page
// and the dialog differ and reach their fields; nothing invisible takes the focus.
TEST_F(SetupDialog, FieldsAreNamedByTheirLabelsAndReachedByTheirAccessKeys) {
    QPointer<frmSetup> d = shownDialog();
    // A combo box's own name is its value; its label comes by a "labelled by" relation.
    auto labelOf = [](QWidget* w) {
        QAccessibleInterface* a = QAccessible::queryAccessibleInterface(w);
        for (const auto& [label, relation] : a->relations(QAccessible::Label))
            if (label->role() == QAccessible::StaticText) return label->text(QAccessible::Name);
        return a->text(QAccessible::Name);
    };
    EXPECT_EQ(labelOf(d->cboStatisticsInterval), "Interval");
    EXPECT_EQ(labelOf(d->InputLimitLevel), "Limit (Leq)");
    EXPECT_EQ(QAccessible::queryAccessibleInterface(d->DeviceCOM[2])->text(QAccessible::Description), "Device of COM2");
    QStringList titles;
    for (const QGroupBox* g : d->findChildren<QGroupBox*>())
        titles << g->title();
    for (int page = 0; page < d->tbsOptions->count(); ++page) {
        d->tbsOptions->setCurrentIndex(page);
        std::map<QChar, QWidget*> keys;  // access key: the control it reaches
        for (QWidget* w : d->findChildren<QWidget*>()) {
            if (!w->isVisible() || w->parentWidget()->inherits("QComboBox") ||
                w->parentWidget()->inherits("QAbstractSpinBox") || w->parentWidget()->inherits("QTabBar"))
                continue;
            const QString name = labelOf(w);
            if (w->focusPolicy() & Qt::TabFocus) {
                EXPECT_FALSE(name.isEmpty() || titles.contains(name)) << w->objectName().toStdString();
                if (auto* box = qobject_cast<QComboBox*>(w))
                    EXPECT_EQ(QAccessible::queryAccessibleInterface(box)->text(QAccessible::Name), name)
                        << w->objectName().toStdString();
                EXPECT_FALSE(w->size().isEmpty()) << w->objectName().toStdString();
            }
            auto* label = qobject_cast<QLabel*>(w);
            QStringList captions;
            if ((label && label->buddy()) || qobject_cast<QAbstractButton*>(w))
                captions << w->property("text").toString();
            if (auto* bar = qobject_cast<QTabBar*>(w))
                for (int i = 0; i < bar->count(); ++i)
                    captions << bar->tabText(i);
            for (const QString& c : captions) {
                if (c == "...") continue;
                const int at = c.indexOf('&');
                ASSERT_GE(at, 0) << c.toStdString() << " has no access key";
                EXPECT_TRUE(keys.emplace(c.at(at + 1).toLower(), w).second) << c.toStdString() << " on page " << page;
            }
        }
    }
}

TEST_F(SetupDialog, EveryCloseRunsInitApplicationOnceAndOnlyOkWrites) {
    for (const QString how : {"OK", "Cancel", "Escape", "close box"}) {
        SCOPED_TRACE(how.toStdString());
        QFile::remove(files.currentUser);
        initApplicationCalls = 0;
        QPointer<frmSetup> d = shownDialog();
        d->InputFileName->setText("Typed");
        d->InputFileName->setFocus();
        QTest::keyClick(d->InputFileName, Qt::Key_Return);  // Enter confirms nothing
        EXPECT_TRUE(d->isVisible());
        EXPECT_EQ(initApplicationCalls, 0);
        if (how == "OK") d->cmdOK->click();
        if (how == "Cancel") d->cmdCancel->click();
        if (how == "Escape") QTest::keyClick(d->InputFileName, Qt::Key_Escape);
        if (d) d->close();  // the close box, or a second close of the same dialog: no second unload
        EXPECT_EQ(initApplicationCalls, 1);
        const bool writes = how == "OK";
        EXPECT_EQ(recorder("RecordNameBase").value, writes ? QVariant(QString("Typed")) : QVariant());
        EXPECT_EQ(storeBytes().isEmpty(), !writes);
        flushDeletes();
        EXPECT_TRUE(d.isNull());
    }
}

// A start that cannot record opens Setup where the fault is, the reason on top:
// the missing port before a record directory that cannot be written.
TEST_F(SetupDialog, AttentionOpensThePageOfTheFaultWithItsReason) {
    for (const auto& [portOpen, dir, page, reason] :
         {std::tuple{false, tmp.path(), frmSetup::kInterfacePage, "No serial port is set"},
          {true, tmp.filePath("missing"), frmSetup::kRecordingPage, "The record directory"}}) {
        QPointer<frmSetup> d = shownDialog();
        d->showAttention(setupAttention(portOpen, dir));
        EXPECT_EQ(d->tbsOptions->currentIndex(), page) << reason;
        EXPECT_TRUE(d->PicOptions[page]->isEnabled()) << reason;
        EXPECT_TRUE(d->lblAttention->isVisible() && d->lblAttention->text().startsWith(reason)) << reason;
        d->cmdCancel->click();
    }
}

// A stored port that does not open stays chosen; one outside 1..4 is no
// choice, and OK does not overwrite it.
TEST_F(SetupDialog, PortsThatDoNotOpenAreDisabledAndTheStoredPortIsKept) {
    failPort(2);
    failPort(3);
    for (int stored : {3, 0, 5, -1, 99}) {
        SCOPED_TRACE(stored);
        storePort(stored);
        port->clearHistory();
        QPointer<frmSetup> d = makeDialog();
        for (int n = 1; n <= 4; ++n)
            EXPECT_EQ(usable(*d, d->OptionCOM[n]), n == 1 || n == 4) << n;
        EXPECT_EQ(checkedPort(*d), stored == 3 ? 3 : 0);
        EXPECT_TRUE(messages.messages.isEmpty());  // the probe shows no message
        // Every port was tried once, and none is left open for the poll cycle to talk to.
        const QStringList opens = port->history().filter(QRegularExpression("^open"));
        EXPECT_EQ(opens, QStringList({"open " + devicePath(1), "open-failed " + devicePath(2),
                                      "open-failed " + devicePath(3), "open " + devicePath(4)}));
        EXPECT_FALSE(port->isOpen());
        d->cmdOK->click();
        EXPECT_EQ(device("COMPort"), (Typed{stored, REG_DWORD_}));
        flushDeletes();
    }
}

TEST_F(SetupDialog, DevicePathsArePickedStableNamesFirstAndOnlyChangesAreStored) {
    const QString usbPath = devDir() + "/ttyUSB0";
    ASSERT_TRUE(QFile(usbPath).open(QIODevice::WriteOnly));
    store(kDeviceSection, "COM3Device", QString("/dev/serial/by-id/meter"));
    const QString link = "/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A10K5S3B-if00-port0";
    const QString target = QFileInfo(usbPath).canonicalFilePath();
    const QList<SerialDevice> present = withStableNames(
        {{devDir() + "/ttyS0", QString(), false, 0, 0}, {usbPath, "FT232R USB UART", true, 0x0403, 0x6001}},
        {StableSerialName{link, target}});
    QPointer<frmSetup> d = makeDialog([&] { return present; });
    EXPECT_EQ(d->DeviceCOM[1]->currentText(), usbPath);  // the one adapter is COM1
    EXPECT_EQ(d->DeviceCOM[2]->currentText(), devicePath(2));
    EXPECT_EQ(d->DeviceCOM[3]->currentText(), "/dev/serial/by-id/meter");
    QComboBox* c2 = d->DeviceCOM[2];
    ASSERT_EQ(c2->count(), 3);
    EXPECT_EQ(c2->itemText(0), link + " — now " + target + ", FT232R USB UART (0403:6001)");
    EXPECT_EQ(c2->itemText(2), usbPath + " — FT232R USB UART (0403:6001)");

    c2->setCurrentIndex(0);  // picking a present device uses it for that port, a stable name as such
    emit c2->activated(0);
    EXPECT_TRUE(d->OptionCOM[2]->isChecked());

    d->DeviceCOM[4]->setEditText(devDir() + "/ttyACM7");  // a typed path that is not there
    EXPECT_FALSE(usable(*d, d->OptionCOM[4]));
    d->DeviceCOM[3]->setEditText("  ");  // back to the default mapping
    d->cmdOK->click();
    EXPECT_EQ(device("COM1Device").type, 0);
    EXPECT_EQ(device("COM2Device"), (Typed{link, REG_SZ_}));
    EXPECT_EQ(device("COM3Device"), (Typed{QString(""), REG_SZ_}));
    EXPECT_EQ(device("COM4Device"), (Typed{devDir() + "/ttyACM7", REG_SZ_}));
    EXPECT_EQ(device("COMPort"), (Typed{2, REG_DWORD_}));
    EXPECT_EQ(com->devicePathForPort(3), devicePath(3));
}

// Values given on the command line are shown greyed out and never saved; the
// measurement details are shown as stored, saved as typed, and each field is
// reached by its label's mnemonic.
TEST_F(SetupDialog, CommandLineValuesAreShownGreyedAndNeverSavedDetailsAreTyped) {
    rec("RecordDirectory", QString("/stored/records"));
    rec("MeasurementLocation", QString("Yard 3"));
    rec("MeasurementOperator", QString("A. Stored"));
    storePort(3);
    reg.setRunValue(HKEY_CURRENT_USER_, kRecorderSection, "RecordDirectory", QString("/run/records"), REG_SZ_);
    reg.setRunValue(HKEY_CURRENT_USER_, kRecorderSection, "MeasurementOperator", QString("B. Run"), REG_SZ_);
    reg.setRunValue(HKEY_CURRENT_USER_, kDeviceSection, "COMPort", 1, REG_DWORD_);
    reg.setRunValue(HKEY_CURRENT_USER_, kDeviceSection, "COM1Device", devicePath(1), REG_SZ_);
    QPointer<frmSetup> d = shownDialog();
    EXPECT_EQ(d->InputSaveDir->text(), "/run/records");
    EXPECT_FALSE(d->InputSaveDir->isEnabled());
    EXPECT_FALSE(d->cmdBrowseDir->isEnabled());
    EXPECT_TRUE(d->InputSaveDir->toolTip().contains("--record-dir"));
    EXPECT_EQ(d->DeviceCOM[1]->currentText(), devicePath(1));
    EXPECT_FALSE(usable(*d, d->DeviceCOM[1]));
    EXPECT_TRUE(d->OptionCOM[1]->isChecked());
    for (int n = 1; n <= 4; ++n)
        EXPECT_FALSE(usable(*d, d->OptionCOM[n])) << n;
    EXPECT_TRUE(usable(*d, d->DeviceCOM[2]));
    d->InputFileName->setText("Station7");
    d->tbsOptions->setCurrentIndex(3);
    EXPECT_EQ(d->tbsOptions->tabText(3).remove(QLatin1Char('&')), "Measurement details");
    EXPECT_EQ(d->InputLocation->text(), "Yard 3");
    EXPECT_EQ(d->InputOperator->text(), "B. Run");
    EXPECT_FALSE(d->InputOperator->isEnabled());
    for (const auto& [key, field] : {std::pair<Qt::Key, QWidget*>{Qt::Key_L, d->InputLocation},
                                     {Qt::Key_W, d->InputWeather},
                                     {Qt::Key_T, d->InputNotes},
                                     {Qt::Key_U, d->InputInstrument}}) {
        QTest::keyClick(d, key, Qt::AltModifier);
        EXPECT_EQ(QApplication::focusWidget(), field);
    }
    d->InputWeather->setText("dry, 2 m/s wind");
    d->InputNotes->setPlainText("north fence\nmic 1.5 m");
    d->InputInstrument->setText("class 1 sound level meter");
    d->cmdOK->click();
    EXPECT_EQ(recorder("RecordNameBase"), (Typed{QString("Station7"), REG_SZ_}));
    EXPECT_EQ(recorder("MeasurementWeather"), (Typed{QString("dry, 2 m/s wind"), REG_SZ_}));
    EXPECT_EQ(recorder("MeasurementNotes"), (Typed{QString("north fence\nmic 1.5 m"), REG_SZ_}));
    EXPECT_EQ(recorder("MeasurementInstrument"), (Typed{QString("class 1 sound level meter"), REG_SZ_}));
    // What the store itself holds (read without the run's values):
    EXPECT_EQ(recorder("MeasurementOperator"), (Typed{QString("A. Stored"), REG_SZ_}));
    EXPECT_EQ(recorder("RecordDirectory"), (Typed{QString("/stored/records"), REG_SZ_}));
    EXPECT_EQ(device("COMPort"), (Typed{3, REG_DWORD_}));
    EXPECT_EQ(device("COM1Device").type, 0);
}

// OK with a field that cannot be saved (no separator, or the decimal one
// twice, a name part that would leave the record directory) says which,
// writes nothing and brings the field into view.
TEST_F(SetupDialog, OkWithAnUnusableFieldWritesNothingAndKeepsTheDialog) {
    const struct {
        const char *decimal, *tabular, *base, *ext;
        QLineEdit* frmSetup::*field;
        const char* named;
    } cases[] = {
        {"", ";", "x", ".dat", &frmSetup::InputDecimalSeparator, "\"Decimal Seperator\""},
        {",", "", "x", ".dat", &frmSetup::InputTabularSeparator, "\"Tabular Separator\""},
        {".", ".", "x", ".dat", &frmSetup::InputTabularSeparator, "cannot be the \"Decimal Seperator\" too"},
        {" ", "[space]", "x", ".dat", &frmSetup::InputTabularSeparator, "cannot be the \"Decimal Seperator\" too"},
        {",", ";", "../x", ".dat", &frmSetup::InputFileName, "\"Base Name\" must not contain \"/\""},
        {",", ";", "x", ".d/at", &frmSetup::InputFileExtension, "\"Extension\" must not contain \"/\""},
        {",", ";", "a..b", ".dat", &frmSetup::InputFileName, "\"Base Name\" must not contain \"..\""},
        {",", ";", "a\tb", ".dat", &frmSetup::InputFileName, "control characters"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.named);
        messages.messages.clear();
        QPointer<frmSetup> d = shownDialog();
        d->tbsOptions->setCurrentIndex(1);
        d->InputDecimalSeparator->setText(QString::fromUtf8(c.decimal));
        d->InputTabularSeparator->setText(QString::fromUtf8(c.tabular));
        d->InputFileName->setText(QString::fromLatin1(c.base));
        d->InputFileExtension->setText(QString::fromLatin1(c.ext));
        d->cmdOK->click();
        ASSERT_EQ(messages.messages.size(), 1);
        EXPECT_TRUE(messages.messages[0].text.contains(QString::fromLatin1(c.named)))
            << messages.messages[0].text.toStdString();
        EXPECT_TRUE(storeBytes().isEmpty());
        EXPECT_TRUE(d->isVisible());
        EXPECT_EQ(initApplicationCalls, 0);
        EXPECT_EQ(d->tbsOptions->currentIndex(), 0);
        EXPECT_EQ(QApplication::focusWidget(), (*d).*c.field);
        d->close();
        initApplicationCalls = 0;
    }
}

TEST_F(SetupDialog, FailedWriteIsReportedStopsTheSaveAndKeepsTheDialog) {
    rec("RecordDirectory", QString("/data"));
    rec("RecordNameBase", QString("A"));
    rec("IncludeHeaderLine", 0, REG_DWORD_);
    storePort(1);
    QPointer<frmSetup> d = makeDialog();
    d->InputFileName->setText("A much longer base name");
    d->chkIncludeHeader->setChecked(true);  // a write of the same size, which could still succeed

    // The store file may not grow: the first longer write fails.
    const QByteArray before = storeBytes();
    rlimit old{}, small{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old), 0);
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    small = {static_cast<rlim_t>(before.size()), old.rlim_max};
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    d->cmdOK->click();
    setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, oldHandler);

    ASSERT_EQ(messages.messages.size(), 1);
    // The store's own words (its tests hold them), naming the value that failed.
    EXPECT_TRUE(messages.messages[0].text.contains("Key: 'RecordNameBase' to value: 'A much longer base name'"))
        << messages.messages[0].text.toStdString();
    ASSERT_FALSE(d.isNull());  // the dialog stays
    EXPECT_EQ(initApplicationCalls, 0);
    EXPECT_EQ(storeBytes(), before);  // no write after the failed one
    d->cmdOK->click();                // once the store can be written again, the same dialog saves everything
    EXPECT_EQ(recorder("IncludeHeaderLine"), (Typed{1, REG_DWORD_}));
}

// Pictures of the two pages for the user documentation.
TEST_F(SetupDialog, BothPagesAreDrawnIntoTheDocs) {
    rec("RecordDirectory", QString("/home/messung/Kestro"));
    rec("IncludeHeaderLine", 1, REG_DWORD_);
    rec("TabularSeparator", 9, REG_DWORD_);
    for (int n = 1; n <= 4; ++n) {  // paths as on a real machine
        store(kDeviceSection, QString("COM%1Device").arg(n),
              n == 1 ? QString("/dev/ttyUSB0") : QString("/dev/ttyS%1").arg(n - 1));
        if (n > 2) port->setOpenFailure(QString("/dev/ttyS%1").arg(n - 1), kErrPortNotFound, "No such file");
    }
    QPointer<frmSetup> d = shownDialog();
    const QString docs = QStringLiteral(KESTRO_SCREENSHOT_DIR);  // the screenshots target copies them into docs/
    ASSERT_TRUE(QDir().mkpath(docs));
    for (const auto& [index, name] : {std::pair{0, "setup-recording.png"}, {1, "setup-interface.png"}}) {
        d->tbsOptions->setCurrentIndex(index);
        d->cmdOK->setFocus();
        QApplication::processEvents();
        ASSERT_TRUE(d->grab().toImage().save(docs + "/" + name)) << name;
    }
}

}  // namespace
}  // namespace kestro::test
