// Runs a test program's cases inside one application object: text needs fonts, fonts need a
// GUI application, and tests that show widgets need a widget application.

#include <gtest/gtest.h>

#ifdef KARVEL_TEST_WIDGETS
#include <QApplication>
using TestApplication = QApplication;
#else
#include <QGuiApplication>
using TestApplication = QGuiApplication;
#endif

int main(int argc, char** argv) {
    TestApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
