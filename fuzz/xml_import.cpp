// The XML item list import on arbitrary files: it never fails, imports at most one item per `item` start or
// empty-element tag, and the element search keeps its ranges inside the buffer and always moves forward.
#include "exchange/xml_importer.h"
#include "text/japanese_code.h"
#include "text/xml_parser.h"

#include <cstdint>
#include <cstdlib>
#include <string_view>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    TMemory image(data, size);
    TConfig config;
    config.defaultItem.ownParameters = size > 0 && (data[0] & 1);
    config.defaultItem.proxyServer() = "proxy";
    TCheckItems items;
    importXmlItems(image, items, config);

    const TInternalText internal = readItemList(image.view());
    const std::string_view text = internal.bytes;
    size_t tags = 0;
    for (size_t at = text.find("<item"); at != std::string_view::npos; at = text.find("<item", at + 1))
        ++tags;
    if (items.count() > tags)
        std::abort();
    for (const TCheckItem& item : items)
        if (item.status != ItemStatus::Initial || (!item.ownParameters && !item.proxyServer().empty()))
            std::abort();

    // The one-pass walk of the import gives exactly what repeated searches give.
    const TXMLParser parser(text, internal.utf8);
    for (std::string_view name : { "item", "title", "values", "a" }) {
        std::vector<TElement> walked;
        parser.forEachElement(name, parser.whole(), [&](const TElement& e) { walked.push_back(e); });
        size_t n = 0;
        for (size_t pos = 0; pos < text.size(); ++n) {
            const TElement e = parser.findElement(name, { pos, text.size() });
            if (!e.found)
                break;
            if (e.start < pos || e.end <= pos || e.end > text.size() || e.content.begin < e.startTag.end
                || e.content.end > e.end || e.content.begin > e.content.end)
                std::abort();
            if (n >= walked.size() || walked[n].start != e.start || walked[n].end != e.end
                || !(walked[n].content == e.content))
                std::abort();
            parser.elementText(e);
            pos = e.end;
        }
        if (n != walked.size())
            std::abort();
    }
    return 0;
}
