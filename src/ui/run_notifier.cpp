#include "ui/run_notifier.h"

#include "session/sjis_text.h"

#include <QApplication>
#include <QFileInfo>
#include <QSoundEffect>
#include <QSystemTrayIcon>

TRunNotifier::TRunNotifier(QObject* parent)
    : QObject(parent)
{
    setObjectName(QStringLiteral("runNotifier"));
}

void TRunNotifier::playWave(const std::string& sjisFileName)
{
    ++m_waves;
    m_source.clear();
    if (sjisFileName.empty())
        return;
    // Checked before the player sees it: a missing file must stay silent and must not be reported.
    const QFileInfo file(fromSjis(sjisFileName));
    if (!file.isFile() || !file.isReadable())
        return;
    if (!m_effect)
        m_effect = new QSoundEffect(this);
    m_source = QUrl::fromLocalFile(file.absoluteFilePath());
    m_effect->stop();
    if (m_effect->source() != m_source)
        m_effect->setSource(m_source);
    // Decoding and playing happen off this thread; a file that turns out not to be a wave sounds nothing.
    m_effect->play();
}

void TRunNotifier::beep()
{
    ++m_beeps;
    QApplication::beep();
}

void TRunNotifier::showMessage(QSystemTrayIcon* tray, const QString& title, const QString& body)
{
    m_messages.push_back({ title, body });
    tray->showMessage(title, body, tray->icon());
}
