#pragma once
// Owner of the one serial port: opens the stored or a given port, reports and
// closes it, sends commands, feeds received characters to the protocol, and
// runs the stop sequence.
//
// CONTRACT (names binding, internals free). Results are 16-bit: kTrue (-1) on
// success, 1 when no port is stored, 82 or 8002 when the port cannot be opened.

#include "core/Errors.h"
#include "protocol/MeterCommands.h"

#include <QObject>
#include <QString>
#include <array>
#include <functional>
#include <memory>
#include <string_view>

namespace kestro {

class EventLog;
class MessageSink;
class SerialPort;
class cRegistry;

class frmCOMx : public QObject {
    Q_OBJECT
public:
    using PortFactory = std::function<std::unique_ptr<SerialPort>()>;

    // Without makePort the port is a PosixSerialPort with this run's read hold-off.
    frmCOMx(cRegistry& RegObj, const EventLog& log, MessageSink& messages, PortFactory makePort,
            QObject* parent = nullptr);
    ~frmCOMx() override;

    // Wired by the session: the receive event of the protocol (what the port
    // received), and the reset of its receive buffer when the stored port opens.
    std::function<void(std::string_view data)> onReceived;
    std::function<void()> onOpened;

    int16_t InitForm();                   // open the stored port
    int16_t SetCOMPort(int16_t COMPort);  // open a given port (no message, no store write)
    int16_t GetCOMPort() const;           // number of the open port, 0 when none
    int16_t CloseCOMPort();               // always kTrue
    // Stop sequence without ending the process: meter::kStop when open
    // (sent out on the line, with a bounded wait, before DTR and RTS drop),
    // close, log ": Application stopped".
    void FormUnload();
    // Writes text (with its CR) when the port is open; returns len, or 0 when closed.
    int SendCommand(const QString& text, int len);
    int SendCommand(const QString& textWithCr) { return SendCommand(textWithCr, textWithCr.size()); }
    // Hands what the port has received, also what it holds back to save
    // wake-ups, to the receive framing: at every poll tick and before samples
    // are handed off, so none arrives later than that.
    void receivePending();

    // Device path of port number n (1..4): a value set for this run (--port),
    // env KESTRO_COMn, the text value "COMnDevice" of the device section, then a
    // default for this machine.
    QString devicePathForPort(int16_t n) const;
    // The path port n opens: devicePathForPort(n), or, when that no longer leads
    // to the adapter last opened as port n (it came back under another ttyUSB
    // number), that adapter's stable name under serial/by-id.
    QString pathToOpen(int16_t n) const;
    // The device port n would open exists (reconnect logic polls this).
    bool deviceExists(int16_t n) const;
    // The device path of the open port; empty when closed.
    QString openDevice() const;
    // Directory whose ttyUSB, ttyACM and ttyS nodes the default mapping looks at,
    // with the stable names in its serial/by-id ("/dev"; tests point it elsewhere).
    void setDeviceDirectory(const QString& dir);

signals:
    // The open port vanished; the port has already been closed (from a queued call).
    void portGone(int16_t port, const QString& device, const QString& reason);
    // Something other than a lock file sits at a lock file's name: said once
    // per name for the life of the owner, however often the port is reopened.
    void lockFileIgnored(const QString& text);

private:
    // Opens port n with the full line setup; on failure the port stays closed and
    // errNo/device/reason say why.
    bool openNumbered(qlonglong n, int16_t* errNo, QString* device, QString* reason);
    // devicePathForPort; mappingKey: the configured path, or empty for the default mapping.
    QString mapPort(int16_t n, QString* mappingKey) const;

    struct Impl;
    std::unique_ptr<Impl> d_;
    QString tag_ = QStringLiteral("0");
};

// What the setup dialog shows of a port: the device it maps to and whether it opens.
struct PortProbe {
    QString path;
    bool opens = false;
};
// Ports 1 to 4, all mapped before any is opened; the port is left closed, so
// the poll cycle does not query whatever sits on the last one tried.
std::array<PortProbe, 5> probePorts(frmCOMx& com);

}  // namespace kestro
