#pragma once
// Record file names and record lines. Pure functions: the settings are passed
// in, so every line is formed with the settings of the moment it is written.

#include "core/Errors.h"
#include "protocol/DeviceCodes.h"
#include "settings/RecorderSettings.h"

#include <QByteArray>
#include <QString>

namespace kestro {

// Type word of a series from the Flags of its first sample.
QString slowTypeWord(int16_t flags);
QString fastTypeWord(int16_t flags);

// Directory, "/", base, "_", type word, "_", YYYYMMDD, "_", hhmmss, extension.
// A directory that already ends in "/" gets no second one.
QString recordFilePath(const RecorderSettings& s, const QString& typeWord, const SystemTime& first);

// The header line with CR LF, in Latin-1.
QByteArray headerLine(const RecorderSettings& s);

// Appends one slow record line with CR LF.
void appendSlowLine(QByteArray& out, const RecorderSettings& s, const MeasurementRecord& r);

// Level of a fast sample in hundredths of a decibel: 2000 (RAW) or 1000 times
// log10(FastLevel), rounded half to even. Returns 0, kErrInvalidCall or kErrOverflow.
int32_t fastHundredths(const MeasurementRecord& r, int16_t* v);

// Appends one fast record line with CR LF. When the value cannot be formed the
// line is still written with an empty value column, and the error number is returned.
int32_t appendFastLine(QByteArray& out, const RecorderSettings& s, const MeasurementRecord& r);

}  // namespace kestro
