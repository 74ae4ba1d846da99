// Recording figures: a tick's hand-off with its file append, line formatting,
// a full time-axis redraw, one incremental segment and the memory per sample.

#include "protocol/ProtocolState.h"
#include "shell/EventLog.h"
#include "ui/recording/LevelGraph.h"
#include "ui/recording/RecordFormat.h"
#include "ui/recording/Recorder.h"

#include <QApplication>
#include <QDir>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <malloc.h>
#include <cstdio>

namespace kestro {
namespace {

QString g_recordDir;  // set by main: where the hand-off writes

MeasurementRecord SampleAt(double timestamp, int16_t level) {
    MeasurementRecord r;
    r.Flags = 1;
    r.Timestamp = timestamp;
    r.SysTime = SystemTimeFromDate(timestamp);
    r.Level = level;
    r.LevelFlags = level > 900 ? 4 : 0;
    return r;
}

const double kStart = DateFromSystemTime({2026, 3, 4, 5, 14, 0, 0, 0});

// One tick: ten new slow samples copied, drawn and appended (open, write, fdatasync, close).
void BM_HandOffTenSamples(benchmark::State& state) {
    ManualClock clock;
    QTemporaryDir tmp(g_recordDir + QStringLiteral("/bench-XXXXXX"));
    EventLog log(tmp.path(), clock);
    RecorderSettings s;
    s.RecordDirectory = tmp.path();
    s.IncludeOverflow = true;
    ProtocolState ps(clock);
    Recorder rec(ps, s, clock, log);
    rec.InitFileList();
    rec.InitGraph();
    rec.ScaleYAxis();
    rec.RestartTimeAxis();
    ps.RecordState = 2;
    ps.KestroState.DevFunction = 1;
    int64_t n = 0;
    for (auto _ : state) {
        if (ps.SlowCount >= 36000) {  // an hour of samples: start a new series
            state.PauseTiming();
            ps.ClearSlowBuffer();
            ++ps.SlowRecordNo;
            clock.AdvanceMs(1000);
            state.ResumeTiming();
        }
        for (int i = 0; i < 10; ++i, ++n)
            ps.AddSlowRecord(SampleAt(kStart + n * 0.1 / 86400, int16_t(500 + (n * 37) % 500)));
        rec.HandOff();
    }
    state.counters["samples/s"] = benchmark::Counter(double(n), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_HandOffTenSamples)->Unit(benchmark::kMicrosecond);

void BM_FormatSlowLine(benchmark::State& state) {
    RecorderSettings s;
    s.IncludeOverflow = s.IncludeUnderflow = true;
    QByteArray out;
    out.reserve(1 << 16);
    int16_t level = 0;
    for (auto _ : state) {
        if (out.size() > 60000) out.resize(0);
        AppendSlowLine(out, s, SampleAt(kStart, level++));
        benchmark::DoNotOptimize(out.data());
    }
    state.counters["lines/s"] = benchmark::Counter(double(state.iterations()), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_FormatSlowLine);

void BM_FormatFastLine(benchmark::State& state) {
    RecorderSettings s;
    s.IncludeOverflow = s.IncludeUnderflow = true;
    QByteArray out;
    out.reserve(1 << 16);
    MeasurementRecord r = SampleAt(kStart, 0);
    r.Flags = 32;
    double v = 1e6;
    for (auto _ : state) {
        if (out.size() > 60000) out.resize(0);
        r.FastLevel = (v += 1.0);
        AppendFastLine(out, s, r);
        benchmark::DoNotOptimize(out.data());
    }
    state.counters["lines/s"] = benchmark::Counter(double(state.iterations()), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_FormatFastLine);

std::vector<MeasurementRecord> TenMinutes(int32_t* count) {
    std::vector<MeasurementRecord> buf(6002);
    for (int i = 0; i <= 6000; ++i)
        buf[size_t(i)] = SampleAt(kStart + i * 0.1 / 86400, int16_t(500 + (i * 37) % 500));
    *count = 6000;
    return buf;
}

// Full rebuild: level grid copy, time grid, and ten minutes at ten samples a second.
void BM_ScaleTimeAxisTenMinutes(benchmark::State& state) {
    int32_t count = 0;
    const auto buf = TenMinutes(&count);
    LevelGraph g;
    g.ScaleYAxis(0, 1400);
    g.CalculateGraphStartTime(buf, count);
    for (auto _ : state) {
        g.ScaleTimeAxis(buf, count);
        benchmark::DoNotOptimize(g.PictureGraph.image.constBits());
    }
}
BENCHMARK(BM_ScaleTimeAxisTenMinutes)->Unit(benchmark::kMillisecond);

// One new segment on the hidden and the visible surface, no window jump.
void BM_ShowSlowSampleSegment(benchmark::State& state) {
    int32_t count = 0;
    const auto buf = TenMinutes(&count);
    LevelGraph g;
    g.ScaleYAxis(0, 1400);
    g.CalculateGraphStartTime(buf, 1);
    g.ScaleTimeAxis(buf, 1);
    int32_t n = 1;
    for (auto _ : state) {
        n = n % 5000 + 1;  // the first 500 s: always inside the window
        benchmark::DoNotOptimize(g.ShowSlowSample(buf, count, n));
    }
}
BENCHMARK(BM_ShowSlowSampleSegment)->Unit(benchmark::kMicrosecond);

// Heap held per sample by the module buffer plus the local copy (both grow in
// blocks of 1000, so capacity can run ahead of the count).
void ReportMemoryPerSample() {
    ManualClock clock;
    QTemporaryDir tmp;
    EventLog log(tmp.path(), clock);
    RecorderSettings s;
    s.RecordDirectory = tmp.path();
    ProtocolState ps(clock);
    Recorder rec(ps, s, clock, log);
    rec.InitGraph();
    rec.ScaleYAxis();
    ps.RecordState = 2;
    ps.SlowRecordNo = 1;
    ps.KestroState.DevFunction = 1;
    const struct mallinfo2 m0 = mallinfo2();
    const size_t before = m0.uordblks + m0.hblkhd;
    constexpr int kSamples = 100000;
    for (int i = 0; i < kSamples; ++i) {
        ps.AddSlowRecord(SampleAt(kStart + i * 0.1 / 86400, 600));
        if (i % 10 == 9) rec.HandOff();
    }
    const struct mallinfo2 m1 = mallinfo2();
    const size_t after = m1.uordblks + m1.hblkhd;
    std::printf(
        "memory per recorded slow sample (module + local buffer, %d samples): %.1f bytes "
        "(sizeof(MeasurementRecord) = %zu)\n",
        kSamples, double(after - before) / kSamples, sizeof(MeasurementRecord));
}

}  // namespace
}  // namespace kestro

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    // The record directory of the hand-off benchmark: the current directory
    // (a real disk, so fdatasync costs what it costs), or KESTRO_BENCH_DIR.
    kestro::g_recordDir =
        qEnvironmentVariableIsSet("KESTRO_BENCH_DIR") ? qEnvironmentVariable("KESTRO_BENCH_DIR") : QDir::currentPath();
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    kestro::ReportMemoryPerSample();
    return 0;
}
