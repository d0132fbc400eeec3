#include "ui/run_reporter.h"

#include "check/check_run.h"
#include "notify/desktop_notifier.h"
#include "session/sjis_text.h"
#include "store/item_extension.h"
#include "ui/item_list.h"
#include "ui/run_controller.h"
#include "ui/run_notifier.h"
#include "ui/run_schedule.h"
#include "ui/tray.h"

#include <QLabel>
#include <QStringList>
#include <QTime>
#include <QWidget>

namespace {

// The rows found updated that a notification names.
constexpr size_t NamedUpdates = 5;

QString clockText()
{
    return QTime::currentTime().toString(QStringLiteral("HH:mm:ss"));
}

// Told on every item: a text the panel already shows is not set again, which would lay the label out anew.
void setPanelText(QLabel* panel, const QString& text)
{
    if (panel->text() != text)
        panel->setText(text);
}

} // namespace

TRunReporter::TRunReporter(TConfig& config, TRunController& run, TItemList& list, TTray& tray, QWidget& window,
    const std::array<QLabel*, 3>& panels)
    : QObject(&window)
    , m_config(config)
    , m_run(run)
    , m_list(list)
    , m_tray(tray)
    , m_window(window)
    , m_panels(panels)
    , m_schedule(new TRunSchedule(this))
{
    setObjectName(QStringLiteral("runReporter"));
    m_schedule->setStartCondition([this] { return mayStartTimedRun(); });
    connect(m_schedule, &TRunSchedule::runDue, this, [this] { startTimedRun(); });
    connect(m_schedule, &TRunSchedule::nextRunChanged, this, [this] { showNextRun(); });

    connect(&m_run, &TRunController::runStarted, this, [this] { runStarted(); });
    connect(
        &m_run, &TRunController::itemStarted, this, [this](const QString& title) { setPanelText(m_panels[2], title); });
    connect(&m_run, &TRunController::itemDone, this,
        [this](const std::string& id, size_t, const TItemDone& done) { itemDone(id, done); });
    connect(&m_run, &TRunController::runEnded, this, &TRunReporter::runEnded);
    connect(&m_run, &TRunController::runFinished, this, [this] { runFinished(); });
}

void TRunReporter::start()
{
    m_started = true;
    applySchedule();
    if (m_config.checkAtStart != 0)
        m_schedule->runSoon();
}

TDesktopNotifier* TRunReporter::desktopNotifier()
{
    if (!m_desktop) {
        m_desktop = new TDesktopNotifier(this);
        connect(m_desktop, &TDesktopNotifier::restoreRequested, this, &TRunReporter::restoreWanted);
        connect(m_desktop, &TDesktopNotifier::changesRequested, this, &TRunReporter::changesWanted);
    }
    return m_desktop;
}

TRunNotifier* TRunReporter::notifier()
{
    if (!m_notifier)
        m_notifier = new TRunNotifier(this);
    return m_notifier;
}

void TRunReporter::runStarted()
{
    m_updated.clear();
    m_unreachable.clear();
    m_ended = false;
    setPanelText(m_panels[0], clockText());
    setPanelText(m_panels[1], QStringLiteral("確認中"));
}

void TRunReporter::itemDone(const std::string& id, const TItemDone& done)
{
    if (done.updated && m_updated.size() < NamedUpdates)
        m_updated.push_back(id);
    const std::optional<size_t> row = m_config.items.indexOfId(id);
    if (!done.updated && row && m_unreachable.size() < static_cast<qsizetype>(NamedUpdates)) {
        const TCheckItem& item = m_config.items[*row];
        if (item.status == ItemStatus::Error && item.extension(ExtKey::Failures) == "3")
            m_unreachable.append(fromSjis(item.title()));
    }
}

void TRunReporter::runEnded(const TRunSummary& summary)
{
    m_ended = true;
    m_panels[1]->setText(clockText());
    const ReportMode report = m_config.report();
    if (summary.updated > 0) {
        m_summary = QString::number(summary.taken) + QStringLiteral("件中、") + QString::number(summary.updated)
            + QStringLiteral("件が更新されています");
        m_panels[2]->setText(m_summary);
        if (report == ReportMode::OnUpdate || report == ReportMode::Always)
            reportRunEnd(m_config.soundOnUpdate != 0, m_config.soundUpdateFile(), m_summary);
    } else {
        m_summary = QStringLiteral("更新はありませんでした");
        m_panels[2]->setText(m_summary);
        if (report == ReportMode::Always)
            reportRunEnd(m_config.soundOnNoUpdate != 0, m_config.soundNoUpdateFile(), m_summary);
        else if (m_timedRun && !m_unreachable.isEmpty() && (!m_window.isVisible() || m_window.isMinimized()))
            postNotification(m_summary); // pages that stopped answering are news of their own, told quietly
    }
}

void TRunReporter::runFinished()
{
    // A run that failed before its end still gets its end time.
    if (!m_ended)
        m_panels[1]->setText(clockText());
    m_schedule->restartNotBefore(m_run.longestRetryAfter());
}

bool TRunReporter::mayStartTimedRun()
{
    // Before the window is up at start there is nothing yet to report to.
    return m_started && m_list.enabled() && m_run.idle() && (m_window.isVisible() || m_tray.shown());
}

void TRunReporter::startTimedRun()
{
    m_timedRun = true;
    m_run.run(m_config);
    m_timedRun = false;
}

void TRunReporter::applySchedule()
{
    const int minutes = TRunSchedule::boundedInterval(m_config.checkInterval);
    m_config.checkInterval = minutes;
    if (m_schedule->interval() != minutes)
        m_schedule->setInterval(minutes);
}

void TRunReporter::showNextRun()
{
    // During a run the panel names the item in hand.
    if (!m_run.idle())
        return;
    QString text = m_summary;
    const QDateTime next = m_schedule->nextRun();
    if (!next.isNull()) {
        if (!text.isEmpty())
            text += QStringLiteral("　");
        text += QStringLiteral("次回の確認 ") + next.toString(QStringLiteral("HH:mm"));
    }
    m_panels[2]->setText(text);
}

void TRunReporter::reportRunEnd(bool sound, const std::string& waveFile, const QString& summary)
{
    const bool away = !m_window.isVisible() || m_window.isMinimized();
    if (!m_timedRun || !away || !postNotification(summary))
        emit restoreWanted();
    playRunEndSound(sound, waveFile);
}

bool TRunReporter::postNotification(const QString& summary)
{
    TRunNews news { summary, {}, m_unreachable };
    for (const std::string& id : m_updated) {
        if (const std::optional<size_t> row = m_config.items.indexOfId(id))
            news.updated.push_back({ QString::fromStdString(id), fromSjis(m_config.items[*row].title()), {} });
    }
    if (m_history)
        addFirstAddedLines(news, *m_history);
    if (desktopNotifier()->available() && desktopNotifier()->notify(news))
        return true;
    if (!m_tray.available())
        return false;
    m_tray.show();
    const QString body = notificationBody(news);
    notifier()->showMessage(
        m_tray.icon(), QStringLiteral("Vantrel"), body.isEmpty() ? summary : summary + QLatin1Char('\n') + body);
    return true;
}

void TRunReporter::playRunEndSound(bool sound, const std::string& waveFile)
{
    if (sound)
        notifier()->playWave(waveFile);
    else
        notifier()->beep();
}
