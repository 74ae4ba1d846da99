#include "link/QtSerialPort.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QFileInfo>
#include <QLockFile>

#include <poll.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>
#include <algorithm>
#include <cerrno>
#include <cstring>

namespace kestro {

namespace {

bool pathExists(const QString& path) {
    // exists() follows symlinks: a dangling /dev/serial/by-id link is a missing device.
    return !path.isEmpty() && QFileInfo::exists(path);
}

// Who holds the lock file QSerialPort keeps for device: "name, PID n", or empty.
// The file's place and name follow QSerialPort's own rule.
QString lockOwner(const QString& device) {
    QString name = device.startsWith(QLatin1String("/dev/")) ? device.mid(5) : device;
    name.replace(QLatin1Char('/'), QLatin1Char('_'));
    for (const char* dir : {"/var/lock", "/etc/locks", "/var/spool/locks", "/var/spool/uucp", "/tmp", "/var/tmp",
                            "/var/lock/lockdev", "/run/lock"}) {
        const QString path = QLatin1String(dir) + QStringLiteral("/LCK..") + name;
        if (!QFileInfo::exists(path)) continue;
        qint64 pid = 0;
        QString host;
        QString app;
        if (!QLockFile(path).getLockInfo(&pid, &host, &app) || pid <= 0) continue;
        QFile comm(QStringLiteral("/proc/%1/comm").arg(pid));
        if (comm.open(QIODevice::ReadOnly)) app = QString::fromLocal8Bit(comm.readAll()).trimmed();
        return app.isEmpty() ? QStringLiteral("PID %1").arg(pid) : QStringLiteral("%1, PID %2").arg(app).arg(pid);
    }
    return QString();
}

// 9600 baud, 10 bits a character.
constexpr int kCharacterMicroseconds = 1000000 * 10 / 9600 + 1;

}  // namespace

QtSerialPort::QtSerialPort(QObject* parent) : SerialPort(parent) {
    connect(&port_, &QSerialPort::readyRead, this, &SerialPort::dataReceived);
    connect(&port_, &QSerialPort::errorOccurred, this, &QtSerialPort::onError);
}

QtSerialPort::~QtSerialPort() {
    port_.disconnect(this);
    if (port_.isOpen()) port_.close();
}

bool QtSerialPort::open(const QString& device, int16_t* errNo, QString* reason) {
    if (port_.isOpen()) port_.close();
    device_ = device;
    gone_ = false;
    auto fail = [&](int16_t n, const QString& why) {
        if (errNo) *errNo = n;
        if (reason) *reason = why;
        return false;
    };
    if (!pathExists(device)) return fail(kErrPortNotFound, QString::fromLocal8Bit(std::strerror(ENOENT)));

    port_.setPortName(device);
    port_.setBaudRate(QSerialPort::Baud9600);
    port_.setDataBits(QSerialPort::Data8);
    port_.setParity(QSerialPort::NoParity);
    port_.setStopBits(QSerialPort::OneStop);
    port_.setFlowControl(QSerialPort::NoFlowControl);
    if (!port_.open(QIODevice::ReadWrite)) {
        const QSerialPort::SerialPortError err = port_.error();
        QString why = port_.errorString();
        // The lock-file wording hides the real cause; the kernel's own words are
        // what tells the user to join the dialout group. Allowed but refused means
        // another program holds the device (its lock file, or exclusive use).
        const QByteArray native = QFile::encodeName(device);
        if (::access(native.constData(), R_OK | W_OK) != 0 && errno == EACCES) {
            why = QString::fromLocal8Bit(std::strerror(EACCES));
        } else if (err == QSerialPort::PermissionError) {
            const QString owner = lockOwner(device);
            why = QStringLiteral("The device is in use by another program") +
                  (owner.isEmpty() ? QString() : QStringLiteral(" (") + owner + QLatin1Char(')'));
        }
        port_.clearError();
        // The device may have vanished between the check and the open.
        return fail(
            err == QSerialPort::DeviceNotFoundError || !pathExists(device) ? kErrPortNotFound : kErrPortUnavailable,
            why);
    }
    // Bytes that reached the line before we opened it answer nothing we asked.
    port_.clear(QSerialPort::Input);
    return true;
}

void QtSerialPort::close() {
    if (port_.isOpen()) port_.close();
    port_.clearError();
}

bool QtSerialPort::isOpen() const { return port_.isOpen(); }

// A pseudo-terminal has no modem lines; the refusal is harmless.
void QtSerialPort::setDataTerminalReady(bool on) {
    if (port_.isOpen() && !gone_ && !port_.setDataTerminalReady(on)) port_.clearError();
}

void QtSerialPort::setRequestToSend(bool on) {
    if (port_.isOpen() && !gone_ && !port_.setRequestToSend(on)) port_.clearError();
}

qint64 QtSerialPort::write(const QByteArray& data) {
    if (!port_.isOpen() || gone_) return -1;
    // A command fits the driver's buffer: written at once it needs no write
    // notifier and no extra turn of the event loop. What the driver does not
    // take (or what would overtake bytes still queued) goes the queued way, in
    // order, and a failure is raised there as before.
    qint64 done = 0;
    if (port_.bytesToWrite() == 0) {
        const ssize_t n = ::write(static_cast<int>(port_.handle()), data.constData(), size_t(data.size()));
        if (n == data.size()) return n;
        done = n > 0 ? n : 0;
    }
    const qint64 rest = port_.write(data.constData() + done, data.size() - done);
    return rest < 0 ? (done > 0 ? done : -1) : done + rest;
}

bool QtSerialPort::flush(int timeoutMs) {
    if (!port_.isOpen() || gone_) return false;
    QDeadlineTimer deadline(timeoutMs);
    while (port_.bytesToWrite() > 0) {
        const qint64 left = deadline.remainingTime();
        if (left <= 0 || gone_) break;
        if (!port_.waitForBytesWritten(static_cast<int>(left)) && port_.bytesToWrite() > 0 &&
            port_.error() != QSerialPort::NoError && port_.error() != QSerialPort::TimeoutError)
            break;
    }
    if (port_.error() == QSerialPort::TimeoutError) port_.clearError();
    return port_.bytesToWrite() == 0;
}

bool QtSerialPort::drain(int timeoutMs) {
    if (!port_.isOpen() || gone_) return false;
    // tcdrain() could wait forever on a wedged adapter; the driver's count of
    // unsent bytes can be polled against a deadline instead.
    const int fd = static_cast<int>(port_.handle());
    QDeadlineTimer deadline(timeoutMs);
    for (;;) {
        int unsent = 0;
        if (::ioctl(fd, TIOCOUTQ, &unsent) != 0) return false;
        if (unsent <= 0) break;
        if (deadline.hasExpired()) return false;
        ::usleep(static_cast<useconds_t>(std::min(unsent, 4) * kCharacterMicroseconds));
    }
    // The count is zero while the transmitter still shifts out its last character.
    ::usleep(2 * kCharacterMicroseconds);
    return true;
}

QByteArray QtSerialPort::readAll() {
    if (!port_.isOpen()) return {};
    QByteArray data = port_.readAll();
    // A readable descriptor that yields nothing, on a device node that is gone:
    // the adapter was pulled without an error being raised.
    if (data.isEmpty() && !gone_ && !pathExists(device_)) reportGone(QString::fromLocal8Bit(std::strerror(ENODEV)));
    return data;
}

void QtSerialPort::onError(QSerialPort::SerialPortError error) {
    if (error == QSerialPort::NoError || gone_ || !port_.isOpen()) return;
    switch (error) {
        case QSerialPort::ResourceError:
        case QSerialPort::ReadError:
            // Qt keeps raising these at full speed while the descriptor stays dead;
            // only the first one counts.
            reportGone(goneReason());
            break;
        case QSerialPort::WriteError:
            if (!pathExists(device_)) reportGone(port_.errorString());
            break;
        default:
            break;
    }
}

// After a hangup the read yields end of file, and Qt then shows whatever error
// text came last (often a modem-line ioctl): say what really happened.
QString QtSerialPort::goneReason() const {
    if (!pathExists(device_)) return QString::fromLocal8Bit(std::strerror(ENODEV));
    pollfd p{static_cast<int>(port_.handle()), POLLIN, 0};
    if (::poll(&p, 1, 0) > 0 && (p.revents & (POLLHUP | POLLERR))) return QStringLiteral("The line was hung up");
    return port_.errorString();
}

void QtSerialPort::reportGone(const QString& reason) {
    gone_ = true;
    emit portGone(reason);
}

}  // namespace kestro
