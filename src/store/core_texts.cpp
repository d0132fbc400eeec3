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
    { TCoreText::RegionMissing, "指定した部分が見つかりません",
        "\x8e\x77\x92\xe8\x82\xb5\x82\xbd\x95\x94\x95\xaa\x82\xaa\x8c\xa9\x82\xc2\x82\xa9\x82\xe8\x82\xdc\x82\xb9\x82"
        "\xf1" },
    { TCoreText::HistoryUnavailable, "履歴を保存できません",
        "\x97\x9a\x97\xf0\x82\xf0\x95\xdb\x91\xb6\x82\xc5\x82\xab\x82\xdc\x82\xb9\x82\xf1" },
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
