#include "settings/RecorderSettings.h"

#include "core/Errors.h"
#include "settings/cRegistry.h"

namespace kestro {

int16_t RecorderSettings::InitForm(cRegistry& RegObj, const QString& defaultDirectory, const ErrorLogFn& log) {
    int16_t result = kTrue;
    // The stored value when it is usable, else the default (and the setup
    // dialog, for the values it asks for).
    auto load = [&](SettingId id, const QVariant& def) {
        const SettingDef& row = setting(id);
        QVariant v;
        const SettingRead read = readSetting(RegObj, row, &v);
        if (read == SettingRead::Ok) return v;
        if (row.opensSetup) result = 1;
        // A hand-edited name part must not lead out of the record directory.
        if (read == SettingRead::Unusable && row.kind == SettingKind::FileNamePart && log)
            log(std::string(label::kRecorderSettingsPrefix) + row.name + ": ", kErrBadFileName);
        return def;
    };
    auto text = [&](SettingId id) {
        return load(id, settingDefault(setting(id))).toString();
    };
    auto flag = [&](SettingId id) {
        return load(id, settingDefault(setting(id))).toLongLong() != 0;
    };
    auto number = [&](SettingId id) {
        return static_cast<int32_t>(load(id, settingDefault(setting(id))).toLongLong());
    };
    auto separator = [&](SettingId id) {
        return QChar::fromLatin1(static_cast<char>(number(id)));
    };

    RecordDirectory = load(SettingId::RecordDirectory, defaultDirectory).toString();
    RecordNameBase = text(SettingId::RecordNameBase);
    RecordFileExtension = text(SettingId::RecordFileExtension);
    IncludeHeaderLine = flag(SettingId::IncludeHeaderLine);
    IncludeSystemTime = flag(SettingId::IncludeSystemTime);
    IncludeOverflow = flag(SettingId::IncludeOverflow);
    IncludeUnderflow = flag(SettingId::IncludeUnderflow);
    DecimalSeparator = separator(SettingId::DecimalSeparator);
    TabularSeparator = separator(SettingId::TabularSeparator);
    if (separatorsClash(DecimalSeparator.unicode(), TabularSeparator.unicode())) {
        // The stored pair stays for Setup to show; this run writes lines that can be read back.
        DecimalSeparator = QChar(setting(SettingId::DecimalSeparator).defaultNumber);
        TabularSeparator = QChar(setting(SettingId::TabularSeparator).defaultNumber);
        result = 1;
        if (log) log(std::string(label::kRecorderSettingsPrefix) + "TabularSeparator: ", kErrSameSeparators);
    }
    StatisticsInterval = number(SettingId::StatisticsInterval);
    LimitLevel = number(SettingId::LimitLevel);
    DayStartHour = number(SettingId::DayStartHour);
    EveningStartHour = number(SettingId::EveningStartHour);
    NightStartHour = number(SettingId::NightStartHour);
    MeasurementLocation = text(SettingId::MeasurementLocation);
    MeasurementOperator = text(SettingId::MeasurementOperator);
    MeasurementWeather = text(SettingId::MeasurementWeather);
    MeasurementNotes = text(SettingId::MeasurementNotes);
    MeasurementInstrument = text(SettingId::MeasurementInstrument);
    EventLevel = number(SettingId::EventLevel);
    EventMinDuration = number(SettingId::EventMinDuration);
    EventHysteresis = number(SettingId::EventHysteresis);
    EventNotifications = flag(SettingId::EventNotifications);
    DailyReports = flag(SettingId::DailyReports);
    return result;
}

}  // namespace kestro
