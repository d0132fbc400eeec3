#pragma once

#include "base/memory.h"

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

// Little-endian 32-bit integers, as every binary file of the program stores them.
inline uint32_t readLe32(const uint8_t* p) noexcept
{
    return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 | static_cast<uint32_t>(p[2]) << 16
        | static_cast<uint32_t>(p[3]) << 24;
}

inline uint8_t* writeLe32(uint8_t* p, uint32_t v) noexcept
{
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
    p[2] = static_cast<uint8_t>(v >> 16);
    p[3] = static_cast<uint8_t>(v >> 24);
    return p + 4;
}

using TBytes = std::span<const uint8_t>;

// A part table: count N, N (offset, length) pairs counted from the table's first byte, then the parts.
inline constexpr size_t partTableSize(size_t parts, size_t payload) noexcept
{
    return 4 + 8 * parts + payload;
}

// Reads the part table of `bytes`: every part lies inside the buffer. The count is checked against the
// buffer before any storage is made. Raises TException("TPartTable") on any failure.
std::vector<TBytes> readPartTable(TBytes bytes);
// The same checks without a list of the parts: returns the count; partOf then gives each part.
size_t checkPartTable(TBytes bytes);
inline TBytes partOf(TBytes checkedTable, size_t index) noexcept
{
    const uint8_t* entry = checkedTable.data() + 4 + 8 * index;
    return checkedTable.subspan(readLe32(entry), readLe32(entry + 4));
}

// Writes the header of a table whose parts have the given lengths, laid out one after another;
// returns the position just after the header, where the first part starts.
uint8_t* writePartTableHeader(uint8_t* out, std::span<const size_t> lengths);

// Builds a complete part table from byte blocks.
TMemory buildPartTable(std::span<const std::string_view> parts);

// A text table is a part table of texts.
size_t textTableSize(std::span<const std::string> texts) noexcept;
uint8_t* writeTextTable(uint8_t* out, std::span<const std::string> texts);
// Reads at most `maxTexts` texts (the rest are checked but not copied).
TAnsiStringArray readTextTable(TBytes bytes, size_t maxTexts = SIZE_MAX);

inline TBytes asBytes(const TMemory& memory) noexcept
{
    return { memory.data(), memory.size() };
}

inline TBytes asBytes(std::string_view text) noexcept
{
    return { reinterpret_cast<const uint8_t*>(text.data()), text.size() };
}
