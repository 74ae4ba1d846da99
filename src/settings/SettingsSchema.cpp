#include "settings/SettingsSchema.h"

#include "settings/cRegistry.h"

#include <QCoreApplication>

#include <algorithm>

namespace kestro {

namespace {

// A recorder row; limits are min and max of a range, or the choices.
SettingDef recorder(SettingId id, const char* name, SettingKind kind, int32_t number, const char* text,
                    std::vector<int32_t> limits, unsigned flags, const char* sideObject, const char* sideName) {
    const bool isText = kind == SettingKind::Text || kind == SettingKind::FileNamePart;
    SettingDef d{id,    kRecorderSection, name,    kind, isText ? REG_SZ_ : REG_DWORD_, number, text, {}, 0, 0, false,
                 flags, sideObject,       sideName};
    d.opensSetup = d.has(kOpensSetup);
    if (kind == SettingKind::Choice) d.choices = std::move(limits);
    if (kind == SettingKind::Range) d.min = limits.at(0), d.max = limits.at(1);
    return d;
}
SettingDef recorder(SettingId id, const char* name, SettingKind kind, const char* text, std::vector<int32_t> limits,
                    unsigned flags, const char* sideObject, const char* sideName) {
    return recorder(id, name, kind, 0, text, std::move(limits), flags, sideObject, sideName);
}
SettingDef recorder(SettingId id, const char* name, SettingKind kind, int32_t number, std::vector<int32_t> limits,
                    unsigned flags, const char* sideObject, const char* sideName) {
    return recorder(id, name, kind, number, nullptr, std::move(limits), flags, sideObject, sideName);
}

#define KESTRO_UNPAREN(...) __VA_ARGS__

std::vector<SettingDef> makeSchema() {
    std::vector<SettingDef> s{
#define KESTRO_SETTING_ROW(name, kind, def, limits, flags, sideObject, sideName)                                 \
    recorder(SettingId::name, #name, SettingKind::kind, def, std::vector<int32_t>{KESTRO_UNPAREN limits}, flags, \
             sideObject, sideName),
        KESTRO_RECORDER_SETTINGS(KESTRO_SETTING_ROW)
#undef KESTRO_SETTING_ROW
            {SettingId::COMPort, kDeviceSection, "COMPort", SettingKind::Port, REG_DWORD_, 1, nullptr, {}, 1, 4, true},
        {SettingId::COMnDevice,
         kDeviceSection,
         "COM%1Device",
         SettingKind::DevicePath,
         REG_SZ_,
         0,
         "",
         {},
         1,
         4,
         false},
    };
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
    const QVariant v = reg.read(HKEY_CURRENT_USER_, QString::fromLatin1(def.section), settingName(def, port));
    if (!v.isValid()) return SettingRead::Absent;
    const QString why = settingProblem(def, v);
    if (problem) *problem = why;
    qint64 n = 0;
    *value = isNumberKind(def.kind) && numberOf(v, &n) ? QVariant(n) : QVariant(v.toString());
    return why.isEmpty() ? SettingRead::Ok : SettingRead::Unusable;
}

void writeSetting(cRegistry& reg, const SettingDef& def, const QVariant& value, int port) {
    const QString section = QString::fromLatin1(def.section);
    const QString name = settingName(def, port);
    if (reg.isRunValue(HKEY_CURRENT_USER_, section, name)) return;  // a command-line value stays out of the store
    reg.write(HKEY_CURRENT_USER_, section, name, def.storedType, value);
}

void writeMissingRecorderDefaults(cRegistry& reg, const QString& recordDirectory) {
    for (const SettingDef& def : settingsSchema()) {
        if (QLatin1String(def.section) != QLatin1String(kRecorderSection)) continue;
        if (reg.exists(HKEY_CURRENT_USER_, QString::fromLatin1(def.section), settingName(def))) continue;
        writeSetting(reg, def, def.id == SettingId::RecordDirectory ? QVariant(recordDirectory) : settingDefault(def));
    }
}

}  // namespace kestro
