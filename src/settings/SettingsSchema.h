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

// The recorder's values, one row each, in the order they are loaded: name
// (the stored name, the field of RecorderSettings and the object name of its
// Setup widget), kind, default (a text for the text kinds; nullptr: none, or
// the machine's), limits (Range: min, max; Choice: the choices), flags, and
// where a series' side file lists it (object, name; nullptr: not listed).
// A row here is the value's whole declaration: loading, storing, the side
// file and the Setup dialog's binding follow it.
#define KESTRO_RECORDER_SETTINGS(X)                                                                                   \
    X(RecordDirectory, Text, nullptr, (), kOpensSetup | kInSetup, nullptr, nullptr)                                   \
    X(RecordNameBase, FileNamePart, "NoiseData", (), kOpensSetup | kInSetup, nullptr, nullptr)                        \
    X(RecordFileExtension, FileNamePart, ".dat", (), kOpensSetup | kInSetup, nullptr, nullptr)                        \
    X(IncludeHeaderLine, Flag, 0, (), kOpensSetup | kInSetup, "record_lines", "header_line")                          \
    X(IncludeSystemTime, Flag, 1, (), kOpensSetup | kInSetup, "record_lines", "time_column")                          \
    X(IncludeOverflow, Flag, 0, (), kOpensSetup | kInSetup, "record_lines", "overflow_column")                        \
    X(IncludeUnderflow, Flag, 0, (), kOpensSetup | kInSetup, "record_lines", "underflow_column")                      \
    X(DecimalSeparator, Separator, ',', (), kOpensSetup | kInSetup, "record_lines", "decimal_separator")              \
    X(TabularSeparator, Separator, ';', (), kOpensSetup | kInSetup, "record_lines", "column_separator")               \
    /* Added after the nine: stores from before them must not open the setup dialog. */                               \
    X(StatisticsInterval, Choice, 900, (10, 30, 60, 300, 600, 900, 1800, 3600), kInSetup, "statistics", "interval_s") \
    X(LimitLevel, Range, 0, (0, 2000), kInSetup | kTenths | kZeroIsNone, "statistics", "limit_db")                    \
    /* Hours of the clock at which the day, evening and night periods of the day levels begin. */                     \
    X(DayStartHour, Range, 7, (0, 23), 0, nullptr, nullptr)                                                           \
    X(EveningStartHour, Range, 19, (0, 23), 0, nullptr, nullptr)                                                      \
    X(NightStartHour, Range, 23, (0, 23), 0, nullptr, nullptr)                                                        \
    /* Measurement details, written into the side file of every series. */                                            \
    X(MeasurementLocation, Text, "", (), kInSetup, "measurement", "location")                                         \
    X(MeasurementOperator, Text, "", (), kInSetup, "measurement", "operator")                                         \
    X(MeasurementWeather, Text, "", (), kInSetup, "measurement", "weather")                                           \
    X(MeasurementNotes, Text, "", (), kInSetup, "measurement", "notes")                                               \
    X(MeasurementInstrument, Text, "", (), kInSetup, "measurement", "instrument")                                     \
    /* Noise events: the level an exceedance must pass (0 = none), how long it */                                     \
    /* must last (seconds), how far it must fall to end, and desktop notices. */                                      \
    X(EventLevel, Range, 800, (0, 2000), kInSetup | kTenths | kZeroIsNone, "event_criteria", "level_db")              \
    X(EventMinDuration, Range, 10, (0, 3600), kInSetup, "event_criteria", "min_duration_s")                           \
    X(EventHysteresis, Range, 20, (0, 200), kInSetup | kTenths, "event_criteria", "hysteresis_db")                    \
    X(EventNotifications, Flag, 1, (), kInSetup, nullptr, nullptr)                                                    \
    /* Of the windows: 0 the desktop's, 1 English, 2 German; applies at the next start. */                            \
    X(Language, Choice, 0, (0, 1, 2), kInSetup, nullptr, nullptr)                                                     \
    /* Of PDF reports, which go to clients: 0 the windows', 1 English, 2 German. */                                   \
    X(ReportLanguage, Choice, 0, (0, 1, 2), kInSetup, nullptr, nullptr)                                               \
    /* A report per assessment day when it ends. */                                                                   \
    X(DailyReports, Flag, 0, (), kInSetup, nullptr, nullptr)

// Row flags.
inline constexpr unsigned kOpensSetup = 1;  // missing or unusable: a reason for the setup dialog
inline constexpr unsigned kInSetup = 2;     // edited (and stored) by the setup dialog
inline constexpr unsigned kTenths = 4;      // tenths: shown and listed divided by ten (dB)
inline constexpr unsigned kZeroIsNone = 8;  // 0 stands for none: listed as null

enum class SettingId {
#define KESTRO_SETTING_ID(name, ...) name,
    KESTRO_RECORDER_SETTINGS(KESTRO_SETTING_ID)
#undef KESTRO_SETTING_ID
    // The device values: the port (setup proposes COM1; loading has no default,
    // a missing port opens Setup) and one device path per port (COM1Device..COM4Device).
    COMPort,
    COMnDevice,
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
    unsigned flags = 0;
    const char* sideObject = nullptr;  // where a series' side file lists it
    const char* sideName = nullptr;
    bool has(unsigned flag) const { return (flags & flag) != 0; }
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
