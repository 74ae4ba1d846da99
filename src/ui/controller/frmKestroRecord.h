#pragma once
// The main window: front panel of the instrument. It draws what the session
// announces (display, options, keys, status bar) and passes the user's clicks
// and keys on to it; the procedures of the poll cycle and of the keys keep
// their names here as entry points into the session.

#include "session/Session.h"
#include "ui/display/DisplayPanel.h"
#include "ui/display/ImageList.h"
#include "ui/display/PictureButton.h"
#include "ui/recording/RecordingViews.h"

#include <QMainWindow>
#include <QString>
#include <QTimer>
#include <array>
#include <functional>

class QGroupBox;
class QLabel;
class QRadioButton;

namespace kestro {

class frmKestroRecord : public QMainWindow {
    Q_OBJECT
public:
    static constexpr int kDesignWidth = 676;  // client area at start
    static constexpr int kDesignHeight = 349;
    static constexpr int kGraphLeft = 264;
    static constexpr int kGraphRightMargin = 11;  // graph width = client width - 275
    static constexpr int kMinGraphWidth = 160;

    // startTimers false: Timer1 and BlinkTimer are never started (tests and
    // benchmarks call the tick handlers themselves).
    explicit frmKestroRecord(Session& session, bool startTimers = true, QWidget* parent = nullptr);
    ~frmKestroRecord() override;

    // ---- hooks of the application shell ----
    std::function<void()> onEndApplication;  // "Exit" and the close box
    std::function<void()> onShowSetup;       // "Setup"
    std::function<void()> onShowAbout;       // "?" / "About"
    std::function<void()> onShowStatistics;  // "Statistics" / "Statistics window"
    std::function<void()> onOpenRecordFile;  // "Statistics" / "Open record file..."
    // A question with OK and Cancel; true for OK. Without it the answer is OK.
    std::function<bool(const QString& question)> onAsk;

    // ---- window events ----
    void ShowMainWindow();  // loads (once) and shows the window
    void Form_Load();
    void Form_Resize();
    // Close request; UnloadMode 0 is the user's close box. Returns Cancel.
    bool Form_QueryUnload(int UnloadMode);
    int16_t InitForm();  // loads the recorder settings; kTrue when all were stored
    void MenuFileExit_Click();
    void MenuSetup_Click();
    void MenuHelpAbout_Click();
    void onStatisticsShow();
    void onStatisticsOpen();
    // "Events" / "Mark...": begins a marked span (a note, the time by default), or ends the one that runs.
    void onEventsMark();
    // Free text of status panel 3; a record-file error is shown instead while there is one.
    void setPanel3Text(const QString& text);

    // ---- poll cycle (the session's) ----
    void Timer1_Timer() { session_.Timer1_Timer(); }
    void Reset_KestroState() { session_.Reset_KestroState(); }
    void Reset_KestroStateOld() { session_.Reset_KestroStateOld(); }
    void NoiseDisplay(int16_t Value);  // nothing while the device is offline
    void Reset_KestroDisplay();

    // ---- keys and recording ----
    void BlinkTimer_Timer();
    void EnableRecording() { session_.EnableRecording(); }
    void DisableRecording() { session_.DisableRecording(); }
    void cmdPower_MouseDown();
    void cmdPower_MouseUp();
    void cmdRecord_MouseDown();
    void cmdRecord_MouseUp();
    void cmdStopRecord_MouseDown();
    void cmdStopRecord_MouseUp();

    // ---- function and range ----
    void optMeasurementMode_Click(int16_t Index);
    void optRange_Click(int16_t Index);
    void RestartTimeAxis() { session_.RestartTimeAxis(); }

    // ---- state ----
    bool BlinkPhase = false;
    int32_t BlinkCounter = 0;
    bool InResize = false;
    QTimer BlinkTimer;

    // ---- controls ----
    DisplayPanel* Picture1 = nullptr;
    QWidget* Toolbar1 = nullptr;
    QWidget* Picture2 = nullptr;
    QWidget* StatusBar1 = nullptr;
    PictureButton* cmdPower = nullptr;
    PictureButton* cmdRecord = nullptr;
    PictureButton* cmdStopRecord = nullptr;
    QGroupBox* frmMeasurementMode = nullptr;
    QGroupBox* frmRange = nullptr;
    std::array<QRadioButton*, 6> optMeasurementMode{};
    std::array<QRadioButton*, 5> optRange{};

    // Status bar: panel texts (1-based; panel 1 has none).
    QString panelText(int panel) const;
    // The panel after the four: the last calibration check (text and tool tip).
    QLabel* calibrationPanel() const { return calibrationPanel_; }
    // After it: the noise events of the recording (what runs, the last one, what is watched).
    QLabel* eventPanel() const { return eventPanel_; }

    Session& session() { return session_; }
    RecordingViews& views() { return views_; }

protected:
    void resizeEvent(QResizeEvent* event) override;
    void changeEvent(QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    // Hands Exit to every dialog and the keys' shortcuts to the other windows.
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void buildWindow();
    void buildMenus();
    void buildKeys(QWidget* client);
    void buildOptions();
    void buildStatusBar(QWidget* client);
    void layoutControls();
    void layoutClientArea();
    void observeSession();
    void showOnline();
    void showOffline();
    void showStarted();
    void showFunction(int16_t f, int16_t level);
    void showRange(int16_t range, int option);
    void showRecording(bool armed);
    void selectMode(int index);
    void selectRange(int index);
    void setConnectionPicture(int index);
    void setPanelText(int panel, const QString& text);
    void showCalibrationCheck(const CalibrationCheck& c);
    void showEvents();
    bool announceExceedance(const EventRecorder& ev);  // true when the panel's name says it
    void showPanel3();
    QString panel3Prefix() const;  // what a record-file error keeps: its reason
    // Places the status panels; the window is never narrower than their essentials.
    void fitStatusBar();
    void setFramesEnabled(bool on);
    void setKey(PictureButton* key, bool enabled, const char* picture);
    // Runs one statement of a guarded procedure: a failure is logged with
    // label and the procedure goes on with its next statement.
    template <class F>
    void step(const QString& label, F&& statement) noexcept;
    template <class F>
    void tick(F&& statement) noexcept;

    Session& session_;
    const EventLog& log_;
    const bool startTimers_;

    RecordingViews views_;
    ImageList imlToolbar_;
    ImageList imlConnectionState_;

    std::array<QLabel*, 4> panels_{};
    QLabel* calibrationPanel_ = nullptr;
    QLabel* eventPanel_ = nullptr;
    QAction* markAction_ = nullptr;
    QAction* exitAction_ = nullptr;
    QList<QAction*> keyActions_;  // the keys' shortcuts for the other windows
    int connectionPicture_ = 0;
    QString panel3Text_;
    QString calibrationFull_, calibrationShort_;  // the check with and without its time
    int graphMinWidth_ = 0;
    int64_t announcedStartMs_ = -1;  // of the exceedance whose start was announced
    bool loaded_ = false;
    bool wasMinimized_ = false;
    // Grown with the font beyond the design where captions need it.
    int graphLeft_ = kGraphLeft;
    int panelHeight_ = 301;
    int statusHeight_ = 20;
};

}  // namespace kestro
