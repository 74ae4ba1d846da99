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
    bool automatic = false;  // PORT "auto": the instance's default web port
};
bool parseListenAddress(const QString& text, ListenAddress* out, QString* error);
// The text of --serve asks for the instance's default web port.
bool isAutomaticPort(const QString& serve);
// "http://127.0.0.1:8080/" of a bound address.
QString listenUrl(const QHostAddress& address, quint16 port);

// The token of --serve-token-file: the file's first line without the blanks
// around it, at least kTokenMin printable ASCII characters. Only a regular
// file is read (a FIFO or a device is refused without waiting for it), and
// only its first kTokenFileRead bytes.
inline constexpr int kTokenMin = 16;
inline constexpr int kTokenFileRead = 4096;
bool readTokenFile(const QString& path, QString* token, QString* error);

// The broker and topic prefix of "mqtt://[user@]host[:port]/prefix".
struct MqttTarget {
    QString host;
    quint16 port = 1883;
    QString user;          // empty: no user name
    QString prefix;        // without leading or trailing "/"
    QString text() const;  // the URL again (it never holds a password)
};
// The prefix and the user name must be what a broker takes: valid UTF-8 without
// control characters or noncharacters, the prefix without + or # or a leading
// $ and short enough for the longest topic (kMqttTopicSuffixMax more bytes)
// to stay within an MQTT string's 65,535 bytes.
bool parseMqttUrl(const QString& text, MqttTarget* out, QString* error);
inline constexpr int kMqttStringMax = 65535;
// "/" + the serial (at most 10 digits) + "/interval", the longest leaf.
inline constexpr int kMqttTopicSuffixMax = 20;

}  // namespace kestro
