#pragma once

#include "history/history_store.h"
#include "text/text_diff.h"

#include <QPointer>
#include <QString>
#include <QUrl>
#include <QWidget>

#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

class QAction;
class QComboBox;
class QLabel;
class QToolButton;
struct TCheckItem;
class TItemList;
class TRunController;
class TChangesText;
struct TChangesShown;

// The item a changes window is about, as the window shows it.
struct TChangesSubject
{
    std::string id;
    QString title;
    QUrl viewUrl;
};
TChangesSubject changesSubject(const TCheckItem& item);

// Two kept versions of an item's page text and what changed between them, read and compared off the window's
// thread. Numbers are THistoryStore's (1 = the oldest kept); 0 asks for the default pair, the last against the
// one before it.
struct TChangesRequest
{
    int older = 0;
    int newer = 0;
};
struct TChangesResult
{
    std::vector<THistoryVersion> versions;
    int older = 0; // 0 when fewer than two versions are kept
    int newer = 0; // 0 when none is
    std::string newerText; // the text shown when there is nothing to compare it with
    std::shared_ptr<const TTextDiff> diff; // none when fewer than two versions are kept
    QString failure; // why the history could not be read; empty when it was
};
// Reads the item's history in `historyFolder` through a connection of its own, so that a run may write the
// history meanwhile. A folder without a history file is read as an empty history and no file is made there.
class TChangesReader
{
public:
    explicit TChangesReader(std::string historyFolder);
    ~TChangesReader();
    TChangesResult read(const std::string& itemId, TChangesRequest request);
    // The line counts of the item's last change (its last version against the one before); none when fewer than
    // two versions are kept. Raises TException when the history cannot be read.
    std::optional<TDiffStats> lastChange(const std::string& itemId);

private:
    bool openStore(); // false when the folder holds no history
    std::mutex m_mutex; // one read at a time on the connection
    std::string m_folder;
    std::unique_ptr<THistoryStore> m_store;
};

// The changes window of one item: the newer of two kept versions of its page text with what was removed and
// added marked, unchanged lines folded around each change. Non-modal; deletes itself when closed.
class TChangesWindow : public QWidget
{
public:
    TChangesWindow(TChangesSubject subject, std::string historyFolder, QWidget* parent = nullptr);
    ~TChangesWindow() override;

    const std::string& itemId() const { return m_subject.id; }
    // Shows another pair of versions (numbers as in the lists); the window reads and compares them off its thread.
    void compare(int older, int newer);
    // True while a reading or a comparison is in flight.
    bool isLoading() const { return m_pending > 0; }
    // The change shown (1-based, 0 before the first) and how many there are.
    int currentChange() const { return m_current + 1; }
    int changeCount() const;

    // How a URL reaches the desktop's browser; tests put their own here.
    std::function<void(const QUrl&)> openUrl;

    // A kept version as the version lists name it, by its check time in local time: "2026/12/08 10:15".
    static QString versionLabel(const THistoryVersion& version);

protected:
    void changeEvent(QEvent* event) override;

private:
    void request(TChangesRequest request);
    void refold();
    void start(std::function<TChangesShown()> job, int startChange);
    void showResult(TChangesShown shown, int startChange);
    void fillVersionLists();
    void moveToChange(int index);
    void followCursor();
    void updateCounter();

    TChangesSubject m_subject;
    std::shared_ptr<TChangesReader> m_reader;
    int m_pending = 0;
    int m_latestRequest = 0;
    TChangesResult m_result;
    std::vector<int> m_changeBlocks; // the text's block where each change begins
    int m_current = -1;
    bool m_recolour = false; // the palette changed while a text was being made in the old colours

    QComboBox* m_olderList = nullptr;
    QComboBox* m_newerList = nullptr;
    QLabel* m_state = nullptr;
    QLabel* m_counter = nullptr;
    QAction* m_next = nullptr;
    QAction* m_previous = nullptr;
    QAction* m_wholeText = nullptr;
    QAction* m_browse = nullptr;
    TChangesText* m_text = nullptr;
};

// The changes windows of the main window, one per item, and the line counts of each item's last change for the
// list; both read the history of the settings folder, once it is known.
class TChangesWindows : public QObject
{
public:
    explicit TChangesWindows(QWidget* parent);
    void setHistoryFolder(std::string folder);
    // Follows the list: `action` is enabled whenever a row is current, during a run too, and opens the current
    // item's window, as a double click does when the settings choose it; the row of an item that a check found
    // updated gets the count of its last change as its tooltip.
    void follow(TItemList& list, TRunController& run, QAction* action);

    // The item's window, made and shown, or raised when it is open already.
    TChangesWindow* open(const TCheckItem& item);
    // The open window of the item with this id, or null.
    TChangesWindow* window(const std::string& itemId) const;
    // Counts the item's last change off the window's thread and hands the count, as "3行追加、1行削除", to `done`;
    // nothing when fewer than two versions are kept or the history cannot be read.
    void countLastChange(
        const std::string& itemId, const std::function<void(const std::string&, const QString&)>& done);

private:
    std::string m_folder;
    QWidget* m_parent;
    std::map<std::string, QPointer<TChangesWindow>> m_windows;
    std::shared_ptr<TChangesReader> m_reader;
};
