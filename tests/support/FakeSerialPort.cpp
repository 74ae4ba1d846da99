#include "support/FakeSerialPort.h"

namespace kestro {

bool FakeSerialPort::open(const QString& device, int16_t* errNo, QString* reason) {
    if (open_) close();
    const auto it = failures_.constFind(device);
    if (it != failures_.constEnd()) {
        history_ << QStringLiteral("open-failed ") + device;
        if (errNo) *errNo = it->errNo;
        if (reason) *reason = it->reason;
        return false;
    }
    device_ = device;
    open_ = true;
    gone_ = false;
    rx_.clear();
    ++openCount_;
    history_ << QStringLiteral("open ") + device;
    return true;
}

void FakeSerialPort::close() {
    if (!open_) return;
    open_ = false;
    rx_.clear();
    history_ << QStringLiteral("close ") + device_;
}

void FakeSerialPort::setDataTerminalReady(bool on) {
    if (!open_) return;
    history_ << QStringLiteral("dtr %1").arg(on ? 1 : 0);
}

void FakeSerialPort::setRequestToSend(bool on) {
    if (!open_) return;
    history_ << QStringLiteral("rts %1").arg(on ? 1 : 0);
}

qint64 FakeSerialPort::write(const QByteArray& data) {
    if (!open_ || gone_ || writeFails_) return -1;
    written_ += data;
    return data.size();
}

bool FakeSerialPort::flush(int) {
    history_ << QStringLiteral("flush");
    return open_ && !gone_ && flushOk_;
}

bool FakeSerialPort::drain(int) {
    history_ << QStringLiteral("drain");
    return open_ && !gone_ && drainOk_;
}

QByteArray FakeSerialPort::readAll() {
    QByteArray out;
    out.swap(rx_);
    return out;
}

void FakeSerialPort::feed(const QByteArray& data) {
    if (!open_) return;
    rx_ += data;
    emit dataReceived();
}

void FakeSerialPort::simulateGone(const QString& reason) {
    if (!open_ || gone_) return;
    gone_ = true;
    emit portGone(reason);
}

QStringList FakeSerialPort::commands() const {
    QStringList out = QString::fromLatin1(written_).split(QLatin1Char('\r'));
    out.removeLast();  // an unfinished tail is not a command
    return out;
}

}  // namespace kestro
