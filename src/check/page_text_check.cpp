#include "check/page_text_check.h"

#include "base/exception.h"
#include "store/core_texts.h"
#include "store/item_extension.h"
#include "text/japanese_code.h"

TWatchRules watchRulesOf(const TCheckItem& item)
{
    TWatchRules rules;
    if (!item.comparesText())
        return rules;
    const TItemExtension extension(item.extensionText());
    // The settings keep Shift_JIS; patterns and selectors work on the page's UTF-8.
    rules.region = sjisToUtf8(extension.value(ExtKey::Region));
    for (const std::string& pattern : extension.values(ExtKey::Ignore))
        rules.ignore.push_back(sjisToUtf8(pattern));
    rules.ignoreNumbers = extension.value(ExtKey::IgnoreNumbers) == "1";
    return rules;
}

TWatchedText watchedPageText(const TCheckItem& item, std::string_view body, std::string_view contentType)
{
    return watchedText(body, contentType, TCompiledRules(watchRulesOf(item)));
}

bool comparePageText(const TCheckItem& item, const TWatchedText& watched, TPageTexts* pageTexts, std::time_t now,
    std::string& historyFailure)
{
    const std::string id = item.id();
    if (!pageTexts || id.empty())
        return false;
    std::optional<std::string> last;
    try {
        if (item.comparesText())
            last = pageTexts->lastText(id);
        pageTexts->keep(id, now, watched.text);
    } catch (const TException& e) {
        historyFailure = std::string(sjisText(TCoreText::HistoryUnavailable)) + utf8ToSjis("（" + e.message() + "）");
    }
    if (!last)
        return false;
    const bool ignoreNumbers = item.extension(ExtKey::IgnoreNumbers) == "1";
    return compareKey(*last, ignoreNumbers) != watched.compareKey;
}
