#include "character/character_writer.h"

#include "base/exception.h"
#include "store/part_table.h"

#include <string_view>

namespace {

void appendLe32(std::string& out, uint32_t v)
{
    uint8_t bytes[4];
    writeLe32(bytes, v);
    out.append(reinterpret_cast<const char*>(bytes), 4);
}

void appendLe16(std::string& out, uint16_t v)
{
    out.push_back(static_cast<char>(v & 0xff));
    out.push_back(static_cast<char>(v >> 8));
}

uint32_t size32(size_t size)
{
    if (size > UINT32_MAX)
        throw TException("TCharactorWriter");
    return static_cast<uint32_t>(size);
}

} // namespace

std::string buildTable(const std::vector<std::string>& parts)
{
    std::vector<std::string_view> views(parts.begin(), parts.end());
    return buildPartTable(views).toString();
}

std::string buildEventEntry(const std::vector<TAnsiStringArray>& alternatives)
{
    std::vector<std::string> tables;
    tables.reserve(alternatives.size());
    for (const auto& lines : alternatives)
        tables.push_back(buildTable(lines));
    return std::string(72, '\0') + buildTable(tables);
}

std::string buildScript(const std::vector<std::string>& eventEntries, const std::vector<std::string>& secondEntries)
{
    return buildTable({ buildTable(eventEntries), buildTable(secondEntries) });
}

std::string buildFilm(const TFilmSource& film)
{
    std::string out;
    appendLe32(out, size32(film.images.size()));
    appendLe32(out, size32(film.frames.size()));
    out.append(16, '\0');
    size_t offset = 24 + 8 * (film.images.size() + film.frames.size());
    for (const auto& image : film.images) {
        appendLe32(out, size32(offset));
        appendLe32(out, size32(image.size()));
        offset += image.size();
    }
    for (const auto& frame : film.frames) {
        appendLe32(out, frame.image);
        appendLe32(out, frame.duration);
    }
    for (const auto& image : film.images)
        out += image;
    return out;
}

std::string buildCharacterFile(
    const std::string& name, const std::string& script, const std::string& idleFilm, const std::string& talkFilm)
{
    std::string out;
    appendLe32(out, 200008);
    appendLe32(out, 1);
    size_t offset = 40;
    for (const std::string* section : { &name, &script, &idleFilm, &talkFilm }) {
        appendLe32(out, size32(offset));
        appendLe32(out, size32(section->size()));
        offset += section->size();
    }
    size32(offset);
    out += name;
    out += script;
    out += idleFilm;
    out += talkFilm;
    return out;
}

std::string buildBitmap24(int width, int height, const std::vector<uint32_t>& pixels)
{
    if (width <= 0 || height <= 0 || pixels.size() != size_t(width) * size_t(height))
        throw TException("TCharactorWriter");
    const size_t stride = (size_t(width) * 3 + 3) / 4 * 4;
    const size_t pixelBytes = stride * size_t(height);
    std::string out = "BM";
    appendLe32(out, size32(54 + pixelBytes));
    appendLe32(out, 0);
    appendLe32(out, 54);
    appendLe32(out, 40);
    appendLe32(out, static_cast<uint32_t>(width));
    appendLe32(out, static_cast<uint32_t>(height));
    appendLe16(out, 1);
    appendLe16(out, 24);
    appendLe32(out, 0);
    appendLe32(out, size32(pixelBytes));
    appendLe32(out, 2835);
    appendLe32(out, 2835);
    appendLe32(out, 0);
    appendLe32(out, 0);
    for (int y = height - 1; y >= 0; --y) {
        const size_t rowStart = out.size();
        for (int x = 0; x < width; ++x) {
            const uint32_t rgb = pixels[size_t(y) * size_t(width) + size_t(x)];
            out.push_back(static_cast<char>(rgb & 0xff));
            out.push_back(static_cast<char>((rgb >> 8) & 0xff));
            out.push_back(static_cast<char>((rgb >> 16) & 0xff));
        }
        out.append(stride - (out.size() - rowStart), '\0');
    }
    return out;
}
