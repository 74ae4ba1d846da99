#pragma once
// The session with the meter, without any view: the poll cycle (Timer1) with
// its watchdog, start-up steps, connection and function actions, arming and
// disarming, the keys' and options' commands, port supervision and the order
// of the shutdown. What is to be shown it announces through signals; the
// window draws it, a headless run shows nothing.

#include "protocol/ProtocolState.h"
#include "recording/SeriesRecorder.h"
#include "settings/RecorderSettings.h"
#include "shell/Instance.h"

#include <QObject>
#include <QString>
#include <QStringList>
#include <QTimer>

#include <functional>
#include <optional>
#include <string_view>

namespace kestro {

class EventLog;
class cRegistry;
class frmCOMx;

class Session : public QObject {
    Q_OBJECT
public:
    Session(ProtocolState& ps, frmCOMx& com, cRegistry& RegObj, const EventLog& log, const Clock& clock,
            QObject* parent = nullptr);
    ~Session() override;

    // ---- poll cycle ----
    void Timer1_Timer();
    void Reset_KestroState();
    void Reset_KestroStateOld();
    int16_t InitForm();  // loads the recorder settings; kTrue when all were stored
    // The record directory when none is stored (the instance's).
    void setDefaultRecordDirectory(const QString& dir) { defaultRecordDir_ = dir; }
    // The connection-lost actions from outside the tick (the port vanished);
    // the device then has to answer afresh before it counts as online.
    void connectionLost();
    // Hands off what arrived since the last tick (before the books are closed:
    // disarming, loss, exit).
    void flushRecording();

    // ---- arming, keys and options ----
    void EnableRecording();
    void DisableRecording();
    void powerKey();       // "swm 0", disarmed, both buffers emptied
    void recordKey();      // arms when off, disarms when armed
    void stopRecordKey();  // disarms when armed
    // The user's choice of function or range (ignored while OptionUpdate is set).
    void chooseFunction(int16_t Index);
    void chooseRange(int16_t Index);
    void RestartTimeAxis();  // the graph starts a new time axis
    // Arm as soon as the device has started, again after every reconnect.
    void setArmOnStart(bool on) { armOnStart_ = on; }
    // A service manager's watchdog: `alive` runs at the end of a tick once
    // `everyMs` have passed since it last ran, so a hung or held poll cycle
    // falls silent and gets restarted.
    void setAliveSignal(int64_t everyMs, std::function<void()> alive);

    // ---- port supervision and shutdown ----
    void startSupervision();
    // The open port vanished: the books are closed and the port is tried again
    // every second (retryPort) until its device is back.
    void onPortGone(int16_t port, const QString& device, const QString& reason);
    void retryPort();
    // A port whose device was missing at the start is tried as a lost one.
    void awaitPort(int16_t port);
    // Every second: a port whose device node has disappeared counts as gone.
    void superviseLink();
    // Before the setup dialog: the port is closed and no longer reconnected; an
    // armed recording ends (with a line in the event log) and arms again, in a
    // new series, once the device has started on the reopened port.
    void releasePort();
    // The orderly end: what arrived is written, both series end, held lines are
    // rescued (one text per file concerned), the meter gets its stop sequence.
    QStringList shutdown();
    QString portText(int16_t port) const;  // "COM1 (/dev/ttyUSB0)"

    // ---- state ----
    int16_t InitStep = 1;
    bool OptionUpdate = false;
    KestroStateRecord KestroStateOld;
    QTimer Timer1;

    const KestroStateRecord& device() const { return ps_.device(); }
    DeviceSnapshot snapshot() const { return ps_.snapshot(); }
    bool isOnline() const { return ps_.device().DeviceOnline; }
    bool armed() const { return ps_.RecordState() > kRecordOff; }
    SeriesRecorder& recorder() { return recorder_; }
    RecorderSettings& settings() { return settings_; }
    const EventLog& log() const { return log_; }
    const Clock& clock() const { return clock_; }
    frmCOMx& link() { return com_; }

signals:
    // ---- what to show, emitted as the tick decides it ----
    void wentOnline();   // connection established: connected, dBA legend
    void wentOffline();  // connection lost: nothing usable, Initialisation marked (OptionUpdate set)
    void functionChanged(int16_t function, int16_t level);  // OptionUpdate set
    void modeLegend(int16_t function, int16_t variant);     // every tick with a known function
    void levelChanged(int16_t level);
    void levelStatusChanged(int16_t status);
    void rangeChanged(int16_t range, int option);  // OptionUpdate set
    void batteryChanged(int16_t battery);
    void recordingChanged(bool armed);
    void timeAxisRestarted();
    void statusText(const QString& text);  // a passing state of the link, empty when none
    void calibrationChecked(const kestro::CalibrationCheck& check);
    // A record file fails or is written again: "Record file error: ...", empty when none.
    void recordErrorChanged(const QString& text);
    // ---- after the tick ----
    void deviceStarted();     // passed the serial-number gate: keys and options usable
    void startupCompleted();  // the start-up command sequence is done
    void deviceLost();        // the connection-lost actions ran
    void ticked();
    void portLost(int16_t port, const QString& device, const QString& reason);
    void portBack(int16_t port);

private:
    void connectionEstablishedActions();
    void connectionLostActions();
    void startupStep();
    void functionChangeActions();
    void forgetTestPatternItems(int16_t function, bool leaving);
    void displayRefresh();
    void SendCommand(std::string_view command);  // composed in MeterCommands.h
    void signalAlive();
    // Runs one statement of the tick: a failure is logged with the tick's
    // label and the tick goes on with its next statement.
    template <class F>
    void tick(F&& statement) noexcept;

    ProtocolState& ps_;
    frmCOMx& com_;
    cRegistry& RegObj_;
    const EventLog& log_;
    const Clock& clock_;
    RecorderSettings settings_;
    QString defaultRecordDir_ = Instance().defaultRecordDirectory();
    SeriesRecorder recorder_;

    bool inTick_ = false;
    int idleTicks_ = 0;
    bool armOnStart_ = false;
    bool armedThisConnection_ = false;
    bool rearmAfterSetup_ = false;
    int16_t lostPort_ = 0;  // the port to reopen after it vanished, 0 when none
    QTimer retryTimer_;
    QTimer superviseTimer_;
    bool ending_ = false;
    std::function<void()> alive_;
    int64_t aliveEveryMs_ = 0;
    std::optional<int64_t> aliveAtMs_;  // the clock's instant at the last sign of life
};

}  // namespace kestro
