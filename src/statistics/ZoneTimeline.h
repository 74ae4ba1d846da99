#pragma once
// Local times of one time zone and the instants they stand for. Record lines
// hold the local clock only; days, period lengths and interval boundaries
// follow the zone the measurement was made in, whichever zone the computer
// reading them is in. Offsets are kept between the zone's transitions, so a
// conversion per sample costs a comparison.

#include "core/Types.h"

#include <QByteArray>
#include <QString>
#include <QTimeZone>
#include <cstdint>
#include <limits>

namespace kestro {

class ZoneTimeline {
public:
    static constexpr int64_t kNone = std::numeric_limits<int64_t>::min();

    explicit ZoneTimeline(const QTimeZone& zone);
    // An IANA name; empty or unknown: this computer's zone.
    static QTimeZone zoneNamed(const QByteArray& name);
    // "+02:00" in ms; kNone for anything else.
    static int64_t offsetMsOf(const QString& text);

    // UTC offset in ms at an instant (UTC ms since 1970).
    int64_t offsetAt(int64_t utcMs);
    // The local time (ms since 1899-12-30) of an instant.
    int64_t localOf(int64_t utcMs) { return utcMs + offsetAt(utcMs) + kUnixEpochAbsoluteMs; }
    // The instant of a local time. A time the clock shows twice is its first
    // showing unless that lies more than half an hour before notBeforeUtc (the
    // clock was set back since), or preferOffsetMs says which; a time the
    // clock skipped is read with the offset before the change.
    int64_t instantOf(int64_t localMs, int64_t notBeforeUtc = kNone, int64_t preferOffsetMs = kNone);
    // The clock shows this local time twice (the hour when daylight saving ends).
    bool repeated(int64_t localMs);
    const QTimeZone& zone() const { return zone_; }

private:
    // One offset between two transitions; two are kept, as a local time near
    // a transition is read against both.
    struct Span {
        bool valid = false;
        int64_t from = 0;  // the offset holds in [from, to) (UTC)
        int64_t to = 0;
        int64_t offset = 0;
        int64_t localFrom = 0;  // local times read with this offset alone: [localFrom, localTo)
        int64_t localTo = 0;
    };
    QTimeZone zone_;
    Span spans_[2];
    int last_ = 0;  // the span used last
};

}  // namespace kestro
