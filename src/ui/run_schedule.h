#pragma once

#include "session/ini_settings.h"

#include <QDateTime>
#include <QObject>
#include <QTimer>

#include <functional>

// When the next timed run is due, and starting it then. The time is counted from the end of the last run or
// from the change of the interval; a run that is due waits while the window may not start one (a run, a command
// or a modal dialog in progress) and starts as soon as it may.
class TRunSchedule : public QObject
{
    Q_OBJECT
public:
    static constexpr int MinInterval = TIniSettings::MinCheckInterval;
    static constexpr int MaxInterval = TIniSettings::MaxCheckInterval;
    // How long a due run waits before it asks again whether it may start.
    static constexpr int RetryMs = 1000;
    // The longest single wait, so that a changed wall clock or a machine waking from sleep is noticed soon.
    static constexpr int LongestWaitMs = 60000;

    // 0 and below for none; 1 to 4 become 5, more than 1440 becomes 1440.
    static int boundedInterval(int minutes);

    using TClock = std::function<QDateTime()>;

    explicit TRunSchedule(QObject* parent);

    // The wall clock unless replaced; tests move it to make a run due.
    void setClock(TClock clock) { m_clock = std::move(clock); }
    // Minutes between runs, 0 for none; the next run is counted from now.
    void setInterval(int minutes);
    int interval() const { return m_interval; }
    // After a run has ended: the next one is counted from now.
    void restart();
    // A run as soon as one may start, whatever the interval.
    void runSoon();
    // When the next run is due; null when none is planned.
    QDateTime nextRun() const { return m_next; }
    // What the timer calls: starts the run when it is due and may start, and sets the timer for the next look.
    void poll();
    const QTimer& timer() const { return m_timer; }

    // Whether the window may start a run now; a modal dialog or an open menu holds it back besides.
    void setStartCondition(std::function<bool()> mayStart) { m_mayStart = std::move(mayStart); }

signals:
    // A run is due and may start: the receiver starts it and returns when it has ended.
    void runDue();
    void nextRunChanged();

private:
    void plan(const QDateTime& next);
    void arm();
    bool blocked() const;

    TClock m_clock;
    std::function<bool()> m_mayStart;
    QTimer m_timer;
    QDateTime m_next;
    int m_interval = 0;
    bool m_starting = false;
};
