// The HTML scanner on arbitrary pages in any code: the page facts of the item check, and every link as the
// import reads them. Ranges must stay inside the buffer and every search must move forward.
#include "text/html_parser.h"
#include "text/japanese_code.h"

#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string_view page(reinterpret_cast<const char*>(data), size);

    // The first byte picks the meta name length from the rest, so names and values vary too, and whether the
    // answer claims UTF-8.
    const size_t nameLength = size ? data[0] % 8 : 0;
    const std::string_view metaName = page.substr(size ? 1 : 0, nameLength);
    const std::string_view contentType = size && (data[0] & 0x10) ? "text/html; charset=UTF-8" : "";
    readPageFacts(page, true, metaName, page.substr(0, nameLength), contentType);

    const TInternalText text = readInternal(page);
    const std::string& internal = text.bytes;
    const HTMLParser parser(internal, text.utf8);
    size_t pos = 0;
    while (pos < internal.size()) {
        const TElement a = parser.findElement("a", { pos, internal.size() });
        if (!a.found)
            break;
        if (a.end <= pos || a.end > internal.size() || a.content.begin > a.content.end || a.content.end > a.end)
            std::abort();
        readLink(parser, a);
        pos = a.end;
    }
    for (size_t from = 0; from < internal.size();) {
        const TTag tag = parser.readTag(from, internal.size());
        if (tag.start >= internal.size())
            break;
        if (tag.end <= from || tag.end > internal.size())
            std::abort();
        for (const auto& attribute : tag.attributes)
            if (attribute.value.end > tag.end || attribute.name.begin < tag.start)
                std::abort();
        parser.textContent({ from, tag.end });
        from = tag.end;
    }
    return 0;
}
