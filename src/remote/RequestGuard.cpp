#include "remote/RequestGuard.h"

#include <QList>
#include <algorithm>

namespace kestro {

RequestGuard::Verdict RequestGuard::feed(const char* data, int64_t n) {
    if (status_ != 0) return status_ == 400 ? Verdict::Malformed : Verdict::TooLarge;
    for (int64_t i = 0; i < n;) {
        if (bodyLeft_ > 0) {
            const int64_t take = std::min(bodyLeft_, n - i);
            bodyLeft_ -= take;
            i += take;
            continue;
        }
        head_.append(data[i++]);
        if (head_.size() > max_) {
            status_ = 431;
            return Verdict::TooLarge;
        }
        // Blank lines before a request line are allowed and belong to no request.
        if (head_ == "\r\n" || head_ == "\n") {
            head_.clear();
            continue;
        }
        if (head_.endsWith("\r\n\r\n") || head_.endsWith("\n\n")) {
            const Verdict v = headEnded();
            if (v != Verdict::Pass) return v;
        }
    }
    return Verdict::Pass;
}

RequestGuard::Verdict RequestGuard::headEnded() {
    int64_t length = 0;
    bool seenLength = false;
    const QList<QByteArray> lines = head_.split('\n');
    for (qsizetype k = 1; k < lines.size(); ++k) {
        const QByteArray line = lines[k].trimmed();
        const qsizetype colon = line.indexOf(':');
        if (colon <= 0) continue;
        const QByteArray name = line.left(colon).trimmed().toLower();
        const QByteArray value = line.mid(colon + 1).trimmed();
        if (name == "transfer-encoding") {
            // A body of unknown length could be endless.
            status_ = 413;
            return Verdict::TooLarge;
        }
        if (name == "content-length") {
            bool ok = false;
            const qlonglong v = value.toLongLong(&ok);
            if (!ok || v < 0 || value.isEmpty() || (seenLength && v != length)) {
                status_ = 400;
                return Verdict::Malformed;
            }
            seenLength = true;
            length = v;
        }
    }
    if (int64_t(head_.size()) + length > max_) {
        status_ = 413;
        return Verdict::TooLarge;
    }
    ++requests_;
    head_.clear();
    bodyLeft_ = length;
    return Verdict::Pass;
}

}  // namespace kestro
