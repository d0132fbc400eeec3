#include "ui/termination_signals.h"

#include "platform/termination_signals.h"

#include <QObject>
#include <QSocketNotifier>

void handleTerminationSignals(QObject* context, std::function<void()> onTermination)
{
    static QSocketNotifier* notifier = nullptr;
    catchTerminationSignals(TSecondSignal::Caught);
    if (terminationSignalFd() < 0)
        return;
    delete notifier;
    notifier = new QSocketNotifier(terminationSignalFd(), QSocketNotifier::Read, context);
    QObject::connect(notifier, &QSocketNotifier::activated, context, [action = std::move(onTermination)] {
        drainTerminationSignalFd();
        if (action)
            action();
    });
    // Gone with the window, its parent; the next call must not delete it again.
    QObject::connect(notifier, &QObject::destroyed, notifier, [] { notifier = nullptr; });
}
