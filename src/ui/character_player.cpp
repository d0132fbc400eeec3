#include "ui/character_player.h"

#include "ui/character_images.h"

#include "base/exception.h"

#include <QMetaObject>

void TQtRepaintHandOff::requestRepaint()
{
    // Queued even from the player's thread: the window runs the repaint when its event loop gets to it,
    // and the player's thread does not depend on that to go on pausing or ending.
    QMetaObject::invokeMethod(
        this,
        [this] {
            if (m_player)
                m_player->Repaint();
        },
        Qt::QueuedConnection);
}

TCharacterPlayer::TCharacterPlayer(QColor background)
    : m_surface(background)
    , m_player(std::make_unique<TFilmPlayer>(m_clock, m_surface, m_surface, m_handOff))
{
    m_handOff.setPlayer(m_player.get());
}

TCharacterPlayer::~TCharacterPlayer()
{
    m_player->Destroy();
    m_handOff.setPlayer(nullptr);
}

void TCharacterPlayer::postEvent(TFilmEvent event)
{
    m_player->PostEvent(event);
    if (eventPosted)
        eventPosted(static_cast<size_t>(event));
}

bool TCharacterPlayer::load(const std::string& path, const QFont& font)
{
    m_player->Pause();
    try {
        setCharacter(ReadCharacter(path), font);
    } catch (const TException&) {
        return false;
    }
    postEvent(TFilmEvent::Loaded);
    m_player->Resume();
    return true;
}

void TCharacterPlayer::setCharacter(TCharactorData character, const QFont& font)
{
    decodeCharacterImages(character);
    m_surface.setFont(font);
    m_player->SetCharacter(std::move(character));
}
