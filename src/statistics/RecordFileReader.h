#pragma once
// Reads the record files this program writes, under any of the separator and
// column settings (even when they changed while the file was written): the
// separators of each line are read from its shape. The date comes from the
// file name; a time of day that goes back by many hours means midnight passed.
// Lines without a time take instants spread by the stream's cadence (the
// median gap of the timed lines) from the known instant before them (a timed
// line, or the name's time), evenly up to the next timed line when that
// would be passed; a file without any time spreads its lines from the name's
// time to its last change.

#include <QString>
#include <QStringList>
#include <cstdint>
#include <functional>
#include <limits>

namespace kestro {

struct RecordFileName {
    bool valid = false;
    QString base;
    QString typeWord;
    QString extension;
    int64_t startMs = 0;  // local date and time of the name, ms since 1899-12-30
};

// <base>_<TYPE>_<YYYYMMDD>_<hhmmss><ext> of a path.
RecordFileName parseRecordFileName(const QString& path);
bool isFastTypeWord(const QString& typeWord);

struct RecordSample {
    int64_t localMs = 0;
    int32_t hundredths = 0;  // valid when valued
    int16_t levelFlags = 0;  // 4 overflow, 1 underflow
    bool valued = false;     // false: the line's value column is empty
    bool estimated = false;  // a line without a time: the instant is estimated
};

struct RecordReadOptions {
    // Resume at a line start found by an earlier read (byte offset), with the
    // local time of the sample before it; used to re-read a span quickly.
    int64_t startOffset = 0;
    int64_t previousMs = std::numeric_limits<int64_t>::min();
    // Stop at the first sample after this time.
    int64_t stopAfterMs = std::numeric_limits<int64_t>::max();
    // What the one flag column of a file without a header holds (4 overflow, 1 underflow).
    int16_t singleFlagColumn = 4;
    // Called after every block with bytes read and the file size; false cancels.
    std::function<bool(int64_t done, int64_t total)> progress;
};

struct RecordReadResult {
    enum class Status { Ok, Cancelled, Failed };
    Status status = Status::Ok;
    QString error;          // the file, the line and what is wrong with it
    int64_t errorLine = 0;  // 1-based
    QStringList notices;    // things read around (a torn last line, no time column, a flag column assumed)
    int64_t lines = 0;
    int64_t samples = 0;             // with a level
    int64_t skipped = 0;             // without one
    int64_t estimated = 0;           // samples of lines without a time
    int64_t cadenceMs = 1000;        // the median gap between samples
    int64_t coveredMs = 0;           // first sample to one cadence after the last; clock sets left out
    bool flagColumnAssumed = false;  // one flag column and no header: singleFlagColumn was assumed
    bool fast = false;               // levels with two decimals
    char decimalSeparator = ',';     // of the first level in the file
    bool hasTime = true;
    RecordFileName name;
    bool ok() const { return status == Status::Ok; }
};

// sample: every sample in file order with the byte offset of its line.
using RecordSampleFn = std::function<void(const RecordSample& s, int64_t lineOffset)>;

// Reading fails on a line longer than this (the longest record line is about
// 40 bytes): memory stays bounded whatever the file holds.
constexpr int64_t kMaxRecordLineBytes = 64 * 1024;

// Only regular files are read; a file without any record line fails.
RecordReadResult readRecordFile(const QString& path, const RecordSampleFn& sample,
                                const RecordReadOptions& options = RecordReadOptions());

}  // namespace kestro
