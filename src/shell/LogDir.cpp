#include "shell/LogDir.h"

#include <unistd.h>

extern char** environ;

namespace kestro {

QStringList ProcessEnvironment() {
    QStringList entries;
    for (char** e = environ; e && *e; ++e)
        entries << QString::fromLocal8Bit(*e);
    return entries;
}

namespace {
QString StripTrailingSlashes(QString dir) {
    while (dir.size() > 1 && dir.endsWith(QLatin1Char('/')))
        dir.chop(1);
    return dir;
}
}  // namespace

QString FindLogDir(const QStringList& environment, const QString& fallback) {
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
    return StripTrailingSlashes(logDir);
}

}  // namespace kestro
