// Entry point of the GoogleTest programs that need widgets.
#include "shell/Translations.h"

#include <QApplication>
#include <QLocale>

#include <gtest/gtest.h>

int main(int argc, char** argv) {
    // Off screen unless a platform is chosen explicitly (test discovery runs without the test environment).
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    // Numbers as the tests expect them, whatever the developer's locale; the
    // translation tests and the German pictures choose theirs.
    QLocale::setDefault(QLocale::c());
    if (!qEnvironmentVariableIsEmpty("KESTRO_TEST_LANG"))
        kestro::installTranslations(app, qEnvironmentVariable("KESTRO_TEST_LANG"));
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
