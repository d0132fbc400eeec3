#pragma once

#include "store/config.h"

#include <QObject>
#include <QString>
#include <QStringList>

#include <array>
#include <string>
#include <vector>

class QLabel;
class QWidget;
class TDesktopNotifier;
class THistoryTexts;
class TItemList;
class TRunController;
class TRunNotifier;
class TRunSchedule;
class TTray;
struct TItemDone;
struct TRunSummary;

// Tells the user about the check runs: the run's progress and summary in the status bar, the end of a run as
// the report mode asks for it (the window back with a sound, or a desktop notification while a timed run finds
// the window away), and the schedule that starts the timed runs and the run at start-up.
class TRunReporter : public QObject
{
    Q_OBJECT
public:
    TRunReporter(TConfig& config, TRunController& run, TItemList& list, TTray& tray, QWidget& window,
        const std::array<QLabel*, 3>& panels);

    // The window is up: timed runs may start from now on, and the run at start-up when the settings ask for it.
    void start();
    // The schedule follows the settings; the interval counts anew only when it changed.
    void applySchedule();
    // Plays the sounds at the end of a run and posts its desktop notifications.
    TRunNotifier* notifier();
    // Posts the notifications to the desktop's notification service; the tray's balloon stands in where none
    // answers.
    TDesktopNotifier* desktopNotifier();
    // The history of the page texts, for the first added line of each page a notification names.
    void setHistory(THistoryTexts* history) { m_history = history; }
    TRunSchedule* schedule() const { return m_schedule; }

signals:
    // The end of a run brings the window back, as the Restore command does.
    void restoreWanted();
    // The notification's action "変更点を表示": the changes of the first updated item.
    void changesWanted(const QString& itemId);

private:
    void runStarted();
    void itemDone(const std::string& id, const TItemDone& done);
    void runEnded(const TRunSummary& summary);
    void runFinished();
    bool mayStartTimedRun();
    void startTimedRun();
    // The third panel when idle: the last run's summary, then the time of the next timed run.
    void showNextRun();
    // The end of a run as the report mode asks for it: a timed run while the window is away in the tray or
    // minimised posts a notification instead of bringing the window back, where the desktop can show one.
    void reportRunEnd(bool sound, const std::string& waveFile, const QString& summary);
    // Through the desktop's notification service, else the tray's balloon; false where neither is there.
    bool postNotification(const QString& summary);
    void playRunEndSound(bool sound, const std::string& waveFile);

    TConfig& m_config;
    TRunController& m_run;
    TItemList& m_list;
    TTray& m_tray;
    QWidget& m_window;
    std::array<QLabel*, 3> m_panels;
    TRunNotifier* m_notifier = nullptr;
    TDesktopNotifier* m_desktop = nullptr;
    THistoryTexts* m_history = nullptr;
    TRunSchedule* m_schedule = nullptr;
    bool m_started = false;
    bool m_timedRun = false;
    bool m_ended = false;
    // The items found updated by the run in progress, the first few, for its notification.
    std::vector<std::string> m_updated;
    // Titles of the items that have just failed for the third time in a row.
    QStringList m_unreachable;
    QString m_summary;
};
