#pragma once
// The nine recorder settings held in memory by the main window.

#include "protocol/Types.h"

#include <QString>
#include <QVariant>

namespace kestro {

class cRegistry;

inline constexpr const char* kRecorderSection = "SOFTWARE\\ORVIA Messtechnik GmbH\\R270_Kestro\\KestroRecorder";
inline constexpr const char* kDeviceSection = "SOFTWARE\\ORVIA Messtechnik GmbH\\R270_Kestro\\Device1";

struct RecorderSettings {
    QString RecordDirectory;
    QString RecordNameBase = QStringLiteral("NoiseData");
    QString RecordFileExtension = QStringLiteral(".dat");
    bool IncludeHeaderLine = false;
    bool IncludeSystemTime = true;
    bool IncludeOverflow = false;
    bool IncludeUnderflow = false;
    QChar DecimalSeparator = QLatin1Char(',');
    QChar TabularSeparator = QLatin1Char(';');
    // Statistics: interval length in seconds (60, 300, 600, 900, 1800, 3600)
    // and the limit of the interval Leq in tenths of a decibel, 0 = none.
    int32_t StatisticsInterval = 900;
    int32_t LimitLevel = 0;

    // Loads the nine values; result kTrue (-1) when all were present, 1 when a default was used.
    // A base name or extension that would leave the record directory (a hand
    // edit of the store) is replaced by its default and logged. The statistics
    // values are loaded too, but a missing one is no reason for the setup dialog.
    int16_t InitForm(cRegistry& RegObj, const QString& defaultDirectory, const ErrorLogFn& log = {});
};

// Why text cannot be part of a record file name ("/", "..", a control
// character), or an empty string when it can.
QString FileNamePartProblem(const QString& text);

// Logged when a stored base name or extension had to be replaced.
constexpr int32_t kErrBadStoredName = 52;

// The program's per-user data directory ($XDG_DATA_HOME/KestroRecorder), created
// when missing.
QString DefaultDataDirectory();
// The record directory when none is stored: KestroRecorder in the user's documents
// directory, or the data directory when there is none.
QString DefaultRecordDirectory();
// Creates dir when it is the default record directory (a directory the user
// chose is theirs to create). True when it was created or is there.
bool MakeDefaultRecordDirectory(const QString& dir);

}  // namespace kestro
