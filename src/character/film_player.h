#pragma once

#include "character/character_data.h"
#include "character/message_view.h"
#include "platform/event.h"

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string_view>
#include <thread>
#include <vector>

// The system's millisecond tick count, or a clock that a test turns by hand.
class ITickClock
{
public:
    virtual ~ITickClock() = default;
    virtual uint32_t now() = 0;
};

class TSystemTickClock : public ITickClock
{
public:
    uint32_t now() override;
};

// Time since `start`; after the counter wraps it counts from zero, so it is short for one pass, never huge.
inline uint32_t elapsedTicks(uint32_t start, uint32_t now) noexcept
{
    return now < start ? now : now - start;
}

struct TSurfacePoint
{
    int x = 0;
    int y = 0;
};

// The bitmap on which the player composes the character and its balloon; drawn by the window's toolkit.
// Used on the user-interface thread only.
class IFilmSurface
{
public:
    virtual ~IFilmSurface() = default;
    virtual void resize(int width, int height) = 0;
    virtual void drawImage(const TBMP& image, int x, int y) = 0;
    // A rounded rectangle filled white with an 8-pixel blue border.
    virtual void drawBalloon(int left, int top, int right, int bottom, int cornerWidth, int cornerHeight) = 0;
    // Text in the balloon font with its top left corner at (x, y).
    virtual void drawText(int x, int y, std::string_view sjis) = 0;
    // A triangle filled blue with a 1-pixel blue pen.
    virtual void drawTail(const TSurfacePoint (&points)[3]) = 0;
};

// Carries a repaint from the player's thread to the user-interface thread. requestRepaint() must not
// block: it arranges for TFilmPlayer::Repaint() to run soon on the user-interface thread.
class IRepaintHandOff
{
public:
    virtual ~IRepaintHandOff() = default;
    virtual void requestRepaint() = 0;
};

enum class TFilmKind { None, Idle, Talk };

// The events of the character's 12-entry event table, as the program posts them.
enum class TFilmEvent : size_t {
    Loaded = 0, // a character has been loaded
    Unused1 = 1,
    Clicked = 2, // a click on the quiet balloon while no check run is in progress
    ItemsLoaded = 3, // items were read from an items file (open or add)
    ItemsSaved = 4,
    RunStarts = 5,
    RunStopped = 6,
    RunCompleted = 7,
    ClickedDuringRun = 8,
    FirstUpdate = 9, // the first item of a run that counts as updated
    NothingUpdated = 10, // a run ended without any updated item, after RunStopped or RunCompleted
    Unused11 = 11,
};

// Animates the loaded character and types its lines into the balloon on a thread of its own.
// Every operation but Advance() is for the user-interface thread.
class TFilmPlayer
{
public:
    using DrawCallback = std::function<void(IFilmSurface* surface)>;

    static constexpr int LoopWaitMs = 10;
    static constexpr uint32_t TypingIntervalMs = 100;
    static constexpr int TailSize = 16;

    // Starts the thread, paused, with an empty character. The four helpers must outlive the player.
    TFilmPlayer(ITickClock& clock, ITextMeasure& measure, IFilmSurface& surface, IRepaintHandOff& handOff);
    ~TFilmPlayer();
    TFilmPlayer(const TFilmPlayer&) = delete;
    TFilmPlayer& operator=(const TFilmPlayer&) = delete;

    void SetDrawCallback(DrawCallback callback);

    // Says one alternative, chosen with std::rand(), of the event's lines; nothing when it has none.
    // A code outside the event table raises std::out_of_range.
    void PostEvent(size_t code);
    void PostEvent(TFilmEvent event) { PostEvent(static_cast<size_t>(event)); }
    // A click in window client coordinates: on the picture it pages through pending text, or, when the
    // balloon is quiet, posts event 2 (event 8 while a check run is in progress).
    void Click(int x, int y, bool runInProgress);
    // Shows the final page of all pending text at once.
    void DoubleClick();
    // Composes the surface and hands it to the draw callback (none while no film is current).
    void Paint();
    // The repaint that the hand-off asked for; releases the player's thread waiting on it.
    void Repaint();

    void Pause();
    void Resume();
    // To be called while paused. The balloon is emptied and the idle film starts over.
    void SetCharacter(TCharactorData character);
    // Stops the thread; afterwards the player does nothing. The destructor calls it when needed.
    void Destroy();

    int PictureWidth() const;
    int PictureHeight() const;
    int SurfaceWidth() const;
    int SurfaceHeight() const;

    // One pass of the clockwork: the text tick and the frame tick. True when the picture changed.
    // The thread calls it on every pass while running; tests call it on a paused player.
    bool Advance();

    // Views of the state, taken under the balloon lock.
    std::vector<TMessageViewItem> ShownLines() const;
    size_t QueuedLines() const;
    int FilledHeight() const;
    TFilmKind CurrentFilm() const;
    size_t CurrentFrame() const;

private:
    void run();
    void handOffRepaint();
    void compose();
    TFilm* currentFilm() noexcept;
    const TFilm* currentFilm() const noexcept;
    void makeCurrent(TFilm& film, bool& changed);

    ITickClock& m_clock;
    ITextMeasure& m_measure;
    IFilmSurface& m_surface;
    IRepaintHandOff& m_handOff;

    // The balloon lock: guards the balloon, the films' playing state and the current film.
    mutable std::mutex m_lock;
    TMessageView m_balloon;
    TCharactorData m_character;
    TFilmKind m_current = TFilmKind::None;
    long m_lastDrawnFrame = -1;
    int m_pictureWidth = 0;
    int m_pictureHeight = 0;
    uint32_t m_textClock = 0;
    uint32_t m_frameClock = 0;

    DrawCallback m_draw;

    std::atomic<bool> m_paused { true };
    std::atomic<bool> m_terminated { false };
    bool m_destroyed = false;
    win32::TEvent m_wake { win32::TEvent::Reset::Manual, false };
    win32::TEvent m_pausedAck { win32::TEvent::Reset::Manual, true };
    win32::TEvent m_runningAck { win32::TEvent::Reset::Manual, false };

    // The repaint hand-off: the player's thread waits until the repaint is done, or until a pause or
    // the end is asked for, so that neither thread ever waits for the other at the same time.
    std::mutex m_handOffMutex;
    std::condition_variable m_handOffDone;
    bool m_repaintPending = false;

    std::thread m_thread;
};
