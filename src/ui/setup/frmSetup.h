#pragma once
// The setup dialog: recorder settings and the serial port. It shows the
// values it is given and hands the edited ones to the store's function on OK;
// the ports are probed through a function from the serial link. A field of the
// settings is bound to the widget whose object name is the value's name.
//
// Modeless. Every close (OK, Abbrechen, Escape, the close box) runs the
// initApplication hook once; the dialog then deletes itself
// (WA_DeleteOnClose), so owners hold it only through a QPointer.

#include "link/SerialNames.h"
#include "link/frmCOMx.h"
#include "settings/RecorderSettings.h"

#include <QDialog>
#include <QList>
#include <QString>

#include <array>
#include <functional>
#include <initializer_list>

class QCheckBox;
class QComboBox;
class QDoubleSpinBox;
class QGroupBox;
class QHBoxLayout;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QRadioButton;
class QSpinBox;
class QStackedWidget;
class QTabBar;
class QToolButton;

namespace kestro {

class MessageSink;

using SerialDeviceLister = std::function<QList<SerialDevice>()>;
using PortProber = std::function<std::array<PortProbe, 5>()>;

// The serial devices the system reports now, their stable names first.
QList<SerialDevice> presentSerialDevices();
// The stable names (each with the description and ids of the port it points
// to), then the ports.
QList<SerialDevice> withStableNames(const QList<SerialDevice>& ports, const QList<StableSerialName>& names);
// Drop-down text: path, then " — " description and " (vvvv:pppp)" where known.
QString serialDeviceText(const SerialDevice& info);

// The character code a separator field stands for: [TAB] 9 and [SPACE] 32 in
// any letter case when keywords is set, else the code of the first character.
// False when the field is empty or that character has no single-byte code.
bool separatorCode(const QString& fieldText, bool keywords, int32_t* code);
// How a stored separator code is shown: [TAB], [SPACE] or the character.
QString separatorFieldText(int32_t code);

// The page a start that cannot record opens Setup on, and the reason shown
// at its top: the missing port first, then the record directory.
struct SetupAttention {
    int page;
    QString reason;
};
SetupAttention setupAttention(bool portOpen, const QString& recordDirectory);

class frmSetup : public QDialog {
    Q_OBJECT
public:
    static constexpr int kRecordingPage = 0;
    static constexpr int kInterfacePage = 1;

    frmSetup(SetupStore store, PortProber probePorts, MessageSink& messages, std::function<void()> initApplication,
             SerialDeviceLister listDevices = presentSerialDevices, QWidget* parent = nullptr);

    void tbsOptions_Click();
    void OptionCOM_Click(int n);
    void cmdOK_Click();
    void cmdCancel_Click();
    // Shows the page with the reason it needs attention above the pages.
    void showAttention(const SetupAttention& attention);

    QLabel* lblAttention = nullptr;  // hidden unless a page needs attention
    QTabBar* tbsOptions = nullptr;
    std::array<QWidget*, 4> PicOptions{};
    QLineEdit* InputSaveDir = nullptr;
    QToolButton* cmdBrowseDir = nullptr;
    QLineEdit* InputFileName = nullptr;
    QLineEdit* InputFileExtension = nullptr;
    QCheckBox* chkIncludeHeader = nullptr;
    QCheckBox* chkIncludeTime = nullptr;
    QCheckBox* chkIncludeOverflow = nullptr;
    QCheckBox* chkIncludeUnderflow = nullptr;
    QLineEdit* InputDecimalSeparator = nullptr;
    QLineEdit* InputTabularSeparator = nullptr;
    QPushButton* cmdTSepTabFocus = nullptr;
    QGroupBox* FrameCOM = nullptr;
    std::array<QRadioButton*, 5> OptionCOM{};  // elements 1 to 4
    std::array<QComboBox*, 5> DeviceCOM{};     // device path of port n, elements 1 to 4
    // Page "Statistics": interval length (item data: seconds) and the Leq limit (0 = none).
    QComboBox* cboStatisticsInterval = nullptr;
    QDoubleSpinBox* InputLimitLevel = nullptr;
    // and the noise events: level (0 = none), minimum duration, hysteresis, desktop notifications.
    QDoubleSpinBox* InputEventLevel = nullptr;
    QSpinBox* InputEventMinDuration = nullptr;
    QDoubleSpinBox* InputEventHysteresis = nullptr;
    QCheckBox* chkEventNotifications = nullptr;
    QComboBox* cboLanguage = nullptr;
    QComboBox* cboReportLanguage = nullptr;
    QCheckBox* chkDailyReports = nullptr;
    // Page "Measurement details": written into the side file of every series.
    QLineEdit* InputLocation = nullptr;
    QLineEdit* InputOperator = nullptr;
    QLineEdit* InputWeather = nullptr;
    QPlainTextEdit* InputNotes = nullptr;
    QLineEdit* InputInstrument = nullptr;
    QPushButton* cmdOK = nullptr;
    QPushButton* cmdCancel = nullptr;

    void done(int r) override;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void buildControls();
    QWidget* buildRecordingPage();
    QWidget* buildInterfacePage();
    QWidget* buildStatisticsPage();
    QWidget* buildDetailsPage();
    QHBoxLayout* buildButtons();
    void load();
    void showPage(int index);
    void nextTab(int step);
    void fillDeviceList(int n);
    void devicePathEdited(int n, const QString& text);
    void devicePicked(int n, int item);
    bool validateSeparators(int32_t* decimalCode, int32_t* tabularCode);
    void complain(QLineEdit* field, const QString& text);
    void browseDirectory();
    // Greys out controls whose value the command line set for this run.
    void showRunValue(std::initializer_list<QWidget*> controls, const QString& option);

    SetupStore store_;
    PortProber probePorts_;
    MessageSink& messages_;
    std::function<void()> initApplication_;
    SerialDeviceLister listDevices_;

    QStackedWidget* pages_ = nullptr;
    QString frameComTag_;
    std::array<QString, 5> loadedPath_{};  // the mapping at load, as probed
    std::array<bool, 5> probedOpen_{};
    bool unloaded_ = false;
    bool portForThisRun_ = false;  // --port: the port choice is not the dialog's
};

}  // namespace kestro
