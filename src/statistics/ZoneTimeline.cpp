#include "statistics/ZoneTimeline.h"

#include <QDateTime>
#include <QRegularExpression>
#include <algorithm>

namespace kestro {

namespace {

constexpr int64_t kHalfHourMs = 1800000;
// Transitions lie far more than this apart; it reaches across any of them.
constexpr int64_t kAcrossMs = 86400000;

QDateTime utcTime(int64_t utcMs) { return QDateTime::fromMSecsSinceEpoch(utcMs, Qt::UTC); }

}  // namespace

ZoneTimeline::ZoneTimeline(const QTimeZone& zone) : zone_(zone.isValid() ? zone : QTimeZone::systemTimeZone()) {}

QTimeZone ZoneTimeline::zoneNamed(const QByteArray& name) {
    const QByteArray id = name.trimmed();
    return !id.isEmpty() && QTimeZone::isTimeZoneIdAvailable(id) ? QTimeZone(id) : QTimeZone::systemTimeZone();
}

int64_t ZoneTimeline::offsetMsOf(const QString& text) {
    static const QRegularExpression re(QStringLiteral("^([+-])(\\d\\d):(\\d\\d)$"));
    const QRegularExpressionMatch m = re.match(text);
    if (!m.hasMatch()) return kNone;
    const int64_t ms = (m.captured(2).toInt() * 60 + m.captured(3).toInt()) * int64_t{60000};
    return m.captured(1) == QLatin1String("-") ? -ms : ms;
}

int64_t ZoneTimeline::offsetAt(int64_t utcMs) {
    for (int i : {last_, 1 - last_}) {
        const Span& s = spans_[i];
        if (s.valid && utcMs >= s.from && utcMs < s.to) {
            last_ = i;
            return s.offset;
        }
    }
    const QDateTime at = utcTime(utcMs);
    const int64_t offset = int64_t{zone_.offsetFromUtc(at)} * 1000;
    const QTimeZone::OffsetData prev = zone_.previousTransition(utcTime(utcMs + 1));
    const QTimeZone::OffsetData next = zone_.nextTransition(at);
    Span s;
    s.offset = offset;
    s.from = prev.atUtc.isValid() ? prev.atUtc.toMSecsSinceEpoch() : std::numeric_limits<int64_t>::min() / 2;
    s.to = next.atUtc.isValid() ? next.atUtc.toMSecsSinceEpoch() : std::numeric_limits<int64_t>::max() / 2;
    if (s.to <= utcMs || s.from > utcMs) return offset;  // a zone without rules: no span to keep
    // Neighbouring offsets narrow the local times that read unambiguously with this one.
    const int64_t before = prev.atUtc.isValid() ? int64_t{zone_.offsetFromUtc(utcTime(s.from - 1))} * 1000 : offset;
    const int64_t after = next.atUtc.isValid() ? int64_t{zone_.offsetFromUtc(utcTime(s.to))} * 1000 : offset;
    s.localFrom = s.from + std::max(offset, before);
    s.localTo = s.to + std::min(offset, after);
    s.valid = true;
    last_ = 1 - last_;
    spans_[last_] = s;
    return offset;
}

int64_t ZoneTimeline::instantOf(int64_t localMs, int64_t notBeforeUtc, int64_t preferOffsetMs) {
    const int64_t wall = localMs - kUnixEpochAbsoluteMs;  // the local time read as if it were UTC
    for (const Span& s : spans_)
        if (s.valid && wall >= s.localFrom && wall < s.localTo) return wall - s.offset;
    // The offsets in force a day either side; a local time reads with one, both or neither.
    const int64_t early = offsetAt(wall - kAcrossMs), late = offsetAt(wall + kAcrossMs);
    const bool earlyFits = offsetAt(wall - early) == early, lateFits = offsetAt(wall - late) == late;
    int64_t offset = early;
    if (earlyFits && lateFits && early != late) {
        // Shown twice: the larger offset is the first showing.
        const int64_t first = std::max(early, late), second = std::min(early, late);
        offset = first;
        if (preferOffsetMs == second ||
            (preferOffsetMs != first && notBeforeUtc != kNone && wall - first < notBeforeUtc - kHalfHourMs))
            offset = second;
    } else if (lateFits && !earlyFits) {
        offset = late;
    }
    const int64_t utc = wall - offset;
    offsetAt(utc);  // keep the span of the answer for the next call
    return utc;
}

bool ZoneTimeline::repeated(int64_t localMs) {
    const int64_t wall = localMs - kUnixEpochAbsoluteMs;
    const int64_t early = offsetAt(wall - kAcrossMs), late = offsetAt(wall + kAcrossMs);
    return early != late && offsetAt(wall - early) == early && offsetAt(wall - late) == late;
}

}  // namespace kestro
