#include <gtest/gtest.h>

#include <QApplication>

// The control paints and shows dialogs, so its tests run inside a widget application.
int main(int argc, char** argv) {
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
