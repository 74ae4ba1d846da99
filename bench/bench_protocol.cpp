// Receive path throughput: a realistic answer mix fed through receiveEvent in
// chunks of 1 to 64 bytes, with heap allocations counted per line.

#include "protocol/ProtocolState.h"
#include "support/ManualClock.h"

#include <benchmark/benchmark.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <new>
#include <random>
#include <string>
#include <vector>

// Allocation counter for the whole program; only this bench replaces operator new.
static std::atomic<uint64_t> g_allocations{0};

void* operator new(std::size_t n) {
    g_allocations.fetch_add(1, std::memory_order_relaxed);
    if (void* p = std::malloc(n ? n : 1)) return p;
    throw std::bad_alloc();
}
void* operator new[](std::size_t n) { return operator new(n); }
// The replacement pair is malloc/free by design; GCC cannot see that.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
#endif
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic pop
#endif

namespace {

using namespace kestro;

struct Workload {
    std::string stream;
    std::vector<size_t> chunks;  // sizes 1..64, summing to the stream length
    int64_t lines = 0;
};

// Mostly fast values, as while the instrument streams; slow values of the current
// function (switched now and then), status answers to the poll, a little line noise.
Workload makeWorkload() {
    std::mt19937 gen(7);
    auto rng = [&gen] {
        return static_cast<unsigned>(gen());
    };
    Workload w;
    char buf[64];
    for (int i = 0; i < 20000; ++i) {
        const int k = static_cast<int>(rng() % 100);
        if (k < 70) {
            std::snprintf(buf, sizeof buf, "%c %08X%X\r", "pqr"[rng() % 3], 0x42000000u + (rng() & 0xFFFFFFu),
                          rng() % 16);
        } else if (k < 85) {
            std::snprintf(buf, sizeof buf, "%s %u %X\r", (i / 5000) % 2 ? "leq" : "lp", 300 + rng() % 900,
                          static_cast<unsigned>(rng() % 16));
        } else if (k < 95) {
            const unsigned code = (i / 5000) % 2 ? 0x22000u : 0x11000u;  // agrees with the slow lines
            std::snprintf(buf, sizeof buf, "gds %05X\r", code + 0x300u + (rng() % 16));
        } else if (k < 98) {
            std::snprintf(buf, sizeof buf, "xq%u\n\r", static_cast<unsigned>(rng()));
        } else {
            std::snprintf(buf, sizeof buf, "lp err %u\r", static_cast<unsigned>(rng() % 4));
        }
        w.stream += buf;
    }
    for (char c : w.stream)
        w.lines += c == '\r';
    size_t left = w.stream.size();
    while (left > 0) {
        const size_t n = std::min<size_t>(left, 1 + rng() % 64);
        w.chunks.push_back(n);
        left -= n;
    }
    return w;
}

const Workload& theWorkload() {
    static const Workload w = makeWorkload();
    return w;
}

void feedAll(ProtocolState& ps, const Workload& w) {
    size_t pos = 0;
    for (size_t n : w.chunks) {
        ps.receiveEvent(std::string_view(w.stream).substr(pos, n));
        pos += n;
    }
}

void runMix(benchmark::State& state, bool recording) {
    const Workload& w = theWorkload();
    ManualClock clock;
    ProtocolState ps(clock);
    feedAll(ps, w);  // warm up: buffers reach their working capacity
    uint64_t allocs = 0;
    int64_t lines = 0;
    for (auto _ : state) {
        ps.setRecordState(recording ? 1 : 0);
        const uint64_t before = g_allocations.load(std::memory_order_relaxed);
        feedAll(ps, w);
        allocs += g_allocations.load(std::memory_order_relaxed) - before;
        lines += w.lines;
        benchmark::DoNotOptimize(ps.device().DevLevel);
        if (recording) {
            state.PauseTiming();
            ps.ClearSlowBuffer();  // keep memory bounded over many iterations
            ps.ClearFastBuffer();
            state.ResumeTiming();
        }
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(w.stream.size()));
    state.counters["lines/s"] = benchmark::Counter(static_cast<double>(lines), benchmark::Counter::kIsRate);
    state.counters["allocs/line"] = static_cast<double>(allocs) / static_cast<double>(lines ? lines : 1);
}

void BM_ReceiveMix(benchmark::State& state) { runMix(state, false); }
// While recording, the sample buffers grow (and restart on function changes).
void BM_ReceiveMixRecording(benchmark::State& state) { runMix(state, true); }

BENCHMARK(BM_ReceiveMix)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReceiveMixRecording)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    std::printf("sizeof(MeasurementRecord) = %zu bytes\n", sizeof(kestro::MeasurementRecord));
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
