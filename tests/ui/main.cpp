#include <QApplication>

#include <gtest/gtest.h>

// The widget tests need one QApplication for the whole program.
int main(int argc, char** argv)
{
    // Offscreen unless told otherwise, also when the build lists the tests.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
