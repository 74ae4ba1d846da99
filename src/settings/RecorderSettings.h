#pragma once
// The settings as one value: a field per row of the settings table, named as
// stored. The setup dialog edits it, the application stores it and records with it.

#include "core/Types.h"
#include "settings/SettingsSchema.h"

#include <QChar>
#include <QString>
#include <QVariant>

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <type_traits>

namespace kestro {

class cRegistry;

// The field type of a kind: texts, flags, separator characters, numbers.
template <SettingKind K>
using SettingType = std::conditional_t<
    K == SettingKind::Text || K == SettingKind::FileNamePart, QString,
    std::conditional_t<K == SettingKind::Flag, bool, std::conditional_t<K == SettingKind::Separator, QChar, int32_t>>>;

template <SettingKind K>
SettingType<K> settingInit(const char* text) {
    return text ? QString::fromUtf8(text) : QString();
}
template <SettingKind K>
SettingType<K> settingInit(int32_t number) {
    if constexpr (K == SettingKind::Separator)
        return QChar(char16_t(number));
    else
        return SettingType<K>(number);
}

// The recorder values, with the table's defaults.
struct RecorderSettings {
#define KESTRO_SETTING_FIELD(name, kind, def, ...) \
    SettingType<SettingKind::kind> name = settingInit<SettingKind::kind>(def);
    KESTRO_RECORDER_SETTINGS(KESTRO_SETTING_FIELD)
#undef KESTRO_SETTING_FIELD

    // Loads what this run records with; result kTrue (-1) when the values that
    // open the setup dialog were all present and usable, 1 when a default was
    // used for one. A base name or extension that would leave the record
    // directory (a hand edit of the store) is replaced by its default and
    // logged, as are both separators when they are alike.
    int16_t InitForm(cRegistry& RegObj, const QString& defaultDirectory, const ErrorLogFn& log = {});
};

// A recorder value by its row, in the form the store keeps it (text, or a
// number: flags 0 and 1, separators their character code), and back.
QVariant settingValue(const RecorderSettings& s, SettingId id);
void setSettingValue(RecorderSettings& s, SettingId id, const QVariant& stored);
// Whether a and b hold the same value of the row (without a QVariant: cheap enough for every tick).
bool sameSetting(const RecorderSettings& a, const RecorderSettings& b, SettingId id);

// The device values the setup dialog chooses.
struct DeviceSettings {
    // The chosen port; on storing, 0 (no choice) leaves the stored one alone.
    int32_t COMPort = 0;
    // Device paths of ports 1 to 4 to store; an empty optional leaves the
    // stored mapping alone (never loaded: the link knows the paths in use).
    std::array<std::optional<QString>, 5> COMnDevice{};
};

struct Settings {
    RecorderSettings recorder;
    DeviceSettings device;
};

// The values the command line set for this run, one bit per SettingId.
struct RunValues {
    uint64_t bits = 0;
    bool has(SettingId id) const { return (bits >> unsigned(id)) & 1u; }
};

// The values as stored, for the setup dialog: a usable stored value, else the
// default (defaultDirectory for a record directory never stored). A name part
// that would leave the record directory and alike separators stay as stored,
// so that the dialog can say why they cannot be kept. *complete: the recorder
// values that open the dialog were all stored and usable.
Settings loadSettings(cRegistry& reg, const QString& defaultDirectory, RunValues* forRun = nullptr,
                      bool* complete = nullptr);
// Stores the values the setup dialog edits, in the table's order and the
// chosen port last; on failure the values after the failing one are not
// stored and error says why.
bool storeSettings(cRegistry& reg, const Settings& values, QString* error);

// s as a later load of what storeSettings wrote gives it back: texts with their
// %NAME% references expanded, values set for this run as they are.
RecorderSettings settingsAsRead(const cRegistry& reg, RecorderSettings s);

// What the setup dialog needs: the values to show and where OK hands them.
struct SetupStore {
    Settings values;
    RunValues forRun;
    QString file;  // the settings file, named when storing fails
    std::function<bool(const Settings&, QString* error)> store;
};
// Loads now; OK stores into reg, which must outlive the result.
SetupStore setupStore(cRegistry& reg, const QString& defaultDirectory);

}  // namespace kestro
