#pragma once

#include <QObject>
#include <QUrl>

#include <QString>

#include <string>
#include <vector>

class QSoundEffect;
class QSystemTrayIcon;

// The sound at the end of a check run, a wave file started without waiting for it or the desktop's beep, and
// the desktop notification that tells of a run while the window is away.
class TRunNotifier : public QObject
{
public:
    explicit TRunNotifier(QObject* parent);

    // Starts the wave file of the Shift_JIS name and returns at once. An empty name, a missing or unreadable
    // file plays nothing and shows nothing; the desktop's default sound is never put in its place.
    void playWave(const std::string& sjisFileName);
    void beep();
    // Posts a notification from the tray icon, through the desktop's notification service where it has one.
    void showMessage(QSystemTrayIcon* tray, const QString& title, const QString& body);

    // What was asked of the notifier, so that the run's choice of sound can be seen without hearing it.
    int beepCount() const { return m_beeps; }
    int waveCount() const { return m_waves; }
    // The file last handed to the player; empty when the last wave asked for was not playable.
    QUrl waveSource() const { return m_source; }
    struct TMessage
    {
        QString title;
        QString body;
    };
    // Every notification posted, in order.
    const std::vector<TMessage>& messages() const { return m_messages; }

private:
    QSoundEffect* m_effect = nullptr;
    QUrl m_source;
    int m_beeps = 0;
    int m_waves = 0;
    std::vector<TMessage> m_messages;
};
