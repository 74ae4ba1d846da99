#include "remote/RequestGuard.h"

#include <gtest/gtest.h>

using namespace kestro;

namespace {

QByteArray get(int headerBytes = 0) {
    QByteArray r = "GET /api/state HTTP/1.1\r\nHost: station\r\n";
    if (headerBytes > 0) r += "X-Pad: " + QByteArray(headerBytes, 'a') + "\r\n";
    return r + "\r\n";
}

QByteArray post(int bodyBytes) {
    return "POST /api/state HTTP/1.1\r\nHost: station\r\nContent-Length: " + QByteArray::number(bodyBytes) +
           "\r\n\r\n" + QByteArray(bodyBytes, 'b');
}

using V = RequestGuard::Verdict;

// Feeds bytes in chunks as the server does, taking each request as it completes.
std::vector<RequestHead> feedAll(RequestGuard& g, const QByteArray& bytes, int chunk) {
    std::vector<RequestHead> heads;
    for (qsizetype i = 0; i < bytes.size() && g.verdict() == V::Pass; i += chunk) {
        const QByteArray part = bytes.mid(i, chunk);
        for (qsizetype at = 0; at < part.size() && g.verdict() == V::Pass;) {
            at += g.feed(part.constData() + at, part.size() - at);
            if (g.hasRequest()) heads.push_back(g.takeRequest());
        }
    }
    return heads;
}

// The guard must give the same answer however the bytes are split up, and
// look at each byte once.
TEST(RequestGuard, RequestsWithinAndBeyondTheLimit) {
    const QByteArray atLimit = get(8192 - get(0).size() - 9);  // "X-Pad: " and its CR LF
    ASSERT_EQ(atLimit.size(), 8192);
    const QByteArray overLimit = get(8192 - get(0).size() - 8);
    const int body = 8192 - int(post(0).size()) - 3;  // its length has three digits more than "0"
    ASSERT_EQ(post(body).size(), 8192);
    const struct {
        const char* what;
        QByteArray bytes;
        V verdict;
        int status;
        int64_t requests;  // complete requests passed
        bool midRequest = false;
    } rows[] = {
        {"one small request", get(), V::Pass, 0, 1},
        {"three on one connection", get() + get(100) + get(), V::Pass, 0, 3},
        {"a request of exactly 8 KB", atLimit, V::Pass, 0, 1},
        {"headers one byte over", overLimit, V::TooLarge, 431, 0},
        {"8 KB after a small request", get() + atLimit, V::Pass, 0, 2},
        {"endless header line", QByteArray(20000, 'G'), V::TooLarge, 431, 0},
        {"a small body", post(100) + get(), V::Pass, 0, 2},
        {"body up to the limit", post(body), V::Pass, 0, 1},
        {"body one byte over", post(body + 1), V::TooLarge, 413, 0},
        {"a gigabyte announced", "POST / HTTP/1.1\r\nContent-Length: 1000000000\r\n\r\n", V::TooLarge, 413, 0},
        {"a body of unknown length", "POST / HTTP/1.1\r\nTransfer-Encoding: chunked\r\n\r\n5\r\nhello\r\n0\r\n\r\n",
         V::TooLarge, 413, 0},
        {"a negative length", "POST / HTTP/1.1\r\nContent-Length: -5\r\n\r\n", V::Malformed, 400, 0},
        {"a length with a sign", "POST / HTTP/1.1\r\nContent-Length: +5\r\n\r\nhello", V::Malformed, 400, 0},
        {"two different lengths", "POST / HTTP/1.1\r\nContent-Length: 5\r\nContent-Length: 6\r\n\r\nhello!",
         V::Malformed, 400, 0},
        {"a body that looks like a request", post(40).replace(QByteArray(40, 'b'), QByteArray(40, '\n')), V::Pass, 0,
         1},
        {"bare line feeds", "GET / HTTP/1.1\nHost: x\n\n", V::Pass, 0, 1},
        {"mixed line ends", "GET / HTTP/1.1\r\nHost: x\n\r\nGET / HTTP/1.1\n\r\n", V::Pass, 0, 2},
        {"blank lines between requests", get() + "\r\n\r\n\n" + get(), V::Pass, 0, 2},
        {"a header without a colon", "GET / HTTP/1.1\r\nContent-Length 5\r\n\r\nhello", V::Malformed, 400, 0},
        {"a folded header", "GET / HTTP/1.1\r\nX-A: 1\r\n Content-Length: 5\r\n\r\n", V::Malformed, 400, 0},
        {"a blank before the colon", "GET / HTTP/1.1\r\nHost : x\r\n\r\n", V::Malformed, 400, 0},
        {"two hosts", "GET / HTTP/1.1\r\nHost: a\r\nHost: b\r\n\r\n", V::Malformed, 400, 0},
        {"another version", "GET / HTTP/2.0\r\n\r\n", V::Malformed, 400, 0},
        {"half a request line", "GET / HT", V::Pass, 0, 0, true},
        {"half a body", "POST / HTTP/1.1\r\nContent-Length: 4\r\n\r\nab", V::Pass, 0, 0, true},
    };
    for (const auto& r : rows) {
        for (int chunk : {1, 7, 1000, 1 << 20}) {
            SCOPED_TRACE(std::string(r.what) + ", chunks of " + std::to_string(chunk));
            RequestGuard g;
            const std::vector<RequestHead> heads = feedAll(g, r.bytes, chunk);
            EXPECT_EQ(g.verdict(), r.verdict);
            EXPECT_EQ(g.refusalStatus(), r.status);
            EXPECT_EQ(g.requestsSeen(), r.requests);
            EXPECT_EQ(int64_t(heads.size()), r.requests);
            if (r.verdict == V::Pass) {
                EXPECT_EQ(g.midRequest(), r.midRequest);
                EXPECT_EQ(g.bytesExamined(), r.bytes.size());
            }
        }
    }
}

// Bytes other parsers on the way read differently: each is refused with 400,
// however the bytes are split up; a tab and bytes above ASCII in values pass.
TEST(RequestGuard, ControlBytesAreRefused) {
    using namespace std::string_literals;
    const struct {
        const char* what;
        std::string bytes;
        V verdict;
    } rows[] = {
        {"NUL in the method", "G\0T / HTTP/1.1\r\n\r\n"s, V::Malformed},
        {"NUL in a field name", "GET / HTTP/1.1\r\nX-\0A: 1\r\n\r\n"s, V::Malformed},
        {"CR in a field name", "GET / HTTP/1.1\r\nX-A\r: 1\r\n\r\n", V::Malformed},
        {"NUL in a value", "GET / HTTP/1.1\r\nX-A: a\0b\r\n\r\n"s, V::Malformed},
        {"a bare CR in a value", "GET / HTTP/1.1\r\nX-A: a\rb\r\n\r\n", V::Malformed},
        {"ESC in a value", "GET / HTTP/1.1\r\nX-A: a\x1b[0m\r\n\r\n", V::Malformed},
        {"DEL in a value", "GET / HTTP/1.1\r\nX-A: a\x7f\r\n\r\n", V::Malformed},
        {"VT before a length", "POST / HTTP/1.1\r\nContent-Length: \v5\r\n\r\nhello", V::Malformed},
        {"FF after a length", "POST / HTTP/1.1\r\nContent-Length: 5\f\r\n\r\nhello", V::Malformed},
        {"a bare CR before a length", "POST / HTTP/1.1\r\nContent-Length:\r5\r\n\r\nhello", V::Malformed},
        {"a bare CR after a length", "POST / HTTP/1.1\r\nContent-Length: 5\r\r\n\r\nhello", V::Malformed},
        {"NUL in the target", "GET /a\0b HTTP/1.1\r\n\r\n"s, V::Malformed},
        {"a byte above ASCII in the target", "GET /\xc3\xa9 HTTP/1.1\r\n\r\n", V::Malformed},
        {"tabs in and around a value", "GET / HTTP/1.1\r\nX-A:\ta\tb \t\r\nContent-Length:\t0\t\r\n\r\n", V::Pass},
        {"bytes above ASCII in a value", "GET / HTTP/1.1\r\nX-A: \xc3\xa9\xff\r\n\r\n", V::Pass},
    };
    for (const auto& r : rows) {
        for (int chunk : {1, 7, 1000}) {
            SCOPED_TRACE(std::string(r.what) + ", chunks of " + std::to_string(chunk));
            RequestGuard g;
            const std::vector<RequestHead> heads =
                feedAll(g, QByteArray(r.bytes.data(), qsizetype(r.bytes.size())), chunk);
            EXPECT_EQ(g.verdict(), r.verdict);
            EXPECT_EQ(g.refusalStatus(), r.verdict == V::Pass ? 0 : 400);
            EXPECT_EQ(heads.size(), r.verdict == V::Pass ? 1u : 0u);
        }
    }
}

}  // namespace
