// KestroRecorder: recorder and remote front panel for a serial sound level meter.
#include "about/AppIcon.h"
#include "app/KestroApplication.h"
#include "report/ReportCommand.h"

#include "kestro/Version.h"

#include <QApplication>
#include <cstring>

int main(int argc, char** argv) {
    // A report needs no window, no meter and no second-instance guard.
    if (kestro::WantsReport(argc, argv)) return kestro::RunReportCommand(argc, argv);
    // Headless runs need no display; the platform must be chosen before the application exists.
    for (int i = 1; i < argc; ++i)
        if (std::strcmp(argv[i], "--headless") == 0) qputenv("QT_QPA_PLATFORM", "offscreen");

    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral(KESTRO_APP_TITLE));
    QApplication::setApplicationDisplayName(QStringLiteral(KESTRO_APP_TITLE));
    QApplication::setApplicationVersion(QStringLiteral(KESTRO_VERSION_STRING));
    QApplication::setOrganizationName(QStringLiteral(KESTRO_APP_TITLE));
    QApplication::setWindowIcon(kestro::KestroAppIcon());

    kestro::KestroApplication kestro(kestro::ParseCommandLine(QApplication::arguments()));
    const int status = kestro.Main();
    if (status >= 0) return status;
    return QApplication::exec();
}
