#pragma once
// The recorder settings held in memory by the main window.

#include "core/Types.h"
#include "settings/SettingsSchema.h"

#include <QString>
#include <QVariant>

namespace kestro {

class cRegistry;

// The recorder values in memory, with the defaults of the settings schema.
struct RecorderSettings {
    QString RecordDirectory;
    QString RecordNameBase = settingDefault(setting(SettingId::RecordNameBase)).toString();
    QString RecordFileExtension = settingDefault(setting(SettingId::RecordFileExtension)).toString();
    bool IncludeHeaderLine = setting(SettingId::IncludeHeaderLine).defaultNumber != 0;
    bool IncludeSystemTime = setting(SettingId::IncludeSystemTime).defaultNumber != 0;
    bool IncludeOverflow = setting(SettingId::IncludeOverflow).defaultNumber != 0;
    bool IncludeUnderflow = setting(SettingId::IncludeUnderflow).defaultNumber != 0;
    QChar DecimalSeparator = QChar(setting(SettingId::DecimalSeparator).defaultNumber);
    QChar TabularSeparator = QChar(setting(SettingId::TabularSeparator).defaultNumber);
    // Statistics: interval length in seconds and the limit of the interval Leq
    // in tenths of a decibel, 0 = none.
    int32_t StatisticsInterval = setting(SettingId::StatisticsInterval).defaultNumber;
    int32_t LimitLevel = setting(SettingId::LimitLevel).defaultNumber;
    // Day levels: the hours at which day, evening and night begin.
    int32_t DayStartHour = setting(SettingId::DayStartHour).defaultNumber;
    int32_t EveningStartHour = setting(SettingId::EveningStartHour).defaultNumber;
    int32_t NightStartHour = setting(SettingId::NightStartHour).defaultNumber;
    // Where, by whom and under which conditions the series are measured.
    QString MeasurementLocation;
    QString MeasurementOperator;
    QString MeasurementWeather;
    QString MeasurementNotes;
    QString MeasurementInstrument;  // the sound level meter's type and class
    // Noise events: level in tenths of a dB (0 = no exceedances), minimum
    // duration in seconds, hysteresis in tenths of a dB, desktop notifications.
    int32_t EventLevel = setting(SettingId::EventLevel).defaultNumber;
    int32_t EventMinDuration = setting(SettingId::EventMinDuration).defaultNumber;
    int32_t EventHysteresis = setting(SettingId::EventHysteresis).defaultNumber;
    bool EventNotifications = setting(SettingId::EventNotifications).defaultNumber != 0;
    bool DailyReports = setting(SettingId::DailyReports).defaultNumber != 0;

    // Loads the recorder values; result kTrue (-1) when the nine of the setup
    // dialog were all present and usable, 1 when a default was used for one.
    // A base name or extension that would leave the record directory (a hand
    // edit of the store) is replaced by its default and logged, as are both
    // separators when they are alike. A missing statistics value is no reason
    // for the setup dialog.
    int16_t InitForm(cRegistry& RegObj, const QString& defaultDirectory, const ErrorLogFn& log = {});
};

}  // namespace kestro
