#include "shell/Places.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>
#include <cerrno>

namespace kestro {

namespace {

QString clean(const QString& path) { return path.isEmpty() ? path : QDir::cleanPath(path); }

// An XDG variable counts only with an absolute path.
QString baseDir(const QString& variable, const QString& home, const char* fallback) {
    if (variable.startsWith(QLatin1Char('/'))) return clean(variable);
    return clean(home + QLatin1Char('/') + QLatin1String(fallback));
}

QString below(const QString& base) { return base + QLatin1Char('/') + QLatin1String(kPlaceFolder); }

// The value of XDG_DOCUMENTS_DIR in user-dirs.dirs: "$HOME/..." or an absolute
// path in double quotes, with backslash escapes. Empty when not set there.
QString configuredDocuments(const PlaceEnvironment& env) {
    QFile f(baseDir(env.xdgConfigHome, env.home, ".config") + QStringLiteral("/user-dirs.dirs"));
    if (!f.open(QIODevice::ReadOnly | QIODevice::Text)) return QString();
    QString found;
    while (!f.atEnd()) {
        const QString line = QString::fromUtf8(f.readLine()).trimmed();
        if (!line.startsWith(QLatin1String("XDG_DOCUMENTS_DIR="))) continue;
        QString raw = line.mid(int(qstrlen("XDG_DOCUMENTS_DIR=")));
        if (raw.size() < 2 || !raw.startsWith(QLatin1Char('"')) || !raw.endsWith(QLatin1Char('"'))) continue;
        raw = raw.mid(1, raw.size() - 2);
        QString value;
        for (qsizetype i = 0; i < raw.size(); ++i) {
            if (raw[i] == QLatin1Char('\\') && i + 1 < raw.size()) ++i;
            value += raw[i];
        }
        if (value.startsWith(QLatin1String("$HOME")))
            value = env.home + value.mid(5);
        else if (!value.startsWith(QLatin1Char('/')))
            continue;          // neither form the file may use
        found = clean(value);  // the last assignment wins, as when the shell sources it
    }
    return found;
}

// Qt's base directory where it is the XDG rule's: with HOME set to an absolute
// path (Qt falls back to "/" without one, the rule to the account's home) and
// the variable unset or absolute (a relative one counts as unset).
QString fromQt(QStandardPaths::StandardLocation location, const char* variable) {
    const QString value = qEnvironmentVariable(variable);
    if (!qEnvironmentVariable("HOME").startsWith(QLatin1Char('/')) ||
        !(value.isEmpty() || value.startsWith(QLatin1Char('/'))))
        return value;
    return QStandardPaths::writableLocation(location);
}

}  // namespace

PlaceEnvironment PlaceEnvironment::current() {
    PlaceEnvironment env;
    env.home = qEnvironmentVariable("HOME");
    if (!env.home.startsWith(QLatin1Char('/'))) {
        // Services may start without HOME; the account still has one.
        if (const passwd* pw = ::getpwuid(::getuid()); pw && pw->pw_dir) env.home = QFile::decodeName(pw->pw_dir);
    }
    if (env.home.isEmpty()) env.home = QStringLiteral("/");
    env.xdgConfigHome = fromQt(QStandardPaths::GenericConfigLocation, "XDG_CONFIG_HOME");
    env.xdgDataHome = fromQt(QStandardPaths::GenericDataLocation, "XDG_DATA_HOME");
    // Qt has a state location only from 6.7 (GenericStateLocation); with 6.4
    // the variable is read here and the rule of baseDir() gives its default.
    env.xdgStateHome = qEnvironmentVariable("XDG_STATE_HOME");
    // As set: Qt's RuntimeLocation would make a folder of its own when it is not.
    env.xdgRuntimeDir = qEnvironmentVariable("XDG_RUNTIME_DIR");
    return env;
}

QString configDirectory(const PlaceEnvironment& env) { return below(baseDir(env.xdgConfigHome, env.home, ".config")); }

QString dataDirectory(const PlaceEnvironment& env) { return below(baseDir(env.xdgDataHome, env.home, ".local/share")); }

QString stateDirectory(const PlaceEnvironment& env) {
    return below(baseDir(env.xdgStateHome, env.home, ".local/state"));
}

QString documentsDirectory(const PlaceEnvironment& env) {
    const QString home = clean(env.home);
    const QString configured = configuredDocuments(env);
    if (!configured.isEmpty()) return configured == home ? QString() : configured;  // home means "disabled"
    const QString fallback = clean(env.home + QStringLiteral("/Documents"));
    return QFileInfo(fallback).isDir() ? fallback : QString();
}

QString defaultRecordDirectory(const PlaceEnvironment& env) {
    const QString documents = documentsDirectory(env);
    return documents.isEmpty() ? dataDirectory(env) : below(documents);
}

bool makePrivatePath(const QString& dir) {
    if (dir.isEmpty()) return false;
    if (QFileInfo(dir).isDir()) return true;
    const QStringList parts = QDir::cleanPath(dir).split(QLatin1Char('/'), Qt::SkipEmptyParts);
    QString path = dir.startsWith(QLatin1Char('/')) ? QString() : QStringLiteral(".");
    for (const QString& part : parts) {
        path += QLatin1Char('/') + part;
        const QByteArray native = QFile::encodeName(path);
        if (::mkdir(native.constData(), 0700) != 0 && errno != EEXIST) return false;
    }
    return QFileInfo(dir).isDir();
}

}  // namespace kestro
