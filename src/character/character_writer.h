#pragma once

#include "base/memory.h"

#include <cstdint>
#include <string>
#include <vector>

// Builders of character file images, used by the tool that makes the default character.
// Every result is a byte string in the file's own layout.

// A part table of byte blocks.
std::string buildTable(const std::vector<std::string>& parts);

// One event entry: a 72-byte header of zeros followed by the alternatives table.
std::string buildEventEntry(const std::vector<TAnsiStringArray>& alternatives);

// The script section: a table of the event table and the second table.
std::string buildScript(const std::vector<std::string>& eventEntries, const std::vector<std::string>& secondEntries);

struct TFilmSource
{
    std::vector<std::string> images; // complete bitmap files
    struct Frame
    {
        uint32_t image;
        uint32_t duration;
    };
    std::vector<Frame> frames;
};

std::string buildFilm(const TFilmSource& film);

// The whole file: the 40-byte header, then name, script, idle film and talk film.
std::string buildCharacterFile(
    const std::string& name, const std::string& script, const std::string& idleFilm, const std::string& talkFilm);

// A 24-bit bottom-up Windows bitmap of `width` x `height` from 0xRRGGBB pixels given top row first.
std::string buildBitmap24(int width, int height, const std::vector<uint32_t>& pixels);
