#pragma once
// Reads the HTTP/1.x requests of one connection as their bytes arrive, and
// bounds them: the request line, the headers and any body together may not
// exceed the limit. Each byte is looked at once, however the bytes are split
// up, and it stops after each complete request so that the server answers it
// before reading on.

#include <QByteArray>
#include <QList>
#include <cstdint>

namespace kestro {

// What the server needs of a request; the body is skipped.
struct RequestHead {
    QByteArray method;
    QByteArray target;                // as sent, still percent-encoded
    bool keepAlive = true;            // false after "Connection: close", and for HTTP/1.0 without keep-alive
    bool http10 = false;              // HTTP/1.0
    bool hasHost = false;             // a Host header was given (its value may be empty)
    QByteArray host;                  // its value, port included
    QList<QByteArray> authorization;  // every Authorization header, in order
    QByteArray range;                 // Range, repeated ones joined by commas
    QByteArray ifRange;
    QByteArray acceptLanguage;  // repeated ones joined by commas
};

// What a Range header asks of a file of `size` bytes: [from, to). Only a
// single byte range is served; anything else gets the whole file.
struct ByteRange {
    enum Kind { Whole, Part, Unsatisfiable } kind = Whole;
    int64_t from = 0, to = 0;
};
ByteRange parseByteRange(const QByteArray& value, int64_t size);

class RequestGuard {
public:
    enum class Verdict { Pass, TooLarge, Malformed };

    explicit RequestGuard(int64_t maxBytes = 8192) : max_(maxBytes) {}

    // Takes bytes up to the end of the next complete request (or all of them)
    // and returns how many. Takes none while a complete request waits to be
    // taken or after a refusal.
    int64_t feed(const char* data, int64_t n);
    Verdict verdict() const { return verdict_; }
    bool hasRequest() const { return complete_; }
    RequestHead takeRequest();
    // Part of a request has arrived and its end has not.
    bool midRequest() const { return state_ != State::Idle && !complete_; }
    // The status that goes with a refusal: 431 for headers, 413 for a body, 400 for nonsense.
    int refusalStatus() const { return status_; }
    int64_t requestsSeen() const { return requests_; }
    int64_t bytesExamined() const { return examined_; }

private:
    enum class State { Idle, RequestLine, Headers, Body };

    bool line(QByteArray text);  // one line without its line end; false: refused
    bool requestLine(const QByteArray& text);
    bool header(const QByteArray& text);
    bool refuse(Verdict v, int status);

    int64_t max_;
    State state_ = State::Idle;
    QByteArray line_;        // the line received so far
    int64_t headBytes_ = 0;  // of the current request, line ends included
    int64_t bodyLeft_ = 0;
    bool seenLength_ = false;
    bool closeAsked_ = false;
    bool complete_ = false;
    RequestHead head_;
    Verdict verdict_ = Verdict::Pass;
    int status_ = 0;
    int64_t requests_ = 0;
    int64_t examined_ = 0;
};

}  // namespace kestro
