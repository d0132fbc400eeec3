#include "character/film_player.h"

#include "platform/tick_count.h"

#include <algorithm>
#include <cstdlib>
#include <string>
#include <utility>

uint32_t TSystemTickClock::now()
{
    return tickCount();
}

TFilmPlayer::TFilmPlayer(ITickClock& clock, ITextMeasure& measure, IFilmSurface& surface, IRepaintHandOff& handOff)
    : m_clock(clock)
    , m_measure(measure)
    , m_surface(surface)
    , m_handOff(handOff)
{
    m_textClock = m_frameClock = m_clock.now();
    m_surface.resize(SurfaceWidth(), SurfaceHeight());
    m_thread = std::thread([this] { run(); });
}

TFilmPlayer::~TFilmPlayer()
{
    Destroy();
}

void TFilmPlayer::SetDrawCallback(DrawCallback callback)
{
    m_draw = std::move(callback);
}

void TFilmPlayer::PostEvent(size_t code)
{
    const auto& alternatives = m_character.events.at(code).alternatives;
    if (alternatives.empty())
        return;
    const auto& lines = alternatives[static_cast<size_t>(std::rand()) % alternatives.size()];
    for (const std::string& line : lines) {
        std::lock_guard lock(m_lock);
        m_balloon.queueText(line, m_measure);
    }
}

void TFilmPlayer::Click(int x, int y, bool runInProgress)
{
    bool quiet = false;
    {
        std::lock_guard lock(m_lock);
        if (m_current == TFilmKind::None)
            return;
        if (x < 1 || x >= m_pictureWidth || y < 1 || y >= m_pictureHeight)
            return;
        quiet = m_balloon.quiet();
        if (!quiet) {
            m_balloon.revealLast();
            m_balloon.moveNextIn();
        }
    }
    if (quiet)
        PostEvent(runInProgress ? TFilmEvent::ClickedDuringRun : TFilmEvent::Clicked);
}

void TFilmPlayer::DoubleClick()
{
    std::lock_guard lock(m_lock);
    while (!m_balloon.queued().empty()) {
        m_balloon.revealLast();
        m_balloon.moveNextIn();
    }
    m_balloon.revealLast();
}

void TFilmPlayer::Paint()
{
    if (m_destroyed)
        return;
    compose();
}

void TFilmPlayer::Repaint()
{
    if (!m_destroyed)
        compose();
    {
        std::lock_guard lock(m_handOffMutex);
        m_repaintPending = false;
    }
    m_handOffDone.notify_all();
}

void TFilmPlayer::compose()
{
    const TBMP* image = nullptr;
    std::vector<TMessageViewItem> lines;
    int x = 0;
    {
        std::lock_guard lock(m_lock);
        if (const TFilm* film = currentFilm(); film && !film->frames.empty()) {
            image = &film->images[film->frames[film->current].image];
            lines = m_balloon.shown();
            x = m_pictureWidth;
        }
    }
    if (!image) {
        if (m_draw)
            m_draw(nullptr);
        return;
    }
    m_surface.drawImage(*image, 0, 0);
    m_surface.drawBalloon(
        x, 0, x + TMessageView::Width, TMessageView::Height, TMessageView::Margin, TMessageView::Margin);
    int y = TMessageView::Margin;
    for (const auto& line : lines) {
        m_surface.drawText(x + TMessageView::Margin, y, line.shown());
        y += line.height;
    }
    const int tailY = TMessageView::Height - TailSize;
    const TSurfacePoint tail[3] = { { x, tailY - TailSize }, { x - TailSize, tailY }, { x, tailY } };
    m_surface.drawTail(tail);
    if (m_draw)
        m_draw(&m_surface);
}

void TFilmPlayer::Pause()
{
    if (m_destroyed)
        return;
    {
        std::lock_guard lock(m_handOffMutex);
        m_paused = true;
    }
    m_handOffDone.notify_all();
    m_wake.set();
    m_pausedAck.wait(-1);
}

void TFilmPlayer::Resume()
{
    if (m_destroyed)
        return;
    m_paused = false;
    m_wake.set();
    m_runningAck.wait(-1);
}

void TFilmPlayer::SetCharacter(TCharactorData character)
{
    std::lock_guard lock(m_lock);
    m_character = std::move(character);
    m_pictureWidth = m_character.idle.width;
    m_pictureHeight = m_character.idle.height;
    m_balloon.clear();
    m_character.idle.restart();
    m_character.talk.restart();
    m_current = TFilmKind::Idle;
    m_lastDrawnFrame = -1;
    m_surface.resize(m_pictureWidth + TMessageView::Width, std::max(m_pictureHeight, TMessageView::Height));
}

void TFilmPlayer::Destroy()
{
    if (m_destroyed)
        return;
    {
        std::lock_guard lock(m_handOffMutex);
        m_terminated = true;
        m_paused = false;
    }
    m_handOffDone.notify_all();
    m_draw = nullptr;
    m_wake.set();
    m_runningAck.wait(-1);
    if (m_thread.joinable())
        m_thread.join();
    m_destroyed = true;
    std::lock_guard lock(m_lock);
    m_balloon.clear();
    m_character = TCharactorData();
    m_current = TFilmKind::None;
}

int TFilmPlayer::PictureWidth() const
{
    std::lock_guard lock(m_lock);
    return m_pictureWidth;
}

int TFilmPlayer::PictureHeight() const
{
    std::lock_guard lock(m_lock);
    return m_pictureHeight;
}

int TFilmPlayer::SurfaceWidth() const
{
    return PictureWidth() + TMessageView::Width;
}

int TFilmPlayer::SurfaceHeight() const
{
    return std::max(PictureHeight(), TMessageView::Height);
}

TFilm* TFilmPlayer::currentFilm() noexcept
{
    return const_cast<TFilm*>(std::as_const(*this).currentFilm());
}

const TFilm* TFilmPlayer::currentFilm() const noexcept
{
    switch (m_current) {
    case TFilmKind::Idle:
        return &m_character.idle;
    case TFilmKind::Talk:
        return &m_character.talk;
    case TFilmKind::None:
        break;
    }
    return nullptr;
}

void TFilmPlayer::makeCurrent(TFilm& film, bool& changed)
{
    if (currentFilm() == &film)
        return;
    film.restart();
    m_current = &film == &m_character.idle ? TFilmKind::Idle : TFilmKind::Talk;
    m_lastDrawnFrame = -1;
    changed = true;
}

bool TFilmPlayer::Advance()
{
    bool changed = false;
    std::lock_guard lock(m_lock);
    const uint32_t now = m_clock.now();

    if (elapsedTicks(m_textClock, now) > TypingIntervalMs) {
        m_textClock = now;
        bool talking = false;
        auto& shown = m_balloon.shown();
        if (shown.empty() && !m_balloon.queued().empty())
            m_balloon.moveNextIn(); // its first character shows in this same tick
        if (shown.empty()) {
            talking = false;
        } else if (!shown.back().fullyRevealed()) {
            shown.back().revealOne();
            talking = true;
        } else if (!m_balloon.queued().empty()) {
            m_balloon.moveNextIn();
            talking = true;
        }
        if (m_current != TFilmKind::None) {
            if (talking) {
                makeCurrent(m_character.talk, changed);
                changed = true;
            } else {
                makeCurrent(m_character.idle, changed);
            }
        }
    }

    const uint32_t elapsed = elapsedTicks(m_frameClock, now);
    if (TFilm* film = currentFilm(); film && !film->frames.empty()) {
        TFilmFrame& frame = film->frames[film->current];
        if (frame.elapsed < frame.duration) {
            frame.elapsed = elapsed > UINT32_MAX - frame.elapsed ? UINT32_MAX : frame.elapsed + elapsed;
        } else {
            film->current = (film->current + 1) % film->frames.size();
            film->frames[film->current].elapsed = 0;
        }
        if (m_lastDrawnFrame != static_cast<long>(film->current))
            changed = true;
        m_lastDrawnFrame = static_cast<long>(film->current);
    }
    m_frameClock = now;
    return changed;
}

void TFilmPlayer::handOffRepaint()
{
    {
        std::lock_guard lock(m_handOffMutex);
        m_repaintPending = true;
    }
    m_handOff.requestRepaint();
    std::unique_lock lock(m_handOffMutex);
    m_handOffDone.wait(lock, [this] { return !m_repaintPending || m_paused || m_terminated; });
}

void TFilmPlayer::run()
{
    for (;;) {
        if (m_terminated) {
            m_pausedAck.set();
            m_runningAck.set();
            return;
        }
        if (m_paused) {
            m_pausedAck.set();
            m_runningAck.reset();
        } else {
            m_pausedAck.reset();
            m_runningAck.set();
            if (Advance())
                handOffRepaint();
        }
        m_wake.reset();
        m_wake.wait(LoopWaitMs);
    }
}

std::vector<TMessageViewItem> TFilmPlayer::ShownLines() const
{
    std::lock_guard lock(m_lock);
    return m_balloon.shown();
}

size_t TFilmPlayer::QueuedLines() const
{
    std::lock_guard lock(m_lock);
    return m_balloon.queued().size();
}

int TFilmPlayer::FilledHeight() const
{
    std::lock_guard lock(m_lock);
    return m_balloon.filledHeight();
}

TFilmKind TFilmPlayer::CurrentFilm() const
{
    std::lock_guard lock(m_lock);
    return m_current;
}

size_t TFilmPlayer::CurrentFrame() const
{
    std::lock_guard lock(m_lock);
    const TFilm* film = currentFilm();
    return film ? film->current : 0;
}
