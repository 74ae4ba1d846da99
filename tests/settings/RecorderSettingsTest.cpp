#include "settings/RecorderSettings.h"

#include "core/Types.h"
#include "settings/cRegistry.h"

#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace kestro;

namespace {

// Every field as text, so that two settings compare (and print) in one step.
std::string fields(const RecorderSettings& s) {
    return QStringList{s.RecordDirectory,
                       s.RecordNameBase,
                       s.RecordFileExtension,
                       QString::number(s.IncludeHeaderLine),
                       QString::number(s.IncludeSystemTime),
                       QString::number(s.IncludeOverflow),
                       QString::number(s.IncludeUnderflow),
                       QString::number(s.DecimalSeparator.unicode()),
                       QString::number(s.TabularSeparator.unicode()),
                       QString::number(s.StatisticsInterval),
                       QString::number(s.LimitLevel),
                       QString::number(s.DayStartHour),
                       QString::number(s.EveningStartHour),
                       QString::number(s.NightStartHour)}
        .join('|')
        .toStdString();
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
TEST_F(RecorderSettingsTest, StoredValuesAndWhatIsUsedInstead) {
    const struct {
        const char* name;
        QVariant stored;
        void (*expect)(RecorderSettings&);  // the change against all()
        int16_t result;
    } cases[] = {
        {"TabularSeparator", 32, [](RecorderSettings& s) { s.TabularSeparator = ' '; }, kTrue},
        {"TabularSeparator", 0xA7, [](RecorderSettings& s) { s.TabularSeparator = QChar(0xA7); }, kTrue},
        {"TabularSeparator", 0, [](RecorderSettings& s) { s.TabularSeparator = ';'; }, 1},
        {"TabularSeparator", 256, [](RecorderSettings& s) { s.TabularSeparator = ';'; }, 1},
        {"IncludeSystemTime", -1, [](RecorderSettings& s) { s.IncludeSystemTime = true; }, kTrue},
        {"StatisticsInterval", QString("300"), [](RecorderSettings& s) { s.StatisticsInterval = 300; }, kTrue},
        {"StatisticsInterval", 120, [](RecorderSettings&) {}, kTrue},
        {"LimitLevel", 655, [](RecorderSettings& s) { s.LimitLevel = 655; }, kTrue},
        {"LimitLevel", -5, [](RecorderSettings&) {}, kTrue},
        {"NightStartHour", 22, [](RecorderSettings& s) { s.NightStartHour = 22; }, kTrue},
        {"NightStartHour", 24, [](RecorderSettings&) {}, kTrue},
        {"LimitLevel", 2000, [](RecorderSettings& s) { s.LimitLevel = 2000; }, kTrue},
        {"IncludeHeaderLine", QString("yes"), [](RecorderSettings& s) { s.IncludeHeaderLine = false; }, 1},
        // A directory is the user's choice, wherever it leads.
        {"RecordDirectory", QString("/srv/noise/../x"),
         [](RecorderSettings& s) { s.RecordDirectory = "/srv/noise/../x"; }, kTrue},
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
        EXPECT_EQ(load(s), c.result);
        EXPECT_EQ(fields(s), fields(want));
    }
}

// A hand-edited base name or extension that would put record files outside
// the record directory is replaced by its default, and the log says which.
TEST_F(RecorderSettingsTest, NamePartsThatLeaveTheDirectoryAreReplaced) {
    const struct {
        const char* base;
        const char* ext;
        const char* expectedBase;
        const char* expectedExt;
        const char* logged;
    } cases[] = {
        {"../../etc/cron.d/x", ".dat", "NoiseData", ".dat", ": RecorderSettings.RecordNameBase: "},
        {"Noise", "/../x", "Noise", ".dat", ": RecorderSettings.RecordFileExtension: "},
        {"Noise\x01", ".txt", "NoiseData", ".txt", ": RecorderSettings.RecordNameBase: "},
        {"Noise..Data", ".dat", "NoiseData", ".dat", ": RecorderSettings.RecordNameBase: "},
        {"Noise Data-1", ".dat.txt", "Noise Data-1", ".dat.txt", nullptr},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.base);
        putAll();
        put("RecordNameBase", QString::fromLatin1(c.base));
        put("RecordFileExtension", QString::fromLatin1(c.ext));
        std::vector<std::string> logged;
        RecorderSettings s;
        EXPECT_EQ(load(s, [&](const std::string& l, int32_t) { logged.push_back(l); }), c.logged ? 1 : kTrue);
        EXPECT_EQ(s.RecordNameBase, QString::fromLatin1(c.expectedBase));
        EXPECT_EQ(s.RecordFileExtension, QString::fromLatin1(c.expectedExt));
        EXPECT_EQ(logged, c.logged ? std::vector<std::string>{c.logged} : std::vector<std::string>{});
    }
}

}  // namespace
