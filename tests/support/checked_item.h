#pragma once

// Items as earlier checks left them and the answers that keep or change them, for the tests of the layers that
// check and show items. Header only: the support library links no layer of ours; its users link the store.
#include "store/check_item.h"

#include <string>

namespace test {

// Sets every value a check keeps from its answer, as a check of a five-byte page "hello" that said version 1.0
// in its meta tag left them.
inline void keepLastAnswer(TCheckItem& item)
{
    item.title() = "Stored title";
    item.lastCheck() = "Mon Dec 07 10:00:00 2026";
    item.lastCheckTime = 1796637600;
    item.response() = "HTTP/1.0 200 OK";
    item.lastModified() = "Sun, 06 Nov 1994 08:49:37 GMT";
    item.lastModifiedTime = 784111777;
    item.contentLength() = "5";
    item.contentLengthValue = 5;
    item.bodySize = 5;
    item.content.assign("hello", 5);
    item.metaTagName() = "version";
    item.metaTagValue() = "1.0";
}

// An item that was checked before: every kept value set, every comparison off.
inline TCheckItem checkedItem(const std::string& url)
{
    TCheckItem item;
    item.status = ItemStatus::Normal;
    item.compareLastModified = 0;
    item.compareContentLength = 0;
    item.checkUri() = url;
    keepLastAnswer(item);
    return item;
}

// A ticked item compared by its Last-Modified alone, which last said WatchedSince.
inline const std::string WatchedSince = "Mon, 01 Jan 2024 00:00:00 GMT";
inline TCheckItem watchedItem(const std::string& title, const std::string& uri)
{
    TCheckItem item = newItemTemplate();
    item.title() = title;
    item.checkUri() = uri;
    item.status = ItemStatus::Normal;
    item.compareLastModified = 1;
    item.lastModified() = WatchedSince;
    item.compareContentLength = 0;
    item.check = 1;
    return item;
}

// An answer of no body that says the page last changed at `lastModified`.
inline std::string answerDated(const std::string& lastModified)
{
    return "HTTP/1.0 200 OK\r\nLast-Modified: " + lastModified + "\r\nContent-Length: 0\r\n\r\n";
}

} // namespace test
