#pragma once
// Running statistics of one stretch of levels in constant memory: energy sum,
// extremes, status counts and a 0.1 dB histogram for the percentile levels.

#include "statistics/IntervalResult.h"

#include <cstdint>
#include <vector>

namespace kestro {

// 10^(L/10) of a level in hundredths of a decibel.
double energyOfHundredths(int32_t hundredths);
// 10 log10 of a mean energy; kNoLevel for no samples.
double levelOfEnergy(double energy, int64_t samples);
// Hundredths of a decibel rounded to tenths, half away from zero.
int32_t hundredthsToTenths(int32_t hundredths);

class LevelAccumulator {
public:
    // The histogram spans -50.0 to 200.0 dB; levels outside count in the end bins.
    static constexpr int32_t kLowestTenths = -500;
    static constexpr int32_t kHighestTenths = 2000;

    LevelAccumulator();

    void add(int32_t hundredths, int16_t levelFlags);
    void addSkipped() { ++skipped_; }
    // Adds what another stretch holds, as if its samples had come here.
    void merge(const LevelAccumulator& o);
    void clear();

    int64_t samples() const { return samples_; }
    int64_t skipped() const { return skipped_; }
    int64_t overflow() const { return overflow_; }
    int64_t underflow() const { return underflow_; }
    double energy() const { return energy_; }
    int32_t maxHundredths() const { return max_; }
    int32_t minHundredths() const { return min_; }
    double leq() const { return levelOfEnergy(energy_, samples_); }
    // LN: the level reached or exceeded by percent % of the samples, in tenths.
    int32_t exceededTenths(int percent) const;

    // Fills the counts and levels of r (not its kind, type word or times).
    void fill(IntervalResult& r, int32_t limitTenths) const;

private:
    std::vector<uint32_t> histogram_;
    int64_t samples_ = 0;
    int64_t skipped_ = 0;
    int64_t overflow_ = 0;
    int64_t underflow_ = 0;
    double energy_ = 0.0;
    int32_t max_ = 0;
    int32_t min_ = 0;
};

}  // namespace kestro
