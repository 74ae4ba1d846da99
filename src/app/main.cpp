// KestroRecorder: recorder and remote front panel for a serial sound level meter.
// This program needs Qt Core only: it answers --help, --version and --verify
// and runs --headless itself. The windows and the PDF report live in the desktop
// module beside it, which it loads only for them, so that a service never
// maps a graphics library.
#include "app/CommandLine.h"
#include "app/KestroApplication.h"
#include "shell/Messages.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>

#include <dlfcn.h>
#include <unistd.h>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

void print(std::FILE* stream, const QString& text) {
    const QByteArray bytes = text.toLocal8Bit();
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stream);
    std::fflush(stream);
}

// Found relative to the program, in the build tree as installed.
int runDesktopModule(int argc, char** argv) {
    char self[PATH_MAX] = {};
    const ssize_t n = ::readlink("/proc/self/exe", self, sizeof self - 1);
    std::string dir = n > 0 ? std::string(self, size_t(n)) : std::string(argv[0]);
    dir.erase(dir.find_last_of('/') + 1);
    const std::string module = dir + KESTRO_MODULE_FROM_BINDIR "/kestro-desktop.so";
    void* handle = ::dlopen(module.c_str(), RTLD_NOW | RTLD_LOCAL);
    using Entry = int (*)(int, char**);
    Entry entry = handle ? reinterpret_cast<Entry>(::dlsym(handle, "kestro_desktop_main")) : nullptr;
    if (!entry) {
        kestro::writeStderrLine(kestro::Priority::Error, QStringLiteral("the window module cannot be loaded: ") +
                                                             QString::fromLocal8Bit(::dlerror()));
        return kestro::kExitCannotRun;
    }
    // Left loaded: its objects may still be torn down at exit.
    return entry(argc, argv);
}

}  // namespace

int main(int argc, char** argv) {
    // Everything that needs no window is decided before any application object exists.
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments << QFile::decodeName(argv[i]);
    const kestro::CommandLine cl = kestro::parseCommandLine(arguments, QDir::currentPath());
    switch (cl.action) {
        case kestro::CommandLine::Action::Help:
            print(stdout, kestro::helpText());
            return kestro::kExitOk;
        case kestro::CommandLine::Action::Version:
            print(stdout, kestro::versionText());
            return kestro::kExitOk;
        case kestro::CommandLine::Action::Error:
            return kestro::refuseCommandLine(cl.error);
        case kestro::CommandLine::Action::Verify:
            return kestro::runVerifyCommand(cl.options);
        case kestro::CommandLine::Action::PrintPublicKey:
            return kestro::runPrintPublicKey(cl.options);
        case kestro::CommandLine::Action::Report:
        case kestro::CommandLine::Action::ReportDay:
            return runDesktopModule(argc, argv);
        case kestro::CommandLine::Action::Run:
            break;
    }
    // The token leaves the process list before the window module is even
    // loaded; the module reads the line again, from a copy of it.
    std::vector<std::string> kept(argv, argv + argc);
    std::vector<char*> copy;
    for (std::string& a : kept)
        copy.push_back(a.data());
    copy.push_back(nullptr);
    kestro::concealServeToken(argc, argv);
    if (!cl.options.headless) return runDesktopModule(argc, copy.data());

    // The plain event loop: the GLib one costs more on every wake-up, and a
    // service wakes for every few characters from the meter.
    if (qEnvironmentVariableIsEmpty("QT_NO_GLIB")) qputenv("QT_NO_GLIB", "1");
    // Qt's own warnings reach the journal with a priority too.
    qInstallMessageHandler([](QtMsgType type, const QMessageLogContext&, const QString& message) {
        using kestro::Priority;
        const Priority p = type == QtDebugMsg || type == QtInfoMsg ? Priority::Info
                           : type == QtWarningMsg                  ? Priority::Warning
                                                                   : Priority::Error;
        kestro::writeStderrLine(p, message);
        if (type == QtFatalMsg) std::abort();
    });
    QCoreApplication app(argc, argv);
    kestro::setApplicationIdentity();
    kestro::KestroApplication kestro(cl.options);
    const int status = kestro.Main();
    if (status >= 0) return status;
    return QCoreApplication::exec();
}
