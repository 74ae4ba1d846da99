#include "remote/RequestGuard.h"

#include <algorithm>
#include <cctype>
#include <cstring>

namespace kestro {

namespace {

bool isToken(const QByteArray& text) {
    if (text.isEmpty()) return false;
    for (const char c : text)
        // strchr also finds the terminating NUL.
        if (!std::isalnum(static_cast<unsigned char>(c)) && (c == 0 || !std::strchr("!#$%&'*+-.^_`|~", c)))
            return false;
    return true;
}

// Only blanks and tabs surround a value: other parsers on the way read VT, FF
// or a lone CR as part of it, or as the end of the line.
QByteArray fieldValue(const QByteArray& text) {
    qsizetype from = 0, to = text.size();
    while (from < to && (text[from] == ' ' || text[from] == '\t'))
        ++from;
    while (to > from && (text[to - 1] == ' ' || text[to - 1] == '\t'))
        --to;
    return text.mid(from, to - from);
}

bool hasControl(const QByteArray& value) {
    return std::any_of(value.begin(), value.end(), [](char c) {
        const auto u = static_cast<unsigned char>(c);
        return (u < 0x20 && c != '\t') || u == 0x7f;
    });
}

}  // namespace

int64_t RequestGuard::feed(const char* data, int64_t n) {
    int64_t i = 0;
    while (i < n && !complete_ && verdict_ == Verdict::Pass) {
        if (state_ == State::Body) {
            const int64_t take = std::min(bodyLeft_, n - i);
            bodyLeft_ -= take;
            i += take;
            if (bodyLeft_ == 0) {
                complete_ = true;
                ++requests_;
            }
            continue;
        }
        if (state_ == State::Idle) {
            // Empty lines before a request line belong to no request.
            if (data[i] == '\r' || data[i] == '\n') {
                ++i;
                continue;
            }
            state_ = State::RequestLine;
            head_ = RequestHead();
            headBytes_ = 0;
            bodyLeft_ = 0;
            seenLength_ = false;
            closeAsked_ = false;
        }
        const char* start = data + i;
        const auto* end = static_cast<const char*>(std::memchr(start, '\n', size_t(n - i)));
        const int64_t length = end ? end - start + 1 : n - i;
        if (headBytes_ + length > max_) {
            i += max_ - headBytes_ + 1;
            refuse(Verdict::TooLarge, 431);
            break;
        }
        headBytes_ += length;
        i += length;
        if (!end) {
            line_.append(start, length);
            continue;
        }
        line_.append(start, length - 1);
        if (line_.endsWith('\r')) line_.chop(1);
        QByteArray text;
        text.swap(line_);
        line(text);
    }
    examined_ += i;
    return i;
}

RequestHead RequestGuard::takeRequest() {
    complete_ = false;
    state_ = State::Idle;
    return std::move(head_);
}

bool RequestGuard::line(QByteArray text) {
    if (state_ == State::RequestLine) return requestLine(text);
    if (!text.isEmpty()) return header(text);
    // The end of the head.
    if (headBytes_ + bodyLeft_ > max_) return refuse(Verdict::TooLarge, 413);
    if (bodyLeft_ > 0) {
        state_ = State::Body;
    } else {
        complete_ = true;
        ++requests_;
    }
    return true;
}

bool RequestGuard::requestLine(const QByteArray& text) {
    const QList<QByteArray> parts = text.split(' ');
    if (parts.size() != 3 || !isToken(parts[0]) || parts[1].isEmpty()) return refuse(Verdict::Malformed, 400);
    for (const char c : parts[1])
        if (static_cast<unsigned char>(c) <= ' ' || static_cast<unsigned char>(c) >= 0x7f)
            return refuse(Verdict::Malformed, 400);
    if (parts[2] != "HTTP/1.1" && parts[2] != "HTTP/1.0") return refuse(Verdict::Malformed, 400);
    head_.method = parts[0];
    head_.target = parts[1];
    head_.http10 = parts[2] == "HTTP/1.0";
    head_.keepAlive = !head_.http10;
    state_ = State::Headers;
    return true;
}

bool RequestGuard::header(const QByteArray& text) {
    const qsizetype colon = text.indexOf(':');
    // Also refuses folded lines and a blank before the colon, which other
    // parsers on the way may read differently.
    if (colon <= 0 || !isToken(text.left(colon))) return refuse(Verdict::Malformed, 400);
    const QByteArray name = text.left(colon).toLower();
    const QByteArray value = fieldValue(text.mid(colon + 1));
    if (hasControl(value)) return refuse(Verdict::Malformed, 400);
    if (name == "transfer-encoding") return refuse(Verdict::TooLarge, 413);  // a body of unknown length
    if (name == "content-length") {
        const bool digits = !value.isEmpty() && value.size() <= 18 &&
                            std::all_of(value.begin(), value.end(), [](char c) { return c >= '0' && c <= '9'; });
        if (!digits || (seenLength_ && value.toLongLong() != bodyLeft_)) return refuse(Verdict::Malformed, 400);
        seenLength_ = true;
        bodyLeft_ = value.toLongLong();
    } else if (name == "host") {
        if (head_.hasHost) return refuse(Verdict::Malformed, 400);
        head_.hasHost = true;
        head_.host = value;
    } else if (name == "authorization") {
        head_.authorization.push_back(value);
    } else if (name == "range") {
        head_.range = head_.range.isEmpty() ? value : head_.range + ',' + value;
    } else if (name == "if-range") {
        head_.ifRange = value;
    } else if (name == "accept-language") {
        head_.acceptLanguage = head_.acceptLanguage.isEmpty() ? value : head_.acceptLanguage + ',' + value;
    } else if (name == "connection") {
        for (const QByteArray& option : value.split(',')) {
            const QByteArray o = option.trimmed().toLower();
            if (o == "close") closeAsked_ = true;
            if (o == "keep-alive" && head_.http10) head_.keepAlive = true;
        }
        if (closeAsked_) head_.keepAlive = false;
    }
    return true;
}

ByteRange parseByteRange(const QByteArray& value, int64_t size) {
    ByteRange whole{ByteRange::Whole, 0, size};
    if (value.size() < 6 || value.left(6).toLower() != "bytes=" || value.contains(',')) return whole;
    const QByteArray spec = value.mid(6).trimmed();
    const qsizetype dash = spec.indexOf('-');
    if (dash < 0) return whole;
    const QByteArray first = spec.left(dash), last = spec.mid(dash + 1);
    const auto number = [](const QByteArray& t, int64_t* n) {
        if (t.isEmpty() || t.size() > 18 ||
            !std::all_of(t.begin(), t.end(), [](char c) { return c >= '0' && c <= '9'; }))
            return false;
        *n = t.toLongLong();
        return true;
    };
    int64_t a = 0, b = 0;
    if (first.isEmpty()) {
        // The last b bytes.
        if (!number(last, &b)) return whole;
        if (b == 0 || size == 0) return ByteRange{ByteRange::Unsatisfiable, 0, 0};
        return ByteRange{ByteRange::Part, std::max<int64_t>(0, size - b), size};
    }
    if (!number(first, &a) || (!last.isEmpty() && (!number(last, &b) || b < a))) return whole;
    if (a >= size) return ByteRange{ByteRange::Unsatisfiable, 0, 0};
    return ByteRange{ByteRange::Part, a, last.isEmpty() ? size : std::min(b + 1, size)};
}

bool RequestGuard::refuse(Verdict v, int status) {
    verdict_ = v;
    status_ = status;
    return false;
}

}  // namespace kestro
