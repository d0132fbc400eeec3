#pragma once

#include "store/check_item.h"

#include <ostream>

// Readable failures for item comparisons.
inline void PrintTo(const TCheckItem& item, std::ostream* out)
{
    *out << "{status " << int(item.status) << ", timeout " << item.timeout << ", switches " << int(item.check)
         << int(item.getTitle) << int(item.useGet) << int(item.compareLastModified) << int(item.compareContentLength)
         << int(item.compareSize) << int(item.compareContent) << int(item.compareMetaTag) << int(item.ownParameters)
         << int(item.useProxy) << int(item.useAuthentication) << ", numbers " << item.lastCheckTime << ' '
         << item.lastModifiedTime << ' ' << item.contentLengthValue << ' ' << item.bodySize << ", texts";
    for (const auto& text : item.texts)
        *out << " [" << text << ']';
    *out << ", content " << item.content.size() << " bytes, password [" << item.password << "], mark "
         << int(item.exportMark) << '}';
}
