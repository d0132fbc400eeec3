#pragma once

#include "character/data_file_list.h"
#include "character/film_player.h"
#include "check/check_run.h"
#include "check/http_checker.h"
#include "platform/event.h"
#include "store/config.h"
#include "store/list_commands.h"
#include "ui/actions.h"
#include "ui/ini_settings.h"

#include <QFont>
#include <QItemSelection>
#include <QMainWindow>
#include <QMessageBox>
#include <QTreeView>

#include <array>
#include <chrono>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

class QLabel;
class QMenu;
class QSystemTrayIcon;
class QToolBar;
class TCharacterPlayer;
class TCheckListModel;
class TClientArea;
class TConfigForm;
class TItemForm;
class TRunNotifier;
class TRunSchedule;

// What a file dialog is opened with; the filter is given as "description|pattern|...".
struct TFileDialogSpec
{
    QString title;
    QString filter;
    QString defaultExtension;
    QString fileName;
};

// The questions, messages and file dialogs of the window, in one place so that tests can answer them.
class TFormPrompts
{
public:
    virtual ~TFormPrompts() = default;
    // An OK/Cancel question titled with the application title; true for OK.
    virtual bool ask(QWidget* parent, const QString& text, QMessageBox::Icon icon);
    virtual void warn(QWidget* parent, const QString& text);
    // The chosen file, or an empty text when the user cancelled.
    virtual QString openFileName(QWidget* parent, const TFileDialogSpec& spec);
    virtual QString saveFileName(QWidget* parent, const TFileDialogSpec& spec);
};

// The item list: a report view that tells the window about mouse presses and double clicks after
// handling them itself, so that a right click has selected its row before the context menu opens.
class TCheckListView : public QTreeView
{
public:
    using QTreeView::QTreeView;
    std::function<void(Qt::MouseButton)> onMouseDown;
    std::function<void()> onDblClick;
    std::function<void()> onViewportResized;

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    bool viewportEvent(QEvent* event) override;
};

// The main window: builds the item list, the menus, the toolbar, the status bar and the character's area,
// wires the actions to their commands, owns the tray icon, start-up and shutdown, and the settings with
// the item list for the life of the program. The list commands and the check run are done elsewhere;
// the window turns them into calls and refills the rows that changed.
class TImgForm : public QMainWindow, private TCheckRunObserver
{
    Q_OBJECT
public:
    static constexpr int ListTopOffset = 120; // the balloon's height

    explicit TImgForm(QWidget* parent = nullptr);
    // Writes the settings file when start-up has run, also after a fatal stop.
    ~TImgForm() override;

    // Reads the settings of `settingsDirectory`, fills the list and loads the stored or the first character
    // found (in `settingsDirectory`, then `programDirectory`). False, after telling the user, when none loads.
    bool startUp(const std::string& settingsDirectory, const std::string& programDirectory);
    // Shows the window in front, on top of others when the settings ask for it.
    void showMain();
    // Stops the character and the request in flight, shows `text` (none when empty) and ends the program.
    void fatalStop(const QString& text);
    // Reads and shows the character of `path` and sizes the window for it; false leaves the old one.
    bool LoadCharacter(const std::string& path);

    // Commands of the action table.
    void onExit();
    void onNew();
    void onChange();
    void onDelete();
    void onCopyUrl();
    void onPasteUrl();
    void onSelectAll();
    void onSelectUpdated();
    void onInvertSelection();
    void onMoveUp();
    void onMoveDown();
    void sort(SortKey key);
    void setStatus(ItemStatus status);
    void onBrowse();
    void onOpenItems();
    void onAddItems();
    void onSaveItems();
    void onRestore();
    void onConfig();
    // The check run over the ticked items (check_run.cpp): "実行(&R)" and "中止(&T)".
    void runChecks();
    void stopRun();
    // Plays the sounds at the end of a run and posts its desktop notifications.
    TRunNotifier* runNotifier();
    // Starts the timed runs and the run at start-up.
    TRunSchedule* runSchedule() const { return m_schedule; }

    void onListMouseDown(Qt::MouseButton button);
    void onListDblClick();
    void onListColumnClick(int column);

    // The window's share of a check run: on begin the run-idle signal is reset and only the three commands
    // of a run stay enabled; on end everything is enabled again, and a close asked for meanwhile happens.
    void beginRun();
    void endRun();
    bool runStopped() const { return m_run.stopped(); }
    bool idle() { return m_runIdle.isSet(); }

    // Enabled means that a command may start: the window is not disabled and no command is working.
    bool formEnabled() const;
    // What a guarded command does with a failure to read or write a file (or memory running out).
    enum class TFileFailure { Tell, EndSilently };
    // Runs a command when the window is enabled and idle, with the window's own controls disabled meanwhile;
    // a failure is told to the user in words (through `prompts`, the window's own when null) and leaves the
    // window usable.
    void guarded(const std::function<void()>& command, TFileFailure fileFailure = TFileFailure::Tell,
        TFormPrompts* prompts = nullptr);

    void setPrompts(std::unique_ptr<TFormPrompts> prompts);
    TFormPrompts& prompts() { return *m_prompts; }
    // The settings dialog (the window's own unless replaced): shows the settings with the character in use
    // among those found; true for OK.
    using TSettingsEditor = std::function<bool(TConfig&, TDataFileItem&, const TDataFileList&)>;
    void setSettingsEditor(TSettingsEditor editor) { m_editSettings = std::move(editor); }
    // Whether the desktop has a notification area; minimising goes to the tray only when it has.
    void setTrayAvailable(std::function<bool()> available) { m_trayAvailable = std::move(available); }

    // The settings with the item list, as the window holds them.
    const TConfig& settings() const { return m_config; }
    // Changes the settings and shows the list again from its items.
    void updateSettings(const std::function<void(TConfig&)>& change);
    // Replaces the items after an import; the rows are filled again.
    void setItems(const TCheckItems& items);
    // The items of the rows, for commands that change the list and refill it themselves.
    TCheckItems& items() { return m_config.items; }
    // Shows every row again from the items, which may have changed in number.
    void refillList();
    // Rows in list order that are selected.
    TSelection selectedRows() const;

    const std::string& settingsDir() const { return m_settingsDir; }
    const std::string& programDir() const { return m_programDir; }
    TCharacterPlayer* player() const { return m_player.get(); }
    QLabel* statusPanel(int index) const { return m_statusPanels[static_cast<size_t>(index)]; }
    bool trayIconShown() const;
    // The notification-area icon, once minimising has needed it.
    QSystemTrayIcon* trayIcon() const { return m_tray; }
    const QIcon& statusIcon(ItemStatus status) const;
    // The check context of every run, with its one client; its waits keep the window live.
    THTTPChecker& checker() { return m_checker; }

    TActions* actions() const { return m_actions; }
    TCheckListView* list() const { return lvwCheck; }
    TCheckListModel* listModel() const { return m_listModel; }
    QToolBar* toolBar() const { return tbarMenu; }
    QMenu* popupMenu() const { return mnuPopup; }
    QMenu* trayMenu() const { return mnuTastTray; }
    TItemForm* itemDialog() const { return itemForm; }

protected:
    void closeEvent(QCloseEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    friend class TClientArea;
    // The list report, the imports and the exports work on the settings and the list as the window's part.
    friend class TListExchange;

    void bindActions();
    void buildList();
    void buildStatusBar();
    void setFormEnabled(bool enabled);
    void applyColumnWidths();
    void captureColumnWidths();
    // The URL column takes the width the other columns leave, never less than its own.
    void fitUrlColumn();
    // The size and position kept from the last time, or a first size that shows ten rows and the URLs.
    void placeWindow();
    void showSelection(const TSelection& selection);
    // Makes the row the current and only selected one, scrolled into view.
    void focusRow(size_t row);
    int selectedRow() const;
    void addItem(TCheckItem item, const QString& dialogCaption);
    void readItems(bool append);
    void layoutList();
    void minimiseToTray();
    void removeTrayIcon();
    // The client's pump: shows the run's progress and processes the window's pending events, at most every 15 ms.
    void pumpEvents();
    void postCharacterEvent(TFilmEvent event);
    // Adds the row to the rows the run has done, which are the list's whole selection once shown.
    void addToSelection(int row);
    // Shows what the run did since the last time: the rows done again from their items, selected and the last
    // one scrolled into view, all at once, so that the list is repainted once however many items were done.
    void showRunProgress();
    // Restores the window as the Restore command does, then the wave file (sound on) or the beep.
    void notifyRunEnd(bool sound, const std::string& waveFile);
    // The end of a run as the report mode asks for it: a timed run while the window is away in the tray or
    // minimised posts a notification instead of bringing the window back, where the desktop has a tray.
    void reportRunEnd(bool sound, const std::string& waveFile, const QString& summary);
    void playRunEndSound(bool sound, const std::string& waveFile);
    // The tray icon, made on first use, shown.
    void showTrayIcon();
    bool mayStartTimedRun();
    void startTimedRun();
    // The schedule follows the settings; the interval counts anew only when it changed.
    void applySchedule();
    // The third panel when idle: the last run's summary, then the time of the next timed run.
    void showNextRun();
    // After a close was granted during a run: if the run has not unwound within 10 seconds, the program
    // ends with the settings written, without destroying what the run still uses.
    void boundCloseDuringRun();
    // Writes the settings file at the end of the program, once, when start-up has run.
    void writeSettingsAtEnd();

    // The window as the check run's observer (check_run.cpp).
    void runStarted(size_t taken) override;
    void itemStarted(size_t index, const TCheckItem& item) override;
    void itemDone(size_t index, const TCheckItem& item, const TItemDone& done) override;
    void runEnded(const TRunSummary& summary) override;

    TConfig m_config;
    THTTPChecker m_checker;
    TCheckRun m_run { m_checker };
    std::vector<QIcon> imgMenu;
    TActions* m_actions = nullptr;
    QToolBar* tbarMenu = nullptr;
    TCheckListModel* m_listModel = nullptr;
    TCheckListView* lvwCheck = nullptr;
    QMenu* mnuPopup = nullptr;
    QMenu* mnuTastTray = nullptr;
    TItemForm* itemForm = nullptr;
    TConfigForm* configForm = nullptr;
    TSettingsEditor m_editSettings;
    std::function<bool()> m_trayAvailable;

    std::unique_ptr<TFormPrompts> m_prompts;
    TClientArea* m_client = nullptr;
    std::array<QLabel*, 3> m_statusPanels {};
    QSystemTrayIcon* m_tray = nullptr;
    std::unique_ptr<TCharacterPlayer> m_player;
    bool m_surfaceShown = false;
    QFont m_formFont;
    std::string m_settingsDir;
    std::string m_programDir;
    bool m_started = false;
    bool m_settingsWritten = false;
    bool m_busy = false;
    bool m_closeAfterRun = false;
    // The rows the run in progress has done, which it keeps selected: first and last row of each run of
    // neighbouring rows.
    std::map<int, int> m_runDone;
    int m_lastDoneRow = -1; // done since the progress was last shown
    TRunNotifier* m_notifier = nullptr;
    TRunSchedule* m_schedule = nullptr;
    bool m_timedRun = false;
    // The rows found updated by the run in progress, the first few, for its notification.
    std::vector<size_t> m_runUpdated;
    QString m_runSummary;
    std::chrono::steady_clock::time_point m_lastPump;
    TIniSettings m_ini;
    int m_urlWidth = 0; // the URL column's own width, which the user set or the settings gave
    bool m_fittingUrl = false;
    win32::TEvent m_runIdle { win32::TEvent::Reset::Manual, true };
};
