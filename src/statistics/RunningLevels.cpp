#include "statistics/RunningLevels.h"

#include "statistics/LevelAccumulator.h"

#include <cmath>

namespace kestro {

RunningIntegrator::RunningIntegrator(int32_t resolutionHundredths)
    : epsilon_(std::pow(10.0, resolutionHundredths / 2000.0) - 1.0) {}

void RunningIntegrator::clear() {
    any_ = false;
    cadenceMs_ = 1000;
    t_ = te_ = edge_ = 0.0;
}

RunningIntegrator::Step RunningIntegrator::add(int64_t localMs, int32_t hundredths) {
    Step s;
    const double e = energyOfHundredths(hundredths);
    if (!any_) {
        any_ = true;
        lastMs_ = localMs;
        t_ = te_ = edge_ = 0.0;
        s.first = true;
        return s;
    }
    int64_t gap = localMs - lastMs_;
    lastMs_ = localMs;
    if (gap < -kJitterMs || gap > kClockStepMs)
        gap = cadenceMs_;
    else if (gap > 0)
        cadenceMs_ = gap;
    const double t = t_ + double(gap) / 1000.0;
    const double te = t * e;
    const double edge = epsilon_ * te + kStampSeconds * e;
    s.edgeBefore = edge_;
    if (te - te_ < -(edge_ + edge)) {
        t_ = te_ = edge_ = 0.0;
        s.first = s.restart = true;
        return s;
    }
    s.energy = te - te_;
    s.seconds = t - t_;
    s.edge = edge;
    t_ = t;
    te_ = te;
    edge_ = edge;
    return s;
}

void RunningSum::add(const RunningIntegrator::Step& s) {
    if (s.restart) ++restarts;
    if (s.first) {
        if (any) edgeInner += edgeEnd;
        any = true;
        edgeEnd = 0.0;
        return;
    }
    if (!any) {
        any = true;
        edgeStart = s.edgeBefore;
    }
    energy += s.energy;
    seconds += s.seconds;
    edgeEnd = s.edge;
}

void RunningSum::append(const RunningSum& next) {
    if (!next.any) return;
    if (!any) {
        *this = next;
        return;
    }
    if (next.edgeStart != edgeEnd) edgeInner += edgeEnd + next.edgeStart;
    energy += next.energy;
    seconds += next.seconds;
    edgeInner += next.edgeInner;
    edgeEnd = next.edgeEnd;
    restarts += next.restarts;
}

double resolvedLeq(double energy, double weight, double error) {
    if (!(weight > 0.0) || !(energy > 0.0) || error > RunningIntegrator::kResolvedFraction * energy)
        return IntervalResult::kNoLevel;
    return 10.0 * std::log10(energy / weight);
}

double RunningSum::leq() const { return resolvedLeq(energy, seconds, edgeStart + edgeEnd + edgeInner); }

void RunningSum::fill(IntervalResult& r) const {
    r.energy = energy;
    r.weight = seconds;
    r.edgeStart = edgeStart;
    r.edgeEnd = edgeEnd;
    r.edgeInner = edgeInner;
    r.restarts = restarts;
    r.leq = leq();
}

}  // namespace kestro
