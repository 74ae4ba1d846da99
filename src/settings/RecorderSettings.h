#pragma once
// The nine recorder settings held in memory by the main window.

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
    // The statistics values are loaded too, but a missing one is no reason for the setup dialog.
    int16_t InitForm(cRegistry& RegObj, const QString& defaultDirectory);
};

// The default record and log directory: the executable's directory, or the
// per-user data directory when that is not writable.
QString DefaultDataDirectory();

}  // namespace kestro
