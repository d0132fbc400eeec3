#pragma once

#include <QDBusConnection>
#include <QMutex>
#include <QObject>
#include <QStringList>
#include <QThread>
#include <QVariantMap>

#include <vector>

// The object a desktop's notification service puts on the bus: it records each Notify and sends the signals
// that the user's answers cause.
class TNotificationObject : public QObject
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")
public:
    struct TCall
    {
        QString appName;
        uint replacesId = 0;
        QString icon;
        QString summary;
        QString body;
        QStringList actions;
        QVariantMap hints;
        uint id = 0; // the id the service gave it
    };

    TNotificationObject(QStringList capabilities, QString answer);
    std::vector<TCall> calls();

public Q_SLOTS:
    QStringList GetCapabilities();
    uint Notify(const QString& appName, uint replacesId, const QString& icon, const QString& summary,
        const QString& body, const QStringList& actions, const QVariantMap& hints, int expireTimeout);
    void CloseNotification(uint id);

Q_SIGNALS:
    void ActionInvoked(uint id, const QString& actionKey);
    void NotificationClosed(uint id, uint reason);

private:
    QStringList m_capabilities;
    QString m_answer;
    QMutex m_mutex;
    std::vector<TCall> m_calls;
    uint m_nextId = 41;
};

// A notification service of the test's own on the session bus. It runs on a thread and a connection of its own,
// as a desktop's runs in a process of its own, so that the caller's blocking calls are answered.
class TNotificationService
{
public:
    using TCall = TNotificationObject::TCall;

    // `capabilities` as GetCapabilities answers; `answer` an action key invoked on each notification at once, as
    // a user who clicks it would, or empty.
    explicit TNotificationService(QStringList capabilities = {}, QString answer = {});
    ~TNotificationService();
    TNotificationService(const TNotificationService&) = delete;
    TNotificationService& operator=(const TNotificationService&) = delete;

    bool registered() const { return m_registered; }
    // Waits up to 10 seconds, running the caller's events, until `count` notifications came.
    std::vector<TCall> waitForCalls(size_t count);
    void invokeAction(uint id, const QString& actionKey);
    void closeNotification(uint id);

private:
    QThread m_thread;
    QDBusConnection m_bus;
    TNotificationObject* m_object;
    bool m_registered = false;
};
