#include "remote/MonitorServer.h"

#include "remote/PageLanguage.h"
#include "remote/StationMonitor.h"
#include "shell/Translations.h"

#include <QDateTime>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLocale>
#include <QTcpServer>
#include <QTranslator>
#include <QUrlQuery>
#include <algorithm>
#include <cstdio>
#include <optional>

#include <fcntl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>
#include <cerrno>

namespace kestro {

namespace {

// Completed intervals per stream in a statistics event (the page shows a few).
constexpr size_t kEventIntervals = 24;
// Read from a socket at a time; nothing more is read while a request waits,
// so a client whose requests wait is held back by the network.
constexpr size_t kReadChunk = 16 * 1024;
// After our side is shut, what the client still sends is read and dropped for
// this long: closing on unread bytes would reset the connection and could
// destroy the last answer on its way.
constexpr qint64 kLingerMs = 2000;
// Taken from the network when shutting out a newcomer, for the same reason.
constexpr size_t kRefusedReadBytes = 8192;
// A download is read from disk this much at a time, when the network has
// taken the chunk before; the poll thread then waits for one read at most.
constexpr int64_t kFileChunk = 64 * 1024;
// Chunks sent in one turn of the event loop, so that ticks and other clients come between.
constexpr int kChunksPerTurn = 4;

// Hands accepted sockets over as plain descriptors.
class Listener : public QTcpServer {
public:
    explicit Listener(std::function<void(int)> take) : take_(std::move(take)) {}

protected:
    void incomingConnection(qintptr fd) override { take_(int(fd)); }

private:
    std::function<void(int)> take_;
};

// A request target as it is served. Only the origin form ("/path?query") and
// the absolute form ("http://authority/path?query") are read. The path is
// compared exactly as sent: neither decoded nor normalised, so that a proxy in
// front which decodes it or resolves dot segments never sees a path this
// server serves differently ("//x/metrics", "/api/../metrics" and
// "/%6detrics" name nothing here).
struct Target {
    QByteArray path;
    QByteArray query;
    QByteArray authority;  // of the absolute form
};

std::optional<Target> splitTarget(QByteArray target) {
    Target t;
    if (target.size() > 7 && target.left(7).toLower() == "http://") {
        qsizetype end = 7;
        while (end < target.size() && target[end] != '/' && target[end] != '?')
            ++end;
        t.authority = target.mid(7, end - 7);
        if (t.authority.isEmpty() || t.authority.contains('@')) return std::nullopt;
        target = target.mid(end);
        if (!target.startsWith('/')) target.prepend('/');
    }
    if (!target.startsWith('/') || target.contains('#')) return std::nullopt;
    const qsizetype q = target.indexOf('?');
    t.path = q < 0 ? target : target.left(q);
    if (q >= 0) t.query = target.mid(q + 1);
    return t;
}

QByteArray reasonPhrase(int status) {
    switch (status) {
        case 200:
            return "OK";
        case 206:
            return "Partial Content";
        case 403:
            return "Forbidden";
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
        case 416:
            return "Range Not Satisfiable";
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
    int file = -1;  // sent after the head from `from` on, `length` bytes (the Content-Length)
    int64_t from = 0, length = -1;
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

// "Tue, 08 Dec 2026 05:07:09 GMT"
QByteArray httpDate(int64_t utcMs) {
    return QLocale::c()
        .toString(QDateTime::fromMSecsSinceEpoch(utcMs, Qt::UTC), QStringLiteral("ddd, dd MMM yyyy hh:mm:ss 'GMT'"))
        .toLatin1();
}

// A plain file name for the browser, and the exact one for those that read it.
QByteArray attachment(const QString& name) {
    const QString base = name.mid(name.lastIndexOf(QLatin1Char('/')) + 1);
    QByteArray plain;
    for (const QChar ch : base)
        plain += (ch.unicode() < 0x20 || ch.unicode() >= 0x7f || ch == QLatin1Char('"') || ch == QLatin1Char('\\'))
                     ? '_'
                     : char(ch.unicode());
    return "attachment; filename=\"" + plain + "\"; filename*=UTF-8''" + base.toUtf8().toPercentEncoding();
}

QByteArray fileType(const QString& name) {
    if (name.endsWith(QLatin1String(".json"))) return "application/json";
    if (name.endsWith(QLatin1String(".pdf"))) return "application/pdf";
    if (name.endsWith(QLatin1String(".csv"))) return "text/csv; charset=utf-8";
    return "application/octet-stream";
}

// One file of the record directory's catalog, as named (percent-decoded) in
// /files/NAME; full: the number of downloads that are already running, else 0.
Reply fileReply(FileCatalog& catalog, const QString& dir, const QByteArray& encoded, const RequestHead& request,
                int full) {
    const QByteArray name = QByteArray::fromPercentEncoding(encoded);
    CatalogFile f;
    const int fd = dir.isEmpty() || name.contains('\0') ? -1 : catalog.open(dir, QString::fromUtf8(name), &f);
    if (fd < 0) return text(404, "Not found.");
    if (full > 0) {
        ::close(fd);
        return text(503, "At most " + QByteArray::number(full) + " downloads at once.", {{"Retry-After", "10"}});
    }
    const QByteArray size = QByteArray::number(qlonglong(f.size));
    const QByteArray etag = f.sha256.isEmpty() ? QByteArray() : '"' + f.sha256 + '"';
    const QByteArray modified = httpDate(f.modifiedMs);
    // A resumed download goes on only with the file it began: the same hash, or the time of a closed file.
    const QByteArray& since = request.ifRange;
    const bool same = since.isEmpty() || (!etag.isEmpty() && since == etag) ||
                      (f.closed && !since.startsWith('"') && !since.startsWith("W/") && since == modified);
    const ByteRange range = request.range.isEmpty() || !same ? ByteRange{ByteRange::Whole, 0, f.size}
                                                             : parseByteRange(request.range, f.size);
    if (range.kind == ByteRange::Unsatisfiable) {
        ::close(fd);
        return text(416, "The range lies beyond the file's " + size + " bytes.",
                    {{"Content-Range", "bytes */" + size}});
    }
    Reply r{range.kind == ByteRange::Part ? 206 : 200,
            fileType(f.name),
            QByteArray(),
            {{"Accept-Ranges", "bytes"}, {"Last-Modified", modified}, {"Content-Disposition", attachment(f.name)}},
            fd,
            range.from,
            range.to - range.from};
    if (!etag.isEmpty()) r.extra.push_back({"ETag", etag});
    if (range.kind == ByteRange::Part)
        r.extra.push_back({"Content-Range", "bytes " + QByteArray::number(qlonglong(range.from)) + '-' +
                                                QByteArray::number(qlonglong(range.to - 1)) + '/' + size});
    return r;
}

QByteArray resource(const QString& name) {
    QFile file(name);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

}  // namespace

MonitorServer::MonitorServer(StationMonitor& monitor, QObject* parent) : QObject(parent), monitor_(monitor) {
    // Each language's page is made once; a request only picks one.
    const QByteArray page = resource(QStringLiteral(":/remote/index.html"));
    const QByteArray script = resource(QStringLiteral(":/remote/app.js"));
    for (const char* language : {"en", "de"}) {
        const std::unique_ptr<QTranslator> translator = programTranslation(QLatin1String(language));
        Translated& t = translated_[language];
        t.page = translatedPage(page, language, translator.get());
        t.script = translatedScript(script, translator.get());
    }
    connect(&monitor_, &StationMonitor::stateChanged, this, [this] {
        if (streams_ > 0) broadcast(eventBytes("state", monitor_.stateJson()));
    });
    connect(&monitor_, &StationMonitor::sampleAdded, this, [this](const StationSample& s) {
        if (streams_ > 0)
            broadcast(eventBytes("sample", QJsonDocument(monitor_.sampleObject(s)).toJson(QJsonDocument::Compact)));
    });
    connect(&monitor_, &StationMonitor::filesChanged, this, [this] {
        if (streams_ > 0) broadcast(eventBytes("files", monitor_.filesJson()));
    });
    connect(&monitor_, &StationMonitor::statisticsChanged, this, [this] {
        if (streams_ > 0) broadcast(eventBytes("statistics", monitor_.statisticsJson(kEventIntervals)));
    });
    connect(&monitor_, &StationMonitor::exceedance, this, [this](const QByteArray& json) {
        if (streams_ > 0) broadcast(eventBytes("exceedance", json));
    });
    sweepTimer_.setInterval(1000);
    connect(&sweepTimer_, &QTimer::timeout, this, &MonitorServer::sweep);
}

MonitorServer::~MonitorServer() {
    connections_.clear();
    closed_.clear();
    tcp_.reset();
}

MonitorServer::Connection::Connection(int socket, MonitorServer* server)
    : fd(socket),
      reader(std::make_unique<QSocketNotifier>(socket, QSocketNotifier::Read)),
      writer(std::make_unique<QSocketNotifier>(socket, QSocketNotifier::Write)),
      guard(server->limits_.maxRequestBytes) {
    writer->setEnabled(false);
    QObject::connect(reader.get(), &QSocketNotifier::activated, server, [server, this] { server->serve(*this); });
    QObject::connect(writer.get(), &QSocketNotifier::activated, server, [server, this] { server->flush(*this); });
    lastActivity.start();
    waitingSince.start();
    lastProgress.start();
}

MonitorServer::Connection::~Connection() {
    // The notifiers go before the descriptor they watch.
    reader.reset();
    writer.reset();
    ::close(fd);
}

void MonitorServer::setLimits(const ServerLimits& l) {
    limits_ = l;
    sweepTimer_.setInterval(
        std::max(50, std::min({1000, l.headerTimeoutMs / 4, l.idleTimeoutMs / 4, l.stallTimeoutMs / 4})));
}

bool MonitorServer::listen(const QHostAddress& address, quint16 port, QString* error) {
    auto tcp = std::make_unique<Listener>([this](int fd) { accept(fd); });
    if (!tcp->listen(address, port)) {
        if (error) *error = tcp->errorString();
        return false;
    }
    tcp_ = std::move(tcp);
    sinceHeartbeat_.start();
    sweepTimer_.start();
    return true;
}

QHostAddress MonitorServer::address() const { return tcp_ ? tcp_->serverAddress() : QHostAddress(); }
quint16 MonitorServer::port() const { return tcp_ ? tcp_->serverPort() : 0; }

int64_t MonitorServer::unsentBytes() const {
    int64_t n = 0;
    for (const auto& [key, c] : connections_)
        n += c->unsent();
    return n;
}

// ---------------------------------------------------------------- connections

void MonitorServer::accept(int fd) {
    // Commands the program starts must not inherit the station's clients.
    ::fcntl(fd, F_SETFD, FD_CLOEXEC);
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
    if (int(connections_.size()) >= limits_.maxConnections && !makeRoom()) {
        ++refused_;
        char sink[kRefusedReadBytes];
        (void)!::recv(fd, sink, sizeof sink, 0);
        const QByteArray reply = plainResponse(503, "Too many connections.");
        (void)!::send(fd, reply.constData(), size_t(reply.size()), MSG_NOSIGNAL);
        ::shutdown(fd, SHUT_WR);
        ::close(fd);
        return;
    }
    auto c = std::make_unique<Connection>(fd, this);
    Connection* key = c.get();
    connections_.emplace(key, std::move(c));
}

// Closes the connection that has waited longest for a request of its own (or
// has not finished one), or one that does not read its answers. Streams and
// answers under way are kept.
bool MonitorServer::makeRoom() {
    Connection* oldest = nullptr;
    qint64 longest = -1;
    for (auto& [key, c] : connections_) {
        const int64_t unsent = c->unsent();
        const bool busy = (unsent > 0 && unsent < limits_.maxUnsentBytes) || c->file >= 0;
        if (c->streaming || busy || c->waitingSince.elapsed() <= longest) continue;
        longest = c->waitingSince.elapsed();
        oldest = key;
    }
    if (!oldest) return false;
    ++evicted_;
    drop(*oldest);
    return true;
}

void MonitorServer::serve(Connection& c) {
    if (c.closing || c.streaming) {
        // Nothing that follows is a request.
        discardInput(c);
        return;
    }
    for (;;) {
        if (c.guard.hasRequest()) {
            // It waits until the client has read enough of the answers before it, and the download before it.
            if (c.unsent() >= limits_.maxUnsentBytes || c.file >= 0) {
                c.reader->setEnabled(false);
                return;
            }
            answer(c, c.guard.takeRequest());
            if (c.closing || c.streaming) return serve(c);
            continue;
        }
        if (c.guard.verdict() != RequestGuard::Verdict::Pass) {
            const int status = c.guard.refusalStatus();
            refuse(c, status,
                   status == 400 ? QByteArray("Malformed request.")
                                 : "A request may hold at most " +
                                       QByteArray::number(qlonglong(limits_.maxRequestBytes)) + " bytes.");
            return;
        }
        if (c.inboxAt == c.inboxEnd) {
            if (c.inputEnded) {
                // Every request that came before the end of the input is answered; one cut short never will be.
                closeWhenSent(c);
                return;
            }
            if (!receive(c)) return;
            continue;
        }
        const bool before = c.guard.midRequest();
        const int64_t taken = c.guard.feed(c.inbox.data() + c.inboxAt, int64_t(c.inboxEnd - c.inboxAt));
        c.inboxAt += size_t(taken);
        examined_ += taken;
        if (!before && c.guard.midRequest()) {
            c.requestStarted.start();
            c.lastActivity.start();
        }
    }
}

// Reads the next bytes into the empty inbox; false when there are none now
// (or the connection was dropped).
bool MonitorServer::receive(Connection& c) {
    c.reader->setEnabled(!c.inputEnded);
    if (c.inbox.empty()) c.inbox.resize(kReadChunk);
    for (;;) {
        const ssize_t n = ::recv(c.fd, c.inbox.data(), c.inbox.size(), 0);
        if (n > 0) {
            c.inboxAt = 0;
            c.inboxEnd = size_t(n);
            return true;
        }
        if (n == 0) {
            c.inputEnded = true;
            c.reader->setEnabled(false);
            return true;
        }
        if (errno == EINTR) continue;
        if (errno != EAGAIN && errno != EWOULDBLOCK) drop(c);
        return false;
    }
}

void MonitorServer::discardInput(Connection& c) {
    c.inboxAt = c.inboxEnd = 0;
    while (!c.inputEnded && receive(c))
        c.inboxAt = c.inboxEnd = 0;
    if (!c.inputEnded) return;
    if (c.lingering) {
        drop(c);
    } else if (c.streaming) {
        // Like any other answer, what is written of the stream goes out before the connection closes.
        c.streaming = false;
        --streams_;
        closeWhenSent(c);
    }
}

void MonitorServer::flush(Connection& c) {
    for (int chunks = 0;;) {
        if (c.unsent() == 0 && c.file >= 0 && chunks++ < kChunksPerTurn && !refill(c)) return;
        if (c.unsent() == 0) break;
        const ssize_t n = ::send(c.fd, c.outbox.constData() + c.outboxAt, size_t(c.unsent()), MSG_NOSIGNAL);
        if (n > 0) {
            c.outboxAt += n;
            c.lastProgress.start();
            c.lastActivity.start();
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) break;
        drop(c);
        return;
    }
    if (c.unsent() == 0) {
        // Requests that wait reuse the buffer; an idle connection holds none.
        if (c.guard.hasRequest() || c.file >= 0)
            c.outbox.resize(0);
        else
            c.outbox.clear();
        c.outboxAt = 0;
    } else if (c.outboxAt >= 64 * 1024) {
        // A stream's buffer is appended to while it drains.
        c.outbox.remove(0, c.outboxAt);
        c.outboxAt = 0;
    }
    c.writer->setEnabled(c.unsent() > 0 || c.file >= 0);
    if (c.closing) {
        closeWhenSent(c);
    } else if (!c.streaming && c.file < 0 && c.guard.hasRequest() && c.unsent() < limits_.maxUnsentBytes) {
        serve(c);
    }
}

// The next chunk of the download into the empty outbox; false when the
// connection was dropped because the file no longer holds what was promised.
bool MonitorServer::refill(Connection& c) {
    const int64_t chunk = std::clamp<int64_t>(limits_.maxUnsentBytes, 4096, kFileChunk);
    const int64_t want = std::min(chunk, c.fileEnd - c.fileAt);
    c.outbox.resize(qsizetype(want));
    c.outboxAt = 0;
    ssize_t n;
    do {
        n = ::pread(c.file, c.outbox.data(), size_t(want), off_t(c.fileAt));
    } while (n < 0 && errno == EINTR);
    if (n <= 0) {
        // Shortened under us: the client sees the answer end early rather than other bytes.
        c.outbox.resize(0);
        drop(c);
        return false;
    }
    c.outbox.resize(qsizetype(n));
    c.fileAt += n;
    if (c.fileAt >= c.fileEnd) endDownload(c);
    return true;
}

void MonitorServer::endDownload(Connection& c) {
    if (c.file < 0) return;
    ::close(c.file);
    c.file = -1;
    --downloads_;
}

void MonitorServer::write(Connection& c, const QByteArray& bytes) {
    if (c.unsent() == 0) c.lastProgress.start();
    c.outbox += bytes;
    c.lastActivity.start();
    c.writer->setEnabled(true);
}

void MonitorServer::refuse(Connection& c, int status, const QByteArray& reason) {
    ++refused_;
    write(c, plainResponse(status, reason));
    closeWhenSent(c);
}

// No more requests are read; once the answers are out our side is shut.
void MonitorServer::closeWhenSent(Connection& c) {
    c.closing = true;
    if (c.unsent() > 0 || c.file >= 0 || c.lingering) return;
    ::shutdown(c.fd, SHUT_WR);
    c.lingering = true;
    c.lingerStarted.start();
    if (c.inputEnded) {
        drop(c);
        return;
    }
    c.reader->setEnabled(true);
}

void MonitorServer::drop(Connection& c) {
    auto it = connections_.find(&c);
    if (it == connections_.end()) return;
    c.reader->setEnabled(false);
    c.writer->setEnabled(false);
    if (c.streaming) --streams_;
    endDownload(c);
    if (closed_.empty())
        QMetaObject::invokeMethod(
            this, [this] { closed_.clear(); }, Qt::QueuedConnection);
    closed_.push_back(std::move(it->second));
    connections_.erase(it);
}

void MonitorServer::sweep() {
    std::vector<std::pair<Connection*, int>> close;
    for (auto& [key, c] : connections_) {
        if (c->streaming) continue;
        if (c->unsent() > 0 || c->file >= 0) {
            // A client that takes none of its answers is not waited for.
            if (c->lastProgress.elapsed() > limits_.stallTimeoutMs) close.emplace_back(key, -1);
        } else if (c->lingering) {
            if (c->lingerStarted.elapsed() > kLingerMs) close.emplace_back(key, -1);
        } else if (c->closing) {
            continue;
        } else if (c->guard.midRequest()) {
            if (c->requestStarted.elapsed() > limits_.headerTimeoutMs) close.emplace_back(key, 408);
        } else if (!c->guard.hasRequest() && c->lastActivity.elapsed() > limits_.idleTimeoutMs) {
            close.emplace_back(key, 0);
        }
    }
    for (const auto& [key, status] : close) {
        if (status > 0) {
            refuse(*key, status, "The request took too long.");
        } else if (status < 0) {
            drop(*key);
        } else {
            closeWhenSent(*key);
        }
    }
    if (sinceHeartbeat_.elapsed() >= limits_.heartbeatMs) {
        sinceHeartbeat_.start();
        broadcast(QByteArrayLiteral(": keep-alive\n\n"));
    }
}

// ---------------------------------------------------------------- requests

bool MonitorServer::authorized(const RequestHead& request, const QByteArray& query) const {
    if (token_.isEmpty()) return true;
    for (const QByteArray& value : request.authorization)
        if (value.size() > 7 && value.left(7).toLower() == "bearer " && sameToken(value.mid(7).trimmed(), token_))
            return true;
    // Kept for scripts; a token in a URL ends up in proxies' logs, the page never puts it there.
    const QUrlQuery items(QString::fromLatin1(query));
    return items.hasQueryItem(QStringLiteral("token")) &&
           sameToken(items.queryItemValue(QStringLiteral("token"), QUrl::FullyDecoded).toUtf8(), token_);
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

void MonitorServer::answer(Connection& c, const RequestHead& request) {
    const bool head = request.method == "HEAD";
    std::optional<Target> target = splitTarget(request.target);
    bool hasHost = request.hasHost;
    QByteArray host = request.host;
    if (target && !target->authority.isEmpty()) {
        // The absolute form names the host itself; one that differs from the
        // Host header is read differently by different servers on the way.
        if (hasHost && target->authority.toLower() != host.toLower()) target.reset();
        hasHost = true;
        host = target ? target->authority : host;
    }
    const QByteArray path = target ? target->path : QByteArray();
    // The page and its script hold nothing of the station: the page asks for the token itself.
    const bool open = path == "/" || path == "/index.html" || path == "/app.js";
    const QByteArray json = "application/json";
    Reply r;
    if (!target) {
        r = text(400, "Malformed request.");
    } else if (token_.isEmpty() && !hasHost && !request.http10) {
        r = text(400, "A request needs a Host header.");
    } else if (token_.isEmpty() && hasHost && !hostAllowed(host)) {
        r = text(421, "Without a token this station answers only requests for localhost or 127.0.0.1.");
    } else if (!open && !authorized(request, target->query)) {
        r = text(401, "A token is needed: Authorization: Bearer TOKEN, or ?token=TOKEN.",
                 {{"WWW-Authenticate", "Bearer realm=\"KestroRecorder\""}});
    } else if (request.method != "GET" && !head) {
        r = text(405, "Read-only: only GET and HEAD.", {{"Allow", "GET, HEAD"}});
    } else if (path == "/" || path == "/index.html") {
        const QByteArray language = pageLanguage(request.acceptLanguage);
        r = Reply{200,
                  "text/html; charset=utf-8",
                  translated_.at(language).page,
                  {{"Content-Security-Policy",
                    "default-src 'none'; script-src 'self'; style-src 'unsafe-inline'; connect-src 'self'; "
                    "img-src data:; base-uri 'none'; form-action 'none'; frame-ancestors 'none'"},
                   {"Content-Language", language},
                   {"Vary", "Accept-Language"}}};
    } else if (path == "/app.js") {
        const QByteArray language = pageLanguage(request.acceptLanguage);
        r = Reply{200,
                  "text/javascript; charset=utf-8",
                  translated_.at(language).script,
                  {{"Content-Language", language}, {"Vary", "Accept-Language"}}};
    } else if (path == "/api/state") {
        r = Reply{200, json, monitor_.stateJson(), {}};
    } else if (path == "/api/files") {
        r = Reply{200, json, filesJson(), {}};
    } else if (path == "/api/days") {
        r = Reply{200, json, monitor_.daysJson(), {}};
    } else if (path.startsWith("/files/") && token_.isEmpty() && !tcp_->serverAddress().isLoopback()) {
        r = text(403,
                 "This station listens beyond loopback without a token, so it serves no files: "
                 "give it one with --serve-token-file FILE.");
    } else if (path.startsWith("/files/")) {
        r = fileReply(catalog_, recordDirectory_ ? recordDirectory_() : QString(), path.mid(7), request,
                      head || downloads_ < limits_.maxDownloads ? 0 : limits_.maxDownloads);
    } else if (path == "/api/chain") {
        r = Reply{200, json, monitor_.chainJson(), {}};
    } else if (path == "/api/statistics") {
        r = Reply{200, json, monitor_.statisticsJson(), {}};
    } else if (path == "/api/history") {
        r = Reply{200, json, monitor_.historyJson(), {}};
    } else if (path == "/metrics") {
        r = Reply{200, "text/plain; version=0.0.4; charset=utf-8", metricsText(), {}};
    } else if (path == "/api/events" && streams_ >= limits_.maxStreams) {
        r = text(503, "Too many event-stream clients.", {{"Retry-After", "10"}});
    } else if (path == "/api/events" && !head) {
        write(c, openStream(c));
        return;
    } else if (path == "/api/events") {
        r = Reply{200, "text/event-stream; charset=utf-8", QByteArray(), {}};
    } else {
        r = text(404, "Not found.");
    }
    std::vector<Header> headers{{"Content-Type", r.type},
                                {"Content-Length", QByteArray::number(r.length >= 0 ? r.length : r.body.size())},
                                {"Cache-Control", "no-store"},
                                {"X-Content-Type-Options", "nosniff"},
                                {"Referrer-Policy", "no-referrer"}};
    headers.insert(headers.end(), r.extra.begin(), r.extra.end());
    // A target that cannot be read leaves the connection in doubt, like a malformed request.
    const bool keepAlive = request.keepAlive && target;
    if (!keepAlive)
        headers.push_back({"Connection", "close"});
    else if (request.http10)
        headers.push_back({"Connection", "keep-alive"});
    write(c, statusAndHeaders(r.status, headers) + (head ? QByteArray() : r.body));
    if (r.file >= 0 && !head && r.length > 0) {
        c.file = r.file;
        c.fileAt = r.from;
        c.fileEnd = r.from + r.length;
        ++downloads_;
        ::posix_fadvise(c.file, off_t(r.from), 0, POSIX_FADV_SEQUENTIAL);
    } else if (r.file >= 0) {
        ::close(r.file);
    }
    c.waitingSince.start();
    if (!keepAlive) {
        if (!target) ++refused_;
        closeWhenSent(c);
    }
}

QByteArray MonitorServer::openStream(Connection& c) {
    c.streaming = true;
    ++streams_;
    // Keeps what a stalled client costs small: the rest waits in our buffer, which is bounded.
    const int sendBuffer = 64 * 1024;
    ::setsockopt(c.fd, SOL_SOCKET, SO_SNDBUF, &sendBuffer, sizeof sendBuffer);
    // Where it begins: the page reconnects after 3 s when the program
    // restarts, and needs nothing else to draw itself.
    return statusAndHeaders(200, {{"Content-Type", "text/event-stream; charset=utf-8"},
                                  {"Cache-Control", "no-store"},
                                  {"X-Accel-Buffering", "no"}}) +
           "retry: 3000\n\n" + eventBytes("state", monitor_.stateJson()) + eventBytes("files", monitor_.filesJson()) +
           eventBytes("statistics", monitor_.statisticsJson(kEventIntervals));
}

void MonitorServer::broadcast(const QByteArray& bytes) {
    // Writing may drop a stream, and with it an entry of the map.
    std::vector<Connection*> streams;
    for (const auto& [key, c] : connections_)
        if (c->streaming) streams.push_back(key);
    for (Connection* c : streams)
        writeStream(*c, bytes);
}

void MonitorServer::writeStream(Connection& c, const QByteArray& bytes) {
    if (c.unsent() + bytes.size() > limits_.maxStreamBacklog) {
        // It can reconnect and start afresh; the others must not wait for it.
        ++droppedStreams_;
        drop(c);
        return;
    }
    write(c, bytes);
}

// The record directory's files, with this run's record files' start and
// duration; a file of this run no longer there keeps its entry. Written as
// text: a year of series is tens of thousands of entries.
QByteArray MonitorServer::filesJson() {
    const QJsonArray run = QJsonDocument::fromJson(monitor_.filesJson()).array();
    std::map<QString, QJsonObject> ofRun;
    for (const QJsonValue& v : run)
        ofRun[v.toObject().value(QStringLiteral("name")).toString()] = v.toObject();
    const QString dir = recordDirectory_ ? recordDirectory_() : QString();
    const int offset = monitor_.offsets().currentMinutes();
    const std::vector<CatalogFile> files = dir.isEmpty() ? std::vector<CatalogFile>() : catalog_.list(dir);
    QByteArray out = "[";
    out.reserve(qsizetype(files.size()) * 220 + 2);
    for (const CatalogFile& f : files) {
        const QByteArray modified = isoLocalTime(utcAsAbsoluteMs(f.modifiedMs) + offset * 60000LL, offset).toLatin1();
        const QByteArray sha = f.sha256.isEmpty() ? QByteArray("null") : '"' + f.sha256 + '"';
        const auto it = ofRun.find(f.name);
        if (it == ofRun.end()) {
            out.append("{\"name\":\"");
            for (const char c : f.name.toUtf8()) {
                if (c == '"' || c == '\\') {
                    out.append('\\').append(c);
                } else if (static_cast<unsigned char>(c) < 0x20) {
                    char hex[8];
                    std::snprintf(hex, sizeof hex, "\\u%04x", static_cast<unsigned char>(c));
                    out.append(hex);
                } else {
                    out.append(c);
                }
            }
            out.append("\",\"kind\":\"")
                .append(f.kind)
                .append("\",\"size\":")
                .append(QByteArray::number(qlonglong(f.size)));
            out.append(",\"modified\":\"").append(modified).append("\",\"state\":\"");
            out.append(f.closed ? "closed" : "open").append("\",\"sha256\":").append(sha).append("},");
            continue;
        }
        QJsonObject o = it->second;
        ofRun.erase(it);
        o.insert(QStringLiteral("kind"), QLatin1String(f.kind));
        o.insert(QStringLiteral("size"), double(f.size));
        o.insert(QStringLiteral("modified"), QString::fromLatin1(modified));
        o.insert(QStringLiteral("state"), f.closed ? QStringLiteral("closed") : QStringLiteral("open"));
        o.insert(QStringLiteral("sha256"),
                 f.sha256.isEmpty() ? QJsonValue() : QJsonValue(QString::fromLatin1(f.sha256)));
        out += QJsonDocument(o).toJson(QJsonDocument::Compact) + ',';
    }
    for (const QJsonValue& v : run)
        if (ofRun.count(v.toObject().value(QStringLiteral("name")).toString()))
            out += QJsonDocument(v.toObject()).toJson(QJsonDocument::Compact) + ',';
    if (out.endsWith(',')) out.chop(1);
    return out + ']';
}

QByteArray MonitorServer::metricsText() const {
    QByteArray out = monitor_.metricsText();
    out +=
        "# HELP kestro_http_event_clients Event-stream clients connected.\n"
        "# TYPE kestro_http_event_clients gauge\n"
        "kestro_http_event_clients " +
        QByteArray::number(streams_) +
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
    return instance_.isEmpty() ? out : labelEverySample(out, "instance", instance_);
}

QByteArray labelEverySample(const QByteArray& text, const QByteArray& name, const QByteArray& value) {
    QByteArray escaped = value;
    escaped.replace('\\', "\\\\").replace('"', "\\\"").replace('\n', "\\n");
    const QByteArray label = name + "=\"" + escaped + '"';
    QByteArray out;
    out.reserve(text.size() + text.count('\n') * (label.size() + 3));
    for (const QByteArray& line : text.split('\n')) {
        qsizetype end = 0;
        while (end < line.size() && line[end] != ' ' && line[end] != '{')
            ++end;
        if (line.isEmpty() || line.startsWith('#') || end == 0) {
            out += line;
        } else if (end < line.size() && line[end] == '{') {
            const bool empty = end + 1 < line.size() && line[end + 1] == '}';
            out += line.left(end + 1) + label + (empty ? "" : ",") + line.mid(end + 1);
        } else {
            out += line.left(end) + '{' + label + '}' + line.mid(end);
        }
        out += '\n';
    }
    out.chop(1);  // split gave one more piece than there were line ends
    return out;
}

}  // namespace kestro
