#pragma once

#include "character/film_player.h"
#include "ui/film_surface.h"

#include <QFont>
#include <QObject>

#include <functional>

#include <memory>
#include <string>

// Carries the player's repaints onto the thread of this object (the window's) through its event queue.
class TQtRepaintHandOff : public QObject, public IRepaintHandOff
{
public:
    void setPlayer(TFilmPlayer* player) { m_player = player; }
    void requestRepaint() override;

private:
    TFilmPlayer* m_player = nullptr;
};

// The film player with its Qt surface, font measure, clock and repaint hand-off, for the main window.
// Create and use it on the user-interface thread.
class TCharacterPlayer
{
public:
    explicit TCharacterPlayer(QColor background = Qt::white);
    ~TCharacterPlayer();
    TCharacterPlayer(const TCharacterPlayer&) = delete;
    TCharacterPlayer& operator=(const TCharacterPlayer&) = delete;

    TFilmPlayer& player() { return *m_player; }
    TFilmSurface& surface() { return m_surface; }

    // Posts a character event to the player, then tells `eventPosted` (which tests watch) its number.
    void postEvent(TFilmEvent event);
    std::function<void(size_t)> eventPosted;

    // Pauses, reads and decodes the file, gives it to the player with `font` for the balloon, posts
    // event 0 and resumes. On failure returns false and the player stays paused with its old character.
    bool load(const std::string& path, const QFont& font);
    // Decodes the pictures and gives the character to the (paused) player; raises TException when a
    // picture cannot be decoded.
    void setCharacter(TCharactorData character, const QFont& font);

private:
    TSystemTickClock m_clock;
    TFilmSurface m_surface;
    TQtRepaintHandOff m_handOff;
    // Last, so that its thread has ended before the helpers go.
    std::unique_ptr<TFilmPlayer> m_player;
};
