#pragma once
// The display the window needs: whether there is one before any GUI object
// exists, and an orderly end when the connection to it breaks.

#include <QObject>
#include <QString>

namespace kestro {

// The part of the environment that decides where the window would go.
struct DisplayEnvironment {
    QString qpaPlatform;     // QT_QPA_PLATFORM: "xcb", "wayland;xcb", "offscreen", ...
    QString display;         // DISPLAY
    QString waylandDisplay;  // WAYLAND_DISPLAY
    QString runtimeDir;      // XDG_RUNTIME_DIR, where a relative WAYLAND_DISPLAY lives
    QString x11SocketDir = QStringLiteral("/tmp/.X11-unix");
    static DisplayEnvironment current();
};

// True when one of the platforms Qt would try can reach its display server.
// Platforms that need no display server (offscreen, vnc, linuxfb, ...) always count.
bool hasUsableDisplay(const DisplayEnvironment& env, int connectTimeoutMs = 2000);

// The one line printed when the window has nowhere to go.
QString noDisplayMessage();

// Qt ends the process by itself when the display connection breaks, and the
// message handler is the only place that hears of it first. While a guard
// exists, such a message emits displayLost() on the guard's thread, synchronously:
// the slots run the orderly end, and the process ends when they return.
// Only one guard may exist at a time; a second one stays inactive.
class DisplayLossGuard : public QObject {
    Q_OBJECT
public:
    explicit DisplayLossGuard(QObject* parent = nullptr);
    ~DisplayLossGuard() override;

    bool isActive() const { return active_; }
    // The texts the display platforms print right before they end the process.
    static bool isDisplayLossMessage(const QString& message);

signals:
    void displayLost(const QString& message);

private:
    friend struct DisplayGuardHook;
    bool active_ = false;
};

// While it exists, a fatal Qt message (the platform plugin failing while the
// application object is built) prints noDisplayMessage() and ends the process
// with status 2 instead of aborting.
class StartupDisplayGuard {
public:
    StartupDisplayGuard();
    ~StartupDisplayGuard();
    StartupDisplayGuard(const StartupDisplayGuard&) = delete;
    StartupDisplayGuard& operator=(const StartupDisplayGuard&) = delete;
};

}  // namespace kestro
