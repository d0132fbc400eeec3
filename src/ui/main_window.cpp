#include "ui/main_window.h"
#include "ui/wait_cursor.h"

#include "base/byte_text.h"
#include "base/exception.h"
#include "store/store_file.h"
#include "ui/character_player.h"
#include "ui/check_list_model.h"
#include "ui/config_form.h"
#include "ui/failure_text.h"
#include "ui/form_widgets.h"
#include "ui/item_form.h"
#include "ui/menu_images.h"
#include "ui/run_schedule.h"
#include "ui/sjis_text.h"
#include "ui/text_collation.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QCloseEvent>
#include <QCursor>
#include <QDesktopServices>
#include <QFile>
#include <QFileDialog>
#include <QFontMetrics>
#include <QHeaderView>
#include <QLabel>
#include <QLayout>
#include <QMenu>
#include <QMenuBar>
#include <QMouseEvent>
#include <QPainter>
#include <QSessionManager>
#include <QStatusBar>
#include <QStyle>
#include <QSystemTrayIcon>
#include <QTimer>
#include <QToolBar>
#include <QUrl>

#include <algorithm>
#include <cctype>
#include <new>

namespace {

constexpr int DesignColumnWidths[ColumnCount] = { 40, 120, 80, 80, 80, 80 };
constexpr int StatusPanelWidths[3] = { 80, 80, 50 };

const char* const ItemsFilter = "Vantrel Items(*.vantrelitems)|*.vantrelitems";
const char* const ItemsExtension = "vantrelitems";
const char* const SettingsFileName = "vantrel.cfg";
const char* const IniFileName = "vantrel.ini";
constexpr int UrlColumn = 2;
// What a first window shows: ten rows, and URLs of a usual length whole.
constexpr int FirstRows = 10;
constexpr int ReadableUrlWidth = 240;

QString applicationTitle()
{
    return QApplication::applicationName();
}

// "description|pattern|description|pattern" as Qt's "description (pattern);;...".
QString qtFilter(const QString& filter)
{
    const QStringList parts = filter.split(QLatin1Char('|'));
    QStringList result;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        const QString patterns = QString(parts[i + 1]).replace(QLatin1Char(';'), QLatin1Char(' '));
        if (parts[i].contains(QLatin1Char('(') + patterns + QLatin1Char(')')))
            result << parts[i];
        else
            result << parts[i] + QStringLiteral(" (") + patterns + QLatin1Char(')');
    }
    return result.join(QStringLiteral(";;"));
}

// The application title cut to what the tray tip holds: 63 Shift_JIS bytes, never half a character.
QString trayTip(const QString& title)
{
    QString tip;
    for (const QChar c : title) {
        const QString next = tip + c;
        if (toSjis(next).size() > 63)
            break;
        tip = next;
    }
    return tip;
}

} // namespace

// The window's client area below the toolbar: the character's surface at its top left corner and the
// list beside the picture and below the balloon.
class TClientArea : public QWidget
{
public:
    explicit TClientArea(TImgForm* form)
        : QWidget(form)
        , m_form(form)
    {
        setObjectName(QStringLiteral("pnlClient"));
        setAutoFillBackground(true);
        QPalette white = palette();
        white.setColor(QPalette::Window, Qt::white);
        setPalette(white);
    }

protected:
    void paintEvent(QPaintEvent*) override
    {
        if (!m_form->m_player || !m_form->m_surfaceShown)
            return;
        QPainter painter(this);
        painter.drawImage(0, 0, m_form->m_player->surface().image());
    }
    void mouseReleaseEvent(QMouseEvent* event) override
    {
        if (event->button() == Qt::LeftButton && m_form->m_player) {
            const QPoint at = event->position().toPoint();
            m_form->m_player->player().Click(at.x(), at.y(), !m_form->idle());
        }
    }
    void mouseDoubleClickEvent(QMouseEvent* event) override
    {
        if (event->button() == Qt::LeftButton && m_form->m_player)
            m_form->m_player->player().DoubleClick();
    }
    void resizeEvent(QResizeEvent*) override { m_form->layoutList(); }

private:
    TImgForm* m_form;
};

bool TFormPrompts::ask(QWidget* parent, const QString& text, QMessageBox::Icon icon)
{
    // A CR in a question is a line break on the screen.
    QString shown = text;
    shown.replace(QStringLiteral("\r\n"), QStringLiteral("\n")).replace(QLatin1Char('\r'), QLatin1Char('\n'));
    QMessageBox box(icon, applicationTitle(), shown, QMessageBox::Ok | QMessageBox::Cancel, parent);
    return box.exec() == QMessageBox::Ok;
}

void TFormPrompts::warn(QWidget* parent, const QString& text)
{
    QMessageBox box(QMessageBox::Warning, applicationTitle(), text, QMessageBox::Ok, parent);
    box.exec();
}

namespace {

// The chosen file, or an empty text when the dialog was cancelled.
QString runFileDialog(
    QWidget* parent, const TFileDialogSpec& spec, QFileDialog::AcceptMode accept, QFileDialog::FileMode mode)
{
    QFileDialog dialog(parent, spec.title, QString(), qtFilter(spec.filter));
    dialog.setAcceptMode(accept);
    dialog.setFileMode(mode);
    dialog.setDefaultSuffix(spec.defaultExtension);
    if (!spec.fileName.isEmpty())
        dialog.selectFile(spec.fileName);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return QString();
    return dialog.selectedFiles().constFirst();
}

} // namespace

QString TFormPrompts::openFileName(QWidget* parent, const TFileDialogSpec& spec)
{
    return runFileDialog(parent, spec, QFileDialog::AcceptOpen, QFileDialog::ExistingFile);
}

QString TFormPrompts::saveFileName(QWidget* parent, const TFileDialogSpec& spec)
{
    return runFileDialog(parent, spec, QFileDialog::AcceptSave, QFileDialog::AnyFile);
}

void TCheckListView::mousePressEvent(QMouseEvent* event)
{
    QTreeView::mousePressEvent(event);
    if (onMouseDown)
        onMouseDown(event->button());
}

void TCheckListView::mouseDoubleClickEvent(QMouseEvent* event)
{
    QTreeView::mouseDoubleClickEvent(event);
    if (onDblClick)
        onDblClick();
}

bool TCheckListView::viewportEvent(QEvent* event)
{
    // The viewport, not the view: a scroll bar coming or going changes the room for the columns too.
    const bool handled = QTreeView::viewportEvent(event);
    if (event->type() == QEvent::Resize && onViewportResized)
        onViewportResized();
    return handled;
}

TImgForm::TImgForm(QWidget* parent)
    : QMainWindow(parent)
    , imgMenu(menuImages())
    , m_prompts(std::make_unique<TFormPrompts>())
    , m_formFont(designFont(16, true))
{
    setObjectName(QStringLiteral("TImgForm"));
    setWindowTitle(QStringLiteral("Vantrel"));
    setWindowIcon(applicationIcon());
    m_trayAvailable = [] { return QSystemTrayIcon::isSystemTrayAvailable(); };

    m_actions = new TActions(imgMenu, this);

    tbarMenu = new QToolBar(this);
    tbarMenu->setObjectName(QStringLiteral("tbarMenu"));
    tbarMenu->setMovable(false);
    tbarMenu->setFloatable(false);
    tbarMenu->setIconSize(QSize(16, 16));
    tbarMenu->toggleViewAction()->setVisible(false);
    addToolBar(Qt::TopToolBarArea, tbarMenu);

    m_client = new TClientArea(this);
    m_client->setFont(m_formFont);
    setCentralWidget(m_client);
    buildList();
    buildStatusBar();

    m_checker.client().Pump = [this] { pumpEvents(); };

    m_schedule = new TRunSchedule(this);
    m_schedule->mayStart = [this] { return mayStartTimedRun(); };
    m_schedule->startRun = [this] { startTimedRun(); };
    m_schedule->nextRunChanged = [this] { showNextRun(); };

    itemForm = new TItemForm(this);
    configForm = new TConfigForm(this);
    m_editSettings = [this](TConfig& settings, TDataFileItem& character, const TDataFileList& characters) {
        return configForm->Execute(settings, character, characters);
    };

    menuBar()->setObjectName(QStringLiteral("mnuMain"));
    m_actions->buildMainMenu(menuBar());
    mnuPopup = new QMenu(this);
    mnuPopup->setObjectName(QStringLiteral("mnuPopup"));
    m_actions->fillMenu(mnuPopup, TActions::popupMenu());
    mnuTastTray = new QMenu(this);
    mnuTastTray->setObjectName(QStringLiteral("mnuTastTray"));
    m_actions->fillMenu(mnuTastTray, TActions::trayMenu());
    m_actions->buildToolBar(tbarMenu);
    // Toolbar buttons are part of the window, so the shortcuts (bound to the window) work once.
    for (int id = 0; id < ActionCount; ++id)
        addAction((*m_actions)[id]);
    bindActions();
    m_actions->enableForRun(false);

    // The desktop session ending: stop at once, without a question; the settings are written on the way out.
    connect(qApp, &QGuiApplication::commitDataRequest, this, [this](QSessionManager&) { fatalStop(QString()); });

    resize(382, 329);
}

TImgForm::~TImgForm()
{
    disconnect(qApp, nullptr, this, nullptr);
    stopCheck(m_checker);
    writeSettingsAtEnd();
    m_player.reset();
    removeTrayIcon();
    // The list reads the items, which go with the window's members, before its children would go.
    delete lvwCheck;
    delete m_listModel;
}

void TImgForm::writeSettingsAtEnd()
{
    // The normal exit, the termination signals and the session's end all come here through the destructor;
    // the bound on a close during a run comes here before it ends the process.
    if (!m_started || m_settingsWritten)
        return;
    m_settingsWritten = true;
    captureColumnWidths();
    writeSettingsFile(m_config, m_settingsDir + SettingsFileName);
    m_ini.setConcurrentChecks(m_config.concurrentChecks);
    m_ini.setCheckInterval(m_config.checkInterval);
    m_ini.setCheckAtStart(m_config.checkAtStart != 0);
    m_ini.setWindowGeometry(saveGeometry());
    m_ini.write(m_settingsDir + IniFileName);
}

void TImgForm::buildList()
{
    m_listModel = new TCheckListModel(m_config.items, statusImages(), this);
    lvwCheck = new TCheckListView(m_client);
    lvwCheck->setObjectName(QStringLiteral("lvwCheck"));
    lvwCheck->setModel(m_listModel);
    lvwCheck->setFont(designFont(13));
    lvwCheck->setRootIsDecorated(false);
    lvwCheck->setItemsExpandable(false);
    lvwCheck->setUniformRowHeights(true);
    lvwCheck->setSelectionMode(QAbstractItemView::ExtendedSelection);
    lvwCheck->setSelectionBehavior(QAbstractItemView::SelectRows);
    lvwCheck->setEditTriggers(QAbstractItemView::NoEditTriggers);
    lvwCheck->setIconSize(QSize(16, 16));
    lvwCheck->setAllColumnsShowFocus(true);
    lvwCheck->setSortingEnabled(false);
    lvwCheck->header()->setStretchLastSection(false);
    lvwCheck->header()->setSectionsMovable(false);
    lvwCheck->header()->setSectionsClickable(true);
    lvwCheck->header()->setSortIndicatorShown(false);
    lvwCheck->header()->setMinimumSectionSize(8);
    for (int i = 0; i < static_cast<int>(ColumnCount); ++i)
        lvwCheck->setColumnWidth(i, DesignColumnWidths[i]);
    m_urlWidth = DesignColumnWidths[UrlColumn];
    lvwCheck->setGeometry(0, 0, 382, 200);

    lvwCheck->onMouseDown = [this](Qt::MouseButton button) { onListMouseDown(button); };
    lvwCheck->onDblClick = [this] { onListDblClick(); };
    lvwCheck->onViewportResized = [this] { fitUrlColumn(); };
    connect(lvwCheck->header(), &QHeaderView::sectionResized, this, [this](int column, int, int width) {
        if (m_fittingUrl)
            return;
        if (column == UrlColumn)
            m_urlWidth = width;
        else
            fitUrlColumn();
    });
    connect(lvwCheck->header(), &QHeaderView::sectionClicked, this, &TImgForm::onListColumnClick);
}

void TImgForm::buildStatusBar()
{
    QStatusBar* bar = statusBar();
    bar->setObjectName(QStringLiteral("statusBar"));
    bar->setSizeGripEnabled(true);
    for (size_t i = 0; i < m_statusPanels.size(); ++i) {
        auto* panel = new QLabel(bar);
        panel->setObjectName(QStringLiteral("pnlStatus%1").arg(i));
        panel->setFrameShape(QFrame::Panel);
        panel->setFrameShadow(QFrame::Sunken);
        const bool last = i + 1 == m_statusPanels.size();
        if (last)
            panel->setMinimumWidth(StatusPanelWidths[i]);
        else
            panel->setFixedWidth(StatusPanelWidths[i]);
        bar->addWidget(panel, last ? 1 : 0);
        m_statusPanels[i] = panel;
    }
}

void TImgForm::bindActions()
{
    auto bind = [this](int id, auto command) { connect((*m_actions)[id], &QAction::triggered, this, command); };
    bind(actExit, [this] { onExit(); });
    bind(actOpenItems, [this] { onOpenItems(); });
    bind(actAddItems, [this] { onAddItems(); });
    bind(actSaveItems, [this] { onSaveItems(); });
    bind(actBrowse, [this] { onBrowse(); });
    bind(actNew, [this] { onNew(); });
    bind(actChange, [this] { onChange(); });
    bind(actDelete, [this] { onDelete(); });
    bind(actCopyUrl, [this] { onCopyUrl(); });
    bind(actPasteUrl, [this] { onPasteUrl(); });
    bind(actSelectAll, [this] { onSelectAll(); });
    bind(actSelectUpdated, [this] { onSelectUpdated(); });
    bind(actInvertSelection, [this] { onInvertSelection(); });
    bind(actMoveUp, [this] { onMoveUp(); });
    bind(actMoveDown, [this] { onMoveDown(); });
    bind(actSortStatus, [this] { sort(SortKey::Status); });
    bind(actSortTitle, [this] { sort(SortKey::Title); });
    bind(actSortUrl, [this] { sort(SortKey::CheckUri); });
    bind(actSortLastModified, [this] { sort(SortKey::LastModified); });
    bind(actSortResponse, [this] { sort(SortKey::Response); });
    bind(actSortMetaTag, [this] { sort(SortKey::MetaTag); });
    bind(actRun, [this] { runChecks(); });
    bind(actStop, [this] { stopRun(); });
    bind(actStatusInitial, [this] { setStatus(ItemStatus::Initial); });
    bind(actStatusNormal, [this] { setStatus(ItemStatus::Normal); });
    bind(actStatusUpdate, [this] { setStatus(ItemStatus::Update); });
    bind(actStatusError, [this] { setStatus(ItemStatus::Error); });
    bind(actRestore, [this] { onRestore(); });
    bind(actConfig, [this] { onConfig(); });
    // The list report and the imports and exports are bound where those formats are written.
}

void TImgForm::setPrompts(std::unique_ptr<TFormPrompts> prompts)
{
    m_prompts = std::move(prompts);
}

bool TImgForm::formEnabled() const
{
    return isEnabled() && !m_busy;
}

void TImgForm::setFormEnabled(bool enabled)
{
    // The window's own controls only: the dialogs it opens meanwhile are its children and must stay usable.
    m_busy = !enabled;
    m_client->setEnabled(enabled);
    menuBar()->setEnabled(enabled);
    tbarMenu->setEnabled(enabled);
}

void TImgForm::guarded(const std::function<void()>& command, TFileFailure fileFailure, TFormPrompts* prompts)
{
    if (!formEnabled() || !idle())
        return;
    setFormEnabled(false);
    // A command ends where it failed and the list stays as it was; the window stays usable.
    const auto tell = [&](const std::exception& e) {
        setFormEnabled(true);
        (prompts ? prompts : m_prompts.get())->warn(this, failureText(e));
        lvwCheck->setFocus(Qt::OtherFocusReason);
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
    setFormEnabled(true);
    // Disabling the window took the focus from the list; the arrow keys go on moving the selection.
    lvwCheck->setFocus(Qt::OtherFocusReason);
}

// ---- rows and selection

const QIcon& TImgForm::statusIcon(ItemStatus status) const
{
    return m_listModel->statusIcon(status);
}

void TImgForm::refillList()
{
    m_listModel->refillAll();
}

void TImgForm::updateSettings(const std::function<void(TConfig&)>& change)
{
    change(m_config);
    refillList();
    applySchedule();
}

void TImgForm::setItems(const TCheckItems& items)
{
    m_config.items.replaceAll(items);
    refillList();
}

void TImgForm::applyColumnWidths()
{
    for (size_t i = 0; i < ColumnCount; ++i) {
        if (m_config.columnWidths[i] != 0)
            lvwCheck->setColumnWidth(static_cast<int>(i), m_config.columnWidths[i]);
    }
    fitUrlColumn();
}

void TImgForm::captureColumnWidths()
{
    for (size_t i = 0; i < ColumnCount; ++i)
        m_config.columnWidths[i] = lvwCheck->columnWidth(static_cast<int>(i));
    // The width the window lent the URL column is the window's, not the column's.
    m_config.columnWidths[UrlColumn] = m_urlWidth;
}

void TImgForm::fitUrlColumn()
{
    int others = 0;
    for (int i = 0; i < static_cast<int>(ColumnCount); ++i) {
        if (i != UrlColumn)
            others += lvwCheck->columnWidth(i);
    }
    m_fittingUrl = true;
    lvwCheck->setColumnWidth(UrlColumn, std::max(m_urlWidth, lvwCheck->viewport()->width() - others));
    m_fittingUrl = false;
}

void TImgForm::placeWindow()
{
    if (restoreGeometry(m_ini.windowGeometry()))
        return;
    // The list's room is what the window has beyond the character, so the window grows by what the list lacks.
    const int rowHeight = std::max(lvwCheck->sizeHintForRow(0),
        std::max(QFontMetrics(lvwCheck->font()).height(), lvwCheck->iconSize().height()) + 4);
    const int frame = 2 * lvwCheck->frameWidth();
    const int listHeight = lvwCheck->header()->sizeHint().height() + FirstRows * rowHeight + frame;
    int listWidth = ReadableUrlWidth + frame + lvwCheck->style()->pixelMetric(QStyle::PM_ScrollBarExtent);
    for (int i = 0; i < static_cast<int>(ColumnCount); ++i) {
        if (i != UrlColumn)
            listWidth += lvwCheck->columnWidth(i);
    }
    layoutList();
    const int wider = std::max(0, listWidth - (lvwCheck->isVisible() ? lvwCheck->width() : 0));
    const int taller = std::max(0, listHeight - (lvwCheck->isVisible() ? lvwCheck->height() : 0));
    resize(width() + wider, height() + taller);
}

TSelection TImgForm::selectedRows() const
{
    TSelection rows;
    for (const QItemSelectionRange& range : lvwCheck->selectionModel()->selection()) {
        for (int row = range.top(); row <= range.bottom(); ++row)
            rows.push_back(static_cast<size_t>(row));
    }
    std::sort(rows.begin(), rows.end());
    rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
    return rows;
}

int TImgForm::selectedRow() const
{
    int first = -1;
    for (const QItemSelectionRange& range : lvwCheck->selectionModel()->selection()) {
        if (first < 0 || range.top() < first)
            first = range.top();
    }
    return first;
}

void TImgForm::focusRow(size_t row)
{
    const QModelIndex index = m_listModel->index(static_cast<int>(row), 0);
    if (!index.isValid())
        return;
    lvwCheck->scrollTo(index);
    lvwCheck->clearSelection();
    lvwCheck->setCurrentIndex(index);
    lvwCheck->selectionModel()->select(index, QItemSelectionModel::Select | QItemSelectionModel::Rows);
}

void TImgForm::showSelection(const TSelection& selection)
{
    // Ranges of neighbouring rows rather than one per row: selecting thousands stays one cheap change.
    lvwCheck->selectionModel()->select(m_listModel->rowsSelection(selection), QItemSelectionModel::ClearAndSelect);
}

// ---- list commands

void TImgForm::onExit()
{
    if (!formEnabled())
        return;
    setFormEnabled(false);
    if (!close())
        setFormEnabled(true);
}

void TImgForm::addItem(TCheckItem item, const QString& dialogCaption)
{
    itemForm->setWindowTitle(dialogCaption);
    if (!itemForm->Execute(item, m_config.defaultItem))
        return;
    focusRow(m_listModel->appendItem(std::move(item)));
}

void TImgForm::onNew()
{
    guarded([this] { addItem(m_config.defaultItem, QStringLiteral("新規アイテム")); });
}

void TImgForm::onChange()
{
    guarded([this] {
        const int row = selectedRow();
        if (row < 0)
            return;
        TCheckItem& item = m_config.items[static_cast<size_t>(row)];
        itemForm->setWindowTitle(QStringLiteral("アイテム変更"));
        if (itemForm->Execute(item, m_config.defaultItem))
            m_listModel->refillRow(static_cast<size_t>(row));
        focusRow(static_cast<size_t>(row));
    });
}

void TImgForm::onDelete()
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
        if (!m_prompts->ask(this, question, QMessageBox::Question))
            return;
        if (rows.size() == 1) {
            m_listModel->eraseItem(rows[0]);
        } else {
            eraseSelected(m_config.items, rows);
            refillList();
        }
    });
}

void TImgForm::onCopyUrl()
{
    guarded([this] {
        const int row = selectedRow();
        if (row < 0)
            return;
        QApplication::clipboard()->setText(fromSjis(m_config.items[static_cast<size_t>(row)].checkUri()));
    });
}

void TImgForm::onPasteUrl()
{
    guarded([this] {
        std::optional<TCheckItem> item
            = itemFromPastedText(toSjis(QApplication::clipboard()->text()), m_config.defaultItem);
        if (item)
            addItem(std::move(*item), QStringLiteral("アイテム追加"));
    });
}

void TImgForm::onSelectAll()
{
    guarded([this] { lvwCheck->selectAll(); });
}

void TImgForm::onSelectUpdated()
{
    guarded([this] { showSelection(selectUpdated(m_config.items)); });
}

void TImgForm::onInvertSelection()
{
    guarded([this] { showSelection(invertSelection(m_config.items.count(), selectedRows())); });
}

void TImgForm::onMoveUp()
{
    guarded([this] {
        const TSelection before = selectedRows();
        const TSelection after = moveSelectedUp(m_config.items, before);
        if (after == before)
            return;
        m_listModel->refillRows({ after.front(), after.front() + 1 });
        focusRow(after.front());
    });
}

void TImgForm::onMoveDown()
{
    guarded([this] {
        const TSelection before = selectedRows();
        const TSelection after = moveSelectedDown(m_config.items, before);
        if (after == before)
            return;
        m_listModel->refillRows({ after.front() - 1, after.front() });
        focusRow(after.front());
    });
}

void TImgForm::sort(SortKey key)
{
    guarded([this, key] {
        sortItems(m_config.items, key, localeTextCompare());
        refillList();
    });
}

void TImgForm::setStatus(ItemStatus status)
{
    guarded([this, status] { m_listModel->refillRows(setSelectedStatus(m_config.items, selectedRows(), status)); });
}

void TImgForm::onBrowse()
{
    guarded([this] {
        const int row = selectedRow();
        if (row < 0)
            return;
        TCheckItem& item = m_config.items[static_cast<size_t>(row)];
        QDesktopServices::openUrl(QUrl(fromSjis(item.browseUri()), QUrl::TolerantMode));
        if (item.status == ItemStatus::Update) {
            item.status = ItemStatus::Normal;
            m_listModel->refillRow(static_cast<size_t>(row));
        }
        lvwCheck->clearSelection();
        lvwCheck->selectionModel()->select(
            m_listModel->index(row, 0), QItemSelectionModel::Select | QItemSelectionModel::Rows);
    });
}

void TImgForm::readItems(bool append)
{
    TFileDialogSpec spec;
    spec.title = append ? QStringLiteral("追加読み込み") : QStringLiteral("アイテムを読み込む");
    spec.filter = QString::fromLatin1(ItemsFilter);
    spec.defaultExtension = QString::fromLatin1(ItemsExtension);
    spec.fileName = fileNameText(m_config.lastItemsFile());
    const QString chosen = m_prompts->openFileName(this, spec);
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
    refillList();
    m_config.lastItemsFile() = path;
    postCharacterEvent(TFilmEvent::ItemsLoaded);
}

void TImgForm::onOpenItems()
{
    guarded([this] { readItems(false); });
}

void TImgForm::onAddItems()
{
    guarded([this] { readItems(true); });
}

void TImgForm::onSaveItems()
{
    guarded([this] {
        if (m_config.items.empty())
            return;
        TFileDialogSpec spec;
        spec.title = QStringLiteral("アイテムを保存する");
        spec.filter = QString::fromLatin1(ItemsFilter);
        spec.defaultExtension = QString::fromLatin1(ItemsExtension);
        spec.fileName = fileNameText(m_config.lastItemsFile());
        const QString chosen = m_prompts->saveFileName(this, spec);
        if (chosen.isEmpty())
            return;
        const std::string path = fileNameBytes(chosen);
        if (!writeItemsFile(m_config.items, path))
            return;
        m_config.lastItemsFile() = path;
        postCharacterEvent(TFilmEvent::ItemsSaved);
    });
}

void TImgForm::onConfig()
{
    guarded([this] {
        if (!m_editSettings)
            return;
        const TDataFileList characters = ListCharacters(m_settingsDir, m_programDir);
        TDataFileItem character { m_config.characterName(), m_config.characterFile() };
        if (m_editSettings(m_config, character, characters)) {
            if (m_player && character.path != m_config.characterFile()) {
                if (!LoadCharacter(character.path)) {
                    fatalStop(QStringLiteral("データファイルを読み込めません"));
                    return;
                }
                m_config.characterFile() = character.path;
                m_config.characterName() = character.name;
            }
            applySchedule();
        }
        showMain();
    });
}

void TImgForm::beginRun()
{
    m_runIdle.reset();
    m_actions->enableForRun(true);
    lvwCheck->setEnabled(false);
}

void TImgForm::endRun()
{
    m_actions->enableForRun(false);
    lvwCheck->setEnabled(true);
    lvwCheck->setFocus(Qt::OtherFocusReason);
    m_runIdle.set();
    if (m_closeAfterRun) {
        m_closeAfterRun = false;
        close();
    }
}

// ---- mouse

void TImgForm::onListMouseDown(Qt::MouseButton button)
{
    if (button != Qt::RightButton || !formEnabled() || !idle())
        return;
    activateWindow();
    QApplication::processEvents();
    mnuPopup->popup(QCursor::pos());
}

void TImgForm::onListDblClick()
{
    switch (m_config.doubleClick()) {
    case DoubleClickAction::Edit:
        onChange();
        break;
    case DoubleClickAction::Browse:
        onBrowse();
        break;
    }
}

void TImgForm::onListColumnClick(int column)
{
    if (column >= 0 && column < static_cast<int>(ColumnCount))
        sort(static_cast<SortKey>(column + 1));
}

// ---- window

void TImgForm::showMain()
{
    const bool top = m_config.topMost != 0;
    if (windowFlags().testFlag(Qt::WindowStaysOnTopHint) != top) {
        const QPoint at = pos();
        setWindowFlag(Qt::WindowStaysOnTopHint, top);
        move(at);
    }
    show();
    raise();
    activateWindow();
}

void TImgForm::onRestore()
{
    if (!formEnabled())
        return;
    setFormEnabled(false);
    removeTrayIcon();
    setWindowState(windowState() & ~Qt::WindowMinimized);
    showMain();
    setFormEnabled(true);
}

bool TImgForm::trayIconShown() const
{
    return m_tray && m_tray->isVisible();
}

void TImgForm::removeTrayIcon()
{
    if (m_tray)
        m_tray->hide();
}

void TImgForm::minimiseToTray()
{
    if (!isMinimized() || !m_config.taskTray || !m_trayAvailable || !m_trayAvailable())
        return;
    hide();
    removeTrayIcon();
    showTrayIcon();
}

void TImgForm::showTrayIcon()
{
    if (!m_tray) {
        m_tray = new QSystemTrayIcon(this);
        m_tray->setObjectName(QStringLiteral("trayIcon"));
        m_tray->setContextMenu(mnuTastTray);
        connect(m_tray, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason reason) {
            if (reason == QSystemTrayIcon::DoubleClick)
                onRestore();
        });
        connect(m_tray, &QSystemTrayIcon::messageClicked, this, [this] { onRestore(); });
    }
    if (m_tray->isVisible())
        return;
    m_tray->setIcon(QApplication::windowIcon().isNull() ? windowIcon() : QApplication::windowIcon());
    m_tray->setToolTip(trayTip(applicationTitle()));
    m_tray->show();
}

void TImgForm::changeEvent(QEvent* event)
{
    QMainWindow::changeEvent(event);
    if (event->type() == QEvent::WindowStateChange && isMinimized() && m_config.taskTray)
        // After the state change is complete, so that hiding does not fight the window manager.
        QTimer::singleShot(0, this, [this] { minimiseToTray(); });
    else if (event->type() == QEvent::WindowStateChange && !isMinimized() && isVisible())
        // Back from the task bar: the icon that a notification needed goes.
        removeTrayIcon();
}

void TImgForm::closeEvent(QCloseEvent* event)
{
    if (!idle()) {
        if (!m_prompts->ask(this, QStringLiteral("確認中ですが終了しますか？"), QMessageBox::NoIcon)) {
            event->ignore();
            setFormEnabled(true);
            return;
        }
        m_run.stop();
        // The run sits lower on this same thread's stack and can only finish once this handler has
        // returned; waiting for it here would never see it end. It closes the window when it ends.
        m_closeAfterRun = true;
        boundCloseDuringRun();
        event->ignore();
        return;
    }
    m_player.reset();
    m_surfaceShown = false;
    removeTrayIcon();
    event->accept();
    QCoreApplication::quit();
}

// ---- character and start-up

void TImgForm::layoutList()
{
    if (!m_player || m_player->player().PictureWidth() <= 0)
        return;
    const int left = m_player->player().PictureWidth();
    const int width = m_client->width() - left;
    const int height = m_client->height() - ListTopOffset;
    if (width > 0 && height > 0) {
        lvwCheck->setGeometry(left, ListTopOffset, width, height);
        lvwCheck->show();
    } else {
        lvwCheck->hide();
    }
}

bool TImgForm::LoadCharacter(const std::string& path)
{
    if (!m_player)
        return false;
    TWaitCursor wait;
    if (!m_player->load(path, m_formFont))
        return false;
    const QSize surface(m_player->player().SurfaceWidth(), m_player->player().SurfaceHeight());
    m_client->setMinimumSize(surface);
    // The window's least size is the client's plus the menu bar, the toolbar and the status bar.
    layout()->invalidate();
    setMinimumSize(layout()->minimumSize());
    // A character no taller than its balloon would leave the list no room at all, so the window keeps
    // its height when that is larger; the width is the character's.
    resize(minimumWidth(), std::max(minimumHeight(), height()));
    layoutList();
    return true;
}

void TImgForm::fatalStop(const QString& text)
{
    m_run.stop();
    m_player.reset();
    m_surfaceShown = false;
    if (!text.isEmpty())
        m_prompts->warn(this, text);
    QCoreApplication::quit();
}

bool TImgForm::startUp(const std::string& settingsDirectory, const std::string& programDirectory)
{
    TWaitCursor wait;
    m_settingsDir = withTrailingSlash(settingsDirectory);
    const std::string programFolder = withTrailingSlash(programDirectory);
    m_programDir = equalsIgnoringAsciiCase(programFolder, m_settingsDir) ? std::string() : programFolder;
    m_started = true;

    readSettingsFile(m_config, m_settingsDir + SettingsFileName);
    m_ini.read(m_settingsDir + IniFileName);
    m_config.concurrentChecks = m_ini.concurrentChecks();
    m_config.checkInterval = m_ini.checkInterval();
    m_config.checkAtStart = m_ini.checkAtStart() ? 1 : 0;
    m_urlWidth = m_config.columnWidths[UrlColumn] != 0 ? m_config.columnWidths[UrlColumn] : m_urlWidth;
    applyColumnWidths();
    refillList();
    applySchedule();
    if (m_config.checkAtStart != 0)
        m_schedule->runSoon();

    m_player = std::make_unique<TCharacterPlayer>(Qt::white);
    m_player->player().SetDrawCallback([this](IFilmSurface* surface) {
        m_surfaceShown = surface != nullptr;
        m_client->update();
    });

    if (LoadCharacter(m_config.characterFile())) {
        placeWindow();
        return true;
    }
    const TDataFileList characters = ListCharacters(m_settingsDir, m_programDir);
    if (!characters.empty() && LoadCharacter(characters.front().path)) {
        m_config.characterFile() = characters.front().path;
        m_config.characterName() = characters.front().name;
        placeWindow();
        return true;
    }
    fatalStop(QStringLiteral("データファイルを読み込めません"));
    return false;
}
