#pragma once
// A serial port in memory for tests: records what is written and how the port
// was driven, and delivers injected received bytes through dataReceived.

#include "link/SerialPort.h"

#include <QHash>
#include <QStringList>

#include <functional>
#include <memory>

namespace kestro {

class FakeSerialPort final : public SerialPort {
    Q_OBJECT
public:
    using SerialPort::SerialPort;

    // A port factory for the link owner; `latest` always points at the port it made last.
    static std::function<std::unique_ptr<SerialPort>()> factoryInto(FakeSerialPort*& latest) {
        return [&latest] {
            auto p = std::make_unique<FakeSerialPort>();
            latest = p.get();
            return p;
        };
    }

    bool open(const QString& device, int16_t* errNo, QString* reason) override;
    void close() override;
    bool isOpen() const override { return open_; }
    void setDataTerminalReady(bool on) override;
    void setRequestToSend(bool on) override;
    qint64 write(const QByteArray& data) override;
    bool flush(int timeoutMs) override;
    bool drain(int timeoutMs) override;
    QByteArray readAll() override;
    QString device() const override { return device_; }

    // Opening device fails with errNo (82 or 8002) and reason until cleared.
    void setOpenFailure(const QString& device, int16_t errNo, const QString& reason) {
        failures_.insert(device, Failure{errNo, reason});
    }
    // Writes fail (return -1, nothing recorded) while set.
    void setWriteFails(bool fails) { writeFails_ = fails; }
    // Results of flush() and drain(); the bytes stay recorded either way.
    void setFlushResult(bool ok) { flushOk_ = ok; }
    void setDrainResult(bool ok) { drainOk_ = ok; }

    // Queues bytes as received and emits dataReceived (only while open, as a real port).
    void feed(const QByteArray& data);
    // Reports the loss of the open device once, as a vanished adapter does.
    void simulateGone(const QString& reason = QStringLiteral("Input/output error"));

    // Written text split at carriage returns; an unfinished tail is not a command.
    QStringList commands() const;
    void clearWritten() { written_.clear(); }
    // "open <device>", "close <device>", "dtr 1", "rts 0", "flush", "drain", in order.
    QStringList history() const { return history_; }
    void clearHistory() { history_.clear(); }
    int openCount() const { return openCount_; }

private:
    struct Failure {
        int16_t errNo;
        QString reason;
    };
    QHash<QString, Failure> failures_;
    QString device_;
    bool open_ = false;
    bool gone_ = false;
    bool writeFails_ = false;
    bool flushOk_ = true;
    bool drainOk_ = true;
    int openCount_ = 0;
    QByteArray written_;
    QByteArray rx_;
    QStringList history_;
};

}  // namespace kestro
