#pragma once
// The serial port behind a small interface: a terminal device in the program,
// a fake in unit tests, a real pseudo-terminal in end-to-end tests.

#include "core/Errors.h"

#include <QByteArray>
#include <QObject>
#include <QString>

namespace kestro {

class SerialPort : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;
    ~SerialPort() override = default;

    // Opens device at 9600,N,8,1, no handshaking. On failure returns false and
    // sets errNo (82 or 8002) and reason (the system's words).
    virtual bool open(const QString& device, int16_t* errNo, QString* reason) = 0;
    virtual void close() = 0;
    virtual bool isOpen() const = 0;
    // Modem lines; a device without them (pseudo-terminal) is not a failure.
    virtual void setDataTerminalReady(bool on) = 0;
    virtual void setRequestToSend(bool on) = 0;
    virtual qint64 write(const QByteArray& data) = 0;
    // Waits at most timeoutMs for queued output to reach the device.
    virtual bool flush(int timeoutMs) = 0;
    // Waits at most timeoutMs until the device has sent everything written to it
    // out on the line. False when it has not.
    virtual bool drain(int timeoutMs) = 0;
    virtual QByteArray readAll() = 0;
    virtual QString device() const = 0;

signals:
    void dataReceived();
    // The device vanished (unplugged, pseudo-terminal closed). Emitted once per loss.
    void portGone(const QString& reason);
    // Something that is no lock file (what: a named pipe, a folder, ...) sits at
    // a lock file's name; it is left alone and holds nothing.
    void lockFileIgnored(const QString& path, const QString& what);
};

}  // namespace kestro
