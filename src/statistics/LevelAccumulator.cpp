#include "statistics/LevelAccumulator.h"

#include "protocol/DeviceCodes.h"

#include <algorithm>
#include <cmath>

namespace kestro {

namespace {

constexpr int32_t kTableLow = -32768;
constexpr int32_t kTableHigh = 32767;

// Every level a record line can hold (16-bit hundredths); built once, never changed.
const std::vector<double>& energyTable() {
    static const std::vector<double> table = [] {
        std::vector<double> t(size_t(kTableHigh - kTableLow + 1));
        for (int32_t h = kTableLow; h <= kTableHigh; ++h)
            t[size_t(h - kTableLow)] = std::pow(10.0, h / 1000.0);
        return t;
    }();
    return table;
}

}  // namespace

Quantity quantityOfType(const std::string& typeWord) {
    if (typeWord == "LEQ" || typeWord == "LEQF") return Quantity::RunningLeq;
    if (typeWord == "MAX") return Quantity::RunningMax;
    if (typeWord == "RAW") return Quantity::Amplitude;
    return Quantity::Level;
}

const char* statisticName(Quantity q, Statistic s) {
    static const char* const kLevel[] = {"LAeq", "LAmax", "LAmin", "LA5", "LA10", "LA50", "LA90", "LA95"};
    switch (q) {
        case Quantity::Level:
            return kLevel[int(s)];
        case Quantity::RunningLeq:
            return s == Statistic::Leq ? "LAeq" : nullptr;
        case Quantity::RunningMax:
            return s == Statistic::Lmax ? "LAmax" : nullptr;
        case Quantity::Amplitude:
            return s == Statistic::Leq ? "Leq" : nullptr;
    }
    return nullptr;
}

double IntervalResult::value(Statistic s) const {
    const double v[] = {leq, lmax, lmin, l5, l10, l50, l90, l95};
    return v[int(s)];
}

bool IntervalResult::leqUnresolved() const {
    return quantity == Quantity::RunningLeq && weight > 0.0 && std::isnan(leq);
}

int64_t levelTenths(double db) {
    // The nudge lets 65.05 (stored as 65.04999...) round up as written.
    return std::llround(db * 10.0 + (db >= 0 ? 1e-6 : -1e-6));
}

double energyOfHundredths(int32_t hundredths) {
    if (hundredths >= kTableLow && hundredths <= kTableHigh) return energyTable()[size_t(hundredths - kTableLow)];
    return std::pow(10.0, hundredths / 1000.0);
}

double levelOfEnergy(double energy, int64_t samples) {
    if (samples <= 0) return IntervalResult::kNoLevel;
    return 10.0 * std::log10(energy / double(samples));
}

int32_t hundredthsToTenths(int32_t hundredths) {
    return hundredths >= 0 ? (hundredths + 5) / 10 : -((-hundredths + 5) / 10);
}

LevelAccumulator::LevelAccumulator() : histogram_(size_t(kHighestTenths - kLowestTenths + 1), 0) {}

void LevelAccumulator::add(int32_t hundredths, int16_t levelFlags) {
    if (samples_ == 0) {
        max_ = min_ = hundredths;
    } else {
        max_ = std::max(max_, hundredths);
        min_ = std::min(min_, hundredths);
    }
    ++samples_;
    energy_ += energyOfHundredths(hundredths);
    if (levelFlags & kStatusOverflow) ++overflow_;
    if (levelFlags & kStatusUnderflow) ++underflow_;
    const int32_t t = std::clamp(hundredthsToTenths(hundredths), kLowestTenths, kHighestTenths);
    ++histogram_[size_t(t - kLowestTenths)];
}

void LevelAccumulator::merge(const LevelAccumulator& o) {
    if (o.samples_ > 0) {
        max_ = samples_ == 0 ? o.max_ : std::max(max_, o.max_);
        min_ = samples_ == 0 ? o.min_ : std::min(min_, o.min_);
        for (size_t i = 0; i < histogram_.size(); ++i)
            histogram_[i] += o.histogram_[i];
    }
    samples_ += o.samples_;
    skipped_ += o.skipped_;
    overflow_ += o.overflow_;
    underflow_ += o.underflow_;
    energy_ += o.energy_;
}

void LevelAccumulator::clear() {
    std::fill(histogram_.begin(), histogram_.end(), 0u);
    samples_ = skipped_ = overflow_ = underflow_ = 0;
    energy_ = 0.0;
    max_ = min_ = 0;
}

int32_t LevelAccumulator::exceededTenths(int percent) const {
    if (samples_ == 0) return 0;
    // The rank, counted from the loudest sample, of the level that percent % reach.
    const int64_t rank = std::max<int64_t>(1, (int64_t{percent} * samples_ + 99) / 100);
    int64_t seen = 0;
    for (size_t i = histogram_.size(); i-- > 0;) {
        seen += histogram_[i];
        if (seen >= rank) return int32_t(i) + kLowestTenths;
    }
    return kLowestTenths;
}

void LevelAccumulator::fill(IntervalResult& r, int32_t limitTenths) const {
    r.samples = samples_;
    r.skipped = skipped_;
    r.overflow = overflow_;
    r.underflow = underflow_;
    r.energy = energy_;
    r.weight = double(samples_);
    r.limitTenths = limitTenths;
    if (samples_ == 0) {
        r.leq = r.lmax = r.lmin = r.l5 = r.l10 = r.l50 = r.l90 = r.l95 = IntervalResult::kNoLevel;
        r.overLimit = false;
        return;
    }
    r.leq = leq();
    r.lmax = max_ / 100.0;
    r.lmin = min_ / 100.0;
    r.l5 = exceededTenths(5) / 10.0;
    r.l10 = exceededTenths(10) / 10.0;
    r.l50 = exceededTenths(50) / 10.0;
    r.l90 = exceededTenths(90) / 10.0;
    r.l95 = exceededTenths(95) / 10.0;
    r.overLimit = limitTenths > 0 && levelTenths(r.leq) > limitTenths;
}

}  // namespace kestro
