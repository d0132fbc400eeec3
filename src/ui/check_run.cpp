#include "ui/main_window.h"
#include "ui/wait_cursor.h"

#include "ui/character_player.h"
#include "ui/check_list_model.h"
#include "ui/run_notifier.h"
#include "ui/run_schedule.h"
#include "ui/sjis_text.h"

#include <QApplication>
#include <QLabel>
#include <QTime>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <iterator>
#include <string>
#include <vector>

namespace {

constexpr int CloseWaitMs = 10000;
// Often enough for the window, the character and Stop to feel immediate, seldom enough that repainting the
// window does not cost more than a request to a near server.
constexpr auto PumpInterval = std::chrono::milliseconds(15);

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

// Hands the run's news on to the window and keeps the first rows found updated, which a notification names.
class TUpdatedRows : public TCheckRunObserver
{
public:
    static constexpr size_t Kept = 5;

    TUpdatedRows(TCheckRunObserver& window, std::vector<size_t>& rows)
        : m_window(window)
        , m_rows(rows)
    {
        m_rows.clear();
    }

    void runStarted(size_t taken) override { m_window.runStarted(taken); }
    void itemStarted(size_t index, const TCheckItem& item) override { m_window.itemStarted(index, item); }
    void itemDone(size_t index, const TCheckItem& item, const TItemDone& done) override
    {
        if (done.updated && m_rows.size() < Kept)
            m_rows.push_back(index);
        m_window.itemDone(index, item, done);
    }
    void runEnded(const TRunSummary& summary) override { m_window.runEnded(summary); }

private:
    TCheckRunObserver& m_window;
    std::vector<size_t>& m_rows;
};

} // namespace

void TImgForm::addToSelection(int row)
{
    // Every paint and test of the selection goes through all its ranges, so the rows done are kept as runs of
    // neighbouring rows: a row next to a run joins it, and a row that closes a gap joins both, so that a run that
    // has done every row between ends as one range however the checks at once ended.
    int first = row;
    int last = row;
    auto after = m_runDone.upper_bound(row);
    if (after != m_runDone.begin()) {
        const auto before = std::prev(after);
        if (before->second >= row - 1) {
            first = before->first;
            last = std::max(last, before->second);
            m_runDone.erase(before);
        }
    }
    if (after != m_runDone.end() && after->first == last + 1) {
        last = after->second;
        m_runDone.erase(after);
    }
    m_runDone.emplace(first, last);
    m_lastDoneRow = row;
}

void TImgForm::showRunProgress()
{
    m_listModel->refillDoneRows();
    if (m_lastDoneRow < 0)
        return;
    const int lastColumn = m_listModel->columnCount() - 1;
    QItemSelection done;
    for (const auto& [first, last] : m_runDone)
        done.append(QItemSelectionRange(m_listModel->index(first, 0), m_listModel->index(last, lastColumn)));
    lvwCheck->selectionModel()->select(done, QItemSelectionModel::ClearAndSelect);
    lvwCheck->scrollTo(m_listModel->index(m_lastDoneRow, 0), QAbstractItemView::EnsureVisible);
    m_lastDoneRow = -1;
}

void TImgForm::runChecks()
{
    if (!formEnabled() || !idle())
        return;
    TWaitCursor wait;
    // The ticks are in the items already: a tick changed in the list is its item's at once.
    try {
        m_run.setConcurrent(static_cast<size_t>(std::max(1, m_config.concurrentChecks)));
        TUpdatedRows observer(*this, m_runUpdated);
        m_run.run(m_config.items, m_config.defaultItem, observer);
    } catch (const std::exception&) {
        // The run-idle signal could not be reset: nothing is checked and the list shows its ticks again.
        m_listModel->showTicks();
        m_actions->enableForRun(false);
        lvwCheck->setEnabled(true);
    }
}

void TImgForm::runStarted(size_t)
{
    beginRun();
    // The ticks come back row by row as the items are done, so they show what is still to do.
    m_listModel->hideTicks();
    postCharacterEvent(TFilmEvent::RunStarts);
    lvwCheck->clearSelection();
    m_runDone.clear();
    m_lastDoneRow = -1;
    setPanelText(statusPanel(0), clockText());
    setPanelText(statusPanel(1), QStringLiteral("確認中"));
}

void TImgForm::itemStarted(size_t, const TCheckItem& item)
{
    setPanelText(statusPanel(2), fromSjis(item.title()));
}

// The row is shown with the next pump that processes the window's events, or at the end of the run.
void TImgForm::itemDone(size_t index, const TCheckItem&, const TItemDone& done)
{
    if (done.updated && done.updatedSoFar == 1)
        postCharacterEvent(TFilmEvent::FirstUpdate);
    m_listModel->showTick(index);
    addToSelection(static_cast<int>(index));
}

void TImgForm::runEnded(const TRunSummary& summary)
{
    showRunProgress();
    // Brings back the ticks of the items a stopped run did not get to.
    m_listModel->showTicks();
    if (summary.stopped) {
        postCharacterEvent(TFilmEvent::RunStopped);
    } else {
        postCharacterEvent(TFilmEvent::RunCompleted);
    }
    m_runDone.clear();
    statusPanel(1)->setText(clockText());

    const ReportMode report = m_config.report();
    if (summary.updated > 0) {
        m_runSummary = QString::number(summary.taken) + QStringLiteral("件中、") + QString::number(summary.updated)
            + QStringLiteral("件が更新されています");
        statusPanel(2)->setText(m_runSummary);
        if (report == ReportMode::OnUpdate || report == ReportMode::Always)
            reportRunEnd(m_config.soundOnUpdate != 0, m_config.soundUpdateFile(), m_runSummary);
    } else {
        m_runSummary = QStringLiteral("更新はありませんでした");
        statusPanel(2)->setText(m_runSummary);
        if (report == ReportMode::Always)
            reportRunEnd(m_config.soundOnNoUpdate != 0, m_config.soundNoUpdateFile(), m_runSummary);
        postCharacterEvent(TFilmEvent::NothingUpdated);
    }

    endRun();
    m_schedule->restart();
}

void TImgForm::stopRun()
{
    // No guard: this is one of the ways in while a run keeps the window busy.
    m_run.stop();
}

TRunNotifier* TImgForm::runNotifier()
{
    if (!m_notifier)
        m_notifier = new TRunNotifier(this);
    return m_notifier;
}

void TImgForm::pumpEvents()
{
    const auto now = std::chrono::steady_clock::now();
    if (now - m_lastPump < PumpInterval)
        return;
    m_lastPump = now;
    showRunProgress();
    QCoreApplication::processEvents();
}

void TImgForm::postCharacterEvent(TFilmEvent event)
{
    if (m_player)
        m_player->postEvent(event);
}

void TImgForm::notifyRunEnd(bool sound, const std::string& waveFile)
{
    // Back as the Restore command brings it.
    removeTrayIcon();
    setWindowState(windowState() & ~Qt::WindowMinimized);
    showMain();
    playRunEndSound(sound, waveFile);
}

void TImgForm::playRunEndSound(bool sound, const std::string& waveFile)
{
    if (sound)
        runNotifier()->playWave(waveFile);
    else
        runNotifier()->beep();
}

void TImgForm::boundCloseDuringRun()
{
    QTimer::singleShot(CloseWaitMs, this, [this] {
        if (idle())
            return;
        writeSettingsAtEnd();
        std::fflush(nullptr);
        // Unwinding from here would destroy the window under the run, so the process ends where it stands.
        std::_Exit(EXIT_SUCCESS);
    });
}
