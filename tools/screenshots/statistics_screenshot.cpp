// Pictures of the statistics window for the README, made on demand by
// scripts/statistics-screenshots.sh (never by a test):
//   statistics_screenshot RECORD_FILE OUT_FILE_PAGE.png OUT_LIVE_PAGE.png
#include "statistics/StatisticsRecorder.h"
#include "ui/statistics/StatisticsViews.h"
#include "ui/statistics/StatisticsWindow.h"

#include <QApplication>
#include <QSignalSpy>
#include <QTabWidget>
#include <cmath>
#include <cstdio>

using namespace kestro;

int main(int argc, char** argv) {
    if (argc < 4) {
        std::fprintf(stderr, "usage: %s RECORD_FILE FILE_PAGE.png LIVE_PAGE.png\n", argv[0]);
        return 1;
    }
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);

    StatisticsWindow w;
    StatisticsConfig cfg;
    cfg.intervalSeconds = 900;
    cfg.limitTenths = 650;
    w.setFileConfig(cfg);
    w.resize(1000, 720);
    w.show();
    QSignalSpy loaded(&w, &StatisticsWindow::fileLoaded);
    w.openRecordFile(QString::fromLocal8Bit(argv[1]));
    if (!loaded.wait(60000) || !loaded.first().at(0).toBool() || !w.analysis()) return 2;
    const int64_t start = w.analysis()->history.startMs();
    w.history->setTimeRange(start, start + 6 * 3600000);
    QSignalSpy spanned(&w, &StatisticsWindow::spanComputed);
    w.selectSpan(start + 2 * 3600000, start + 3 * 3600000);
    spanned.wait(20000);
    w.showFilePage();
    QApplication::processEvents();
    if (!w.grab().save(QString::fromLocal8Bit(argv[2]))) return 3;

    // The live page: a slow LEQ series of 50 minutes with 5-minute intervals.
    StatisticsRecorder slow(StatisticsRecorder::Stream::Slow, {});
    StatisticsConfig live = cfg;
    live.intervalSeconds = 300;
    slow.setConfig(live);
    slow.startSeries(QStringLiteral("/home/user/NoiseData_LEQ_20260305_140327.dat"), QStringLiteral("LEQ"));
    const int64_t t0 = int64_t{dayNumber(2026, 3, 5)} * 86400000 + (14 * 3600 + 3 * 60 + 27) * 1000 + 250;
    for (int i = 0; i < 3000; ++i) {
        MeasurementRecord r;
        r.Flags = kFlagLeq;
        r.SysTime = systemTimeFromAbsoluteMs(t0 + int64_t{i} * 1000);
        r.Level = int16_t(std::lround(600 + 60 * std::sin(i / 400.0) + 25 * std::sin(i / 13.0) + (i % 11) * 3));
        slow.addSample(r);
    }
    w.setLiveSource(&slow, nullptr);
    w.showLivePage();
    QApplication::processEvents();
    return w.grab().save(QString::fromLocal8Bit(argv[3])) ? 0 : 3;
}
