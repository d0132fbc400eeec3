#pragma once

#include <cstddef>
#include <span>
#include <string_view>

// The Japanese texts that the core itself writes into items and files. They are held as the Shift_JIS
// bytes that are written, beside the text they stand for.
enum class TCoreText : size_t {
    NewItemTitle, // title of a new item and of the factory default item
    ReportStatusHeading, // exported page: heading of the status column
    ReportTitleHeading, // exported page: heading of the title column
    ReportUntitled, // exported page: an item without a title
    ReportCheckLink, // exported page: the link to the checked address
    ReportViewLink, // exported page: the link to the address for viewing
    RegionMissing, // reason of a check whose watched region is not on the page
    HistoryUnavailable, // reason beside a check whose page text could not be kept
};

struct TCoreTextEntry
{
    TCoreText name;
    std::string_view utf8;
    std::string_view sjis;
};

std::string_view sjisText(TCoreText text);

// Every entry, in the order of TCoreText.
std::span<const TCoreTextEntry> coreTexts();
