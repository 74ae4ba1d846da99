// Entry point of the GoogleTest programs that need widgets.
#include <QApplication>

#include <gtest/gtest.h>

int main(int argc, char** argv) {
    // Off screen unless a platform is chosen explicitly (test discovery runs without the test environment).
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
