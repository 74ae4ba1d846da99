#pragma once
// Writes the evidence of the series being recorded: the side file beside each
// record file, the calibration log, and the chain of closed side files
// (EvidenceFiles.h).
//
// When the side file is written:
//  - at the start of a series, in state "open": meter, program, time zone,
//    the settings that shape the record lines, the measurement details and
//    the readings of the last calibration check before it;
//  - again while it is open, when calibration readings arrive (they are the
//    checks after it) or the line settings change;
//  - once more, closed, when the series has ended AND the record writer holds
//    nothing for its record file and statistics file (lines that waited for a
//    failed medium are written first). Both files are then hashed as they are
//    (in the background: a week of fast values takes seconds), the hash of
//    the side file closed before it in the directory is added, the station
//    signs it (StationKey.h), and the side file is written for the last time.
// Side files are written whole under a temporary name and renamed. A series
// whose lines had to be rescued at exit, or that a crash or power cut ended,
// keeps its open side file: --verify calls it NOT CLOSED.

#include "protocol/SampleSink.h"
#include "recording/EvidenceFiles.h"
#include "recording/RecordWriter.h"
#include "recording/StationKey.h"
#include "settings/RecorderSettings.h"

#include <QJsonArray>
#include <QJsonObject>
#include <QString>
#include <QStringList>

#include <sys/types.h>

#include <array>
#include <deque>
#include <functional>
#include <future>
#include <map>
#include <memory>
#include <utility>

namespace kestro {

class EvidenceTrail {
public:
    // held: bytes the record writer still holds for a file. append: writes
    // calibration log lines the way record lines are written.
    using HeldFn = std::function<qint64(const QString& path)>;
    using AppendFn = std::function<void(const QString& path, const QByteArray& bytes)>;
    // Readings kept of one check in a side file: the last ones before a series, the first ones after.
    static constexpr int kMaxReadings = 60;

    // device: the meter as the session keeps it (its identity goes into the
    // side files; a stay in Calibration ends when it leaves that function).
    EvidenceTrail(const KestroStateRecord& device, const RecorderSettings& s, const Clock& clock, HeldFn held,
                  AppendFn append);
    ~EvidenceTrail();

    // stream: 0 slow, 1 fast. first: the series' first sample.
    void startSeries(int stream, const QString& recordPath, const QString& typeWord, const MeasurementRecord& first);
    void sampleWritten(int stream, const MeasurementRecord& r);
    void endSeries(int stream);
    // The record file can be written again after a failure: its open side
    // file is written again at once (the folder may be a new one); begun
    // again (restarted), it also names the part that went with the old folder.
    void fileBack(const QString& recordPath, bool restarted);
    // The record, statistics and events file of the series one of whose files
    // is path; false when no series still open or closing has it.
    struct Files {
        QString record, stat, events;
        bool ended = false;  // the series is no longer recorded
    };
    bool filesOf(const QString& path, Files* out) const;
    // The series' waiting lines go to toDir (the record directory chosen anew):
    // its files and side file are those of that directory from now on, and
    // once its file is begun there the side file names the part left behind.
    void moveSeries(const QString& recordPath, const QString& toDir);
    // Every poll tick, before tick: the calibration readings that arrived
    // (calibration log, the open side files' checks, lastCheck).
    void takeCalibration(const std::vector<CalibrationReading>& readings);
    // Every poll tick: changed line settings, side files to (re)write or close.
    void tick();
    // At exit, after the writer's rescue: closes what is complete (waiting for
    // its hashes); the rest stays open and says where its lines went. A side
    // file that cannot be written goes into rescueDir. Returns event-log texts.
    QStringList finish(const std::vector<RecordWriter::Rescued>& rescued, const QString& rescueDir);

    // Signs the side files closed from now on; none: they are closed unsigned.
    void setStationKey(std::shared_ptr<const StationKey> key) { key_ = std::move(key); }
    const StationKey* stationKey() const { return key_.get(); }
    // After every side file closed, and once per record directory for the head found there: the chain's head, for
    // publishing.
    std::function<void(const ChainHead&)> onChainHead;

    // The newest calibration reading known (this run, or the log of the record directory).
    bool hasLastCheck() const { return hasLastCheck_; }
    const CalibrationCheck& lastCheck() const { return lastCheck_; }
    std::function<void(const CalibrationCheck&)> onCalibration;
    // A daily report of dir ("reports/<date>_<serial>.json"): the next side
    // file of dir that closes vouches for it (DailyReports.h).
    void addDailyReport(const QString& dir, const QString& name, const QByteArray& sha256);
    // Series ended whose side file is not closed yet: while any waits, the
    // head of its directory's chain stands still. Each directory's chain is
    // closed in its own order; one stuck in a folder that went holds up no
    // other directory, and a later series of its own directory closes past it
    // once its record file is gone for good (the later side file names it in
    // "not_closed_before", and the event log says so).
    size_t closingCount() const { return closing_.size(); }
    // Event-log texts of series given up since the last call.
    QStringList takeGivenUp() { return std::exchange(givenUpTexts_, QStringList()); }

private:
    struct Series;
    void loadLog(const QString& dir);
    bool writeOpen(Series& s);
    bool closeNext(bool wait);
    bool closeOne(Series& s, bool wait);
    // The series can never be closed: its record file went with its folder and no line waits for it.
    bool lost(const Series& s) const;
    void announceHead();
    // The record-line settings as listed, made anew only when they changed since
    // the last call (it runs every tick); linesGeneration_ counts the changes.
    const QJsonObject& lineSettings();
    bool sidePathInUse(const QString& path) const;

    const KestroStateRecord& device_;
    const RecorderSettings& s_;
    RecorderSettings linesOf_;  // the settings lines_ was made of
    QJsonObject lines_;
    uint64_t linesGeneration_ = 0;
    const Clock& clock_;
    HeldFn held_;
    AppendFn append_;
    std::array<std::unique_ptr<Series>, 2> current_;
    std::deque<std::unique_ptr<Series>> closing_;          // in the order they ended: the chain's order
    std::map<QString, ChainHead> heads_;                   // per directory, once read
    std::map<QString, std::pair<dev_t, ino_t>> headDirs_;  // which folder each head was of
    QStringList givenUpTexts_;
    std::future<std::pair<QString, ChainHead>> headRead_;
    QStringList headAnnounced_;  // directories whose head was read at the start
    QJsonArray lastStay_;        // readings of the last stay in Calibration, up to kMaxReadings
    bool inStay_ = false;
    QStringList logsRead_;
    QString logDir_;  // the record directory whose log was last looked at
    std::shared_ptr<const StationKey> key_;
    std::map<QString, QJsonArray> dailyReports_;  // per directory, waiting for a side file to close
    bool hasLastCheck_ = false;
    CalibrationCheck lastCheck_;
};

}  // namespace kestro
