#pragma once
// The meter's running values (LEQ: LAeq since its measurement started) turned
// into the energy of the time between two readings:
//   E[t1,t2] = T2·10^(L2/10) − T1·10^(L1/10),  Leq[t1,t2] = 10 lg(E / (T2 − T1)),
// T counted from the series' first reading. The meter starts its measurement
// when the series starts (arming and a function change select the function
// again), so the first reading is taken as T = 0.
//
// T comes from the local time stamps: a gap that is negative by more than a
// second or longer than kClockStepMs is a clock set (daylight saving time, a
// correction) and counts as one reading cadence. A reading whose energy
// difference is negative beyond its error bound means that the meter started
// again: the integration starts anew at that reading.

#include "statistics/IntervalResult.h"

#include <cstdint>

namespace kestro {

class RunningIntegrator {
public:
    static constexpr int64_t kClockStepMs = 10000;
    static constexpr int64_t kJitterMs = 1000;
    // Time stamps are taken on arrival; each may be this far off the reading.
    static constexpr double kStampSeconds = 0.05;
    // A running Leq is given when its worst-case error from the reading
    // resolution and the stamps is within ±0.3 dB: 10 lg(1 − 0.0667) = −0.3.
    static constexpr double kResolvedFraction = 0.0667;

    struct Step {
        double energy = 0.0;      // energy-seconds since the previous reading
        double seconds = 0.0;     // time since the previous reading
        double edgeBefore = 0.0;  // error bound of T·E at the previous reading
        double edge = 0.0;        // and at this one
        bool first = false;       // the integration starts here
        bool restart = false;     // ... because the meter started again
    };

    // resolutionHundredths: 10 for readings in tenths of a dB, 1 for hundredths.
    explicit RunningIntegrator(int32_t resolutionHundredths = 10);
    void clear();
    Step add(int64_t localMs, int32_t hundredths);
    int64_t cadenceMs() const { return cadenceMs_; }

private:
    double epsilon_;
    bool any_ = false;
    int64_t lastMs_ = 0;
    int64_t cadenceMs_ = 1000;
    double t_ = 0.0;
    double te_ = 0.0;
    double edge_ = 0.0;
};

// The steps of one stretch of time (an interval, a series, a span).
struct RunningSum {
    double energy = 0.0;
    double seconds = 0.0;
    double edgeStart = 0.0;
    double edgeEnd = 0.0;
    double edgeInner = 0.0;
    int64_t restarts = 0;
    bool any = false;

    void add(const RunningIntegrator::Step& s);
    // The stretch that follows this one: where it starts at this one's last
    // reading, the error at that reading cancels.
    void append(const RunningSum& next);
    void clear() { *this = RunningSum(); }
    // Leq in dB, kNoLevel when there is no time or the bound is too wide.
    double leq() const;
    void fill(IntervalResult& r) const;
};

// Leq of energy with an error bound; kNoLevel when unresolved.
double resolvedLeq(double energy, double weight, double error);

}  // namespace kestro
