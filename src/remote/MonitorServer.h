#pragma once
// The station's web server: a live page, a JSON API, a Server-Sent Events
// stream and Prometheus metrics, all read-only. It runs on the program's one
// thread and never waits for a client: requests are bounded in size, number
// and time as their bytes arrive, a client that leaves its answers unread is
// no longer read from and then dropped, and when every connection is taken
// the one that has waited longest without a request in progress makes room.

#include "remote/RequestGuard.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QHostAddress>
#include <QObject>
#include <QPointer>
#include <QTimer>
#include <functional>
#include <memory>
#include <unordered_map>
#include <vector>

class QTcpServer;
class QTcpSocket;
class QUrl;

namespace kestro {

class StationMonitor;
struct StationSample;

struct ServerLimits {
    int64_t maxRequestBytes = 8192;
    int maxStreams = 32;                    // event-stream clients at once
    int maxConnections = 128;               // all connections, streams included
    int64_t maxStreamBacklog = 256 * 1024;  // bytes one stream client may have unread
    int64_t maxUnsentBytes = 64 * 1024;     // unread answers beyond which a client's next request waits
    int headerTimeoutMs = 10000;            // to send a whole request once begun
    int idleTimeoutMs = 60000;              // a kept-alive connection without a request
    int stallTimeoutMs = 10000;             // unread answers that the client does not take at all
    int heartbeatMs = 15000;                // comment lines keep streams (and proxies) alive
};

class MonitorServer : public QObject {
    Q_OBJECT
public:
    explicit MonitorServer(StationMonitor& monitor, QObject* parent = nullptr);
    ~MonitorServer() override;

    // Every request then needs "Authorization: Bearer TOKEN" or "?token=TOKEN";
    // without one, only requests for a loopback name or address are answered.
    void setToken(const QString& token) { token_ = token.toUtf8(); }
    void setLimits(const ServerLimits& l);
    // More lines for /metrics (the publisher's counters).
    void addMetrics(std::function<QByteArray()> source) { metrics_.push_back(std::move(source)); }

    bool listen(const QHostAddress& address, quint16 port, QString* error);
    QHostAddress address() const;
    quint16 port() const;

    int streamCount() const;
    int connectionCount() const { return int(connections_.size()); }
    uint64_t droppedStreams() const { return droppedStreams_; }
    uint64_t refusedRequests() const { return refused_; }
    uint64_t evictedConnections() const { return evicted_; }
    // Request bytes taken from the network so far; each is read once.
    int64_t bytesExamined() const { return examined_; }
    // Answers written and not yet taken by the network, over all connections.
    int64_t unsentBytes() const;

private:
    struct Connection {
        RequestGuard guard;
        QByteArray inbox;  // read from the socket, not yet examined from inboxAt on
        qsizetype inboxAt = 0;
        QElapsedTimer lastActivity;    // a byte received
        QElapsedTimer requestStarted;  // the first byte of the request in progress
        QElapsedTimer waitingSince;    // accepted, or the last answer written
        QElapsedTimer lastProgress;    // the network last took unsent bytes
        bool streaming = false;
        bool closing = false;
    };

    void accept();
    bool makeRoom();
    void serve(QTcpSocket* socket);
    void written(QTcpSocket* socket);
    void answer(QTcpSocket* socket, Connection& c, const RequestHead& request);
    void write(QTcpSocket* socket, Connection& c, const QByteArray& bytes);
    void refuse(QTcpSocket* socket, int status, const QByteArray& reason);
    void sweep();
    bool authorized(const RequestHead& request, const QUrl& url) const;
    bool hostAllowed(const QByteArray& host) const;
    QByteArray openStream(QTcpSocket* socket, Connection& c);
    void broadcast(const QByteArray& event, const QByteArray& data);
    void writeStream(QTcpSocket* socket, const QByteArray& bytes);
    QByteArray metricsText() const;

    StationMonitor& monitor_;
    ServerLimits limits_;
    QByteArray token_;
    QByteArray page_;
    QByteArray script_;
    std::unique_ptr<QTcpServer> tcp_;
    std::unordered_map<QTcpSocket*, Connection> connections_;
    std::vector<QPointer<QTcpSocket>> streams_;
    std::vector<std::function<QByteArray()>> metrics_;
    QTimer sweepTimer_;
    QElapsedTimer sinceHeartbeat_;
    uint64_t droppedStreams_ = 0;
    uint64_t refused_ = 0;
    uint64_t evicted_ = 0;
    int64_t examined_ = 0;
};

}  // namespace kestro
