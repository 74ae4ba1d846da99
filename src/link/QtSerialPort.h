#pragma once
// The program's serial port: a QSerialPort at 9600,N,8,1 without handshaking.

#include "link/SerialPort.h"

#include <QSerialPort>

namespace kestro {

class QtSerialPort final : public SerialPort {
    Q_OBJECT
public:
    explicit QtSerialPort(QObject* parent = nullptr);
    ~QtSerialPort() override;

    bool open(const QString& device, int16_t* errNo, QString* reason) override;
    void close() override;
    bool isOpen() const override;
    void setDataTerminalReady(bool on) override;
    void setRequestToSend(bool on) override;
    qint64 write(const QByteArray& data) override;
    bool flush(int timeoutMs) override;
    bool drain(int timeoutMs) override;
    QByteArray readAll() override;
    QString device() const override { return device_; }

    // True after the loss of the open device was reported (until the next open).

private:
    void onError(QSerialPort::SerialPortError error);
    void reportGone(const QString& reason);
    QString goneReason() const;

    QSerialPort port_;
    QString device_;
    bool gone_ = false;
};

}  // namespace kestro
