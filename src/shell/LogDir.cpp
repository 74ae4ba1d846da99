#include "shell/LogDir.h"

#include <unistd.h>

extern char** environ;

namespace kestro {

QStringList processEnvironment() {
    QStringList entries;
    for (char** e = environ; e && *e; ++e)
        entries << QString::fromLocal8Bit(*e);
    return entries;
}

namespace {
QString stripTrailingSlashes(QString dir) {
    while (dir.size() > 1 && dir.endsWith(QLatin1Char('/')))
        dir.chop(1);
    return dir;
}
}  // namespace

QString findLogDir(const QStringList& environment, const QString& fallback) {
    QString logDir;
    for (const QString& entry : environment) {
        if (entry.isEmpty()) break;
        // Any ninth character is accepted, so "LOGFILESX=..." matches too; kept
        // because existing installations may rely on it.
        if (entry.startsWith(QLatin1String("LOGFILES"), Qt::CaseSensitive)) {
            logDir = entry.mid(9);
            break;
        }
    }
    if (logDir.isEmpty()) logDir = fallback;
    return stripTrailingSlashes(logDir);
}

}  // namespace kestro
