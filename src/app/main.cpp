// KestroRecorder: recorder and remote front panel for a serial sound level meter.
#include "about/AppIcon.h"
#include "app/CommandLine.h"
#include "app/KestroApplication.h"
#include "recording/EvidenceFiles.h"
#include "recording/SeriesRecorder.h"
#include "report/ReportCommand.h"
#include "settings/RecorderSettings.h"
#include "settings/cRegistry.h"
#include "shell/DisplayGuard.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <cstdio>
#include <optional>

namespace {

void Print(std::FILE* stream, const QString& text) {
    const QByteArray bytes = text.toLocal8Bit();
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stream);
    std::fflush(stream);
}

// The report's assessment days follow the settings, as the statistics window does.
kestro::DayPeriods StoredDayPeriods() {
    kestro::cRegistry RegObj;
    kestro::RecorderSettings s;
    s.InitForm(RegObj, QString());
    return kestro::StatisticsConfigOf(s).periods;
}

}  // namespace

int main(int argc, char** argv) {
    // A report needs no window, no meter and no second-instance guard.
    if (kestro::WantsReport(argc, argv))
        return kestro::RunReportCommand(argc, argv, StoredDayPeriods, kestro::reportEvidenceFor);
    // Everything that needs no window is decided before the application object
    // exists: building it without a display aborts the process.
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments << QFile::decodeName(argv[i]);
    const kestro::CommandLine cl = kestro::ParseCommandLine(arguments, QDir::currentPath());
    kestro::ConcealServeToken(argc, argv);
    switch (cl.action) {
        case kestro::CommandLine::Action::Help:
            Print(stdout, kestro::HelpText());
            return kestro::kExitOk;
        case kestro::CommandLine::Action::Version:
            Print(stdout, kestro::VersionText());
            return kestro::kExitOk;
        case kestro::CommandLine::Action::Error:
            Print(stderr, QStringLiteral("KestroRecorder: ") + cl.error +
                              QStringLiteral("\nTry 'KestroRecorder --help' for the options.\n"));
            return kestro::kExitCannotRun;
        case kestro::CommandLine::Action::Verify:
            return kestro::runVerifyCommand(cl.options.verifyDir);
        case kestro::CommandLine::Action::Report:  // taken care of above
        case kestro::CommandLine::Action::Run:
            break;
    }

    if (cl.options.headless) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    } else if (!kestro::HasUsableDisplay(kestro::DisplayEnvironment::Current())) {
        Print(stderr, kestro::NoDisplayMessage() + QLatin1Char('\n'));
        return kestro::kExitCannotRun;
    }

    std::optional<kestro::StartupDisplayGuard> startupGuard;
    if (!cl.options.headless) startupGuard.emplace();
    QApplication app(argc, argv);
    startupGuard.reset();
    kestro::SetApplicationIdentity();
    QApplication::setWindowIcon(kestro::KestroAppIcon());

    kestro::KestroApplication kestro(cl.options);
    const int status = kestro.Main();
    if (status >= 0) return status;
    return QApplication::exec();
}
