#include "ui/main_window.h"

#include "base/byte_text.h"
#include "session/settings_session.h"
#include "ui/changes_window.h"
#include "ui/character_area.h"
#include "ui/config_form.h"
#include "ui/form_widgets.h"
#include "ui/item_list.h"
#include "ui/menu_images.h"
#include "ui/run_controller.h"
#include "ui/run_reporter.h"
#include "ui/tray.h"
#include "ui/wait_cursor.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QLabel>
#include <QLayout>
#include <QMenu>
#include <QMenuBar>
#include <QSessionManager>
#include <QStatusBar>
#include <QTimer>
#include <QToolBar>

#include <algorithm>

namespace {

constexpr int StatusPanelWidths[3] = { 80, 80, 50 };

} // namespace

TImgForm::TImgForm(QWidget* parent)
    : QMainWindow(parent)
    , m_formFont(designFont(16, true))
{
    setObjectName(QStringLiteral("TImgForm"));
    setWindowTitle(QStringLiteral("Vantrel"));
    setWindowIcon(applicationIcon());

    m_actions = new TActions(menuImages(), this);
    tbarMenu = new QToolBar(this);
    tbarMenu->setObjectName(QStringLiteral("tbarMenu"));
    tbarMenu->setMovable(false);
    tbarMenu->setFloatable(false);
    tbarMenu->setIconSize(QSize(16, 16));
    tbarMenu->toggleViewAction()->setVisible(false);
    addToolBar(Qt::TopToolBarArea, tbarMenu);

    m_area = new TCharacterArea(this);
    m_area->setFont(m_formFont);
    setCentralWidget(m_area);
    buildStatusBar();

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

    m_run = new TRunController(this);
    m_list = new TItemList(m_config, *m_run, *this, m_area);
    m_list->setPopupMenu(mnuPopup);
    m_area->setList(m_list->view());
    m_tray = new TTray(*this, mnuTastTray);
    m_reporter = new TRunReporter(m_config, *m_run, *m_list, *m_tray, *this, m_statusPanels);
    m_changes = new TChangesWindows(this);
    configForm = new TConfigForm(this);
    m_editSettings = [this](TConfig& settings, TDataFileItem& character, const TDataFileList& characters) {
        return configForm->Execute(settings, character, characters);
    };
    bindActions();
    connectParts();
    m_actions->enableForRun(false);
    m_changes->follow(*m_list, *m_run, (*m_actions)[actShowChanges]);
    // The desktop session ending: stop at once, without a question; the settings are written on the way out.
    connect(qApp, &QGuiApplication::commitDataRequest, this, [this](QSessionManager&) { fatalStop(QString()); });

    resize(382, 329);
}

TImgForm::~TImgForm()
{
    disconnect(qApp, nullptr, this, nullptr);
    // The run's client goes first, then the list, which reads the items of the settings held here.
    delete m_run;
    writeSettingsAtEnd();
    m_area->stopPlayer();
    m_tray->remove();
    delete m_reporter;
    delete m_list;
}

void TImgForm::writeSettingsAtEnd()
{
    // The normal exit, the termination signals and the session's end all come here through the destructor;
    // the bound on a close during a run comes here before it ends the process.
    if (!m_started || m_settingsWritten)
        return;
    m_settingsWritten = true;
    m_list->captureColumnWidths();
    m_session->ini().setWindowGeometry(saveGeometry());
    m_session->write(m_config);
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
    TItemList* list = m_list;
    bind(actExit, [this] { onExit(); });
    bind(actOpenItems, [list] { list->onOpenItems(); });
    bind(actAddItems, [list] { list->onAddItems(); });
    bind(actSaveItems, [list] { list->onSaveItems(); });
    bind(actBrowse, [list] { list->onBrowse(); });
    bind(actNew, [list] { list->onNew(); });
    bind(actChange, [list] { list->onChange(); });
    bind(actDelete, [list] { list->onDelete(); });
    bind(actCopyUrl, [list] { list->onCopyUrl(); });
    bind(actPasteUrl, [list] { list->onPasteUrl(); });
    bind(actSelectAll, [list] { list->onSelectAll(); });
    bind(actSelectUpdated, [list] { list->onSelectUpdated(); });
    bind(actInvertSelection, [list] { list->onInvertSelection(); });
    bind(actMoveUp, [list] { list->onMoveUp(); });
    bind(actMoveDown, [list] { list->onMoveDown(); });
    bind(actSortStatus, [list] { list->sort(SortKey::Status); });
    bind(actSortTitle, [list] { list->sort(SortKey::Title); });
    bind(actSortUrl, [list] { list->sort(SortKey::CheckUri); });
    bind(actSortLastModified, [list] { list->sort(SortKey::LastModified); });
    bind(actSortResponse, [list] { list->sort(SortKey::Response); });
    bind(actSortMetaTag, [list] { list->sort(SortKey::MetaTag); });
    bind(actRun, [this] {
        if (m_list->enabled())
            m_run->run(m_config);
    });
    // No guard: this is one of the ways in while a run keeps the window busy.
    bind(actStop, [this] { m_run->stop(); });
    bind(actStatusInitial, [list] { list->setStatus(ItemStatus::Initial); });
    bind(actStatusNormal, [list] { list->setStatus(ItemStatus::Normal); });
    bind(actStatusUpdate, [list] { list->setStatus(ItemStatus::Update); });
    bind(actStatusError, [list] { list->setStatus(ItemStatus::Error); });
    bind(actRestore, [this] { onRestore(); });
    bind(actConfig, [this] { onConfig(); });
    // The list report and the imports and exports are bound where those formats are written.
}

void TImgForm::connectParts()
{
    connect(m_list, &TItemList::busyChanged, this, [this](bool busy) { setControlsEnabled(!busy); });
    connect(m_list, &TItemList::itemsLoaded, this, [this] { m_area->postEvent(TFilmEvent::ItemsLoaded); });
    connect(m_list, &TItemList::itemsSaved, this, [this] { m_area->postEvent(TFilmEvent::ItemsSaved); });
    connect(m_tray, &TTray::restoreRequested, this, &TImgForm::onRestore);
    connect(m_reporter, &TRunReporter::restoreWanted, this, &TImgForm::restore);
    connect(m_reporter, &TRunReporter::changesWanted, this, &TImgForm::showChangesOf);

    // During a run only the three commands of a run stay enabled; the character plays the run.
    connect(m_run, &TRunController::runStarted, this, [this] {
        m_actions->enableForRun(true);
        m_area->setRunning(true);
        m_area->postEvent(TFilmEvent::RunStarts);
    });
    connect(m_run, &TRunController::itemDone, this, [this](const std::string&, size_t, const TItemDone& done) {
        if (done.updated && done.updatedSoFar == 1)
            m_area->postEvent(TFilmEvent::FirstUpdate);
    });
    connect(m_run, &TRunController::runEnded, this, [this](const TRunSummary& summary) {
        m_area->postEvent(summary.stopped ? TFilmEvent::RunStopped : TFilmEvent::RunCompleted);
        if (summary.updated == 0)
            m_area->postEvent(TFilmEvent::NothingUpdated);
    });
    connect(m_run, &TRunController::runFinished, this, [this] {
        m_actions->enableForRun(false);
        m_area->setRunning(false);
    });
    connect(m_run, &TRunController::closeDue, this, &QWidget::close);
    connect(m_run, &TRunController::closeOverdue, this, &TImgForm::writeSettingsAtEnd);
}

void TImgForm::setPrompts(std::unique_ptr<TFormPrompts> prompts)
{
    m_list->setPrompts(std::move(prompts));
}

void TImgForm::setControlsEnabled(bool enabled)
{
    m_area->setEnabled(enabled);
    menuBar()->setEnabled(enabled);
    tbarMenu->setEnabled(enabled);
}

void TImgForm::updateSettings(const std::function<void(TConfig&)>& change)
{
    change(m_config);
    m_list->refill();
    m_reporter->applySchedule();
}

void TImgForm::placeWindow()
{
    if (restoreGeometry(m_session->ini().windowGeometry()))
        return;
    // The list's room is what the window has beyond the character, so the window grows by what the list lacks.
    const QSize readable = m_list->readableSize();
    m_area->layoutList();
    const QWidget* view = m_list->view();
    const int wider = std::max(0, readable.width() - (view->isVisible() ? view->width() : 0));
    const int taller = std::max(0, readable.height() - (view->isVisible() ? view->height() : 0));
    resize(width() + wider, height() + taller);
}

// ---- the window's own commands

void TImgForm::onExit()
{
    if (!m_list->enabled())
        return;
    m_list->setBusy(true);
    if (!close())
        m_list->setBusy(false);
}

void TImgForm::onConfig()
{
    m_list->guarded([this] {
        if (!m_editSettings)
            return;
        const TDataFileList characters = ListCharacters(m_settingsDir, m_programDir);
        TDataFileItem character { m_config.characterName(), m_config.characterFile() };
        if (m_editSettings(m_config, character, characters)) {
            if (m_area->player() && character.path != m_config.characterFile()) {
                if (!LoadCharacter(character.path)) {
                    fatalStop(QStringLiteral("データファイルを読み込めません"));
                    return;
                }
                m_config.characterFile() = character.path;
                m_config.characterName() = character.name;
            }
            m_reporter->applySchedule();
        }
        showMain();
    });
}

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

void TImgForm::restore()
{
    m_tray->remove();
    setWindowState(windowState() & ~Qt::WindowMinimized);
    showMain();
}

void TImgForm::showChangesOf(const QString& itemId)
{
    restore();
    m_list->focusItem(itemId.toStdString());
    if (const auto row = m_config.items.indexOfId(itemId.toStdString()))
        m_changes->open(m_config.items[*row]);
}

void TImgForm::onRestore()
{
    if (!m_list->enabled())
        return;
    m_list->setBusy(true);
    restore();
    m_list->setBusy(false);
}

void TImgForm::changeEvent(QEvent* event)
{
    QMainWindow::changeEvent(event);
    if (event->type() == QEvent::WindowStateChange && isMinimized() && m_config.taskTray)
        // After the state change is complete, so that hiding does not fight the window manager.
        QTimer::singleShot(0, this, [this] { m_tray->takeMinimisedWindow(m_config.taskTray != 0); });
    else if (event->type() == QEvent::WindowStateChange && !isMinimized() && isVisible())
        // Back from the task bar: the icon that a notification needed goes.
        m_tray->remove();
}

void TImgForm::closeEvent(QCloseEvent* event)
{
    if (!m_run->idle()) {
        event->ignore();
        if (!m_list->prompts().ask(this, QStringLiteral("確認中ですが終了しますか？"), QMessageBox::NoIcon))
            m_list->setBusy(false);
        else
            m_run->closeAfterRun(); // the run closes the window when it ends
        return;
    }
    m_area->stopPlayer();
    m_tray->remove();
    event->accept();
    QCoreApplication::quit();
}

// ---- character and start-up

bool TImgForm::LoadCharacter(const std::string& path)
{
    TWaitCursor wait;
    if (!m_area->load(path, m_formFont))
        return false;
    // The window's least size is the client's plus the menu bar, the toolbar and the status bar.
    layout()->invalidate();
    setMinimumSize(layout()->minimumSize());
    // A character no taller than its balloon would leave the list no room at all, so the window keeps
    // its height when that is larger; the width is the character's.
    resize(minimumWidth(), std::max(minimumHeight(), height()));
    m_area->layoutList();
    return true;
}

void TImgForm::fatalStop(const QString& text)
{
    m_run->stop();
    m_area->stopPlayer();
    if (!text.isEmpty())
        m_list->prompts().warn(this, text);
    QCoreApplication::quit();
}

bool TImgForm::startUp(const std::string& settingsDirectory, const std::string& programDirectory)
{
    return startUp(std::make_unique<TSettingsSession>(settingsDirectory), programDirectory);
}

bool TImgForm::startUp(std::unique_ptr<TSettingsSession> session, const std::string& programDirectory)
{
    TWaitCursor wait;
    m_session = std::move(session);
    m_settingsDir = m_session->folder();
    m_changes->setHistoryFolder(m_settingsDir);
    const std::string programFolder = withTrailingSlash(programDirectory);
    m_programDir = equalsIgnoringAsciiCase(programFolder, m_settingsDir) ? std::string() : programFolder;
    m_started = true;

    m_session->read(m_config);
    m_run->checker().pageTexts = &m_session->history();
    m_list->applyColumnWidths();
    m_list->refill();
    m_reporter->setHistory(&m_session->history());
    m_reporter->start();
    m_area->startPlayer();

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
