#pragma once
// What a remote viewer may know about the station: the device state after
// each poll tick, the slow levels of the last ten minutes, the record files
// of this run, the statistics of both streams and a few counters. The
// application feeds it; the web server and the MQTT publisher only read it
// and follow its signals. Nothing here can change the meter or the recording.

#include "protocol/DeviceCodes.h"
#include "recording/EventRecorder.h"
#include "recording/EvidenceFiles.h"
#include "remote/StationTime.h"
#include "statistics/IntervalResult.h"

#include <QByteArray>
#include <QJsonObject>
#include <QObject>
#include <QString>
#include <deque>
#include <map>
#include <optional>
#include <vector>

namespace kestro {

class StatisticsRecorder;

// One slow level: handed off to the record file, or read from the device
// state while nothing is recorded.
struct StationSample {
    int64_t utcMs = 0;    // instant, ms since 1970
    int64_t localMs = 0;  // local time (absoluteMilliseconds)
    int16_t tenths = 0;
    int16_t flags = 0;  // 4 overflow, 1 underflow
    bool recorded = false;
};

struct StationFile {
    QString name;  // file name without the directory
    bool fast = false;
    double startDays = 0.0;  // local day count of the first sample
    double durationDays = 0.0;
};

struct RecordCounters {
    uint64_t slowSamples = 0;  // handed to the record files
    uint64_t fastSamples = 0;
    uint64_t recordErrors = 0;      // record-file writes that failed
    uint64_t sideFilesClosing = 0;  // ended series whose side file is not closed yet
};

// The device state as shown remotely; empty optionals are unknown (null in JSON).
struct StationState {
    bool online = false;
    std::optional<QString> serial;
    std::optional<int> function;  // 0..5
    std::optional<int> range;     // 1..3
    bool autoRange = false;
    std::optional<int> battery;  // 1..3
    std::optional<int> levelTenths;
    std::optional<bool> overflow;
    std::optional<bool> underflow;
    bool recording = false;
    bool operator==(const StationState& o) const;
    bool operator!=(const StationState& o) const { return !(*this == o); }
};

StationState stationStateOf(const KestroStateRecord& s, bool recording);
// "Initialisation", "Lp", "LEQ", "MAX", "CAL", "Service"; empty outside 0..5.
QString functionName(int function);

class StationMonitor : public QObject {
    Q_OBJECT
public:
    static constexpr int64_t kHistoryMs = 10 * 60 * 1000;
    static constexpr size_t kHistoryMax = 20000;  // slow levels every 30 ms at most
    static constexpr size_t kKeptResults = 500;   // completed intervals per stream
    // Change notices for views are rate limited: statistics once a second,
    // file durations every few seconds.
    static constexpr int64_t kStatisticsNoticeMs = 1000;
    static constexpr int64_t kFilesNoticeMs = 5000;

    explicit StationMonitor(QObject* parent = nullptr);

    // ---- fed by the application ----
    // After every poll tick. samplesArriving: slow samples are being handed
    // off (the recorder reports them); otherwise each new level of the device
    // state counts as a sample.
    void update(const KestroStateRecord& s, bool recording, bool samplesArriving, const ClockReading& now);
    void addRecordedSample(const MeasurementRecord& r);
    // index: 1-based position in this run's list of record files.
    void updateFile(int index, const StationFile& f);
    void setCounters(const RecordCounters& c) { counters_ = c; }
    void setStatisticsSources(const StatisticsRecorder* slow, const StatisticsRecorder* fast);
    void addResult(bool fast, const IntervalResult& r);
    // An exceedance started or ended; what the events are watched on (empty: nothing recorded).
    void addEvent(const EventNotice& n);
    void setEventDetection(const QString& text);
    // The evidence chain's head: the side file closed last (EvidenceFiles.h).
    void setChainHead(const ChainHead& head) { chainHead_ = head; }
    // A daily report's JSON (DailyReport.h), written at utcMs; the newest 31 days are kept.
    void addDailyReport(const QByteArray& json, int64_t utcMs);
    // The days' JSONs, newest day first.
    QByteArray daysJson() const;
    // The newest calibration reading, given again and again: only a new one counts.
    void addCalibration(const CalibrationCheck& c);

    // ---- read by the server and the publisher ----
    const StationState& state() const { return state_; }
    const UtcOffsets& offsets() const { return offsets_; }
    const std::deque<StationSample>& history() const { return history_; }
    const RecordCounters& counters() const { return counters_; }
    // Last serial number the meter reported (eight digits), empty before the first.
    QString lastSerial() const { return lastSerial_; }

    QJsonObject stateObject() const;
    QJsonObject sampleObject(const StationSample& s) const;
    QJsonObject resultObject(bool fast, const IntervalResult& r) const;
    bool eventRunning() const { return running_.has_value(); }
    int64_t eventsTotal() const { return eventsTotal_; }
    QByteArray stateJson() const;
    QByteArray historyJson() const;
    QByteArray filesJson() const;
    // maxCompleted: the newest completed intervals per stream.
    QByteArray statisticsJson(size_t maxCompleted = kKeptResults) const;
    QByteArray metricsText() const;
    // {"side_file", "sha256", "record_file"} of the chain's head, all null while none is known.
    QByteArray chainJson() const;

signals:
    void stateChanged();
    void sampleAdded(const kestro::StationSample& s);
    void filesChanged();
    void statisticsChanged();
    // A completed interval (not the series summary) of either stream.
    void intervalCompleted(bool fast, const kestro::IntervalResult& r);
    void serialKnown(const QString& serial);
    // An exceedance started or ended: its eventJson().
    void exceedance(const QByteArray& json);

private:
    void addSample(const StationSample& s);
    QJsonObject streamObject(bool fast, size_t maxCompleted) const;

    StationState state_;
    UtcOffsets offsets_;
    std::deque<StationSample> history_;
    std::vector<StationFile> files_;
    RecordCounters counters_;
    ChainHead chainHead_;
    std::map<QString, QJsonObject> days_;  // by date
    int64_t lastDailyReportUtcMs_ = -1;
    std::optional<CalibrationCheck> lastCalibration_;
    std::optional<double> calibrationDrift_;  // first reading of the last check minus the last of the one before
    const StatisticsRecorder* sources_[2] = {nullptr, nullptr};
    std::deque<IntervalResult> completed_[2];
    std::optional<IntervalResult> lastInterval_[2];
    QString lastSerial_;
    std::optional<EventNotice> running_;
    std::optional<EventNotice> lastEvent_;
    int64_t eventsTotal_ = 0;
    QString eventDetection_;
    std::optional<int> lastStateLevel_;  // level of the last sample taken from the state
    bool filesDirty_ = false;
    int64_t filesNoticeMs_ = 0;
    uint64_t statisticsRevision_ = 0;
    bool statisticsDirty_ = false;
    int64_t statisticsNoticeMs_ = 0;
};

}  // namespace kestro

Q_DECLARE_METATYPE(kestro::StationSample)
