#pragma once
// Results of the noise statistics: one interval of the repeating timer, or a
// whole series. Plain data shared by the statistics file, the window, the
// report and remote monitoring; no Qt types.

#include <cstdint>
#include <limits>
#include <string>

namespace kestro {

enum class ResultKind { Interval, Series };

struct IntervalResult {
    static constexpr double kNoLevel = std::numeric_limits<double>::quiet_NaN();

    std::string typeWord;  // type word of the series: LP, LEQ, MAX, LPF, LEQF, RAW
    ResultKind kind = ResultKind::Interval;
    // Local date and time in milliseconds since 1899-12-30 00:00 (AbsoluteMilliseconds).
    int64_t startMs = 0;
    int64_t endMs = 0;
    int64_t samples = 0;    // samples with a level
    int64_t skipped = 0;    // samples without one (no logarithm, error readings)
    int64_t overflow = 0;   // samples with the overflow bit
    int64_t underflow = 0;  // samples with the underflow bit
    double energy = 0.0;    // sum of 10^(L/10): results combine exactly (day levels)
    // Levels in dB; kNoLevel while samples is 0. Lmax and Lmin are exact, the
    // percentile levels exact to 0.1 dB.
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
};

// A level rounded to tenths of a decibel, half away from zero. Levels that are
// exact hundredths (65.05) round as written, not as their binary approximation.
int64_t LevelTenths(double db);

}  // namespace kestro
