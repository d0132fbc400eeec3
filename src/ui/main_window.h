#pragma once

#include "character/data_file_list.h"
#include "store/config.h"
#include "ui/actions.h"
#include "ui/form_prompts.h"

#include <QFont>
#include <QMainWindow>

#include <array>
#include <functional>
#include <memory>
#include <string>

class QLabel;
class QMenu;
class QToolBar;
class TChangesWindows;
class TCharacterArea;
class TConfigForm;
class TItemList;
class TRunController;
class TRunReporter;
class TSettingsSession;
class TTray;

// The main window, a shell over its parts: it builds the menus, the toolbar and the status bar, routes each
// action to the part that owns it, and starts up and closes. The parts: the item list (view, model, list
// commands, the command guard), the run controller (the check run), the run reporter (status, sound,
// notification, schedule), the character area and the tray; the settings folder is a settings session.
class TImgForm : public QMainWindow
{
    Q_OBJECT
public:
    explicit TImgForm(QWidget* parent = nullptr);
    // Writes the settings when start-up has run, also after a fatal stop.
    ~TImgForm() override;

    // Reads the settings of the session's folder, fills the list and loads the stored or the first character
    // found (in the settings folder, then `programDirectory`). False, after telling the user, when none loads.
    bool startUp(std::unique_ptr<TSettingsSession> session, const std::string& programDirectory);
    // The same with a session of its own on `settingsDirectory`.
    bool startUp(const std::string& settingsDirectory, const std::string& programDirectory);
    // Shows the window in front, on top of others when the settings ask for it.
    void showMain();
    // Stops the character and the request in flight, shows `text` (none when empty) and ends the program.
    void fatalStop(const QString& text);
    // Reads and shows the character of `path` and sizes the window for it; false leaves the old one.
    bool LoadCharacter(const std::string& path);

    // The window's own commands; the others go to the parts.
    void onExit();
    void onRestore();
    void onConfig();
    // A notification's action "変更点を表示": the window back with the item current. The changes window is to
    // open on it from here; until the program has one, the item is only made current.
    void showChangesOf(const QString& itemId);

    void setPrompts(std::unique_ptr<TFormPrompts> prompts);
    // The settings dialog (the window's own unless replaced): shows the settings with the character in use
    // among those found; true for OK.
    using TSettingsEditor = std::function<bool(TConfig&, TDataFileItem&, const TDataFileList&)>;
    void setSettingsEditor(TSettingsEditor editor) { m_editSettings = std::move(editor); }

    // The settings with the item list, as the window holds them.
    const TConfig& settings() const { return m_config; }
    // Changes the settings and shows the list again from its items.
    void updateSettings(const std::function<void(TConfig&)>& change);
    const std::string& settingsDir() const { return m_settingsDir; }
    const std::string& programDir() const { return m_programDir; }

    TItemList* itemList() const { return m_list; }
    TRunController* runController() const { return m_run; }
    TRunReporter* runReporter() const { return m_reporter; }
    TCharacterArea* characterArea() const { return m_area; }
    TTray* tray() const { return m_tray; }
    TChangesWindows* changesWindows() const { return m_changes; }
    TActions* actions() const { return m_actions; }
    QLabel* statusPanel(int index) const { return m_statusPanels[static_cast<size_t>(index)]; }
    QToolBar* toolBar() const { return tbarMenu; }
    QMenu* popupMenu() const { return mnuPopup; }
    QMenu* trayMenu() const { return mnuTastTray; }

protected:
    void closeEvent(QCloseEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void buildStatusBar();
    void bindActions();
    void connectParts();
    // The window's own controls only: the dialogs it opens meanwhile are its children and must stay usable.
    void setControlsEnabled(bool enabled);
    // Back from the tray or the task bar, in front.
    void restore();
    // The size and position kept from the last time, or a first size that shows ten rows and the URLs.
    void placeWindow();
    // Writes the settings at the end of the program, once, when start-up has run.
    void writeSettingsAtEnd();

    TConfig m_config;
    std::unique_ptr<TSettingsSession> m_session;
    TActions* m_actions = nullptr;
    QToolBar* tbarMenu = nullptr;
    QMenu* mnuPopup = nullptr;
    QMenu* mnuTastTray = nullptr;
    std::array<QLabel*, 3> m_statusPanels {};
    TCharacterArea* m_area = nullptr;
    TRunController* m_run = nullptr;
    TItemList* m_list = nullptr;
    TTray* m_tray = nullptr;
    TRunReporter* m_reporter = nullptr;
    TChangesWindows* m_changes = nullptr;
    TConfigForm* configForm = nullptr;
    TSettingsEditor m_editSettings;
    QFont m_formFont;
    std::string m_settingsDir;
    std::string m_programDir;
    bool m_started = false;
    bool m_settingsWritten = false;
};
