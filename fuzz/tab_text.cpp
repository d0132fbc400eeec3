// TAB text and URL list import on arbitrary files: the lines and columns cover every byte but the line ends
// and TABs, and every imported item has what its importer asks of a line.
#include "exchange/item_importer.h"

#include <cstdint>
#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string text(reinterpret_cast<const char*>(data), size);
    const TTabTextLines lines { std::string(text) };

    size_t breaks = 0;
    for (size_t i = 0; i < size; ++i) {
        if (text[i] == '\n' || text[i] == '\r')
            ++breaks;
        if (text[i] == '\r' && i + 1 < size && text[i + 1] == '\n')
            ++i;
    }
    if (lines.count() != breaks + 1)
        std::abort();
    for (size_t i = 0; i < lines.count(); ++i) {
        const TTabTextLine line = lines.line(i);
        size_t bytes = line.count() - 1;
        for (size_t c = 0; c < line.count(); ++c) {
            bytes += line.column(c).size();
            if (line.text(c).find('\0') != std::string::npos)
                std::abort();
        }
        if (bytes != lines.lineText(i).size())
            std::abort();
    }

    TConfig config;
    TCheckItems items;
    TTabTextImporter(text).import(items, config);
    for (const TCheckItem& item : items)
        if (item.title().empty() && item.checkUri().empty())
            std::abort();
    TCheckItems urls;
    TURIImporter(text).import(urls, config);
    for (const TCheckItem& item : urls)
        if (item.checkUri().empty() || item.title() != config.defaultItem.title())
            std::abort();
    return 0;
}
