// The serial port's read hold-off at the line rate. A writer thread plays the
// meter on a pseudo-terminal: fast-value lines back to back at 9600 baud, in
// 8-byte pieces as an adapter (and the simulator's --line-rate) delivers them.
// The port reads them in the event loop, with a 100 ms poll tick that reads
// too, once for each hold-off. Prints per hold-off the wake-ups and the CPU
// time of the reading thread per line, how long complete lines waited
// before they were read, and how far their time stamps (taken then, less the
// time the bytes after them in the same read needed at 9600 baud) lie after
// their completion.
//
// Usage: bench_serial [seconds per hold-off] (default 10) [hold-offs in ms,
// comma-separated] (default 0,5,10,20,25,50,100)

#include "link/PosixSerialPort.h"

#include <QCoreApplication>
#include <QStringList>
#include <QTimer>

#include <fcntl.h>
#include <pty.h>
#include <sys/resource.h>
#include <termios.h>
#include <unistd.h>
#include <algorithm>
#include <atomic>
#include <cstdio>
#include <ctime>
#include <thread>
#include <vector>

namespace {

constexpr int kLineBytes = 12;  // "p XXXXXXXXS\r"
constexpr int kPieceBytes = 8;
constexpr long kPieceNs = 1000000000L * kPieceBytes * 10 / 9600;

long long nowNs(clockid_t clock = CLOCK_MONOTONIC) {
    timespec t{};
    clock_gettime(clock, &t);
    return t.tv_sec * 1000000000LL + t.tv_nsec;
}

struct Result {
    double wakeupsPerLine, cpuUsPerLine, meanDelayMs, maxDelayMs, meanStampMs, minStampMs;
};

Result run(int holdOffMs, int seconds) {
    int master = -1;
    int slave = -1;
    char name[256] = {};
    openpty(&master, &slave, name, nullptr, nullptr);
    termios tio{};
    tcgetattr(slave, &tio);
    cfmakeraw(&tio);
    tcsetattr(slave, TCSANOW, &tio);

    const int lines = seconds * 9600 / 10 / kLineBytes;
    std::vector<std::atomic<long long>> completedNs(static_cast<std::size_t>(lines));
    kestro::PosixSerialPort port(holdOffMs);
    int16_t errNo = 0;
    if (!port.open(QString::fromLocal8Bit(name), &errNo, nullptr)) std::fprintf(stderr, "open failed: %d\n", errNo);

    std::vector<double> delays, stamps;
    delays.reserve(static_cast<std::size_t>(lines));
    stamps.reserve(static_cast<std::size_t>(lines));
    auto take = [&] {
        const QByteArray data = port.readAll();
        const long long now = nowNs();
        for (qsizetype i = 0; i < data.size(); ++i)
            if (data[i] == '\r' && delays.size() < completedNs.size()) {
                const double waited = double(now - completedNs[delays.size()].load(std::memory_order_acquire)) / 1e6;
                delays.push_back(waited);
                stamps.push_back(waited - double((data.size() - i - 1) * 1000 / 960));
            }
    };
    QObject::connect(&port, &kestro::SerialPort::dataReceived, take);
    QTimer tick;
    QObject::connect(&tick, &QTimer::timeout, take);
    tick.start(100);

    std::thread writer([&] {
        std::string stream;
        for (int i = 0; i < lines; ++i) {
            char line[kLineBytes + 1];
            std::snprintf(line, sizeof line, "p %08X0\r", 0x48000000u + unsigned(i));
            stream.append(line, kLineBytes);
        }
        timespec next{};
        clock_gettime(CLOCK_MONOTONIC, &next);
        for (std::size_t off = 0; off < stream.size(); off += kPieceBytes) {
            const std::size_t n = std::min<std::size_t>(kPieceBytes, stream.size() - off);
            const std::size_t end = off + n;
            const long long t = nowNs();
            for (std::size_t line = off / kLineBytes; (line + 1) * kLineBytes <= end; ++line)
                completedNs[line].store(t, std::memory_order_release);
            (void)!write(master, stream.data() + off, n);
            next.tv_nsec += kPieceNs;
            if (next.tv_nsec >= 1000000000L) next.tv_nsec -= 1000000000L, ++next.tv_sec;
            clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &next, nullptr);
        }
    });

    rusage before{};
    getrusage(RUSAGE_THREAD, &before);
    const long long cpu0 = nowNs(CLOCK_THREAD_CPUTIME_ID);
    while (delays.size() < completedNs.size())
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    const long long cpu = nowNs(CLOCK_THREAD_CPUTIME_ID) - cpu0;
    rusage after{};
    getrusage(RUSAGE_THREAD, &after);
    writer.join();
    port.close();
    close(master);
    close(slave);

    double sum = 0;
    for (const double d : delays)
        sum += d;
    const double n = double(delays.size());
    double stampSum = 0;
    for (const double d : stamps)
        stampSum += d;
    return {double(after.ru_nvcsw - before.ru_nvcsw) / n,
            double(cpu) / 1e3 / n,
            sum / n,
            *std::max_element(delays.begin(), delays.end()),
            stampSum / n,
            *std::min_element(stamps.begin(), stamps.end())};
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const int seconds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 10;
    const QStringList holdOffs =
        QString::fromLocal8Bit(argc > 2 ? argv[2] : "0,5,10,20,25,50,100").split(QLatin1Char(','));
    std::printf("%d s per hold-off, %d lines/s in %d-byte pieces\n", seconds, 9600 / 10 / kLineBytes, kPieceBytes);
    std::printf(
        "hold-off ms  wake-ups/line  CPU us/line  line waited ms: mean    max  stamp after line ms: mean    min\n");
    for (const QString& h : holdOffs) {
        const Result r = run(h.toInt(), seconds);
        std::printf("%11d  %13.2f  %11.1f  %20.1f  %6.1f  %25.1f  %6.1f\n", h.toInt(), r.wakeupsPerLine, r.cpuUsPerLine,
                    r.meanDelayMs, r.maxDelayMs, r.meanStampMs, r.minStampMs);
        std::fflush(stdout);
    }
    return 0;
}
