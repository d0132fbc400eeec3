#include "notification_service.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QMutexLocker>
#include <QTimer>

namespace {

const QString Service = QStringLiteral("org.freedesktop.Notifications");
const QString Path = QStringLiteral("/org/freedesktop/Notifications");
const QString ConnectionName = QStringLiteral("test-notifications");

} // namespace

TNotificationObject::TNotificationObject(QStringList capabilities, QString answer)
    : m_capabilities(std::move(capabilities))
    , m_answer(std::move(answer))
{
}

std::vector<TNotificationObject::TCall> TNotificationObject::calls()
{
    const QMutexLocker lock(&m_mutex);
    return m_calls;
}

QStringList TNotificationObject::GetCapabilities()
{
    return m_capabilities;
}

uint TNotificationObject::Notify(const QString& appName, uint replacesId, const QString& icon, const QString& summary,
    const QString& body, const QStringList& actions, const QVariantMap& hints, int)
{
    const uint id = replacesId != 0 ? replacesId : m_nextId++;
    {
        const QMutexLocker lock(&m_mutex);
        m_calls.push_back({ appName, replacesId, icon, summary, body, actions, hints, id });
    }
    // After the reply, as a user's click comes after the notification is shown.
    if (!m_answer.isEmpty())
        QTimer::singleShot(0, this, [this, id] { Q_EMIT ActionInvoked(id, m_answer); });
    return id;
}

void TNotificationObject::CloseNotification(uint id)
{
    Q_EMIT NotificationClosed(id, 3);
}

TNotificationService::TNotificationService(QStringList capabilities, QString answer)
    : m_bus(QDBusConnection::connectToBus(QDBusConnection::SessionBus, ConnectionName))
    , m_object(new TNotificationObject(std::move(capabilities), std::move(answer)))
{
    // Registered before it moves: the registration hangs a child on it, which must move along.
    m_registered
        = m_bus.registerObject(Path, m_object, QDBusConnection::ExportAllSlots | QDBusConnection::ExportAllSignals)
        && m_bus.registerService(Service);
    m_object->moveToThread(&m_thread);
    m_thread.start();
}

TNotificationService::~TNotificationService()
{
    m_bus.unregisterService(Service);
    m_bus.unregisterObject(Path);
    QMetaObject::invokeMethod(
        m_object, [object = m_object] { delete object; }, Qt::BlockingQueuedConnection);
    m_thread.quit();
    m_thread.wait();
    m_bus = QDBusConnection(QString());
    QDBusConnection::disconnectFromBus(ConnectionName);
}

std::vector<TNotificationService::TCall> TNotificationService::waitForCalls(size_t count)
{
    const QDeadlineTimer deadline(10000);
    for (;;) {
        std::vector<TCall> calls = m_object->calls();
        if (calls.size() >= count || deadline.hasExpired())
            return calls;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(5);
    }
}

void TNotificationService::invokeAction(uint id, const QString& actionKey)
{
    QMetaObject::invokeMethod(
        m_object, [object = m_object, id, actionKey] { Q_EMIT object->ActionInvoked(id, actionKey); });
}

void TNotificationService::closeNotification(uint id)
{
    QMetaObject::invokeMethod(m_object, [object = m_object, id] { Q_EMIT object->NotificationClosed(id, 2); });
}
