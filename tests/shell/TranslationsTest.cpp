#include "shell/Translations.h"

#include <gtest/gtest.h>

// The choice of the setting or --lang against the desktop's languages and the C locale.
TEST(InterfaceLanguage, FollowsTheChoiceThenTheDesktop) {
    const struct {
        const char *choice, *desktop;
        bool c;
        const char* language;
    } cases[] = {{"auto", "de-AT en-US", false, "de"}, {"auto", "fr-FR en-GB", false, "en"},
                 {"auto", "ja-JP", false, "en"},       {"auto", "de-DE", true, ""},
                 {"de", "fr-FR", true, "de"},          {"en", "de-DE", false, "en"}};
    for (const auto& c : cases)
        EXPECT_EQ(kestro::interfaceLanguage(c.choice, QString(c.desktop).split(' '), c.c), c.language) << c.desktop;
    EXPECT_EQ(kestro::languageChoice(2) + kestro::languageChoice(0), "deauto");
}
