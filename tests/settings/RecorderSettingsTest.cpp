// Loading the recorder's settings, the table of stored values they are read
// by, and the README's tables of the settings file against that table.

#include "core/Types.h"
#include "settings/RecorderSettings.h"
#include "settings/SettingsSchema.h"
#include "settings/cRegistry.h"

#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <map>

using namespace kestro;

namespace {

// Every field as text, so that two settings compare (and print) in one step.
std::string fields(const RecorderSettings& s) {
    QStringList f{s.RecordDirectory, s.RecordNameBase, s.RecordFileExtension};
    for (int n : {int(s.IncludeHeaderLine), int(s.IncludeSystemTime), int(s.IncludeOverflow), int(s.IncludeUnderflow),
                  int(s.DecimalSeparator.unicode()), int(s.TabularSeparator.unicode()), s.StatisticsInterval,
                  s.LimitLevel, s.DayStartHour, s.EveningStartHour, s.NightStartHour})
        f << QString::number(n);
    return f.join('|').toStdString();
}

class RecorderSettingsTest : public ::testing::Test {
protected:
    void SetUp() override {
        files.currentUser = dir.filePath("registry.json");
        files.localMachine = dir.filePath("machine.json");
    }

    // Stored as a text or as a number, as the value is.
    void put(const char* name, const QVariant& v) {
        cRegistry w(files);
        w.ClassKey = HKEY_CURRENT_USER_;
        w.SectionKey = kRecorderSection;
        w.ValueKey = name;
        w.ValueType = v.typeId() == QMetaType::QString ? REG_SZ_ : REG_DWORD_;
        w.setValue(v);
    }

    // The nine of the setup dialog, none of them a default.
    void putAll() {
        for (const auto& [name, v] : {std::pair<const char*, QVariant>{"RecordDirectory", QString("/data/noise")},
                                      {"RecordNameBase", QString("")},
                                      {"RecordFileExtension", QString(".txt")},
                                      {"IncludeHeaderLine", 1},
                                      {"IncludeSystemTime", 0},
                                      {"IncludeOverflow", 1},
                                      {"IncludeUnderflow", 1},
                                      {"DecimalSeparator", 46},
                                      {"TabularSeparator", 9}})
            put(name, v);
    }
    RecorderSettings all() const {
        RecorderSettings s;
        s.RecordDirectory = "/data/noise", s.RecordNameBase = "", s.RecordFileExtension = ".txt";
        s.IncludeHeaderLine = s.IncludeOverflow = s.IncludeUnderflow = true, s.IncludeSystemTime = false;
        s.DecimalSeparator = '.', s.TabularSeparator = '\t';
        return s;
    }

    int16_t load(RecorderSettings& s, const ErrorLogFn& log = {}) {
        cRegistry reg(files);
        return s.InitForm(reg, "/opt/kestro", log);
    }

    QTemporaryDir dir;
    RegistryFiles files;
};

// An empty store gives the defaults (and the setup dialog) and writes
// nothing; once the missing defaults are written it loads the same without
// a dialog, every value with its row's stored type, and keeps what was stored.
TEST_F(RecorderSettingsTest, DefaultsWhenEmptyAndOnceWritten) {
    RecorderSettings s, want;
    s.RecordNameBase = "stale";  // a reload must not keep the previous value
    s.IncludeSystemTime = false;
    want.RecordDirectory = "/opt/kestro";
    EXPECT_EQ(load(s), 1);
    EXPECT_EQ(fields(s), fields(want));
    EXPECT_FALSE(QFileInfo::exists(files.currentUser));

    cRegistry reg(files);
    writeSetting(reg, setting(SettingId::TabularSeparator), 9);
    writeMissingRecorderDefaults(reg, "/srv/noise");
    want.RecordDirectory = "/srv/noise";
    want.TabularSeparator = '\t';
    EXPECT_EQ(load(s), kTrue) << "a filled store opens no setup dialog";
    EXPECT_EQ(fields(s), fields(want));
    for (const SettingDef& def : settingsSchema()) {
        if (QLatin1String(def.section) != QLatin1String(kRecorderSection)) continue;
        reg.ClassKey = HKEY_CURRENT_USER_;
        reg.SectionKey = kRecorderSection;
        reg.ValueKey = def.name;
        reg.Value();
        EXPECT_EQ(reg.ValueType, def.storedType) << def.name;
    }
}

// Stored values as another tool may write them: separators as character
// codes, flags as any number, numbers as texts; unusable ones give the
// default, the nine of the setup dialog with the dialog, the others without.
// A name part that would put record files outside the record directory is
// replaced as well, and the log says which.
TEST_F(RecorderSettingsTest, StoredValuesAndWhatIsUsedInstead) {
    using S = RecorderSettings;
    const struct {
        const char* name;
        QVariant stored;
        void (*expect)(RecorderSettings&);  // the change against all()
        int16_t result;
        bool logged = false;
    } cases[] = {
        {"TabularSeparator", 32, [](S& s) { s.TabularSeparator = ' '; }, kTrue},
        {"TabularSeparator", 0xA7, [](S& s) { s.TabularSeparator = QChar(0xA7); }, kTrue},
        {"TabularSeparator", 0, [](S& s) { s.TabularSeparator = ';'; }, 1},
        {"TabularSeparator", 256, [](S& s) { s.TabularSeparator = ';'; }, 1},
        {"IncludeSystemTime", -1, [](S& s) { s.IncludeSystemTime = true; }, kTrue},
        {"StatisticsInterval", QString("300"), [](S& s) { s.StatisticsInterval = 300; }, kTrue},
        {"StatisticsInterval", 120, [](S&) {}, kTrue},
        {"LimitLevel", 655, [](S& s) { s.LimitLevel = 655; }, kTrue},
        {"LimitLevel", -5, [](S&) {}, kTrue},
        {"NightStartHour", 22, [](S& s) { s.NightStartHour = 22; }, kTrue},
        {"NightStartHour", 24, [](S&) {}, kTrue},
        {"LimitLevel", 2000, [](S& s) { s.LimitLevel = 2000; }, kTrue},
        {"IncludeHeaderLine", QString("yes"), [](S& s) { s.IncludeHeaderLine = false; }, 1},
        // A directory is the user's choice, wherever it leads.
        {"RecordDirectory", QString("/srv/noise/../x"), [](S& s) { s.RecordDirectory = "/srv/noise/../x"; }, kTrue},
        {"RecordNameBase", QString("../../etc/cron.d/x"), [](S& s) { s.RecordNameBase = "NoiseData"; }, 1, true},
        {"RecordNameBase", QString("Noise\x01"), [](S& s) { s.RecordNameBase = "NoiseData"; }, 1, true},
        {"RecordNameBase", QString("Noise..Data"), [](S& s) { s.RecordNameBase = "NoiseData"; }, 1, true},
        {"RecordNameBase", QString("Noise Data-1"), [](S& s) { s.RecordNameBase = "Noise Data-1"; }, kTrue},
        {"RecordFileExtension", QString("/../x"), [](S& s) { s.RecordFileExtension = ".dat"; }, 1, true},
        {"RecordFileExtension", QString(".dat.txt"), [](S& s) { s.RecordFileExtension = ".dat.txt"; }, kTrue},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.name) + " " + c.stored.toString().toStdString());
        QFile::remove(files.currentUser);
        putAll();
        put(c.name, c.stored);
        RecorderSettings s, want = all();
        s.StatisticsInterval = 1800;  // a reload replaces what was loaded before
        s.LimitLevel = 1;
        c.expect(want);
        std::vector<std::string> logged;
        EXPECT_EQ(load(s, [&](const std::string& l, int32_t) { logged.push_back(l); }), c.result);
        EXPECT_EQ(fields(s), fields(want));
        EXPECT_EQ(logged, c.logged ? std::vector<std::string>{std::string(": RecorderSettings.") + c.name + ": "}
                                   : std::vector<std::string>{});
    }
}

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
