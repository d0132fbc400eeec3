#pragma once

#include "store/config.h"
#include "store/list_commands.h"
#include "ui/form_prompts.h"

#include <QObject>
#include <QTreeView>

#include <functional>
#include <map>
#include <memory>
#include <string>

class QMenu;
class TCheckListModel;
class TItemForm;
class TRunController;
struct TItemDone;
struct TRunSummary;

// The list's view: tells of mouse presses and double clicks after handling them itself, so that a right click
// has selected its row before the context menu opens.
class TCheckListView : public QTreeView
{
    Q_OBJECT
public:
    using QTreeView::QTreeView;

signals:
    void mouseDown(Qt::MouseButton button);
    void dblClicked();
    void viewportResized();

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    bool viewportEvent(QEvent* event) override;
};

// The item list as the window shows it: the view over the model of the settings' items, the selection, the
// fitting of the URL column, the list commands and the guard that lets one command work at a time. It follows
// a check run through the run controller's signals, showing each item done by its id.
// The settings' third double-click choice, beside DoubleClickAction's Edit and Browse.
inline constexpr uint8_t DoubleClickShowsChanges = 2;

class TItemList : public QObject
{
    Q_OBJECT
public:
    static constexpr int UrlColumn = 2;

    // `window` is where dialogs open and whose being enabled lets commands start; the view is made a child of
    // `viewParent`.
    TItemList(TConfig& config, TRunController& run, QWidget& window, QWidget* viewParent);

    TCheckListView* view() const { return m_view; }
    TCheckListModel* model() const { return m_model; }
    TItemForm* itemDialog() const { return m_itemForm; }
    // The settings with the items, which the list shows.
    TConfig& config() { return m_config; }

    // Enabled means that a command may start: the window is not disabled and no command is working.
    bool enabled() const;
    // Holds every command back (and tells busyChanged) until released.
    void setBusy(bool busy);
    // What a guarded command does with a failure to read or write a file (or memory running out).
    enum class TFileFailure { Tell, EndSilently };
    // Runs a command when the window is enabled and no run is in progress, with the window's own controls
    // disabled meanwhile; a failure is told in words (through `prompts`, the list's own when null) and leaves the
    // window usable.
    void guarded(const std::function<void()>& command, TFileFailure fileFailure = TFileFailure::Tell,
        TFormPrompts* prompts = nullptr);
    void setPrompts(std::unique_ptr<TFormPrompts> prompts);
    TFormPrompts& prompts() { return *m_prompts; }
    // Makes the item of `id` the current and only selected row, in view; an unknown id changes nothing.
    void focusItem(const std::string& id);
    // The menu a right click on the list opens.
    void setPopupMenu(QMenu* menu) { m_popup = menu; }

    // The list commands.
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
    void onListMouseDown(Qt::MouseButton button);
    void onListDblClick();
    void onListColumnClick(int column);

    // Shows every row again from the items, which may have changed in number.
    void refill();
    // Rows in list order that are selected.
    TSelection selectedRows() const;
    // The column widths of the settings, kept since the last time, and back into them.
    void applyColumnWidths();
    void captureColumnWidths();
    // What the list needs to show ten rows and URLs of a usual length whole.
    QSize readableSize() const;

signals:
    // The guard holds the commands back or lets them go again; the window disables its own controls meanwhile.
    void busyChanged(bool busy);
    void itemsLoaded();
    void itemsSaved();
    // A double click asks for the changes window of the current item (the settings' third choice).
    void changesWanted();

private:
    void build();
    // The URL column takes the width the other columns leave, never less than its own.
    void fitUrlColumn();
    void showSelection(const TSelection& selection);
    // Makes the row the current and only selected one, scrolled into view.
    void focusRow(size_t row);
    int selectedRow() const;
    void addItem(TCheckItem item, const QString& dialogCaption);
    void readItems(bool append);

    // Following a run.
    void runStarted();
    void itemDone(const std::string& id, size_t row);
    void runEnded();
    void runFinished();
    // Adds the row to the rows the run has done, which are the list's whole selection once shown.
    void addToSelection(int row);
    // Shows what the run did since the last time: the rows done again from their items, selected and the last
    // one scrolled into view, all at once, so that the list is repainted once however many items were done.
    void showRunProgress();

    TConfig& m_config;
    TRunController& m_run;
    QWidget& m_window;
    TCheckListModel* m_model = nullptr;
    TCheckListView* m_view = nullptr;
    TItemForm* m_itemForm = nullptr;
    QMenu* m_popup = nullptr;
    std::unique_ptr<TFormPrompts> m_prompts;
    bool m_busy = false;
    int m_urlWidth = 0; // the URL column's own width, which the user set or the settings gave
    bool m_fittingUrl = false;
    // The rows the run in progress has done, which it keeps selected: first and last row of each run of
    // neighbouring rows.
    std::map<int, int> m_runDone;
    int m_lastDoneRow = -1; // done since the progress was last shown
    bool m_ticksHidden = false;
};
