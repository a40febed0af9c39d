// main() for every GUI test: one QApplication for the whole run, then
// GoogleTest. The platform is the one the environment names (offscreen under
// CTest, xcb for the runs under Xvfb); offscreen when it names none, so that
// listing the tests at build time needs no display.
#include <QApplication>

#include <gtest/gtest.h>

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
