#include "link/SerialNames.h"

#include <QDir>
#include <QFileInfo>

namespace kestro {

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
