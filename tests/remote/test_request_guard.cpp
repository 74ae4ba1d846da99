#include "remote/RequestGuard.h"

#include <gtest/gtest.h>

using namespace kestro;

namespace {

QByteArray Get(int headerBytes = 0) {
    QByteArray r = "GET /api/state HTTP/1.1\r\nHost: station\r\n";
    if (headerBytes > 0) r += "X-Pad: " + QByteArray(headerBytes, 'a') + "\r\n";
    return r + "\r\n";
}

QByteArray Post(int bodyBytes) {
    return "POST /api/state HTTP/1.1\r\nHost: station\r\nContent-Length: " + QByteArray::number(bodyBytes) +
           "\r\n\r\n" + QByteArray(bodyBytes, 'b');
}

// A POST of exactly total bytes, head and body.
QByteArray PostOfSize(int total) {
    int body = total - int(Post(0).size());
    while (Post(body).size() > total)
        --body;
    return Post(body);
}

// The guard must give the same answer however the bytes are split up.
TEST(RequestGuard, RequestsWithinAndBeyondTheLimit) {
    const QByteArray atLimit = Get(8192 - Get(0).size() - 9);  // "X-Pad: " and its CR LF
    ASSERT_EQ(atLimit.size(), 8192);
    QByteArray overLimit = atLimit;
    overLimit.insert(20, 'x');
    const QByteArray postAtLimit = PostOfSize(8192);
    ASSERT_EQ(postAtLimit.size(), 8192);
    const struct {
        const char* what;
        QByteArray bytes;
        RequestGuard::Verdict verdict;
        int status;
        int64_t requests;  // complete requests passed
    } rows[] = {
        {"one small request", Get(), RequestGuard::Verdict::Pass, 0, 1},
        {"three on one connection", Get() + Get(100) + Get(), RequestGuard::Verdict::Pass, 0, 3},
        {"a request of exactly 8 KB", atLimit, RequestGuard::Verdict::Pass, 0, 1},
        {"headers one byte over", overLimit, RequestGuard::Verdict::TooLarge, 431, 0},
        {"8 KB after a small request", Get() + atLimit, RequestGuard::Verdict::Pass, 0, 2},
        {"endless header line", QByteArray(20000, 'G'), RequestGuard::Verdict::TooLarge, 431, 0},
        {"a small body", Post(100) + Get(), RequestGuard::Verdict::Pass, 0, 2},
        {"body up to the limit", postAtLimit, RequestGuard::Verdict::Pass, 0, 1},
        {"body one byte over", PostOfSize(8193), RequestGuard::Verdict::TooLarge, 413, 0},
        {"a gigabyte announced", "POST / HTTP/1.1\r\nContent-Length: 1000000000\r\n\r\n",
         RequestGuard::Verdict::TooLarge, 413, 0},
        {"a body of unknown length", "POST / HTTP/1.1\r\nTransfer-Encoding: chunked\r\n\r\n5\r\nhello\r\n0\r\n\r\n",
         RequestGuard::Verdict::TooLarge, 413, 0},
        {"a negative length", "POST / HTTP/1.1\r\nContent-Length: -5\r\n\r\n", RequestGuard::Verdict::Malformed, 400,
         0},
        {"two different lengths", "POST / HTTP/1.1\r\nContent-Length: 5\r\nContent-Length: 6\r\n\r\nhello!",
         RequestGuard::Verdict::Malformed, 400, 0},
        {"a body that looks like a request", Post(40).replace(QByteArray(40, 'b'), QByteArray(40, '\n')),
         RequestGuard::Verdict::Pass, 0, 1},
        {"bare line feeds", "GET / HTTP/1.1\nHost: x\n\n", RequestGuard::Verdict::Pass, 0, 1},
        {"blank lines between requests", Get() + "\r\n\r\n" + Get(), RequestGuard::Verdict::Pass, 0, 2},
    };
    for (const auto& r : rows) {
        for (int chunk : {1, 7, 1000, 1 << 20}) {
            SCOPED_TRACE(std::string(r.what) + ", chunks of " + std::to_string(chunk));
            RequestGuard g;
            RequestGuard::Verdict v = RequestGuard::Verdict::Pass;
            for (qsizetype i = 0; i < r.bytes.size() && v == RequestGuard::Verdict::Pass; i += chunk)
                v = g.feed(r.bytes.mid(i, chunk));
            EXPECT_EQ(v, r.verdict);
            EXPECT_EQ(g.refusalStatus(), r.status);
            EXPECT_EQ(g.requestsSeen(), r.requests);
            if (v == RequestGuard::Verdict::Pass) {
                EXPECT_FALSE(g.midRequest());
            }
        }
    }
}

TEST(RequestGuard, KnowsWhenARequestIsUnderWay) {
    RequestGuard g;
    EXPECT_FALSE(g.midRequest());
    g.feed(QByteArray("GET / HT"));
    EXPECT_TRUE(g.midRequest());
    g.feed(QByteArray("TP/1.1\r\n\r\n"));
    EXPECT_FALSE(g.midRequest());
    g.feed(QByteArray("POST / HTTP/1.1\r\nContent-Length: 4\r\n\r\nab"));
    EXPECT_TRUE(g.midRequest());  // half the body
    g.feed(QByteArray("cd"));
    EXPECT_FALSE(g.midRequest());
    // Once refused, it stays refused.
    EXPECT_EQ(g.feed(QByteArray(9000, 'x')), RequestGuard::Verdict::TooLarge);
    EXPECT_EQ(g.feed(Get()), RequestGuard::Verdict::TooLarge);
}

}  // namespace
