// Memory over a week of one series: 80 fast values and one slow level per
// second, through the interpreter and the hand-off of every 100 ms tick, on a
// manual clock. Prints the bytes the recording keeps after each simulated
// day and the peak resident memory; both must not grow with the duration.
//
// Usage: bench_week [days] (default 7). The record files go to a temporary
// folder in KESTRO_BENCH_DIR, /dev/shm when present, else the temp directory;
// they are emptied after every simulated day to keep the disk free.

#include "BenchRig.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>

#include <sys/resource.h>
#include <unistd.h>
#include <cstdio>
#include <fstream>
#include <string>

namespace {

long peakRssKiB() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return u.ru_maxrss;
}

}  // namespace

int main(int argc, char** argv) {
    using namespace kestro;
    QCoreApplication app(argc, argv);
    const int days = argc > 1 ? std::max(1, std::atoi(argv[1])) : 7;
    using namespace kestro::bench;
    const QString shm = QStringLiteral("/dev/shm");
    RecorderRig rig(benchDir(QDir(shm).exists() ? shm : QDir::tempPath()), QStringLiteral("week"), false);
    auto& clock = rig.clock;
    auto& ps = rig.ps;
    auto& rec = rig.rec;
    rig.arm();
    const std::string burst = RecorderRig::fastBurst();
    std::printf("one series, 80 fast values and 1 slow level per second, hand-off every 100 ms\n");
    std::printf("day  retained bytes  resident KiB  lines written  wall s\n");
    QElapsedTimer wall;
    wall.start();
    int64_t lines = 0;
    for (int day = 1; day <= days; ++day) {
        for (int tick = 0; tick < 864000; ++tick) {
            if (tick % 10 == 0) {
                ps.receiveEvent("lp " + std::to_string(500 + tick % 300) + " 0\r");
                ++lines;
            }
            ps.receiveEvent(burst);
            lines += 8;
            clock.advanceMs(100);
            if (ps.RecordState() == 2) ps.handOff(rec);
        }
        for (const QString& f : {rec.SlowFileName, rec.FastFileName})
            QFile::resize(f, 0);
        std::printf("%3d  %14zu  %12ld  %13lld  %6.0f\n", day,
                    rec.retainedBytes() + ps.retainedBytes() + size_t(rec.writer().heldBytes()), rssKiB(),
                    static_cast<long long>(lines), wall.elapsed() / 1000.0);
        std::fflush(stdout);
    }
    std::printf("peak resident memory: %ld KiB\n", peakRssKiB());
    std::printf("record errors: %s\n", rec.recordErrorText().isEmpty() ? "none" : qPrintable(rec.recordErrorText()));
    return 0;
}
