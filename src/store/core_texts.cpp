#include "store/core_texts.h"

#include <iterator>

namespace {

// The only place where the bytes are spelled out; a test checks each against the C library's conversion.
constexpr TCoreTextEntry CoreTexts[] = {
    { TCoreText::NewItemTitle, "新規アイテム", "\x90\x56\x8b\x4b\x83\x41\x83\x43\x83\x65\x83\x80" },
    { TCoreText::ReportStatusHeading, "更新", "\x8d\x58\x90\x56" },
    { TCoreText::ReportTitleHeading, "タイトル", "\x83\x5e\x83\x43\x83\x67\x83\x8b" },
    { TCoreText::ReportUntitled, "無題", "\x96\xb3\x91\xe8" },
    { TCoreText::ReportCheckLink, "確認", "\x8a\x6d\x94\x46" },
    { TCoreText::ReportViewLink, "表示", "\x95\x5c\x8e\xa6" },
};

constexpr bool inEnumOrder()
{
    for (size_t i = 0; i < std::size(CoreTexts); ++i)
        if (static_cast<size_t>(CoreTexts[i].name) != i)
            return false;
    return true;
}
static_assert(inEnumOrder(), "sjisText looks an entry up by its position");

} // namespace

std::string_view sjisText(TCoreText text)
{
    return CoreTexts[static_cast<size_t>(text)].sjis;
}

std::span<const TCoreTextEntry> coreTexts()
{
    return CoreTexts;
}
