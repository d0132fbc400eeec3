#include "ui/tray.h"

#include "session/sjis_text.h"

#include <QApplication>
#include <QMenu>
#include <QSystemTrayIcon>
#include <QWidget>

namespace {

// The application title cut to what the tray tip holds: 63 Shift_JIS bytes, never half a character.
QString trayTip(const QString& title)
{
    QString tip;
    for (const QChar c : title) {
        const QString next = tip + c;
        if (toSjis(next).size() > 63)
            break;
        tip = next;
    }
    return tip;
}

} // namespace

TTray::TTray(QWidget& window, QMenu* menu)
    : QObject(&window)
    , m_window(window)
    , m_menu(menu)
    , m_available([] { return QSystemTrayIcon::isSystemTrayAvailable(); })
{
}

bool TTray::shown() const
{
    return m_icon && m_icon->isVisible();
}

void TTray::show()
{
    if (!m_icon) {
        m_icon = new QSystemTrayIcon(&m_window);
        m_icon->setObjectName(QStringLiteral("trayIcon"));
        m_icon->setContextMenu(m_menu);
        connect(m_icon, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason reason) {
            if (reason == QSystemTrayIcon::DoubleClick)
                emit restoreRequested();
        });
        connect(m_icon, &QSystemTrayIcon::messageClicked, this, &TTray::restoreRequested);
    }
    if (m_icon->isVisible())
        return;
    m_icon->setIcon(QApplication::windowIcon().isNull() ? m_window.windowIcon() : QApplication::windowIcon());
    m_icon->setToolTip(trayTip(QApplication::applicationName()));
    m_icon->show();
}

void TTray::remove()
{
    if (m_icon)
        m_icon->hide();
}

void TTray::takeMinimisedWindow(bool toTray)
{
    if (!m_window.isMinimized() || !toTray || !available())
        return;
    m_window.hide();
    remove();
    show();
}
