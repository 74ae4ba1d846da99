#include "settings/RecorderSettings.h"

#include "protocol/Types.h"
#include "settings/cRegistry.h"

#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace kestro;

namespace {

class RecorderSettingsTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        files.currentUser = dir.filePath("registry.json");
        files.localMachine = dir.filePath("machine.json");
    }

    void Put(const char* name, const QVariant& v, int32_t type) {
        cRegistry w(files);
        w.ClassKey = HKEY_CURRENT_USER_;
        w.SectionKey = kRecorderSection;
        w.ValueKey = name;
        w.ValueType = type;
        w.SetValue(v);
    }
    void PutText(const char* name, const QString& v) { Put(name, v, REG_SZ_); }
    void PutNumber(const char* name, int v) { Put(name, v, REG_DWORD_); }

    void PutAll() {
        PutText("RecordDirectory", "/data/noise");
        PutText("RecordNameBase", "");
        PutText("RecordFileExtension", ".txt");
        PutNumber("IncludeHeaderLine", 1);
        PutNumber("IncludeSystemTime", 0);
        PutNumber("IncludeOverflow", 1);
        PutNumber("IncludeUnderflow", 1);
        PutNumber("DecimalSeparator", 46);
        PutNumber("TabularSeparator", 9);
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
    EXPECT_FALSE(s.IncludeHeaderLine);
    EXPECT_TRUE(s.IncludeSystemTime);
    EXPECT_FALSE(s.IncludeOverflow);
    EXPECT_FALSE(s.IncludeUnderflow);
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
    EXPECT_TRUE(s.IncludeHeaderLine);
    EXPECT_FALSE(s.IncludeSystemTime);
    EXPECT_TRUE(s.IncludeOverflow);
    EXPECT_TRUE(s.IncludeUnderflow);
    EXPECT_EQ(s.DecimalSeparator, QChar('.'));
    EXPECT_EQ(s.TabularSeparator, QChar('\t'));
}

TEST_F(RecorderSettingsTest, OneMissingValueTakesItsDefaultOnly) {
    // Everything but "RecordFileExtension".
    PutText("RecordDirectory", "/data/noise");
    PutText("RecordNameBase", "Base");
    PutNumber("IncludeHeaderLine", 1);
    PutNumber("IncludeSystemTime", 0);
    PutNumber("IncludeOverflow", 0);
    PutNumber("IncludeUnderflow", 0);
    PutNumber("DecimalSeparator", 44);
    PutNumber("TabularSeparator", 32);
    RecorderSettings s;
    EXPECT_EQ(Load(s), 1);
    EXPECT_EQ(s.RecordNameBase, "Base");
    EXPECT_EQ(s.RecordFileExtension, ".dat");
    EXPECT_TRUE(s.IncludeHeaderLine);
    EXPECT_FALSE(s.IncludeSystemTime);
    EXPECT_EQ(s.TabularSeparator, QChar(' '));
}

struct SeparatorCase {
    int code;
    QChar expected;
    int16_t result;
};

TEST_F(RecorderSettingsTest, SeparatorCodesBecomeCharacters) {
    const SeparatorCase cases[] = {
        {9, QChar('\t'), kTrue}, {32, QChar(' '), kTrue},  {59, QChar(';'), kTrue},
        {44, QChar(','), kTrue}, {46, QChar('.'), kTrue},  {0xA7, QChar(0xA7), kTrue},  // Latin-1 section sign
        {0, QChar(';'), 1},      {256, QChar(';'), 1},     {-1, QChar(';'), 1},
    };
    PutAll();
    for (const SeparatorCase& c : cases) {
        SCOPED_TRACE(c.code);
        PutNumber("TabularSeparator", c.code);
        RecorderSettings s;
        EXPECT_EQ(Load(s), c.result);
        EXPECT_EQ(s.TabularSeparator, c.expected);
        EXPECT_EQ(s.DecimalSeparator, QChar('.'));
    }
}

TEST_F(RecorderSettingsTest, FlagsAreTrueForAnyNonZeroNumber) {
    const std::pair<int, bool> cases[] = {{0, false}, {1, true}, {-1, true}, {2, true}};
    PutAll();
    for (const auto& [stored, expected] : cases) {
        SCOPED_TRACE(stored);
        PutNumber("IncludeSystemTime", stored);
        RecorderSettings s;
        EXPECT_EQ(Load(s), kTrue);
        EXPECT_EQ(s.IncludeSystemTime, expected);
    }
}

TEST_F(RecorderSettingsTest, FlagStoredAsTextSpellingANumberIsAccepted) {
    PutAll();
    PutText("IncludeHeaderLine", "0");
    PutText("IncludeOverflow", "yes");
    RecorderSettings s;
    EXPECT_EQ(Load(s), 1);  // "yes" is no number: default and a reason for the setup dialog
    EXPECT_FALSE(s.IncludeHeaderLine);
    EXPECT_FALSE(s.IncludeOverflow);
}

TEST_F(RecorderSettingsTest, DirectoryWithEnvironmentReferenceIsExpanded) {
    PutAll();
    PutText("RecordDirectory", "%HOME%/KestroData");
    RecorderSettings s;
    EXPECT_EQ(Load(s), kTrue);
    EXPECT_EQ(s.RecordDirectory, qEnvironmentVariable("HOME") + "/KestroData");
}

}  // namespace
