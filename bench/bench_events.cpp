// The noise event detector's cost per slow sample: a day of levels with
// bursts above the event level, and the worst case of an event that never
// ends (every sample counted into it, the context kept).

#include "statistics/NoiseEvents.h"

#include <benchmark/benchmark.h>

#include <random>
#include <vector>

namespace kestro {
namespace {

constexpr int64_t kDayMs = 86400000;

// One level a second: 55 dB with a wander, a burst to 85-95 dB every two minutes or so.
std::vector<int32_t> DayOfLevels() {
    std::mt19937 rng(7);
    std::normal_distribution<double> noise(0.0, 2.0);
    std::uniform_int_distribution<int> gap(30, 240), length(3, 60), peak(8500, 9500);
    std::vector<int32_t> out;
    while (out.size() < size_t(kDayMs / 1000)) {
        for (int i = gap(rng); i > 0; --i)
            out.push_back(int32_t(5500 + noise(rng) * 100));
        const int32_t top = peak(rng);
        for (int i = length(rng); i > 0; --i)
            out.push_back(top - i * 20 + int32_t(noise(rng) * 100));
    }
    out.resize(size_t(kDayMs / 1000));
    return out;
}

void run(benchmark::State& state, const std::vector<int32_t>& levels) {
    EventTracker t;
    int64_t events = 0;
    t.onComplete = [&](const NoiseEvent&) {
        ++events;
    };
    const int64_t day0 = int64_t{46085} * kDayMs;
    for (auto _ : state) {
        t.start({800, 10000, 20}, true, Quantity::Level);
        int64_t ms = 0;
        for (int32_t h : levels) {
            t.add(1772700000000 + ms, day0 + ms, h);
            ms += 1000;
        }
        t.finish();
    }
    state.SetItemsProcessed(int64_t(state.iterations()) * int64_t(levels.size()));
    state.counters["time_per_sample"] = benchmark::Counter(
        double(levels.size()), benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
    state.counters["events_per_day"] = double(events) / double(state.iterations());
}

void BM_DayWithBursts(benchmark::State& state) { run(state, DayOfLevels()); }
void BM_OneEventAllDay(benchmark::State& state) { run(state, std::vector<int32_t>(size_t(kDayMs / 1000), 9000)); }

BENCHMARK(BM_DayWithBursts)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_OneEventAllDay)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace kestro

BENCHMARK_MAIN();
