// Entry point of the GoogleTest programs that need widgets.
#include "shell/Translations.h"

#include <QApplication>

#include <gtest/gtest.h>

int main(int argc, char** argv) {
    // Off screen unless a platform is chosen explicitly (test discovery runs without the test environment).
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    // The German pictures of the documentation.
    if (!qEnvironmentVariableIsEmpty("KESTRO_TEST_LANG"))
        kestro::installTranslations(app, qEnvironmentVariable("KESTRO_TEST_LANG"));
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
