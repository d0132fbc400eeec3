#pragma once

#include "check/check_run.h"
#include "check/http_checker.h"
#include "platform/event.h"
#include "store/config.h"

#include <QObject>
#include <QString>

#include <chrono>
#include <string>

// The window's check run: the run with its one client, the pump that keeps the window live while it waits, and
// the run-idle signal that holds every other command back meanwhile. It tells the other parts about the run
// through its signals, on the window's thread. The run's state is held by a scope for the length of run(), so
// that however a run ends, by its end, a stop or an exception, the window is idle again with every command
// enabled.
class TRunController : public QObject
{
    Q_OBJECT
public:
    explicit TRunController(QObject* parent);
    ~TRunController() override;

    // Checks the ticked items of `config` with the concurrency it gives; nothing when a run is in progress.
    // A failure ends the run where it stands: what was checked is kept.
    void run(TConfig& config);
    // Asks the run in progress to stop; it ends as soon as its requests have given up.
    void stop();
    bool stopped() const { return m_run.stopped(); }
    // No run is in progress.
    bool idle() { return m_runIdle.isSet(); }
    // The check context of every run, with its one client; its waits call the pump.
    THTTPChecker& checker() { return m_checker; }

    // A close asked for during a run: the run is stopped and closeDue is told once it has ended. Should it not
    // have unwound within 10 seconds, closeOverdue is told and the process ends where it stands.
    void closeAfterRun();

    // What a run's scope does at its start and end, each telling the other parts; a test holds the window busy
    // with them.
    void beginRun(size_t taken = 0);
    void endRun();

signals:
    // The run has taken its items and begun; the run-idle signal is reset.
    void runStarted(size_t taken);
    void itemStarted(const QString& title);
    // An item was checked; `row` is where it stood when the run took it.
    void itemDone(const std::string& id, size_t row, const TItemDone& done);
    // Time to show what the run did since the last time: told at most every 15 ms, from the pump.
    void progressDue();
    // The run has checked what it could; the run-idle signal is still reset.
    void runEnded(const TRunSummary& summary);
    // The run is over, however it ended, and every command may start again.
    void runFinished();
    void closeDue();
    void closeOverdue();

private:
    class TObserver;
    class TScope;
    void pumpEvents();

    THTTPChecker m_checker;
    TCheckRun m_run { m_checker };
    win32::TEvent m_runIdle { win32::TEvent::Reset::Manual, true };
    std::chrono::steady_clock::time_point m_lastPump;
    bool m_closeAfterRun = false;
};
