#pragma once
// The station's web server: a live page, a JSON API, a Server-Sent Events
// stream and Prometheus metrics, all read-only. It runs on the program's one
// thread and never waits for a client: requests are bounded in size, number
// and time as their bytes arrive, a client that leaves its answers unread is
// no longer read from and then dropped, and when every connection is taken
// the one that has waited longest without a request in progress makes room.
// Its connections are plain sockets: a client that shuts its sending side
// after a request still gets the answer.

#include "remote/FileCatalog.h"
#include "remote/RequestGuard.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QHostAddress>
#include <QObject>
#include <QSocketNotifier>
#include <QTimer>
#include <functional>
#include <map>
#include <memory>
#include <unordered_map>
#include <vector>

class QTcpServer;

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
    int idleTimeoutMs = 60000;              // a kept-alive connection without a request (blank lines are none)
    int stallTimeoutMs = 10000;             // unread answers that the client does not take at all
    int heartbeatMs = 15000;                // comment lines keep streams (and proxies) alive
    int maxDownloads = 4;                   // files being sent at once
};

// text in the Prometheus text format with name="value" added to every sample line.
QByteArray labelEverySample(const QByteArray& text, const QByteArray& name, const QByteArray& value);

class MonitorServer : public QObject {
    Q_OBJECT
public:
    explicit MonitorServer(StationMonitor& monitor, QObject* parent = nullptr);
    ~MonitorServer() override;

    // Every request but the page and its script then needs "Authorization:
    // Bearer TOKEN" or "?token=TOKEN"; without one, only requests for a
    // loopback name or address are answered.
    void setToken(const QString& token) { token_ = token.toUtf8(); }
    void setLimits(const ServerLimits& l);
    // Every sample of /metrics then carries instance="NAME" (none when empty).
    void setInstanceLabel(const QString& name) { instance_ = name.toUtf8(); }
    // More lines for /metrics (the publisher's counters).
    void addMetrics(std::function<QByteArray()> source) { metrics_.push_back(std::move(source)); }
    // Where /api/files and /files/NAME look; asked at each request (it may change). Unset: no files.
    void setRecordDirectory(std::function<QString()> dir) { recordDirectory_ = std::move(dir); }

    bool listen(const QHostAddress& address, quint16 port, QString* error);
    QHostAddress address() const;
    quint16 port() const;

    int streamCount() const { return streams_; }
    int connectionCount() const { return int(connections_.size()); }
    int downloadCount() const { return downloads_; }
    uint64_t droppedStreams() const { return droppedStreams_; }
    uint64_t refusedRequests() const { return refused_; }
    uint64_t evictedConnections() const { return evicted_; }
    // Request bytes taken from the network so far; each is read once.
    int64_t bytesExamined() const { return examined_; }
    // Answers written and not yet taken by the network, over all connections.
    int64_t unsentBytes() const;

private:
    struct Connection {
        Connection(int socket, MonitorServer* server);
        ~Connection();
        int64_t unsent() const { return int64_t(outbox.size() - outboxAt); }

        int fd;
        std::unique_ptr<QSocketNotifier> reader, writer;
        RequestGuard guard;
        std::vector<char> inbox;  // read from the socket, not yet examined from inboxAt on
        size_t inboxAt = 0, inboxEnd = 0;
        QByteArray outbox;  // written, not yet taken by the network from outboxAt on
        qsizetype outboxAt = 0;
        int file = -1;  // a download: read from fileAt up to fileEnd, a chunk whenever the outbox is empty
        int64_t fileAt = 0, fileEnd = 0;
        QElapsedTimer lastActivity;    // a request begun, an answer written or taken by the network
        QElapsedTimer requestStarted;  // the first byte of the request in progress
        QElapsedTimer waitingSince;    // accepted, or the last answer written
        QElapsedTimer lastProgress;    // the network last took unsent bytes
        QElapsedTimer lingerStarted;   // our side was shut
        bool streaming = false;
        bool closing = false;     // no more requests; shut once the answers are out
        bool inputEnded = false;  // the client shut its sending side
        bool lingering = false;   // our side is shut; what still comes is dropped until the client closes
    };

    void accept(int fd);
    bool makeRoom();
    void serve(Connection& c);
    bool receive(Connection& c);
    void discardInput(Connection& c);
    void flush(Connection& c);
    bool refill(Connection& c);
    void endDownload(Connection& c);
    void answer(Connection& c, const RequestHead& request);
    void write(Connection& c, const QByteArray& bytes);
    void refuse(Connection& c, int status, const QByteArray& reason);
    void closeWhenSent(Connection& c);
    void drop(Connection& c);
    void sweep();
    bool authorized(const RequestHead& request, const QByteArray& query) const;
    bool hostAllowed(const QByteArray& host) const;
    QByteArray openStream(Connection& c);
    void broadcast(const QByteArray& bytes);
    void writeStream(Connection& c, const QByteArray& bytes);
    QByteArray metricsText() const;
    QByteArray filesJson();

    StationMonitor& monitor_;
    ServerLimits limits_;
    QByteArray token_;
    QByteArray instance_;  // the instance label's value; empty: no label
    // The page and its script, their marked texts in a language.
    struct Translated {
        QByteArray page, script;
    };
    std::map<QByteArray, Translated> translated_;  // by language: "en", "de"
    std::unique_ptr<QTcpServer> tcp_;
    std::unordered_map<Connection*, std::unique_ptr<Connection>> connections_;
    // Closed while they may still be on the stack; gone at the next turn of the event loop.
    std::vector<std::unique_ptr<Connection>> closed_;
    std::vector<std::function<QByteArray()>> metrics_;
    std::function<QString()> recordDirectory_;
    FileCatalog catalog_;
    QTimer sweepTimer_;
    QElapsedTimer sinceHeartbeat_;
    int streams_ = 0;
    int downloads_ = 0;
    uint64_t droppedStreams_ = 0;
    uint64_t refused_ = 0;
    uint64_t evicted_ = 0;
    int64_t examined_ = 0;
};

}  // namespace kestro
