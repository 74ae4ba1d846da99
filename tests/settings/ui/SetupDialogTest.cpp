#include "SetupFixture.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QTabBar>

#include <csignal>
#include <sys/resource.h>

namespace kestro::test {
namespace {

using SetupDialog = SetupFixture;

// Enabled on its own: the page itself is disabled while it is hidden.
bool Usable(const frmSetup& d, const QWidget* w) { return w->isEnabledTo(d.PicOptions[1]); }
bool PortUsable(const frmSetup& d, int n) { return Usable(d, d.OptionCOM[n]); }

int CheckedPort(const frmSetup& d) {
    for (int n = 1; n <= 4; ++n)
        if (d.OptionCOM[n]->isChecked())
            return n;
    return 0;
}

// ---- load and OK ----

TEST_F(SetupDialog, EmptyStoreShowsDefaultsAndOkStoresEverythingTyped) {
    QPointer<frmSetup> d = MakeDialog();
    EXPECT_EQ(d->windowTitle(), "Setup");
    EXPECT_FALSE(d->isModal());
    EXPECT_EQ(d->minimumSize(), d->maximumSize());
    EXPECT_FALSE(d->windowFlags() & (Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint));
    const QRect area = QGuiApplication::primaryScreen()->availableGeometry();
    EXPECT_LE((d->geometry().center() - area.center()).manhattanLength(), 2);
    EXPECT_EQ(d->InputSaveDir->text(), defaultDir);
    EXPECT_EQ(d->InputFileName->text(), "NoiseData");
    EXPECT_EQ(d->InputFileExtension->text(), ".dat");
    EXPECT_FALSE(d->chkIncludeHeader->isChecked());
    EXPECT_TRUE(d->chkIncludeTime->isChecked());
    EXPECT_FALSE(d->chkIncludeOverflow->isChecked());
    EXPECT_FALSE(d->chkIncludeUnderflow->isChecked());
    EXPECT_EQ(d->InputDecimalSeparator->text(), ",");
    EXPECT_EQ(d->InputTabularSeparator->text(), ";");
    EXPECT_EQ(CheckedPort(*d), 1);
    EXPECT_EQ(d->FrameCOMTag(), "1");
    EXPECT_TRUE(StoreBytes().isEmpty());  // loading writes nothing

    d->cmdOK->click();
    const std::pair<const char*, Typed> expected[] = {
        {"RecordDirectory", {defaultDir, REG_SZ_}},
        {"RecordNameBase", {QString("NoiseData"), REG_SZ_}},
        {"RecordFileExtension", {QString(".dat"), REG_SZ_}},
        {"IncludeHeaderLine", {0, REG_DWORD_}},
        {"IncludeSystemTime", {1, REG_DWORD_}},
        {"IncludeOverflow", {0, REG_DWORD_}},
        {"IncludeUnderflow", {0, REG_DWORD_}},
        {"DecimalSeparator", {44, REG_DWORD_}},
        {"TabularSeparator", {59, REG_DWORD_}},
    };
    for (const auto& [name, value] : expected) {
        SCOPED_TRACE(name);
        EXPECT_EQ(Recorder(name), value);
    }
    EXPECT_EQ(Device("COMPort"), (Typed{1, REG_DWORD_}));
    // The default device mapping is not frozen into the store.
    for (int n = 1; n <= 4; ++n)
        EXPECT_EQ(Device(QString("COM%1Device").arg(n)).type, 0) << n;
    EXPECT_EQ(initApplicationCalls, 1);
    FlushDeletes();
    EXPECT_TRUE(d.isNull());

    // What OK stored is what the program loads.
    RecorderSettings s;
    EXPECT_EQ(s.InitForm(reg, QString("/elsewhere")), kTrue);
    EXPECT_EQ(s.RecordDirectory, defaultDir);
}

TEST_F(SetupDialog, StoredValuesAreShownAndChangesSaved) {
    StoreRecorder("RecordDirectory", QString("/data/noise"), REG_SZ_);
    StoreRecorder("RecordNameBase", QString(""), REG_SZ_);
    StoreRecorder("RecordFileExtension", QString(".txt"), REG_SZ_);
    StoreRecorder("IncludeHeaderLine", 1, REG_DWORD_);
    StoreRecorder("IncludeSystemTime", 0, REG_DWORD_);
    StoreRecorder("IncludeOverflow", -1, REG_DWORD_);  // another tool's "true"
    StoreRecorder("IncludeUnderflow", 0, REG_DWORD_);
    StorePort(4);
    QPointer<frmSetup> d = MakeDialog();
    EXPECT_EQ(d->InputSaveDir->text(), "/data/noise");
    EXPECT_EQ(d->InputFileName->text(), "");  // an empty stored text stays empty
    EXPECT_EQ(d->InputFileExtension->text(), ".txt");
    EXPECT_TRUE(d->chkIncludeHeader->isChecked());
    EXPECT_FALSE(d->chkIncludeTime->isChecked());
    EXPECT_TRUE(d->chkIncludeOverflow->isChecked());
    EXPECT_EQ(CheckedPort(*d), 4);

    d->InputFileName->setText("Hall A");
    d->tbsOptions->setCurrentIndex(1);
    d->chkIncludeUnderflow->setChecked(true);
    d->OptionCOM[2]->click();
    EXPECT_EQ(d->FrameCOMTag(), "2");
    d->cmdOK->click();
    EXPECT_EQ(Recorder("RecordNameBase"), (Typed{QString("Hall A"), REG_SZ_}));
    EXPECT_EQ(Recorder("IncludeOverflow"), (Typed{1, REG_DWORD_}));
    EXPECT_EQ(Recorder("IncludeUnderflow"), (Typed{1, REG_DWORD_}));
    EXPECT_EQ(Device("COMPort"), (Typed{2, REG_DWORD_}));
}

TEST_F(SetupDialog, StoredSeparatorCodesAreShown) {
    const struct {
        QVariant decimal, tabular;
        const char *decimalShown, *tabularShown;
    } cases[] = {
        {46, 9, ".", "[TAB]"},
        {44, 32, ",", "[SPACE]"},
        {44, 124, ",", "|"},
        {0, 300, ",", ";"},  // no character of the code page: the defaults the program uses
        {QString("x"), QString("9"), ",", "[TAB]"},  // a text only when it spells a number
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.tabularShown);
        StoreRecorder("DecimalSeparator", c.decimal, c.decimal.typeId() == QMetaType::QString ? REG_SZ_ : REG_DWORD_);
        StoreRecorder("TabularSeparator", c.tabular, c.tabular.typeId() == QMetaType::QString ? REG_SZ_ : REG_DWORD_);
        std::unique_ptr<frmSetup> d(MakeDialog());
        EXPECT_EQ(d->InputDecimalSeparator->text(), c.decimalShown);
        EXPECT_EQ(d->InputTabularSeparator->text(), c.tabularShown);
    }
}

TEST_F(SetupDialog, DirectoryWithEnvironmentReferenceIsShownAndStoredExpanded) {
    const QString home = qEnvironmentVariable("HOME");
    ASSERT_FALSE(home.isEmpty());
    StoreRecorder("RecordDirectory", QString("%HOME%/Messungen"), REG_SZ_);
    ASSERT_EQ(Recorder("RecordDirectory").type, REG_EXPAND_SZ_);
    QPointer<frmSetup> d = MakeDialog();
    EXPECT_EQ(d->InputSaveDir->text(), home + "/Messungen");
    d->cmdOK->click();
    EXPECT_EQ(Recorder("RecordDirectory"), (Typed{home + "/Messungen", REG_SZ_}));
}

// ---- keyboard rules ----

TEST_F(SetupDialog, ExtensionGetsItsLeadingDotWhenLeft) {
    const std::pair<const char*, const char*> cases[] = {
        {"csv", ".csv"}, {"", "."}, {".dat", ".dat"}, {"a.b", ".a.b"}};
    QPointer<frmSetup> d = MakeDialog();
    ShowActive(d);
    for (const auto& [typed, shown] : cases) {
        SCOPED_TRACE(typed);
        d->InputFileExtension->setFocus();
        d->InputFileExtension->setText(typed);
        EXPECT_EQ(d->InputFileExtension->text(), typed);  // nothing changes while typing
        d->InputFileName->setFocus();
        EXPECT_EQ(d->InputFileExtension->text(), shown);
    }
    d->InputFileExtension->setFocus();
    d->InputFileExtension->setText("csv");
    d->cmdOK->setFocus();  // as a click on OK does first
    d->cmdOK->click();
    EXPECT_EQ(Recorder("RecordFileExtension"), (Typed{QString(".csv"), REG_SZ_}));
}

TEST_F(SetupDialog, ColumnSeparatorKeywordsAndCodes) {
    enum Action { None, TabKey, SpaceKey };
    const struct {
        const char* text;
        Action action;
        const char* shown;
        int stored;
    } cases[] = {
        {"", TabKey, "[TAB]", 9},
        {"abc", SpaceKey, "[SPACE]", 32},
        {"", SpaceKey, "[SPACE]", 32},
        {"|x", None, "|x", 124},
        {"[tab]", None, "[tab]", 9},
        {"[Space]", None, "[Space]", 32},
        {"[TAB]x", None, "[TAB]x", '['},
        {"\t", None, "\t", 9},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        QPointer<frmSetup> d = MakeDialog();
        ShowActive(d);
        d->InputTabularSeparator->setFocus();
        d->InputTabularSeparator->setText(c.text);
        if (c.action == TabKey)
            QTest::keyClick(d->InputTabularSeparator, Qt::Key_Tab);
        else if (c.action == SpaceKey)
            QTest::keyClick(d->InputTabularSeparator, Qt::Key_Space);
        EXPECT_EQ(d->InputTabularSeparator->text(), c.shown);
        EXPECT_EQ(QApplication::focusWidget(), d->InputTabularSeparator);
        d->cmdOK->click();
        EXPECT_EQ(Recorder("TabularSeparator"), (Typed{c.stored, REG_DWORD_}));
        FlushDeletes();
    }
}

TEST_F(SetupDialog, TabFromAFilledColumnSeparatorMovesOnToTheNextControl) {
    QPointer<frmSetup> d = MakeDialog();
    ShowActive(d);
    d->InputTabularSeparator->setFocus();
    QTest::keyClick(d->InputTabularSeparator, Qt::Key_Tab);
    EXPECT_EQ(d->InputTabularSeparator->text(), ";");
    EXPECT_EQ(QApplication::focusWidget(), d->cmdOK);  // the other page is disabled
    QTest::keyClick(d->cmdOK, Qt::Key_Backtab, Qt::ShiftModifier);
    EXPECT_EQ(QApplication::focusWidget(), d->InputTabularSeparator);
}

TEST_F(SetupDialog, TabsSelectTheirPagesAndCtrlTabWraps) {
    QPointer<frmSetup> d = MakeDialog();
    ShowActive(d);
    auto page = [&] {
        const bool first = d->PicOptions[0]->isVisible() && d->PicOptions[0]->isEnabled();
        const bool second = d->PicOptions[1]->isVisible() && d->PicOptions[1]->isEnabled();
        EXPECT_NE(first, second);
        EXPECT_EQ(d->PicOptions[0]->isEnabled(), d->PicOptions[0]->isVisible());
        EXPECT_EQ(d->PicOptions[1]->isEnabled(), d->PicOptions[1]->isVisible());
        return first ? 0 : 1;
    };
    EXPECT_EQ(d->tbsOptions->tabText(0), "Recording");
    EXPECT_EQ(d->tbsOptions->tabText(1), "Interface");
    EXPECT_EQ(d->tbsOptions->tabData(0).toString(), "Group1");
    EXPECT_EQ(d->tbsOptions->tabData(1).toString(), "Group2");
    EXPECT_EQ(d->tbsOptions->tabToolTip(0), "Optionen für Gruppe 1 festlegen");
    EXPECT_EQ(d->tbsOptions->tabToolTip(1), "Optionen für Gruppe 3 festlegen");
    EXPECT_EQ(page(), 0);

    d->tbsOptions->setCurrentIndex(1);  // as a click on the tab
    EXPECT_EQ(page(), 1);

    // Seen before the focused control, whichever it is.
    const struct {
        QWidget* focus;
        Qt::Key key;
        Qt::KeyboardModifiers mods;
        int page;
    } steps[] = {
        {d->OptionCOM[1], Qt::Key_Tab, Qt::ControlModifier, 0},  // the last tab wraps to the first
        {d->InputSaveDir, Qt::Key_Tab, Qt::ControlModifier, 1},
        {d->DeviceCOM[1], Qt::Key_Tab, Qt::ControlModifier, 0},
        {d->InputFileName, Qt::Key_Backtab, Qt::ControlModifier | Qt::ShiftModifier, 1},
    };
    for (const auto& s : steps) {
        s.focus->setFocus();
        ASSERT_EQ(QApplication::focusWidget(), s.focus);
        QTest::keyClick(s.focus, s.key, s.mods);
        EXPECT_EQ(page(), s.page);
        EXPECT_EQ(d->tbsOptions->currentIndex(), s.page);
    }
    EXPECT_EQ(d->InputFileName->text(), "NoiseData");  // the key did not reach the field
}

TEST_F(SetupDialog, EnterDoesNotConfirmAndEscapeCancels) {
    QPointer<frmSetup> d = MakeDialog();
    ShowActive(d);
    for (QPushButton* b : d->findChildren<QPushButton*>())
        EXPECT_FALSE(b->isDefault() || b->autoDefault()) << b->objectName().toStdString();
    d->InputFileName->setFocus();
    QTest::keyClick(d->InputFileName, Qt::Key_Return);
    QTest::keyClick(d->InputFileName, Qt::Key_Enter);
    EXPECT_TRUE(d->isVisible());
    EXPECT_EQ(initApplicationCalls, 0);
    QTest::keyClick(d->InputFileName, Qt::Key_Escape);
    EXPECT_FALSE(d->isVisible());
    EXPECT_EQ(initApplicationCalls, 1);
    EXPECT_TRUE(StoreBytes().isEmpty());
}

// ---- closing ----

TEST_F(SetupDialog, EveryCloseRunsInitApplicationOnceAndOnlyOkWrites) {
    const struct {
        const char* how;
        std::function<void(frmSetup&)> close;
        bool writes;
    } ways[] = {
        {"OK", [](frmSetup& d) { d.cmdOK->click(); }, true},
        {"Abbrechen", [](frmSetup& d) { d.cmdCancel->click(); }, false},
        {"Escape", [](frmSetup& d) { QTest::keyClick(&d, Qt::Key_Escape); }, false},
        {"close box", [](frmSetup& d) { d.close(); }, false},
    };
    for (const auto& w : ways) {
        SCOPED_TRACE(w.how);
        QFile::remove(files.currentUser);
        initApplicationCalls = 0;
        QPointer<frmSetup> d = MakeDialog();
        ShowActive(d);
        d->InputFileName->setText("Typed");
        d->chkIncludeHeader->setChecked(true);
        w.close(*d);
        EXPECT_EQ(initApplicationCalls, 1);
        if (d)
            d->close();  // a second close of the same dialog is no second unload
        EXPECT_EQ(initApplicationCalls, 1);
        EXPECT_EQ(Recorder("RecordNameBase").value, w.writes ? QVariant(QString("Typed")) : QVariant());
        EXPECT_EQ(StoreBytes().isEmpty(), !w.writes);
        FlushDeletes();
        EXPECT_TRUE(d.isNull());
    }
}

TEST_F(SetupDialog, UnusablePortReopensTheDialogUntilAUsablePortIsSaved) {
    StorePort(2);
    FailPort(2);
    QPointer<frmSetup> current;
    // What the program's InitApplication does after the dialog closes.
    onInitApplication = [&] {
        if (com->InitForm() != kTrue)
            current = MakeDialog();
    };
    current = MakeDialog();
    QPointer<frmSetup> first = current;
    EXPECT_EQ(CheckedPort(*first), 2);
    EXPECT_FALSE(PortUsable(*first, 2));

    first->cmdCancel->click();
    ASSERT_FALSE(current.isNull());
    EXPECT_NE(current, first);
    EXPECT_EQ(dialogsCreated, 2);
    ASSERT_EQ(messages.messages.size(), 1);
    EXPECT_EQ(messages.messages[0].text, "COM2 is not availiable!");
    EXPECT_EQ(com->GetCOMPort(), 0);

    QPointer<frmSetup> second = current;
    second->tbsOptions->setCurrentIndex(1);
    second->OptionCOM[1]->click();
    second->cmdOK->click();
    EXPECT_EQ(dialogsCreated, 2);  // the port opened: no further dialog
    EXPECT_EQ(com->GetCOMPort(), 1);
    EXPECT_EQ(initApplicationCalls, 2);
    FlushDeletes();
    EXPECT_TRUE(first.isNull());
    EXPECT_TRUE(second.isNull());
}

// ---- ports ----

TEST_F(SetupDialog, PortsThatDoNotOpenAreDisabledAndAStoredAbsentPortStaysChosen) {
    StorePort(3);
    FailPort(2);
    FailPort(3);
    QPointer<frmSetup> d = MakeDialog();
    const bool enabled[] = {false, true, false, false, true};
    for (int n = 1; n <= 4; ++n) {
        EXPECT_EQ(d->OptionCOM[n]->text(), QString("COM%1").arg(n));
        EXPECT_EQ(PortUsable(*d, n), enabled[n]) << n;
        EXPECT_EQ(d->DeviceCOM[n]->currentText(), devicePath(n));
    }
    EXPECT_EQ(CheckedPort(*d), 3);
    EXPECT_EQ(d->FrameCOMTag(), "3");
    EXPECT_TRUE(messages.messages.isEmpty());  // the probe shows no message
    // Every port was tried once, and none is left open for the poll cycle to talk to.
    QStringList tried;
    for (const QString& h : port->history())
        if (h.startsWith("open"))
            tried << h;
    EXPECT_EQ(tried, QStringList({"open " + devicePath(1), "open-failed " + devicePath(2),
                                  "open-failed " + devicePath(3), "open " + devicePath(4)}));
    EXPECT_FALSE(port->isOpen());
    EXPECT_EQ(com->GetCOMPort(), 0);

    d->cmdOK->click();
    EXPECT_EQ(Device("COMPort"), (Typed{3, REG_DWORD_}));
}

TEST_F(SetupDialog, StoredPortWithoutAnOptionIsKeptUnlessAPortIsChosen) {
    for (int stored : {0, 5, -1, 99}) {
        SCOPED_TRACE(stored);
        StorePort(stored);
        QPointer<frmSetup> d = MakeDialog();
        EXPECT_EQ(CheckedPort(*d), 0);
        EXPECT_EQ(d->FrameCOMTag(), "");
        d->cmdOK->click();
        EXPECT_EQ(Device("COMPort"), (Typed{stored, REG_DWORD_}));
        FlushDeletes();
    }
    QPointer<frmSetup> d = MakeDialog();
    d->tbsOptions->setCurrentIndex(1);
    d->OptionCOM[4]->click();
    d->cmdOK->click();
    EXPECT_EQ(Device("COMPort"), (Typed{4, REG_DWORD_}));
}

TEST_F(SetupDialog, DevicePathsShowTheMappingAndOnlyChangesAreStored) {
    QFile usb(devDir() + "/ttyUSB0");
    ASSERT_TRUE(usb.open(QIODevice::WriteOnly));
    usb.close();
    Store(kDeviceSection, "COM3Device", QString("/dev/serial/by-id/meter"), REG_SZ_);
    const QString usbPath = devDir() + "/ttyUSB0";
    const QList<SerialDeviceInfo> present = {
        {devDir() + "/ttyS0", QString(), false, 0, 0},
        {usbPath, "FT232R USB UART", true, 0x0403, 0x6001},
    };
    QPointer<frmSetup> d = MakeDialog([&] { return present; });
    EXPECT_EQ(d->DeviceCOM[1]->currentText(), usbPath);  // the one adapter is COM1
    EXPECT_EQ(d->DeviceCOM[2]->currentText(), devicePath(2));
    EXPECT_EQ(d->DeviceCOM[3]->currentText(), "/dev/serial/by-id/meter");
    QComboBox* c2 = d->DeviceCOM[2];
    ASSERT_EQ(c2->count(), 2);
    EXPECT_EQ(c2->itemText(1), usbPath + " — FT232R USB UART (0403:6001)");
    EXPECT_EQ(c2->itemData(1).toString(), usbPath);

    // Picking a present device from the list uses it for that port.
    c2->setCurrentIndex(1);
    emit c2->activated(1);
    EXPECT_EQ(c2->currentText(), usbPath);
    EXPECT_TRUE(d->OptionCOM[2]->isChecked());
    EXPECT_TRUE(PortUsable(*d, 2));
    EXPECT_EQ(d->FrameCOMTag(), "2");

    // A typed path that is not there cannot be chosen; the probed one gets its verdict back.
    FailPort(4);
    QComboBox* c4 = d->DeviceCOM[4];
    EXPECT_TRUE(PortUsable(*d, 4));
    c4->setEditText(devDir() + "/ttyACM7");
    EXPECT_FALSE(PortUsable(*d, 4));
    c4->setEditText(usbPath);
    EXPECT_TRUE(PortUsable(*d, 4));
    c4->setEditText(devicePath(4));
    EXPECT_TRUE(PortUsable(*d, 4));  // it opened at load

    d->DeviceCOM[3]->setEditText("  ");  // back to the default mapping
    d->cmdOK->click();
    EXPECT_EQ(Device("COM1Device").type, 0);
    EXPECT_EQ(Device("COM2Device"), (Typed{usbPath, REG_SZ_}));
    EXPECT_EQ(Device("COM3Device"), (Typed{QString(""), REG_SZ_}));
    EXPECT_EQ(Device("COM4Device").type, 0);
    EXPECT_EQ(Device("COMPort"), (Typed{2, REG_DWORD_}));
    EXPECT_EQ(com->DevicePathForPort(2), usbPath);
    EXPECT_EQ(com->DevicePathForPort(3), devicePath(3));
}

TEST_F(SetupDialog, DeviceFixedByTheEnvironmentCannotBeEdited) {
    qputenv("KESTRO_COM2", "/dev/ttyFIXED");
    QPointer<frmSetup> d = MakeDialog();
    EXPECT_EQ(d->DeviceCOM[2]->currentText(), "/dev/ttyFIXED");
    EXPECT_FALSE(Usable(*d, d->DeviceCOM[2]));
    EXPECT_TRUE(Usable(*d, d->DeviceCOM[1]));
    d->cmdOK->click();
    EXPECT_EQ(Device("COM2Device").type, 0);
}

TEST_F(SetupDialog, DeviceTextNamesPathDescriptionAndIds) {
    const std::pair<SerialDeviceInfo, const char*> cases[] = {
        {{"/dev/ttyUSB0", "FT232R USB UART", true, 0x0403, 0x6001}, "/dev/ttyUSB0 — FT232R USB UART (0403:6001)"},
        {{"/dev/ttyACM0", "", true, 0x2341, 0x43}, "/dev/ttyACM0 (2341:0043)"},
        {{"/dev/ttyS0", "  ", false, 0, 0}, "/dev/ttyS0"},
        {{"/dev/ttyS1", "16550A", false, 7, 7}, "/dev/ttyS1 — 16550A"},
    };
    for (const auto& [info, text] : cases)
        EXPECT_EQ(SerialDeviceText(info), QString::fromUtf8(text));
}

// ---- refused and failed OK ----

TEST_F(SetupDialog, OkWithoutAUsableSeparatorWritesNothingAndNamesTheField) {
    const struct {
        const char *decimal, *tabular;
        QLineEdit* frmSetup::*field;
        const char* named;
    } cases[] = {
        {"", ";", &frmSetup::InputDecimalSeparator, "\"Decimal Seperator\""},
        {",", "", &frmSetup::InputTabularSeparator, "\"Tabular Separator\""},
        {"", "", &frmSetup::InputDecimalSeparator, "\"Decimal Seperator\""},
        {"€", ";", &frmSetup::InputDecimalSeparator, "\"Decimal Seperator\""},
        {",", "→", &frmSetup::InputTabularSeparator, "\"Tabular Separator\""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.named);
        messages.messages.clear();
        initApplicationCalls = 0;
        QPointer<frmSetup> d = MakeDialog();
        ShowActive(d);
        d->tbsOptions->setCurrentIndex(1);
        d->InputDecimalSeparator->setText(QString::fromUtf8(c.decimal));
        d->InputTabularSeparator->setText(QString::fromUtf8(c.tabular));
        d->cmdOK->click();
        ASSERT_EQ(messages.messages.size(), 1);
        EXPECT_TRUE(messages.messages[0].text.contains(c.named)) << messages.messages[0].text.toStdString();
        EXPECT_TRUE(StoreBytes().isEmpty());
        EXPECT_TRUE(d->isVisible());
        EXPECT_EQ(initApplicationCalls, 0);
        EXPECT_EQ(d->tbsOptions->currentIndex(), 0);  // the field is brought into view
        EXPECT_EQ(QApplication::focusWidget(), (*d).*c.field);
        EXPECT_EQ(d->InputTabularSeparator->text(), QString::fromUtf8(c.tabular));  // typed text kept

        d->InputDecimalSeparator->setText(".");
        d->InputTabularSeparator->setText("[space]");
        d->cmdOK->click();
        EXPECT_EQ(Recorder("DecimalSeparator"), (Typed{46, REG_DWORD_}));
        EXPECT_EQ(Recorder("TabularSeparator"), (Typed{32, REG_DWORD_}));
        EXPECT_EQ(initApplicationCalls, 1);
        QFile::remove(files.currentUser);
        FlushDeletes();
    }
}

TEST_F(SetupDialog, FailedWriteIsReportedStopsTheSaveAndKeepsTheDialog) {
    StoreRecorder("RecordDirectory", QString("/data"), REG_SZ_);
    StoreRecorder("RecordNameBase", QString("A"), REG_SZ_);
    StoreRecorder("IncludeHeaderLine", 0, REG_DWORD_);
    StorePort(1);
    QPointer<frmSetup> d = MakeDialog();
    d->InputFileName->setText("A much longer base name");
    d->chkIncludeHeader->setChecked(true);  // a write of the same size, which could still succeed

    const QByteArray before = StoreBytes();
    rlimit old{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old), 0);
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit small = old;
    small.rlim_cur = static_cast<rlim_t>(before.size());
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    d->cmdOK->click();
    setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, oldHandler);

    ASSERT_EQ(messages.messages.size(), 1);
    const QString text = messages.messages[0].text;
    EXPECT_TRUE(text.contains("Failed to set registry value Key: '2147483649',Section: '" +
                              QString(kRecorderSection) + "',Key: 'RecordNameBase' to value: 'A much longer base name'"))
        << text.toStdString();
    EXPECT_TRUE(messages.messages[0].detail.contains(files.currentUser));
    EXPECT_FALSE(d.isNull());
    EXPECT_EQ(initApplicationCalls, 0);
    EXPECT_EQ(d->InputFileName->text(), "A much longer base name");
    EXPECT_EQ(StoreBytes(), before);  // the one write before it stored the same directory again
    EXPECT_EQ(Recorder("RecordNameBase"), (Typed{QString("A"), REG_SZ_}));
    EXPECT_EQ(Recorder("IncludeHeaderLine"), (Typed{0, REG_DWORD_}));

    // Once the store can be written again, the same dialog saves everything.
    d->cmdOK->click();
    EXPECT_EQ(Recorder("RecordNameBase"), (Typed{QString("A much longer base name"), REG_SZ_}));
    EXPECT_EQ(Recorder("IncludeHeaderLine"), (Typed{1, REG_DWORD_}));
    EXPECT_EQ(initApplicationCalls, 1);
}

}  // namespace
}  // namespace kestro::test
