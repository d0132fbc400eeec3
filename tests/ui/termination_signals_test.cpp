#include "ui/termination_signals.h"

#include <QCoreApplication>
#include <QObject>

#include <gtest/gtest.h>

#include <csignal>

TEST(TerminationSignals, EachSignalRunsTheActionOnTheEventLoop)
{
    for (int signal : { SIGTERM, SIGHUP, SIGINT }) {
        SCOPED_TRACE(signal);
        QObject context;
        int calls = 0;
        handleTerminationSignals(&context, [&calls] { ++calls; });
        ASSERT_EQ(std::raise(signal), 0);
        // Not inside the handler: only once the event loop runs.
        EXPECT_EQ(calls, 0);
        for (int round = 0; round < 500 && calls == 0; ++round)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        EXPECT_EQ(calls, 1);
        // Two signals before the loop runs end the program once.
        ASSERT_EQ(std::raise(signal), 0);
        ASSERT_EQ(std::raise(signal), 0);
        for (int round = 0; round < 500 && calls == 1; ++round)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        EXPECT_EQ(calls, 2);
    }
    for (int signal : { SIGTERM, SIGHUP, SIGINT })
        std::signal(signal, SIG_DFL);
}
