// The response head of the item check on arbitrary bytes: the head table, the Last-Modified date reader, the
// Content-Length number and the whole decision on a head and a body.
#include "check/http_response.h"
#include "check/check_result.h"
#include "text/date_text.h"

#include <cstdint>
#include <cstdlib>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string_view input(reinterpret_cast<const char*>(data), size);

    readLastModifiedTime(input);
    readContentLengthValue(input);

    const size_t split = input.find("\r\n\r\n");
    const std::string_view head = split == std::string_view::npos ? input : input.substr(0, split + 4);
    const std::string_view body = split == std::string_view::npos ? std::string_view() : input.substr(split + 4);

    const THTTPResponse response(head);
    if (response.statusLine().find_first_of("\r\n") != std::string::npos)
        std::abort();
    for (const THTTPStatus& line : response.headers()) {
        if (line.name.empty() || line.name.find_first_of("\r\n \t") != std::string::npos
            || line.value.find_first_of("\r\n") != std::string::npos)
            std::abort();
        readLastModifiedTime(line.value);
        if (response.value(line.name).data() == nullptr)
            std::abort();
    }

    // The first byte switches the comparisons, so every path of the decision is taken.
    const uint8_t switches = size ? data[0] : 0;
    TCheckItem item;
    item.status = static_cast<ItemStatus>(switches >> 6);
    item.getTitle = switches & 1;
    item.compareLastModified = switches & 2;
    item.compareContentLength = switches & 4;
    item.compareSize = switches & 8;
    item.compareContent = switches & 16;
    item.compareMetaTag = switches & 32;
    item.metaTagName() = "description";
    const bool updated = recordResponse(item, head, body, 0);
    if (item.status != ItemStatus::Normal && item.status != ItemStatus::Update && item.status != ItemStatus::Error)
        std::abort();
    if (updated && item.status != ItemStatus::Update)
        std::abort();
    if (!item.compareContent && !item.content.empty())
        std::abort();
    return 0;
}
