#include "shell/Instance.h"

#include "shell/LogDir.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <unistd.h>

namespace kestro {

namespace {

QByteArray procFile(pid_t pid, const char* leaf) {
    QFile f(QStringLiteral("/proc/%1/%2").arg(pid).arg(QLatin1String(leaf)));
    return f.open(QIODevice::ReadOnly) ? f.read(64 * 1024) : QByteArray();
}

}  // namespace

bool isInstanceName(const QString& name) {
    if (name.isEmpty() || name.size() > kInstanceNameMax) return false;
    for (const QChar c : name) {
        const char16_t u = c.unicode();
        const bool ok =
            (u >= 'a' && u <= 'z') || (u >= 'A' && u <= 'Z') || (u >= '0' && u <= '9') || u == '-' || u == '_';
        if (!ok) return false;
    }
    return true;
}

std::optional<quint16> defaultWebPort(const QString& instanceName) {
    if (instanceName.isEmpty()) return kDefaultWebPort;
    qsizetype digits = 0;
    while (digits < instanceName.size() && instanceName[instanceName.size() - 1 - digits].isDigit())
        ++digits;
    if (digits == 0 || digits > 4) return std::nullopt;
    // +1: instance 0 must not take the unnamed one's port.
    return quint16(kDefaultWebPort + 1 + instanceName.right(digits).toInt());
}

Instance::Instance(QString name, PlaceEnvironment env) : name_(std::move(name)), env_(std::move(env)) {}

QString Instance::suffixed(const QString& unnamed) const {
    return named() ? unnamed + QLatin1Char('@') + name_ : unnamed;
}

QString Instance::folder() const { return suffixed(QLatin1String(kPlaceFolder)); }

QString Instance::dataDirectory() const { return suffixed(kestro::dataDirectory(env_)); }

QString Instance::stateDirectory() const { return suffixed(kestro::stateDirectory(env_)); }

QString Instance::defaultRecordDirectory() const { return suffixed(kestro::defaultRecordDirectory(env_)); }

bool Instance::makeDefaultRecordDirectory(const QString& dir) const {
    if (dir != defaultRecordDirectory()) return false;
    // The data directory stays private; a folder among the user's documents is
    // as open as the others there.
    return dir == dataDirectory() ? makePrivatePath(dir) : QDir().mkpath(dir);
}

QString Instance::settingsFile(const QString& unnamedFile) const {
    if (!named()) return unnamedFile;
    const QFileInfo file(unnamedFile);
    return suffixed(file.path()) + QLatin1Char('/') + file.fileName();
}

QString Instance::lockFile() const {
    if (env_.xdgRuntimeDir.startsWith(QLatin1Char('/')))
        return QDir(env_.xdgRuntimeDir).filePath(folder() + QStringLiteral(".lock"));
    // The temporary directory is shared by all users: one lock per user.
    return QDir(QDir::tempPath()).filePath(folder() + QStringLiteral("-%1.lock").arg(::getuid()));
}

QString Instance::logDirectory(const QStringList& environment) const {
    const QString state = stateDirectory();
    const QString dir = findLogDir(environment, state);
    return dir == state || !named() ? dir : dir + QLatin1Char('/') + folder();
}

QString Instance::mqttQueueDirectory() const { return stateDirectory() + QStringLiteral("/mqtt"); }

QString Instance::tsaQueueDirectory() const { return stateDirectory() + QStringLiteral("/tsa"); }

QString Instance::earlierSpoolDirectory() const { return dataDirectory() + QStringLiteral("/spool"); }

std::optional<QString> instanceOfProcess(pid_t pid) {
    const QByteArray comm = procFile(pid, "comm");
    if (comm.isEmpty() || comm != procFile(::getpid(), "comm")) return std::nullopt;
    const QList<QByteArray> args = procFile(pid, "cmdline").split('\0');
    for (qsizetype i = 1; i < args.size(); ++i) {
        QByteArray value;
        if (args[i] == "--instance" && i + 1 < args.size())
            value = args[i + 1];
        else if (args[i].startsWith("--instance="))
            value = args[i].mid(int(sizeof "--instance=" - 1));
        else
            continue;
        const QString name = QString::fromUtf8(value);
        return isInstanceName(name) ? name : QString();
    }
    return QString();
}

}  // namespace kestro
