#pragma once
// The values the program keeps in the settings store, one row each: section,
// name, stored type, default and what a usable stored value is. Loading, the
// setup dialog, the demo's private store and the README's tables follow it.

#include <QString>
#include <QVariant>

#include <cstdint>
#include <vector>

namespace kestro {

class cRegistry;

inline constexpr const char* kRecorderSection = "SOFTWARE\\ORVIA Messtechnik GmbH\\R270_Kestro\\KestroRecorder";
inline constexpr const char* kDeviceSection = "SOFTWARE\\ORVIA Messtechnik GmbH\\R270_Kestro\\Device1";

enum class SettingId {
    RecordDirectory,
    RecordNameBase,
    RecordFileExtension,
    IncludeHeaderLine,
    IncludeSystemTime,
    IncludeOverflow,
    IncludeUnderflow,
    DecimalSeparator,
    TabularSeparator,
    StatisticsInterval,
    LimitLevel,
    DayStartHour,
    EveningStartHour,
    NightStartHour,
    // Measurement details, written into the side file of every series.
    MeasurementLocation,
    MeasurementOperator,
    MeasurementWeather,
    MeasurementNotes,
    MeasurementInstrument,
    // Noise events: the level an exceedance must pass (tenths of a dB, 0 = none),
    // how long it must last, how far it must fall to end, and desktop notices.
    EventLevel,
    EventMinDuration,
    EventHysteresis,
    EventNotifications,
    Language,        // of the windows: 0 the desktop's, 1 English, 2 German
    ReportLanguage,  // of PDF reports: 0 the windows', 1 English, 2 German
    DailyReports,    // a report per assessment day when it ends
    COMPort,
    COMnDevice,  // one value per port: COM1Device..COM4Device
};

// What a stored value must be to be used.
enum class SettingKind {
    Text,          // any text
    FileNamePart,  // text that keeps a file name inside its directory
    Flag,          // a number: 0 off, anything else on
    Separator,     // a character code of the single-byte code page, 1..255
    Choice,        // one of the listed numbers
    Range,         // a number from min to max
    Port,          // a number; ports min..max exist
    DevicePath,    // text, empty for the default mapping
};

struct SettingDef {
    SettingId id;
    const char* section;
    const char* name;  // COMnDevice: "COM%1Device"
    SettingKind kind;
    int32_t storedType;            // REG_SZ_ or REG_DWORD_, as written
    int32_t defaultNumber;         // default of the number kinds
    const char* defaultText;       // default of the text kinds; nullptr: none, or the machine's
    std::vector<int32_t> choices;  // Choice
    int32_t min = 0;               // Range, Port
    int32_t max = 0;
    bool opensSetup = false;  // missing or unusable: a reason for the setup dialog
};

// Every row: the recorder values in the order they are loaded, then the device values.
const std::vector<SettingDef>& settingsSchema();
const SettingDef& setting(SettingId id);
// The value name of a row for port n (COMnDevice), or its name.
QString settingName(const SettingDef& def, int port = 0);
// The default as stored: the number, or the text (invalid when there is none).
QVariant settingDefault(const SettingDef& def);

// Why a stored value cannot be used for def, or an empty string when it can
// (a name part: "/", ".." or a control character would lead out of the record
// directory; a separator: not a single-byte character code).
QString settingProblem(const SettingDef& def, const QVariant& stored);
// A column separator that is also the decimal separator would split every
// number of a record line in two.
inline bool separatorsClash(int32_t decimalCode, int32_t tabularCode) { return decimalCode == tabularCode; }

enum class SettingRead { Absent, Unusable, Ok };
// Reads the value of def (port n for COMnDevice) from the current user's
// store: a text as QString, a number as qint64. Unusable leaves the stored
// value in *value and says why in *problem.
SettingRead readSetting(cRegistry& reg, const SettingDef& def, QVariant* value, QString* problem = nullptr,
                        int port = 0);
// Writes value with the row's stored type; a value set for this run (the
// command line) is left as it is. Throws RaisedError when it cannot be saved.
void writeSetting(cRegistry& reg, const SettingDef& def, const QVariant& value, int port = 0);
// Writes the default of every recorder value the store lacks (the directory:
// recordDirectory), so that a store starts complete.
void writeMissingRecorderDefaults(cRegistry& reg, const QString& recordDirectory);

}  // namespace kestro
