#include "remote/MonitorServer.h"
#include "remote/PageLanguage.h"
#include "remote/StationMonitor.h"
#include "support/ManualClock.h"
#include "support/MeterStates.h"

#include <QCryptographicHash>
#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>
#include <functional>
#include <memory>

using namespace kestro;

namespace {

struct Reply {
    int status = 0;
    QByteArray head, body;
    bool closed = false;
    QByteArray header(const QByteArray& name) const {
        for (const QByteArray& line : head.split('\n'))
            if (line.toLower().startsWith(name.toLower() + ':')) return line.mid(name.size() + 1).trimmed();
        return QByteArray();
    }
};

// A client on the test's own thread: it waits by running the event loop, so
// the server can answer meanwhile.
class Client {
public:
    explicit Client(quint16 port) {
        socket_.connectToHost(QHostAddress::LocalHost, port);
        (void)QTest::qWaitFor([this] { return socket_.state() == QAbstractSocket::ConnectedState; }, 5000);
    }
    void send(const QByteArray& bytes) { socket_.write(bytes); }
    bool closed() const { return socket_.state() == QAbstractSocket::UnconnectedState; }
    // Waits until done() holds for what has come, the server closes or the time is up; true once closed.
    bool waitFor(const std::function<bool()>& done, int timeoutMs) {
        (void)QTest::qWaitFor(
            [&] {
                buffer_ += socket_.readAll();
                return done() || closed();
            },
            timeoutMs);
        return closed();
    }
    // The next response; HEAD responses announce a length they do not send.
    Reply next(bool head = false, int timeoutMs = 5000) {
        Reply r;
        qsizetype end = -1, length = 0;
        waitFor(
            [&] {
                end = buffer_.indexOf("\r\n\r\n");
                r.head = buffer_.left(end);
                length = head ? 0 : r.header("Content-Length").toLongLong();
                return end >= 0 && buffer_.size() >= end + 4 + length;
            },
            timeoutMs);
        if (end < 0) return Reply{0, {}, {}, true};
        r.status = r.head.mid(9, 3).toInt();
        r.body = buffer_.mid(end + 4, length);
        buffer_.remove(0, end + 4 + length);
        r.closed = closed();
        return r;
    }
    QByteArray streamUntil(const QByteArray& text, int timeoutMs = 5000) {
        waitFor([&] { return buffer_.contains(text); }, timeoutMs);
        return buffer_;
    }
    bool waitClosed(int timeoutMs = 5000) {
        return waitFor([] { return false; }, timeoutMs);
    }
    QTcpSocket& socket() { return socket_; }

private:
    QTcpSocket socket_;
    QByteArray buffer_;
};

QByteArray get(const QByteArray& target, const QByteArray& extra = {}, const QByteArray& method = "GET") {
    return method + ' ' + target + " HTTP/1.1\r\nHost: 127.0.0.1\r\n" + extra + "\r\n";
}

// A socket without Qt: a small receive buffer makes a client that does not
// read visible to the server soon.
int rawClient(quint16 port, int receiveBuffer) {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    ::setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &receiveBuffer, sizeof receiveBuffer);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(port);
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return ::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0 ? fd : -1;
}

class ServerTest : public ::testing::Test {
protected:
    void SetUp() override {
        monitor.update(meter, false, false, clock.read());
        start(ServerLimits{});
    }
    void start(const ServerLimits& limits, const QString& token = QString()) {
        server = std::make_unique<MonitorServer>(monitor);
        server->setLimits(limits);
        server->setToken(token);
        QString error;
        ASSERT_TRUE(server->listen(QHostAddress::LocalHost, 0, &error)) << error.toStdString();
        port = server->port();
    }
    Reply fetch(const QByteArray& request, bool head = false) {
        Client c(port);
        c.send(request);
        return c.next(head);
    }
    void addSample(int16_t tenths) {
        meter.DevLevel = tenths;
        monitor.update(meter, false, false, clock.read());
        clock.advanceMs(1000);
    }

    ManualClock clock;
    KestroStateRecord meter = runningMeter();
    StationMonitor monitor;
    std::unique_ptr<MonitorServer> server;
    quint16 port = 0;
};

TEST_F(ServerTest, EveryEndpointAnswers) {
    const struct {
        const char* target;
        int status;
        const char* type;  // start of the content type
        const char* contains;
    } rows[] = {
        {"/", 200, "text/html", "id=\"level\""},
        {"/index.html", 200, "text/html", "<script src=\"/app.js\"></script>"},
        {"/app.js", 200, "text/javascript", "fetch(\"/api/events\""},
        {"/api/state", 200, "application/json", "\"level_db\":73.4"},
        {"/api/state?since=now", 200, "application/json", "\"serial\":\"01234567\""},
        {"/api/files", 200, "application/json", "["},
        {"/api/statistics", 200, "application/json", "\"slow\""},
        {"/api/history", 200, "application/json", "\"points\""},
        {"/metrics", 200, "text/plain; version=0.0.4", "kestro_device_online 1\n"},
        {"/api/nothing", 404, "text/plain", "Not found"},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.target);
        const Reply reply = fetch(get(r.target));
        EXPECT_EQ(reply.status, r.status);
        EXPECT_TRUE(reply.header("Content-Type").startsWith(r.type)) << reply.head.toStdString();
        EXPECT_TRUE(reply.body.contains(r.contains)) << reply.body.left(300).toStdString();
        EXPECT_EQ(reply.header("Cache-Control"), "no-store");
    }
    // The page needs nothing from elsewhere, and runs no script of its own
    // making: neither inline nor in an attribute.
    const Reply page = fetch(get("/"));
    const QByteArray script = fetch(get("/app.js")).body;
    for (const char* external : {"http://", "https://", "//cdn", "<link"})
        EXPECT_FALSE(page.body.contains(external)) << external;
    EXPECT_EQ(page.body.count("<script"), 1);
    for (const QByteArray& text : {page.body, script})
        EXPECT_FALSE(QRegularExpression(R"(\son[a-z]+\s*=\s*["'])").match(QString::fromUtf8(text)).hasMatch());
    const QByteArray policy = page.header("Content-Security-Policy");
    EXPECT_TRUE(policy.contains("; script-src 'self';") && policy.count("unsafe-inline") == 1) << policy.data();
}

// The page's language from Accept-Language: German only where it is preferred to English.
TEST(PageLanguage, WeighsTheRanges) {
    const struct {
        const char* header;
        const char* language;
    } rows[] = {
        {"de-DE,de;q=0.9,en;q=0.8", "de"},
        {"en;q=1, de;q=0.5", "en"},
        {"*", "en"},
        {"", "en"},
        {"de;q=0", "en"},
        {"fr, de;q=0.5", "de"},
        {"DE-at", "de"},
        {"de ; q=0.7 , en;q=0.6", "de"},
        {"en-GB, de", "en"},
        {"de;q=0.5, *;q=0.8", "en"},
        {"en;q=0.1, *", "de"},
        {"de;q=1.5", "en"},
        {"de;q=0.9999", "en"},
        {"de;level=1", "en"},
        {"de_DE", "en"},
        {"deutsch, de-", "en"},
        {",,de,", "de"},
        {"en;q=0.5,de-CH-1996;q=0.6", "de"},
        {"de;q=0.9, de-AT;q=0.1, en;q=0.5", "de"},
    };
    for (const auto& r : rows)
        EXPECT_EQ(kestro::pageLanguage(r.header), r.language) << r.header;
}

// The page and its script in the reader's language, from the program's translations; the data stays.
TEST_F(ServerTest, ThePageSpeaksTheReadersLanguage) {
    for (const char* german :
         {"Accept-Language: de-DE,de;q=0.9,en;q=0.8\r\n", "Accept-Language: fr\r\nAccept-Language: de\r\n"}) {
        const Reply page = fetch(get("/", german));
        const Reply script = fetch(get("/app.js", german));
        for (const Reply* r : {&page, &script})
            EXPECT_EQ(std::pair(r->header("Vary"), r->header("Content-Language")),
                      std::pair(QByteArray("Accept-Language"), QByteArray("de")));
        EXPECT_TRUE(page.body.contains("<html lang=\"de\">"));
        EXPECT_TRUE(page.body.contains("<label for=\"token\">Diese Station braucht ihr Token:</label>"));
        EXPECT_TRUE(page.body.contains("aria-label=\"Schallpegel\""));
        EXPECT_TRUE(script.body.contains("T(\"Überschreitung von %1 dB seit %2\""));
        EXPECT_FALSE(page.body.contains("{{") || script.body.contains("T(\"token needed\")"));
    }
    for (const QByteArray& english : {QByteArray(), QByteArray("Accept-Language: en;q=1, de;q=0.5\r\n")}) {
        const Reply page = fetch(get("/", english));
        EXPECT_EQ(page.header("Vary"), "Accept-Language");
        EXPECT_TRUE(page.body.contains("<html lang=\"en\">"));
        EXPECT_TRUE(page.body.contains(">This station needs its token:<") && !page.body.contains("{{"));
        EXPECT_TRUE(fetch(get("/app.js", english)).body.contains("T(\"token needed\")"));
    }
    EXPECT_EQ(fetch(get("/api/state", "Accept-Language: de\r\n")).body, monitor.stateJson());
}

// Read-only: every other method is refused; HEAD announces what GET would send.
TEST_F(ServerTest, NothingCanBeChanged) {
    for (const char* method : {"POST", "PUT", "DELETE", "PATCH", "OPTIONS"}) {
        const Reply r = fetch(get("/api/state", "Content-Length: 2\r\n", method) + "{}");
        EXPECT_EQ(std::pair(r.status, r.header("Allow")), std::pair(405, QByteArray("GET, HEAD"))) << method;
    }
    const Reply head = fetch(get("/api/state", {}, "HEAD"), true);
    EXPECT_EQ(head.status, 200);
    EXPECT_EQ(head.header("Content-Length"), QByteArray::number(monitor.stateJson().size()));
    EXPECT_TRUE(head.body.isEmpty());
}

TEST_F(ServerTest, ATokenGuardsEveryRequest) {
    start(ServerLimits{}, "s3cr3t-t0ken");
    const struct {
        QByteArray request;
        int status;
    } rows[] = {
        {get("/api/state"), 401},
        {get("/"), 200},  // the page asks for the token itself
        {get("/nothing"), 401},
        {get("/api/events"), 401},
        {get("/metrics", "Authorization: Bearer s3cr3t-t0ken\r\n"), 200},
        {get("/api/state", "authorization: bearer s3cr3t-t0ken\r\n"), 200},
        {get("/api/state", "Authorization: Bearer s3cr3t-t0ke\r\n"), 401},
        {get("/api/state", "Authorization: Bearer s3cr3t-t0kenX\r\n"), 401},
        {get("/api/state", "Authorization: Basic czNjcjN0LXQwa2Vu\r\n"), 401},
        {get("/api/state?token=s3cr3t-t0ken"), 200},
        {get("/?token=s3cr3t-t0ken"), 200},
        {get("/api/state?token=s3cr3t%2Dt0ken"), 200},
        {get("/api/state?token="), 401},
        {get("/api/state?tok=s3cr3t-t0ken"), 401},
        {get("/nothing?token=s3cr3t-t0ken"), 404},
        {get("/app.js"), 200},
        {"GET /api/state HTTP/1.1\r\nHost: station.example\r\nAuthorization: Bearer s3cr3t-t0ken\r\n\r\n", 200},
        {get("/api/state", QByteArray("X-Pad: 1\r\n").repeated(300) + "Authorization: Bearer s3cr3t-t0ken\r\n"), 200},
        {get("/api/state", "Authorization: Basic x\r\nAuthorization: Bearer s3cr3t-t0ken\r\n"), 200},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.request.toStdString());
        const Reply reply = fetch(r.request);
        EXPECT_EQ(reply.status, r.status);
        if (r.status == 401) {
            EXPECT_TRUE(reply.header("WWW-Authenticate").startsWith("Bearer"));
            EXPECT_FALSE(reply.body.contains("level_db"));
        }
    }
}

// A web page elsewhere may point a name of its own at this machine: without
// a token only loopback names and addresses are answered.
TEST_F(ServerTest, WithoutATokenOnlyLoopbackNamesAreAnswered) {
    const struct {
        const char* head;  // after the request line
        int status;
    } rows[] = {
        {"Host: localhost:8080", 200}, {"Host: kestro.localhost.", 200}, {"Host: 127.0.0.2", 200},
        {"Host: [::1]:80", 200},       {"Host: attacker.example", 421},  {"Host: localhost.attacker.example", 421},
        {"Host: [::1", 421},           {"Host: 10.0.0.1", 421},          {"X-No-Host: 1", 400},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.head);
        EXPECT_EQ(fetch(QByteArray("GET /api/state HTTP/1.1\r\n") + r.head + "\r\n\r\n").status, r.status);
    }
    EXPECT_EQ(fetch("GET /api/state HTTP/1.0\r\n\r\n").status, 200);
}

// The limits of the request guard as the client sees them: the status, and
// a closed connection after a refusal; the server serves on.
TEST_F(ServerTest, RequestsOver8KBAreRefused) {
    const qsizetype pad = 8192 - get("/api/state", "X-Pad: \r\n").size();
    const QByteArray exact = get("/api/state", "X-Pad: " + QByteArray(pad, 'a') + "\r\n");
    const QByteArray over = get("/api/state", "X-Pad: " + QByteArray(pad + 1, 'a') + "\r\n");
    for (const auto& [request, status] :
         {std::pair{exact, 200},
          {over, 431},
          {get("/api/state", "Content-Length: 9000\r\n", "POST") + QByteArray(9000, 'x'), 413},
          {QByteArray(1 << 20, 'A'), 431}}) {  // a flood without a line end is refused at the limit
        Client c(port);
        c.send(request);
        EXPECT_EQ(c.next().status, status);
        EXPECT_EQ(c.waitClosed(status == 200 ? 300 : 5000), status != 200);
    }
    EXPECT_EQ(server->refusedRequests(), 3u);
    EXPECT_EQ(fetch(get("/api/state")).status, 200);
}

TEST_F(ServerTest, ConnectionsStayOpenUnlessTheClientSaysOtherwise) {
    const struct {
        QByteArray request;
        bool closed;
        const char* connection;  // the answer's Connection header
    } rows[] = {
        {get("/api/state"), false, ""},
        {get("/api/state", "Connection: Keep-Alive, close\r\n"), true, "close"},
        {"GET /api/state HTTP/1.0\r\n\r\n", true, "close"},
        {"GET /api/state HTTP/1.0\r\nConnection: keep-alive\r\n\r\n", false, "keep-alive"},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.request.toStdString());
        Client c(port);
        c.send(r.request + get("/metrics"));
        const Reply first = c.next();
        EXPECT_EQ(first.status, 200);
        EXPECT_EQ(first.header("Connection"), r.connection);
        // Closed at once, and what came after the request is not answered.
        const Reply second = c.next(false, 2000);
        EXPECT_EQ(second.closed, r.closed);
        EXPECT_EQ(second.body.contains("kestro_device_online"), !r.closed);
    }
}

// However many requests arrive at once, each byte is read once.
TEST_F(ServerTest, PipelinedRequestsAreReadOnce) {
    const QByteArray all = get("/api/state").repeated(1000);
    Client c(port);
    c.send(all);
    int ok = 0;
    for (int i = 0; i < 1000; ++i)
        ok += c.next().status == 200;
    EXPECT_EQ(ok, 1000);
    EXPECT_EQ(server->bytesExamined(), all.size());
}

TEST_F(ServerTest, EventStreamCarriesEverySample) {
    Client c(port);
    c.send(get("/api/events"));
    const QByteArray start = c.streamUntil("event: statistics\n");
    EXPECT_TRUE(start.startsWith("HTTP/1.1 200")) << start.left(200).toStdString();
    for (const char* part :
         {"Content-Type: text/event-stream", "retry: 3000\n", "event: state\ndata: {", "event: files\ndata: ["})
        EXPECT_TRUE(start.contains(part)) << part;
    for (int i = 0; i < 20; ++i)
        addSample(int16_t(600 + i));
    const QByteArray all = c.streamUntil("\"db\":61.9");
    EXPECT_EQ(all.count("event: sample\n"), 20);
    EXPECT_TRUE(all.contains("\"db\":60,"));
    // A state change is news too.
    meter.DevBattery = 1;
    monitor.update(meter, false, false, clock.read());
    EXPECT_TRUE(c.streamUntil("\"battery\":\"empty\"").contains("\"battery\":\"empty\""));
    EventNotice n;
    n.count = 1;
    monitor.addEvent(n);
    EXPECT_TRUE(c.streamUntil("event: exceedance\ndata: {").contains("\"phase\":\"start\""));
    EXPECT_EQ(server->streamCount(), 1);
}

TEST_F(ServerTest, AtMost32EventClients) {
    std::vector<std::unique_ptr<Client>> clients;
    for (int i = 0; i < 32; ++i) {
        clients.push_back(std::make_unique<Client>(port));
        clients.back()->send(get("/api/events"));
        EXPECT_TRUE(clients.back()->streamUntil("event: state").startsWith("HTTP/1.1 200")) << i;
    }
    EXPECT_EQ(server->streamCount(), 32);
    const Reply refused = fetch(get("/api/events"));
    EXPECT_EQ(refused.status, 503);
    EXPECT_EQ(refused.header("Retry-After"), "10");
    // Other requests still work, and a place that comes free can be taken.
    EXPECT_EQ(fetch(get("/api/state")).status, 200);
    clients.erase(clients.begin());
    (void)QTest::qWaitFor([&] { return server->streamCount() == 31; }, 5000);
    Client again(port);
    again.send(get("/api/events"));
    EXPECT_TRUE(again.streamUntil("event: state").startsWith("HTTP/1.1 200"));
}

// A client that stops reading must not hold up anyone nor fill the memory:
// what waits for it is bounded, then it is dropped.
TEST_F(ServerTest, AClientThatStopsReadingIsBoundedThenDropped) {
    ServerLimits limits;
    limits.maxUnsentBytes = 16 * 1024;
    limits.stallTimeoutMs = 1000;
    limits.maxStreamBacklog = 64 * 1024;
    start(limits);
    // It sends requests and reads no answer: it is no longer read from once
    // its answers reach the bound, and dropped when it takes none for a while.
    int fd = rawClient(port, 4096);
    ASSERT_GE(fd, 0);
    ::fcntl(fd, F_SETFL, O_NONBLOCK);
    const QByteArray requests = get("/api/state").repeated(1000);
    ASSERT_TRUE(QTest::qWaitFor([&] { return server->connectionCount() == 1; }, 5000));
    int64_t peak = 0;
    qsizetype at = 0;
    QElapsedTimer t;
    t.start();
    while (server->connectionCount() > 0 && t.elapsed() < 10000) {
        const ssize_t n = ::send(fd, requests.constData() + at, size_t(requests.size() - at), MSG_NOSIGNAL);
        if (n > 0) at = (at + n) % requests.size();
        QCoreApplication::processEvents();
        peak = std::max(peak, server->unsentBytes());
    }
    EXPECT_EQ(server->connectionCount(), 0);
    EXPECT_GE(peak, limits.maxUnsentBytes);
    EXPECT_LE(peak, limits.maxUnsentBytes + 1024);  // and one answer
    ::close(fd);

    // It takes an event stream: a reading client still gets every event.
    fd = rawClient(port, 4096);
    ASSERT_GE(fd, 0);
    const QByteArray request = get("/api/events");
    ASSERT_EQ(::send(fd, request.constData(), size_t(request.size()), 0), request.size());
    Client reader(port);
    reader.send(get("/api/events"));
    reader.streamUntil("event: state");
    ASSERT_TRUE(QTest::qWaitFor([&] { return server->streamCount() == 2; }, 5000));
    int sent = 0;
    for (; sent < 20000 && server->droppedStreams() == 0; ++sent) {
        addSample(int16_t(500 + sent % 100));
        if (sent % 50 == 0) QCoreApplication::processEvents();
    }
    EXPECT_EQ(server->droppedStreams(), 1u);
    EXPECT_EQ(server->streamCount(), 1);
    for (int i = 0; i < 10; ++i, ++sent)
        addSample(int16_t(900 + i));
    const QByteArray all = reader.streamUntil("\"db\":90.9", 20000);
    EXPECT_EQ(all.count("event: sample\n"), sent);
    ::close(fd);
}

// The path is matched as sent: what a proxy in front decodes or normalises
// is nothing here, and a target that cannot be read is refused and closes.
TEST_F(ServerTest, TargetsAreMatchedAsSent) {
    const struct {
        const char* target;
        const char* host;
        int status;
    } rows[] = {
        {"//x/metrics", "127.0.0.1", 404},
        {"/api/../metrics", "127.0.0.1", 404},
        {"/api/%2e%2E/metrics", "127.0.0.1", 404},
        {"/%6detrics", "127.0.0.1", 404},
        {"/metrics?x=/../y", "127.0.0.1", 200},
        {"http://127.0.0.1:80/metrics", "127.0.0.1:80", 200},
        {"HTTP://LOCALHOST?x", "localhost", 200},
        {"http://attacker.example/metrics", "127.0.0.1", 400},
        {"http://x@127.0.0.1/metrics", "x@127.0.0.1", 400},
        {"https://127.0.0.1/metrics", "127.0.0.1", 400},
        {"127.0.0.1:80", "127.0.0.1", 400},
        {"*", "127.0.0.1", 400},
        {"/metrics#x", "127.0.0.1", 400},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.target);
        Client c(port);
        c.send(QByteArray("GET ") + r.target + " HTTP/1.1\r\nHost: " + r.host + "\r\n\r\n");
        EXPECT_EQ(c.next().status, r.status);
        EXPECT_EQ(c.waitClosed(r.status == 400 ? 5000 : 100), r.status == 400);
    }
}

// A client that shuts its sending side after its requests gets every answer
// that came before, then the connection closes.
TEST_F(ServerTest, AHalfClosedClientIsAnswered) {
    for (const auto& [sent, answers] : {std::pair{get("/api/state"), 1},
                                        {get("/api/state") + get("/metrics"), 2},
                                        {get("/api/events"), 1},
                                        {"GET /api/sta", 0}}) {
        SCOPED_TRACE(sent.toStdString());
        const int fd = rawClient(port, 1 << 16);
        ASSERT_GE(fd, 0);
        ASSERT_EQ(::send(fd, sent.constData(), size_t(sent.size()), 0), sent.size());
        ::shutdown(fd, SHUT_WR);
        ::fcntl(fd, F_SETFL, O_NONBLOCK);
        QByteArray got;
        bool ended = false;
        (void)QTest::qWaitFor(
            [&] {
                char buffer[4096];
                ssize_t n;
                while ((n = ::recv(fd, buffer, sizeof buffer, 0)) > 0)
                    got.append(buffer, n);
                ended = n == 0;
                return ended;
            },
            5000);
        EXPECT_TRUE(ended);
        EXPECT_EQ(got.count("HTTP/1.1 200 OK"), answers);
        ::close(fd);
    }
    EXPECT_TRUE(QTest::qWaitFor([&] { return server->connectionCount() == 0; }, 5000));
}

TEST_F(ServerTest, SlowRequestsAndIdleConnectionsAreClosed) {
    ServerLimits limits;
    limits.headerTimeoutMs = 300;
    limits.idleTimeoutMs = 600;
    limits.heartbeatMs = 200;
    start(limits);
    Client slow(port);
    slow.send("GET /api/state HT");
    EXPECT_EQ(slow.next().status, 408);
    EXPECT_TRUE(slow.waitClosed());

    // Blank lines between requests are no request: idle is idle.
    Client idle(port);
    idle.send(get("/api/state"));
    EXPECT_EQ(idle.next().status, 200);
    QElapsedTimer t;
    t.start();
    while (!idle.waitClosed(100) && t.elapsed() < 5000)
        idle.send("\r\n");
    EXPECT_TRUE(idle.closed());

    // An event stream is never idle: it gets comment lines instead.
    Client stream(port);
    stream.send(get("/api/events"));
    EXPECT_TRUE(stream.streamUntil(": keep-alive\n\n", 3000).contains(": keep-alive\n\n"));
    EXPECT_FALSE(stream.waitClosed(1000));
}

// When every connection is taken, the one that has waited longest without a
// request in progress makes room; streams are kept.
TEST_F(ServerTest, AFullServerClosesTheLongestWaitingConnection) {
    ServerLimits limits;
    limits.maxConnections = 3;
    start(limits);
    const struct {
        const char* what;
        QByteArray sent;
        const char* awaited;  // what comes back before the next one connects
        bool served;
    } rows[] = {
        {"idle after an answer", get("/api/state"), "level_db", true},
        {"half a request", "GET /api/sta", nullptr, true},
        {"event streams", get("/api/events"), "event: state", false},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.what);
        std::vector<std::unique_ptr<Client>> held;
        for (int i = 0; i < 3; ++i) {
            held.push_back(std::make_unique<Client>(port));
            held.back()->send(r.sent);
            if (r.awaited) held.back()->streamUntil(r.awaited);
            QTest::qWait(30);
        }
        ASSERT_TRUE(QTest::qWaitFor([&] { return server->connectionCount() == 3; }, 5000));
        Client newcomer(port);
        newcomer.send(get("/api/state"));
        EXPECT_EQ(newcomer.next().status, r.served ? 200 : 503);
        EXPECT_EQ(held[0]->waitClosed(r.served ? 5000 : 200), r.served);
        EXPECT_FALSE(held[1]->waitClosed(0));
        held.clear();
        newcomer.socket().abort();
        ASSERT_TRUE(QTest::qWaitFor([&] { return server->connectionCount() == 0; }, 5000));
    }
    EXPECT_EQ(server->evictedConnections(), 2u);
}

TEST_F(ServerTest, APortInUseIsReported) {
    MonitorServer second(monitor);
    QString error;
    EXPECT_FALSE(second.listen(QHostAddress::LocalHost, port, &error));
    EXPECT_FALSE(error.isEmpty());
}

}  // namespace

namespace {

// A record directory as the program leaves it, with things planted in it.
class FilesTest : public ServerTest {
protected:
    void SetUp() override {
        ServerTest::SetUp();
        record = QByteArray("Time;NoiseValue\r\n") + QByteArray(300000, 'x');
        for (int i = 0; i < record.size(); i += 7)
            record[i] = char('0' + i % 10);
        sha = QCryptographicHash::hash(record, QCryptographicHash::Sha256).toHex();
        const QByteArray grown = "Time;NoiseValue\r\n1;2\r\n";
        put(kRecord, record);
        put("S_LP_20260305_140327_STAT.dat", "stat");
        put("S_LP_20260305_140327_INFO.json", R"({"state":"closed","record_file":"S_LP_20260305_140327.dat",
            "record_bytes":)" + QByteArray::number(record.size()) +
                                                  R"(,"record_sha256":")" + sha + "\"}");
        put("S_LP_20260305_140327_INFO.json.sig", "sig");
        // A record file a later series appends to: vouched for at an earlier size.
        put("S_LEQ_20260305_150000.dat", grown);
        put("S_LEQ_20260305_150000_INFO.json", R"({"state":"closed","record_file":"S_LEQ_20260305_150000.dat",
            "record_bytes":5,"record_sha256":")" + sha +
                                                   "\"}");
        put("calibration.csv", "Time;Level\r\n");
        put("notes.txt", "not ours");
        put(".S_LP_20260305_140327.dat.Ab12Cd", "half");
        ASSERT_TRUE(QDir(dir.path()).mkdir("reports"));
        put("reports/2026-03-05_01234567.pdf", "%PDF");
        ASSERT_EQ(::symlink("/etc/passwd", QFile::encodeName(dir.filePath("S_LP_20260305_160000.dat")).constData()), 0);
        ASSERT_EQ(::symlink("/etc", QFile::encodeName(dir.filePath("S_LP_20260305_170000_INFO.json")).constData()), 0);
        ASSERT_EQ(::symlink("/etc/passwd", QFile::encodeName(dir.filePath("reports/2026-03-06_1.pdf")).constData()), 0);
        ASSERT_EQ(::mkfifo(QFile::encodeName(dir.filePath("S_LP_20260305_180000.dat")).constData(), 0600), 0);
    }
    void start(const ServerLimits& limits, const QString& token = QString()) {
        ServerTest::start(limits, token);
        server->setRecordDirectory([this] { return dir.path(); });
    }
    void put(const QString& name, const QByteArray& bytes) {
        QFile f(dir.filePath(name));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size());
    }
    static constexpr const char* kRecord = "S_LP_20260305_140327.dat";
    QTemporaryDir dir;
    QByteArray record, sha;
};

TEST_F(FilesTest, TheListHoldsTheProgramsRegularFiles) {
    start(ServerLimits{});
    const QJsonArray list = QJsonDocument::fromJson(fetch(get("/api/files")).body).array();
    QStringList rows;
    for (const QJsonValue& v : list) {
        const QJsonObject o = v.toObject();
        rows << QStringLiteral("%1 %2 %3 %4 %5")
                    .arg(o["name"].toString(), o["kind"].toString(), QString::number(o["size"].toInteger()),
                         o["state"].toString(), o["sha256"].toString().left(8));
    }
    const QString s = QString::fromLatin1(sha.left(8));
    const auto side = [&](const QString& name) {
        QFile f(dir.filePath(name));
        const QByteArray bytes = f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
        return QStringLiteral("%1 side %2 closed %3")
            .arg(name)
            .arg(bytes.size())
            .arg(QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toHex().left(8));
    };
    EXPECT_EQ(rows.join('\n').toStdString(),
              QStringList({"S_LEQ_20260305_150000.dat record 22 open ", side("S_LEQ_20260305_150000_INFO.json"),
                           "S_LP_20260305_140327.dat record 300017 closed " + s, side("S_LP_20260305_140327_INFO.json"),
                           "S_LP_20260305_140327_INFO.json.sig signature 3 closed ",
                           "S_LP_20260305_140327_STAT.dat statistics 4 open ", "calibration.csv calibration 12 open ",
                           "reports/2026-03-05_01234567.pdf report 4 closed "})
                  .join('\n')
                  .toStdString());
}

TEST_F(FilesTest, OnlyListedNamesAreServedWithRanges) {
    start(ServerLimits{});
    const qsizetype n = record.size();
    const QByteArray etag = '"' + sha + '"';
    struct Row {
        QByteArray target, extra;
        int status;
        qsizetype from, to;  // the record bytes expected
    };
    std::vector<Row> rows{
        {kRecord, {}, 200, 0, n},
        {kRecord, "Range: bytes=100000-\r\n", 206, 100000, n},
        {kRecord, "Range: bytes=10-19\r\n", 206, 10, 20},
        {kRecord, "Range: bytes=-5\r\n", 206, n - 5, n},
        {kRecord, "Range: bytes=0-99999999\r\n", 206, 0, n},
        {kRecord, "Range: bytes=" + QByteArray::number(n) + "-\r\n", 416, 0, 0},
        {kRecord, "Range: bytes=-0\r\n", 416, 0, 0},
        {kRecord, "Range: bytes=5-2\r\n", 200, 0, n},
        {kRecord, "Range: bytes=0-1,5-6\r\n", 200, 0, n},
        {kRecord, "Range: bytes=0-1\r\nRange: bytes=5-6\r\n", 200, 0, n},
        {kRecord, "Range: bytes=10-19\r\nIf-Range: " + etag + "\r\n", 206, 10, 20},
        {kRecord, "Range: bytes=10-19\r\nIf-Range: \"0" + sha.mid(1) + "\"\r\n", 200, 0, n},
        {"S_LP_20260305_140327%2Edat", {}, 200, 0, n},
        {"reports/2026-03-05_01234567.pdf", {}, 200, 0, 0},
        {"reports%2F2026-03-05_01234567.pdf", {}, 200, 0, 0},
    };
    // Paths, dot segments (also encoded), names not ours, links, a FIFO, a file being written.
    for (const char* name : {"../x", "%2e%2e/etc/passwd", "%2E%2E%2Fetc%2Fpasswd", "reports/../calibration.csv",
                             "./calibration.csv", "/tmp/x", "notes.txt", ".S_LP_20260305_140327.dat.Ab12Cd",
                             "S_LP_20260305_160000.dat", "S_LP_20260305_170000_INFO.json", "S_LP_20260305_180000.dat",
                             "S_LP_20260305_140327.dat%00", "reports/2026-03-06_1.pdf", ""})
        rows.push_back({name, {}, 404, 0, 0});
    // One connection for all: an answer longer than it says would garble the next one.
    Client c(port);
    for (const auto& r : rows) {
        SCOPED_TRACE(r.target.toStdString() + ' ' + r.extra.toStdString());
        c.send(get("/files/" + r.target, r.extra));
        const Reply reply = c.next();
        EXPECT_EQ(reply.status, r.status);
        if (r.to > 0) EXPECT_TRUE(reply.body == record.mid(r.from, r.to - r.from));
        if (r.status == 206)
            EXPECT_EQ(reply.header("Content-Range"), QStringLiteral("bytes %1-%2/%3").arg(r.from).arg(r.to - 1).arg(n));
        if (r.status == 416) EXPECT_EQ(reply.header("Content-Range"), "bytes */" + QByteArray::number(n));
        if (r.target == kRecord && r.status != 416) {
            EXPECT_EQ(reply.header("ETag"), etag);
            EXPECT_EQ(reply.header("Content-Disposition"),
                      "attachment; filename=\"" + r.target + "\"; filename*=UTF-8''" + r.target);
        }
    }
}

TEST_F(FilesTest, FilesNeedTheTokenAndLoopbackWithoutOne) {
    start(ServerLimits{}, "t0k");
    EXPECT_EQ(fetch(get("/files/calibration.csv")).status, 401);
    EXPECT_EQ(fetch(get("/files/calibration.csv", "Authorization: Bearer t0k\r\n")).status, 200);
    server = std::make_unique<MonitorServer>(monitor);
    ASSERT_TRUE(server->listen(QHostAddress::Any, 0, nullptr));
    server->setRecordDirectory([this] { return dir.path(); });
    port = server->port();
    EXPECT_EQ(fetch(get("/files/calibration.csv")).status, 403);
    EXPECT_EQ(fetch(get("/api/files")).status, 200);
}

// Downloads are sent as the client takes them; a fifth waits for none of the four.
TEST_F(FilesTest, AtMostFourDownloads) {
    start(ServerLimits{});
    ASSERT_EQ(::truncate(QFile::encodeName(dir.filePath(kRecord)).constData(), 256 << 20), 0);
    std::vector<int> readers;
    for (int i = 0; i < 4; ++i) {
        readers.push_back(rawClient(port, 4096));
        const QByteArray request = get(QByteArray("/files/") + kRecord);
        ASSERT_EQ(::send(readers.back(), request.constData(), size_t(request.size()), 0), request.size());
        ASSERT_TRUE(QTest::qWaitFor([&] { return server->downloadCount() == i + 1; }, 5000));
    }
    const Reply fifth = fetch(get(QByteArray("/files/") + kRecord));
    EXPECT_EQ(std::pair(fifth.status, fifth.header("Retry-After")), std::pair(503, QByteArray("10")));
    EXPECT_EQ(fetch(get(QByteArray("/files/") + kRecord, {}, "HEAD"), true).header("Content-Length"), "268435456");
    EXPECT_LE(server->unsentBytes(), 4 * 64 * 1024);
    ::close(readers[0]);
    EXPECT_TRUE(QTest::qWaitFor([&] { return server->downloadCount() == 3; }, 5000));
    EXPECT_EQ(fetch(get(QByteArray("/files/") + kRecord, "Range: bytes=-3\r\n")).body, QByteArray(3, '\0'));
    for (size_t i = 1; i < readers.size(); ++i)
        ::close(readers[i]);
}

}  // namespace
