#pragma once
// Owner of the one serial port: opens the stored or a given port, reports and
// closes it, sends commands, feeds received characters to the protocol, and
// runs the stop sequence.
//
// CONTRACT (names binding, internals free). Results are 16-bit: kTrue (-1) on
// success, 1 when no port is stored, 82 or 8002 when the port cannot be opened.

#include "protocol/ProtocolState.h"

#include <QObject>
#include <QString>
#include <functional>
#include <memory>

namespace kestro {

class EventLog;
class MessageSink;
class SerialPort;
class cRegistry;

// Our own error number: a command of the stop sequence did not reach the port.
constexpr int32_t kErrPortWrite = 8020;

class frmCOMx : public QObject {
    Q_OBJECT
public:
    using PortFactory = std::function<std::unique_ptr<SerialPort>()>;

    frmCOMx(ProtocolState& ps, cRegistry& RegObj, const EventLog& log, MessageSink& messages, PortFactory makePort,
            QObject* parent = nullptr);
    ~frmCOMx() override;

    int16_t InitForm();                   // open the stored port
    int16_t SetCOMPort(int16_t COMPort);  // open a given port (no message, no store write)
    int16_t GetCOMPort() const;           // number of the open port, 0 when none
    int16_t CloseCOMPort();               // always kTrue
    // Stop sequence without ending the process: "SMM 0", "LDK 0" when open
    // (flushed to the wire with a bounded wait), close, log ": Application stopped".
    void FormUnload();
    // Writes text (with its CR) when the port is open; returns len, or 0 when closed.
    int SendCommand(const QString& text, int len);
    int SendCommand(const QString& textWithCr) { return SendCommand(textWithCr, textWithCr.size()); }

    // Device path of port number n (1..4): env KESTRO_COMn, then the text value
    // "COMnDevice" of the device section, then a default for this machine.
    QString DevicePathForPort(int16_t n) const;
    QString Tag() const { return tag_; }  // the open-port record: "0" when closed
    // The mapped device path of port n exists (reconnect logic polls this).
    bool DeviceExists(int16_t n) const;
    // Directory whose ttyUSB, ttyACM and ttyS nodes the default mapping looks at
    // ("/dev"; tests point it elsewhere).
    void SetDeviceDirectory(const QString& dir);

signals:
    // The open port vanished; the port has already been closed (from a queued call).
    void portGone(int16_t port, const QString& device, const QString& reason);

private:
    struct Impl;
    std::unique_ptr<Impl> d;
    QString tag_ = QStringLiteral("0");
};

}  // namespace kestro
