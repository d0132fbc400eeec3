#include "character/character_data.h"

#include "base/exception.h"
#include "store/part_table.h"

#include <algorithm>
#include <cstdlib>

namespace {

[[noreturn]] void fail(const char* what)
{
    throw TException(std::string("TCharactorData: ") + what);
}

uint16_t readLe16(const uint8_t* p) noexcept
{
    return static_cast<uint16_t>(p[0] | p[1] << 8);
}

// A part table whose failure is reported as the structure it holds.
std::vector<TBytes> readTable(TBytes bytes, const char* what)
{
    try {
        return readPartTable(bytes);
    } catch (const TException&) {
        fail(what);
    }
}

TCharactorTable readEntries(TBytes bytes, const char* what)
{
    TCharactorTable table;
    const auto entries = readTable(bytes, what);
    table.reserve(entries.size());
    for (TBytes entry : entries) {
        TCharactorEntry parsed;
        if (entry.size() >= CharactorEntryHeaderSize) {
            parsed.header.assign(reinterpret_cast<const char*>(entry.data()), CharactorEntryHeaderSize);
            for (TBytes alternative : readTable(entry.subspan(CharactorEntryHeaderSize), "alternatives table")) {
                try {
                    parsed.alternatives.push_back(readTextTable(alternative));
                } catch (const TException&) {
                    fail("lines table");
                }
            }
        }
        table.push_back(std::move(parsed));
    }
    return table;
}

// Reads `size` bytes at `offset`; the caller has checked that they lie inside the file.
TMemory readAt(IFile& file, uint64_t offset, size_t size, const char* what)
{
    TMemory bytes(size);
    file.seek(static_cast<int64_t>(offset), IFile::Origin::Begin);
    if (size != 0 && file.read(bytes.data(), size) != size)
        fail(what);
    return bytes;
}

TFilm readFilm(IFile& file, uint32_t offset, uint32_t size, const char* what)
{
    constexpr size_t FilmHeaderSize = 24;
    if (size < FilmHeaderSize)
        fail(what);
    const TMemory head = readAt(file, offset, FilmHeaderSize, what);
    const uint64_t imageCount = readLe32(head.data());
    const uint64_t frameCount = readLe32(head.data() + 4);
    if (imageCount == 0 || frameCount == 0)
        fail(what);
    // The tables follow the header inside the section; checked before anything is allocated for them.
    if ((imageCount + frameCount) * 8 > size - FilmHeaderSize)
        fail(what);
    const TMemory tables
        = readAt(file, uint64_t(offset) + FilmHeaderSize, static_cast<size_t>((imageCount + frameCount) * 8), what);

    TFilm film;
    film.images.reserve(static_cast<size_t>(imageCount));
    // Image entries may overlap, so a small file could otherwise ask for many copies of itself and for
    // pictures far larger than any character needs once decoded.
    uint64_t imageBytes = 0;
    uint64_t pixels = 0;
    const uint8_t* entry = tables.data();
    for (uint64_t i = 0; i < imageCount; ++i, entry += 8) {
        const uint32_t imageOffset = readLe32(entry);
        const uint32_t imageSize = readLe32(entry + 4);
        if (imageOffset > size || imageSize > size - imageOffset)
            fail("film image beyond its film section");
        imageBytes += imageSize;
        if (imageBytes > MaxFilmImageBytes)
            fail("film images too large");
        TBMP image;
        image.bytes = readAt(file, uint64_t(offset) + imageOffset, imageSize, "film image");
        checkBitmap(asBytes(image.bytes), image.width, image.height);
        pixels += uint64_t(image.width) * uint64_t(image.height);
        if (pixels > MaxFilmPixels)
            fail("film images too large");
        film.width = std::max(film.width, image.width);
        film.height = std::max(film.height, image.height);
        film.images.push_back(std::move(image));
    }
    film.frames.reserve(static_cast<size_t>(frameCount));
    for (uint64_t i = 0; i < frameCount; ++i, entry += 8) {
        const uint32_t image = readLe32(entry);
        if (image >= imageCount)
            fail("frame names a missing image");
        film.frames.push_back(TFilmFrame { image, readLe32(entry + 4), 0 });
    }
    return film;
}

} // namespace

TCharactorHeader TCharactorHeader::parse(const uint8_t* bytes) noexcept
{
    TCharactorHeader h;
    uint32_t* fields[] = { &h.magic, &h.version, &h.nameOffset, &h.nameSize, &h.scriptOffset, &h.scriptSize,
        &h.idleOffset, &h.idleSize, &h.talkOffset, &h.talkSize };
    for (uint32_t* field : fields) {
        *field = readLe32(bytes);
        bytes += 4;
    }
    return h;
}

uint64_t TCharactorHeader::sectionsEnd() const noexcept
{
    return std::max({ uint64_t(nameOffset) + nameSize, uint64_t(scriptOffset) + scriptSize,
        uint64_t(idleOffset) + idleSize, uint64_t(talkOffset) + talkSize });
}

void checkBitmap(TBytes bytes, int& width, int& height)
{
    auto refuse = [](const char* what) { throw TException(std::string("TBMP: ") + what); };
    constexpr size_t FileHeaderSize = 14;
    if (bytes.size() < FileHeaderSize + 4 || bytes[0] != 'B' || bytes[1] != 'M')
        refuse("no bitmap file header");
    const uint8_t* p = bytes.data();
    const uint64_t pixelOffset = readLe32(p + 10);
    const uint64_t infoSize = readLe32(p + 14);
    if ((infoSize != 12 && infoSize < 40) || infoSize > 124 || FileHeaderSize + infoSize > bytes.size())
        refuse("bad info header");
    int64_t w = 0;
    int64_t h = 0;
    unsigned bitCount = 0;
    uint32_t compression = 0;
    if (infoSize == 12) {
        w = readLe16(p + 18);
        h = readLe16(p + 20);
        bitCount = readLe16(p + 24);
    } else {
        w = static_cast<int32_t>(readLe32(p + 18));
        h = static_cast<int32_t>(readLe32(p + 22));
        bitCount = readLe16(p + 28);
        compression = readLe32(p + 30);
    }
    h = std::llabs(h); // negative heights are stored top-down
    constexpr int64_t MaxSide = 4096;
    if (w <= 0 || h == 0 || w > MaxSide || h > MaxSide)
        refuse("bad picture size");
    if (bitCount != 1 && bitCount != 4 && bitCount != 8 && bitCount != 16 && bitCount != 24 && bitCount != 32)
        refuse("bad bit count");
    if (compression > 3)
        refuse("unsupported compression");
    if (pixelOffset < FileHeaderSize + infoSize || pixelOffset > bytes.size())
        refuse("pixel data outside the image");
    if (compression == 0 || compression == 3) {
        const uint64_t stride = (uint64_t(w) * bitCount + 31) / 32 * 4;
        if (stride * uint64_t(h) > bytes.size() - pixelOffset)
            refuse("pixel data outside the image");
    } else if (pixelOffset == bytes.size()) {
        refuse("pixel data outside the image");
    }
    width = static_cast<int>(w);
    height = static_cast<int>(h);
}

TCharactorData ReadCharacter(const std::string& path)
{
    TStdFile file(path, "rb");
    return ReadCharacter(file);
}

TCharactorData ReadCharacter(IFile& file)
{
    TCharactorData data;
    const int64_t length = file.size();
    uint8_t head[TCharactorHeader::Size];
    file.seek(0, IFile::Origin::Begin);
    if (length < int64_t(sizeof head) || file.read(head, sizeof head) != sizeof head)
        fail("file header");
    data.header = TCharactorHeader::parse(head);
    const TCharactorHeader& h = data.header;
    if (uint64_t(length) < h.sectionsEnd())
        fail("file shorter than its sections");

    data.name = readAt(file, h.nameOffset, h.nameSize, "name section").toString();

    const TMemory script = readAt(file, h.scriptOffset, h.scriptSize, "script section");
    const auto tables = readTable(asBytes(script), "script section");
    if (tables.size() != 2)
        fail("script section without exactly 2 parts");
    data.events = readEntries(tables[0], "event table");
    if (data.events.size() != CharactorEventCount)
        fail("event table without exactly 12 entries");
    data.second = readEntries(tables[1], "second table");

    data.idle = readFilm(file, h.idleOffset, h.idleSize, "idle film section");
    data.talk = readFilm(file, h.talkOffset, h.talkSize, "talk film section");
    return data;
}
