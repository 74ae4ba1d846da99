#pragma once
// The application object: owns every piece of module-level state and the
// session with the meter, and carries out start-up, re-initialisation and
// shutdown. Qt Core only: as it stands it runs headless; the desktop module
// derives the windowed program from it.

#include "app/CommandLine.h"
#include "protocol/ProtocolState.h"
#include "settings/cRegistry.h"
#include "shell/Instance.h"
#include "shell/Messages.h"

#include <QObject>
#include <QProcess>
#include <QString>
#include <QTemporaryDir>
#include <QTimer>
#include <memory>

namespace kestro {

class DailyReporter;
class EventCommand;
class EventLog;
class MessageSink;
class RemoteStation;
struct Settings;
class Session;
class SignalBridge;
class SingleInstance;
class frmCOMx;

class KestroApplication : public QObject {
    Q_OBJECT
public:
    explicit KestroApplication(const AppOptions& options, QObject* parent = nullptr);
    ~KestroApplication() override;

    // Start-up. Returns an exit status when the program must end at once
    // (second instance, unusable port when headless), or -1 to run the event loop.
    int Main();

    void InitApplication();
    // The orderly way out: stop sequence, log line, end of the event loop.
    void EndApplication(int exitCode = 0);

    Session* session() const { return session_.get(); }

protected:
    // What a window adds; the defaults are those of a run without one.
    virtual std::unique_ptr<MessageSink> makeMessageSink();
    // The session exists, the port is not opened yet.
    virtual void attachViews() {}
    // Loads the window (or, headless, what its load does for the session).
    virtual void showViews();
    // InitApplication failed: true when the user is shown how to mend it.
    virtual bool offerSetup() { return false; }
    // The setup dialog's values: stored, then used from now on (never read back).
    bool applySettings(const Settings& values, QString* error);

    const AppOptions& options() const { return options_; }
    // The places and names of this run's instance.
    const Instance& places() const { return places_; }
    bool ending() const { return ending_; }
    int exitCode() const { return exitCode_; }
    EventLog& log() const { return *log_; }
    MessageSink& messages() const { return *messages_; }
    cRegistry& registry() const { return *RegObj_; }
    frmCOMx& link() const { return *com_; }
    RemoteStation* remote() const { return remote_.get(); }

private:
    bool startDemo();
    void prepareDemoStore();
    bool applyRunOptions();
    int16_t missingStoredPort() const;
    bool startRemote();
    void holdTicksForTests();
    void startDailyReports();
    // One line on standard error when headless.
    void notice(const QString& text, Priority priority = Priority::Info) const;

    AppOptions options_;
    Instance places_;
    SystemClock clock_;
    std::unique_ptr<QTemporaryDir> demoDir_;
    std::unique_ptr<QProcess> sim_;
    std::unique_ptr<EventLog> log_;
    std::unique_ptr<MessageSink> messages_;
    std::unique_ptr<cRegistry> RegObj_;
    std::unique_ptr<ProtocolState> ps_;  // held by the session alone
    std::unique_ptr<SingleInstance> instance_;
    std::unique_ptr<SignalBridge> signals_;
    std::unique_ptr<frmCOMx> com_;
    std::unique_ptr<Session> session_;
    std::unique_ptr<RemoteStation> remote_;  // --serve, --mqtt
    std::unique_ptr<EventCommand> onEvent_;  // --on-event
    std::unique_ptr<DailyReporter> daily_;   // DailyReports, --daily-reports, --headless
    std::unique_ptr<QTimer> holdTimer_;

    QString recordProblem_;  // the reason last told, empty while the record files are written
    bool ending_ = false;
    bool started_ = false;     // the start was told: a refused one ends in its reason alone
    int16_t awaitedPort_ = 0;  // a headless start waits for this port's device
    // Whether the recorder values that open Setup were all there: 0 until loaded at the start.
    int16_t settingsComplete_ = 0;
    int exitCode_ = 0;
};

}  // namespace kestro
