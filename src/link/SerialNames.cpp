#include "link/SerialNames.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace kestro {

namespace {

QString firstLine(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readLine()).trimmed() : QString();
}

}  // namespace

QList<SerialDevice> kernelSerialDevices(const QString& sysClassTty, const QString& devDir) {
    QList<SerialDevice> out;
    const QDir tty(sysClassTty);
    for (const QString& name : tty.entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot, QDir::Name)) {
        // Consoles and pseudo-terminals have no device behind them.
        const QString device = QFileInfo(tty.filePath(name + QStringLiteral("/device"))).canonicalFilePath();
        if (device.isEmpty()) continue;
        // The kernel keeps built-in port slots without a UART, of type 0.
        const QString type = firstLine(tty.filePath(name + QStringLiteral("/type")));
        if (type == QLatin1String("0")) continue;
        SerialDevice d;
        d.path = devDir + QLatin1Char('/') + name;
        // The USB device sits one to three levels above its port.
        QDir up(device);
        for (int level = 0; level < 4; ++level, up.cdUp()) {
            if (!up.exists(QStringLiteral("idVendor"))) continue;
            d.description = firstLine(up.filePath(QStringLiteral("product")));
            bool vendor = false;
            bool product = false;
            d.vendorId = firstLine(up.filePath(QStringLiteral("idVendor"))).toUShort(&vendor, 16);
            d.productId = firstLine(up.filePath(QStringLiteral("idProduct"))).toUShort(&product, 16);
            d.hasIds = vendor && product;
            break;
        }
        out.push_back(d);
    }
    return out;
}

QList<StableSerialName> stableSerialNames(const QString& byIdDir) {
    QList<StableSerialName> out;
    const QDir dir(byIdDir);
    for (const QFileInfo& link :
         dir.entryInfoList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot, QDir::Name)) {
        if (!link.isSymLink()) continue;
        const QString target = link.canonicalFilePath();  // empty for a dangling link
        if (!target.isEmpty()) out.push_back({link.absoluteFilePath(), target});
    }
    return out;
}

QString stableNameFor(const QString& device, const QString& byIdDir) {
    const QFileInfo info(device);
    if (QDir::cleanPath(info.absolutePath()) == QDir::cleanPath(QDir(byIdDir).absolutePath())) return QString();
    const QString target = info.canonicalFilePath();
    if (target.isEmpty()) return QString();
    for (const StableSerialName& name : stableSerialNames(byIdDir))
        if (name.target == target) return name.link;
    return QString();
}

}  // namespace kestro
