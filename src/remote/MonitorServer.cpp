#include "remote/MonitorServer.h"

#include "remote/StationMonitor.h"

#include <QFile>
#include <QJsonDocument>
#include <QTcpServer>
#include <QTcpSocket>
#include <QUrl>
#include <QUrlQuery>
#include <algorithm>

namespace kestro {

namespace {

// Completed intervals per stream in a statistics event (the page shows a few).
constexpr size_t kEventIntervals = 24;
// Read from a socket at a time; the socket buffers no more than this either,
// so a client whose requests wait is held back by the network.
constexpr qint64 kReadChunk = 16 * 1024;

QByteArray reasonPhrase(int status) {
    switch (status) {
        case 200:
            return "OK";
        case 400:
            return "Bad Request";
        case 401:
            return "Unauthorized";
        case 404:
            return "Not Found";
        case 405:
            return "Method Not Allowed";
        case 408:
            return "Request Timeout";
        case 413:
            return "Payload Too Large";
        case 421:
            return "Misdirected Request";
        case 431:
            return "Request Header Fields Too Large";
        case 503:
            return "Service Unavailable";
        default:
            return "Error";
    }
}

struct Header {
    QByteArray name;
    QByteArray value;
};

QByteArray statusAndHeaders(int status, const std::vector<Header>& headers) {
    QByteArray out = "HTTP/1.1 " + QByteArray::number(status) + ' ' + reasonPhrase(status) + "\r\n";
    for (const Header& h : headers)
        out += h.name + ": " + h.value + "\r\n";
    return out + "\r\n";
}

// A response written to a connection that is closed after it.
QByteArray plainResponse(int status, const QByteArray& text) {
    const QByteArray body = text + '\n';
    return statusAndHeaders(status, {{"Content-Type", "text/plain; charset=utf-8"},
                                     {"Content-Length", QByteArray::number(body.size())},
                                     {"Connection", "close"}}) +
           body;
}

struct Reply {
    int status = 200;
    QByteArray type;
    QByteArray body;
    std::vector<Header> extra;
};

Reply text(int status, const QByteArray& text, std::vector<Header> extra = {}) {
    return Reply{status, "text/plain; charset=utf-8", text + '\n', std::move(extra)};
}

bool sameToken(const QByteArray& given, const QByteArray& token) {
    // Takes as long for a near miss as for a far one.
    unsigned char diff = given.size() == token.size() ? 0 : 1;
    for (qsizetype i = 0; i < given.size() && i < token.size(); ++i)
        diff |= static_cast<unsigned char>(given[i] ^ token[i]);
    return diff == 0;
}

QByteArray eventBytes(const QByteArray& event, const QByteArray& data) {
    return "event: " + event + "\ndata: " + data + "\n\n";
}

QByteArray resource(const QString& name) {
    QFile file(name);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

}  // namespace

MonitorServer::MonitorServer(StationMonitor& monitor, QObject* parent)
    : QObject(parent),
      monitor_(monitor),
      page_(resource(QStringLiteral(":/remote/index.html"))),
      script_(resource(QStringLiteral(":/remote/app.js"))) {
    connect(&monitor_, &StationMonitor::stateChanged, this, [this] {
        if (!streams_.empty()) broadcast("state", monitor_.stateJson());
    });
    connect(&monitor_, &StationMonitor::sampleAdded, this, [this](const StationSample& s) {
        if (!streams_.empty())
            broadcast("sample", QJsonDocument(monitor_.sampleObject(s)).toJson(QJsonDocument::Compact));
    });
    connect(&monitor_, &StationMonitor::filesChanged, this, [this] {
        if (!streams_.empty()) broadcast("files", monitor_.filesJson());
    });
    connect(&monitor_, &StationMonitor::statisticsChanged, this, [this] {
        if (!streams_.empty()) broadcast("statistics", monitor_.statisticsJson(kEventIntervals));
    });
    connect(&monitor_, &StationMonitor::exceedance, this, [this](const QByteArray& json) {
        if (!streams_.empty()) broadcast("exceedance", json);
    });
    sweepTimer_.setInterval(1000);
    connect(&sweepTimer_, &QTimer::timeout, this, &MonitorServer::sweep);
}

MonitorServer::~MonitorServer() {
    // The sockets go with the listening socket; nothing may call back into this object.
    if (tcp_) {
        for (QTcpSocket* socket : tcp_->findChildren<QTcpSocket*>())
            socket->disconnect(this);
    }
    connections_.clear();
    streams_.clear();
    tcp_.reset();
}

void MonitorServer::setLimits(const ServerLimits& l) {
    limits_ = l;
    sweepTimer_.setInterval(
        std::max(50, std::min({1000, l.headerTimeoutMs / 4, l.idleTimeoutMs / 4, l.stallTimeoutMs / 4})));
}

bool MonitorServer::listen(const QHostAddress& address, quint16 port, QString* error) {
    auto tcp = std::make_unique<QTcpServer>();
    if (!tcp->listen(address, port)) {
        if (error) *error = tcp->errorString();
        return false;
    }
    tcp_ = std::move(tcp);
    connect(tcp_.get(), &QTcpServer::newConnection, this, &MonitorServer::accept);
    sinceHeartbeat_.start();
    sweepTimer_.start();
    return true;
}

QHostAddress MonitorServer::address() const { return tcp_ ? tcp_->serverAddress() : QHostAddress(); }
quint16 MonitorServer::port() const { return tcp_ ? tcp_->serverPort() : 0; }

int MonitorServer::streamCount() const {
    int n = 0;
    for (const QPointer<QTcpSocket>& s : streams_)
        if (s && s->state() == QAbstractSocket::ConnectedState) ++n;
    return n;
}

int64_t MonitorServer::unsentBytes() const {
    int64_t n = 0;
    for (const auto& [socket, c] : connections_)
        n += socket->bytesToWrite();
    return n;
}

// ---------------------------------------------------------------- connections

void MonitorServer::accept() {
    while (QTcpSocket* socket = tcp_->nextPendingConnection()) {
        connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
        if (int(connections_.size()) >= limits_.maxConnections && !makeRoom()) {
            ++refused_;
            socket->write(plainResponse(503, "Too many connections."));
            socket->disconnectFromHost();
            continue;
        }
        Connection& c = connections_[socket];
        c.guard = RequestGuard(limits_.maxRequestBytes);
        c.lastActivity.start();
        c.waitingSince.start();
        c.lastProgress.start();
        socket->setReadBufferSize(kReadChunk);
        connect(socket, &QTcpSocket::readyRead, this, [this, socket] { serve(socket); });
        connect(socket, &QTcpSocket::bytesWritten, this, [this, socket] { written(socket); });
        // Only here: a connection closed while it is being served stays valid until then.
        connect(socket, &QObject::destroyed, this, [this, socket] { connections_.erase(socket); });
    }
}

// Closes the connection that has waited longest for a request of its own (or
// has not finished one), or one that does not read its answers. Streams and
// answers under way are kept.
bool MonitorServer::makeRoom() {
    QTcpSocket* oldest = nullptr;
    qint64 longest = -1;
    for (auto& [socket, c] : connections_) {
        const qint64 unsent = socket->bytesToWrite();
        const bool busy = unsent > 0 && unsent < limits_.maxUnsentBytes;
        if (c.streaming || busy || c.waitingSince.elapsed() <= longest) continue;
        longest = c.waitingSince.elapsed();
        oldest = socket;
    }
    if (!oldest) return false;
    ++evicted_;
    connections_.erase(oldest);
    oldest->abort();
    return true;
}

void MonitorServer::serve(QTcpSocket* socket) {
    auto it = connections_.find(socket);
    // A socket that went away may still have its signals queued.
    if (it == connections_.end() || !socket->isOpen()) return;
    Connection& c = it->second;
    for (;;) {
        if (c.closing || c.streaming) {
            // Nothing that follows is a request.
            socket->skip(socket->bytesAvailable());
            return;
        }
        if (c.guard.hasRequest()) {
            // It waits until the client has read enough of the answers before it.
            if (socket->bytesToWrite() >= limits_.maxUnsentBytes) return;
            answer(socket, c, c.guard.takeRequest());
            continue;
        }
        if (c.guard.verdict() != RequestGuard::Verdict::Pass) {
            const int status = c.guard.refusalStatus();
            refuse(socket, status,
                   status == 400 ? QByteArray("Malformed request.")
                                 : "A request may hold at most " +
                                       QByteArray::number(qlonglong(limits_.maxRequestBytes)) + " bytes.");
            return;
        }
        if (c.inboxAt == c.inbox.size()) {
            c.inbox = socket->read(kReadChunk);
            c.inboxAt = 0;
            if (c.inbox.isEmpty()) return;
            c.lastActivity.start();
        }
        const bool before = c.guard.midRequest();
        const int64_t taken = c.guard.feed(c.inbox.constData() + c.inboxAt, c.inbox.size() - c.inboxAt);
        c.inboxAt += taken;
        examined_ += taken;
        if (!before && c.guard.midRequest()) c.requestStarted.start();
    }
}

void MonitorServer::written(QTcpSocket* socket) {
    auto it = connections_.find(socket);
    if (it == connections_.end()) return;
    it->second.lastProgress.start();
    if (socket->bytesToWrite() < limits_.maxUnsentBytes) serve(socket);
}

void MonitorServer::write(QTcpSocket* socket, Connection& c, const QByteArray& bytes) {
    if (socket->bytesToWrite() == 0) c.lastProgress.start();
    socket->write(bytes);
}

void MonitorServer::refuse(QTcpSocket* socket, int status, const QByteArray& reason) {
    auto it = connections_.find(socket);
    if (it == connections_.end()) return;
    it->second.closing = true;
    ++refused_;
    socket->skip(socket->bytesAvailable());
    write(socket, it->second, plainResponse(status, reason));
    socket->disconnectFromHost();
}

void MonitorServer::sweep() {
    std::vector<std::pair<QTcpSocket*, int>> close;
    for (auto& [socket, c] : connections_) {
        if (c.streaming) continue;
        if (socket->bytesToWrite() > 0) {
            // A client that takes none of its answers is not waited for.
            if (c.lastProgress.elapsed() > limits_.stallTimeoutMs) close.emplace_back(socket, -1);
        } else if (c.closing) {
            continue;
        } else if (c.guard.midRequest()) {
            if (c.requestStarted.elapsed() > limits_.headerTimeoutMs) close.emplace_back(socket, 408);
        } else if (!c.guard.hasRequest() && c.lastActivity.elapsed() > limits_.idleTimeoutMs) {
            close.emplace_back(socket, 0);
        }
    }
    for (const auto& [socket, status] : close) {
        if (status > 0) {
            refuse(socket, status, "The request took too long.");
        } else if (status < 0) {
            socket->abort();
        } else {
            connections_[socket].closing = true;
            socket->disconnectFromHost();
        }
    }
    if (sinceHeartbeat_.elapsed() >= limits_.heartbeatMs) {
        sinceHeartbeat_.start();
        for (const QPointer<QTcpSocket>& s : streams_)
            writeStream(s, QByteArrayLiteral(": keep-alive\n\n"));
    }
    streams_.erase(std::remove_if(streams_.begin(), streams_.end(),
                                  [](const QPointer<QTcpSocket>& s) {
                                      return !s || s->state() != QAbstractSocket::ConnectedState;
                                  }),
                   streams_.end());
}

// ---------------------------------------------------------------- requests

bool MonitorServer::authorized(const RequestHead& request, const QUrl& url) const {
    if (token_.isEmpty()) return true;
    for (const QByteArray& value : request.authorization)
        if (value.size() > 7 && value.left(7).toLower() == "bearer " && sameToken(value.mid(7).trimmed(), token_))
            return true;
    const QUrlQuery query(url);
    return query.hasQueryItem(QStringLiteral("token")) &&
           sameToken(query.queryItemValue(QStringLiteral("token"), QUrl::FullyDecoded).toUtf8(), token_);
}

// A web page elsewhere may point a name of its own at this machine (DNS
// rebinding): a server without a token answers only names that cannot be
// anyone else's.
bool MonitorServer::hostAllowed(const QByteArray& host) const {
    QByteArray name = host.toLower();
    if (name.startsWith('[')) {
        const qsizetype end = name.indexOf(']');
        if (end < 0) return false;
        name = name.mid(1, end - 1);
    } else if (name.count(':') == 1) {
        name.truncate(name.indexOf(':'));
    }
    if (name.endsWith('.')) name.chop(1);
    if (name == "localhost" || name.endsWith(".localhost")) return true;
    const QHostAddress address(QString::fromLatin1(name));
    return !address.isNull() && (address.isLoopback() || address.isEqual(tcp_->serverAddress()));
}

void MonitorServer::answer(QTcpSocket* socket, Connection& c, const RequestHead& request) {
    const bool head = request.method == "HEAD";
    const QUrl url = QUrl::fromEncoded(request.target);
    const QString path = url.path();
    const QByteArray json = "application/json";
    Reply r;
    if (!request.target.startsWith('/') || !url.isValid()) {
        r = text(400, "Malformed request.");
    } else if (token_.isEmpty() && !request.hasHost && !request.http10) {
        r = text(400, "A request needs a Host header.");
    } else if (token_.isEmpty() && request.hasHost && !hostAllowed(request.host)) {
        r = text(421, "Without a token this station answers only requests for localhost or 127.0.0.1.");
    } else if (!authorized(request, url) && path != QLatin1String("/app.js")) {
        r = text(401, "A token is needed: Authorization: Bearer TOKEN, or ?token=TOKEN.",
                 {{"WWW-Authenticate", "Bearer realm=\"KestroRecorder\""}});
    } else if (request.method != "GET" && !head) {
        r = text(405, "Read-only: only GET and HEAD.", {{"Allow", "GET, HEAD"}});
    } else if (path == QLatin1String("/") || path == QLatin1String("/index.html")) {
        r = Reply{200,
                  "text/html; charset=utf-8",
                  page_,
                  {{"Content-Security-Policy",
                    "default-src 'none'; script-src 'self'; style-src 'unsafe-inline'; connect-src 'self'; "
                    "img-src data:; base-uri 'none'; form-action 'none'; frame-ancestors 'none'"}}};
    } else if (path == QLatin1String("/app.js")) {
        // Holds nothing of the station: the page loads it without the token.
        r = Reply{200, "text/javascript; charset=utf-8", script_, {}};
    } else if (path == QLatin1String("/api/state")) {
        r = Reply{200, json, monitor_.stateJson(), {}};
    } else if (path == QLatin1String("/api/files")) {
        r = Reply{200, json, monitor_.filesJson(), {}};
    } else if (path == QLatin1String("/api/chain")) {
        r = Reply{200, json, monitor_.chainJson(), {}};
    } else if (path == QLatin1String("/api/statistics")) {
        r = Reply{200, json, monitor_.statisticsJson(), {}};
    } else if (path == QLatin1String("/api/history")) {
        r = Reply{200, json, monitor_.historyJson(), {}};
    } else if (path == QLatin1String("/metrics")) {
        r = Reply{200, "text/plain; version=0.0.4; charset=utf-8", metricsText(), {}};
    } else if (path == QLatin1String("/api/events") && streamCount() >= limits_.maxStreams) {
        r = text(503, "Too many event-stream clients.", {{"Retry-After", "10"}});
    } else if (path == QLatin1String("/api/events") && !head) {
        write(socket, c, openStream(socket, c));
        return;
    } else if (path == QLatin1String("/api/events")) {
        r = Reply{200, "text/event-stream; charset=utf-8", QByteArray(), {}};
    } else {
        r = text(404, "Not found.");
    }
    std::vector<Header> headers{{"Content-Type", r.type},
                                {"Content-Length", QByteArray::number(r.body.size())},
                                {"Cache-Control", "no-store"},
                                {"X-Content-Type-Options", "nosniff"},
                                {"Referrer-Policy", "no-referrer"}};
    headers.insert(headers.end(), r.extra.begin(), r.extra.end());
    if (!request.keepAlive)
        headers.push_back({"Connection", "close"});
    else if (request.http10)
        headers.push_back({"Connection", "keep-alive"});
    write(socket, c, statusAndHeaders(r.status, headers) + (head ? QByteArray() : r.body));
    c.waitingSince.start();
    if (!request.keepAlive) {
        c.closing = true;
        socket->disconnectFromHost();
    }
}

QByteArray MonitorServer::openStream(QTcpSocket* socket, Connection& c) {
    c.streaming = true;
    // Keeps what a stalled client costs small: the rest waits in our buffer, which is bounded.
    socket->setSocketOption(QAbstractSocket::SendBufferSizeSocketOption, 64 * 1024);
    streams_.emplace_back(socket);
    // Where it begins: the browser reconnects on its own after 3 s when the
    // program restarts, and needs nothing else to draw the page.
    return statusAndHeaders(200, {{"Content-Type", "text/event-stream; charset=utf-8"},
                                  {"Cache-Control", "no-store"},
                                  {"X-Accel-Buffering", "no"}}) +
           "retry: 3000\n\n" + eventBytes("state", monitor_.stateJson()) + eventBytes("files", monitor_.filesJson()) +
           eventBytes("statistics", monitor_.statisticsJson(kEventIntervals));
}

void MonitorServer::broadcast(const QByteArray& event, const QByteArray& data) {
    const QByteArray bytes = eventBytes(event, data);
    for (const QPointer<QTcpSocket>& s : streams_)
        writeStream(s, bytes);
}

void MonitorServer::writeStream(QTcpSocket* socket, const QByteArray& bytes) {
    if (!socket || socket->state() != QAbstractSocket::ConnectedState) return;
    if (socket->bytesToWrite() + bytes.size() > limits_.maxStreamBacklog) {
        // It can reconnect and start afresh; the others must not wait for it.
        ++droppedStreams_;
        socket->abort();
        return;
    }
    socket->write(bytes);
}

QByteArray MonitorServer::metricsText() const {
    QByteArray out = monitor_.metricsText();
    out +=
        "# HELP kestro_http_event_clients Event-stream clients connected.\n"
        "# TYPE kestro_http_event_clients gauge\n"
        "kestro_http_event_clients " +
        QByteArray::number(streamCount()) +
        "\n# HELP kestro_http_event_clients_dropped_total Event-stream clients dropped for not keeping up.\n"
        "# TYPE kestro_http_event_clients_dropped_total counter\n"
        "kestro_http_event_clients_dropped_total " +
        QByteArray::number(qulonglong(droppedStreams_)) +
        "\n# HELP kestro_http_requests_refused_total Requests refused for their size, time or number.\n"
        "# TYPE kestro_http_requests_refused_total counter\n"
        "kestro_http_requests_refused_total " +
        QByteArray::number(qulonglong(refused_)) +
        "\n# HELP kestro_http_connections_evicted_total Connections closed to make room for a new one.\n"
        "# TYPE kestro_http_connections_evicted_total counter\n"
        "kestro_http_connections_evicted_total " +
        QByteArray::number(qulonglong(evicted_)) + '\n';
    for (const auto& source : metrics_)
        out += source();
    return out;
}

}  // namespace kestro
