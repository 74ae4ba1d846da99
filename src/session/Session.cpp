#include "session/Session.h"

#include "core/Errors.h"
#include "link/frmCOMx.h"
#include "protocol/MeterCommands.h"
#include "settings/cRegistry.h"
#include "shell/Diagnostics.h"
#include "shell/EventLog.h"

#include <QCoreApplication>
#include <QFileInfo>

namespace kestro {
namespace {

const QString kTimer1Error = QString::fromLatin1(label::kTimer1);

bool isFunction(int16_t f) { return f >= kFunctionInit && f <= kFunctionService; }

}  // namespace

template <class F>
void Session::tick(F&& statement) noexcept {
    try {
        statement();
    } catch (const RaisedError& e) {
        log_.logError(kTimer1Error, e.number);
    } catch (...) {
        log_.logError(kTimer1Error, kErrInternal);
    }
}

Session::Session(ProtocolState& ps, frmCOMx& com, cRegistry& RegObj, const EventLog& log, const Clock& clock,
                 QObject* parent)
    : QObject(parent),
      ps_(ps),
      com_(com),
      RegObj_(RegObj),
      log_(log),
      clock_(clock),
      recorder_(ps.device(), settings_, clock, log, this) {
    Timer1.setInterval(100);
    retryTimer_.setInterval(1000);
    superviseTimer_.setInterval(1000);
    connect(&Timer1, &QTimer::timeout, this, &Session::Timer1_Timer);
    connect(&retryTimer_, &QTimer::timeout, this, &Session::retryPort);
    connect(&superviseTimer_, &QTimer::timeout, this, &Session::superviseLink);
    connect(&com_, &frmCOMx::portGone, this, &Session::onPortGone);
    com_.onReceived = [this](std::string_view data) {
        ps_.receiveEvent(data);
    };
    com_.onOpened = [this] {
        ps_.ResetReceiveBuffer();
    };
    connect(&recorder_, &SeriesRecorder::recordErrorChanged, this, &Session::recordErrorChanged);
    recorder_.evidence().onCalibration = [this](const CalibrationCheck& c) {
        emit calibrationChecked(c);
    };
}

Session::~Session() {
    // The link may outlive the session: what it receives later has nowhere to go.
    com_.onReceived = nullptr;
    com_.onOpened = nullptr;
}

int16_t Session::InitForm() { return settings_.InitForm(RegObj_, defaultRecordDir_, log_.errorSink()); }

void Session::SendCommand(std::string_view command) {
    qCDebug(lcSession, "sent %.*s", int(command.size()), command.data());
    com_.SendCommand(QString::fromStdString(meter::line(command)));
}

// ---------------------------------------------------------------- poll cycle

void Session::Reset_KestroState() {
    ps_.resetDevice();
    OptionUpdate = false;
    InitStep = 1;
    Timer1.setInterval(100);
}

void Session::Reset_KestroStateOld() { KestroStateOld = notShownState(); }

void Session::Timer1_Timer() {
    if (inTick_) return;  // a listener that ran the event loop must not start a second tick
    inTick_ = true;
    const KestroStateRecord& ks = ps_.device();
    const bool startedBefore = InitStep >= 2 && ks.DeviceOnline;
    const bool completedBefore = InitStep >= 7 && ks.DeviceOnline;
    bool lost = false;

    [&] {
        // The port may hold back what arrived in the last milliseconds.
        tick([&] { com_.receivePending(); });
        // Calibration readings and side files, also while nothing is recorded.
        tick([&] {
            ps_.handOffCalibration(recorder_);
            recorder_.tickEvidence();
        });
        // Lines held back by a failing record directory are retried now and
        // then, and the last ones written before recording stopped are synced.
        if (ps_.RecordState() != kRecordStoring && ++idleTicks_ >= 10) {
            idleTicks_ = 0;
            tick([&] { recorder_.retryHeldLines(); });
        }
        int16_t port = 0;
        tick([&] { port = com_.GetCOMPort(); });
        if (port < 1) {
            // Without a port nothing can answer: a device shown online is lost.
            if (ks.DeviceOnline) {
                connectionLostActions();
                lost = true;
            }
            return;
        }
        tick([&] { SendCommand(meter::poll(ks.DevSerialNo != kSerialNotReceived)); });
        if (ps_.AnswerWatchdog() <= 0) {
            if (ks.DeviceOnline) {
                connectionLostActions();
                lost = true;
            }
            tick([&] { ps_.ResetReceiveBuffer(); });
            return;
        }
        ps_.setAnswerWatchdog(static_cast<int16_t>(ps_.AnswerWatchdog() - 1));
        if (!ks.DeviceOnline) connectionEstablishedActions();
        startupStep();
        if (ks.DevFunction != KestroStateOld.DevFunction && (ks.DataValid & kValidFunction)) functionChangeActions();
        // The interpreter restarts the series the moment a new variant is
        // reported; a second restart here would split the new series in two.
        if (ks.DevVariant != KestroStateOld.DevVariant && (ks.DataValid & kValidVariant))
            KestroStateOld.DevVariant = ks.DevVariant;
        if (ks.DevFunction == kFunctionInit) return;
        if (ks.DataValid & kValidFunction) displayRefresh();
        if (ps_.RecordState() == kRecordStoring) tick([&] { ps_.handOff(recorder_); });
    }();

    inTick_ = false;
    // Listeners run after the tick, so what they send follows the tick's own commands.
    if (lost) {
        armedThisConnection_ = false;
        emit deviceLost();
    }
    if (!startedBefore && ks.DeviceOnline && InitStep >= 2) emit deviceStarted();
    if (!completedBefore && ks.DeviceOnline && InitStep >= 7) {
        emit startupCompleted();
        if ((armOnStart_ || rearmAfterSetup_) && !armedThisConnection_) {
            armedThisConnection_ = true;
            EnableRecording();
        }
    }
    emit ticked();
    signalAlive();
}

void Session::setAliveSignal(int64_t everyMs, std::function<void()> alive) {
    aliveEveryMs_ = everyMs;
    alive_ = std::move(alive);
    aliveAtMs_.reset();
}

void Session::signalAlive() {
    if (!alive_) return;
    const int64_t now = clock_.read().utcMs;
    // A clock stepped back would otherwise keep the manager waiting until it
    // caught up, long past its watchdog time.
    if (aliveAtMs_ && now >= *aliveAtMs_ && now - *aliveAtMs_ < aliveEveryMs_) return;
    aliveAtMs_ = now;
    alive_();
}

void Session::connectionEstablishedActions() {
    qCDebug(lcSession, "the meter answers: online");
    ps_.setDeviceOnline(true);
    Reset_KestroStateOld();
    InitStep = 1;
    emit wentOnline();
}

void Session::flushRecording() {
    // Samples that arrived since the last tick would otherwise be cleared
    // unwritten. Within a tick the device state holds still: it has read.
    if (!inTick_) tick([&] { com_.receivePending(); });
    if (ps_.device().DevFunction == kFunctionInit) return;
    if (ps_.RecordState() == kRecordStoring)
        tick([&] { ps_.handOff(recorder_); });
    else if (ps_.RecordState() == kRecordArmed)  // fast values come before the first level
        tick([&] { ps_.handOffFast(recorder_); });
}

void Session::connectionLostActions() {
    qCDebug(lcSession, "no answer for six ticks: offline");
    flushRecording();
    ps_.setDeviceOnline(false);
    Reset_KestroStateOld();
    Reset_KestroState();
    ps_.setRecordState(kRecordOff);
    tick([&] { recorder_.StopSlowMeasurement(); });
    tick([&] { recorder_.StopFastMeasurement(); });
    ps_.ClearSlowBuffer();
    ps_.ClearFastBuffer();
    tick([&] { recorder_.ResetLocalSlowMeasurementBuffer(); });
    tick([&] { recorder_.ResetLocalFastMeasurementBuffer(); });
    RestartTimeAxis();
    OptionUpdate = true;
    emit wentOffline();
    OptionUpdate = false;
    // Only a fresh answer may bring the device back.
    ps_.setAnswerWatchdog(0);
}

void Session::connectionLost() {
    if (inTick_ || !ps_.device().DeviceOnline) {
        ps_.setAnswerWatchdog(0);
        return;
    }
    connectionLostActions();
    tick([&] { ps_.ResetReceiveBuffer(); });
    armedThisConnection_ = false;
    emit deviceLost();
}

void Session::startupStep() {
    const KestroStateRecord& ks = ps_.device();
    switch (InitStep) {
        case 1:
            if (!(ks.DataValid & kValidSerialNo)) return;
            Reset_KestroStateOld();
            ps_.keepValid(kValidSerialNo);
            Timer1.setInterval(100);
            InitStep = 2;
            return;
        case 2:
        case 3:
        case 4:
        case 5: {
            tick([&] { SendCommand(meter::kStartup[size_t(InitStep - 2)]); });
            ++InitStep;
            return;
        }
        case 6:
            // The function is set again only once the device has reported it:
            // a stale or out-of-range code would command a function that does not exist.
            if (!(ks.DataValid & kValidFunction)) return;
            if (ks.DevFunction > kFunctionInit && ks.DevFunction <= kFunctionService) {
                // Armed already (the record key is usable from the serial-number gate on):
                // switching the fast values off here would leave an armed recording
                // without them.
                const bool armed = ps_.RecordState() != kRecordOff;
                tick([&] { SendCommand(meter::fastValues(armed)); });
                tick([&] { SendCommand(meter::setFunction(ks.DevFunction)); });
            }
            InitStep = 7;
            return;
        default:
            return;
    }
}

void Session::functionChangeActions() {
    const KestroStateRecord& ks = ps_.device();
    const int16_t f = ks.DevFunction;
    const bool leavingTestPattern = KestroStateOld.DevFunction == kFunctionInit;
    OptionUpdate = true;
    emit functionChanged(f, ks.DevLevel);
    OptionUpdate = false;
    if (f == kFunctionInit || leavingTestPattern) forgetTestPatternItems(f, leavingTestPattern);
    KestroStateOld.DevFunction = f;
    KestroStateOld.DevVariant = ks.DevVariant;
}

void Session::forgetTestPatternItems(int16_t function, bool leaving) {
    // The test pattern lights every bracket, AUTO, the full battery and 1888
    // without touching the copy of what was shown: forgotten items are shown
    // afresh from the device's values once the pattern is left, even when they
    // did not change meanwhile (a low battery would stay hidden otherwise).
    KestroStateOld.DevRange = kNotShown;
    KestroStateOld.DevBattery = kNotShown;
    // Entering Lp with level 0 has blanked the digits already.
    if (leaving && !(function == kFunctionLp && ps_.device().DevLevel == 0)) KestroStateOld.DevLevel = kNotShown;
}

void Session::displayRefresh() {
    const KestroStateRecord& ks = ps_.device();
    emit modeLegend(ks.DevFunction, ks.DevVariant);
    if (ks.DevLevel != KestroStateOld.DevLevel && (ks.DataValid & kValidLevel)) {
        emit levelChanged(ks.DevLevel);
        KestroStateOld.DevLevel = ks.DevLevel;
    }
    if (ks.DevLevelStatus != KestroStateOld.DevLevelStatus && (ks.DataValid & kValidLevelStatus)) {
        emit levelStatusChanged(ks.DevLevelStatus);
        KestroStateOld.DevLevelStatus = ks.DevLevelStatus;
    }
    if (ks.DevRange != KestroStateOld.DevRange && (ks.DataValid & kValidRange)) {
        // A code without a range marks " unknown", never AUTO.
        const int option = (ks.DevRange & kRangeAuto) ? 0 : (ks.DevRange & kRangeMask) ? (ks.DevRange & kRangeMask) : 4;
        OptionUpdate = true;
        emit rangeChanged(ks.DevRange, option);
        OptionUpdate = false;
        KestroStateOld.DevRange = ks.DevRange;
    }
    if (ks.DevBattery != KestroStateOld.DevBattery && (ks.DataValid & kValidBattery)) {
        emit batteryChanged(ks.DevBattery);
        KestroStateOld.DevBattery = ks.DevBattery;
    }
}

// ---------------------------------------------------------------- arming, keys and options

void Session::EnableRecording() {
    ps_.setRecordState(kRecordArmed);
    rearmAfterSetup_ = false;
    // A function the device has not reported yet is no command to send back.
    const int16_t f = ps_.device().DevFunction;
    if (isFunction(f)) SendCommand(meter::setFunction(f));
    SendCommand(meter::fastValues(true));
    // Every arming starts new series on both streams, in any function: the
    // next samples go into new files, and nothing of an earlier recording
    // still in the buffers is taken over again.
    ps_.setBufferRestart(kRestartBoth);
    emit recordingChanged(true);
}

void Session::DisableRecording() {
    // What arrived since the last tick belongs to the recording being ended.
    flushRecording();
    recorder_.endStatistics();
    ps_.setRecordState(kRecordOff);
    SendCommand(meter::fastValues(false));
    SendCommand(meter::measuringMode());
    emit recordingChanged(false);
}

void Session::powerKey() {
    SendCommand(meter::powerOff());
    DisableRecording();
    ps_.ClearFastBuffer();
    ps_.ClearSlowBuffer();
}

void Session::recordKey() {
    if (ps_.RecordState() <= kRecordOff) {
        EnableRecording();
        return;
    }
    DisableRecording();
    recorder_.ResetLocalSlowMeasurementBuffer();
}

void Session::stopRecordKey() {
    if (ps_.RecordState() <= kRecordOff) return;
    DisableRecording();
    recorder_.ResetLocalSlowMeasurementBuffer();
}

void Session::chooseFunction(int16_t Index) {
    if (OptionUpdate) return;
    SendCommand(meter::setFunction(Index));
    DisableRecording();
    RestartTimeAxis();
}

void Session::chooseRange(int16_t Index) {
    if (OptionUpdate) return;
    SendCommand(meter::setFunction(ps_.device().DevFunction));
    SendCommand(meter::setRange(Index));
    DisableRecording();
    RestartTimeAxis();
}

void Session::RestartTimeAxis() { emit timeAxisRestarted(); }

// ---------------------------------------------------------------- port supervision and shutdown

QString Session::portText(int16_t port) const {
    return QStringLiteral("COM%1 (%2)").arg(port).arg(com_.devicePathForPort(port));
}

void Session::startSupervision() { superviseTimer_.start(); }

void Session::releasePort() {
    if (armed()) {
        log_.WriteLog(log_.dateTimeText() +
                      QStringLiteral(": Recording stopped for Setup; it resumes in a new series when Setup closes"));
        DisableRecording();
        rearmAfterSetup_ = true;
    }
    // Only a fresh start-up on the reopened port (perhaps another one) may arm again.
    connectionLost();
    if (com_.GetCOMPort() > 0) com_.CloseCOMPort();
    lostPort_ = 0;
    retryTimer_.stop();
}

void Session::onPortGone(int16_t port, const QString& device, const QString& reason) {
    if (ending_ || port < 1) return;
    emit portLost(port, device, reason);
    lostPort_ = port;
    // Everything handed off so far is already on disk; close the books now
    // instead of waiting for the watchdog.
    connectionLost();
    emit statusText(
        QCoreApplication::translate("kestro::Session", "%1 disconnected \u2014 retrying").arg(portText(port)));
    retryTimer_.start();
}

void Session::awaitPort(int16_t port) {
    if (ending_ || port < 1) return;
    lostPort_ = port;
    emit statusText(
        QCoreApplication::translate("kestro::Session", "%1 not connected \u2014 retrying").arg(portText(port)));
    retryTimer_.start();
}

void Session::retryPort() {
    if (ending_ || lostPort_ < 1) {
        retryTimer_.stop();
        return;
    }
    if (!com_.deviceExists(lostPort_)) return;
    if (com_.SetCOMPort(lostPort_) != kTrue) return;
    const int16_t port = lostPort_;
    lostPort_ = 0;
    retryTimer_.stop();
    emit portBack(port);
    emit statusText(QString());
}

void Session::superviseLink() {
    // Some drivers report a vanished device only by its node disappearing.
    const int16_t port = com_.GetCOMPort();
    if (ending_ || port < 1 || ps_.device().DeviceOnline) return;
    const QString device = com_.openDevice();
    if (QFileInfo::exists(device)) return;
    com_.CloseCOMPort();
    onPortGone(port, device, QStringLiteral("device node disappeared"));
}

QStringList Session::shutdown() {
    ending_ = true;
    // No tick after this: one that sees the port closed below would hand off
    // late samples into files whose side files are already closed.
    Timer1.stop();
    retryTimer_.stop();
    superviseTimer_.stop();
    flushRecording();
    recorder_.endStatistics();
    // Nothing held back may be lost: what still cannot be written is saved aside.
    const QStringList rescued = recorder_.rescueHeldLines();
    com_.FormUnload();
    return rescued;
}

}  // namespace kestro
