#pragma once

#include "character/character_writer.h"

#include <string>
#include <vector>

namespace test {

// A small valid bitmap of `width` x `height` in one colour.
inline std::string solidBitmap(int width, int height, uint32_t rgb = 0x336699)
{
    return buildBitmap24(width, height, std::vector<uint32_t>(size_t(width) * size_t(height), rgb));
}

inline std::string simpleFilm(int width = 4, int height = 3)
{
    return buildFilm({ { solidBitmap(width, height) }, { { 0, 100 } } });
}

// Twelve entries; event 0 says "hello" or "hi there" (two lines), the others nothing.
inline std::vector<std::string> simpleEvents()
{
    std::vector<std::string> events(12, std::string());
    events[0] = buildEventEntry({ { "hello" }, { "hi", "there" } });
    return events;
}

inline std::string simpleCharacter(const std::string& name = "name")
{
    return buildCharacterFile(name, buildScript(simpleEvents(), {}), simpleFilm(), simpleFilm(6, 2));
}

} // namespace test
