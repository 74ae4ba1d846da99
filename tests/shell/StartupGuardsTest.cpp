// The process's own guards: a display to start on, one instance at a time,
// and signals that end it in order.

#include "shell/DisplayGuard.h"
#include "shell/DurableFile.h"
#include "shell/EventLog.h"
#include "shell/Messages.h"
#include "shell/SignalBridge.h"
#include "shell/SingleInstance.h"
#include "support/FileBytes.h"
#include "support/ManualClock.h"
#include "support/RecordingMessageSink.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>
#include <cerrno>
#include <csignal>
#include <cstring>

using namespace kestro;

namespace {

using Outcome = SingleInstance::Outcome;

// A child inherits JOURNAL_STREAM with its standard error sent elsewhere: only
// the stream it names is the journal. A message's detail lines stay on its line.
TEST(StderrLineTest, PrioritiesOnTheNamedStreamOnlyAndOneLinePerMessage) {
    const std::pair<const char*, bool> streams[] = {{"8:123", true},    {"8:124", false}, {"9:123", false},
                                                    {"8:123:4", false}, {"8", false},     {"x:123", false}};
    for (const auto& [stream, journal] : streams)
        EXPECT_EQ(isJournalStream(stream, 8, 123), journal) << stream;
    EXPECT_EQ(stderrLine(Priority::Warning, QStringLiteral("COM1 lost\nDevice: x\n\nReason: y"), true),
              "<4>KestroRecorder: COM1 lost; Device: x; Reason: y\n");
}

// The lock is taken on its own opening of the lock file, so a second object
// in this process meets it as a second program instance would.
TEST(SingleInstanceTest, OnlyAHeldLockRefusesAndItsEndFreesIt) {
    QTemporaryDir dir;
    ManualClock clock;
    EventLog log(dir.path(), clock);
    RecordingMessageSink messages;
    {
        SingleInstance first(dir.filePath("KestroRecorder.lock"));
        QFile stale(first.lockPath());  // left behind by a crash: its lock went with its process
        ASSERT_TRUE(stale.open(QIODevice::WriteOnly));
        stale.write("4194304 crashed\n");
        stale.close();
        EXPECT_EQ(first.tryAcquire(), Outcome::Acquired);
        EXPECT_EQ(first.tryAcquire(), Outcome::Acquired);  // asking again keeps it
        EXPECT_EQ(fileBytes(first.lockPath()), QByteArray::number(qint64(getpid())) + "\n");
        SingleInstance second(dir.filePath("KestroRecorder.lock"));
        EXPECT_FALSE(ensureSingleInstance(second, log, messages));
        EXPECT_FALSE(second.isHeld());
        EXPECT_EQ(messages.messages.size(), 1);  // its words and log line: the end-to-end test of a second start
    }
    SingleInstance third(dir.filePath("KestroRecorder.lock"));  // the lock went with the object that held it
    EXPECT_TRUE(ensureSingleInstance(third, log, messages));
    EXPECT_EQ(messages.messages.size(), 1);
}

TEST(SingleInstanceTest, ALockThatCannotBeTakenStartsUnguardedAndSaysWhy) {
    QTemporaryDir dir;
    ASSERT_TRUE(QFile(dir.filePath("plain-file")).open(QIODevice::WriteOnly));
    ASSERT_TRUE(QDir().mkpath(dir.filePath("lock-is-a-dir/KestroRecorder.lock")));
    ASSERT_TRUE(QDir().mkpath(dir.filePath("link")));
    ASSERT_TRUE(QFile::link(dir.filePath("elsewhere"), dir.filePath("link/KestroRecorder.lock")));
    const struct {
        const char* what;
        QString lockDir;
        int err;
    } rows[] = {
        {"runtime directory missing", dir.filePath("no-such-dir"), ENOENT},
        {"runtime directory is a file", dir.filePath("plain-file"), ENOTDIR},
        {"lock file is a directory", dir.filePath("lock-is-a-dir"), EISDIR},
        {"lock file is a symlink", dir.filePath("link"), ELOOP},
    };
    ManualClock clock;
    EventLog log(dir.path(), clock);
    for (const auto& r : rows) {
        SCOPED_TRACE(r.what);
        QFile::remove(log.mainLogPath());
        RecordingMessageSink messages;
        SingleInstance instance(r.lockDir + "/KestroRecorder.lock");
        EXPECT_TRUE(ensureSingleInstance(instance, log, messages));
        EXPECT_TRUE(messages.messages.isEmpty());
        EXPECT_EQ(QString::fromUtf8(fileBytes(log.mainLogPath())),
                  log.dateTimeText() + ": SingleInstance.Error: " + QString::number(r.err) +
                      " - no guard against a second instance, the lock file " + instance.lockPath() +
                      " cannot be used: " + QString::fromLocal8Bit(strerror(r.err)) + "\r\n");
    }
    EXPECT_FALSE(QFileInfo::exists(dir.filePath("elsewhere")));  // a planted link is never followed
}

template <typename Cond>
bool processUntil(Cond cond) {
    QDeadlineTimer deadline(5000);
    while (!cond() && !deadline.hasExpired())
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    return cond();
}

void (*currentHandler(int signo))(int) {
    struct sigaction sa {};
    sigaction(signo, nullptr, &sa);
    return sa.sa_handler;
}

TEST(SignalBridgeTest, SignalsArriveAsQtSignalAndHandlersAreRestored) {
    const auto termBefore = currentHandler(SIGTERM);
    const auto hupBefore = currentHandler(SIGHUP);
    {
        SignalBridge bridge;
        {
            SignalBridge second;  // only one at a time; the inactive one leaves the handler alone
            EXPECT_FALSE(second.isActive());
        }
        ASSERT_TRUE(bridge.isActive());
        QList<int> received;
        QObject::connect(&bridge, &SignalBridge::terminationRequested, [&](int s) { received << s; });
        raise(SIGTERM);
        ASSERT_TRUE(processUntil([&] { return !received.isEmpty(); }));
        raise(SIGTERM);  // signals before the loop runs: all are delivered
        raise(SIGINT);
        raise(SIGHUP);  // the terminal went away: an orderly end as well, not death
        ASSERT_TRUE(processUntil([&] { return received.size() >= 4; }));
        EXPECT_EQ(received, (QList<int>{SIGTERM, SIGTERM, SIGINT, SIGHUP}));
    }
    EXPECT_EQ(currentHandler(SIGTERM), termBefore);
    EXPECT_EQ(currentHandler(SIGHUP), hupBefore);
}

// A listening socket that stands in for a display server.
class FakeServer {
public:
    explicit FakeServer(const QString& path) {
        fd_ = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_un addr{};
        addr.sun_family = AF_UNIX;
        const QByteArray p = path.toLocal8Bit();
        std::memcpy(addr.sun_path, p.constData(), size_t(p.size()));
        ok_ = ::bind(fd_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0 && ::listen(fd_, 4) == 0;
    }
    // TCP on 127.0.0.1 at 6000 + the first free display number from 40 on.
    FakeServer() {
        fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        for (int n = 40; n < 100 && !ok_; ++n) {
            sockaddr_in addr{};
            addr.sin_family = AF_INET;
            addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
            addr.sin_port = htons(uint16_t(6000 + n));
            ok_ = ::bind(fd_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0 && ::listen(fd_, 4) == 0;
            if (ok_) display_ = n;
        }
    }
    ~FakeServer() { ::close(fd_); }
    bool ok() const { return ok_; }
    int display() const { return display_; }

private:
    int fd_ = -1;
    bool ok_ = false;
    int display_ = -1;
};

TEST(DisplayGuardTest, ADisplayCountsOnlyWhenItsServerAnswers) {
    QTemporaryDir tmp;
    FakeServer x7(tmp.filePath("X7"));
    FakeServer wayland(tmp.filePath("wayland-1"));
    FakeServer tcp;
    ASSERT_TRUE(x7.ok() && wayland.ok() && tcp.ok());
    const QString remote = QStringLiteral("localhost:%1.0").arg(tcp.display());
    const struct {
        const char* what;
        const char* platform;
        QString display;
        QString wayland;
        bool usable;
    } rows[] = {
        {"nothing set", "", "", "", false},
        {"local X server", "", ":7", "", true},
        {"local X server, screen given", "", "unix:7.0", "", true},
        {"no X server behind the number", "", ":8", "", false},
        {"forwarded over ssh", "", remote, "", true},
        {"forwarding gone", "", "localhost:1", "", false},
        {"garbage", "", "seven", "", false},
        {"Wayland socket in the runtime directory", "", "", "wayland-1", true},
        {"Wayland socket by path", "", "", tmp.filePath("wayland-1"), true},
        {"stale Wayland name", "", "", "wayland-9", false},
        {"xcb asked for, only Wayland there", "xcb", "", "wayland-1", false},
        {"wayland asked for, only X there", "wayland", ":7", "", false},
        {"first of a list that works", "wayland;xcb", ":7", "", true},
        {"offscreen needs no server", "offscreen", "", "", true},
        {"options after the name", "vnc:size=800x600", "", "", true},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.what);
        DisplayEnvironment env;
        env.qpaPlatform = r.platform;
        env.display = r.display;
        env.waylandDisplay = r.wayland;
        env.runtimeDir = r.wayland.startsWith('/') ? QString() : tmp.path();  // absolute: none needed
        env.x11SocketDir = tmp.path();
        EXPECT_EQ(hasUsableDisplay(env, 500), r.usable);
    }
    EXPECT_TRUE(noDisplayMessage().contains("--headless"));
    EXPECT_FALSE(noDisplayMessage().contains('\n'));
}

TEST(DisplayGuardTest, OnlyLostDisplayMessagesCount) {
    const std::pair<const char*, bool> rows[] = {
        {"The X11 connection broke (error 1). Did the X11 server die?", true},
        {"The X11 connection broke: I/O error (code 1)", true},
        {"The Wayland connection broke. Did the Wayland compositor die?", true},
        {"The Wayland connection experienced a fatal error: Broken pipe", true},
        {"QXcbConnection: XCB error: 3 (BadWindow)", false},
        {"Warning: The X11 connection broke", false}};
    for (const auto& [text, lost] : rows)
        EXPECT_EQ(DisplayLossGuard::isDisplayLossMessage(text), lost) << text;
}

TEST(DisplayGuardTest, AFatalPlatformFailureWhileStartingEndsWithStatusTwoAndOneLine) {
    std::string lastLine;  // the message as an extended regular expression
    for (const char c : noDisplayMessage().toStdString()) {
        if (std::strchr("\\^$.|?*+()[]{}", c)) lastLine += '\\';
        lastLine += c;
    }
    EXPECT_EXIT(
        {
            StartupDisplayGuard guard;
            qFatal("This application failed to start because no Qt platform plugin could be initialized.");
        },
        ::testing::ExitedWithCode(2), lastLine + "\n$");
}

// A whole file is replaced or left as it was, never half and never with a
// fresh file beside it; a replaced file keeps the mode it was given.
TEST(DurableFileTest, ReplacedWholeOrNotAtAll) {
    QTemporaryDir dir;
    const QString path = dir.filePath("f.json");
    QString why;
    ASSERT_TRUE(writeFileDurably(path, QByteArray("one")));
    EXPECT_EQ(QFileInfo(path).permissions() & 0x7077,
              QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup | QFile::ReadOther);
    QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner);
    ASSERT_TRUE(writeFileDurably(path, QByteArray("two")));
    EXPECT_EQ(QFileInfo(path).permissions() & 0x7077, QFile::ReadOwner | QFile::WriteOwner);
    auto failing = [](QIODevice* out, QString* error) {
        out->write(QByteArray(1000, 'x'));
        *error = "no more";
        return false;
    };
    EXPECT_FALSE(writeFileDurably(path, failing, &why));
    EXPECT_EQ(why, "no more");
    EXPECT_EQ(fileBytes(path), "two");
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"f.json"});
}

}  // namespace
