#include "app/KestroApplication.h"

#include "kestro/Version.h"

#include "app/DailyReporter.h"
#include "link/frmCOMx.h"
#include "protocol/DeviceCodes.h"
#include "recording/DailyReports.h"
#include "recording/EventOutputs.h"
#include "recording/EventRecorder.h"
#include "recording/SeriesRecorder.h"
#include "remote/RemoteStation.h"
#include "session/EventCommand.h"
#include "session/Session.h"
#include "settings/RecorderSettings.h"
#include "shell/EventLog.h"
#include "shell/LogDir.h"
#include "shell/Messages.h"
#include "shell/Places.h"
#include "shell/SignalBridge.h"
#include "shell/SingleInstance.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QThread>

#include <signal.h>
#include <sys/prctl.h>
#include <systemd/sd-daemon.h>
#include <unistd.h>
#include <cstdio>

namespace kestro {

namespace {

// Beside the program in the build tree; installed, it keeps out of PATH.
QStringList simulatorPaths() {
    const QDir bin(QCoreApplication::applicationDirPath());
    return {bin.filePath(QStringLiteral("kestro-sim")),
            QDir::cleanPath(bin.filePath(QStringLiteral(KESTRO_SIM_FROM_BINDIR "/kestro-sim")))};
}

// The service manager's part of Type=notify; without NOTIFY_SOCKET nothing is sent.
void tellServiceManager(const QByteArray& state) { ::sd_notify(0, state.constData()); }

}  // namespace

KestroApplication::KestroApplication(const AppOptions& options, QObject* parent)
    : QObject(parent), options_(options), places_(options.instance) {}

KestroApplication::~KestroApplication() {
    daily_.reset();
    remote_.reset();  // it follows the session's recorder
    session_.reset();
    if (sim_) {
        sim_->terminate();
        sim_->waitForFinished(2000);
    }
}

std::unique_ptr<MessageSink> KestroApplication::makeMessageSink() { return std::make_unique<StderrMessageSink>(); }

int KestroApplication::Main() {
    // Log directory first: every later step may want to write a line. The
    // default one is ours to create; a directory named by LOGFILES is not.
    const QString stateDir = places_.stateDirectory();
    const QString logDir = places_.logDirectory(processEnvironment());
    // Also the spool's place: private, and apart from every record directory.
    makePrivatePath(stateDir);
    // An instance's folder in LOGFILES is ours to create, LOGFILES itself is not.
    if (places_.named()) makePrivatePath(logDir);
    log_ = std::make_unique<EventLog>(logDir, clock_);
    messages_ = makeMessageSink();

    instance_ = std::make_unique<SingleInstance>(places_.lockFile());
    if (!ensureSingleInstance(*instance_, *log_, *messages_)) return kExitSecondInstance;

    RegistryFiles files = RegistryFiles::of(places_);
    if (options_.demo) {
        if (!startDemo()) {
            messages_->showMessage(
                QStringLiteral("The instrument simulator could not be started."),
                QStringLiteral("Expected it at %1").arg(simulatorPaths().join(QStringLiteral(" or "))));
            return kExitCannotRun;
        }
        files.currentUser = demoDir_->filePath(QStringLiteral("registry.json"));
    }
    RegObj_ = std::make_unique<cRegistry>(files);
    RegObj_->setErrorLog(log_->errorSink());
    if (options_.demo) prepareDemoStore();
    if (!applyRunOptions()) return kExitCannotRun;

    ps_ = std::make_unique<ProtocolState>(clock_, log_->errorSink());
    com_ = std::make_unique<frmCOMx>(*RegObj_, *log_, *messages_, frmCOMx::PortFactory());
    signals_ = std::make_unique<SignalBridge>();
    connect(signals_.get(), &SignalBridge::terminationRequested, this, [this] { EndApplication(0); });

    session_ = std::make_unique<Session>(*ps_, *com_, *RegObj_, *log_, clock_);
    session_->setDefaultRecordDirectory(places_.defaultRecordDirectory());
    // Lines that cannot reach their record file wait (and at exit are rescued)
    // here, never in the data directory: it may be the record directory.
    session_->recorder().setStateDirectory(stateDir);
    // Where an earlier version kept its spool.
    session_->recorder().recoverSpoolsOf(places_.earlierSpoolDirectory());
    session_->setArmOnStart(options_.record);
    // Signs of life at half the watchdog time, from the poll cycle itself.
    uint64_t watchdogUs = 0;
    if (::sd_watchdog_enabled(0, &watchdogUs) > 0)
        session_->setAliveSignal(int64_t(watchdogUs / 2000), [] { tellServiceManager("WATCHDOG=1"); });
    holdTicksForTests();
    connect(session_.get(), &Session::portLost, this,
            [this](int16_t port, const QString& device, const QString& reason) {
                notice(QStringLiteral("COM%1 (%2) lost: %3; reconnecting").arg(port).arg(device, reason),
                       Priority::Warning);
            });
    connect(com_.get(), &frmCOMx::lockFileIgnored, this,
            [this](const QString& text) { notice(text, Priority::Warning); });
    connect(session_.get(), &Session::portBack, this, [this](int16_t port) {
        notice(session_->portText(port) + (awaitedPort_ ? QStringLiteral(" is there") : QStringLiteral(" is back")));
        awaitedPort_ = 0;
    });
    // The signal follows every file's error text; the service says only when the reason changes.
    connect(session_.get(), &Session::recordErrorChanged, this, [this] {
        const QString reason = session_->recorder().recordErrorReason();
        if (reason == recordProblem_) return;
        recordProblem_ = reason;
        if (reason.isEmpty())
            notice(QStringLiteral("record files are written again"));
        else
            notice(QStringLiteral("record files cannot be written: %1 \u2014 %2; the lines wait in the spool")
                       .arg(reason, session_->recorder().recordErrorPath()),
                   Priority::Error);
    });
    if (!options_.onEvent.isEmpty()) {
        onEvent_ = std::make_unique<EventCommand>(options_.onEvent, [this](const QString& text) {
            log_->WriteLog(log_->dateTimeText() + QStringLiteral(": ") + text);
            notice(text, Priority::Warning);  // it tells only of failures
        });
        connect(&session_->recorder(), &SeriesRecorder::noiseEvent, this,
                [this](const EventNotice& n) { onEvent_->post(eventEnvironment(n)); });
    }
    attachViews();

    if (!startRemote()) return kExitCannotRun;
    showViews();
    InitApplication();
    // An end requested before the event loop runs cannot go through it.
    if (ending_) return exitCode_;
    started_ = true;
    notice(QStringLiteral("version %1 started%4 on %2, record directory %3")
               .arg(QStringLiteral(KESTRO_VERSION_STRING),
                    session_->portText(awaitedPort_ ? awaitedPort_ : com_->GetCOMPort()),
                    session_->settings().RecordDirectory,
                    places_.named() ? QStringLiteral(" as instance ") + places_.name() : QString()));
    // After the start, so that `systemctl status` shows the wait.
    if (awaitedPort_)
        notice(session_->portText(awaitedPort_) + QStringLiteral(" is not there; waiting for it"), Priority::Warning);
    session_->startSupervision();
    startDailyReports();
    // Up: the port is open, or it is waited for.
    tellServiceManager("READY=1");
    return -1;
}

void KestroApplication::holdTicksForTests() {
    // While the file this names exists the poll cycle stands still, as a hung
    // one would, and the rest of the program runs on. Only a test sets it.
    const QString hold = qEnvironmentVariable("KESTRO_TEST_HOLD_TICKS");
    if (!options_.headless || hold.isEmpty()) return;
    holdTimer_ = std::make_unique<QTimer>();
    holdTimer_->setInterval(100);
    connect(holdTimer_.get(), &QTimer::timeout, this, [this, hold] {
        if (ending_) return;
        const bool held = QFileInfo::exists(hold);
        if (held && session_->Timer1.isActive())
            session_->Timer1.stop();
        else if (!held && !session_->Timer1.isActive())
            session_->Timer1.start();
    });
    holdTimer_->start();
}

void KestroApplication::startDailyReports() {
    if (!options_.headless && !options_.dailyReports && !session_->settings().DailyReports) return;
    auto recordDir = [this] {
        return QDir::cleanPath(QFileInfo(session_->settings().RecordDirectory).absoluteFilePath());
    };
    DailyReporter::Config c;
    c.program = QCoreApplication::applicationFilePath();
    // Given for this run, it goes on to each day's report; auto then means this run's windows.
    c.reportLanguage = options_.reportLanguage == QLatin1String("auto") && !options_.language.isEmpty()
                           ? options_.language
                           : options_.reportLanguage;
    c.recordDir = recordDir;
    c.dayStartHour = [this] {
        return statisticsConfigOf(session_->settings()).periods.dayStartHour;
    };
    c.serial = [this] {
        const KestroStateRecord& ks = session_->device();
        const bool known =
            (ks.DataValid & kValidSerialNo) && ks.DevSerialNo != kSerialNotReceived && ks.DevSerialNo > 0;
        return known ? QStringLiteral("%1").arg(ks.DevSerialNo, 8, 10, QLatin1Char('0')) : QString();
    };
    daily_ = std::make_unique<DailyReporter>(clock_, c);
    daily_->onNotice = [this](const QString& text, bool failed) {
        log_->WriteLog(log_->dateTimeText() + QStringLiteral(": ") + text);
        notice(text, failed ? Priority::Warning : Priority::Info);
    };
    daily_->onMade = [this, recordDir](const DailyReporter::Made& m) {
        session_->recorder().evidence().addDailyReport(
            recordDir(), QStringLiteral("reports/") + QFileInfo(m.jsonPath).fileName(), m.sha256);
        QFile f(m.jsonPath);
        if (remote_ && f.open(QIODevice::ReadOnly)) remote_->dailyReport(f.readAll(), clock_.read().utcMs, true);
    };
    // Reports from before this start: listed, and vouched for by the next side file when none is yet.
    daily_->onFound = [this, dir = recordDir()](const DailyReporter::Found& f) {
        for (const auto& [name, sha] : f.unvouched)
            session_->recorder().evidence().addDailyReport(dir, name, sha);
        for (const auto& [json, utcMs] : f.reports)
            if (remote_) remote_->dailyReport(json, utcMs, false);
    };
    daily_->start();
}

void KestroApplication::showViews() {
    // What the window's load does for the session.
    session_->Reset_KestroStateOld();
    session_->Reset_KestroState();
    session_->InitForm();
    session_->Timer1.start();
}

bool KestroApplication::startRemote() {
    if (options_.serve.isEmpty() && options_.mqtt.isEmpty() && options_.tsa.isEmpty()) return true;
    RemoteConfig c;
    QString error;
    if (!options_.serve.isEmpty()) {
        ListenAddress address;
        parseListenAddress(options_.serve, &address, &error);                      // checked with the command line
        if (address.automatic) address.port = *defaultWebPort(options_.instance);  // checked with the command line
        c.serve = address;
        c.token = qEnvironmentVariable("KESTRO_SERVE_TOKEN");
        if (!options_.serveTokenFile.isEmpty() && !readTokenFile(options_.serveTokenFile, &c.token, &error)) {
            messages_->showMessage(error);
            return false;
        }
        if (!options_.serveToken.isEmpty()) {
            c.token = options_.serveToken;
            const QString warning = QStringLiteral(
                "--serve-token: other users of this computer may have read the token in the process list; "
                "give it with --serve-token-file FILE or KESTRO_SERVE_TOKEN");
            log_->WriteLog(log_->dateTimeText() + QStringLiteral(": Remote: ") + warning);
            writeStderrLine(Priority::Warning, warning);
        }
    }
    if (!options_.mqtt.isEmpty()) {
        MqttTarget target;
        parseMqttUrl(options_.mqtt, &target, &error);
        c.mqtt = target;
        c.mqttPassword = qEnvironmentVariable("KESTRO_MQTT_PASSWORD");
        c.queueDir = places_.mqttQueueDirectory();
    }
    if (!options_.tsa.isEmpty()) {
        c.tsa = QUrl(options_.tsa);
        c.tsaQueueDir = places_.tsaQueueDirectory();
    }
    c.instance = options_.instance;
    if (onEvent_) onEvent_->setSecrets({c.token, c.mqttPassword});
    c.recordDirectory = [this] {
        return session_->settings().RecordDirectory;
    };
    const bool headless = options_.headless;
    auto device = [this] {
        return session_->snapshot();
    };
    remote_ = std::make_unique<RemoteStation>(device, clock_, [this, headless](const QString& text) {
        log_->WriteLog(log_->dateTimeText() + QStringLiteral(": Remote: ") + text);
        // Only the server's address is news; the rest are troubles of a broker or an authority.
        if (headless)
            writeStderrLine(text.startsWith(QLatin1String("Web server:")) ? Priority::Info : Priority::Warning, text);
    });
    remote_->attach(session_->recorder());
    connect(session_.get(), &Session::ticked, remote_.get(), &RemoteStation::tick);
    if (!remote_->start(c, &error)) {
        messages_->showMessage(error);
        return false;
    }
    return true;
}

bool KestroApplication::startDemo() {
    QString simPath;
    for (const QString& p : simulatorPaths())
        if (simPath.isEmpty() && QFileInfo(p).isExecutable()) simPath = p;
    if (simPath.isEmpty()) return false;
    demoDir_ = std::make_unique<QTemporaryDir>(QDir::tempPath() + QStringLiteral("/kestro-demo-XXXXXX"));
    if (!demoDir_->isValid()) return false;
    const QString link = demoDir_->filePath(QStringLiteral("meter"));
    sim_ = std::make_unique<QProcess>();
    sim_->setProcessChannelMode(QProcess::ForwardedErrorChannel);
    // Its own process group: Ctrl+C in the terminal reaches only the recorder,
    // which sends the stop sequence to the simulator and then ends it. Should
    // the recorder die without that, the simulator goes with it.
    const pid_t parent = ::getpid();
    sim_->setChildProcessModifier([parent] {
        ::setpgid(0, 0);
        ::prctl(PR_SET_PDEATHSIG, SIGTERM);
        if (::getppid() != parent) ::_exit(1);
    });
    // KESTRO_SIM_ARGS: extra simulator options for test runs (e.g. --stats FILE).
    QStringList args{QStringLiteral("--link"), link};
    args += QProcess::splitCommand(qEnvironmentVariable("KESTRO_SIM_ARGS"));
    sim_->start(simPath, args);
    if (!sim_->waitForStarted(3000)) return false;
    for (int i = 0; i < 60 && !QFileInfo::exists(link); ++i)
        QThread::msleep(50);
    if (!QFileInfo::exists(link)) return false;
    // This process only: the demo's COM1 is the simulator.
    qputenv("KESTRO_COM1", QFile::encodeName(link));
    return true;
}

void KestroApplication::prepareDemoStore() {
    // The demo works on a copy of the user's store, so nothing it does persists.
    const QString user = RegistryFiles::of(places_).currentUser;
    if (QFileInfo::exists(user)) QFile::copy(user, RegObj_->files().currentUser);
    try {
        writeSetting(*RegObj_, setting(SettingId::COMPort), 1);
        writeSetting(*RegObj_, setting(SettingId::COMnDevice), qEnvironmentVariable("KESTRO_COM1"), 1);
        // A first demo must not start with the setup dialog: missing recorder
        // values get their defaults in the private copy.
        writeMissingRecorderDefaults(*RegObj_, places_.defaultRecordDirectory());
    } catch (const RaisedError& e) {
        log_->logError(QString::fromLatin1(label::kDemo), e.number);
    }
}

bool KestroApplication::applyRunOptions() {
    // Values for this run only: every reader sees them, the store file keeps its own.
    if (!options_.port.isEmpty()) {
        for (const auto& [id, value] :
             {std::pair{SettingId::COMPort, QVariant(1)}, std::pair{SettingId::COMnDevice, QVariant(options_.port)}}) {
            const SettingDef& row = setting(id);
            RegObj_->setRunValue(HKEY_CURRENT_USER_, QString::fromLatin1(row.section), settingName(row, 1), value,
                                 row.storedType);
        }
    }
    if (!options_.recordDir.isEmpty()) {
        if (!QDir().mkpath(options_.recordDir)) {
            messages_->showMessage(
                QStringLiteral("The record directory %1 cannot be created.").arg(options_.recordDir));
            return false;
        }
        const SettingDef& row = setting(SettingId::RecordDirectory);
        RegObj_->setRunValue(HKEY_CURRENT_USER_, QString::fromLatin1(row.section), settingName(row), options_.recordDir,
                             row.storedType);
    }
    for (const auto& [id, value] : {std::pair{SettingId::MeasurementLocation, options_.site},
                                    std::pair{SettingId::MeasurementOperator, options_.operatorName},
                                    std::pair{SettingId::MeasurementNotes, options_.note},
                                    std::pair{SettingId::MeasurementInstrument, options_.instrument}}) {
        if (value.isEmpty()) continue;
        const SettingDef& row = setting(id);
        RegObj_->setRunValue(HKEY_CURRENT_USER_, QString::fromLatin1(row.section), settingName(row), value,
                             row.storedType);
    }
    return true;
}

void KestroApplication::InitApplication() {
    if (ending_) return;
    int16_t failure = 0;
    // Loaded from the store once; later the setup dialog hands its values over.
    if (settingsComplete_ == 0) settingsComplete_ = session_->InitForm();
    if (settingsComplete_ != kTrue) failure = settingsComplete_;
    places_.makeDefaultRecordDirectory(session_->settings().RecordDirectory);
    // An adapter unplugged at boot mends itself: a service waits for it as for
    // one lost during the run, instead of ending in a restart nobody makes.
    awaitedPort_ = options_.headless ? missingStoredPort() : 0;
    const int16_t port = awaitedPort_ ? kTrue : com_->InitForm();
    if (port != kTrue) failure = port;
    if (awaitedPort_) session_->awaitPort(awaitedPort_);
    // With a window, a record directory that cannot be written is shown in Setup
    // before the first recording fails on it.
    const QFileInfo records(session_->settings().RecordDirectory);
    if ((failure == 0 && records.isDir() && records.isWritable()) || offerSetup()) return;
    // Nobody would see a dialog: missing recorder values keep their defaults,
    // a missing or unusable port ends the run with a reason.
    if (port == kTrue || port == 0) return;
    if (port == kErrNoStoredPort) {
        const QString problem = RegObj_->storeProblem();
        const QString store = RegObj_->files().currentUser;
        if (!problem.isEmpty())
            writeStderrLine(Priority::Error, QStringLiteral("the settings file %1 cannot be used: %2. Repair it, or "
                                                            "move it away and set the program up again (--port PATH "
                                                            "runs without it).")
                                                 .arg(store, problem));
        else
            writeStderrLine(Priority::Error,
                            QStringLiteral("no serial port is configured (value \"COMPort\" 1..4 in the Device1 "
                                           "section of %1); choose one in Setup, or start with --port PATH.")
                                .arg(store));
    }
    EndApplication(kExitCannotRun);
}

bool KestroApplication::applySettings(const Settings& values, QString* error) {
    if (!storeSettings(*RegObj_, values, error)) return false;
    session_->settings() = settingsAsRead(*RegObj_, values.recorder);
    settingsComplete_ = kTrue;
    return true;
}

int16_t KestroApplication::missingStoredPort() const {
    QVariant value;
    try {
        if (readSetting(*RegObj_, setting(SettingId::COMPort), &value) != SettingRead::Ok) return 0;
    } catch (const RaisedError&) {
        return 0;  // InitForm meets and logs it
    }
    const qlonglong n = value.toLongLong();
    if (n < 1 || n > 4 || com_->deviceExists(int16_t(n))) return 0;
    return int16_t(n);
}

void KestroApplication::EndApplication(int exitCode) {
    if (ending_) return;
    ending_ = true;
    exitCode_ = exitCode;
    tellServiceManager("STOPPING=1");
    for (const QString& text : session_->shutdown())
        if (options_.headless) writeStderrLine(Priority::Warning, text);
    if (sim_) {
        sim_->terminate();
        sim_->waitForFinished(2000);
    }
    // The last interval results reach the broker if it answers within 2 s;
    // otherwise they wait on disk for the next start.
    if (remote_) remote_->stop(2000);
    if (started_) notice(QStringLiteral("stopped"));
    QCoreApplication::exit(exitCode);
}

void KestroApplication::notice(const QString& text, Priority priority) const {
    // A service's journal is its standard error; `systemctl status` shows the latest.
    if (!options_.headless) return;
    writeStderrLine(priority, text);
    tellServiceManager("STATUS=" + text.toUtf8());
}

}  // namespace kestro
