#include "settings/RecorderSettings.h"

#include "core/Types.h"
#include "settings/cRegistry.h"

#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace kestro;

namespace {

class RecorderSettingsTest : public ::testing::Test {
protected:
    void SetUp() override {
        files.currentUser = dir.filePath("registry.json");
        files.localMachine = dir.filePath("machine.json");
    }

    void Put(const char* name, const QVariant& v) {
        cRegistry w(files);
        w.ClassKey = HKEY_CURRENT_USER_;
        w.SectionKey = kRecorderSection;
        w.ValueKey = name;
        w.ValueType = v.typeId() == QMetaType::QString ? REG_SZ_ : REG_DWORD_;
        w.SetValue(v);
    }

    void PutAll() {
        for (const auto& [name, v] : {std::pair<const char*, QVariant>{"RecordDirectory", QString("/data/noise")},
                                      {"RecordNameBase", QString("")},
                                      {"RecordFileExtension", QString(".txt")},
                                      {"IncludeHeaderLine", 1},
                                      {"IncludeSystemTime", 0},
                                      {"IncludeOverflow", 1},
                                      {"IncludeUnderflow", 1},
                                      {"DecimalSeparator", 46},
                                      {"TabularSeparator", 9}})
            Put(name, v);
    }

    int16_t Load(RecorderSettings& s) {
        cRegistry reg(files);
        return s.InitForm(reg, "/opt/kestro");
    }

    QTemporaryDir dir;
    RegistryFiles files;
};

TEST_F(RecorderSettingsTest, EmptyStoreGivesDefaultsAndWritesNothing) {
    RecorderSettings s;
    s.RecordNameBase = "stale";  // a reload must not keep the previous value
    s.IncludeSystemTime = false;
    EXPECT_EQ(Load(s), 1);
    EXPECT_EQ(s.RecordDirectory, "/opt/kestro");
    EXPECT_EQ(s.RecordNameBase, "NoiseData");
    EXPECT_EQ(s.RecordFileExtension, ".dat");
    EXPECT_FALSE(s.IncludeHeaderLine || s.IncludeOverflow || s.IncludeUnderflow);
    EXPECT_TRUE(s.IncludeSystemTime);
    EXPECT_EQ(s.DecimalSeparator, QChar(','));
    EXPECT_EQ(s.TabularSeparator, QChar(';'));
    EXPECT_FALSE(QFileInfo::exists(files.currentUser));
}

TEST_F(RecorderSettingsTest, FullStoreLoadsEveryValueEmptyTextsIncluded) {
    PutAll();
    RecorderSettings s;
    EXPECT_EQ(Load(s), kTrue);
    EXPECT_EQ(s.RecordDirectory, "/data/noise");
    EXPECT_EQ(s.RecordNameBase, "");
    EXPECT_EQ(s.RecordFileExtension, ".txt");
    EXPECT_TRUE(s.IncludeHeaderLine && s.IncludeOverflow && s.IncludeUnderflow);
    EXPECT_FALSE(s.IncludeSystemTime);
    EXPECT_EQ(s.DecimalSeparator, QChar('.'));
    EXPECT_EQ(s.TabularSeparator, QChar('\t'));
}

TEST_F(RecorderSettingsTest, SeparatorCodesAndFlagNumbers) {
    struct Case {
        int separator, flag;
        QChar expected;
        bool flagSet;
        int16_t result;
    };
    const Case cases[] = {
        {9, -1, '\t', true, kTrue}, {32, 2, ' ', true, kTrue},
        {59, 0, ';', false, kTrue}, {0xA7, 1, QChar(0xA7), true, kTrue},
        {0, 1, ';', true, 1},       {256, 1, ';', true, 1},  // out of range: default
    };
    PutAll();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.separator);
        Put("TabularSeparator", c.separator);
        Put("IncludeSystemTime", c.flag);
        RecorderSettings s;
        EXPECT_EQ(Load(s), c.result);
        EXPECT_EQ(s.TabularSeparator, c.expected);
        EXPECT_EQ(s.IncludeSystemTime, c.flagSet);
    }
}

// The statistics values came after the nine: their absence must not open the setup dialog.
TEST_F(RecorderSettingsTest, StatisticsValuesWithDefaultsAndRanges) {
    struct Case {
        QVariant interval, limit;  // invalid: not stored
        int32_t expectedInterval, expectedLimit;
    };
    const Case cases[] = {
        {QVariant(), QVariant(), 900, 0},
        {60, 655, 60, 655},
        {3600, 0, 3600, 0},
        {120, -5, 900, 0},
        {0, 2001, 900, 0},
        {QString("300"), QString("700"), 300, 700},
    };
    for (const Case& c : cases) {
        QTemporaryDir fresh;
        files.currentUser = fresh.filePath("registry.json");
        PutAll();
        if (c.interval.isValid()) Put("StatisticsInterval", c.interval);
        if (c.limit.isValid()) Put("LimitLevel", c.limit);
        RecorderSettings s;
        s.StatisticsInterval = 1800;  // a reload replaces what was loaded before
        s.LimitLevel = 1;
        EXPECT_EQ(Load(s), kTrue) << c.expectedInterval;
        EXPECT_EQ(s.StatisticsInterval, c.expectedInterval);
        EXPECT_EQ(s.LimitLevel, c.expectedLimit);
    }
}

}  // namespace

namespace {

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
        PutAll();
        Put("RecordNameBase", QString::fromLatin1(c.base));
        Put("RecordFileExtension", QString::fromLatin1(c.ext));
        std::vector<std::string> logged;
        RecorderSettings s;
        cRegistry reg(files);
        EXPECT_EQ(s.InitForm(reg, "/opt/kestro", [&](const std::string& l, int32_t) { logged.push_back(l); }),
                  c.logged ? 1 : kTrue);
        EXPECT_EQ(s.RecordNameBase, QString::fromLatin1(c.expectedBase));
        EXPECT_EQ(s.RecordFileExtension, QString::fromLatin1(c.expectedExt));
        EXPECT_EQ(logged, c.logged ? std::vector<std::string>{c.logged} : std::vector<std::string>{});
    }
}

}  // namespace
