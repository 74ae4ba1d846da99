#include "settings/SettingsSchema.h"

#include "settings/cRegistry.h"

#include <QCoreApplication>

#include <algorithm>

namespace kestro {

namespace {

SettingDef recorder(SettingId id, const char* name, SettingKind kind, int32_t number, const char* text,
                    bool opensSetup = true) {
    const bool isText = kind == SettingKind::Text || kind == SettingKind::FileNamePart;
    return {id, kRecorderSection, name, kind, isText ? REG_SZ_ : REG_DWORD_, number, text, {}, 0, 0, opensSetup};
}

std::vector<SettingDef> makeSchema() {
    using K = SettingKind;
    using I = SettingId;
    std::vector<SettingDef> s{
        recorder(I::RecordDirectory, "RecordDirectory", K::Text, 0, nullptr),
        recorder(I::RecordNameBase, "RecordNameBase", K::FileNamePart, 0, "NoiseData"),
        recorder(I::RecordFileExtension, "RecordFileExtension", K::FileNamePart, 0, ".dat"),
        recorder(I::IncludeHeaderLine, "IncludeHeaderLine", K::Flag, 0, nullptr),
        recorder(I::IncludeSystemTime, "IncludeSystemTime", K::Flag, 1, nullptr),
        recorder(I::IncludeOverflow, "IncludeOverflow", K::Flag, 0, nullptr),
        recorder(I::IncludeUnderflow, "IncludeUnderflow", K::Flag, 0, nullptr),
        recorder(I::DecimalSeparator, "DecimalSeparator", K::Separator, ',', nullptr),
        recorder(I::TabularSeparator, "TabularSeparator", K::Separator, ';', nullptr),
        // Added after the nine: stores from before them must not open the setup dialog.
        recorder(I::StatisticsInterval, "StatisticsInterval", K::Choice, 900, nullptr, false),
        recorder(I::LimitLevel, "LimitLevel", K::Range, 0, nullptr, false),  // tenths of a dB, 0 = none
        // Hours of the clock at which the day, evening and night periods of the day levels begin.
        recorder(I::DayStartHour, "DayStartHour", K::Range, 7, nullptr, false),
        recorder(I::EveningStartHour, "EveningStartHour", K::Range, 19, nullptr, false),
        recorder(I::NightStartHour, "NightStartHour", K::Range, 23, nullptr, false),
        recorder(I::MeasurementLocation, "MeasurementLocation", K::Text, 0, "", false),
        recorder(I::MeasurementOperator, "MeasurementOperator", K::Text, 0, "", false),
        recorder(I::MeasurementWeather, "MeasurementWeather", K::Text, 0, "", false),
        recorder(I::MeasurementNotes, "MeasurementNotes", K::Text, 0, "", false),
        recorder(I::MeasurementInstrument, "MeasurementInstrument", K::Text, 0, "", false),
        recorder(I::EventLevel, "EventLevel", K::Range, 800, nullptr, false),
        recorder(I::EventMinDuration, "EventMinDuration", K::Range, 10, nullptr, false),
        recorder(I::EventHysteresis, "EventHysteresis", K::Range, 20, nullptr, false),
        recorder(I::EventNotifications, "EventNotifications", K::Flag, 1, nullptr, false),
        recorder(I::Language, "Language", K::Choice, 0, nullptr, false),
        recorder(I::ReportLanguage, "ReportLanguage", K::Choice, 0, nullptr, false),
        recorder(I::DailyReports, "DailyReports", K::Flag, 0, nullptr, false),
        // Setup proposes COM1; loading has no default (a missing port opens Setup).
        {I::COMPort, kDeviceSection, "COMPort", K::Port, REG_DWORD_, 1, nullptr, {}, 1, 4, true},
        {I::COMnDevice, kDeviceSection, "COM%1Device", K::DevicePath, REG_SZ_, 0, "", {}, 1, 4, false},
    };
    s[size_t(I::StatisticsInterval)].choices = {10, 30, 60, 300, 600, 900, 1800, 3600};
    s[size_t(I::Language)].choices = {0, 1, 2};
    s[size_t(I::ReportLanguage)].choices = {0, 1, 2};
    s[size_t(I::LimitLevel)].max = 2000;
    for (SettingId hour : {I::DayStartHour, I::EveningStartHour, I::NightStartHour})
        s[size_t(hour)].max = 23;
    s[size_t(I::EventLevel)].max = 2000;
    s[size_t(I::EventMinDuration)].max = 3600;
    s[size_t(I::EventHysteresis)].max = 200;
    return s;
}

// A stored number: type 4 as it stands, a text only when it spells an integer.
bool numberOf(const QVariant& v, qint64* out) {
    bool ok = false;
    const qint64 n = v.toLongLong(&ok);
    if (ok) *out = n;
    return ok;
}

bool isNumberKind(SettingKind kind) {
    return kind != SettingKind::Text && kind != SettingKind::FileNamePart && kind != SettingKind::DevicePath;
}

// Why text cannot be part of a record file name, or an empty string when it can.
// Setup shows the reason translated; the journal and the event log never do.
QString fileNamePartProblem(const QString& text) {
    if (text.contains(QLatin1Char('/')))
        return QString::fromUtf8(QT_TRANSLATE_NOOP("kestro::SettingsSchema", "must not contain \"/\""));
    if (text.contains(QLatin1String("..")))
        return QString::fromUtf8(QT_TRANSLATE_NOOP("kestro::SettingsSchema", "must not contain \"..\""));
    for (const QChar c : text)
        if (c.category() == QChar::Other_Control)
            return QString::fromUtf8(
                QT_TRANSLATE_NOOP("kestro::SettingsSchema", "must not contain control characters"));
    return QString();
}

void describe(cRegistry& reg, const SettingDef& def, int port) {
    reg.ClassKey = HKEY_CURRENT_USER_;
    reg.SectionKey = QString::fromLatin1(def.section);
    reg.ValueKey = settingName(def, port);
    reg.Default = QVariant();
}

}  // namespace

const std::vector<SettingDef>& settingsSchema() {
    static const std::vector<SettingDef> schema = makeSchema();
    return schema;
}

const SettingDef& setting(SettingId id) { return settingsSchema()[size_t(id)]; }

QString settingName(const SettingDef& def, int port) {
    const QString name = QString::fromLatin1(def.name);
    return def.id == SettingId::COMnDevice ? name.arg(port) : name;
}

QVariant settingDefault(const SettingDef& def) {
    if (isNumberKind(def.kind)) return def.defaultNumber;
    return def.defaultText ? QVariant(QString::fromUtf8(def.defaultText)) : QVariant();
}

QString settingProblem(const SettingDef& def, const QVariant& stored) {
    if (!stored.isValid()) return QStringLiteral("no value");
    if (def.kind == SettingKind::FileNamePart) return fileNamePartProblem(stored.toString());
    if (!isNumberKind(def.kind)) return QString();
    qint64 n = 0;
    if (!numberOf(stored, &n)) return QStringLiteral("not a number");
    switch (def.kind) {
        case SettingKind::Separator:
            // Code 0 and codes outside a byte are not characters a record line can be split by.
            if (n < 1 || n > 255) return QStringLiteral("not a character code from 1 to 255");
            break;
        case SettingKind::Choice:
            if (std::find(def.choices.begin(), def.choices.end(), n) == def.choices.end())
                return QStringLiteral("not one of the offered numbers");
            break;
        case SettingKind::Range:
            if (n < def.min || n > def.max) return QStringLiteral("outside %1..%2").arg(def.min).arg(def.max);
            break;
        default:
            break;
    }
    return QString();
}

SettingRead readSetting(cRegistry& reg, const SettingDef& def, QVariant* value, QString* problem, int port) {
    describe(reg, def, port);
    if (!reg.ValueExists()) return SettingRead::Absent;
    const QVariant v = reg.Value();
    if (!v.isValid()) return SettingRead::Absent;
    const QString why = settingProblem(def, v);
    if (problem) *problem = why;
    qint64 n = 0;
    *value = isNumberKind(def.kind) && numberOf(v, &n) ? QVariant(n) : QVariant(v.toString());
    return why.isEmpty() ? SettingRead::Ok : SettingRead::Unusable;
}

void writeSetting(cRegistry& reg, const SettingDef& def, const QVariant& value, int port) {
    describe(reg, def, port);
    if (reg.isRunValue()) return;  // a command-line value stays out of the store
    reg.ValueType = def.storedType;
    reg.setValue(value);
}

void writeMissingRecorderDefaults(cRegistry& reg, const QString& recordDirectory) {
    for (const SettingDef& def : settingsSchema()) {
        if (QLatin1String(def.section) != QLatin1String(kRecorderSection)) continue;
        describe(reg, def, 0);
        if (reg.ValueExists()) continue;
        writeSetting(reg, def, def.id == SettingId::RecordDirectory ? QVariant(recordDirectory) : settingDefault(def));
    }
}

}  // namespace kestro
