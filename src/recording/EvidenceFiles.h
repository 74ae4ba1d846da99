#pragma once
// The evidence beside the record files: one side file per series
// (<record name without extension>_INFO.json) and the calibration log of the
// record directory; how they are named, read and checked.
//
// The side files of a directory form a chain in the order they were closed:
// a closed side file holds the SHA-256 of its record, statistics and events
// files (of their first *_bytes bytes, the size they had when the series was
// closed; no events file named: there was none), of the calibration log as
// it was then, and of the side file closed before it in the same directory.
// A closed side file is never written again, so editing, shortening,
// extending or removing any file that a closed side file or a later link
// vouches for shows; so does a file that appears beside a closed series.

#include "core/Types.h"
#include "shell/DurableFile.h"
#include "statistics/ReportEvidence.h"
#include "statistics/StatisticsFile.h"

#include <QByteArray>
#include <QJsonObject>
#include <QString>

#include <cstdint>
#include <optional>
#include <vector>

namespace kestro {

// n = 1: "<record name without extension>_INFO.json"; n > 1: "..._INFO_<n>.json"
// (a later series appending to the same record file, started within the same second).
QString sideFilePath(const QString& recordPath, int n = 1);
// <base>_<LP|LEQ|MAX|LPF|LEQF|RAW|UnknownType>_<YYYYMMDD>_<hhmmss><extension>.
bool isRecordFileName(const QString& name);
// "calibration.csv" in the record directory.
QString calibrationLogPath(const QString& recordDirectory);

// The local time (ms since 1899-12-30) and the instant (UTC ms since 1970) of
// an isoTime() text (statistics/StatisticsFile.h).
bool parseIsoTime(const QString& text, int64_t* localMs, int64_t* utcMs);

struct FileDigest {
    qint64 bytes = 0;   // hashed; the file's size when all was asked for
    QByteArray sha256;  // lower-case hex
};
// SHA-256 of the first `bytes` bytes of a file, or of all of it (-1); none
// when the file cannot be read or is shorter than asked.
std::optional<FileDigest> digestFile(const QString& path, qint64 bytes = -1);

// One line of the calibration log: Time;Level;SerialNumber;Key with CR LF.
QByteArray calibrationLogHeader();
QByteArray calibrationLogLine(const CalibrationCheck& c, const QString& time, const QString& key);
struct LoggedCalibration {
    CalibrationCheck check;
    int64_t utcMs = 0;
    QString time;  // as logged
    QString key;
    qint64 endOffset = 0;  // just after its line end in the log
};
// The readings of a calibration log, oldest first; lines that do not parse are skipped.
std::vector<LoggedCalibration> readCalibrationLog(const QString& path);
// Readings further apart than this belong to two stays in Calibration (two checks).
constexpr int64_t kCalibrationStayGapMs = kCalibrationCheckGapMs;
// The readings of the last stay that ended before utcMs, or of the first that began after it.
std::vector<LoggedCalibration> lastStayBefore(const std::vector<LoggedCalibration>& log, int64_t utcMs);
std::vector<LoggedCalibration> firstStayAfter(const std::vector<LoggedCalibration>& log, int64_t utcMs);

// A side file as read back.
struct SideFile {
    QString path;
    QString name;
    QByteArray sha256;  // of the side file's bytes
    QByteArray bytes;
    QJsonObject doc;
    bool parsed = false;
    bool closed() const;
    QString recordFile() const;  // the record file's name
};
// Every side file of a directory, by name.
std::vector<SideFile> readSideFiles(const QString& dir);

// The end of a directory's chain: the newest closed side file that no other
// closed side file names as its previous one.
struct ChainHead {
    QString sideFile;
    QByteArray sha256;
    QString recordFile;
    QString directory;  // where it lies, when known
};
ChainHead findChainHead(const std::vector<SideFile>& sides);

// Where a head published earlier stands in a directory's chain now: found, and
// how many side files the chain went on with since (walking back from the head).
struct ChainLink {
    bool found = false;    // a closed side file with that hash is here
    bool onChain = false;  // the chain from today's head leads back to it
    int after = 0;         // side files closed after it on the chain
    QString sideFile;
};
ChainLink findChainLink(const QString& dir, const QByteArray& sha256);

enum class Verdict { Ok, NotClosed, Changed, Missing };
// "OK", "NOT CLOSED", "CHANGED", "MISSING".
QString verdictText(Verdict v);

struct FileVerdict {
    QString recordFile;  // name (or the calibration log's)
    Verdict verdict = Verdict::Ok;
    QString detail;
    // With a key, of its closed side files: "SIGNED BY THE STATION", "NOT SIGNED" or "BAD SIGNATURE".
    QString signature;
};
struct DirectoryVerdict {
    bool readable = false;
    std::vector<FileVerdict> files;  // by record file name
    QString headSideFile;            // the newest closed side file, which nothing vouches for yet
    QByteArray headSha256;
    bool allGood() const;  // every file OK or NOT CLOSED
};
// Checks every record file of dir, and the calibration log, against the side
// files and the chain; with onlyRecord, that record file alone (its side
// file's link is still checked). A link is judged by content: a side file that
// names a previous one it does not match, made by another station, is the one
// that does not belong; a second side file starting a chain is named.
// With stationKey (the raw public key), every closed side file's signature is
// checked: a bad one is CHANGED, and so is an unsigned one closed after a
// signed one; a directory from before signatures is NOT SIGNED throughout.
// With timeStampCa (a file of certificates), every time stamp beside a closed
// side file is checked against it: a bad one is CHANGED.
DirectoryVerdict verifyDirectory(const QString& dir, const QString& onlyRecord = QString(),
                                 const QByteArray& stationKey = QByteArray(), const QString& timeStampCa = QString());

// What a report says about a record file: from its side files, the
// calibration log of its directory where they hold no checks, and the
// verification of the file.
ReportEvidence reportEvidenceFor(const QString& recordPath);
// The zone a record file was recorded in and the UTC offset at its start, as
// its first side file says (empty when none does); without hashing anything.
void seriesZone(const QString& recordPath, QString* zone, QString* utcOffsetAtStart);

// Field names of the side file shared by the writer and the readers.
namespace side {
inline constexpr const char* kState = "state";
inline constexpr const char* kOpen = "open";
inline constexpr const char* kClosed = "closed";
inline constexpr const char* kRecordFile = "record_file";
inline constexpr const char* kStatisticsFile = "statistics_file";
inline constexpr const char* kStart = "start";
inline constexpr const char* kEnd = "end";
inline constexpr const char* kClosedAt = "closed_at";
inline constexpr const char* kRecordBytes = "record_bytes";
inline constexpr const char* kRecordSha = "record_sha256";
inline constexpr const char* kStatisticsBytes = "statistics_bytes";
inline constexpr const char* kStatisticsSha = "statistics_sha256";
inline constexpr const char* kEventsFile = "events_file";
inline constexpr const char* kEventsBytes = "events_bytes";
inline constexpr const char* kEventsSha = "events_sha256";
inline constexpr const char* kPrevious = "previous";
inline constexpr const char* kPreviousSideFile = "side_file";
inline constexpr const char* kPreviousSha = "sha256";
inline constexpr const char* kCalibrationLog = "calibration_log";
inline constexpr const char* kCalibrationLogBytes = "calibration_log_bytes";
inline constexpr const char* kCalibrationLogSha = "calibration_log_sha256";
inline constexpr const char* kStationKey = "station_key";
inline constexpr const char* kCalibrationBefore = "calibration_before";
inline constexpr const char* kCalibrationAfter = "calibration_after";
inline constexpr const char* kUtcOffsetAtStart = "utc_offset_at_start";
inline constexpr const char* kEventCriteria = "event_criteria";
// Earlier parts of the series, gone with their folder: their record file and side file names.
inline constexpr const char* kPartsBefore = "parts_before";
inline constexpr const char* kNotClosedBefore = "not_closed_before";
}  // namespace side

}  // namespace kestro
