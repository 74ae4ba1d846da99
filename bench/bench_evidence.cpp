// The evidence trail's cost. Series of 100 MB record files are closed one
// after the other while the poll ticks on: prints the worst tick while each
// side file is hashed, signed and written (the poll cycle must not feel it),
// then checks the whole directory as --verify does and prints its MB/s beside
// those of reading and of hashing the same files alone. The files lie on a
// real disk (the current directory or KESTRO_BENCH_DIR); a second run may find
// them in the page cache.
//
// Usage: bench_evidence [total MB] (default 1024, in files of 100 MB).

#include "BenchRig.h"
#include "recording/EvidenceFiles.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <time.h>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>

int main(int argc, char** argv) {
    using namespace kestro;
    using Steady = std::chrono::steady_clock;
    QCoreApplication app(argc, argv);
    const int totalMb = argc > 1 ? std::max(100, std::atoi(argv[1])) : 1024;
    constexpr qint64 kFileBytes = 100LL << 20;
    const QString base = bench::benchDir();
    bench::RecorderRig rig(base, QStringLiteral("evidence"));
    auto& clock = rig.clock;
    auto& ps = rig.ps;
    auto& rec = rig.rec;
    auto& recDir = rig.recDir;

    auto msSince = [](Steady::time_point t0) {
        return std::chrono::duration<double, std::milli>(Steady::now() - t0).count();
    };
    auto cpuMs = [] {
        timespec t{};
        clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
        return t.tv_sec * 1e3 + t.tv_nsec / 1e6;
    };
    // One poll tick as the program runs it: the evidence, then the hand-off.
    // Its processor time apart: on a loaded machine the wall time also holds waits for a processor.
    double worstCpu = 0.0;
    auto tick = [&] {
        clock.advanceMs(100);
        const auto t0 = Steady::now();
        const double c0 = cpuMs();
        ps.handOffCalibration(rec);
        rec.tickEvidence();
        if (ps.RecordState() == 2) ps.handOff(rec);
        worstCpu = std::max(worstCpu, cpuMs() - c0);
        return msSince(t0);
    };
    // A line of 26 bytes, as a slow level with its time.
    const QByteArray chunk = QByteArray("14:03:27,250;   67,4\r\n").repeated(1 << 16);
    std::printf("closing series of %lld MB each on %s\n", kFileBytes >> 20, qPrintable(base));
    std::printf("series  worst tick while closing ms  its processor time ms  closed after s\n");
    const int files = std::max(1, totalMb / int(kFileBytes >> 20));
    // What a tick costs here without closing anything: the machine's own noise.
    double idle = 0.0;
    for (int n = 0; n < 30; ++n)
        idle = std::max(idle, tick());
    std::printf("worst of 30 ticks closing nothing: %.2f ms\n", idle);
    for (int i = 0; i < files; ++i) {
        ps.setRecordState(1);
        ps.setBufferRestart(3);
        for (int n = 0; n < 3; ++n) {
            ps.receiveEvent("lp 674 0\r");
            tick();
        }
        const QStringList records = QDir(recDir).entryList({QStringLiteral("NoiseData_LP_*")}, QDir::Files, QDir::Name);
        QString record;
        for (const QString& r : records)
            if (isRecordFileName(r)) record = recDir + QLatin1Char('/') + r;
        {
            // The bulk of a long series, written before it ends (as the writer would have).
            QFile f(record);
            if (!f.open(QIODevice::Append)) return 1;
            for (qint64 done = f.size(); done < kFileBytes; done += chunk.size())
                f.write(chunk);
        }
        rec.endStatistics();
        ps.setRecordState(0);
        const auto t0 = Steady::now();
        double worst = 0.0;
        worstCpu = 0.0;
        auto closed = [&] {
            QFile f(sideFilePath(record));
            return f.open(QIODevice::ReadOnly) && f.readAll().contains("\"state\": \"closed\"");
        };
        while (!closed())
            worst = std::max(worst, tick());
        std::printf("%6d  %27.2f  %21.2f  %14.2f\n", i + 1, worst, worstCpu, msSince(t0) / 1000.0);
        std::fflush(stdout);
        clock.advanceMs(2000);  // the next series in another second: another file
    }

    qint64 bytes = 0;
    const QStringList all = QDir(recDir).entryList(QDir::Files);
    for (const QString& n : all)
        bytes += QFileInfo(recDir + QLatin1Char('/') + n).size();
    const double mb = bytes / 1e6;
    auto t0 = Steady::now();
    QByteArray buf(1 << 20, Qt::Uninitialized);
    for (const QString& n : all) {
        QFile f(recDir + QLatin1Char('/') + n);
        if (f.open(QIODevice::ReadOnly))
            while (f.read(buf.data(), buf.size()) > 0) {}
    }
    const double readMs = msSince(t0);
    t0 = Steady::now();
    for (const QString& n : all)
        digestFile(recDir + QLatin1Char('/') + n);
    const double hashMs = msSince(t0);
    t0 = Steady::now();
    const DirectoryVerdict v = verifyDirectory(recDir);
    const double verifyMs = msSince(t0);
    std::printf("verify of %.0f MB (%d files): %.0f MB/s (%s); reading alone %.0f MB/s, SHA-256 alone %.0f MB/s\n", mb,
                int(v.files.size()), mb / (verifyMs / 1000.0), v.allGood() ? "all OK" : "NOT all OK",
                mb / (readMs / 1000.0), mb / (hashMs / 1000.0));
    return v.allGood() ? 0 : 1;
}
