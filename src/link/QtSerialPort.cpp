#include "link/QtSerialPort.h"

#include <QDeadlineTimer>
#include <QFileInfo>

#include <poll.h>
#include <unistd.h>
#include <cerrno>
#include <cstring>

namespace kestro {

namespace {

bool PathExists(const QString& path) {
    // exists() follows symlinks: a dangling /dev/serial/by-id link is a missing device.
    return !path.isEmpty() && QFileInfo::exists(path);
}

}  // namespace

QtSerialPort::QtSerialPort(QObject* parent) : SerialPort(parent) {
    connect(&port_, &QSerialPort::readyRead, this, &SerialPort::dataReceived);
    connect(&port_, &QSerialPort::errorOccurred, this, &QtSerialPort::OnError);
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
    if (!PathExists(device)) return fail(kErrPortNotFound, QString::fromLocal8Bit(std::strerror(ENOENT)));

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
        // what tells the user to join the dialout group.
        const QByteArray native = QFile::encodeName(device);
        if (::access(native.constData(), R_OK | W_OK) != 0 && errno == EACCES)
            why = QString::fromLocal8Bit(std::strerror(EACCES));
        port_.clearError();
        // The device may have vanished between the check and the open.
        return fail(
            err == QSerialPort::DeviceNotFoundError || !PathExists(device) ? kErrPortNotFound : kErrPortUnavailable,
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
    return port_.write(data);
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

QByteArray QtSerialPort::readAll() {
    if (!port_.isOpen()) return {};
    QByteArray data = port_.readAll();
    // A readable descriptor that yields nothing, on a device node that is gone:
    // the adapter was pulled without an error being raised.
    if (data.isEmpty() && !gone_ && !PathExists(device_)) ReportGone(QString::fromLocal8Bit(std::strerror(ENODEV)));
    return data;
}

void QtSerialPort::OnError(QSerialPort::SerialPortError error) {
    if (error == QSerialPort::NoError || gone_ || !port_.isOpen()) return;
    switch (error) {
        case QSerialPort::ResourceError:
        case QSerialPort::ReadError:
            // Qt keeps raising these at full speed while the descriptor stays dead;
            // only the first one counts.
            ReportGone(GoneReason());
            break;
        case QSerialPort::WriteError:
            if (!PathExists(device_)) ReportGone(port_.errorString());
            break;
        default:
            break;
    }
}

// After a hangup the read yields end of file, and Qt then shows whatever error
// text came last (often a modem-line ioctl): say what really happened.
QString QtSerialPort::GoneReason() const {
    if (!PathExists(device_)) return QString::fromLocal8Bit(std::strerror(ENODEV));
    pollfd p{static_cast<int>(port_.handle()), POLLIN, 0};
    if (::poll(&p, 1, 0) > 0 && (p.revents & (POLLHUP | POLLERR))) return QStringLiteral("The line was hung up");
    return port_.errorString();
}

void QtSerialPort::ReportGone(const QString& reason) {
    gone_ = true;
    emit portGone(reason);
}

}  // namespace kestro
