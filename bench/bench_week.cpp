// Memory over a week of one series: 80 fast values and one slow level per
// second, through the interpreter and the hand-off of every 100 ms tick, on a
// manual clock. Prints the bytes the recording keeps after each simulated
// day and the peak resident memory; both must not grow with the duration.
//
// Usage: bench_week [days] (default 7). The record files go to a temporary
// folder in KESTRO_BENCH_DIR, /dev/shm when present, else the temp directory;
// they are emptied after every simulated day to keep the disk free.

#include "protocol/ProtocolState.h"
#include "recording/SeriesRecorder.h"
#include "shell/EventLog.h"
#include "support/ManualClock.h"

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

long rssKiB() {
    std::ifstream f("/proc/self/statm");
    long pages = 0, resident = 0;
    f >> pages >> resident;
    return resident * (sysconf(_SC_PAGESIZE) / 1024);
}

long peakRssKiB() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return u.ru_maxrss;
}

QString benchDir() {
    if (qEnvironmentVariableIsSet("KESTRO_BENCH_DIR")) return qEnvironmentVariable("KESTRO_BENCH_DIR");
    return QDir(QStringLiteral("/dev/shm")).exists() ? QStringLiteral("/dev/shm") : QDir::tempPath();
}

}  // namespace

int main(int argc, char** argv) {
    using namespace kestro;
    QCoreApplication app(argc, argv);
    const int days = argc > 1 ? std::max(1, std::atoi(argv[1])) : 7;
    QTemporaryDir tmp(benchDir() + QStringLiteral("/kestro-week-XXXXXX"));
    ManualClock clock;
    EventLog log(tmp.path(), clock);
    RecorderSettings s;
    s.RecordDirectory = tmp.path();
    ProtocolState ps(clock, log.errorSink());
    SeriesRecorder rec(ps, s, clock, log);
    rec.setStateDirectory(tmp.path() + QStringLiteral("/data"));
    ps.KestroState.DevFunction = ps.KestroState.DevVariant = 1;
    ps.RecordState = 1;
    ps.BufferRestart = 3;

    std::string burst;
    for (int i = 0; i < 8; ++i)
        burst += "p 3F8000000\r";
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
            if (ps.RecordState == 2) rec.handOff();
        }
        for (const QString& f : {rec.SlowFileName, rec.FastFileName})
            QFile::resize(f, 0);
        std::printf("%3d  %14zu  %12ld  %13lld  %6.0f\n", day, rec.retainedBytes() + size_t(rec.writer().heldBytes()),
                    rssKiB(), static_cast<long long>(lines), wall.elapsed() / 1000.0);
        std::fflush(stdout);
    }
    std::printf("peak resident memory: %ld KiB\n", peakRssKiB());
    std::printf("record errors: %s\n", rec.recordErrorText().isEmpty() ? "none" : qPrintable(rec.recordErrorText()));
    return 0;
}
