#include "ui/item_list.h"

#include "base/exception.h"
#include "session/failure_text.h"
#include "session/sjis_text.h"
#include "store/store_file.h"
#include "ui/check_list_model.h"
#include "ui/form_widgets.h"
#include "ui/item_form.h"
#include "ui/menu_images.h"
#include "ui/run_controller.h"
#include "ui/text_collation.h"

#include <QApplication>
#include <QClipboard>
#include <QCursor>
#include <QDesktopServices>
#include <QFontMetrics>
#include <QHeaderView>
#include <QMenu>
#include <QMouseEvent>
#include <QStyle>
#include <QUrl>

#include <algorithm>
#include <iterator>
#include <new>

namespace {

constexpr int DesignColumnWidths[ColumnCount] = { 40, 120, 80, 80, 80, 80 };
const char* const ItemsFilter = "Vantrel Items(*.vantrelitems)|*.vantrelitems";
const char* const ItemsExtension = "vantrelitems";
// What a first window shows: ten rows, and URLs of a usual length whole.
constexpr int FirstRows = 10;
constexpr int ReadableUrlWidth = 240;

} // namespace

void TCheckListView::mousePressEvent(QMouseEvent* event)
{
    QTreeView::mousePressEvent(event);
    emit mouseDown(event->button());
}

void TCheckListView::mouseDoubleClickEvent(QMouseEvent* event)
{
    QTreeView::mouseDoubleClickEvent(event);
    emit dblClicked();
}

bool TCheckListView::viewportEvent(QEvent* event)
{
    // The viewport, not the view: a scroll bar coming or going changes the room for the columns too.
    const bool handled = QTreeView::viewportEvent(event);
    if (event->type() == QEvent::Resize)
        emit viewportResized();
    return handled;
}

TItemList::TItemList(TConfig& config, TRunController& run, QWidget& window, QWidget* viewParent)
    : QObject(&window)
    , m_config(config)
    , m_run(run)
    , m_window(window)
    , m_prompts(std::make_unique<TFormPrompts>())
{
    setObjectName(QStringLiteral("itemList"));
    m_model = new TCheckListModel(m_config.items, statusImages(), this);
    m_view = new TCheckListView(viewParent);
    build();
    m_itemForm = new TItemForm(&m_window);

    connect(&m_run, &TRunController::runStarted, this, [this] { runStarted(); });
    connect(&m_run, &TRunController::itemDone, this,
        [this](const std::string& id, size_t row, const TItemDone&) { itemDone(id, row); });
    connect(&m_run, &TRunController::progressDue, this, [this] { showRunProgress(); });
    connect(&m_run, &TRunController::runEnded, this, [this] { runEnded(); });
    connect(&m_run, &TRunController::runFinished, this, [this] { runFinished(); });
}

void TItemList::build()
{
    m_view->setObjectName(QStringLiteral("lvwCheck"));
    m_view->setModel(m_model);
    m_view->setFont(designFont(13));
    m_view->setRootIsDecorated(false);
    m_view->setItemsExpandable(false);
    m_view->setUniformRowHeights(true);
    m_view->setSelectionMode(QAbstractItemView::ExtendedSelection);
    m_view->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_view->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_view->setIconSize(QSize(16, 16));
    m_view->setAllColumnsShowFocus(true);
    m_view->setSortingEnabled(false);
    m_view->header()->setStretchLastSection(false);
    m_view->header()->setSectionsMovable(false);
    m_view->header()->setSectionsClickable(true);
    m_view->header()->setSortIndicatorShown(false);
    m_view->header()->setMinimumSectionSize(8);
    for (int i = 0; i < static_cast<int>(ColumnCount); ++i)
        m_view->setColumnWidth(i, DesignColumnWidths[i]);
    m_urlWidth = DesignColumnWidths[UrlColumn];
    m_view->setGeometry(0, 0, 382, 200);

    connect(m_view, &TCheckListView::mouseDown, this, &TItemList::onListMouseDown);
    connect(m_view, &TCheckListView::dblClicked, this, &TItemList::onListDblClick);
    connect(m_view, &TCheckListView::viewportResized, this, &TItemList::fitUrlColumn);
    connect(m_view->header(), &QHeaderView::sectionResized, this, [this](int column, int, int width) {
        if (m_fittingUrl)
            return;
        if (column == UrlColumn)
            m_urlWidth = width;
        else
            fitUrlColumn();
    });
    connect(m_view->header(), &QHeaderView::sectionClicked, this, &TItemList::onListColumnClick);
}

// ---- the guard

bool TItemList::enabled() const
{
    return m_window.isEnabled() && !m_busy;
}

void TItemList::setBusy(bool busy)
{
    m_busy = busy;
    emit busyChanged(busy);
}

void TItemList::setPrompts(std::unique_ptr<TFormPrompts> prompts)
{
    m_prompts = std::move(prompts);
}

void TItemList::guarded(const std::function<void()>& command, TFileFailure fileFailure, TFormPrompts* prompts)
{
    if (!enabled() || !m_run.idle())
        return;
    setBusy(true);
    // A command ends where it failed and the list stays as it was; the window stays usable.
    const auto tell = [&](const std::exception& e) {
        setBusy(false);
        (prompts ? prompts : m_prompts.get())->warn(&m_window, failureText(e));
        m_view->setFocus(Qt::OtherFocusReason);
    };
    try {
        command();
    } catch (const TException& e) {
        if (fileFailure == TFileFailure::Tell)
            return tell(e);
    } catch (const std::bad_alloc& e) {
        if (fileFailure == TFileFailure::Tell)
            return tell(e);
    } catch (const std::exception& e) {
        return tell(e);
    }
    setBusy(false);
    // Disabling the window took the focus from the list; the arrow keys go on moving the selection.
    m_view->setFocus(Qt::OtherFocusReason);
}

// ---- rows, columns and selection

void TItemList::refill()
{
    m_model->refillAll();
}

void TItemList::applyColumnWidths()
{
    m_urlWidth = m_config.columnWidths[UrlColumn] != 0 ? m_config.columnWidths[UrlColumn] : m_urlWidth;
    for (size_t i = 0; i < ColumnCount; ++i) {
        if (m_config.columnWidths[i] != 0)
            m_view->setColumnWidth(static_cast<int>(i), m_config.columnWidths[i]);
    }
    fitUrlColumn();
}

void TItemList::captureColumnWidths()
{
    for (size_t i = 0; i < ColumnCount; ++i)
        m_config.columnWidths[i] = m_view->columnWidth(static_cast<int>(i));
    // The width the window lent the URL column is the window's, not the column's.
    m_config.columnWidths[UrlColumn] = m_urlWidth;
}

void TItemList::fitUrlColumn()
{
    int others = 0;
    for (int i = 0; i < static_cast<int>(ColumnCount); ++i) {
        if (i != UrlColumn)
            others += m_view->columnWidth(i);
    }
    m_fittingUrl = true;
    m_view->setColumnWidth(UrlColumn, std::max(m_urlWidth, m_view->viewport()->width() - others));
    m_fittingUrl = false;
}

QSize TItemList::readableSize() const
{
    const int rowHeight = std::max(
        m_view->sizeHintForRow(0), std::max(QFontMetrics(m_view->font()).height(), m_view->iconSize().height()) + 4);
    const int frame = 2 * m_view->frameWidth();
    const int height = m_view->header()->sizeHint().height() + FirstRows * rowHeight + frame;
    int width = ReadableUrlWidth + frame + m_view->style()->pixelMetric(QStyle::PM_ScrollBarExtent);
    for (int i = 0; i < static_cast<int>(ColumnCount); ++i) {
        if (i != UrlColumn)
            width += m_view->columnWidth(i);
    }
    return QSize(width, height);
}

TSelection TItemList::selectedRows() const
{
    TSelection rows;
    for (const QItemSelectionRange& range : m_view->selectionModel()->selection()) {
        for (int row = range.top(); row <= range.bottom(); ++row)
            rows.push_back(static_cast<size_t>(row));
    }
    std::sort(rows.begin(), rows.end());
    rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
    return rows;
}

int TItemList::selectedRow() const
{
    int first = -1;
    for (const QItemSelectionRange& range : m_view->selectionModel()->selection()) {
        if (first < 0 || range.top() < first)
            first = range.top();
    }
    return first;
}

void TItemList::focusItem(const std::string& id)
{
    if (const std::optional<size_t> row = m_config.items.indexOfId(id))
        focusRow(*row);
}

void TItemList::focusRow(size_t row)
{
    const QModelIndex index = m_model->index(static_cast<int>(row), 0);
    if (!index.isValid())
        return;
    m_view->scrollTo(index);
    m_view->clearSelection();
    m_view->setCurrentIndex(index);
    m_view->selectionModel()->select(index, QItemSelectionModel::Select | QItemSelectionModel::Rows);
}

void TItemList::showSelection(const TSelection& selection)
{
    // Ranges of neighbouring rows rather than one per row: selecting thousands stays one cheap change.
    m_view->selectionModel()->select(m_model->rowsSelection(selection), QItemSelectionModel::ClearAndSelect);
}

// ---- list commands

void TItemList::addItem(TCheckItem item, const QString& dialogCaption)
{
    m_itemForm->setWindowTitle(dialogCaption);
    if (!m_itemForm->Execute(item, m_config.defaultItem))
        return;
    focusRow(m_model->appendItem(std::move(item)));
}

void TItemList::onNew()
{
    guarded([this] { addItem(m_config.defaultItem, QStringLiteral("新規アイテム")); });
}

void TItemList::onChange()
{
    guarded([this] {
        const int row = selectedRow();
        if (row < 0)
            return;
        TCheckItem& item = m_config.items[static_cast<size_t>(row)];
        m_itemForm->setWindowTitle(QStringLiteral("アイテム変更"));
        if (m_itemForm->Execute(item, m_config.defaultItem))
            m_model->refillRow(static_cast<size_t>(row));
        focusRow(static_cast<size_t>(row));
    });
}

void TItemList::onDelete()
{
    guarded([this] {
        const TSelection rows = selectedRows();
        if (rows.empty())
            return;
        const bool all = rows.size() > 1 && rows.size() == m_config.items.count();
        QString question;
        if (all)
            question = QStringLiteral("全てのアイテムを削除します");
        else if (rows.size() == 1)
            question = fromSjis(m_config.items[rows[0]].title()) + QStringLiteral("\rこのアイテムを削除します");
        else
            question = QString::number(rows.size()) + QStringLiteral("個のアイテムを削除します");
        if (!m_prompts->ask(&m_window, question, QMessageBox::Question))
            return;
        if (rows.size() == 1) {
            m_model->eraseItem(rows[0]);
        } else {
            eraseSelected(m_config.items, rows);
            refill();
        }
    });
}

void TItemList::onCopyUrl()
{
    guarded([this] {
        const int row = selectedRow();
        if (row < 0)
            return;
        QApplication::clipboard()->setText(fromSjis(m_config.items[static_cast<size_t>(row)].checkUri()));
    });
}

void TItemList::onPasteUrl()
{
    guarded([this] {
        std::optional<TCheckItem> item
            = itemFromPastedText(toSjis(QApplication::clipboard()->text()), m_config.defaultItem);
        if (item)
            addItem(std::move(*item), QStringLiteral("アイテム追加"));
    });
}

void TItemList::onSelectAll()
{
    guarded([this] { m_view->selectAll(); });
}

void TItemList::onSelectUpdated()
{
    guarded([this] { showSelection(selectUpdated(m_config.items)); });
}

void TItemList::onInvertSelection()
{
    guarded([this] { showSelection(invertSelection(m_config.items.count(), selectedRows())); });
}

void TItemList::onMoveUp()
{
    guarded([this] {
        const TSelection before = selectedRows();
        const TSelection after = moveSelectedUp(m_config.items, before);
        if (after == before)
            return;
        m_model->refillRows({ after.front(), after.front() + 1 });
        focusRow(after.front());
    });
}

void TItemList::onMoveDown()
{
    guarded([this] {
        const TSelection before = selectedRows();
        const TSelection after = moveSelectedDown(m_config.items, before);
        if (after == before)
            return;
        m_model->refillRows({ after.front() - 1, after.front() });
        focusRow(after.front());
    });
}

void TItemList::sort(SortKey key)
{
    guarded([this, key] {
        sortItems(m_config.items, key, localeTextCompare());
        refill();
    });
}

void TItemList::setStatus(ItemStatus status)
{
    guarded([this, status] { m_model->refillRows(setSelectedStatus(m_config.items, selectedRows(), status)); });
}

void TItemList::onBrowse()
{
    guarded([this] {
        const int row = selectedRow();
        if (row < 0)
            return;
        TCheckItem& item = m_config.items[static_cast<size_t>(row)];
        QDesktopServices::openUrl(QUrl(fromSjis(item.browseUri()), QUrl::TolerantMode));
        if (item.status == ItemStatus::Update) {
            item.status = ItemStatus::Normal;
            m_model->refillRow(static_cast<size_t>(row));
        }
        m_view->clearSelection();
        m_view->selectionModel()->select(
            m_model->index(row, 0), QItemSelectionModel::Select | QItemSelectionModel::Rows);
    });
}

void TItemList::readItems(bool append)
{
    TFileDialogSpec spec;
    spec.title = append ? QStringLiteral("追加読み込み") : QStringLiteral("アイテムを読み込む");
    spec.filter = QString::fromLatin1(ItemsFilter);
    spec.defaultExtension = QString::fromLatin1(ItemsExtension);
    spec.fileName = fileNameText(m_config.lastItemsFile());
    const QString chosen = m_prompts->openFileName(&m_window, spec);
    if (chosen.isEmpty())
        return;
    const std::string path = fileNameBytes(chosen);
    TCheckItems read;
    if (!readItemsFile(path, read))
        return;
    if (append)
        m_config.items.appendAll(read);
    else
        m_config.items.replaceAll(read);
    refill();
    m_config.lastItemsFile() = path;
    emit itemsLoaded();
}

void TItemList::onOpenItems()
{
    guarded([this] { readItems(false); });
}

void TItemList::onAddItems()
{
    guarded([this] { readItems(true); });
}

void TItemList::onSaveItems()
{
    guarded([this] {
        if (m_config.items.empty())
            return;
        TFileDialogSpec spec;
        spec.title = QStringLiteral("アイテムを保存する");
        spec.filter = QString::fromLatin1(ItemsFilter);
        spec.defaultExtension = QString::fromLatin1(ItemsExtension);
        spec.fileName = fileNameText(m_config.lastItemsFile());
        const QString chosen = m_prompts->saveFileName(&m_window, spec);
        if (chosen.isEmpty())
            return;
        const std::string path = fileNameBytes(chosen);
        if (!writeItemsFile(m_config.items, path))
            return;
        m_config.lastItemsFile() = path;
        emit itemsSaved();
    });
}

// ---- mouse

void TItemList::onListMouseDown(Qt::MouseButton button)
{
    if (button != Qt::RightButton || !enabled() || !m_run.idle() || !m_popup)
        return;
    m_window.activateWindow();
    QApplication::processEvents();
    m_popup->popup(QCursor::pos());
}

void TItemList::onListDblClick()
{
    if (m_config.doubleClickAction == DoubleClickShowsChanges) {
        emit changesWanted();
        return;
    }
    switch (m_config.doubleClick()) {
    case DoubleClickAction::Edit:
        onChange();
        break;
    case DoubleClickAction::Browse:
        onBrowse();
        break;
    }
}

void TItemList::onListColumnClick(int column)
{
    if (column >= 0 && column < static_cast<int>(ColumnCount))
        sort(static_cast<SortKey>(column + 1));
}

// ---- following a run

void TItemList::runStarted()
{
    m_view->setEnabled(false);
    // The ticks come back row by row as the items are done, so they show what is still to do.
    m_model->hideTicks();
    m_ticksHidden = true;
    m_view->clearSelection();
    m_runDone.clear();
    m_lastDoneRow = -1;
}

// The row is shown with the next pump that processes the window's events, or at the end of the run.
void TItemList::itemDone(const std::string& id, size_t row)
{
    const int at = m_model->rowOfId(id, row);
    if (at < 0)
        return;
    m_model->showTick(static_cast<size_t>(at));
    addToSelection(at);
}

void TItemList::runEnded()
{
    showRunProgress();
    // Brings back the ticks of the items a stopped run did not get to.
    m_model->showTicks();
    m_ticksHidden = false;
    m_runDone.clear();
}

void TItemList::runFinished()
{
    // A run that failed before its end shows its ticks here.
    if (m_ticksHidden) {
        m_model->showTicks();
        m_ticksHidden = false;
    }
    m_runDone.clear();
    m_view->setEnabled(true);
    m_view->setFocus(Qt::OtherFocusReason);
}

void TItemList::addToSelection(int row)
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

void TItemList::showRunProgress()
{
    m_model->refillDoneRows();
    if (m_lastDoneRow < 0)
        return;
    const int lastColumn = m_model->columnCount() - 1;
    QItemSelection done;
    for (const auto& [first, last] : m_runDone)
        done.append(QItemSelectionRange(m_model->index(first, 0), m_model->index(last, lastColumn)));
    m_view->selectionModel()->select(done, QItemSelectionModel::ClearAndSelect);
    m_view->scrollTo(m_model->index(m_lastDoneRow, 0), QAbstractItemView::EnsureVisible);
    m_lastDoneRow = -1;
}
