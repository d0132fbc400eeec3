#include <QApplication>

#include <gtest/gtest.h>

// The widget tests need one QApplication for the whole program.
int main(int argc, char** argv)
{
    // Offscreen unless told otherwise, also when the build lists the tests.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    // No notification service of the desktop the tests run on: the window's notifications go to its tray.
    qputenv("DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent/vantrel-test-bus");
    QApplication app(argc, argv);
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
