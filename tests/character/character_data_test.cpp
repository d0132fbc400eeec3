#include "base/exception.h"
#include "character/character_data.h"
#include "character_fixture.h"
#include "store/part_table.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

namespace {

std::string writeCharacter(const test::TempDir& dir, const std::string& bytes, const char* name = "c.dat")
{
    const std::string path = dir.file(name);
    test::writeFile(path, bytes);
    return path;
}

// The message of the failure of reading `bytes` as a character file, or "" when it loads.
std::string failure(const std::string& bytes)
{
    test::TempDir dir;
    try {
        ReadCharacter(writeCharacter(dir, bytes));
        return {};
    } catch (const TException& e) {
        return e.message();
    }
}

void patchLe32(std::string& bytes, size_t at, uint32_t value)
{
    writeLe32(reinterpret_cast<uint8_t*>(bytes.data() + at), value);
}

TEST(ReadCharacter, LoadsNameScriptAndFilms)
{
    test::TempDir dir;
    const TCharactorData data = ReadCharacter(writeCharacter(dir, test::simpleCharacter("Kiko")));
    EXPECT_EQ(data.header.magic, 200008u);
    EXPECT_EQ(data.name, "Kiko");
    ASSERT_EQ(data.events.size(), 12u);
    ASSERT_EQ(data.events[0].alternatives.size(), 2u);
    EXPECT_EQ(data.events[0].alternatives[1], (TAnsiStringArray { "hi", "there" }));
    EXPECT_EQ(data.events[0].header, std::string(72, '\0'));
    EXPECT_TRUE(data.events[1].alternatives.empty());
    EXPECT_TRUE(data.second.empty());
    EXPECT_EQ(data.idle.width, 4);
    EXPECT_EQ(data.idle.height, 3);
    EXPECT_EQ(data.talk.width, 6);
    EXPECT_EQ(data.talk.height, 2);
    ASSERT_EQ(data.idle.frames.size(), 1u);
    EXPECT_EQ(data.idle.frames[0].duration, 100u);
}

TEST(ReadCharacter, LastSectionMayEndExactlyAtEndOfFile)
{
    const std::string whole = test::simpleCharacter();
    EXPECT_EQ(failure(whole), "");
    EXPECT_EQ(failure(whole.substr(0, whole.size() - 1)), "TCharactorData: file shorter than its sections");
    EXPECT_EQ(failure(whole.substr(0, 39)), "TCharactorData: file header");
}

TEST(ReadCharacter, EntriesShorterThanHeaderSayNothingAndBareHeaderFails)
{
    struct Case
    {
        size_t entrySize;
        const char* failure;
    } cases[] = { { 0, "" }, { 71, "" }, { 72, "TCharactorData: alternatives table" },
        { 75, "TCharactorData: alternatives table" }, { 76, "" } };
    for (const auto& c : cases) {
        auto events = test::simpleEvents();
        events[3] = std::string(c.entrySize, '\x07');
        if (c.entrySize >= 76)
            events[3] = std::string(72, '\x07') + std::string(4, '\0'); // a table of no alternatives
        const std::string file
            = buildCharacterFile("n", buildScript(events, {}), test::simpleFilm(), test::simpleFilm());
        EXPECT_EQ(failure(file), c.failure) << c.entrySize;
        if (*c.failure == '\0') {
            test::TempDir dir;
            EXPECT_TRUE(ReadCharacter(writeCharacter(dir, file)).events[3].alternatives.empty());
        }
    }
}

TEST(ReadCharacter, RefusesMalformedScript)
{
    auto eleven = test::simpleEvents();
    eleven.pop_back();
    auto thirteen = test::simpleEvents();
    thirteen.push_back({});
    const std::string badLines = std::string(72, '\0') + buildTable({ "\x05\0\0\0" });
    auto withBadLines = test::simpleEvents();
    withBadLines[2] = badLines;
    struct Case
    {
        std::string script;
        const char* failure;
    } cases[] = {
        { buildScript(eleven, {}), "TCharactorData: event table without exactly 12 entries" },
        { buildScript(thirteen, {}), "TCharactorData: event table without exactly 12 entries" },
        { buildTable({ buildTable(test::simpleEvents()) }), "TCharactorData: script section without exactly 2 parts" },
        { "\x01\0\0", "TCharactorData: script section" },
        { buildTable({ "xx", buildTable({}) }), "TCharactorData: event table" },
        { buildTable({ buildTable(test::simpleEvents()), "x" }), "TCharactorData: second table" },
        { buildScript(withBadLines, {}), "TCharactorData: lines table" },
        { buildScript(test::simpleEvents(), { buildEventEntry({ { "a" } }) }), "" },
    };
    for (const auto& c : cases)
        EXPECT_EQ(failure(buildCharacterFile("n", c.script, test::simpleFilm(), test::simpleFilm())), c.failure)
            << testing::PrintToString(c.script);
}

TEST(ReadCharacter, FramesMayShareAnImageButNotNameAMissingOne)
{
    const std::string script = buildScript(test::simpleEvents(), {});
    const std::string shared = buildFilm({ { test::solidBitmap(2, 2) }, { { 0, 100 }, { 0, 200 }, { 0, 300 } } });
    test::TempDir dir;
    const TCharactorData data
        = ReadCharacter(writeCharacter(dir, buildCharacterFile("n", script, shared, test::simpleFilm())));
    ASSERT_EQ(data.idle.frames.size(), 3u);
    EXPECT_EQ(data.idle.frames[2].image, 0u);
    EXPECT_EQ(data.idle.frames[2].duration, 300u);

    const std::string missing = buildFilm({ { test::solidBitmap(2, 2) }, { { 0, 100 }, { 1, 200 } } });
    EXPECT_EQ(failure(buildCharacterFile("n", script, test::simpleFilm(), missing)),
        "TCharactorData: frame names a missing image");
}

TEST(ReadCharacter, RefusesMalformedFilms)
{
    const std::string script = buildScript(test::simpleEvents(), {});
    std::string beyond = test::simpleFilm();
    patchLe32(beyond, 28, uint32_t(beyond.size())); // image size reaching past the section
    std::string tooManyFrames = test::simpleFilm();
    patchLe32(tooManyFrames, 4, 1000000);
    std::string notBitmap = test::simpleFilm();
    notBitmap[24 + 16] = 'X';
    struct Case
    {
        std::string film;
        const char* failure;
    } cases[] = {
        { std::string(23, '\0'), "TCharactorData: idle film section" },
        { buildFilm({ {}, { { 0, 1 } } }), "TCharactorData: idle film section" },
        { buildFilm({ { test::solidBitmap(1, 1) }, {} }), "TCharactorData: idle film section" },
        { tooManyFrames, "TCharactorData: idle film section" },
        { beyond, "TCharactorData: film image beyond its film section" },
        { notBitmap, "TBMP: no bitmap file header" },
    };
    for (const auto& c : cases)
        EXPECT_EQ(failure(buildCharacterFile("n", script, c.film, test::simpleFilm())), c.failure);
    EXPECT_EQ(failure(buildCharacterFile("n", script, test::simpleFilm(), std::string(23, '\0'))),
        "TCharactorData: talk film section");
}

TEST(ReadCharacter, FilmSizeIsTheLargestImage)
{
    const std::string film
        = buildFilm({ { test::solidBitmap(5, 2), test::solidBitmap(3, 7) }, { { 0, 10 }, { 1, 10 } } });
    test::TempDir dir;
    const TCharactorData data = ReadCharacter(
        writeCharacter(dir, buildCharacterFile("n", buildScript(test::simpleEvents(), {}), film, film)));
    EXPECT_EQ(data.idle.width, 5);
    EXPECT_EQ(data.idle.height, 7);
}

TEST(ReadCharacter, MissingFileFails)
{
    test::TempDir dir;
    EXPECT_THROW(ReadCharacter(dir.file("none.dat")), TException);
}

TEST(CheckBitmap, ChecksHeadersAndPixelExtent)
{
    const std::string good = test::solidBitmap(3, 2); // rows of 12 bytes, 24 pixel bytes at offset 54
    auto patched = [&](size_t at, uint32_t value, size_t keep = SIZE_MAX) {
        std::string b = good.substr(0, keep);
        if (at + 4 <= b.size())
            patchLe32(b, at, value);
        return b;
    };
    struct Case
    {
        std::string bytes;
        const char* failure;
    } cases[] = {
        { good, "" },
        { good.substr(0, good.size() - 1), "TBMP: pixel data outside the image" },
        { "BA" + good.substr(2), "TBMP: no bitmap file header" },
        { patched(14, 20), "TBMP: bad info header" },
        { patched(14, 40, 40), "TBMP: bad info header" },
        { patched(18, 0), "TBMP: bad picture size" },
        { patched(22, 0), "TBMP: bad picture size" },
        { patched(18, 100000), "TBMP: bad picture size" },
        { patched(22, uint32_t(-2)), "" }, // top-down
        { patched(28, 7), "TBMP: bad bit count" },
        { patched(30, 5), "TBMP: unsupported compression" },
        { patched(10, 40), "TBMP: pixel data outside the image" },
        { patched(10, 0xffffffff), "TBMP: pixel data outside the image" },
    };
    for (const auto& c : cases) {
        int width = 0;
        int height = 0;
        std::string message;
        try {
            checkBitmap(asBytes(c.bytes), width, height);
            EXPECT_EQ(width, 3);
            EXPECT_EQ(height, 2);
        } catch (const TException& e) {
            message = e.message();
        }
        EXPECT_EQ(message, c.failure) << testing::PrintToString(c.bytes.substr(0, 34));
    }
}

} // namespace

namespace {

// A film whose image table names the same bitmap `copies` times.
std::string filmRepeating(const std::string& bitmap, uint32_t copies)
{
    std::string film;
    auto append = [&](uint32_t v) {
        uint8_t b[4];
        writeLe32(b, v);
        film.append(reinterpret_cast<const char*>(b), 4);
    };
    append(copies);
    append(1);
    film.append(16, '\0');
    const uint32_t imageAt = 24 + 8 * (copies + 1);
    for (uint32_t i = 0; i < copies; ++i) {
        append(imageAt);
        append(uint32_t(bitmap.size()));
    }
    append(0);
    append(100);
    return film + bitmap;
}

TEST(ReadCharacter, RefusesFilmsWhoseOverlappingImagesWouldTakeUnboundedMemory)
{
    // 1 bit per pixel, 4096 x 4096: 2 MB in the file, 16M pixels once decoded.
    std::string wide = test::solidBitmap(1, 1).substr(0, 54);
    patchLe32(wide, 18, 4096);
    patchLe32(wide, 22, 4096);
    wide[28] = 1;
    wide += std::string(512 * 4096, '\0');
    patchLe32(wide, 2, uint32_t(wide.size()));
    const std::string small = test::solidBitmap(48, 64); // 9 KB
    const std::string script = buildScript(test::simpleEvents(), {});
    struct Case
    {
        std::string film;
        const char* failure;
    } cases[] = {
        { filmRepeating(wide, 1), "" },
        { filmRepeating(wide, 2), "TCharactorData: film images too large" },
        { filmRepeating(small, 100), "" },
        { filmRepeating(small, 4000), "TCharactorData: film images too large" },
    };
    for (const auto& c : cases)
        EXPECT_EQ(failure(buildCharacterFile("n", script, c.film, test::simpleFilm())), c.failure);
}

} // namespace
