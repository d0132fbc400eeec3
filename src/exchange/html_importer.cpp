#include "exchange/html_importer.h"

#include "exchange/item_importer.h"
#include "platform/safe_file.h"
#include "text/html_parser.h"
#include "text/japanese_code.h"

#include <utility>
#include <vector>

void importHtmlLinks(const TMemory& page, TCheckItems& items, const TConfig& config)
{
    const TInternalText internal = readInternal(page.view());
    const HTMLParser parser(internal.bytes, internal.utf8);
    const size_t end = internal.bytes.size();
    std::vector<TCheckItem> added;
    for (size_t pos = 0; pos < end;) {
        const TElement element = parser.findElement("a", { pos, end });
        if (!element.found)
            break;
        pos = element.end > pos ? element.end : pos + 1;
        auto link = readLink(parser, element);
        if (!link)
            continue;
        TCheckItem item = config.defaultItem;
        item.title() = std::move(link->title);
        item.checkUri() = std::move(link->url);
        dropParametersUnlessOwn(item);
        added.push_back(std::move(item));
    }
    items.reserve(items.count() + added.size());
    for (TCheckItem& item : added)
        items.append(std::move(item));
}

void importHtmlLinks(const std::string& path, TCheckItems& items, const TConfig& config)
{
    importHtmlLinks(readWholeFile(path), items, config);
}
