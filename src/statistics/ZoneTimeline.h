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
    // An IANA name; empty or unknown: this computer's zone (see valid()).
    static QTimeZone zoneNamed(const QByteArray& name, bool* known = nullptr);
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
    QTimeZone zone_;
    // The offset holds in [from_, to_) (UTC).
    int64_t from_ = 0;
    int64_t to_ = 0;
    int64_t offset_ = 0;
    bool cached_ = false;
    // Local times read with offset_ alone: [localFrom_, localTo_).
    int64_t localFrom_ = 0;
    int64_t localTo_ = 0;
};

}  // namespace kestro
