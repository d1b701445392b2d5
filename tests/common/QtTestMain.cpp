// main() of the GoogleTest programs that test windows: one QApplication for the whole program,
// on the offscreen platform unless QT_QPA_PLATFORM names another (test discovery at build time
// runs the program without ctest's environment, and maybe without a display).
#include <QApplication>

#include <gtest/gtest.h>

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
