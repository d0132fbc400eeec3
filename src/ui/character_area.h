#pragma once

#include "character/film_player.h"

#include <QWidget>

#include <memory>
#include <string>

class TCharacterPlayer;

// The window's client area below the toolbar: the character's surface at its top left corner and the list
// beside the picture and below the balloon. It owns the character's player.
class TCharacterArea : public QWidget
{
    Q_OBJECT
public:
    static constexpr int ListTopOffset = 120; // the balloon's height

    explicit TCharacterArea(QWidget* parent);
    ~TCharacterArea() override;

    // The widget laid out beside the picture and below the balloon.
    void setList(QWidget* list) { m_list = list; }
    // Makes the player, which has no character until one is loaded.
    void startPlayer();
    // Stops the character for good.
    void stopPlayer();
    // The player while the character plays; null before start-up and after the end.
    TCharacterPlayer* player() const { return m_player.get(); }
    // Reads and shows the character of `path`, the client area at least its size; false leaves the old one.
    bool load(const std::string& path, const QFont& font);
    void postEvent(TFilmEvent event);
    // Places the list in the room the character leaves, hidden when there is none.
    void layoutList();
    // A click during a run tells the character that the program is busy.
    void setRunning(bool running) { m_running = running; }

protected:
    void paintEvent(QPaintEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    std::unique_ptr<TCharacterPlayer> m_player;
    QWidget* m_list = nullptr;
    bool m_surfaceShown = false;
    bool m_running = false;
};
