#include "remote/RemoteOptions.h"

#include <QFile>
#include <QUrl>

namespace kestro {

namespace {

bool parsePort(const QString& text, quint16* port) {
    bool ok = false;
    const uint value = text.toUInt(&ok);
    if (!ok || value > 65535 || text.isEmpty() || !text.front().isDigit()) return false;
    *port = quint16(value);
    return true;
}

}  // namespace

bool parseListenAddress(const QString& text, ListenAddress* out, QString* error) {
    const QString usage = QStringLiteral("--serve needs [ADDR:]PORT, for example 8080 or 0.0.0.0:8080");
    auto fail = [error](const QString& why) {
        *error = why;
        return false;
    };
    ListenAddress a;
    QString host;
    QString port = text.trimmed();
    if (port.startsWith(QLatin1Char('['))) {
        const qsizetype end = port.indexOf(QLatin1String("]:"));
        if (end < 0) return fail(usage);
        host = port.mid(1, end - 1);
        port = port.mid(end + 2);
    } else if (port.count(QLatin1Char(':')) == 1) {
        host = port.section(QLatin1Char(':'), 0, 0);
        port = port.section(QLatin1Char(':'), 1);
    } else if (port.contains(QLatin1Char(':'))) {
        return fail(usage + QStringLiteral(" (an IPv6 address goes in brackets)"));
    }
    if (!parsePort(port, &a.port)) return fail(usage);
    if (host.compare(QLatin1String("localhost"), Qt::CaseInsensitive) == 0) {
        a.address = QHostAddress(QHostAddress::LocalHost);
    } else if (!host.isEmpty()) {
        // Names other than localhost would need a lookup before the first tick.
        if (!a.address.setAddress(host) || a.address.protocol() == QAbstractSocket::UnknownNetworkLayerProtocol)
            return fail(QStringLiteral("--serve: %1 is not an IP address").arg(host));
    }
    *out = a;
    return true;
}

QString listenUrl(const QHostAddress& address, quint16 port) {
    const QString host = address.protocol() == QAbstractSocket::IPv6Protocol
                             ? QLatin1Char('[') + address.toString() + QLatin1Char(']')
                             : address.toString();
    return QStringLiteral("http://%1:%2/").arg(host).arg(port);
}

bool readTokenFile(const QString& path, QString* token, QString* error) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        *error = QStringLiteral("--serve-token-file: cannot read %1: %2").arg(path, file.errorString());
        return false;
    }
    const QByteArray bytes = file.read(4096);
    const QByteArray line = bytes.split('\n').front().trimmed();
    if (line.isEmpty()) {
        *error = QStringLiteral("--serve-token-file: %1 holds no token on its first line").arg(path);
        return false;
    }
    *token = QString::fromUtf8(line);
    return true;
}

QString MqttTarget::text() const {
    QString host =
        this->host.contains(QLatin1Char(':')) ? QLatin1Char('[') + this->host + QLatin1Char(']') : this->host;
    return QStringLiteral("mqtt://%1%2:%3/%4")
        .arg(user.isEmpty() ? QString() : user + QLatin1Char('@'), host)
        .arg(port)
        .arg(prefix);
}

bool parseMqttUrl(const QString& text, MqttTarget* out, QString* error) {
    const QString usage = QStringLiteral("--mqtt needs mqtt://[user@]host[:port]/prefix");
    auto fail = [error](const QString& why) {
        *error = why;
        return false;
    };
    const QUrl url(text.trimmed(), QUrl::StrictMode);
    if (!url.isValid() || url.scheme() != QLatin1String("mqtt") || url.host().isEmpty()) return fail(usage);
    if (!url.password().isEmpty())
        return fail(
            QStringLiteral("--mqtt: give the password in KESTRO_MQTT_PASSWORD, not in the URL "
                           "(the command line is visible to every user)"));
    if (url.hasQuery() || url.hasFragment()) return fail(usage);
    MqttTarget t;
    t.host = url.host();
    const int port = url.port(1883);
    if (port < 1 || port > 65535) return fail(usage);
    t.port = quint16(port);
    t.user = url.userName();
    QString prefix = url.path();
    while (prefix.startsWith(QLatin1Char('/')))
        prefix.remove(0, 1);
    while (prefix.endsWith(QLatin1Char('/')))
        prefix.chop(1);
    if (prefix.isEmpty()) return fail(usage + QStringLiteral(" (the topic prefix is missing)"));
    if (prefix.contains(QChar(0))) return fail(QStringLiteral("--mqtt: the topic prefix may not hold a NUL (%00)"));
    if (prefix.contains(QLatin1Char('+')) || prefix.contains(QLatin1Char('#')))
        return fail(QStringLiteral("--mqtt: the topic prefix may not hold + or #"));
    *out = t;
    out->prefix = prefix;
    return true;
}

}  // namespace kestro
