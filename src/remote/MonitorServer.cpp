#include "remote/MonitorServer.h"

#include "remote/StationMonitor.h"

#include <QFile>
#include <QHttpServer>
#include <QHttpServerRequest>
#include <QHttpServerResponder>
#include <QJsonDocument>
#include <QTcpServer>
#include <QTcpSocket>
#include <QUrlQuery>
#include <algorithm>

namespace kestro {

namespace {

using Status = QHttpServerResponder::StatusCode;

// Completed intervals per stream in a statistics event (the page shows a few).
constexpr size_t kEventIntervals = 24;

// Hands every accepted socket to the server's guard before the HTTP library
// sees it, so that the guard reads each byte first.
class GuardedTcpServer final : public QTcpServer {
public:
    std::function<bool(QTcpSocket*)> admit;

protected:
    void incomingConnection(qintptr descriptor) override {
        auto* socket = new QTcpSocket(this);
        if (!socket->setSocketDescriptor(descriptor)) {
            delete socket;
            return;
        }
        if (admit && !admit(socket)) return;
        addPendingConnection(socket);
    }
};

QByteArray ReasonPhrase(int status) {
    switch (status) {
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
        case 431:
            return "Request Header Fields Too Large";
        case 503:
            return "Service Unavailable";
        default:
            return "Error";
    }
}

// A response written straight to a socket the library never gets to answer.
QByteArray PlainResponse(int status, const QByteArray& text) {
    const QByteArray body = text + '\n';
    return "HTTP/1.1 " + QByteArray::number(status) + ' ' + ReasonPhrase(status) +
           "\r\nContent-Type: text/plain; charset=utf-8\r\nContent-Length: " + QByteArray::number(body.size()) +
           "\r\nConnection: close\r\n\r\n" + body;
}

struct Header {
    QByteArray name;
    QByteArray value;
};

void Send(QHttpServerResponder& r, Status status, const QByteArray& type, const QByteArray& body, bool head,
          const std::vector<Header>& extra = {}) {
    r.writeStatusLine(status);
    r.writeHeader("Content-Type", type);
    r.writeHeader("Content-Length", QByteArray::number(body.size()));
    r.writeHeader("Cache-Control", "no-store");
    r.writeHeader("X-Content-Type-Options", "nosniff");
    r.writeHeader("Referrer-Policy", "no-referrer");
    for (const Header& h : extra)
        r.writeHeader(h.name, h.value);
    r.writeBody(head ? QByteArray() : body);
}

void SendText(QHttpServerResponder& r, Status status, const QByteArray& text, bool head,
              const std::vector<Header>& extra = {}) {
    Send(r, status, "text/plain; charset=utf-8", text + '\n', head, extra);
}

bool SameToken(const QByteArray& given, const QByteArray& token) {
    // Takes as long for a near miss as for a far one.
    unsigned char diff = given.size() == token.size() ? 0 : 1;
    for (qsizetype i = 0; i < given.size() && i < token.size(); ++i)
        diff |= static_cast<unsigned char>(given[i] ^ token[i]);
    return diff == 0;
}

QByteArray EventBytes(const QByteArray& event, const QByteArray& data) {
    return "event: " + event + "\ndata: " + data + "\n\n";
}

}  // namespace

MonitorServer::MonitorServer(StationMonitor& monitor, QObject* parent)
    : QObject(parent), monitor_(monitor), http_(std::make_unique<QHttpServer>()) {
    QFile page(QStringLiteral(":/remote/index.html"));
    if (page.open(QIODevice::ReadOnly)) page_ = page.readAll();
    http_->setMissingHandler([this](const QHttpServerRequest& request, QHttpServerResponder&& responder) {
        handle(request, std::move(responder));
    });
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
    sweepTimer_.setInterval(1000);
    connect(&sweepTimer_, &QTimer::timeout, this, &MonitorServer::sweep);
}

MonitorServer::~MonitorServer() {
    // The sockets go with the servers; nothing may call back into this object.
    for (auto& [socket, c] : connections_)
        socket->disconnect(this);
    connections_.clear();
    streams_.clear();
    http_.reset();
}

void MonitorServer::setLimits(const ServerLimits& l) {
    limits_ = l;
    sweepTimer_.setInterval(std::max(50, std::min({1000, l.headerTimeoutMs / 4, l.idleTimeoutMs / 4})));
}

bool MonitorServer::listen(const QHostAddress& address, quint16 port, QString* error) {
    auto* tcp = new GuardedTcpServer;
    tcp->admit = [this](QTcpSocket* s) {
        return admit(s);
    };
    if (!tcp->listen(address, port)) {
        if (error) *error = tcp->errorString();
        delete tcp;
        return false;
    }
    http_->bind(tcp);
    tcp_ = tcp;
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

// ---------------------------------------------------------------- connections

bool MonitorServer::admit(QTcpSocket* socket) {
    connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
    if (int(connections_.size()) >= limits_.maxConnections) {
        ++refused_;
        socket->write(PlainResponse(503, "Too many connections."));
        socket->disconnectFromHost();
        return false;
    }
    Connection& c = connections_[socket];
    c.guard = RequestGuard(limits_.maxRequestBytes);
    c.lastActivity.start();
    // Connected before the HTTP library connects: the guard sees every byte first.
    connect(socket, &QTcpSocket::readyRead, this, [this, socket] { guardRead(socket); });
    connect(socket, &QObject::destroyed, this, [this, socket] { connections_.erase(socket); });
    return true;
}

void MonitorServer::guardRead(QTcpSocket* socket) {
    auto it = connections_.find(socket);
    if (it == connections_.end()) return;
    Connection& c = it->second;
    c.lastActivity.start();
    if (c.closing || c.streaming) {
        // Nothing a stream client sends is a request.
        socket->readAll();
        return;
    }
    const bool before = c.guard.midRequest();
    const RequestGuard::Verdict v = c.guard.feed(socket->peek(socket->bytesAvailable()));
    if (v == RequestGuard::Verdict::TooLarge) {
        refuse(socket, c.guard.refusalStatus(),
               QByteArray("A request may hold at most ") + QByteArray::number(qlonglong(limits_.maxRequestBytes)) +
                   " bytes.");
        return;
    }
    if (v == RequestGuard::Verdict::Malformed) {
        refuse(socket, 400, "Malformed request.");
        return;
    }
    if (!before && c.guard.midRequest()) c.requestStarted.start();
}

void MonitorServer::refuse(QTcpSocket* socket, int status, const QByteArray& reason) {
    auto it = connections_.find(socket);
    if (it != connections_.end()) it->second.closing = true;
    ++refused_;
    socket->readAll();  // the HTTP library must not see it
    socket->write(PlainResponse(status, reason));
    socket->disconnectFromHost();
}

void MonitorServer::sweep() {
    std::vector<std::pair<QTcpSocket*, int>> close;
    for (auto& [socket, c] : connections_) {
        if (c.closing || c.streaming) continue;
        if (c.guard.midRequest() && c.requestStarted.isValid() && c.requestStarted.elapsed() > limits_.headerTimeoutMs)
            close.emplace_back(socket, 408);
        else if (!c.guard.midRequest() && c.lastActivity.elapsed() > limits_.idleTimeoutMs &&
                 socket->bytesToWrite() == 0)
            close.emplace_back(socket, 0);
    }
    for (const auto& [socket, status] : close) {
        if (status != 0) {
            refuse(socket, status, "The request took too long.");
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

bool MonitorServer::authorized(const QHttpServerRequest& request) const {
    if (token_.isEmpty()) return true;
    const QByteArray auth = request.value("Authorization").trimmed();
    if (auth.size() > 7 && auth.left(7).toLower() == "bearer " && SameToken(auth.mid(7).trimmed(), token_)) return true;
    const QUrlQuery query(request.url());
    if (query.hasQueryItem(QStringLiteral("token")) &&
        SameToken(query.queryItemValue(QStringLiteral("token"), QUrl::FullyDecoded).toUtf8(), token_))
        return true;
    return false;
}

void MonitorServer::handle(const QHttpServerRequest& request, QHttpServerResponder&& responder) {
    const bool head = request.method() == QHttpServerRequest::Method::Head;
    if (!authorized(request)) {
        SendText(responder, Status::Unauthorized, "A token is needed: Authorization: Bearer TOKEN, or ?token=TOKEN.",
                 head, {{"WWW-Authenticate", "Bearer realm=\"KestroRecorder\""}});
        return;
    }
    if (request.method() != QHttpServerRequest::Method::Get && !head) {
        SendText(responder, Status::MethodNotAllowed, "Read-only: only GET and HEAD.", false, {{"Allow", "GET, HEAD"}});
        return;
    }
    const QString path = request.url().path();
    const QByteArray json = "application/json";
    if (path == QLatin1String("/") || path == QLatin1String("/index.html")) {
        Send(responder, Status::Ok, "text/html; charset=utf-8", page_, head,
             {{"Content-Security-Policy",
               "default-src 'none'; script-src 'unsafe-inline'; style-src 'unsafe-inline'; connect-src 'self'; "
               "img-src data:"}});
    } else if (path == QLatin1String("/api/state")) {
        Send(responder, Status::Ok, json, monitor_.stateJson(), head);
    } else if (path == QLatin1String("/api/files")) {
        Send(responder, Status::Ok, json, monitor_.filesJson(), head);
    } else if (path == QLatin1String("/api/statistics")) {
        Send(responder, Status::Ok, json, monitor_.statisticsJson(), head);
    } else if (path == QLatin1String("/api/history")) {
        Send(responder, Status::Ok, json, monitor_.historyJson(), head);
    } else if (path == QLatin1String("/metrics")) {
        Send(responder, Status::Ok, "text/plain; version=0.0.4; charset=utf-8", metricsText(), head);
    } else if (path == QLatin1String("/api/events")) {
        openStream(responder, head);
    } else {
        SendText(responder, Status::NotFound, "Not found.", head);
    }
}

void MonitorServer::openStream(QHttpServerResponder& responder, bool head) {
    QTcpSocket* socket = responder.socket();
    if (streamCount() >= limits_.maxStreams) {
        SendText(responder, Status::ServiceUnavailable, "Too many event-stream clients.", head,
                 {{"Retry-After", "10"}});
        return;
    }
    responder.writeStatusLine(Status::Ok);
    responder.writeHeader("Content-Type", "text/event-stream; charset=utf-8");
    responder.writeHeader("Cache-Control", "no-store");
    responder.writeHeader("X-Accel-Buffering", "no");
    if (head) {
        responder.writeHeader("Content-Length", "0");
        responder.writeBody(QByteArray());
        return;
    }
    // Where it begins: the browser reconnects on its own after 3 s when the
    // program restarts, and needs nothing else to draw the page.
    responder.writeBody(QByteArrayLiteral("retry: 3000\n\n") + EventBytes("state", monitor_.stateJson()) +
                        EventBytes("files", monitor_.filesJson()) +
                        EventBytes("statistics", monitor_.statisticsJson(kEventIntervals)));
    auto it = connections_.find(socket);
    if (it != connections_.end()) it->second.streaming = true;
    // Keeps what a stalled client costs small: the rest waits in our buffer, which is bounded.
    socket->setSocketOption(QAbstractSocket::SendBufferSizeSocketOption, 64 * 1024);
    streams_.emplace_back(socket);
}

void MonitorServer::broadcast(const QByteArray& event, const QByteArray& data) {
    const QByteArray bytes = EventBytes(event, data);
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
        QByteArray::number(qulonglong(refused_)) + '\n';
    for (const auto& source : metrics_)
        out += source();
    return out;
}

}  // namespace kestro
