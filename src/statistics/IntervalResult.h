#pragma once
// Results of the noise statistics: one interval of the repeating timer, or a
// whole series. Plain data shared by the statistics file, the window, the
// report and remote monitoring; no Qt types.

#include <cstdint>
#include <limits>
#include <string>

namespace kestro {

enum class ResultKind { Interval, Series };

// What the values of a stream are, and so which statistics they allow.
enum class Quantity {
    Level,       // LP, LPF: the A-weighted level at each sample
    RunningLeq,  // LEQ, LEQF: LAeq integrated since the meter started its measurement
    RunningMax,  // MAX: the highest level since the meter started its measurement
    Amplitude,   // RAW: a raw amplitude, as a level (20 lg v)
};

enum class Statistic { Leq, Lmax, Lmin, L5, L10, L50, L90, L95 };
inline constexpr Statistic kStatistics[] = {Statistic::Leq, Statistic::Lmax, Statistic::Lmin, Statistic::L5,
                                            Statistic::L10, Statistic::L50,  Statistic::L90,  Statistic::L95};

// From the type word of a series; an unknown word counts as levels.
Quantity quantityOfType(const std::string& typeWord);
// "LAeq", "LAmax", "LA90", ...; nullptr when the quantity does not give it.
const char* statisticName(Quantity q, Statistic s);
inline bool gives(Quantity q, Statistic s) { return statisticName(q, s) != nullptr; }

struct IntervalResult {
    static constexpr double kNoLevel = std::numeric_limits<double>::quiet_NaN();

    std::string typeWord;  // type word of the series: LP, LEQ, MAX, LPF, LEQF, RAW
    Quantity quantity = Quantity::Level;
    ResultKind kind = ResultKind::Interval;
    // Local date and time in milliseconds since 1899-12-30 00:00 (absoluteMilliseconds).
    int64_t startMs = 0;
    int64_t endMs = 0;
    // Read from a record file: the UTC offset of startMs and endMs, in seconds.
    int32_t utcOffsetS = 0;
    int64_t samples = 0;    // samples with a level
    int64_t skipped = 0;    // samples without one (no logarithm, error readings)
    int64_t overflow = 0;   // samples with the overflow bit
    int64_t underflow = 0;  // samples with the underflow bit
    int64_t estimated = 0;  // samples whose instant is estimated (lines without a time)
    int64_t restarts = 0;   // the meter's running value started again inside
    // So that results combine exactly (day levels): Leq = 10 lg(energy / weight).
    // Levels: energy sums 10^(L/10) per sample, weight counts samples. Running
    // Leq: energy in energy-seconds, weight in seconds.
    double energy = 0.0;
    double weight = 0.0;
    // Running Leq: bounds of the energy's error from the meter's reading
    // resolution at the first and the last reading, and at breaks inside.
    double edgeStart = 0.0;
    double edgeEnd = 0.0;
    double edgeInner = 0.0;
    // Levels in dB; kNoLevel while samples is 0 and for statistics the quantity
    // does not give. Lmax and Lmin are exact, the percentile levels exact to 0.1 dB.
    // Running maximum: lmax is the last value, the highest level since the series began.
    double leq = kNoLevel;
    double lmax = kNoLevel;
    double lmin = kNoLevel;
    double l5 = kNoLevel;
    double l10 = kNoLevel;
    double l50 = kNoLevel;
    double l90 = kNoLevel;
    double l95 = kNoLevel;
    int32_t limitTenths = 0;  // the limit in force, 0 = none
    bool overLimit = false;   // Leq, as shown to one decimal, above the limit

    double value(Statistic s) const;
    // A running Leq whose interval value the meter's reading resolution cannot give.
    bool leqUnresolved() const;
};

// A level rounded to tenths of a decibel, half away from zero. Levels that are
// exact hundredths (65.05) round as written, not as their binary approximation.
int64_t levelTenths(double db);

}  // namespace kestro
