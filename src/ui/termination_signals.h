#pragma once

#include <functional>

class QObject;

// Runs `onTermination` on the thread of `context` (the window's) when the process receives SIGTERM, SIGHUP
// or SIGINT, as a desktop session or a terminal ends the program, so that it can end in order with its
// settings written instead of dying where it stands. Install once; later calls replace the action.
void handleTerminationSignals(QObject* context, std::function<void()> onTermination);
