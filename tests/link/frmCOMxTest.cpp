// The port owner over real pseudo-terminals and over the in-memory port, and the
// terminal port's failure numbers and read hold-off.

#include "link/PosixSerialPort.h"
#include "link/SerialNames.h"
#include "link/frmCOMx.h"
#include "protocol/ProtocolState.h"
#include "settings/RecorderSettings.h"
#include "settings/cRegistry.h"
#include "shell/EventLog.h"
#include "shell/Messages.h"
#include "support/FakeSerialPort.h"
#include "support/ManualClock.h"
#include "support/RecordingMessageSink.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <pty.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>
#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QThread>
#include <climits>
#include <functional>

inline void printTo(const QString& s, std::ostream* os) { *os << '"' << s.toStdString() << '"'; }

namespace kestro::test {
namespace {

// Processes events until pred holds or timeoutMs passes; returns pred().
bool waitUntil(const std::function<bool()>& pred, int timeoutMs = 2000) {
    for (QDeadlineTimer deadline(timeoutMs); !pred(); QThread::msleep(1))
        if (QCoreApplication::processEvents(QEventLoop::AllEvents, 5); deadline.hasExpired()) return pred();
    return true;
}

// The slave's path stands in for a serial device; the test talks on the master side.
struct PtyPair {
    int master = -1, slave = -1;  // slave kept open so the line survives the port's close
    QString slavePath;
    PtyPair() {
        char name[256] = {};
        termios tio{};
        if (::openpty(&master, &slave, name, nullptr, nullptr) != 0 || ::tcgetattr(slave, &tio) != 0) return;
        ::cfmakeraw(&tio);  // no echo, no CR/LF translation
        ::tcsetattr(slave, TCSANOW, &tio);
        ::fcntl(master, F_SETFL, ::fcntl(master, F_GETFL) | O_NONBLOCK);
        slavePath = QString::fromLocal8Bit(name);
    }
    ~PtyPair() { closeMaster(), ::close(slave); }
    bool ok() const { return !slavePath.isEmpty(); }
    bool write(const QByteArray& b) { return ::write(master, b.constData(), size_t(b.size())) == b.size(); }
    QByteArray readFor(int waitMs) {  // what arrives on the master within waitMs
        QByteArray out;
        char buf[4096];
        waitUntil(
            [&] {
                for (ssize_t n; (n = ::read(master, buf, sizeof buf)) > 0;)
                    out.append(buf, n);
                return false;
            },
            waitMs);
        return out;
    }
    int queued() const {  // bytes the driver holds for the slave's reader
        int n = -1;
        return ::ioctl(slave, FIONREAD, &n) == 0 ? n : -1;
    }
    void closeMaster() { ::close(std::exchange(master, -1)); }  // hangs up, as an unplugged adapter does
};

class LinkFixture : public ::testing::Test {
protected:
    void makeOwner(bool fake) {  // fake: over a FakeSerialPort instead of the real adapter
        TearDown();
        ASSERT_TRUE(tmp.isValid() && QDir().mkpath(devDir()));
        ps.setErrorLog(log.errorSink());
        com = std::make_unique<frmCOMx>(reg, log, messages,
                                        fake ? FakeSerialPort::factoryInto(port) : frmCOMx::PortFactory());
        com->onReceived = [this](std::string_view d) {
            ps.receiveEvent(d);
        };
        com->onOpened = [this] {
            ps.ResetReceiveBuffer();
        };
        com->setDeviceDirectory(devDir());
    }
    void TearDown() override {
        for (int n = 1; n <= 4; ++n)
            qunsetenv(qPrintable(QStringLiteral("KESTRO_COM%1").arg(n)));
    }
    void SetUp() override { makeOwner(false); }
    void useFake() {
        makeOwner(true);
        ASSERT_NE(port, nullptr);
        qputenv("KESTRO_COM1", "/fake/a");
        qputenv("KESTRO_COM2", "/fake/b");
    }
    QString devDir() const { return tmp.filePath(QStringLiteral("dev")); }
    void store(bool port, int n, const QVariant& value = {}) {  // "COMPort" = n, or "COM<n>Device" = value
        cRegistry w(files);
        w.ClassKey = HKEY_CURRENT_USER_;
        w.SectionKey = QString::fromLatin1(kDeviceSection);
        w.ValueKey = port ? QStringLiteral("COMPort") : QStringLiteral("COM%1Device").arg(n);
        w.ValueType = port ? REG_DWORD_ : REG_SZ_;
        w.setValue(port ? QVariant(n) : value);
    }
    QStringList logLines() const {
        QFile f(log.mainLogPath());
        return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()).split("\r\n", Qt::SkipEmptyParts)
                                           : QStringList();
    }
    QString logged(const char* text) const { return log.dateTimeText() + QString::fromUtf8(text); }

    QTemporaryDir tmp;
    ManualClock clock;
    ProtocolState ps{clock};
    EventLog log{tmp.path(), clock};
    RegistryFiles files{tmp.filePath(QStringLiteral("user.json")), tmp.filePath(QStringLiteral("machine.json"))};
    cRegistry reg{files};
    RecordingMessageSink messages;
    FakeSerialPort* port = nullptr;  // set when the owner runs over the fake
    std::unique_ptr<frmCOMx> com;
};
using PtyOwner = LinkFixture;
using FakeOwner = LinkFixture;

TEST_F(PtyOwner, InitFormWithoutOrWithAnAbsentStoredPort) {
    EXPECT_EQ(com->InitForm(), 1);
    EXPECT_EQ(logLines(), QStringList{logged(": frmCOMx.InitForm.Error: 1")});
    EXPECT_TRUE(messages.messages.isEmpty());
    QFile::remove(log.mainLogPath());
    store(true, 3);
    EXPECT_EQ(com->InitForm(), kErrPortNotFound);
    ASSERT_EQ(messages.messages.size(), 1);
    EXPECT_EQ(messages.messages[0].text, "COM3 is not availiable!");
    EXPECT_TRUE(messages.messages[0].detail.contains(devDir() + "/ttyS2"));
    EXPECT_EQ(com->GetCOMPort(), 0);
    EXPECT_TRUE(logLines().isEmpty());
}

// Commands go out and answers come in on the line switched to, however the
// driver splits them; closing twice is harmless.
TEST_F(PtyOwner, SetCOMPortSwitchesLinesAndCloseIsIdempotent) {
    EXPECT_EQ(com->CloseCOMPort(), kTrue);  // already closed
    PtyPair one, two;
    ASSERT_TRUE(one.ok() && two.ok());
    qputenv("KESTRO_COM1", one.slavePath.toLocal8Bit());
    qputenv("KESTRO_COM2", two.slavePath.toLocal8Bit());
    ASSERT_EQ(com->SetCOMPort(1), kTrue);
    ASSERT_EQ(com->SetCOMPort(2), kTrue);
    EXPECT_EQ(com->GetCOMPort(), 2);
    EXPECT_EQ(com->SendCommand("gds\r"), 4);
    EXPECT_EQ(two.readFor(150), QByteArray("gds\r"));
    EXPECT_TRUE(one.readFor(50).isEmpty());
    moduleOf(ps).KestroState.DevFunction = moduleOf(ps).KestroState.DevVariant =
        1;  // Lp: value lines become slow samples
    ps.setRecordState(1);
    ASSERT_TRUE(two.write("l"));
    ASSERT_TRUE(waitUntil([&] { return ps.RxCharCount() == 1; }));
    ASSERT_TRUE(two.write("p 734 0\rlp 100 0\rlp 200 0\r"));
    ASSERT_TRUE(waitUntil([&] { return ps.SlowCount() == 3; }));
    EXPECT_EQ(ps.GetSlowRecord(1).Level, 734);
    EXPECT_EQ(ps.device().DevLevel, 200);
    ASSERT_EQ(com->SetCOMPort(1), kTrue);  // port 1 was really released
    EXPECT_EQ(com->SetCOMPort(3), kErrPortNotFound);
    EXPECT_EQ(com->GetCOMPort(), 0);
    EXPECT_EQ(com->SendCommand("gds\r"), 0);
    EXPECT_EQ(com->CloseCOMPort(), kTrue);
    EXPECT_TRUE(messages.messages.isEmpty());
    EXPECT_TRUE(logLines().isEmpty());
}

TEST_F(PtyOwner, DevicePathPrecedence) {
    const struct {
        const char* what;
        int port;
        const char *run, *env, *stored;  // --port (COM1 only), KESTRO_COMn, "COMnDevice"
        QStringList nodes;
        QString expected;
    } rows[] = {
        {"env wins over stored and default", 1, nullptr, "/none/pts9", "/none/ttyX", {"ttyUSB0"}, "/none/pts9"},
        {"stored wins over default", 1, nullptr, nullptr, "/none/ttyX", {"ttyUSB0"}, "/none/ttyX"},
        {"empty env falls through", 2, nullptr, "", "/none/ttyY", {}, "/none/ttyY"},
        {"blank stored falls through", 2, nullptr, nullptr, "  ", {"ttyACM1"}, "ttyACM1"},
        {"usb adapter is COM1", 1, nullptr, nullptr, nullptr, {"ttyUSB0", "ttyACM0"}, "ttyUSB0"},
        {"acm when no usb", 1, nullptr, nullptr, nullptr, {"ttyACM0"}, "ttyACM0"},
        {"index follows the port", 3, nullptr, nullptr, nullptr, {"ttyUSB0", "ttyUSB2"}, "ttyUSB2"},
        {"onboard otherwise", 4, nullptr, nullptr, nullptr, {"ttyUSB0"}, "ttyS3"},
        // A run value stays for the run: the last rows.
        {"the command line wins over all", 1, "/dev/by-id/x", "/none/pts9", "/none/ttyX", {}, "/dev/by-id/x"},
        {"the command line's is COM1 only", 2, "/dev/by-id/x", nullptr, nullptr, {}, "ttyS1"},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.what);
        makeOwner(false);
        const QString dir = devDir() + "/" + r.what;
        ASSERT_TRUE(QDir().mkpath(dir));
        com->setDeviceDirectory(dir);
        for (const QString& node : r.nodes)
            ASSERT_TRUE(QFile(dir + "/" + node).open(QIODevice::WriteOnly));
        QFile::remove(files.currentUser);
        if (r.run) reg.setRunValue(HKEY_CURRENT_USER_, kDeviceSection, "COM1Device", QString(r.run), REG_SZ_);
        if (r.env) qputenv(qPrintable(QStringLiteral("KESTRO_COM%1").arg(r.port)), r.env);
        if (r.stored) store(false, r.port, r.stored);
        const QString expected = r.expected.startsWith('/') ? r.expected : dir + "/" + r.expected;
        EXPECT_EQ(com->devicePathForPort(int16_t(r.port)), expected);
        EXPECT_EQ(com->deviceExists(int16_t(r.port)), r.nodes.contains(r.expected));
    }
    EXPECT_TRUE(com->devicePathForPort(0).isEmpty());
    EXPECT_TRUE(com->devicePathForPort(5).isEmpty());
}

TEST_F(FakeOwner, OpenFailureDetailAndDialoutHintOnlyOnPermissionDenied) {
    const struct {
        int16_t errNo;
        QString reason;
        bool hint;
    } rows[] = {
        {kErrPortUnavailable, "Permission denied", true},
        {kErrPortUnavailable, "Device or resource busy", false},
        {kErrPortNotFound, "No such file or directory", false},
    };
    useFake();
    store(true, 2);
    for (const auto& r : rows) {
        SCOPED_TRACE(r.reason.toStdString());
        messages.messages.clear();
        port->setOpenFailure("/fake/b", r.errNo, r.reason);
        EXPECT_EQ(com->InitForm(), r.errNo);
        ASSERT_EQ(messages.messages.size(), 1);
        EXPECT_TRUE(messages.messages[0].detail.contains("/fake/b"));
        EXPECT_TRUE(messages.messages[0].detail.contains(r.reason));
        EXPECT_EQ(messages.messages[0].detail.contains("sudo usermod -aG dialout $USER"), r.hint);
        EXPECT_EQ(com->SetCOMPort(2), r.errNo);  // the setup dialog's probe stays silent
        EXPECT_EQ(messages.messages.size(), 1);
    }
    EXPECT_TRUE(logLines().isEmpty());
}

TEST_F(FakeOwner, StopSequenceFailuresAreLoggedAndTheStopStillHappens) {
    const struct {
        bool closedBefore, writeFails, flushOk, drainOk;
        QStringList errors;
    } rows[] = {
        {false, false, true, true, {}},
        {true, false, true, true, {}},  // nothing to say to a meter that is not there: only the log line
        {false, true, true, true, {"8020", "8020"}},
        {false, false, false, true, {"8020"}},
        {false, false, true, false, {"8021"}},
    };
    useFake();
    for (const auto& r : rows) {
        SCOPED_TRACE(r.errors.join(' ').toStdString());
        QFile::remove(log.mainLogPath());
        ASSERT_EQ(com->SetCOMPort(1), kTrue);
        if (r.closedBefore) com->CloseCOMPort();
        port->clearWritten();
        port->clearHistory();
        port->setWriteFails(r.writeFails);
        port->setFlushResult(r.flushOk);
        port->setDrainResult(r.drainOk);
        com->FormUnload();
        EXPECT_FALSE(port->isOpen());
        EXPECT_EQ(com->GetCOMPort(), 0);
        EXPECT_EQ(com->SendCommand("gds\r"), 0);
        QStringList expected;
        for (const QString& n : r.errors)
            expected << logged(": frmCOMx.FormUnload.Error: ") + n;
        EXPECT_EQ(logLines(), expected << logged(": Application stopped"));
        const QStringList stop{"SMM 0", "LDK 0"};
        if (!r.writeFails) EXPECT_EQ(port->commands(), r.closedBefore ? QStringList() : stop);
        // The lines drop only after the bytes have left (or could not leave) the line.
        QStringList lines{"flush", "drain", "dtr 0", "rts 0", "close /fake/a"};
        if (!r.flushOk) lines.removeAll("drain");
        EXPECT_EQ(port->history(), r.closedBefore ? QStringList() : lines);
    }
}

// A pseudo-terminal stands in for an adapter: the by-id link and the ttyUSB
// node are links in the test's device directory, as udev makes them in /dev.
TEST_F(PtyOwner, ReplugUnderAnotherNumberIsFoundByItsStableName) {
    const struct {
        const char* what;
        const char* stored;   // "COM1Device"; nullptr: the default mapping
        bool otherTakesUsb0;  // another device appears as ttyUSB0 meanwhile
    } rows[] = {
        {"configured by its stable name", "serial/by-id/usb-Meter_R270-if00", false},
        {"configured by its kernel name", "ttyUSB0", false},
        {"kernel name taken by another device", "ttyUSB0", true},
        {"default mapping", nullptr, false},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.what);
        const QString dir = devDir() + "/" + r.what;
        ASSERT_TRUE(QDir().mkpath(dir + "/serial/by-id"));
        com->setDeviceDirectory(dir);
        QFile::remove(files.currentUser);
        store(true, 1);
        if (r.stored) store(false, 1, dir + "/" + r.stored);
        const QString byId = dir + "/serial/by-id/usb-Meter_R270-if00";
        auto plug = [&](const PtyPair& pty, const QString& node) {
            QFile::remove(dir + "/" + node);
            QFile::remove(byId);
            ASSERT_TRUE(QFile::link(pty.slavePath, dir + "/" + node));
            ASSERT_TRUE(QFile::link("../../" + node, byId));
        };
        PtyPair first;
        ASSERT_TRUE(first.ok());
        plug(first, "ttyUSB0");
        QFile::remove(log.mainLogPath());
        ps.appendReceived("half an answer");
        ASSERT_EQ(com->InitForm(), kTrue);
        EXPECT_EQ(ps.RxCharCount(), 0) << "the stored port opens with an empty receive buffer";
        const QString device = com->openDevice();
        QSignalSpy gone(com.get(), &frmCOMx::portGone);

        first.closeMaster();  // unplugged: the port closes, the node and the link go
        ASSERT_TRUE(waitUntil([&] { return com->GetCOMPort() == 0; }));
        QFile::remove(dir + "/ttyUSB0");
        QFile::remove(byId);
        EXPECT_FALSE(com->deviceExists(1));

        PtyPair back, other;
        ASSERT_TRUE(back.ok() && other.ok());
        plug(back, "ttyUSB1");
        if (r.otherTakesUsb0) ASSERT_TRUE(QFile::link(other.slavePath, dir + "/ttyUSB0"));
        ASSERT_TRUE(com->deviceExists(1));
        ASSERT_EQ(com->SetCOMPort(1), kTrue);
        EXPECT_EQ(QFileInfo(com->openDevice()).canonicalFilePath(), QFileInfo(back.slavePath).canonicalFilePath());
        EXPECT_EQ(com->SendCommand("gds\r"), 4);
        EXPECT_EQ(back.readFor(150), QByteArray("gds\r"));
        EXPECT_TRUE(other.readFor(20).isEmpty());
        com->CloseCOMPort();
        ASSERT_EQ(gone.count(), 1) << "the hang-up is reported once";
        EXPECT_EQ(gone[0][1].toString(), device);
        const QStringList lines = logLines();
        ASSERT_EQ(lines.size(), 1);
        EXPECT_TRUE(lines[0].startsWith(logged(": frmCOMx.PortGone: ") + device + " ")) << lines[0].toStdString();
    }
}

QByteArray lockText(qint64 pid) { return QByteArray::number(pid).rightJustified(10, ' ') + '\n'; }

// What is at a path, without following or opening it: a small file's bytes, else its type.
QByteArray lookAt(const QString& path) {
    struct stat st {};
    QFile f(path);
    if (::lstat(QFile::encodeName(path), &st) != 0) return "absent";
    return S_ISREG(st.st_mode) && st.st_size < 999 && f.open(QIODevice::ReadOnly) ? f.readAll()
                                                                                  : QByteArray::number(st.st_mode);
}

// Whatever sits at a lock name is judged without blocking, following a link or
// reading more than a lock's size. Only a running holder refuses the port; a
// stale lock is replaced and ours goes at close; anything else is said once
// however often the port reopens, and left alone.
TEST_F(PtyOwner, WhatSitsAtALockName) {
    if (::access("/run/lock", W_OK) != 0) GTEST_SKIP() << "no writable lock directory";
    ::alarm(60);  // a read that blocks would hang the program for good
    enum Plant { Fifo, Folder, Link, Huge, Device, Lock };
    const struct {
        const char* dir;
        Plant plant;
        QByteArray lock;
        QString reported;  // empty: nothing to say
    } rows[] = {
        {"/run/lock", Fifo, {}, "a named pipe"},     {"/tmp", Fifo, {}, "a named pipe"},
        {"/run/lock", Folder, {}, "a folder"},       {"/run/lock", Link, {}, "a symbolic link"},  // to /dev/null
        {"/tmp", Huge, {}, "1073741824 bytes"},      {"/run/lock", Device, {}, "a device"},
        {"/tmp", Lock, lockText(getppid()), {}},      // a running holder
        {"/run/lock", Lock, lockText(INT_MAX), {}},   // no such process
        {"/run/lock", Lock, lockText(getpid()), {}},  // left by an earlier process with our number
    };
    for (const auto& r : rows) {
        makeOwner(false);
        store(true, 1);
        QFile::remove(log.mainLogPath());
        PtyPair pty;
        ASSERT_TRUE(pty.ok());
        qputenv("KESTRO_COM1", pty.slavePath.toLocal8Bit());
        const QString own = "/run/lock/LCK.." + pty.slavePath.mid(5).replace('/', '_'), path = r.dir + own.mid(9);
        const QByteArray name = QFile::encodeName(path);
        SCOPED_TRACE(name.toStdString() + " " + r.lock.toStdString());
        auto clear = [&] {  // anything there is ours, or left by a failed run
            for (const QString& p : {own, path})
                (void)(QFile::remove(p) || QDir().rmdir(p));
        };
        clear();
        QFile file(path);
        const bool made = r.plant == Fifo     ? ::mkfifo(name, 0644) == 0
                          : r.plant == Folder ? ::mkdir(name, 0755) == 0
                          : r.plant == Link   ? ::symlink("/dev/null", name) == 0
                          : r.plant == Device ? ::mknod(name, S_IFCHR | 0644, makedev(1, 3)) == 0
                          : r.plant == Huge   ? file.open(QIODevice::WriteOnly) && file.resize(qint64(1) << 30)
                                              : file.open(QIODevice::WriteOnly) && file.write(r.lock) == r.lock.size();
        file.close();
        if (!made && r.plant == Device) continue;  // no devices may be made here
        ASSERT_TRUE(made);
        const QByteArray planted = lookAt(path);
        const bool opens = r.lock != lockText(getppid()), keptOwn = path == own && !r.reported.isEmpty();
        EXPECT_EQ(com->InitForm(), opens ? kTrue : kErrPortUnavailable);
        if (!opens) EXPECT_TRUE(messages.messages.value(0).detail.endsWith(QString("PID %1)").arg(getppid())));
        EXPECT_EQ(lookAt(own), keptOwn ? planted : opens ? lockText(getpid()) : "absent");
        EXPECT_EQ(com->SetCOMPort(1), opens ? kTrue : kErrPortUnavailable);  // a reconnect
        const QString said =
            logged(": frmCOMx.LockFile: lock file ") + path + " is not a lock file (" + r.reported + "); ignored";
        EXPECT_EQ(logLines().join('\n'), r.reported.isEmpty() ? QString() : said);
        com->CloseCOMPort();
        EXPECT_EQ(lookAt(own), keptOwn ? planted : "absent");
        EXPECT_EQ(lookAt(path), path == own && !keptOwn ? "absent" : planted);
        clear();
    }
    ::alarm(0);
    for (const QString& temp : QDir("/run/lock").entryList({"LTMP.*"}, QDir::Files))  // others' are theirs
        EXPECT_NE(lookAt("/run/lock/" + temp), lockText(getpid()));
}

TEST(SerialNamesTest, StableNamesAreLinksToPresentDevices) {
    QTemporaryDir tmp;
    const QString byId = tmp.filePath("by-id");
    ASSERT_TRUE(QDir().mkpath(byId));
    for (const char* node : {"ttyUSB0", "ttyUSB1"})
        ASSERT_TRUE(QFile(tmp.filePath(node)).open(QIODevice::WriteOnly));
    ASSERT_TRUE(QFile::link("../ttyUSB1", byId + "/usb-B"));
    ASSERT_TRUE(QFile::link(tmp.filePath("ttyUSB0"), byId + "/usb-A"));
    ASSERT_TRUE(QFile::link("../ttyUSB7", byId + "/usb-gone"));           // dangling
    ASSERT_TRUE(QFile(byId + "/not-a-link").open(QIODevice::WriteOnly));  // stray file
    const QList<StableSerialName> names = stableSerialNames(byId);
    ASSERT_EQ(names.size(), 2);
    EXPECT_EQ(names[0].link, byId + "/usb-A");
    EXPECT_EQ(names[0].target, QFileInfo(tmp.filePath("ttyUSB0")).canonicalFilePath());
    EXPECT_EQ(names[1].link, byId + "/usb-B");
    EXPECT_EQ(names[1].target, QFileInfo(tmp.filePath("ttyUSB1")).canonicalFilePath());
    EXPECT_EQ(stableNameFor(tmp.filePath("ttyUSB1"), byId), byId + "/usb-B");
    EXPECT_EQ(stableNameFor(byId + "/usb-B", byId), "");  // stable already
    EXPECT_EQ(stableNameFor(tmp.filePath("ttyUSB7"), byId), "");
    EXPECT_TRUE(stableSerialNames(tmp.filePath("no-such-dir")).isEmpty());
}

// A busy port names who has it by its lock file or descriptor. Draining waits only for an open line.
TEST(PosixSerialPortTest, ABusyPortSaysWhoHasItAndDrainWaitsForAnOpenLine) {
    for (const bool byPort : {true, false}) {  // held by our port, or by a descriptor lock
        SCOPED_TRACE(byPort);
        PtyPair pty;
        ASSERT_TRUE(pty.ok());
        PosixSerialPort first, second;
        int16_t errNo = 0;
        QString reason;
        const int fd = ::open(QFile::encodeName(pty.slavePath), O_RDWR | O_NOCTTY);
        if (byPort) {
            EXPECT_FALSE(first.drain(100));
            ASSERT_TRUE(first.open(pty.slavePath, &errNo, &reason)) << reason.toStdString();
            ASSERT_EQ(first.write("LDK 0\r"), 6);
            EXPECT_TRUE(first.flush(500) && first.drain(500));
            EXPECT_EQ(pty.readFor(100), QByteArray("LDK 0\r"));
        } else {
            ASSERT_EQ(::flock(fd, LOCK_EX), 0);
        }
        EXPECT_FALSE(second.open(pty.slavePath, &errNo, &reason));
        EXPECT_EQ(errNo, kErrPortUnavailable);
        // The holder runs under our own name: a copy of this program, without --instance.
        EXPECT_EQ(reason, QString("port %1 is used by the instance without a name (PID %2)")
                              .arg(QFileInfo(pty.slavePath).canonicalFilePath())
                              .arg(getpid()));
        first.close();
        ::close(fd);
        EXPECT_TRUE(second.open(pty.slavePath, &errNo, &reason)) << reason.toStdString();
    }
}

// Reads held back on the hold-off grid (five times as long while lines keep
// coming), with the clock driven by hand and hold-offs far longer than the
// test (endHoldOff plays the timer): nothing complete waits past the next grid
// point, every byte comes once, in order.
TEST(PosixSerialPortTest, HeldReadsEndOnTheGridAndKeepEveryByte) {
    enum Act { Arrive, End, Tick };
    struct Step {
        qint64 at;
        QByteArray bytes;
        Act act;
        QByteArray delivered;  // all delivered so far
        int holdLeft;          // -1: watching
    };
    const struct {
        const char* what;
        int holdOff;
        std::vector<Step> steps;
    } rows[] = {
        {"a piece of a line holds; the rest waits for the grid point",
         20000,
         {{1000, "lp 7", Arrive, "lp 7", 19000},
          {1000, "34 0\rlp 8", Arrive, "lp 7", 19000},
          {20000, "", End, "lp 734 0\rlp 8", 20000},
          {40000, "00 0\r", End, "lp 734 0\rlp 800 0\r", 60000},  // a busy line holds to the busy grid
          {60000, "", End, "lp 734 0\rlp 800 0\r", -1},
          {200000, "gds 11233\r", Arrive, "lp 734 0\rlp 800 0\rgds 11233\r", -1}}},
        {"the poll tick reads during a hold, which goes on to the grid point",
         20000,
         {{1000, "p 4", Arrive, "p 4", 19000},
          {1000, "8A6", Arrive, "p 4", 19000},
          {5000, "", Tick, "p 48A6", 15000},
          {21000, "0\r", End, "p 48A60\r", 79000}}},
        {"after a quiet spell only an unfinished line holds",
         20000,
         {{1000, "gds 1", Arrive, "gds 1", 19000}, {20000, "1233\r", End, "gds 11233\r", -1}}},
        {"without a hold-off every piece is read at once",
         0,
         {{1000, "lp 7", Arrive, "lp 7", -1}, {1000, "34 0\r", Arrive, "lp 734 0\r", -1}}},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.what);
        PtyPair pty;
        qint64 now = 0;
        PosixSerialPort port(r.holdOff, [&] { return now; });
        port.setBusyHoldOffMs(5 * r.holdOff);
        ASSERT_TRUE(pty.ok() && pty.write("lp 1 0\r"));  // before the open: answers nothing asked
        ASSERT_TRUE(waitUntil([&] { return pty.queued() == 7; }));
        ASSERT_TRUE(port.open(pty.slavePath, nullptr, nullptr));
        QByteArray got;
        QObject::connect(&port, &SerialPort::dataReceived, [&] { got += port.readAll(); });
        qsizetype written = 0;
        for (const Step& step : r.steps) {
            now = step.at;
            ASSERT_TRUE(pty.write(step.bytes));
            written += step.bytes.size();
            if (step.act == Arrive && step.delivered.size() > got.size()) {
                waitUntil([&] { return got.size() >= step.delivered.size(); });
            } else {  // held: once the driver has the bytes, a watching port would read them now
                waitUntil([&] { return pty.queued() == written - got.size(); });
                QCoreApplication::processEvents();
            }
            if (step.act == End) port.endHoldOff();
            if (step.act == Tick) got += port.readAll();
            EXPECT_EQ(got, step.delivered);
            EXPECT_EQ(port.holdOffLeftMs(), step.holdLeft);
        }
    }
}

// The event loop held up (a slow sync of a busy disk) when the adapter is
// pulled: the driver drops what it still holds, so what had waited there must
// already be in memory, and comes before the loss is reported.
TEST(PosixSerialPortTest, BytesWaitingWhileTheEventLoopIsHeldUpSurviveAnUnplug) {
    PtyPair pty;
    PosixSerialPort port(0);
    ASSERT_TRUE(pty.ok() && port.open(pty.slavePath, nullptr, nullptr));
    QByteArray got;
    QObject::connect(&port, &SerialPort::dataReceived, [&] { got += port.readAll(); });
    QSignalSpy gone(&port, &SerialPort::portGone);
    ASSERT_TRUE(pty.write("p 3F8000000\rlp 65"));
    for (const int left : {17, 0})  // no event is processed meanwhile
        for (QDeadlineTimer d(5000); pty.queued() != left && !d.hasExpired();)
            QThread::msleep(1);
    pty.closeMaster();
    waitUntil([&] { return gone.count() > 0; });
    EXPECT_EQ(got, "p 3F8000000\rlp 65");
    EXPECT_EQ(gone.count(), 1);
}

// While reads are held, commands go out at once and a hang-up is found at
// the hold's end, reported once.
TEST(PosixSerialPortTest, WritesAndAHangUpDuringAHold) {
    PtyPair pty;
    qint64 now = 1000;
    PosixSerialPort port(20000, [&] { return now; });
    ASSERT_TRUE(pty.ok() && port.open(pty.slavePath, nullptr, nullptr));
    QSignalSpy gone(&port, &SerialPort::portGone);
    ASSERT_TRUE(pty.write("lp 7"));
    ASSERT_TRUE(waitUntil([&] { return port.holdOffLeftMs() > 0; }));
    EXPECT_EQ(port.readAll(), "lp 7");
    const QByteArray block(200000, 'x');  // more than the driver takes at once: queued, in order
    EXPECT_EQ(port.write(block), block.size());
    QByteArray out(4096, 0);
    out.resize(std::max<ssize_t>(::read(pty.master, out.data(), out.size()), 0));
    QThread::msleep(20);  // the driver has room again, the queue waits for the event loop
    EXPECT_EQ(port.write("gds\r"), 4);
    waitUntil([&] { return (out += pty.readFor(0)).size() >= block.size() + 4; }, 5000);
    EXPECT_EQ(out, block + "gds\r");
    pty.closeMaster();
    port.endHoldOff();
    EXPECT_EQ(gone.count(), 1);
    EXPECT_EQ(port.holdOffLeftMs(), -1);
    EXPECT_TRUE(port.readAll().isEmpty());
    EXPECT_EQ(port.write("gds\r"), -1);
    EXPECT_EQ(gone.count(), 1);
}

TEST(PosixSerialPortTest, OpenFailuresCarryTheirNumberAndTheSystemsWords) {
    QTemporaryDir tmp;
    ASSERT_TRUE(tmp.isValid() && QFile(tmp.filePath("not-a-tty")).open(QIODevice::WriteOnly));
    ASSERT_TRUE(QFile::link(tmp.filePath("gone-target"), tmp.filePath("by-id")));
    const std::pair<QString, int16_t> rows[] = {
        {tmp.filePath("ttyUSB9"), kErrPortNotFound},
        {tmp.filePath("by-id"), kErrPortNotFound},
        {QString(), kErrPortNotFound},
        {tmp.filePath("not-a-tty"), kErrPortUnavailable},
        {tmp.path(), kErrPortUnavailable},
    };
    for (const auto& [path, expectedErrNo] : rows) {
        SCOPED_TRACE(path.toStdString());
        PosixSerialPort port;
        int16_t errNo = 0;
        QString reason;
        EXPECT_FALSE(port.open(path, &errNo, &reason));
        EXPECT_EQ(errNo, expectedErrNo);
        EXPECT_FALSE(reason.isEmpty());
        EXPECT_FALSE(port.isOpen());
    }
}

}  // namespace
}  // namespace kestro::test
