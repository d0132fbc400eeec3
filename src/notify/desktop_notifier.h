#pragma once

#include <QObject>
#include <QString>
#include <QStringList>

#include <string>
#include <string_view>
#include <vector>

class THistoryStore;
class THistoryTexts;

// A page that a run found updated, as a notification names it.
struct TNotifiedPage
{
    QString id; // the item's id, handed back when the user asks for its changes
    QString title;
    QString firstAddedLine; // empty when no text of the page is kept
};

// What a notification at the end of a run tells.
struct TRunNews
{
    QString summary; // the notification's heading
    std::vector<TNotifiedPage> updated;
    QStringList unreachable; // titles of pages that have just stopped answering
    bool empty() const { return updated.empty() && unreachable.empty(); }
};

// The first line of `newer` that `older` does not have (added or changed), without its surrounding blanks;
// empty when nothing but blank lines was added. Both texts are UTF-8.
QString firstAddedLine(std::string_view older, std::string_view newer);

// The first added line of the item's newest change that the history keeps; empty when it keeps fewer than two
// versions or cannot be read, since a notification goes without the line rather than not at all.
QString newestAddedLine(THistoryStore& history, const std::string& itemId);

// Fills in each updated page's first added line from the history of the page texts; a history that cannot be
// read leaves the lines empty.
void addFirstAddedLines(TRunNews& news, THistoryTexts& history);

// The notification's body: each updated title with its first added line under it, cut to 80 characters, then
// the pages that stopped answering under their own heading.
QString notificationBody(const TRunNews& news);

// Posts the program's notifications to the desktop's notification service (org.freedesktop.Notifications on
// the session bus) and hears the user's answer to them. Each notification replaces the one before it.
class TDesktopNotifier : public QObject
{
    Q_OBJECT
public:
    static constexpr const char* ShowChangesAction = "show-changes";

    explicit TDesktopNotifier(QObject* parent = nullptr);

    // Whether a notification service answers on the session bus; asked anew each time, since a desktop can
    // start or stop one while the program runs. False without a session bus.
    bool available();
    // Posts the news, replacing the previous notification; false when no service took it.
    bool notify(const TRunNews& news);
    // The service's id of the last notification posted, 0 before the first.
    uint lastId() const { return m_lastId; }
    // The activation token that came with the last action, for a window that the action starts; may be empty.
    QString activationToken() const { return m_token; }

Q_SIGNALS:
    // The notification itself was clicked.
    void restoreRequested();
    // Its action "変更点を表示" was chosen: the first updated page's id.
    void changesRequested(const QString& itemId);
    // The last notification is gone: closed by the user, expired or replaced from elsewhere.
    void closed();

private Q_SLOTS:
    void onActionInvoked(uint id, const QString& actionKey);
    void onNotificationClosed(uint id, uint reason);
    void onActivationToken(uint id, const QString& token);

private:
    bool m_connected = false;
    bool m_markup = false;
    uint m_lastId = 0;
    QString m_firstId;
    QString m_token;
};
