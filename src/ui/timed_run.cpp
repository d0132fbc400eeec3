// The window's share of the timed runs: when one may start, the next run's time in the status bar, and the
// notification that stands in for the window at the end of a timed run.
#include "ui/main_window.h"

#include "ui/run_notifier.h"
#include "ui/run_schedule.h"
#include "ui/sjis_text.h"

#include <QLabel>
#include <QStringList>
#include <QSystemTrayIcon>

bool TImgForm::mayStartTimedRun()
{
    // Before the window is up at start there is nothing yet to report to.
    return m_started && formEnabled() && idle() && (isVisible() || trayIconShown());
}

void TImgForm::startTimedRun()
{
    m_timedRun = true;
    runChecks();
    m_timedRun = false;
}

void TImgForm::applySchedule()
{
    const int minutes = TRunSchedule::boundedInterval(m_config.checkInterval);
    m_config.checkInterval = minutes;
    if (m_schedule->interval() != minutes)
        m_schedule->setInterval(minutes);
}

void TImgForm::showNextRun()
{
    // During a run the panel names the item in hand.
    if (!idle())
        return;
    QString text = m_runSummary;
    const QDateTime next = m_schedule->nextRun();
    if (!next.isNull()) {
        if (!text.isEmpty())
            text += QStringLiteral("　");
        text += QStringLiteral("次回の確認 ") + next.toString(QStringLiteral("HH:mm"));
    }
    statusPanel(2)->setText(text);
}

void TImgForm::reportRunEnd(bool sound, const std::string& waveFile, const QString& summary)
{
    const bool away = !isVisible() || isMinimized();
    if (!m_timedRun || !away || !m_trayAvailable || !m_trayAvailable()) {
        notifyRunEnd(sound, waveFile);
        return;
    }
    QStringList lines { summary };
    for (size_t row : m_runUpdated) {
        if (const TCheckItem* item = m_config.items.at(row))
            lines.append(fromSjis(item->title()));
    }
    showTrayIcon();
    runNotifier()->showMessage(m_tray, QStringLiteral("Vantrel"), lines.join(QLatin1Char('\n')));
    playRunEndSound(sound, waveFile);
}
