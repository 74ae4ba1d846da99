#pragma once
// Daily reports of a running station: when an assessment day ends, and at
// the start for the days of the last 31 that have series and no report, a
// child "KestroRecorder --report-day DATE DIR" writes it (the report needs Qt
// Gui, which this process never loads), one child at a time, without holding
// up the poll cycle.

#include "core/Types.h"

#include <QObject>
#include <QProcess>
#include <QString>
#include <QTimer>
#include <deque>
#include <functional>
#include <future>
#include <memory>
#include <set>
#include <utility>
#include <vector>

namespace kestro {

class DailyReporter : public QObject {
    Q_OBJECT
public:
    struct Config {
        QString program;  // this program
        std::function<QString()> recordDir;
        std::function<int()> dayStartHour;
        std::function<QString()> serial;  // of the meter, empty while not known
        QString reportLanguage;           // --report-lang for the child; empty: the stored choice
    };
    // A report made: its JSON's path and SHA-256, and its day.
    struct Made {
        QString jsonPath;
        QByteArray sha256;
        int32_t day = 0;
    };

    // What the look at the record directory at the start found (off the event loop: a year of side files).
    struct Found {
        std::vector<int32_t> missing;
        std::vector<std::pair<QString, QByteArray>> unvouched;  // as unvouchedDailyReports gives them
        std::vector<std::pair<QByteArray, int64_t>> reports;    // the newest 31 JSONs and their UTC ms
    };

    DailyReporter(const Clock& clock, Config config, QObject* parent = nullptr);
    ~DailyReporter() override;

    // The missing days first, then a look at the clock every second.
    void start();
    // Whether the clock has entered a new assessment day; the days it left are queued.
    void check();
    std::function<void(const Made&)> onMade;
    std::function<void(const Found&)> onFound;
    std::function<void(const QString& text, bool failed)> onNotice;

private:
    void queue(int32_t day);
    void runNext();

    const Clock& clock_;
    Config config_;
    QTimer timer_;
    std::unique_ptr<QProcess> child_;
    std::future<Found> scan_;
    std::deque<int32_t> waiting_;
    int32_t running_ = 0;
    std::set<int32_t> queued_;  // this run: a day is made once, whatever the clock does
    bool seen_ = false;
    int32_t newestDay_ = 0;  // the assessment day the clock showed last
};

}  // namespace kestro
