#pragma once
// The values the setup dialog edits, as one plain value: loaded from the
// store when the dialog opens and stored when it is confirmed. The dialog
// itself never touches the store.

#include <QString>

#include <array>
#include <cstdint>
#include <functional>
#include <optional>

namespace kestro {

class cRegistry;

struct SetupValues {
    QString recordDirectory;
    QString recordNameBase;  // as stored, even when unusable, so the dialog can say why
    QString recordFileExtension;
    bool includeHeaderLine = false;
    bool includeSystemTime = false;
    bool includeOverflow = false;
    bool includeUnderflow = false;
    int32_t decimalSeparator = 0;  // character codes
    int32_t tabularSeparator = 0;
    int statisticsInterval = 0;  // seconds
    qint64 limitLevel = 0;       // tenths of a decibel, 0: none
    // Noise events: level and hysteresis in tenths of a decibel (level 0: none), seconds.
    qint64 eventLevel = 0;
    qint64 eventMinDuration = 0;
    qint64 eventHysteresis = 0;
    bool eventNotifications = false;
    int language = 0;        // 0 the desktop's, 1 English, 2 German; applies at the next start
    int reportLanguage = 0;  // 0 the windows', 1 English, 2 German
    bool dailyReports = false;
    std::array<QString, 5> details;  // location, operator, weather, notes, instrument
    // The chosen port; on storing, 0 (no choice) leaves the stored one alone.
    qint64 comPort = 0;
    // Device paths of ports 1 to 4 to store; an empty optional leaves the
    // stored mapping alone (never loaded: the link knows the paths in use).
    std::array<std::optional<QString>, 5> comDevice{};
};

// The values the command line set for this run: shown, but not the dialog's to change.
struct SetupRunValues {
    bool recordDirectory = false;
    std::array<bool, 5> details{};
    bool comPort = false;
};

// What the setup dialog needs of the store.
struct SetupStore {
    SetupValues values;
    SetupRunValues forRun;
    QString file;  // the settings file, named when storing fails
    // Stores in a fixed order, the chosen port last; on failure the values
    // after the failing one are not stored and error says why.
    std::function<bool(const SetupValues&, QString* error)> store;
};

// The stored values, or the defaults loading falls back to; defaultDirectory
// stands in for a record directory never stored.
SetupValues loadSetupValues(cRegistry& reg, const QString& defaultDirectory, SetupRunValues* forRun = nullptr);
bool storeSetupValues(cRegistry& reg, const SetupValues& values, QString* error);
// Loads now and stores into reg later, which must outlive the result.
SetupStore setupStore(cRegistry& reg, const QString& defaultDirectory);

}  // namespace kestro
