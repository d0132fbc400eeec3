#pragma once

#include "base/exception.h"

#include <cstddef>
#include <string>
#include <string_view>

// A compressed body that does not decode: a broken or cut stream, or an unknown wrapper.
class TDecodeError : public TException
{
public:
    explicit TDecodeError(std::string message)
        : TException(std::move(message))
    {
    }
};

// The body of an answer with this Content-Encoding value, decoded: "gzip" (or "x-gzip") and "deflate" (with the
// zlib wrapper or raw, as servers send both); any other value, "identity" and an empty one leave it as it came.
// Throws TDecodeError for a stream that does not decode, and TLimitError when the decoded bytes would pass
// maxLength, so a small body that inflates without end costs no more memory than a plain one may.
std::string decodeContent(std::string_view coding, std::string_view body, size_t maxLength);
