// main() of the GoogleTest programs that test windows: one QApplication for the whole program
// (the platform comes from QT_QPA_PLATFORM; ctest sets offscreen).
#include <QApplication>

#include <gtest/gtest.h>

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
