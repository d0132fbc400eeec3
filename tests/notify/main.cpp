#include "support/session_bus.h"

#include <QApplication>

#include <gtest/gtest.h>

#include <cstdlib>

// Every test of the program talks to a session bus of its own, which must be known before Qt first reaches for
// one; the window's test needs a QApplication, offscreen unless told otherwise.
int main(int argc, char** argv)
{
    const test::TSessionBus bus;
    if (!bus.address().empty())
        ::setenv("DBUS_SESSION_BUS_ADDRESS", bus.address().c_str(), 1);
    else
        ::unsetenv("DBUS_SESSION_BUS_ADDRESS");
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
