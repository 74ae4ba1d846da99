// Recording figures: a tick's hand-off with its file append, line formatting,
// a full time-axis redraw and one incremental segment.

#include "protocol/ProtocolState.h"
#include "recording/RecordFormat.h"
#include "recording/SeriesRecorder.h"
#include "shell/EventLog.h"
#include "support/ManualClock.h"
#include "ui/recording/LevelGraph.h"
#include "ui/recording/RecordingViews.h"

#include <QApplication>
#include <QDir>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <cstdio>

namespace kestro {
namespace {

QString g_recordDir;  // set by main: where the hand-off writes

MeasurementRecord sampleAt(double timestamp, int16_t level) {
    MeasurementRecord r;
    r.Flags = kFlagLp;
    r.Timestamp = timestamp;
    r.SysTime = systemTimeFromDate(timestamp);
    r.Level = level;
    r.LevelFlags = level > 900 ? 4 : 0;
    return r;
}

const double kStart = dateFromSystemTime({2026, 3, 4, 5, 14, 0, 0, 0});

// One tick: ten new slow samples copied, drawn and appended (open, write, fdatasync, close).
void BM_HandOffTenSamples(benchmark::State& state) {
    ManualClock clock;
    QTemporaryDir tmp(g_recordDir + QStringLiteral("/bench-XXXXXX"));
    EventLog log(tmp.path(), clock);
    RecorderSettings s;
    s.RecordDirectory = tmp.path();
    s.IncludeOverflow = true;
    ProtocolState ps(clock);
    SeriesRecorder rec(ps.device(), s, clock, log);
    RecordingViews views(rec);
    views.InitFileList();
    views.initGraph();
    views.ScaleYAxis();
    views.RestartTimeAxis();
    ps.setRecordState(2);
    moduleOf(ps).KestroState.DevFunction = 1;
    int64_t n = 0;
    for (auto _ : state) {
        if (ps.SlowCount() >= 36000) {  // an hour of samples: start a new series
            state.PauseTiming();
            moduleOf(ps).SlowBuffer.restart();
            clock.advanceMs(1000);
            state.ResumeTiming();
        }
        for (int i = 0; i < 10; ++i, ++n) {
            MeasurementRecord r = sampleAt(kStart + n * 0.1 / 86400, int16_t(500 + (n * 37) % 500));
            r.Instant = n * 100;
            ps.AddSlowRecord(r);
        }
        ps.handOff(rec);
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
        appendSlowLine(out, s, sampleAt(kStart, level++));
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
    MeasurementRecord r = sampleAt(kStart, 0);
    r.Flags = kFlagFastQ;
    double v = 1e6;
    for (auto _ : state) {
        if (out.size() > 60000) out.resize(0);
        r.FastLevel = (v += 1.0);
        appendFastLine(out, s, r);
        benchmark::DoNotOptimize(out.data());
    }
    state.counters["lines/s"] = benchmark::Counter(double(state.iterations()), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_FormatFastLine);

SampleWindow tenMinutes() {
    SampleWindow buf;
    buf.setHeader(sampleAt(kStart, 500));
    for (int i = 1; i <= 6000; ++i)
        buf.push(sampleAt(kStart + i * 0.1 / 86400, int16_t(500 + (i * 37) % 500)));
    return buf;
}

// Full rebuild: level grid copy, time grid, and ten minutes at ten samples a second.
void BM_ScaleTimeAxisTenMinutes(benchmark::State& state) {
    const SampleWindow buf = tenMinutes();
    LevelGraph g;
    g.ScaleYAxis(0, 1400);
    g.CalculateGraphStartTime(buf);
    for (auto _ : state) {
        g.ScaleTimeAxis(buf);
        benchmark::DoNotOptimize(g.PictureGraph.image.constBits());
    }
}
BENCHMARK(BM_ScaleTimeAxisTenMinutes)->Unit(benchmark::kMillisecond);

// One new segment on the hidden and the visible surface, no window jump.
void BM_ShowSlowSampleSegment(benchmark::State& state) {
    const SampleWindow buf = tenMinutes();
    SampleWindow first;
    first.setHeader(buf[0]);
    first.push(buf[1]);
    LevelGraph g;
    g.ScaleYAxis(0, 1400);
    g.CalculateGraphStartTime(first);
    g.ScaleTimeAxis(first);
    int32_t n = 1;
    for (auto _ : state) {
        n = n % 5000 + 1;  // the first 500 s: always inside the window
        benchmark::DoNotOptimize(g.ShowSlowSample(buf, n));
    }
}
BENCHMARK(BM_ShowSlowSampleSegment)->Unit(benchmark::kMicrosecond);

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
    return 0;
}
