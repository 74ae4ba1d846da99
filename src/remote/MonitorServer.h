#pragma once
// The station's web server: a live page, a JSON API, a Server-Sent Events
// stream and Prometheus metrics, all read-only. It runs on the program's one
// thread and never waits for a client: writes are queued in the socket, a
// client that falls too far behind is dropped, and requests are bounded in
// size, number and time before the HTTP library buffers them.

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

class QHttpServer;
class QHttpServerRequest;
class QHttpServerResponder;
class QTcpServer;
class QTcpSocket;

namespace kestro {

class StationMonitor;
struct StationSample;

struct ServerLimits {
    int64_t maxRequestBytes = 8192;
    int maxStreams = 32;                    // event-stream clients at once
    int maxConnections = 128;               // all connections, streams included
    int64_t maxStreamBacklog = 256 * 1024;  // bytes one stream client may have unread
    int headerTimeoutMs = 10000;            // to send a whole request once begun
    int idleTimeoutMs = 60000;              // a kept-alive connection without a request
    int heartbeatMs = 15000;                // comment lines keep streams (and proxies) alive
};

class MonitorServer : public QObject {
    Q_OBJECT
public:
    explicit MonitorServer(StationMonitor& monitor, QObject* parent = nullptr);
    ~MonitorServer() override;

    // Every request then needs "Authorization: Bearer TOKEN" or "?token=TOKEN".
    void setToken(const QString& token) { token_ = token.toUtf8(); }
    void setLimits(const ServerLimits& l);
    // More lines for /metrics (the publisher's counters).
    void addMetrics(std::function<QByteArray()> source) { metrics_.push_back(std::move(source)); }

    bool listen(const QHostAddress& address, quint16 port, QString* error);
    QHostAddress address() const;
    quint16 port() const;

    int streamCount() const;
    uint64_t droppedStreams() const { return droppedStreams_; }
    uint64_t refusedRequests() const { return refused_; }

private:
    struct Connection {
        RequestGuard guard;
        QElapsedTimer lastActivity;
        QElapsedTimer requestStarted;
        bool streaming = false;
        bool closing = false;
    };

    bool admit(QTcpSocket* socket);
    void guardRead(QTcpSocket* socket);
    void refuse(QTcpSocket* socket, int status, const QByteArray& reason);
    void sweep();
    void handle(const QHttpServerRequest& request, QHttpServerResponder&& responder);
    bool authorized(const QHttpServerRequest& request) const;
    void openStream(QHttpServerResponder& responder, bool head);
    void broadcast(const QByteArray& event, const QByteArray& data);
    void writeStream(QTcpSocket* socket, const QByteArray& bytes);
    QByteArray metricsText() const;

    StationMonitor& monitor_;
    ServerLimits limits_;
    QByteArray token_;
    QByteArray page_;
    std::unique_ptr<QHttpServer> http_;
    QTcpServer* tcp_ = nullptr;  // owned by http_
    std::unordered_map<QTcpSocket*, Connection> connections_;
    std::vector<QPointer<QTcpSocket>> streams_;
    std::vector<std::function<QByteArray()>> metrics_;
    QTimer sweepTimer_;
    QElapsedTimer sinceHeartbeat_;
    uint64_t droppedStreams_ = 0;
    uint64_t refused_ = 0;
};

}  // namespace kestro
