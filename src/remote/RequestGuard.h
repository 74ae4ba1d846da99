#pragma once
// Bounds every HTTP request before the HTTP library buffers it: the request
// line, the headers and any body together may not exceed the limit. Fed with
// the bytes of one connection as they arrive, request after request.

#include <QByteArray>
#include <cstdint>

namespace kestro {

class RequestGuard {
public:
    enum class Verdict { Pass, TooLarge, Malformed };

    explicit RequestGuard(int64_t maxBytes = 8192) : max_(maxBytes) {}

    Verdict feed(const char* data, int64_t n);
    Verdict feed(const QByteArray& bytes) { return feed(bytes.constData(), bytes.size()); }
    // Part of a request has arrived and its end has not.
    bool midRequest() const { return !head_.isEmpty() || bodyLeft_ > 0; }
    // The status that goes with a refusal: 431 for headers, 413 for a body, 400 for nonsense.
    int refusalStatus() const { return status_; }
    int64_t requestsSeen() const { return requests_; }

private:
    Verdict headEnded();

    int64_t max_;
    QByteArray head_;  // request line and headers received so far
    int64_t bodyLeft_ = 0;
    int status_ = 0;
    int64_t requests_ = 0;
};

}  // namespace kestro
