// The README's tables of the settings file follow the table of stored values,
// and a row tells an absent value from an unusable one.

#include "settings/SettingsSchema.h"

#include "settings/cRegistry.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <map>

using namespace kestro;

namespace {

// The rows of the README table that follows the line naming the section.
std::map<QString, QStringList> readmeTable(const QString& readme, const char* section) {
    std::map<QString, QStringList> rows;
    const QString heading = QStringLiteral("Key `%1`").arg(QString::fromLatin1(section));
    const int start = readme.indexOf(heading);
    if (start < 0) return rows;
    bool inTable = false;
    for (const QString& line : readme.mid(start).split(QLatin1Char('\n')).mid(1)) {
        if (!line.startsWith(QLatin1Char('|'))) {
            if (inTable) break;
            continue;
        }
        inTable = true;
        QStringList cells = line.split(QLatin1Char('|'));
        cells = cells.mid(1, cells.size() - 2);
        for (QString& c : cells)
            c = c.trimmed();
        if (cells.isEmpty() || !cells[0].startsWith(QLatin1Char('`'))) continue;  // heading and rule
        rows[cells[0]] = cells;
    }
    return rows;
}

QString readmeName(const SettingDef& def) {
    if (def.id == SettingId::COMnDevice)
        return QStringLiteral("`%1`..`%2`").arg(settingName(def, def.min), settingName(def, def.max));
    return QStringLiteral("`%1`").arg(settingName(def));
}

// How the README writes a default: a text in backquotes, a separator as its
// code and character, a number as it is.
QString readmeDefault(const SettingDef& def) {
    switch (def.kind) {
        case SettingKind::Separator:
            return QStringLiteral("%1 (`%2`)").arg(def.defaultNumber).arg(QChar(def.defaultNumber));
        case SettingKind::Port:
        case SettingKind::DevicePath:
            return QStringLiteral("none");
        case SettingKind::Text:
        case SettingKind::FileNamePart:
            if (def.defaultText && !*def.defaultText) return QStringLiteral("empty");
            return def.defaultText ? QStringLiteral("`%1`").arg(QString::fromUtf8(def.defaultText)) : QString();
        default:
            return QString::number(def.defaultNumber);
    }
}

TEST(SettingsSchema, ReadmeTablesOfTheSettingsFileFollowTheSchema) {
    QFile file(QStringLiteral(KESTRO_README));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly)) << KESTRO_README;
    const QString readme = QString::fromUtf8(file.readAll());
    for (const char* section : {kRecorderSection, kDeviceSection}) {
        SCOPED_TRACE(section);
        std::map<QString, QStringList> table = readmeTable(readme, section);
        for (const SettingDef& def : settingsSchema()) {
            if (QLatin1String(def.section) != QLatin1String(section)) continue;
            const QString name = readmeName(def);
            SCOPED_TRACE(name.toStdString());
            auto it = table.find(name);
            ASSERT_NE(it, table.end()) << "no README row";
            const QStringList& cells = it->second;
            ASSERT_GE(cells.size(), 4);
            EXPECT_TRUE(cells[1].startsWith(QString::number(def.storedType))) << cells[1].toStdString();
            const QString expected = readmeDefault(def);
            if (!expected.isEmpty()) {
                EXPECT_EQ(cells[2], expected);
            }
            table.erase(it);
        }
        for (const auto& [name, cells] : table)
            ADD_FAILURE() << "README row without a schema row: " << name.toStdString();
    }
}

TEST(SettingsSchema, ReadSettingTellsAbsentUnusableAndUsableApart) {
    QTemporaryDir dir;
    const RegistryFiles files{dir.filePath("registry.json"), dir.filePath("machine.json")};
    cRegistry reg(files);
    QVariant v;
    QString why;
    EXPECT_EQ(readSetting(reg, setting(SettingId::RecordNameBase), &v), SettingRead::Absent);
    writeSetting(reg, setting(SettingId::RecordNameBase), QString("../up"));
    EXPECT_EQ(readSetting(reg, setting(SettingId::RecordNameBase), &v, &why), SettingRead::Unusable);
    EXPECT_EQ(v.toString(), "../up") << "the stored text is kept for the caller";
    EXPECT_FALSE(why.isEmpty());
    writeSetting(reg, setting(SettingId::COMnDevice), QString("/dev/ttyUSB3"), 2);
    EXPECT_EQ(readSetting(reg, setting(SettingId::COMnDevice), &v, nullptr, 2), SettingRead::Ok);
    EXPECT_EQ(v.toString(), "/dev/ttyUSB3");
    EXPECT_EQ(readSetting(reg, setting(SettingId::COMnDevice), &v, nullptr, 1), SettingRead::Absent);

    // A value set for this run is read, never written over.
    reg.setRunValue(HKEY_CURRENT_USER_, kDeviceSection, "COMPort", 3, REG_DWORD_);
    writeSetting(reg, setting(SettingId::COMPort), 2);
    EXPECT_EQ(readSetting(reg, setting(SettingId::COMPort), &v), SettingRead::Ok);
    EXPECT_EQ(v.toLongLong(), 3);
    cRegistry fresh(files);
    EXPECT_EQ(readSetting(fresh, setting(SettingId::COMPort), &v), SettingRead::Absent);
}

}  // namespace
