#pragma once

#include <QIcon>
#include <QObject>

#include <array>
#include <utility>
#include <vector>

class QAction;
class QMenu;
class QMenuBar;
class QToolBar;
class QWidget;

// The 47 commands of the main window, by their place in the action table. The object name of each
// action is the name here.
enum TActionId : int {
    actFile = 0,
    actEdit = 1,
    actCheck = 2,
    actOther = 3,
    actExit = 4,
    actOpenItems = 5,
    actAddItems = 6,
    actSaveItems = 7,
    actBrowse = 8,
    actReport = 9,
    actImport = 10,
    actImportUrlList = 11,
    actImportTabText = 12,
    actImportHtml = 13,
    actImportXml = 14,
    actExport = 15,
    actExportUrlList = 16,
    actExportTabText = 17,
    actExportHtml = 18,
    actExportXml = 19,
    actNew = 20,
    actChange = 21,
    actDelete = 22,
    actCopyUrl = 23,
    actPasteUrl = 24,
    actSelectAll = 25,
    actSelectUpdated = 26,
    actInvertSelection = 27,
    actMoveUp = 28,
    actMoveDown = 29,
    actSort = 30,
    actSortStatus = 31,
    actSortTitle = 32,
    actSortUrl = 33,
    actSortLastModified = 34,
    actSortResponse = 35,
    actSortMetaTag = 36,
    actRun = 37,
    actStop = 38,
    actStatus = 39,
    actStatusInitial = 40,
    actStatusNormal = 41,
    actStatusUpdate = 42,
    actStatusError = 43,
    actRestore = 44,
    actConfig = 45,
    actShowChanges = 46,
};
inline constexpr int ActionCount = 47;

// One entry of a menu: an action, a separator, or a heading with its submenu.
struct TMenuEntry
{
    static constexpr int Separator = -1;
    TMenuEntry(int entryId, std::vector<TMenuEntry> subEntries = {})
        : id(entryId)
        , entries(std::move(subEntries))
    {
    }
    int id;
    std::vector<TMenuEntry> entries;
};

// The action table: every command with its caption, hint, picture and shortcut, and the menus and the
// toolbar built from it, so that a command looks and acts the same wherever it is reached and disabling
// an action disables every entry bound to it.
class TActions : public QObject
{
    Q_OBJECT
public:
    // `images` is imgMenu; an action takes the picture its table entry names.
    TActions(const std::vector<QIcon>& images, QObject* parent);

    QAction* operator[](int id) const { return m_actions[static_cast<size_t>(id)]; }
    // The hint of the action, empty for a heading.
    static QString hint(int id);
    // A heading has no command: it only opens its submenu.
    static bool isHeading(int id);
    // The picture of imgMenu that the action shows, or -1.
    static int imageIndex(int id);

    // While a check run is in progress only "確認(&C)", "中止(&T)" and "元のサイズに戻す(&R)" stay enabled;
    // "変更点を表示(&D)" is left to the window, which enables it whenever a row is current.
    void enableForRun(bool running);

    void buildMainMenu(QMenuBar* bar) const;
    void fillMenu(QMenu* menu, const std::vector<TMenuEntry>& entries) const;
    // Sixteen buttons: twelve commands in five groups with four dividers.
    void buildToolBar(QToolBar* bar) const;

    static const std::vector<TMenuEntry>& mainMenu();
    static const std::vector<TMenuEntry>& popupMenu();
    static const std::vector<TMenuEntry>& trayMenu();
    // The toolbar's buttons in order; a divider is a Separator.
    static const std::vector<int>& toolBarButtons();

private:
    // A submenu that takes its caption from the heading action and follows its enabled state.
    QMenu* headingMenu(int id, QWidget* parent) const;

    std::array<QAction*, ActionCount> m_actions {};
};
