#include "shell/DisplayGuard.h"

#include "shell/Places.h"

#include <QByteArray>
#include <QFile>
#include <QThread>

#include <netdb.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>

namespace kestro {

namespace {

// Connects a socket of the given address, waiting at most timeoutMs.
bool connectWithin(int family, const sockaddr* addr, socklen_t len, int timeoutMs) {
    const int fd = ::socket(family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0) return false;
    bool ok = ::connect(fd, addr, len) == 0;
    if (!ok && errno == EINPROGRESS) {
        pollfd p{fd, POLLOUT, 0};
        int err = 0;
        socklen_t errLen = sizeof err;
        ok = ::poll(&p, 1, timeoutMs) == 1 && ::getsockopt(fd, SOL_SOCKET, SO_ERROR, &err, &errLen) == 0 && err == 0;
    }
    ::close(fd);
    return ok;
}

bool connectUnix(const QByteArray& path, bool abstract, int timeoutMs) {
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    const int offset = abstract ? 1 : 0;  // an abstract name starts with a zero byte
    if (path.isEmpty() || path.size() + offset >= int(sizeof addr.sun_path)) return false;
    std::memcpy(addr.sun_path + offset, path.constData(), size_t(path.size()));
    const socklen_t len = socklen_t(offsetof(sockaddr_un, sun_path) + offset + path.size() + (abstract ? 0 : 1));
    return connectWithin(AF_UNIX, reinterpret_cast<const sockaddr*>(&addr), len, timeoutMs);
}

bool connectTcp(const QByteArray& host, int port, int timeoutMs) {
    addrinfo hints{};
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    if (::getaddrinfo(host.constData(), QByteArray::number(port).constData(), &hints, &found) != 0) return false;
    bool ok = false;
    for (addrinfo* a = found; a && !ok; a = a->ai_next)
        ok = connectWithin(a->ai_family, a->ai_addr, a->ai_addrlen, timeoutMs);
    ::freeaddrinfo(found);
    return ok;
}

// DISPLAY is [host]:number[.screen]; no host (or "unix") means the local socket.
bool x11Reachable(const DisplayEnvironment& env, int timeoutMs) {
    const QString display = env.display.trimmed();
    const qsizetype colon = display.lastIndexOf(QLatin1Char(':'));
    if (colon < 0) return false;
    const QString host = display.left(colon);
    bool ok = false;
    const int number = display.mid(colon + 1).section(QLatin1Char('.'), 0, 0).toInt(&ok);
    if (!ok || number < 0) return false;
    if (host.startsWith(QLatin1Char('/'))) return connectUnix(QFile::encodeName(host), false, timeoutMs);
    if (host.isEmpty() || host == QLatin1String("unix")) {
        const QByteArray path = QFile::encodeName(env.x11SocketDir + QStringLiteral("/X%1").arg(number));
        return connectUnix(path, false, timeoutMs) || connectUnix(path, true, timeoutMs);
    }
    return connectTcp(host.toLocal8Bit(), 6000 + number, timeoutMs);
}

bool waylandReachable(const DisplayEnvironment& env, int timeoutMs) {
    const QString name = env.waylandDisplay.trimmed();
    if (name.isEmpty()) return false;
    if (name.startsWith(QLatin1Char('/'))) return connectUnix(QFile::encodeName(name), false, timeoutMs);
    if (!env.runtimeDir.startsWith(QLatin1Char('/'))) return false;
    return connectUnix(QFile::encodeName(env.runtimeDir + QLatin1Char('/') + name), false, timeoutMs);
}

}  // namespace

DisplayEnvironment DisplayEnvironment::current() {
    DisplayEnvironment env;
    env.qpaPlatform = qEnvironmentVariable("QT_QPA_PLATFORM");
    env.display = qEnvironmentVariable("DISPLAY");
    env.waylandDisplay = qEnvironmentVariable("WAYLAND_DISPLAY");
    env.runtimeDir = PlaceEnvironment::current().xdgRuntimeDir;
    return env;
}

bool hasUsableDisplay(const DisplayEnvironment& env, int connectTimeoutMs) {
    QStringList platforms;
    for (const QString& entry : env.qpaPlatform.split(QLatin1Char(';'), Qt::SkipEmptyParts)) {
        const QString name = entry.section(QLatin1Char(':'), 0, 0).trimmed();  // "name:options"
        if (!name.isEmpty()) platforms << name;
    }
    if (platforms.isEmpty()) platforms = {QStringLiteral("xcb"), QStringLiteral("wayland")};
    for (const QString& p : platforms) {
        if (p == QLatin1String("xcb")) {
            if (x11Reachable(env, connectTimeoutMs)) return true;
        } else if (p.startsWith(QLatin1String("wayland"))) {
            if (waylandReachable(env, connectTimeoutMs)) return true;
        } else {
            return true;  // draws without a display server
        }
    }
    return false;
}

QString noDisplayMessage() {
    return QStringLiteral(
        "KestroRecorder: no display to show the window on (DISPLAY and WAYLAND_DISPLAY are unset or cannot be "
        "reached); start it with --headless to record without a window.");
}

// A message handler cannot reach any object: the guard that wants to hear of a
// lost display, and whether a start-up guard is active, live at file scope.
// Both are set and cleared only by the guards' constructors and destructors.
struct DisplayGuardHook {
    static inline std::atomic<DisplayLossGuard*> lossGuard{nullptr};
    static inline std::atomic<bool> startup{false};
    static inline std::atomic<int> installs{0};
    static inline QtMessageHandler previous = nullptr;

    static void handler(QtMsgType type, const QMessageLogContext& context, const QString& message) {
        if (type == QtFatalMsg && startup.load()) {
            const QByteArray line = noDisplayMessage().toLocal8Bit() + '\n';
            std::fwrite(line.constData(), 1, size_t(line.size()), stderr);
            std::fflush(stderr);
            ::_exit(2);
        }
        forward(type, context, message);
        DisplayLossGuard* guard = lossGuard.load();
        if (guard && DisplayLossGuard::isDisplayLossMessage(message) && QThread::currentThread() == guard->thread())
            emit guard->displayLost(message);
    }

    static void forward(QtMsgType type, const QMessageLogContext& context, const QString& message) {
        if (previous) {
            previous(type, context, message);
            return;
        }
        const QByteArray text = qFormatLogMessage(type, context, message).toLocal8Bit() + '\n';
        std::fwrite(text.constData(), 1, size_t(text.size()), stderr);
        std::fflush(stderr);
    }

    static void install() {
        if (installs.fetch_add(1) == 0) previous = qInstallMessageHandler(handler);
    }
    static void uninstall() {
        if (installs.fetch_sub(1) == 1) {
            qInstallMessageHandler(previous);
            previous = nullptr;
        }
    }
};

DisplayLossGuard::DisplayLossGuard(QObject* parent) : QObject(parent) {
    DisplayLossGuard* expected = nullptr;
    if (!DisplayGuardHook::lossGuard.compare_exchange_strong(expected, this)) return;
    DisplayGuardHook::install();
    active_ = true;
}

DisplayLossGuard::~DisplayLossGuard() {
    if (!active_) return;
    DisplayGuardHook::lossGuard.store(nullptr);
    DisplayGuardHook::uninstall();
}

bool DisplayLossGuard::isDisplayLossMessage(const QString& message) {
    for (const char* text : {"The X11 connection broke", "The Wayland connection broke",
                             "The Wayland connection experienced a fatal error"})
        if (message.startsWith(QLatin1String(text))) return true;
    return false;
}

StartupDisplayGuard::StartupDisplayGuard() {
    DisplayGuardHook::startup.store(true);
    DisplayGuardHook::install();
}

StartupDisplayGuard::~StartupDisplayGuard() {
    DisplayGuardHook::startup.store(false);
    DisplayGuardHook::uninstall();
}

}  // namespace kestro
