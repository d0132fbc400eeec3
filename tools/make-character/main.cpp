// Builds the default character file from its source folder: name.txt (the display name), script.txt (the
// lines for each event), films.txt (the frames of the two films) and the pixel maps that films.txt names.
// The texts are UTF-8 in the source and Shift_JIS in the file.
//
//   make-character <source folder> <character file>
#include "character/character_data.h"
#include "character/character_writer.h"
#include "platform/safe_file.h"
#include "base/exception.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iconv.h>
#include <map>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

[[noreturn]] void fail(const std::string& what)
{
    throw std::runtime_error(what);
}

std::vector<std::string> readLines(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        fail("cannot read " + path);
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        lines.push_back(line);
    }
    return lines;
}

bool skipped(const std::string& line)
{
    return line.empty() || line[0] == '#';
}

std::string toShiftJis(const std::string& utf8)
{
    iconv_t cd = ::iconv_open("CP932", "UTF-8");
    if (cd == reinterpret_cast<iconv_t>(-1))
        fail("no UTF-8 to CP932 conversion");
    std::string out(utf8.size() * 2 + 4, '\0');
    char* in = const_cast<char*>(utf8.data());
    size_t inLeft = utf8.size();
    char* to = out.data();
    size_t outLeft = out.size();
    const size_t done = ::iconv(cd, &in, &inLeft, &to, &outLeft);
    ::iconv_close(cd);
    if (done == size_t(-1) || inLeft != 0)
        fail("text that Shift_JIS cannot hold: " + utf8);
    out.resize(out.size() - outLeft);
    return out;
}

std::vector<std::string> split(const std::string& text, char separator)
{
    std::vector<std::string> parts;
    size_t start = 0;
    for (size_t at; (at = text.find(separator, start)) != std::string::npos; start = at + 1)
        parts.push_back(text.substr(start, at - start));
    parts.push_back(text.substr(start));
    return parts;
}

// A pixel map: "scale n", "colour c RRGGBB" lines, then "pixels" and one text row per picture row.
std::string readPixelMap(const std::string& path)
{
    int scale = 1;
    std::map<char, uint32_t> colours;
    std::vector<std::string> rows;
    bool pixels = false;
    for (const std::string& line : readLines(path)) {
        if (pixels) {
            if (!line.empty())
                rows.push_back(line);
            continue;
        }
        if (skipped(line))
            continue;
        std::istringstream words(line);
        std::string word;
        words >> word;
        if (word == "scale") {
            words >> scale;
        } else if (word == "colour") {
            std::string key;
            std::string rgb;
            words >> key >> rgb;
            if (key.size() != 1 || rgb.size() != 6)
                fail(path + ": bad colour line: " + line);
            colours[key[0]] = static_cast<uint32_t>(std::stoul(rgb, nullptr, 16));
        } else if (word == "pixels") {
            pixels = true;
        } else {
            fail(path + ": unknown line: " + line);
        }
    }
    if (rows.empty() || scale < 1 || scale > 16)
        fail(path + ": no pixels or a bad scale");
    const int width = static_cast<int>(rows[0].size()) * scale;
    const int height = static_cast<int>(rows.size()) * scale;
    std::vector<uint32_t> picture;
    picture.reserve(size_t(width) * size_t(height));
    for (const std::string& row : rows) {
        if (row.size() != rows[0].size())
            fail(path + ": rows of different lengths");
        std::vector<uint32_t> line;
        for (char c : row) {
            const auto colour = colours.find(c);
            if (colour == colours.end())
                fail(path + ": colour without a value: " + std::string(1, c));
            line.insert(line.end(), size_t(scale), colour->second);
        }
        for (int i = 0; i < scale; ++i)
            picture.insert(picture.end(), line.begin(), line.end());
    }
    return buildBitmap24(width, height, picture);
}

std::string buildScriptSection(const std::string& path)
{
    std::vector<std::vector<TAnsiStringArray>> events(CharactorEventCount);
    long current = -1;
    for (const std::string& line : readLines(path)) {
        if (skipped(line))
            continue;
        if (line.front() == '[' && line.back() == ']') {
            current = std::strtol(line.c_str() + 1, nullptr, 10);
            if (current < 0 || current >= long(CharactorEventCount))
                fail(path + ": no such event: " + line);
            continue;
        }
        if (current < 0)
            fail(path + ": a line before the first event: " + line);
        TAnsiStringArray lines;
        for (const std::string& part : split(line, '|'))
            lines.push_back(toShiftJis(part));
        events[size_t(current)].push_back(std::move(lines));
    }
    std::vector<std::string> entries;
    for (const auto& alternatives : events)
        entries.push_back(alternatives.empty() ? std::string() : buildEventEntry(alternatives));
    return buildScript(entries, {});
}

void buildFilms(const std::string& folder, std::string& idle, std::string& talk)
{
    TFilmSource films[2];
    std::map<std::string, uint32_t> known[2];
    for (const std::string& line : readLines(folder + "films.txt")) {
        if (skipped(line))
            continue;
        std::istringstream words(line);
        std::string which;
        std::string picture;
        uint32_t duration = 0;
        if (!(words >> which >> picture >> duration) || (which != "idle" && which != "talk"))
            fail("films.txt: bad line: " + line);
        const int film = which == "idle" ? 0 : 1;
        auto [image, added] = known[film].try_emplace(picture, uint32_t(films[film].images.size()));
        if (added)
            films[film].images.push_back(readPixelMap(folder + picture));
        films[film].frames.push_back({image->second, duration});
    }
    if (films[0].frames.empty() || films[1].frames.empty())
        fail("films.txt: both films need frames");
    idle = buildFilm(films[0]);
    talk = buildFilm(films[1]);
}

} // namespace

int main(int argc, char** argv)
{
    ignoreFileSizeSignal();
    if (argc != 3) {
        std::fprintf(stderr, "usage: make-character <source folder> <character file>\n");
        return 2;
    }
    std::string folder = argv[1];
    if (folder.back() != '/')
        folder += '/';
    try {
        const std::vector<std::string> nameLines = readLines(folder + "name.txt");
        if (nameLines.empty() || nameLines[0].empty())
            fail("name.txt: no name");
        std::string idle;
        std::string talk;
        buildFilms(folder, idle, talk);
        const std::string file =
            buildCharacterFile(toShiftJis(nameLines[0]), buildScriptSection(folder + "script.txt"), idle, talk);
        writeFileSafely(argv[2], file.data(), file.size(), 0644);
        ReadCharacter(argv[2]); // what the program cannot read is not worth leaving behind
    } catch (const TException& e) {
        std::fprintf(stderr, "make-character: %s\n", e.message().c_str());
        std::remove(argv[2]);
        return 1;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "make-character: %s\n", e.what());
        std::remove(argv[2]);
        return 1;
    }
    return 0;
}
