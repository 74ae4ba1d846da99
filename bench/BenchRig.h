// What the recording benchmarks share: a recorder on a manual clock in a
// temporary folder, and the figures they print.

#pragma once

#include "protocol/ProtocolState.h"
#include "recording/SeriesRecorder.h"
#include "shell/EventLog.h"
#include "support/ManualClock.h"

#include <QDir>
#include <QTemporaryDir>

#include <unistd.h>
#include <algorithm>
#include <fstream>
#include <string>
#include <vector>

namespace kestro::bench {

inline long rssKiB() {
    std::ifstream f("/proc/self/statm");
    long pages = 0, resident = 0;
    f >> pages >> resident;
    return resident * (sysconf(_SC_PAGESIZE) / 1024);
}

inline double percentile(std::vector<double> v, double p) {
    if (v.empty()) return 0.0;
    std::sort(v.begin(), v.end());
    return v[std::min(v.size() - 1, size_t(p * double(v.size())))];
}

// KESTRO_BENCH_DIR, else the given fallback (a real disk unless told otherwise).
inline QString benchDir(const QString& fallback = QDir::currentPath()) {
    return qEnvironmentVariableIsSet("KESTRO_BENCH_DIR") ? qEnvironmentVariable("KESTRO_BENCH_DIR") : fallback;
}

// One series of 80 fast values and 1 slow level per second; `recDir` is where
// its files go, the spool lies beside it.
struct RecorderRig {
    explicit RecorderRig(const QString& base, const QString& name, bool ownFolder = true)
        : tmp(base + QStringLiteral("/kestro-") + name + QStringLiteral("-XXXXXX")),
          recDir(ownFolder ? tmp.path() + QStringLiteral("/rec") : tmp.path()),
          log(tmp.path(), clock),
          settings(settingsFor(recDir)),
          ps(clock, log.errorSink()),
          rec(ps.device(), settings, clock, log) {
        QDir().mkpath(recDir);
        rec.setStateDirectory(tmp.path() + QStringLiteral("/data"));
        moduleOf(ps).KestroState.DevFunction = moduleOf(ps).KestroState.DevVariant = 1;
    }
    static RecorderSettings settingsFor(const QString& recDir) {
        RecorderSettings s;
        s.RecordDirectory = recDir;
        return s;
    }
    void arm() {
        ps.setRecordState(1);
        ps.setBufferRestart(3);
    }
    static std::string fastBurst() {
        std::string burst;
        for (int i = 0; i < 8; ++i)
            burst += "p 3F8000000\r";
        return burst;
    }

    QTemporaryDir tmp;
    QString recDir;
    ManualClock clock;
    EventLog log;
    RecorderSettings settings;
    ProtocolState ps;
    SeriesRecorder rec;
};

}  // namespace kestro::bench
