#include "notify/desktop_notifier.h"

#include "base/exception.h"
#include "history/history_store.h"
#include "history/history_texts.h"
#include "text/text_diff.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QVariantMap>

namespace {

const QString Service = QStringLiteral("org.freedesktop.Notifications");
const QString Path = QStringLiteral("/org/freedesktop/Notifications");
const QString Interface = QStringLiteral("org.freedesktop.Notifications");
// A service that is registered but hangs must not hold the window for long.
constexpr int CallTimeout = 3000;
constexpr qsizetype LineCharacters = 80;

QString cut(const QString& line)
{
    const QList<uint> characters = line.toUcs4();
    if (characters.size() <= LineCharacters)
        return line;
    return QString::fromUcs4(reinterpret_cast<const char32_t*>(characters.constData()), LineCharacters - 1)
        + QChar(0x2026);
}

} // namespace

QString firstAddedLine(std::string_view older, std::string_view newer)
{
    const TTextDiff diff = diffTexts(older, newer);
    for (const TDiffLine& line : diff.lines) {
        if (line.kind != TDiffLine::Added && line.kind != TDiffLine::Changed)
            continue;
        QString text = QString::fromUtf8(line.text.data(), static_cast<qsizetype>(line.text.size())).trimmed();
        if (!text.isEmpty())
            return text;
    }
    return {};
}

QString newestAddedLine(THistoryStore& history, const std::string& itemId)
{
    try {
        const int count = static_cast<int>(history.versions(itemId).size());
        if (count < 2)
            return {};
        return firstAddedLine(history.text(itemId, count - 1), history.text(itemId, count));
    } catch (const TException&) {
        return {};
    }
}

void addFirstAddedLines(TRunNews& news, THistoryTexts& history)
{
    if (news.updated.empty())
        return;
    try {
        history.withStore([&news](THistoryStore& store) {
            for (TNotifiedPage& page : news.updated)
                page.firstAddedLine = newestAddedLine(store, page.id.toStdString());
        });
    } catch (const TException&) {
        // A notification without the lines rather than none.
    }
}

QString notificationBody(const TRunNews& news)
{
    QStringList lines;
    for (const TNotifiedPage& page : news.updated) {
        lines.append(cut(page.title));
        if (!page.firstAddedLine.isEmpty())
            lines.append(QStringLiteral("　") + cut(page.firstAddedLine));
    }
    if (!news.unreachable.isEmpty()) {
        lines.append(QStringLiteral("確認できなくなったページ"));
        for (const QString& title : news.unreachable)
            lines.append(QStringLiteral("　") + cut(title));
    }
    return lines.join(QLatin1Char('\n'));
}

TDesktopNotifier::TDesktopNotifier(QObject* parent)
    : QObject(parent)
{
    setObjectName(QStringLiteral("desktopNotifier"));
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected())
        return;
    // The service sends these for every client's notifications, or for ours alone; the id tells them apart.
    m_connected = bus.connect(Service, Path, Interface, QStringLiteral("ActionInvoked"), this,
                      SLOT(onActionInvoked(uint, QString)))
        && bus.connect(Service, Path, Interface, QStringLiteral("NotificationClosed"), this,
            SLOT(onNotificationClosed(uint, uint)));
    bus.connect(
        Service, Path, Interface, QStringLiteral("ActivationToken"), this, SLOT(onActivationToken(uint, QString)));
}

bool TDesktopNotifier::available()
{
    if (!m_connected)
        return false;
    QDBusConnection bus = QDBusConnection::sessionBus();
    const QDBusConnectionInterface* daemon = bus.interface();
    if (!daemon)
        return false;
    // A service that the bus starts on demand answers too; asking it for its capabilities starts it.
    if (!daemon->isServiceRegistered(Service) && !daemon->activatableServiceNames().value().contains(Service))
        return false;
    const QDBusMessage reply
        = bus.call(QDBusMessage::createMethodCall(Service, Path, Interface, QStringLiteral("GetCapabilities")),
            QDBus::Block, CallTimeout);
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty())
        return false;
    // Where the service reads markup, a '<' or '&' of a page's text must stay text.
    m_markup = reply.arguments().constFirst().toStringList().contains(QStringLiteral("body-markup"));
    return true;
}

bool TDesktopNotifier::notify(const TRunNews& news)
{
    if (!m_connected)
        return false;
    QString body = notificationBody(news);
    if (m_markup)
        body = body.toHtmlEscaped();
    QStringList actions { QStringLiteral("default"), QStringLiteral("ウィンドウを表示") };
    if (!news.updated.empty())
        actions << QString::fromLatin1(ShowChangesAction) << QStringLiteral("変更点を表示");
    const QVariantMap hints { { QStringLiteral("desktop-entry"), QStringLiteral("vantrel") } };
    QDBusMessage call = QDBusMessage::createMethodCall(Service, Path, Interface, QStringLiteral("Notify"));
    call << QStringLiteral("Vantrel") << m_lastId << QStringLiteral("vantrel") << news.summary << body << actions
         << hints << -1;
    const QDBusMessage reply = QDBusConnection::sessionBus().call(call, QDBus::Block, CallTimeout);
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty())
        return false;
    m_lastId = reply.arguments().constFirst().toUInt();
    m_firstId = news.updated.empty() ? QString() : news.updated.front().id;
    m_token.clear();
    return true;
}

void TDesktopNotifier::onActionInvoked(uint id, const QString& actionKey)
{
    if (id == 0 || id != m_lastId)
        return;
    if (actionKey == QLatin1String(ShowChangesAction) && !m_firstId.isEmpty())
        Q_EMIT changesRequested(m_firstId);
    else if (actionKey == QLatin1String("default"))
        Q_EMIT restoreRequested();
}

void TDesktopNotifier::onNotificationClosed(uint id, uint)
{
    if (id != 0 && id == m_lastId)
        Q_EMIT closed();
}

void TDesktopNotifier::onActivationToken(uint id, const QString& token)
{
    if (id != 0 && id == m_lastId)
        m_token = token;
}
