// The page text on arbitrary bytes: the streaming pass with and without a charset in the header, and the libxml2
// tree with the text of its body and of every element, which must never fail, hang or write a message.
#include "text/page_text.h"

#include <libxml/tree.h>

#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string_view page(reinterpret_cast<const char*>(data), size);
    // The first byte picks the header, so each code's path is reached from any page.
    static const char* const Types[]
        = { "text/html", "text/html; charset=Shift_JIS", "text/html; charset=euc-jp", "text/html; charset=iso-2022-jp",
              "text/html; charset=utf-8", "text/html; charset=windows-1251", "", "text/plain" };
    const char* contentType = Types[size ? data[0] % 8 : 0];

    const std::string text = pageText(page, contentType);
    const std::string utf8 = pageUtf8(page, contentType);
    if (utf8.find('\r') != std::string::npos && pageText(utf8, "text/plain").find('\r') != std::string::npos)
        std::abort(); // plain text keeps no carriage return

    const THtmlDocument document(utf8);
    std::vector<_xmlNode*> elements;
    for (xmlNode* node = xmlDocGetRootElement(document.doc()); node && elements.size() < 64;) {
        elements.push_back(node);
        if (node->children && node->children->type == XML_ELEMENT_NODE)
            node = node->children;
        else
            node = xmlNextElementSibling(node);
    }
    pageTextOfNodes(elements);
    pageTextOfNodes({ document.body() });
    return 0;
}
