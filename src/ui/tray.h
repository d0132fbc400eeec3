#pragma once

#include <QObject>

#include <functional>

class QMenu;
class QSystemTrayIcon;
class QWidget;

// The notification-area icon of the window: made on first use, shown while the window is away in the tray or
// a notification needs it, with its menu; a double click or a click on its notification asks for the window.
class TTray : public QObject
{
    Q_OBJECT
public:
    TTray(QWidget& window, QMenu* menu);

    // Whether the desktop has a notification area; minimising goes to the tray only when it has.
    void setAvailability(std::function<bool()> available) { m_available = std::move(available); }
    bool available() const { return m_available && m_available(); }
    bool shown() const;
    // The icon, once it was needed.
    QSystemTrayIcon* icon() const { return m_icon; }
    void show();
    void remove();
    // Hides a minimised window into the tray when `toTray` and the desktop has one.
    void takeMinimisedWindow(bool toTray);

signals:
    void restoreRequested();

private:
    QWidget& m_window;
    QMenu* m_menu;
    QSystemTrayIcon* m_icon = nullptr;
    std::function<bool()> m_available;
};
