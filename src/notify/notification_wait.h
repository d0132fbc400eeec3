#pragma once

#include "notify/desktop_notifier.h"

#include <QStringList>

#include <chrono>

// How long a command that has finished its run stays to hear a click on its notification. The exit status is
// decided before; the wait ends at once when the notification is answered, closed or expires.
inline constexpr std::chrono::seconds NotificationWait { 30 };

// For a command without a window, after its run: posts the news where a notification service answers on the
// session bus and waits up to `wait` for the user's answer. Either action starts the program's window, detached,
// with `windowArguments` in the current folder. Without a session bus or a service it posts nothing and says
// nothing. Makes a QCoreApplication of its own when there is none.
// The environment variable VANTREL_WINDOW_PROGRAM names another program to start in place of this one.
void postAndAwaitAnswer(
    const TRunNews& news, const QStringList& windowArguments, std::chrono::milliseconds wait = NotificationWait);
