#pragma once
// Record file names and record lines. Pure functions: the settings are passed
// in, so every line is formed with the settings of the moment it is written.

#include "protocol/Types.h"
#include "settings/RecorderSettings.h"

#include <QByteArray>
#include <QString>

namespace kestro {

// Error numbers of the record path, as logged after ": frmKestroRecord.Timer1.Error: ".
constexpr int32_t kErrInvalidCall = 5;    // logarithm of a value that has none (0, negative, NaN)
constexpr int32_t kErrBadFileName = 52;   // empty or over-long record file name
constexpr int32_t kErrDeviceIO = 57;      // I/O error of the medium
constexpr int32_t kErrDiskFull = 61;      // no space left (also quota, file too large)
constexpr int32_t kErrTooManyFiles = 67;  // out of file descriptors
constexpr int32_t kErrPathAccess = 75;    // access denied, read-only, a directory in the way, ...
constexpr int32_t kErrPathNotFound = 76;  // the directory (or a parent) does not exist
// kErrOverflow (6, Types.h): a fast level whose hundredths leave the 16-bit range.

// Type word of a series from the Flags of its first sample.
QString SlowTypeWord(int16_t flags);
QString FastTypeWord(int16_t flags);

// Directory, "/", base, "_", type word, "_", YYYYMMDD, "_", hhmmss, extension.
// A directory that already ends in "/" gets no second one.
QString RecordFilePath(const RecorderSettings& s, const QString& typeWord, const SystemTime& now);

// The header line with CR LF, in Latin-1.
QByteArray HeaderLine(const RecorderSettings& s);

// Appends one slow record line with CR LF.
void AppendSlowLine(QByteArray& out, const RecorderSettings& s, const MeasurementRecord& r);

// Level of a fast sample in hundredths of a decibel: 2000 (RAW) or 1000 times
// log10(FastLevel), rounded half to even. Returns 0, kErrInvalidCall or kErrOverflow.
int32_t FastHundredths(const MeasurementRecord& r, int16_t* v);

// Appends one fast record line with CR LF. When the value cannot be formed the
// line is still written with an empty value column, and the error number is returned.
int32_t AppendFastLine(QByteArray& out, const RecorderSettings& s, const MeasurementRecord& r);

}  // namespace kestro
