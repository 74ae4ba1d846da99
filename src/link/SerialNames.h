#pragma once
// Stable names of serial devices: the links udev keeps under /dev/serial/by-id/,
// named after the adapter (maker, model, serial number) instead of the order
// in which the kernel happened to number it.

#include <QList>
#include <QString>

namespace kestro {

inline constexpr const char* kSerialByIdDir = "/dev/serial/by-id";

struct StableSerialName {
    QString link;    // e.g. /dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A10K5S3B-if00-port0
    QString target;  // the device it points to now, canonical, e.g. /dev/ttyUSB1
};

// The links in byIdDir that point to an existing device, sorted by name.
QList<StableSerialName> stableSerialNames(const QString& byIdDir);
// The link in byIdDir that points to the same device as device; empty when
// there is none or device is such a link already.
QString stableNameFor(const QString& device, const QString& byIdDir);

}  // namespace kestro
