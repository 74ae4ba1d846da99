#include "settings/SetupValues.h"

#include "settings/SettingsSchema.h"
#include "settings/cRegistry.h"

#include <QVariant>

namespace kestro {

namespace {

constexpr SettingId kDetailIds[] = {SettingId::MeasurementLocation, SettingId::MeasurementOperator,
                                    SettingId::MeasurementWeather, SettingId::MeasurementNotes,
                                    SettingId::MeasurementInstrument};

}  // namespace

SetupValues loadSetupValues(cRegistry& reg, const QString& defaultDirectory, SetupRunValues* forRun) {
    SetupRunValues run;
    auto stored = [&reg](SettingId id, const QVariant& fallback = QVariant()) {
        const SettingDef& row = setting(id);
        QVariant v;
        const SettingRead read = readSetting(reg, row, &v);
        if (read == SettingRead::Ok || (read == SettingRead::Unusable && row.kind == SettingKind::FileNamePart))
            return v;
        return fallback.isValid() ? fallback : settingDefault(row);
    };
    SetupValues v;
    v.recordDirectory = stored(SettingId::RecordDirectory, defaultDirectory).toString();
    run.recordDirectory = reg.isRunValue();
    v.recordNameBase = stored(SettingId::RecordNameBase).toString();
    v.recordFileExtension = stored(SettingId::RecordFileExtension).toString();
    v.includeHeaderLine = stored(SettingId::IncludeHeaderLine).toLongLong() != 0;
    v.includeSystemTime = stored(SettingId::IncludeSystemTime).toLongLong() != 0;
    v.includeOverflow = stored(SettingId::IncludeOverflow).toLongLong() != 0;
    v.includeUnderflow = stored(SettingId::IncludeUnderflow).toLongLong() != 0;
    v.decimalSeparator = stored(SettingId::DecimalSeparator).toInt();
    v.tabularSeparator = stored(SettingId::TabularSeparator).toInt();
    v.statisticsInterval = stored(SettingId::StatisticsInterval).toInt();
    v.limitLevel = stored(SettingId::LimitLevel).toLongLong();
    v.eventLevel = stored(SettingId::EventLevel).toLongLong();
    v.eventMinDuration = stored(SettingId::EventMinDuration).toLongLong();
    v.eventHysteresis = stored(SettingId::EventHysteresis).toLongLong();
    v.eventNotifications = stored(SettingId::EventNotifications).toLongLong() != 0;
    v.language = stored(SettingId::Language).toInt();
    v.reportLanguage = stored(SettingId::ReportLanguage).toInt();
    v.dailyReports = stored(SettingId::DailyReports).toLongLong() != 0;
    for (size_t i = 0; i < v.details.size(); ++i) {
        v.details[i] = stored(kDetailIds[i]).toString();
        run.details[i] = reg.isRunValue();
    }
    v.comPort = stored(SettingId::COMPort).toLongLong();
    run.comPort = reg.isRunValue();
    if (forRun) *forRun = run;
    return v;
}

bool storeSetupValues(cRegistry& reg, const SetupValues& v, QString* error) {
    auto put = [&reg](SettingId id, const QVariant& value, int port = 0) {
        writeSetting(reg, setting(id), value, port);
    };
    // The store reports a failed write by throwing; it goes no further than here.
    try {
        put(SettingId::RecordDirectory, v.recordDirectory);
        put(SettingId::RecordNameBase, v.recordNameBase);
        put(SettingId::RecordFileExtension, v.recordFileExtension);
        put(SettingId::IncludeHeaderLine, v.includeHeaderLine ? 1 : 0);
        put(SettingId::IncludeSystemTime, v.includeSystemTime ? 1 : 0);
        put(SettingId::IncludeOverflow, v.includeOverflow ? 1 : 0);
        put(SettingId::IncludeUnderflow, v.includeUnderflow ? 1 : 0);
        put(SettingId::DecimalSeparator, v.decimalSeparator);
        put(SettingId::TabularSeparator, v.tabularSeparator);
        put(SettingId::StatisticsInterval, v.statisticsInterval);
        put(SettingId::LimitLevel, v.limitLevel);
        put(SettingId::EventLevel, v.eventLevel);
        put(SettingId::EventMinDuration, v.eventMinDuration);
        put(SettingId::EventHysteresis, v.eventHysteresis);
        put(SettingId::EventNotifications, v.eventNotifications ? 1 : 0);
        put(SettingId::Language, v.language);
        put(SettingId::ReportLanguage, v.reportLanguage);
        put(SettingId::DailyReports, v.dailyReports ? 1 : 0);
        for (size_t i = 0; i < v.details.size(); ++i)
            put(kDetailIds[i], v.details[i]);
        for (int n = 1; n < int(v.comDevice.size()); ++n)
            if (v.comDevice[size_t(n)]) put(SettingId::COMnDevice, *v.comDevice[size_t(n)], n);
        // The chosen port last, so it never points at a device path that was not saved.
        if (v.comPort != 0) put(SettingId::COMPort, v.comPort);
    } catch (const RaisedError& e) {
        if (error) *error = e.description;
        return false;
    }
    return true;
}

SetupStore setupStore(cRegistry& reg, const QString& defaultDirectory) {
    SetupStore s;
    s.values = loadSetupValues(reg, defaultDirectory, &s.forRun);
    s.file = reg.files().currentUser;
    s.store = [&reg](const SetupValues& v, QString* error) {
        return storeSetupValues(reg, v, error);
    };
    return s;
}

}  // namespace kestro
