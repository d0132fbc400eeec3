#include "character/film_player.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <future>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

namespace {

class ManualClock : public ITickClock
{
public:
    explicit ManualClock(uint32_t start = 0)
        : m_now(start)
    {
    }
    uint32_t now() override { return m_now; }
    void set(uint32_t now) { m_now = now; }

private:
    std::atomic<uint32_t> m_now;
};

// Every byte 8 pixels wide, every line 16 high: 36 single-byte characters reach the 288-pixel width.
class FixedMeasure : public ITextMeasure
{
public:
    TTextExtent measure(std::string_view sjis) const override { return { int(sjis.size()) * 8, 16 }; }
};

// Records what the player draws, one text per call.
class RecordingSurface : public IFilmSurface
{
public:
    void resize(int width, int height) override { calls.push_back("resize " + pair(width, height)); }
    void drawImage(const TBMP& image, int x, int y) override
    {
        calls.push_back("image " + image.bytes.toString() + " " + pair(x, y));
    }
    void drawBalloon(int left, int top, int right, int bottom, int cornerWidth, int cornerHeight) override
    {
        calls.push_back(
            "balloon " + pair(left, top) + " " + pair(right, bottom) + " " + pair(cornerWidth, cornerHeight));
    }
    void drawText(int x, int y, std::string_view sjis) override
    {
        calls.push_back("text " + pair(x, y) + " " + std::string(sjis));
    }
    void drawTail(const TSurfacePoint (&points)[3]) override
    {
        calls.push_back("tail " + pair(points[0].x, points[0].y) + " " + pair(points[1].x, points[1].y) + " "
            + pair(points[2].x, points[2].y));
    }

    std::vector<std::string> calls;

private:
    static std::string pair(int a, int b) { return std::to_string(a) + "," + std::to_string(b); }
};

// The user-interface side of the hand-off: requests wait until the test thread serves them.
class QueuedHandOff : public IRepaintHandOff
{
public:
    void requestRepaint() override
    {
        std::lock_guard lock(m_mutex);
        ++m_pending;
        ++m_total;
    }
    int pending()
    {
        std::lock_guard lock(m_mutex);
        return m_pending;
    }
    int total()
    {
        std::lock_guard lock(m_mutex);
        return m_total;
    }
    // Runs the repaints asked for so far, as the window's event loop would.
    void serve(TFilmPlayer& player)
    {
        int count = 0;
        {
            std::lock_guard lock(m_mutex);
            count = m_pending;
            m_pending = 0;
        }
        for (int i = 0; i < count; ++i)
            player.Repaint();
    }

private:
    std::mutex m_mutex;
    int m_pending = 0;
    int m_total = 0;
};

TBMP picture(const std::string& tag, int width, int height)
{
    TBMP image;
    image.bytes = TMemory(tag);
    image.width = width;
    image.height = height;
    return image;
}

TFilm film(std::vector<TBMP> images, std::vector<TFilmFrame> frames)
{
    TFilm result;
    for (const auto& image : images) {
        result.width = std::max(result.width, image.width);
        result.height = std::max(result.height, image.height);
    }
    result.images = std::move(images);
    result.frames = std::move(frames);
    return result;
}

// Idle film: "idle0" for 30 ms, "idle1" for 0 ms; talk film: "talk0", "talk1"; picture 40 x 50.
TCharactorData character(std::vector<std::vector<TAnsiStringArray>> events = {})
{
    TCharactorData data;
    for (size_t i = 0; i < events.size(); ++i)
        data.events[i].alternatives = events[i];
    data.idle = film({ picture("idle0", 40, 50), picture("idle1", 30, 20) }, { { 0, 30, 0 }, { 1, 0, 0 } });
    data.talk = film({ picture("talk0", 40, 50), picture("talk1", 40, 50) }, { { 0, 100, 0 }, { 1, 100, 0 } });
    return data;
}

using Script = std::vector<std::vector<TAnsiStringArray>>;

// A paused player driven by hand.
struct Player
{
    ManualClock clock;
    FixedMeasure measure;
    RecordingSurface surface;
    QueuedHandOff handOff;
    TFilmPlayer player { clock, measure, surface, handOff };

    explicit Player(std::vector<std::vector<TAnsiStringArray>> events = {}) { player.SetCharacter(character(events)); }

    // Moves the clock on by `ms` and runs one pass.
    bool step(uint32_t ms)
    {
        clock.set(clock.now() + ms);
        return player.Advance();
    }
    std::vector<std::string> shown() const
    {
        std::vector<std::string> texts;
        for (const auto& line : player.ShownLines())
            texts.emplace_back(line.shown());
        return texts;
    }
    std::vector<std::string> lines() const
    {
        std::vector<std::string> texts;
        for (const auto& line : player.ShownLines())
            texts.push_back(line.text);
        return texts;
    }
};

using Lines = std::vector<std::string>;

TEST(ElapsedTicks, CountsFromZeroAfterTheCounterWraps)
{
    struct Case
    {
        uint32_t start, now, elapsed;
    } cases[]
        = { { 0, 0, 0 }, { 100, 250, 150 }, { 0xfffffff0u, 0xffffffffu, 15 }, { 0xffffff00u, 50, 50 }, { 1, 0, 0 } };
    for (const auto& c : cases)
        EXPECT_EQ(elapsedTicks(c.start, c.now), c.elapsed) << c.start << " " << c.now;
}

TEST(FilmPlayer, RevealsOneCharacterPerTypingIntervalAndDoubleByteCharactersWhole)
{
    Player p({ { { "a\x82\xa0"
                   "b" } } }); // "a", a double-byte character, "b"
    p.player.PostEvent(0);
    EXPECT_EQ(p.player.QueuedLines(), 1u);
    EXPECT_TRUE(p.shown().empty());

    struct Step
    {
        uint32_t ms;
        std::string shown;
        TFilmKind film;
    } steps[] = {
        { 100, "", TFilmKind::Idle }, // not more than 100 ms yet
        { 1, "a", TFilmKind::Talk }, { 50, "a", TFilmKind::Talk }, { 51, "a\x82\xa0", TFilmKind::Talk },
        { 101,
            "a\x82\xa0"
            "b",
            TFilmKind::Talk },
        { 101,
            "a\x82\xa0"
            "b",
            TFilmKind::Idle }, // the first tick that finds the balloon quiet
    };
    for (const auto& s : steps) {
        p.step(s.ms);
        const Lines shown = p.shown();
        EXPECT_EQ(shown.empty() ? "" : shown.front(), s.shown) << p.clock.now();
        EXPECT_EQ(p.player.CurrentFilm(), s.film) << p.clock.now();
    }
    EXPECT_EQ(p.player.QueuedLines(), 0u);
}

TEST(FilmPlayer, BreaksLinesAtTheBalloonWidthWithoutSplittingDoubleByteCharacters)
{
    const std::string dbc = "\x88\x9f"; // one double-byte character, 16 pixels
    struct Case
    {
        std::string text;
        Lines lines;
    } cases[] = {
        { "", { " " } },
        { std::string(36, 'x'), { std::string(36, 'x') } },
        { std::string(40, 'x'), { std::string(36, 'x'), "xxxx" } },
        { std::string(35, 'x') + dbc + "yz", { std::string(35, 'x') + dbc, "yz" } },
        { std::string(18, 'x') + dbc + dbc + std::string(20, 'y'),
            { std::string(18, 'x') + dbc + dbc + std::string(14, 'y'), std::string(6, 'y') } },
        { std::string(36 * 2 + 1, 'x'), { std::string(36, 'x'), std::string(36, 'x'), "x" } },
    };
    for (const auto& c : cases) {
        Player p({ { { c.text } } });
        p.player.PostEvent(0);
        EXPECT_EQ(p.player.QueuedLines(), c.lines.size()) << c.text;
        p.player.DoubleClick();
        EXPECT_EQ(p.lines(), c.lines) << c.text;
    }
}

TEST(FilmPlayer, StartsANewPageWhenTheFilledHeightPassesTheBalloon)
{
    // Five lines of 16 pixels fill 80 of the 88; the sixth starts the page again.
    Player p({ { { "1", "2", "3", "4", "5", "6", "7" } } });
    p.player.PostEvent(0);
    for (int i = 0; i < 5; ++i)
        p.player.Click(1, 1, false);
    EXPECT_EQ(p.lines(), (Lines { "1", "2", "3", "4", "5" }));
    EXPECT_EQ(p.player.FilledHeight(), 80);
    p.player.Click(1, 1, false);
    EXPECT_EQ(p.lines(), (Lines { "6" }));
    EXPECT_EQ(p.player.FilledHeight(), 16);
    p.player.DoubleClick();
    EXPECT_EQ(p.lines(), (Lines { "6", "7" }));
    EXPECT_EQ(p.shown(), (Lines { "6", "7" }));
}

TEST(FilmPlayer, ClickPagesThroughTextAndOnAQuietBalloonPostsAnEvent)
{
    Player p({ { { "first", "second" } }, {}, { { "idle click" } }, {}, {}, {}, {}, {}, { { "busy click" } } });
    p.player.PostEvent(0);
    p.step(101);
    EXPECT_EQ(p.shown(), (Lines { "f" }));

    p.player.Click(1, 1, false); // completes "first" and brings in "second", nothing of it shown yet
    EXPECT_EQ(p.shown(), (Lines { "first", "" }));
    p.player.Click(39, 49, false);
    EXPECT_EQ(p.shown(), (Lines { "first", "second" }));

    // Outside the picture nothing happens.
    for (auto [x, y] : { std::pair { 0, 1 }, { 1, 0 }, { 40, 1 }, { 1, 50 }, { -5, 10 } }) {
        p.player.Click(x, y, false);
        EXPECT_EQ(p.player.QueuedLines(), 0u) << x << "," << y;
    }

    p.player.Click(5, 5, false);
    ASSERT_EQ(p.player.QueuedLines(), 1u);
    p.player.DoubleClick();
    EXPECT_EQ(p.shown(), (Lines { "first", "second", "idle click" }));

    p.player.Click(5, 5, true);
    p.player.DoubleClick();
    EXPECT_EQ(p.shown().back(), "busy click");
}

TEST(FilmPlayer, DoubleClickShowsTheFinalPageAndTheIdleFilmReturnsAtTheNextTick)
{
    Player p({ { { "a", "b", "c", "d", "e", "f", "g" } } });
    p.player.PostEvent(0);
    p.step(101);
    EXPECT_EQ(p.player.CurrentFilm(), TFilmKind::Talk);
    p.player.DoubleClick();
    EXPECT_EQ(p.shown(), (Lines { "f", "g" }));
    EXPECT_EQ(p.player.QueuedLines(), 0u);
    p.step(101);
    EXPECT_EQ(p.player.CurrentFilm(), TFilmKind::Idle);
}

TEST(FilmPlayer, EventWithoutAlternativesSaysNothing)
{
    Player p({ { { "hello" } } });
    p.player.PostEvent(1);
    p.player.PostEvent(11);
    EXPECT_EQ(p.player.QueuedLines(), 0u);
    p.step(101);
    EXPECT_EQ(p.player.CurrentFilm(), TFilmKind::Idle);
    EXPECT_THROW(p.player.PostEvent(12), std::out_of_range);
}

TEST(FilmPlayer, ChoosesOneOfTheAlternativesWhole)
{
    Player p({ { { "one" }, { "two", "lines" }, { "three" } } });
    std::srand(7);
    std::vector<Lines> seen;
    for (int i = 0; i < 60; ++i) {
        p.player.PostEvent(0);
        p.player.DoubleClick();
        Lines said = p.lines();
        p.player.SetCharacter(character({ { { "one" }, { "two", "lines" }, { "three" } } }));
        EXPECT_TRUE(said == Lines { "one" } || said == (Lines { "two", "lines" }) || said == Lines { "three" });
        if (std::find(seen.begin(), seen.end(), said) == seen.end())
            seen.push_back(said);
    }
    EXPECT_EQ(seen.size(), 3u);
}

TEST(FilmPlayer, AdvancesFramesByTheirDurations)
{
    Player p;
    struct Step
    {
        uint32_t ms;
        size_t frame;
        bool changed;
    } steps[] = {
        { 10, 0, true }, // first picture after loading
        { 10, 0, false },
        { 10, 0, false }, // 20, then 30 ms on frame 0
        { 10, 1, true }, // its 30 ms are spent: next frame, no time added
        { 10, 0, true }, // a duration of 0 moves on at every pass
        { 5, 0, false },
    };
    for (const auto& s : steps) {
        EXPECT_EQ(p.step(s.ms), s.changed) << p.clock.now();
        EXPECT_EQ(p.player.CurrentFrame(), s.frame) << p.clock.now();
    }
}

TEST(FilmPlayer, ElapsedTimeAfterTheCounterWrapsIsShort)
{
    ManualClock clock(0xffffff00u);
    FixedMeasure measure;
    RecordingSurface surface;
    QueuedHandOff handOff;
    TFilmPlayer player(clock, measure, surface, handOff);
    player.SetCharacter(character({ { { "wrap" } } }));
    player.PostEvent(0);
    clock.set(50); // 0x150 ms after the start, but counted as 50 since the counter wrapped
    player.Advance();
    EXPECT_TRUE(player.ShownLines().empty());
    clock.set(151);
    player.Advance();
    ASSERT_EQ(player.ShownLines().size(), 1u);
    EXPECT_EQ(player.ShownLines()[0].shown(), "w");
}

TEST(FilmPlayer, PaintComposesPictureBalloonLinesAndTail)
{
    Player p(Script { { { "ab", "cd" } } });
    std::vector<IFilmSurface*> handed;
    p.player.SetDrawCallback([&](IFilmSurface* surface) { handed.push_back(surface); });
    p.player.PostEvent(0);
    p.player.DoubleClick();
    p.surface.calls.clear();
    p.player.Paint();
    EXPECT_EQ(p.surface.calls,
        (Lines { "image idle0 0,0", "balloon 40,0 360,120 16,16", "text 56,16 ab", "text 56,32 cd",
            "tail 40,88 24,104 40,104" }));
    EXPECT_EQ(handed, (std::vector<IFilmSurface*> { &p.surface }));
    EXPECT_EQ(p.player.PictureWidth(), 40);
    EXPECT_EQ(p.player.SurfaceWidth(), 360);
    EXPECT_EQ(p.player.SurfaceHeight(), 120);
}

TEST(FilmPlayer, PaintWithoutCharacterHandsNoSurface)
{
    ManualClock clock;
    FixedMeasure measure;
    RecordingSurface surface;
    QueuedHandOff handOff;
    TFilmPlayer player(clock, measure, surface, handOff);
    std::vector<IFilmSurface*> handed;
    player.SetDrawCallback([&](IFilmSurface* s) { handed.push_back(s); });
    player.Paint();
    EXPECT_EQ(handed, (std::vector<IFilmSurface*> { nullptr }));
    EXPECT_EQ(surface.calls, (Lines { "resize 320,120" }));
    player.Click(1, 1, false);
    player.PostEvent(0);
    EXPECT_EQ(player.QueuedLines(), 0u);
}

TEST(FilmPlayer, SetCharacterEmptiesTheBalloonAndSizesTheSurface)
{
    Player p(Script { { { "hello", "there" } } });
    p.player.PostEvent(0);
    p.step(101);
    TCharactorData tall = character();
    tall.idle = film({ picture("tall", 64, 200) }, { { 0, 10, 0 } });
    p.player.SetCharacter(std::move(tall));
    EXPECT_TRUE(p.player.ShownLines().empty());
    EXPECT_EQ(p.player.QueuedLines(), 0u);
    EXPECT_EQ(p.player.FilledHeight(), 0);
    EXPECT_EQ(p.player.CurrentFilm(), TFilmKind::Idle);
    EXPECT_EQ(p.surface.calls.back(), "resize 384,200");
    EXPECT_EQ(p.player.SurfaceHeight(), 200);
}

// Runs `body` and fails the whole program if it does not end in time: a deadlock would otherwise
// hang the test run.
void withinDeadline(std::chrono::seconds limit, const std::function<void()>& body)
{
    auto done = std::async(std::launch::async, body);
    if (done.wait_for(limit) != std::future_status::ready) {
        std::fprintf(stderr, "deadlock: the player's handshakes did not return\n");
        std::_Exit(1);
    }
    done.get();
}

TEST(FilmPlayer, PauseResumeAndDestroyNeverWaitOnAPendingRepaint)
{
    withinDeadline(std::chrono::seconds(120), [] {
        TSystemTickClock clock;
        FixedMeasure measure;
        RecordingSurface surface;
        QueuedHandOff handOff;
        TCharactorData data = character({ { { std::string(400, 'z'), std::string(400, 'y') } } });
        // Frames of 0 ms: the thread asks for a repaint on every pass.
        data.talk.frames = { { 0, 0, 0 }, { 1, 0, 0 } };
        data.idle.frames = { { 0, 0, 0 }, { 1, 0, 0 } };

        for (int round = 0; round < 20; ++round) {
            auto player = std::make_unique<TFilmPlayer>(clock, measure, surface, handOff);
            player->SetCharacter(data);
            player->PostEvent(0);
            player->Resume();
            for (int i = 0; i < 25; ++i) {
                // The player's thread now waits on a repaint that this thread has not run yet.
                while (handOff.pending() == 0)
                    std::this_thread::yield();
                player->Pause();
                const int asked = handOff.total();
                handOff.serve(*player); // late repaints are harmless
                player->PostEvent(0);
                player->Resume();
                if (i % 3 == 0)
                    handOff.serve(*player);
                EXPECT_GE(handOff.total(), asked);
            }
            while (handOff.pending() == 0)
                std::this_thread::yield();
            player->Destroy(); // while typing, with a repaint pending
            handOff.serve(*player);
            player.reset();
        }
    });
}

TEST(FilmPlayer, TypesOnItsOwnThreadWhileRunning)
{
    withinDeadline(std::chrono::seconds(60), [] {
        TSystemTickClock clock;
        FixedMeasure measure;
        RecordingSurface surface;
        QueuedHandOff handOff;
        TFilmPlayer player(clock, measure, surface, handOff);
        player.SetCharacter(character({ { { "ab" } } }));
        player.PostEvent(0);
        player.Resume();
        while (player.ShownLines().empty() || !player.ShownLines()[0].fullyRevealed())
            handOff.serve(player);
        player.Pause();
        EXPECT_EQ(player.ShownLines()[0].shown(), "ab");
        EXPECT_GT(handOff.total(), 0);
        player.Destroy();
        player.Paint();
        player.Repaint();
        EXPECT_EQ(player.QueuedLines(), 0u);
    });
}

} // namespace
