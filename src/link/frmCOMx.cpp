#include "link/frmCOMx.h"

#include "link/PosixSerialPort.h"
#include "link/SerialNames.h"
#include "link/SerialPort.h"
#include "settings/RecorderSettings.h"
#include "settings/cRegistry.h"
#include "shell/Diagnostics.h"
#include "shell/EventLog.h"
#include "shell/Messages.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QSet>
#include <QTimer>

#include <array>
#include <exception>
#include <string_view>

namespace kestro {

namespace {

constexpr int kFirstPort = 1;
constexpr int kLastPort = 4;
// Long enough for a dozen characters at 9600 baud, short enough not to stall the exit.
constexpr int kStopFlushMs = 500;
// Twelve characters take 13 ms on the line; an adapter's own buffer may add some.
constexpr int kStopDrainMs = 500;

const QString kInitFormError = QString::fromLatin1(label::kComInitForm);
const QString kSetCOMPortError = QString::fromLatin1(label::kSetComPort);
const QString kFormUnloadError = QString::fromLatin1(label::kComFormUnload);
const QString kPortGone = QString::fromLatin1(label::kPortGone);

const QString kDialoutHint =
    QStringLiteral("Add your user to the dialout group: sudo usermod -aG dialout $USER, then log in again.");

bool inRange(qlonglong n) { return n >= kFirstPort && n <= kLastPort; }

// The box's detailed text: where we looked and what the system said.
QString failureDetail(qlonglong port, const QString& device, const QString& reason) {
    if (!inRange(port)) return QStringLiteral("Only COM1 to COM4 can be used.");
    QString detail = QStringLiteral("Device: ") + device;
    if (!reason.isEmpty()) detail += QStringLiteral("\nReason: ") + reason;
    if (reason.contains(QLatin1String("permission denied"), Qt::CaseInsensitive))
        detail += QStringLiteral("\n\n") + kDialoutHint;
    return detail;
}

}  // namespace

struct frmCOMx::Impl {
    Impl(cRegistry& r, const EventLog& l, MessageSink& m) : reg(r), log(l), messages(m) {}

    cRegistry& reg;
    const EventLog& log;
    MessageSink& messages;
    std::unique_ptr<SerialPort> port;
    QString deviceDir = QStringLiteral("/dev");
    // Per port: the mapping it was last opened through and the stable name of the
    // adapter found there, so a replug under another number finds it again.
    struct Remembered {
        QString mapping;  // the mapping's key at that open (see mapPort)
        QString stable;   // serial/by-id link of that device
    };
    std::array<Remembered, 5> remembered{};
    // Counts opens and closes, so a queued close for a lost port never hits a
    // port that was reopened in the meantime.
    quint64 generation = 0;
    bool gone = false;           // loss reported, queued close pending
    QSet<QString> notLockFiles;  // reported already

    bool usable() const { return port->isOpen() && !gone; }
};

frmCOMx::frmCOMx(cRegistry& RegObj, const EventLog& log, MessageSink& messages, PortFactory makePort, QObject* parent)
    : QObject(parent), d_(std::make_unique<Impl>(RegObj, log, messages)) {
    if (makePort) d_->port = makePort();
    if (!d_->port) d_->port = std::make_unique<PosixSerialPort>(readHoldOffMs());

    connect(d_->port.get(), &SerialPort::dataReceived, this, &frmCOMx::receivePending);

    // A reconnect looks at the lock names again: a planted pipe is no news then.
    connect(d_->port.get(), &SerialPort::lockFileIgnored, this, [this](const QString& path, const QString& what) {
        if (d_->notLockFiles.contains(path)) return;
        d_->notLockFiles.insert(path);
        const QString text = QStringLiteral("lock file %1 is not a lock file (%2); ignored").arg(path, what);
        d_->log.WriteLog(d_->log.dateTimeText() + QLatin1String(label::kLockFile) + text);
        emit lockFileIgnored(text);
    });

    connect(d_->port.get(), &SerialPort::portGone, this, [this](const QString& reason) {
        if (d_->gone || !d_->port->isOpen()) return;
        d_->gone = true;
        const quint64 gen = d_->generation;
        const int16_t n = GetCOMPort();
        const QString device = d_->port->device();
        d_->log.WriteLog(d_->log.dateTimeText() + kPortGone + device + QLatin1Char(' ') + reason);
        // Closing inside the port's own error signal would pull the device out from
        // under the code that is emitting it.
        QTimer::singleShot(0, this, [this, gen, n, device, reason] {
            if (gen != d_->generation) return;  // closed or reopened already
            // What came before the loss and was not handed over yet (held back
            // to save wake-ups, or found by a write) must not go with the port.
            receivePending();
            CloseCOMPort();
            emit portGone(n, device, reason);
        });
    });
}

frmCOMx::~frmCOMx() {
    if (d_->port) d_->port->disconnect(this);
}

QString frmCOMx::devicePathForPort(int16_t n) const { return mapPort(n, nullptr); }

QString frmCOMx::mapPort(int16_t n, QString* mappingKey) const {
    if (!inRange(n)) return QString();
    const cRegistry& reg = d_->reg;
    const SettingDef& row = setting(SettingId::COMnDevice);
    const QString section = QString::fromLatin1(row.section);
    const QString name = settingName(row, n);
    // The command line names the device for this run: it comes before everything.
    const bool forThisRun = reg.isRunValue(HKEY_CURRENT_USER_, section, name);
    const QString env = qEnvironmentVariable(qPrintable(QStringLiteral("KESTRO_COM%1").arg(n))).trimmed();
    QString path = forThisRun ? QString() : env;
    if (path.isEmpty()) path = reg.read(HKEY_CURRENT_USER_, section, name).toString().trimmed();
    if (!path.isEmpty()) {
        if (mappingKey) *mappingKey = path;
        return path;
    }

    // The default mapping follows what is present, so the path it gives may change
    // while it stays the same mapping.
    if (mappingKey) *mappingKey = QString();
    // One USB adapter shows up as ttyUSB0 or ttyACM0: that is COM1.
    const QString index = QString::number(n - 1);
    for (const char* kind : {"ttyUSB", "ttyACM"}) {
        const QString node = d_->deviceDir + QLatin1Char('/') + QLatin1String(kind) + index;
        if (QFileInfo::exists(node)) return node;
    }
    return d_->deviceDir + QStringLiteral("/ttyS") + index;
}

QString frmCOMx::pathToOpen(int16_t n) const {
    QString key;
    const QString mapped = mapPort(n, &key);
    if (mapped.isEmpty()) return mapped;
    const Impl::Remembered& r = d_->remembered[n];
    if (r.mapping != key || r.stable.isEmpty() || !QFileInfo::exists(r.stable)) return mapped;
    // The adapter's own name wins over a number the kernel may since have given
    // to another device, or to nothing.
    const QString now = QFileInfo(mapped).canonicalFilePath();
    return now == QFileInfo(r.stable).canonicalFilePath() ? mapped : r.stable;
}

bool frmCOMx::deviceExists(int16_t n) const {
    const QString path = pathToOpen(n);
    return !path.isEmpty() && QFileInfo::exists(path);
}

QString frmCOMx::openDevice() const { return d_->port->isOpen() ? d_->port->device() : QString(); }

void frmCOMx::setDeviceDirectory(const QString& dir) {
    d_->deviceDir = dir;
    while (d_->deviceDir.size() > 1 && d_->deviceDir.endsWith(QLatin1Char('/')))
        d_->deviceDir.chop(1);
    d_->remembered = {};
}

int16_t frmCOMx::GetCOMPort() const { return static_cast<int16_t>(tag_.toInt()); }

int16_t frmCOMx::CloseCOMPort() {
    if (d_->port->isOpen()) {
        if (!d_->gone) {  // a vanished device has no lines left to drop
            d_->port->setDataTerminalReady(false);
            d_->port->setRequestToSend(false);
        }
        d_->port->close();
        qCDebug(lcLink, "COM%s closed%s", qUtf8Printable(tag_), d_->gone ? " after its device went" : "");
        ++d_->generation;
    }
    d_->gone = false;
    tag_ = QStringLiteral("0");
    return kTrue;
}

bool frmCOMx::openNumbered(qlonglong n, int16_t* errNo, QString* device, QString* reason) {
    if (!inRange(n)) {
        *errNo = kErrPortNotFound;
        return false;
    }
    const auto port = static_cast<int16_t>(n);
    QString key;
    const QString mapped = mapPort(port, &key);
    *device = pathToOpen(port);
    if (!d_->port->open(*device, errNo, reason)) {
        qCDebug(lcLink, "COM%d (%s) cannot be opened: error %d, %s", port, qUtf8Printable(*device), *errNo,
                qUtf8Printable(*reason));
        if (*errNo != kErrPortNotFound && *errNo != kErrPortUnavailable) *errNo = kErrPortUnavailable;
        return false;
    }
    qCDebug(lcLink, "COM%d (%s) open", port, qUtf8Printable(*device));
    d_->port->setDataTerminalReady(true);
    d_->port->setRequestToSend(true);
    Impl::Remembered& r = d_->remembered[port];
    if (*device == mapped) r = {key, stableNameFor(mapped, d_->deviceDir + QStringLiteral("/serial/by-id"))};
    return true;
}

int16_t frmCOMx::InitForm() {
    tag_ = QStringLiteral("0");
    try {
        const SettingDef& row = setting(SettingId::COMPort);
        bool stored = false;  // a value that is no number is no port
        const qlonglong n =
            d_->reg.read(HKEY_CURRENT_USER_, QString::fromLatin1(row.section), settingName(row)).toLongLong(&stored);
        if (!stored) {
            d_->log.logError(kInitFormError, kErrNoStoredPort);
            return kErrNoStoredPort;
        }

        if (d_->port->isOpen()) {
            d_->port->close();
            ++d_->generation;
            d_->gone = false;
        }
        int16_t errNo = 0;
        QString device;
        QString reason;
        if (!openNumbered(n, &errNo, &device, &reason)) {
            d_->messages.showMessage(QCoreApplication::translate("kestro::frmCOMx", "COM%1 is not availiable!").arg(n),
                                     failureDetail(n, device, reason));
            return errNo;
        }
        ++d_->generation;
        d_->gone = false;
        tag_ = QString::number(n);
        if (onOpened) onOpened();
    } catch (const RaisedError& e) {
        d_->log.logError(kInitFormError, e.number);
    } catch (const std::exception&) {
        d_->log.logError(kInitFormError, kErrInternal);
    }
    // After an unexpected failure only an open port counts as success; otherwise
    // the caller's setup dialog follows, as for a missing port.
    return d_->port->isOpen() ? kTrue : int16_t{kErrNoStoredPort};
}

int16_t frmCOMx::SetCOMPort(int16_t COMPort) {
    try {
        if (d_->port->isOpen()) CloseCOMPort();
        int16_t errNo = 0;
        QString device;
        QString reason;
        if (!openNumbered(COMPort, &errNo, &device, &reason)) return errNo;
        ++d_->generation;
        d_->gone = false;
        tag_ = QString::number(COMPort);
    } catch (const RaisedError& e) {
        d_->log.logError(kSetCOMPortError, e.number);
    } catch (const std::exception&) {
        d_->log.logError(kSetCOMPortError, kErrInternal);
    }
    return d_->port->isOpen() ? kTrue : kErrPortUnavailable;
}

void frmCOMx::receivePending() {
    if (!d_->port->isOpen()) return;
    const QByteArray data = d_->port->readAll();
    if (!data.isEmpty() && onReceived) onReceived(std::string_view(data.constData(), static_cast<size_t>(data.size())));
}

int frmCOMx::SendCommand(const QString& text, int len) {
    if (!d_->usable() || len <= 0) return 0;
    const QByteArray bytes = text.left(len).toLatin1();
    const qint64 n = d_->port->write(bytes);
    return n > 0 ? static_cast<int>(n) : 0;
}

void frmCOMx::FormUnload() {
    try {
        if (d_->usable()) {
            for (std::string_view command : meter::kStop) {
                const QString cmd = QString::fromStdString(meter::line(command));
                if (SendCommand(cmd) != cmd.size()) d_->log.logError(kFormUnloadError, kErrPortWrite);
            }
            // Closing with the commands still queued would lose them, and DTR and
            // RTS must not drop while "LDK 0" is still on its way to the meter.
            if (!d_->port->flush(kStopFlushMs))
                d_->log.logError(kFormUnloadError, kErrPortWrite);
            else if (!d_->port->drain(kStopDrainMs))
                d_->log.logError(kFormUnloadError, kErrPortDrain);
        }
        CloseCOMPort();
    } catch (const std::exception&) {
        d_->log.logError(kFormUnloadError, kErrInternal);
    }
    d_->log.WriteLog(d_->log.dateTimeText() + QString::fromLatin1(label::kApplicationStopped));
}

std::array<PortProbe, 5> probePorts(frmCOMx& com) {
    std::array<PortProbe, 5> out{};
    for (int16_t n = 1; n < int16_t(out.size()); ++n)
        out[size_t(n)].path = com.devicePathForPort(n);
    for (int16_t n = 1; n < int16_t(out.size()); ++n)
        out[size_t(n)].opens = com.SetCOMPort(n) == kTrue;
    com.CloseCOMPort();
    return out;
}

}  // namespace kestro
