#include "ui/main_window.h"
#include "ui/wait_cursor.h"

#include "store/store_file.h"
#include "ui/character_player.h"
#include "ui/form_widgets.h"
#include "ui/run_notifier.h"
#include "ui/sjis_text.h"

#include <QApplication>
#include <QItemSelection>
#include <QLabel>
#include <QTime>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

// Status bar texts.
const char* const Checking = "\x8a\x6d\x94\x46\x92\x86"; // 確認中
const char* const ItemsOf = "\x8c\x8f\x92\x86\x81\x41"; // 件中、
const char* const ItemsUpdated = "\x8c\x8f\x82\xaa\x8d\x58\x90\x56\x82\xb3\x82\xea\x82\xc4\x82\xa2\x82\xdc\x82\xb7"; // 件が更新されています
const char* const NoUpdates = "\x8d\x58\x90\x56\x82\xcd\x82\xa0\x82\xe8\x82\xdc\x82\xb9\x82\xf1\x82\xc5\x82\xb5\x82\xbd"; // 更新はありませんでした

// Character events of a run.
constexpr size_t RunStarts = 5;
constexpr size_t RunStopped = 6;
constexpr size_t RunCompleted = 7;
constexpr size_t FirstUpdate = 9;
constexpr size_t NothingUpdated = 10;

constexpr int CloseWaitMs = 10000;
// Often enough for the window, the character and Stop to feel immediate, seldom enough that repainting the
// window does not cost more than a request to a near server.
constexpr auto PumpInterval = std::chrono::milliseconds(15);

constexpr int ReportOnUpdate = 1;
constexpr int ReportAlways = 2;

QString clockText()
{
    return QTime::currentTime().toString(QStringLiteral("HH:mm:ss"));
}

} // namespace

void TImgForm::addToSelection(QItemSelection& done, int row)
{
    // A row selected on its own is a range of its own, and every paint and test of the selection goes through
    // all ranges; the rows are done in list order, so a row next to the last range extends it instead.
    const QAbstractItemModel* model = lvwCheck->model();
    const QModelIndex last = model->index(row, model->columnCount() - 1);
    if (!done.isEmpty() && done.constLast().bottom() == row - 1)
        done.last() = QItemSelectionRange(done.constLast().topLeft(), last);
    else
        done.append(QItemSelectionRange(model->index(row, 0), last));
    lvwCheck->selectionModel()->select(done, QItemSelectionModel::ClearAndSelect);
}

void TImgForm::runChecks()
{
    if (!formEnabled() || !idle())
        return;
    TWaitCursor wait;

    // The ticks move into the items; they come back row by row as the items are done.
    const int rows = std::min(lvwCheck->topLevelItemCount(), static_cast<int>(config.items.count()));
    size_t taken = 0;
    for (int row = 0; row < rows; ++row) {
        QTreeWidgetItem* entry = lvwCheck->topLevelItem(row);
        TCheckItem& item = config.items[static_cast<size_t>(row)];
        item.check = entry->checkState(0) == Qt::Checked ? 1 : 0;
        entry->setCheckState(0, Qt::Unchecked);
        if (item.check)
            ++taken;
    }
    if (taken == 0)
        return;

    try {
        beginRun();
    } catch (const std::exception&) {
        // The run-idle signal could not be reset: nothing is checked and the list shows its ticks again.
        for (int row = 0; row < rows; ++row)
            fillRow(row);
        actions->enableForRun(false);
        lvwCheck->setEnabled(true);
        return;
    }
    postCharacterEvent(RunStarts);
    lvwCheck->clearSelection();
    statusPanel(0)->setText(clockText());
    statusPanel(1)->setText(caption(Checking));

    size_t updated = 0;
    QItemSelection done;
    for (int row = 0; row < rows && !runStopped(); ++row) {
        TCheckItem& item = config.items[static_cast<size_t>(row)];
        if (!item.check)
            continue;
        statusPanel(2)->setText(fromSjis(item.title()));
        if (checkItem(checker, item, config.defaultItem) && updated++ == 0)
            postCharacterEvent(FirstUpdate);
        fillRow(row);
        lvwCheck->scrollToItem(lvwCheck->topLevelItem(row), QAbstractItemView::EnsureVisible);
        addToSelection(done, row);
    }

    if (runStopped()) {
        for (int row = 0; row < rows; ++row)
            fillRow(row);
        postCharacterEvent(RunStopped);
    } else {
        postCharacterEvent(RunCompleted);
    }
    statusPanel(1)->setText(clockText());

    if (updated > 0) {
        statusPanel(2)->setText(QString::number(taken) + caption(ItemsOf) + QString::number(updated)
            + caption(ItemsUpdated));
        if (config.reportMode == ReportOnUpdate || config.reportMode == ReportAlways)
            notifyRunEnd(config.soundOnUpdate != 0, config.soundUpdateFile());
    } else {
        statusPanel(2)->setText(caption(NoUpdates));
        if (config.reportMode == ReportAlways)
            notifyRunEnd(config.soundOnNoUpdate != 0, config.soundNoUpdateFile());
        postCharacterEvent(NothingUpdated);
    }

    endRun();
}

void TImgForm::stopRun()
{
    // No guard: this is one of the ways in while a run keeps the window busy.
    stopCheck(checker);
    checker.runStopped = true;
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
    QCoreApplication::processEvents();
}

void TImgForm::postCharacterEvent(size_t code)
{
    if (m_player)
        m_player->postEvent(code);
}

void TImgForm::notifyRunEnd(bool sound, const std::string& waveFile)
{
    // Back as the Restore command brings it.
    removeTrayIcon();
    setWindowState(windowState() & ~Qt::WindowMinimized);
    showMain();
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
        if (m_started) {
            captureColumnWidths();
            writeSettingsFile(config, m_settingsDir + "vantrel.cfg");
        }
        std::fflush(nullptr);
        // Unwinding from here would destroy the window under the run, so the process ends where it stands.
        std::_Exit(EXIT_SUCCESS);
    });
}
