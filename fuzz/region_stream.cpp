// A region read in the streaming pass and over libxml2's tree: on any page, whenever the pass answers, it
// gives the tree's text and finds an element exactly when the tree does. The input is the selector, a line
// feed, then the page.
#include "base/exception.h"
#include "text/page_text.h"
#include "text/region_selector.h"

#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    const size_t lineEnd = input.find('\n');
    if (lineEnd == std::string_view::npos || lineEnd > 200)
        return 0;
    std::optional<TRegionSelector> selector;
    try {
        selector.emplace(input.substr(0, lineEnd));
    } catch (const TException&) {
        return 0;
    }
    if (!selector->streams())
        return 0;
    // The page as watchedText gives it to both: UTF-8 with ill-formed bytes replaced.
    const std::string page = pageUtf8(input.substr(lineEnd + 1), "text/html; charset=utf-8");
    const std::optional<TPickedText> streamed = selector->streamedText(page);
    if (!streamed)
        return 0;
    const THtmlDocument document(page);
    const std::vector<_xmlNode*> nodes = selector->select(document.doc());
    if (streamed->found != !nodes.empty() || streamed->text != pageTextOfNodes(nodes))
        std::abort();
    return 0;
}
