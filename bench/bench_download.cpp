// Downloads against the poll thread. A closed series with a record file of
// 1 GB (sparse: the disk is not what is measured) is fetched over loopback
// by clients on other threads, each first half of it and then the rest with
// a Range, as `curl -C -` resumes; meanwhile a 10 ms timer on the server's
// thread stands for the poll tick. Prints the tick's lateness (median, p99,
// worst), the throughput, the growth of the resident memory, and whether
// every download matches the side file's SHA-256.
//
// Then times the listing of a directory of a year of hourly series.
//
// Usage: bench_download [MB] [clients] (default 1024 1; at most 4 are served at once).

#include "remote/FileCatalog.h"
#include "remote/MonitorServer.h"
#include "remote/StationMonitor.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QTimer>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/syscall.h>
#include <time.h>
#include <unistd.h>
#include <algorithm>
#include <atomic>
#include <cstdio>
#include <thread>
#include <vector>

namespace {

double threadCpuMs() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return t.tv_sec * 1e3 + t.tv_nsec / 1e6;
}

// The processor time of every event the poll thread handles: how long it is
// busy at a stretch, which is what a tick waits for at most on a free processor.
class App : public QCoreApplication {
public:
    using QCoreApplication::QCoreApplication;
    bool notify(QObject* receiver, QEvent* event) override {
        const double t0 = threadCpuMs();
        const bool r = QCoreApplication::notify(receiver, event);
        if (measuring) busy.push_back(threadCpuMs() - t0);
        return r;
    }
    bool measuring = false;
    std::vector<double> busy;
};

long rssKib() {
    QFile f(QStringLiteral("/proc/self/status"));
    if (!f.open(QIODevice::ReadOnly)) return 0;
    for (const QByteArray& line : f.readAll().split('\n'))
        if (line.startsWith("VmRSS:")) return line.mid(6).trimmed().split(' ').value(0).toLong();
    return 0;
}

// One GET; the body goes into the hash. False when the answer is not the expected one.
bool fetch(quint16 port, const QByteArray& target, const QByteArray& range, int expectStatus, QCryptographicHash* hash,
           int64_t* bytes) {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(port);
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) return false;
    const QByteArray request = "GET " + target + " HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n" +
                               (range.isEmpty() ? QByteArray() : "Range: " + range + "\r\n") + "\r\n";
    (void)!::send(fd, request.constData(), size_t(request.size()), 0);
    std::vector<char> buffer(1 << 20);
    QByteArray head;
    bool inBody = false;
    for (;;) {
        const ssize_t n = ::recv(fd, buffer.data(), buffer.size(), 0);
        if (n <= 0) break;
        if (inBody) {
            hash->addData(QByteArrayView(buffer.data(), n));
            *bytes += n;
            continue;
        }
        head.append(buffer.data(), n);
        const qsizetype end = head.indexOf("\r\n\r\n");
        if (end < 0) continue;
        inBody = true;
        hash->addData(QByteArrayView(head.constData() + end + 4, head.size() - end - 4));
        *bytes += head.size() - end - 4;
        head.truncate(end);
    }
    ::close(fd);
    return head.mid(9, 3).toInt() == expectStatus;
}

}  // namespace

int main(int argc, char** argv) {
    using namespace kestro;
    App app(argc, argv);
    const int64_t size = int64_t(argc > 1 ? std::max(1, std::atoi(argv[1])) : 1024) << 20;
    const int clients = argc > 2 ? std::clamp(std::atoi(argv[2]), 1, 4) : 1;
    const QString base =
        qEnvironmentVariableIsSet("KESTRO_BENCH_DIR") ? qEnvironmentVariable("KESTRO_BENCH_DIR") : QDir::tempPath();
    QTemporaryDir dir(base + QStringLiteral("/kestro-download-XXXXXX"));
    const QByteArray name = "NoiseData_LP_20260305_140327.dat";
    {
        QFile record(dir.filePath(QString::fromLatin1(name)));
        if (!record.open(QIODevice::WriteOnly) || !record.write("Time;NoiseValue\r\n") || !record.resize(size))
            return 1;
    }
    QCryptographicHash whole(QCryptographicHash::Sha256);
    {
        QFile record(dir.filePath(QString::fromLatin1(name)));
        if (!record.open(QIODevice::ReadOnly) || !whole.addData(&record)) return 1;
    }
    const QByteArray sha = whole.result().toHex();
    {
        QFile side(dir.filePath(QStringLiteral("NoiseData_LP_20260305_140327_INFO.json")));
        if (!side.open(QIODevice::WriteOnly)) return 1;
        side.write(R"({"state":"closed","record_file":")" + name + R"(","record_bytes":)" + QByteArray::number(size) +
                   R"(,"record_sha256":")" + sha + "\"}");
    }

    StationMonitor monitor;
    MonitorServer server(monitor);
    server.setRecordDirectory([&] { return dir.path(); });
    QString error;
    if (!server.listen(QHostAddress::LocalHost, 0, &error)) return 1;
    const quint16 port = server.port();

    std::vector<double> late;
    QElapsedTimer sinceTick;
    QTimer tick;
    tick.setTimerType(Qt::PreciseTimer);
    tick.setInterval(10);
    long rss0 = rssKib(), rssPeak = rss0;
    QObject::connect(&tick, &QTimer::timeout, [&] {
        late.push_back(std::max(0.0, sinceTick.nsecsElapsed() / 1e6 - 10.0));
        sinceTick.start();
        rssPeak = std::max(rssPeak, rssKib());
    });
    // The machine's own noise first: ticks while nothing is downloaded.
    sinceTick.start();
    tick.start();
    QTimer::singleShot(2000, &app, &QCoreApplication::quit);
    app.exec();
    std::sort(late.begin(), late.end());
    const double idleP99 = late.empty() ? 0 : late[late.size() * 99 / 100];
    late.clear();
    rss0 = rssPeak = rssKib();

    std::atomic<int> done{0};
    std::atomic<bool> allGood{true};
    std::atomic<int64_t> total{0};
    std::vector<std::thread> threads;
    app.measuring = true;
    QElapsedTimer wall;
    wall.start();
    for (int i = 0; i < clients; ++i)
        threads.emplace_back([&] {
            // The client stands for another computer: it yields the processor to the station's thread.
            ::setpriority(PRIO_PROCESS, pid_t(::syscall(SYS_gettid)), 19);
            // Cut halfway, then resumed from where it stopped.
            QCryptographicHash hash(QCryptographicHash::Sha256);
            int64_t got = 0;
            const int64_t half = size / 2;
            bool ok =
                fetch(port, "/files/" + name, "bytes=0-" + QByteArray::number(qlonglong(half - 1)), 206, &hash, &got);
            ok = ok && got == half &&
                 fetch(port, "/files/" + name, "bytes=" + QByteArray::number(qlonglong(got)) + "-", 206, &hash, &got);
            if (!ok || got != size || hash.result().toHex() != sha) allGood = false;
            total += got;
            ++done;
        });
    QTimer watch;
    QObject::connect(&watch, &QTimer::timeout, [&] {
        if (done == clients) app.quit();
    });
    watch.start(50);
    sinceTick.start();
    app.exec();
    const double seconds = wall.elapsed() / 1000.0;
    app.measuring = false;
    std::sort(app.busy.begin(), app.busy.end());
    for (std::thread& t : threads)
        t.join();
    std::sort(late.begin(), late.end());
    const auto at = [&](double q) {
        return late.empty() ? 0.0 : late[std::min(late.size() - 1, size_t(late.size() * q))];
    };
    std::printf("%d download(s) of %lld MB each, cut halfway and resumed, over loopback\n", clients,
                qlonglong(size >> 20));
    std::printf("throughput %.0f MB/s in %.1f s; SHA-256 of every download %s the side file's\n", total / 1e6 / seconds,
                seconds, allGood ? "equals" : "DIFFERS FROM");
    std::printf("10 ms tick lateness over %zu ticks: median %.2f ms, p99 %.2f ms, worst %.2f ms (idle p99 %.2f ms)\n",
                late.size(), at(0.5), at(0.99), late.empty() ? 0.0 : late.back(), idleP99);
    std::printf("poll thread busy at a stretch (processor time per event, %zu events): p99 %.3f ms, worst %.3f ms\n",
                app.busy.size(), app.busy.empty() ? 0.0 : app.busy[app.busy.size() * 99 / 100],
                app.busy.empty() ? 0.0 : app.busy.back());
    std::printf("resident memory %ld kB before, peak %ld kB while downloading: grew %.2f MB\n", rss0, rssPeak,
                (rssPeak - rss0) / 1024.0);

    // What /api/files and every /files/NAME cost the poll thread in a directory of a year of hourly series.
    QTemporaryDir many(base + QStringLiteral("/kestro-listing-XXXXXX"));
    const int series = 8760;
    for (int i = 0; i < series; ++i) {
        const QString stem = QStringLiteral("NoiseData_LP_2026%1_%2")
                                 .arg(1000 + i / 24, 4, 10, QLatin1Char('0'))
                                 .arg((i % 24) * 10000, 6, 10, QLatin1Char('0'));
        const QByteArray line = "Time;NoiseValue\r\n";
        const QByteArray hash = QCryptographicHash::hash(line, QCryptographicHash::Sha256).toHex();
        const QByteArray statHash = QCryptographicHash::hash("Stat\r\n", QCryptographicHash::Sha256).toHex();
        for (const auto& [suffix, bytes] :
             {std::pair{QStringLiteral(".dat"), line},
              {QStringLiteral("_STAT.dat"), QByteArray("Stat\r\n")},
              {QStringLiteral("_INFO.json"),
               R"({"state":"closed","record_file":")" + stem.toLatin1() +
                   R"(.dat","record_bytes":17,"record_sha256":")" + hash + R"(","statistics_file":")" +
                   stem.toLatin1() + R"(_STAT.dat","statistics_bytes":6,"statistics_sha256":")" + statHash + "\"}"}}) {
            QFile f(many.filePath(stem + suffix));
            if (!f.open(QIODevice::WriteOnly) || f.write(bytes) != bytes.size()) return 1;
        }
    }
    FileCatalog catalog;
    QElapsedTimer t;
    t.start();
    const size_t listed = catalog.list(many.path()).size();
    const double first = t.nsecsElapsed() / 1e6;
    t.start();
    catalog.list(many.path());
    std::printf("listing %zu files of %d series: %.1f ms the first time (every side file read), then %.1f ms\n", listed,
                series, first, t.nsecsElapsed() / 1e6);
    // The same through the server: the catalog and the JSON of /api/files, as the poll thread sees them.
    server.setRecordDirectory([&] { return many.path(); });
    watch.stop();
    tick.stop();
    for (const char* when : {"first", "later"}) {
        app.busy.clear();
        app.measuring = true;
        int64_t bytes = 0;
        std::atomic<bool> fetched{false};
        std::thread client([&] {
            QCryptographicHash ignored(QCryptographicHash::Sha256);
            fetch(port, "/api/files", QByteArray(), 200, &ignored, &bytes);
            fetched = true;
        });
        QTimer poll;
        QObject::connect(&poll, &QTimer::timeout, [&] {
            if (fetched) app.quit();
        });
        poll.start(10);
        app.exec();
        client.join();
        app.measuring = false;
        std::printf("/api/files of that directory (%s request, %lld kB): the poll thread busy %.1f ms at most\n", when,
                    qlonglong(bytes / 1024),
                    app.busy.empty() ? 0.0 : *std::max_element(app.busy.begin(), app.busy.end()));
    }
    return allGood ? 0 : 1;
}
