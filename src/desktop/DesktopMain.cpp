// The desktop module: what needs Qt Gui or Widgets (the windows and the PDF
// report). KestroRecorder loads it only for them; a headless run never does.
#include "about/AppIcon.h"
#include "app/CommandLine.h"
#include "desktop/DesktopApplication.h"
#include "kestro/Version.h"
#include "recording/DailyReports.h"
#include "recording/EvidenceFiles.h"
#include "recording/SeriesRecorder.h"
#include "report/DayReportCommand.h"
#include "report/ReportCommand.h"
#include "settings/RecorderSettings.h"
#include "settings/cRegistry.h"
#include "shell/DisplayGuard.h"
#include "shell/Instance.h"
#include "shell/Translations.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <cstdio>
#include <cstring>
#include <optional>

namespace {

// The report's assessment days follow the settings, as the statistics window does.
kestro::DayPeriods storedDayPeriods() {
    kestro::cRegistry RegObj;
    kestro::RecorderSettings s;
    s.InitForm(RegObj, QString());
    return kestro::statisticsConfigOf(s).periods;
}

QString storedLanguageChoice() {
    kestro::cRegistry RegObj;
    return kestro::languageChoice(kestro::loadSettings(RegObj, QString()).recorder.Language);
}

QString reportLanguageOf(const kestro::AppOptions& o) {
    kestro::cRegistry RegObj;
    return kestro::reportLanguageFor(o, RegObj);
}

QString storedRecordDirectory() {
    kestro::cRegistry RegObj;
    kestro::RecorderSettings s;
    s.InitForm(RegObj, QString());
    return s.RecordDirectory.isEmpty() ? kestro::Instance().defaultRecordDirectory() : s.RecordDirectory;
}

}  // namespace

extern "C" __attribute__((visibility("default"))) int kestro_desktop_main(int argc, char** argv) {
    // KestroRecorder has read the line and refused a wrong one; this reads it again.
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments << QFile::decodeName(argv[i]);
    const kestro::CommandLine cl = kestro::parseCommandLine(arguments, QDir::currentPath());
    if (cl.action == kestro::CommandLine::Action::Error) return kestro::refuseCommandLine(cl.error);
    if (cl.action == kestro::CommandLine::Action::ReportDay)
        return kestro::runReportDayCommand(
            argc, argv,
            {storedDayPeriods, storedRecordDirectory, kestro::reportEvidenceFor, kestro::recordedSeries,
             kestro::newestSerial, reportLanguageOf(cl.options)});
    if (cl.action == kestro::CommandLine::Action::Report)
        return kestro::runReportCommand(argc, argv, cl.options.report, storedDayPeriods, kestro::reportEvidenceFor,
                                        reportLanguageOf(cl.options));
    // Building the application object without a display aborts the process.
    if (!kestro::hasUsableDisplay(kestro::DisplayEnvironment::current())) {
        const QByteArray text = (kestro::noDisplayMessage() + QLatin1Char('\n')).toLocal8Bit();
        std::fwrite(text.constData(), 1, size_t(text.size()), stderr);
        return kestro::kExitCannotRun;
    }

    std::optional<kestro::StartupDisplayGuard> startupGuard;
    startupGuard.emplace();
    QApplication app(argc, argv);
    startupGuard.reset();
    kestro::setApplicationIdentity();
    // The Wayland app id, and the key desktops use to match the window to its
    // menu entry. No display name: the platform would append it to every window title.
    QGuiApplication::setDesktopFileName(QStringLiteral(KESTRO_DESKTOP_ID));
    QApplication::setWindowIcon(kestro::kestroAppIcon());
    // Before the first window, message box included.
    kestro::installTranslations(app, cl.options.language.isEmpty() ? storedLanguageChoice() : cl.options.language);

    kestro::DesktopApplication kestro(cl.options);
    const int status = kestro.Main();
    if (status >= 0) return status;
    return QApplication::exec();
}
