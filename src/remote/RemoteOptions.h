#pragma once
// The remote-monitoring options as written on the command line.

#include <QHostAddress>
#include <QString>

namespace kestro {

// Where the web server listens: "[ADDR:]PORT", ADDR an IPv4 address, an IPv6
// address in brackets or "localhost"; 127.0.0.1 when left out. Port 0 takes a
// free port (the program says which).
struct ListenAddress {
    QHostAddress address{QHostAddress::LocalHost};
    quint16 port = 0;
};
bool parseListenAddress(const QString& text, ListenAddress* out, QString* error);
// "http://127.0.0.1:8080/" of a bound address.
QString listenUrl(const QHostAddress& address, quint16 port);

// The token of --serve-token-file: the file's first line without the blanks around it.
bool readTokenFile(const QString& path, QString* token, QString* error);

// The broker and topic prefix of "mqtt://[user@]host[:port]/prefix".
struct MqttTarget {
    QString host;
    quint16 port = 1883;
    QString user;          // empty: no user name
    QString prefix;        // without leading or trailing "/"
    QString text() const;  // the URL again (it never holds a password)
};
bool parseMqttUrl(const QString& text, MqttTarget* out, QString* error);

}  // namespace kestro
