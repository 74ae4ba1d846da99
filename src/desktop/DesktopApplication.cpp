#include "desktop/DesktopApplication.h"

#include "about/frmAbout.h"
#include "desktop/DialogMessageSink.h"
#include "desktop/EventNotifier.h"
#include "desktop/UiMap.h"
#include "link/frmCOMx.h"
#include "session/Session.h"
#include "shell/DisplayGuard.h"
#include "shell/EventLog.h"
#include "shell/Places.h"
#include "shell/Translations.h"
#include "ui/controller/frmKestroRecord.h"
#include "ui/setup/frmSetup.h"
#include "ui/statistics/StatisticsWindow.h"

#include <QCoreApplication>
#include <QFileInfo>

#include <unistd.h>
#include <cstdio>

namespace kestro {

QString reportLanguageFor(const AppOptions& o, cRegistry& RegObj) {
    const RecorderSettings v = loadSettings(RegObj, QString()).recorder;
    return reportLanguage(o.reportLanguage.isEmpty() ? languageChoice(v.ReportLanguage) : o.reportLanguage,
                          o.language.isEmpty() ? languageChoice(v.Language) : o.language);
}

DesktopApplication::DesktopApplication(const AppOptions& options, QObject* parent)
    : KestroApplication(options, parent) {}

DesktopApplication::~DesktopApplication() {
    // The dialogs and the statistics window are children of the main window.
    window_.reset();
}

std::unique_ptr<MessageSink> DesktopApplication::makeMessageSink() { return std::make_unique<DialogMessageSink>(); }

void DesktopApplication::attachViews() {
    // Qt ends the process right after the slot returns: the stop sequence has
    // to be complete by then, and the exit status is ours to give.
    displayGuard_ = std::make_unique<DisplayLossGuard>();
    connect(
        displayGuard_.get(), &DisplayLossGuard::displayLost, this,
        [this] {
            EndApplication(kExitOk);
            std::fflush(nullptr);
            ::_exit(exitCode());
        },
        Qt::DirectConnection);

    window_ = std::make_unique<frmKestroRecord>(*session());
    // The windows of two instances are told apart by their titles.
    if (places().named())
        window_->setWindowTitle(window_->windowTitle() + QStringLiteral(" \u2014 ") + places().name());
    window_->onEndApplication = [this] {
        EndApplication(0);
    };
    window_->onShowSetup = [this] {
        ShowSetup();
    };
    window_->onAsk = [this](const QString& question) {
        return messages().ask(question);
    };
    window_->onShowAbout = [this] {
        showAbout();
    };
    window_->onShowStatistics = [this] {
        showStatistics(false);
    };
    window_->onOpenRecordFile = [this] {
        showStatistics(true);
    };
    static_cast<DialogMessageSink&>(messages()).setParent(window_.get());

    // Connected once, here, so that no call waits for the bus later. Without a
    // session bus none is started for us (an autolaunched daemon would outlive us).
    const QString runtimeDir = PlaceEnvironment::current().xdgRuntimeDir;
    const bool bus = qEnvironmentVariableIsSet("DBUS_SESSION_BUS_ADDRESS") ||
                     (!runtimeDir.isEmpty() && QFileInfo::exists(runtimeDir + QStringLiteral("/bus")));
    notifier_ = std::make_unique<EventNotifier>(
        bus ? QDBusConnection::sessionBus() : QDBusConnection(QStringLiteral("no session bus")),
        [this](const QString& text) { log().WriteLog(log().dateTimeText() + QStringLiteral(": ") + text); });
    connect(&session()->recorder(), &SeriesRecorder::noiseEvent, this, [this](const EventNotice& n) {
        if (session()->settings().EventNotifications) notifier_->notify(n);
    });
}

void DesktopApplication::showViews() {
    if (qEnvironmentVariableIsSet("KESTRO_UI_MAP")) new UiMap(qEnvironmentVariable("KESTRO_UI_MAP"), this);
    window_->ShowMainWindow();
}

bool DesktopApplication::offerSetup() {
    const bool portOpen = link().GetCOMPort() > 0;
    // Cancelled: offering it again at once would keep the user in a loop; the
    // window stays, says what is missing and has Setup in its menu.
    if (setupDeclined_) {
        if (!portOpen)
            window_->setPanel3Text(QCoreApplication::translate("kestro::DesktopApplication",
                                                               "No serial port is set: choose one in Setup"));
        return true;
    }
    ShowSetup();
    if (setup_) setup_->showAttention(setupAttention(portOpen, session()->settings().RecordDirectory));
    return true;
}

void DesktopApplication::ShowSetup() {
    if (ending()) return;
    session()->releasePort();
    if (setup_) {
        setup_->raise();
        setup_->activateWindow();
        return;
    }
    // OK hands the values over to be stored and applied; the dialog deletes
    // itself on close, after running the hook.
    SetupStore store = setupStore(registry(), places().defaultRecordDirectory());
    store.store = [this](const Settings& values, QString* error) {
        return applySettings(values, error);
    };
    setup_ = new frmSetup(
        std::move(store), [this] { return probePorts(link()); }, messages(),
        [this] {
            setupDeclined_ = setup_ && setup_->result() == QDialog::Rejected;
            setup_ = nullptr;  // closing: a failing InitApplication opens a fresh dialog
            window_->setPanel3Text(QString());
            InitApplication();
        },
        presentSerialDevices, window_.get());
    setup_->show();
}

void DesktopApplication::showAbout() {
    if (!about_)
        about_ =
            new frmAbout(log(), messages(), RegistryFiles::of(places()), SysInfoLauncher::standard(), window_.get());
    about_->show();
    about_->raise();
}

void DesktopApplication::showStatistics(bool openFile) {
    SeriesRecorder& recorder = session()->recorder();
    if (!statistics_) {
        statistics_ = new StatisticsWindow(window_.get());
        statistics_->setLiveSource(&recorder.slowStatistics(), &recorder.fastStatistics());
        statistics_->setEventSource(&recorder.events());
        // Setup's choice applies to the next report at once; --report-lang and --lang hold for the run.
        statistics_->setReportLanguage([this] { return reportLanguageFor(options(), registry()); });
    }
    // Settings and serial number as they are now; they change between openings.
    statistics_->setFileConfig(statisticsConfigOf(session()->settings()));
    statistics_->setRecordDirectory(session()->settings().RecordDirectory);
    statistics_->setSerialNumber(QString::fromStdString(serialNumberText(session()->device())));
    statistics_->show();
    statistics_->raise();
    statistics_->activateWindow();
    if (openFile) statistics_->openRecordFileDialog();
}

}  // namespace kestro
