#include "shell/FileTitle.h"
#include "shell/LogDir.h"

#include <gtest/gtest.h>

using namespace kestro;

namespace {

TEST(FindLogDirTest, EnvironmentRules) {
    const QString exe = "/opt/kestro/bin";
    struct Case {
        const char* label;
        QStringList environment;
        QString expected;
    };
    const Case cases[] = {
        {"no entry", {"PATH=/usr/bin", "HOME=/root"}, exe},
        {"plain entry", {"PATH=/usr/bin", "LOGFILES=/x"}, "/x"},
        {"first of two wins", {"LOGFILES=/first", "LOGFILES=/second"}, "/first"},
        // The value starts at the tenth character, so here it keeps the "=".
        {"ninth character skipped", {"LOGFILESX=/y"}, "=/y"},
        {"ninth character is part of the name", {"LOGFILES_DIR=/z"}, "DIR=/z"},
        {"scan stops at an empty entry", {"A=1", "", "LOGFILES=/late"}, exe},
        {"empty value falls back", {"LOGFILES=", "LOGFILES=/second"}, exe},
        {"trailing separator removed", {"LOGFILES=/var/log/kestro/"}, "/var/log/kestro"},
        {"blanks kept", {"LOGFILES= /with blank "}, " /with blank "},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        EXPECT_EQ(findLogDir(c.environment, exe), c.expected);
    }
}

TEST(FileTitleTest, LastComponent) {
    const std::pair<const char*, const char*> cases[] = {
        {"/data/records/a.txt", "a.txt"},
        {"/data/records/", ""},
        {"C:\\Data\\a.txt", "a.txt"},
        {"mixed\\dir/b.dat", "b.dat"},
        {"", ""},
    };
    for (const auto& [path, title] : cases) {
        SCOPED_TRACE(path);
        EXPECT_EQ(FileTitle(path), QString(title));
    }
}

}  // namespace
