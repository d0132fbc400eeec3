#include "store/part_table.h"

#include "base/exception.h"

#include <algorithm>
#include <cstring>

namespace {

[[noreturn]] void refuse()
{
    throw TException("TPartTable");
}

uint32_t checkedLength(size_t length)
{
    if (length > UINT32_MAX)
        throw TException("TPartTable");
    return static_cast<uint32_t>(length);
}

} // namespace

size_t checkPartTable(TBytes bytes)
{
    const size_t s = bytes.size();
    if (s < 4)
        refuse();
    const uint64_t n = readLe32(bytes.data());
    if (n > (s - 4) / 8)
        refuse();
    const uint8_t* entry = bytes.data() + 4;
    for (uint64_t i = 0; i < n; ++i, entry += 8) {
        const size_t offset = readLe32(entry);
        const size_t length = readLe32(entry + 4);
        if (offset > s || length > s - offset)
            refuse();
    }
    return static_cast<size_t>(n);
}

std::vector<TBytes> readPartTable(TBytes bytes)
{
    const size_t n = checkPartTable(bytes);
    std::vector<TBytes> parts;
    parts.reserve(n);
    for (size_t i = 0; i < n; ++i)
        parts.push_back(partOf(bytes, i));
    return parts;
}

uint8_t* writePartTableHeader(uint8_t* out, std::span<const size_t> lengths)
{
    size_t offset = 4 + 8 * lengths.size();
    out = writeLe32(out, checkedLength(lengths.size()));
    for (size_t length : lengths) {
        out = writeLe32(out, checkedLength(offset));
        out = writeLe32(out, checkedLength(length));
        offset += length;
    }
    return out;
}

TMemory buildPartTable(std::span<const std::string_view> parts)
{
    std::vector<size_t> lengths;
    lengths.reserve(parts.size());
    size_t payload = 0;
    for (auto part : parts) {
        lengths.push_back(part.size());
        payload += part.size();
    }
    TMemory image(partTableSize(parts.size(), payload));
    uint8_t* out = writePartTableHeader(image.data(), lengths);
    for (auto part : parts) {
        if (!part.empty())
            std::memcpy(out, part.data(), part.size());
        out += part.size();
    }
    return image;
}

size_t textTableSize(std::span<const std::string> texts) noexcept
{
    size_t payload = 0;
    for (const auto& text : texts)
        payload += text.size();
    return partTableSize(texts.size(), payload);
}

uint8_t* writeTextTable(uint8_t* out, std::span<const std::string> texts)
{
    size_t offset = 4 + 8 * texts.size();
    out = writeLe32(out, checkedLength(texts.size()));
    for (const auto& text : texts) {
        out = writeLe32(out, checkedLength(offset));
        out = writeLe32(out, checkedLength(text.size()));
        offset += text.size();
    }
    for (const auto& text : texts)
        out = std::copy(text.begin(), text.end(), out);
    return out;
}

TAnsiStringArray readTextTable(TBytes bytes, size_t maxTexts)
{
    const auto parts = readPartTable(bytes);
    const size_t kept = parts.size() < maxTexts ? parts.size() : maxTexts;
    TAnsiStringArray texts;
    texts.reserve(kept);
    for (size_t i = 0; i < kept; ++i)
        texts.emplace_back(reinterpret_cast<const char*>(parts[i].data()), parts[i].size());
    return texts;
}
