// The region selector on arbitrary text: it is read or refused with TException, never crashes, and what it
// selects from a small fixed page is elements of that page in document order, none inside another. A CSS group
// written twice selects what it selects once.
#include "text/region_selector.h"
#include "base/exception.h"
#include "text/page_text.h"

#include <libxml/tree.h>

#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <unordered_map>

namespace {

const char Page[] = "<!DOCTYPE html><html lang=ja><head><title>t</title></head><body class='a b'>"
                    "<div id=main class='box news' data-x=a-b><h1>見出し</h1><div><div><p>1</p><p lang=en-US>2</p>"
                    "</div></div><ul><li>a</li><li class=odd>b<li>c<li title='x y'>d</ul>"
                    "<p>e <span>f</span> <a href='/g'>g</a></p></div><DIV ID=Side><P>h</P></DIV>"
                    "<table><tr><td>i<td>j</table><footer><p>k</p></footer></body></html>";

xmlDoc* page()
{
    static const THtmlDocument document(Page);
    return document.doc();
}

// Each element of the page by its place in document order.
const std::unordered_map<const xmlNode*, size_t>& order()
{
    static const std::unordered_map<const xmlNode*, size_t> places = [] {
        std::unordered_map<const xmlNode*, size_t> out;
        std::vector<const xmlNode*> stack { xmlDocGetRootElement(page()) };
        while (!stack.empty()) {
            const xmlNode* node = stack.back();
            stack.pop_back();
            if (node->type != XML_ELEMENT_NODE)
                continue;
            out.emplace(node, out.size());
            std::vector<const xmlNode*> children;
            for (const xmlNode* child = node->children; child != nullptr; child = child->next)
                children.push_back(child);
            stack.insert(stack.end(), children.rbegin(), children.rend());
        }
        return out;
    }();
    return places;
}

bool inside(const xmlNode* node, const xmlNode* ancestor)
{
    for (const xmlNode* up = node->parent; up != nullptr; up = up->parent)
        if (up == ancestor)
            return true;
    return false;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string_view region(reinterpret_cast<const char*>(data), size);
    std::vector<xmlNode*> found;
    bool xpath = false;
    try {
        const TRegionSelector selector(region);
        xpath = selector.isXPath();
        found = selector.select(page());
    } catch (const TException&) {
        return 0;
    }
    const auto& places = order();
    for (size_t i = 0; i < found.size(); ++i) {
        const auto place = places.find(found[i]);
        if (place == places.end())
            std::abort();
        if (i > 0 && (places.at(found[i - 1]) >= place->second || inside(found[i], found[i - 1])))
            std::abort();
    }
    if (!xpath && size < 2000) {
        checkRegion(region);
        std::vector<xmlNode*> twice;
        try {
            twice = selectRegion(page(), std::string(region) + "," + std::string(region));
        } catch (const TException&) {
            return 0; // twice the compound selectors may pass their limit
        }
        if (twice != found)
            std::abort();
    }
    return 0;
}
