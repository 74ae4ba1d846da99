#include "settings/RecorderSettings.h"

#include "core/Errors.h"
#include "settings/cRegistry.h"

namespace kestro {

namespace {

QVariant storedForm(const QString& v) { return v; }
QVariant storedForm(bool v) { return v ? 1 : 0; }
QVariant storedForm(QChar v) { return int(v.unicode()); }
QVariant storedForm(int32_t v) { return v; }

void assign(QString& field, const QVariant& v) { field = v.toString(); }
void assign(bool& field, const QVariant& v) { field = v.toLongLong() != 0; }
void assign(QChar& field, const QVariant& v) { field = QChar(char16_t(v.toLongLong())); }
void assign(int32_t& field, const QVariant& v) { field = int32_t(v.toLongLong()); }

bool isRecorderRow(const SettingDef& def) { return def.id < SettingId::COMPort; }

// A value that, kept, would put record files elsewhere or make record lines unreadable.
bool unusableToRecordWith(const SettingDef& def, const RecorderSettings& s) {
    return def.kind == SettingKind::FileNamePart && !settingProblem(def, settingValue(s, def.id)).isEmpty();
}

}  // namespace

QVariant settingValue(const RecorderSettings& s, SettingId id) {
    switch (id) {
#define KESTRO_SETTING_GET(name, ...) \
    case SettingId::name:             \
        return storedForm(s.name);
        KESTRO_RECORDER_SETTINGS(KESTRO_SETTING_GET)
#undef KESTRO_SETTING_GET
        default:
            return QVariant();
    }
}

void setSettingValue(RecorderSettings& s, SettingId id, const QVariant& stored) {
    switch (id) {
#define KESTRO_SETTING_SET(name, ...) \
    case SettingId::name:             \
        assign(s.name, stored);       \
        break;
        KESTRO_RECORDER_SETTINGS(KESTRO_SETTING_SET)
#undef KESTRO_SETTING_SET
        default:
            break;
    }
}

bool sameSetting(const RecorderSettings& a, const RecorderSettings& b, SettingId id) {
    switch (id) {
#define KESTRO_SETTING_SAME(name, ...) \
    case SettingId::name:              \
        return a.name == b.name;
        KESTRO_RECORDER_SETTINGS(KESTRO_SETTING_SAME)
#undef KESTRO_SETTING_SAME
        default:
            return true;
    }
}

Settings loadSettings(cRegistry& reg, const QString& defaultDirectory, RunValues* forRun, bool* complete) {
    Settings v;
    RunValues run;
    bool all = true;
    for (const SettingDef& row : settingsSchema()) {
        if (row.id == SettingId::COMnDevice) continue;
        QVariant stored;
        const SettingRead read = readSetting(reg, row, &stored);
        const bool keep =
            read == SettingRead::Ok || (read == SettingRead::Unusable && row.kind == SettingKind::FileNamePart);
        if (read != SettingRead::Ok && row.opensSetup && isRecorderRow(row)) all = false;
        if (!keep) stored = row.id == SettingId::RecordDirectory ? QVariant(defaultDirectory) : settingDefault(row);
        if (reg.isRunValue(HKEY_CURRENT_USER_, QString::fromLatin1(row.section), settingName(row)))
            run.bits |= uint64_t(1) << unsigned(row.id);
        if (row.id == SettingId::COMPort)
            v.device.COMPort = int32_t(stored.toLongLong());
        else
            setSettingValue(v.recorder, row.id, stored);
    }
    if (forRun) *forRun = run;
    if (complete) *complete = all;
    return v;
}

bool storeSettings(cRegistry& reg, const Settings& v, QString* error) {
    // The store reports a failed write by throwing; it goes no further than here.
    try {
        for (const SettingDef& row : settingsSchema())
            if (isRecorderRow(row) && row.has(kInSetup)) writeSetting(reg, row, settingValue(v.recorder, row.id));
        for (int n = 1; n < int(v.device.COMnDevice.size()); ++n)
            if (const auto& path = v.device.COMnDevice[size_t(n)])
                writeSetting(reg, setting(SettingId::COMnDevice), *path, n);
        // The chosen port last, so it never points at a device path that was not saved.
        if (v.device.COMPort != 0) writeSetting(reg, setting(SettingId::COMPort), v.device.COMPort);
    } catch (const RaisedError& e) {
        if (error) *error = e.description;
        return false;
    }
    return true;
}

RecorderSettings settingsAsRead(const cRegistry& reg, RecorderSettings s) {
    for (const SettingDef& row : settingsSchema())
        if (isRecorderRow(row) && row.storedType == REG_SZ_ &&
            !reg.isRunValue(HKEY_CURRENT_USER_, QString::fromLatin1(row.section), settingName(row)))
            setSettingValue(s, row.id, cRegistry::textAsRead(settingValue(s, row.id).toString()));
    return s;
}

SetupStore setupStore(cRegistry& reg, const QString& defaultDirectory) {
    SetupStore s;
    s.values = loadSettings(reg, defaultDirectory, &s.forRun);
    s.file = reg.files().currentUser;
    s.store = [&reg](const Settings& v, QString* error) {
        return storeSettings(reg, v, error);
    };
    return s;
}

int16_t RecorderSettings::InitForm(cRegistry& RegObj, const QString& defaultDirectory, const ErrorLogFn& log) {
    bool complete = false;
    *this = loadSettings(RegObj, defaultDirectory, nullptr, &complete).recorder;
    int16_t result = complete ? kTrue : int16_t{1};
    // A hand-edited name part must not lead out of the record directory.
    for (const SettingDef& row : settingsSchema()) {
        if (!isRecorderRow(row) || !unusableToRecordWith(row, *this)) continue;
        setSettingValue(*this, row.id, settingDefault(row));  // loaded as unusable: result is 1 already
        if (log) log(std::string(label::kRecorderSettingsPrefix) + row.name + ": ", kErrBadFileName);
    }
    if (separatorsClash(DecimalSeparator.unicode(), TabularSeparator.unicode())) {
        // The stored pair stays for Setup to show; this run writes lines that can be read back.
        const RecorderSettings defaults;
        DecimalSeparator = defaults.DecimalSeparator;
        TabularSeparator = defaults.TabularSeparator;
        result = 1;
        if (log) log(std::string(label::kRecorderSettingsPrefix) + "TabularSeparator: ", kErrSameSeparators);
    }
    return result;
}

}  // namespace kestro
