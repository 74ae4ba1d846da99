#pragma once
// The application object: owns every piece of module-level state and every
// form, and carries out start-up, re-initialisation, reconnects and shutdown.

#include "app/CommandLine.h"
#include "protocol/ProtocolState.h"
#include "settings/cRegistry.h"

#include <QObject>
#include <QPointer>
#include <QString>
#include <QTemporaryDir>
#include <QTimer>
#include <memory>

class QProcess;

namespace kestro {

class DisplayLossGuard;
class EventLog;
class MessageSink;
class SignalBridge;
class SingleInstance;
class frmAbout;
class frmCOMx;
class frmKestroRecord;
class frmSetup;
class RemoteStation;
class StatisticsWindow;

class KestroApplication : public QObject {
    Q_OBJECT
public:
    explicit KestroApplication(const AppOptions& options, QObject* parent = nullptr);
    ~KestroApplication() override;

    // Start-up. Returns an exit status when the program must end at once
    // (second instance, unusable port when headless), or -1 to run the event loop.
    int Main();

    void InitApplication();
    void ShowSetup();
    // The orderly way out: stop sequence, log line, end of the event loop.
    void EndApplication(int exitCode = 0);

    frmKestroRecord* window() const { return window_; }

private:
    bool StartDemo();
    void PrepareDemoStore();
    bool ApplyRunOptions();
    bool StartRemote();
    void OnPortGone(int16_t port, const QString& device, const QString& reason);
    void RetryPort();
    void SuperviseLink();
    void ShowAbout();
    void ShowStatistics(bool openFile);
    QString PortText(int16_t port) const;
    // One line on standard error when headless.
    void Notice(const QString& text) const;

    AppOptions options_;
    SystemClock clock_;
    std::unique_ptr<QTemporaryDir> demoDir_;
    QProcess* sim_ = nullptr;
    std::unique_ptr<EventLog> log_;
    std::unique_ptr<MessageSink> messages_;
    std::unique_ptr<cRegistry> RegObj_;
    std::unique_ptr<ProtocolState> ps_;
    std::unique_ptr<SingleInstance> instance_;
    std::unique_ptr<SignalBridge> signals_;
    std::unique_ptr<DisplayLossGuard> displayGuard_;
    frmCOMx* com_ = nullptr;
    frmKestroRecord* window_ = nullptr;
    QPointer<frmSetup> setup_;  // both delete themselves on close
    QPointer<frmAbout> about_;
    QPointer<StatisticsWindow> statistics_;  // a child of the main window
    std::unique_ptr<RemoteStation> remote_;  // --serve, --mqtt

    // Reconnect after the port vanished: the port number to reopen, 0 when none.
    int16_t lostPort_ = 0;
    QTimer retryTimer_;
    QTimer superviseTimer_;
    bool armedThisSession_ = false;
    QString recordProblem_;  // the reason last told, empty while the record files are written
    bool ending_ = false;
    int exitCode_ = 0;
};

}  // namespace kestro
