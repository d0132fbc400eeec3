#pragma once

#include "check/http_checker.h"
#include "history/history_texts.h"
#include "store/check_item.h"
#include "store/item_extension.h"
#include "text/japanese_code.h"

#include "support/http_server.h"

#include <string>
#include <vector>

namespace test {

// A page of one <div> per line, as the loopback server sends it; its text is the lines joined by line feeds.
inline std::string pageOfLines(const std::vector<std::string>& lines)
{
    std::string body;
    for (const std::string& line : lines)
        body += "<div>" + line + "</div>\n";
    return "HTTP/1.0 200 OK\r\nContent-Type: text/html; charset=utf-8\r\n\r\n<html><head><title>t</title></head><body>"
        + body + "</body></html>";
}

// An item of that title (UTF-8 here) whose page's text is kept in the history at each check.
inline TCheckItem textWatchedItem(const std::string& title)
{
    TCheckItem item = newItemTemplate();
    item.title() = utf8ToSjis(title);
    item.setExtension(ExtKey::Id, newItemId());
    item.setExtension(ExtKey::CompareText, "1");
    return item;
}

// Checks `item` once against each page in turn, as runs would, so that the history in `historyFolder` holds one
// version of each page that differs from the one before.
inline void checkPages(TCheckItem& item, const std::string& historyFolder, const std::vector<std::string>& pages)
{
    std::vector<Reply> script;
    for (const std::string& page : pages)
        script.push_back(Reply::bytes(page));
    HttpServer server(std::move(script));
    item.checkUri() = server.url("/page.html");
    THistoryTexts texts(historyFolder, 50);
    THTTPChecker checker;
    checker.pageTexts = &texts;
    const TCheckItem defaults = newItemTemplate();
    for (size_t i = 0; i < pages.size(); ++i)
        checkItem(checker, item, defaults);
}

} // namespace test
