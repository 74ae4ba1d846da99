#include "remote/RemoteOptions.h"

#include <QFile>
#include <QUrl>
#include <QUtf8StringView>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <cerrno>
#include <cstring>

namespace kestro {

namespace {

bool parsePort(const QString& text, quint16* port) {
    bool ok = false;
    const uint value = text.toUInt(&ok);
    if (!ok || value > 65535 || text.isEmpty() || !text.front().isDigit()) return false;
    *port = quint16(value);
    return true;
}

// Why the bytes of an MQTT string field cannot go to a broker, or an empty string.
QString mqttStringProblem(const QByteArray& utf8) {
    if (!QUtf8StringView(utf8).isValidUtf8()) return QStringLiteral("is not valid UTF-8");
    for (const char32_t c : QString::fromUtf8(utf8).toUcs4()) {
        if (c < 0x20 || (c >= 0x7F && c <= 0x9F)) return QStringLiteral("may not hold a control character");
        if (QChar::isNonCharacter(c)) return QStringLiteral("may not hold a noncharacter");
    }
    if (utf8.size() > kMqttStringMax) return QStringLiteral("is longer than %1 bytes").arg(kMqttStringMax);
    return QString();
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
    a.automatic = port == QLatin1String("auto");
    if (!a.automatic && !parsePort(port, &a.port)) return fail(usage);
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

bool isAutomaticPort(const QString& serve) {
    ListenAddress a;
    QString why;
    return !serve.isEmpty() && parseListenAddress(serve, &a, &why) && a.automatic;
}

QString listenUrl(const QHostAddress& address, quint16 port) {
    const QString host = address.protocol() == QAbstractSocket::IPv6Protocol
                             ? QLatin1Char('[') + address.toString() + QLatin1Char(']')
                             : address.toString();
    return QStringLiteral("http://%1:%2/").arg(host).arg(port);
}

bool readTokenFile(const QString& path, QString* token, QString* error) {
    auto fail = [&](const QString& why) {
        *error = QStringLiteral("--serve-token-file: %1 %2").arg(path, why);
        return false;
    };
    // Without blocking: a FIFO nobody writes to would hold up the start for good.
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) return fail(QStringLiteral("cannot be read: %1").arg(QString::fromLocal8Bit(std::strerror(errno))));
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return fail(QStringLiteral("is not a regular file"));
    }
    QByteArray bytes(kTokenFileRead, '\0');
    qsizetype got = 0;
    while (got < bytes.size()) {
        const ssize_t n = ::read(fd, bytes.data() + got, size_t(bytes.size() - got));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        got += n;
    }
    ::close(fd);
    bytes.truncate(got);
    const qsizetype end = bytes.indexOf('\n');
    if (end < 0 && got == kTokenFileRead)
        return fail(QStringLiteral("has no line end within its first %1 bytes").arg(kTokenFileRead));
    const QByteArray line = (end < 0 ? bytes : bytes.left(end)).trimmed();
    for (const char c : line)
        if (c < 0x21 || c > 0x7E)
            return fail(QStringLiteral("holds a blank, a control or a non-ASCII character in its token"));
    if (line.size() < kTokenMin)
        return fail(QStringLiteral("holds fewer than %1 characters on its first line").arg(kTokenMin));
    *token = QString::fromLatin1(line);
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
    // The bytes as sent: a percent-encoded sequence that is no UTF-8 must not turn into U+FFFD unseen.
    QString why = mqttStringProblem(QByteArray::fromPercentEncoding(url.path(QUrl::FullyEncoded).toLatin1()));
    if (!why.isEmpty()) return fail(QStringLiteral("--mqtt: the topic prefix ") + why);
    if (prefix.contains(QLatin1Char('+')) || prefix.contains(QLatin1Char('#')))
        return fail(QStringLiteral("--mqtt: the topic prefix may not hold + or #"));
    // Topics that begin with $ are the broker's own.
    if (prefix.startsWith(QLatin1Char('$')))
        return fail(QStringLiteral("--mqtt: the topic prefix may not begin with $"));
    if (prefix.toUtf8().size() + kMqttTopicSuffixMax > kMqttStringMax)
        return fail(QStringLiteral("--mqtt: the topic prefix is longer than %1 bytes")
                        .arg(kMqttStringMax - kMqttTopicSuffixMax));
    why = mqttStringProblem(QByteArray::fromPercentEncoding(url.userName(QUrl::FullyEncoded).toLatin1()));
    if (!why.isEmpty()) return fail(QStringLiteral("--mqtt: the user name ") + why);
    *out = t;
    out->prefix = prefix;
    return true;
}

}  // namespace kestro
