// A record folder that stays unwritable for days while the meter sends at the
// line rate: every tick's lines go to the spool. Prints the time of one tick
// and the resident memory after 1, 24 and 72 simulated hours, then how the
// backlog drains once the folder is back. The spool lies on a real disk (the
// current directory or KESTRO_BENCH_DIR), so its writes cost what they cost.
//
// Usage: bench_outage [hours] (default 72).

#include "BenchRig.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <unistd.h>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

int main(int argc, char** argv) {
    using namespace kestro;
    using Clock = std::chrono::steady_clock;
    QCoreApplication app(argc, argv);
    const int hours = argc > 1 ? std::max(1, std::atoi(argv[1])) : 72;
    using namespace kestro::bench;
    const QString base = benchDir();
    RecorderRig rig(base, QStringLiteral("outage"));
    auto& clock = rig.clock;
    auto& ps = rig.ps;
    auto& rec = rig.rec;
    auto& recDir = rig.recDir;
    rig.arm();
    const std::string burst = RecorderRig::fastBurst();
    auto tick = [&](int n) {
        if (n % 10 == 0) ps.receiveEvent("lp " + std::to_string(500 + n % 300) + " 0\r");
        ps.receiveEvent(burst);
        clock.advanceMs(100);
        const auto t0 = Clock::now();
        if (ps.RecordState() == 2) ps.handOff(rec);
        return std::chrono::duration<double, std::milli>(Clock::now() - t0).count();
    };
    for (int n = 0; n < 10; ++n)
        tick(n);
    QDir(recDir).removeRecursively();  // the stick is pulled

    std::printf("record folder unwritable; 80 fast values and 1 slow level per second; spool on %s\n",
                qPrintable(base));
    std::printf("hour  tick median ms  p99 ms  max ms  resident KiB  spooled MB  in memory B\n");
    std::vector<double> hour;
    int n = 10;
    for (int h = 1; h <= hours; ++h) {
        hour.clear();
        for (int i = 0; i < 36000; ++i)
            hour.push_back(tick(n++));
        if (h == 1 || h == 24 || h == 72 || h == hours)
            std::printf("%4d  %12.3f  %6.3f  %6.3f  %12ld  %10.1f  %11lld\n", h, percentile(hour, 0.5),
                        percentile(hour, 0.99), *std::max_element(hour.begin(), hour.end()), rssKiB(),
                        rec.writer().heldBytes() / 1e6, static_cast<long long>(rec.writer().memoryBytes()));
        std::fflush(stdout);
    }
    QDir().mkpath(recDir);  // back again
    std::vector<double> drain;
    while (rec.hasHeldLines())
        drain.push_back(tick(n++));
    // The spool's blocks are freed over the following ticks.
    std::vector<double> after;
    for (int i = 0; i < 600; ++i)
        after.push_back(tick(n++));
    // The worst tick is what the display feels; catching up may take 20 ms of one.
    std::printf(
        "folder back: backlog written in %zu ticks (%.0f s), tick median %.1f ms, p99 %.1f ms, worst %.1f ms, "
        "resident %ld KiB\n",
        drain.size(), drain.size() / 10.0, percentile(drain, 0.5), percentile(drain, 0.99),
        drain.empty() ? 0.0 : *std::max_element(drain.begin(), drain.end()), rssKiB());
    std::printf("the minute after: tick median %.3f ms, worst %.1f ms\n", percentile(after, 0.5),
                *std::max_element(after.begin(), after.end()));
    qint64 bytes = 0;
    for (const QString& f : QDir(recDir).entryList(QDir::Files))
        bytes += QFile(recDir + QLatin1Char('/') + f).size();
    std::printf("record files now hold %.1f MB\n", bytes / 1e6);
    return 0;
}
