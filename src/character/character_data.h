#pragma once

#include "base/memory.h"
#include "platform/std_file.h"
#include "store/part_table.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

// The decoded pixels of a bitmap belong to the drawing layer; the core only carries them.
struct TDecodedBitmap;

// One picture of a film: the complete Windows bitmap file as stored, its size from the info header,
// and the decoded image once the drawing layer has made one.
struct TBMP
{
    TMemory bytes;
    int width = 0;
    int height = 0;
    std::shared_ptr<const TDecodedBitmap> decoded;
};

struct TFilmFrame
{
    size_t image = 0;
    uint32_t duration = 0; // milliseconds
    uint32_t elapsed = 0; // time spent on this frame while playing
};

// An animation: its pictures, the frames that show them in order, and the playing position.
struct TFilm
{
    std::vector<TBMP> images;
    std::vector<TFilmFrame> frames;
    int width = 0;
    int height = 0;
    size_t current = 0;

    void restart() noexcept
    {
        current = 0;
        for (auto& frame : frames)
            frame.elapsed = 0;
    }
};

// What the character may say on one event: alternatives, each the lines said together.
struct TCharactorEntry
{
    std::string header; // the 72 bytes before the alternatives, kept as they are
    std::vector<TAnsiStringArray> alternatives;
};

using TCharactorTable = std::vector<TCharactorEntry>;

struct TCharactorHeader
{
    static constexpr size_t Size = 40;
    static constexpr uint32_t Magic = 200008;
    static constexpr uint32_t Version = 1;

    uint32_t magic = Magic;
    uint32_t version = Version;
    uint32_t nameOffset = 0;
    uint32_t nameSize = 0;
    uint32_t scriptOffset = 0;
    uint32_t scriptSize = 0;
    uint32_t idleOffset = 0;
    uint32_t idleSize = 0;
    uint32_t talkOffset = 0;
    uint32_t talkSize = 0;

    static TCharactorHeader parse(const uint8_t* bytes) noexcept;
    // The largest end of the four sections; a file must be at least this long.
    uint64_t sectionsEnd() const noexcept;
};

inline constexpr size_t CharactorEventCount = 12;
inline constexpr size_t CharactorEntryHeaderSize = 72;
// Limits of one film, far above any character's pictures: the bytes of its images and their decoded area.
inline constexpr uint64_t MaxFilmImageBytes = 32u << 20;
inline constexpr uint64_t MaxFilmPixels = 16u << 20;

struct TCharactorData
{
    TCharactorHeader header;
    std::string name;
    TCharactorTable events; // always CharactorEventCount entries
    TCharactorTable second;
    TFilm idle;
    TFilm talk;

    // An empty character: 12 events that say nothing and two films without frames.
    TCharactorData()
        : events(CharactorEventCount)
    {
    }
};

// Reads and checks a whole character file. Failures raise TException whose message names the
// structure that failed ("TCharactorData: ...").
TCharactorData ReadCharacter(const std::string& path);
TCharactorData ReadCharacter(IFile& file);

// Checks the structure of a Windows bitmap file image (file header, info header, pixel data inside the
// image) and gives its width and height; raises TException("TBMP: ...") when it is not one.
void checkBitmap(TBytes bytes, int& width, int& height);
