#pragma once
// Stable names of serial devices: the links udev keeps under /dev/serial/by-id/,
// named after the adapter (maker, model, serial number) instead of the order
// in which the kernel happened to number it.

#include <QList>
#include <QString>

namespace kestro {

inline constexpr const char* kSerialByIdDir = "/dev/serial/by-id";
inline constexpr const char* kSysClassTty = "/sys/class/tty";

struct SerialDevice {
    QString path;         // e.g. /dev/ttyUSB0
    QString description;  // the adapter's product name, may be empty
    bool hasIds = false;  // USB vendor and product known
    quint16 vendorId = 0;
    quint16 productId = 0;
};

struct StableSerialName {
    QString link;    // e.g. /dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A10K5S3B-if00-port0
    QString target;  // the device it points to now, canonical, e.g. /dev/ttyUSB1
};

// The serial devices the kernel lists in sysClassTty, as nodes of devDir:
// those backed by hardware, and of the built-in ports only those where a
// UART was found, with the USB ids and product name of an adapter.
QList<SerialDevice> kernelSerialDevices(const QString& sysClassTty = QLatin1String(kSysClassTty),
                                        const QString& devDir = QStringLiteral("/dev"));
// The links in byIdDir that point to an existing device, sorted by name.
QList<StableSerialName> stableSerialNames(const QString& byIdDir);
// The link in byIdDir that points to the same device as device; empty when
// there is none or device is such a link already.
QString stableNameFor(const QString& device, const QString& byIdDir);

}  // namespace kestro
