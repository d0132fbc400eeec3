#include "store/list_commands.h"

#include <gtest/gtest.h>

#include <functional>
#include <optional>
#include <string>

namespace {

// Items titled by the letters of `titles`, with the statuses written as I, N, U, E in `statuses`.
TCheckItems itemsOf(const std::string& titles, const std::string& statuses)
{
    TCheckItems items;
    for (size_t i = 0; i < titles.size(); ++i) {
        TCheckItem item = newItemTemplate();
        item.title() = std::string(1, titles[i]);
        item.status = static_cast<ItemStatus>(std::string("INUE").find(statuses[i]));
        items.append(item);
    }
    return items;
}

std::string titlesOf(const TCheckItems& items)
{
    std::string titles;
    for (const TCheckItem& item : items)
        titles += item.title();
    return titles;
}

std::string statusesOf(const TCheckItems& items)
{
    std::string statuses;
    for (const TCheckItem& item : items)
        statuses += "INUE"[static_cast<size_t>(item.status)];
    return statuses;
}

int byBytes(const std::string& a, const std::string& b)
{
    return a.compare(b);
}

} // namespace

TEST(ListCommands, ChangeTheItemsAndGiveTheNewSelection)
{
    using Command = std::function<TSelection(TCheckItems&, const TSelection&)>;
    const Command invert = [](TCheckItems& items, const TSelection& s) { return invertSelection(items.count(), s); };
    const Command updated = [](TCheckItems& items, const TSelection&) { return selectUpdated(items); };
    const Command error
        = [](TCheckItems& items, const TSelection& s) { return setSelectedStatus(items, s, ItemStatus::Error); };
    const Command byStatus
        = [](TCheckItems& items, const TSelection&) { return sortItems(items, SortKey::Status, byBytes); };
    const Command append = [](TCheckItems& items, const TSelection&) {
        TCheckItem item = newItemTemplate();
        item.title() = "e";
        return appendItem(items, item);
    };
    struct Case
    {
        const char* name;
        Command command;
        TSelection selected;
        std::string titles;
        std::string statuses;
        TSelection after;
    };
    // The list is a, b, c, d; b and d are updated.
    const Case cases[] = {
        { "erase one", eraseSelected, { 2 }, "abd", "NUU", {} },
        { "erase several", eraseSelected, { 0, 2 }, "bd", "UU", {} },
        { "erase all", eraseSelected, { 0, 1, 2, 3 }, "", "", {} },
        { "erase beyond the list", eraseSelected, { 4 }, "abcd", "NUNU", {} },
        { "up moves the first selected alone", moveSelectedUp, { 2, 3 }, "acbd", "NNUU", { 1 } },
        { "up at the top", moveSelectedUp, { 0, 2 }, "abcd", "NUNU", { 0, 2 } },
        { "up with nothing selected", moveSelectedUp, {}, "abcd", "NUNU", {} },
        { "down moves the first selected alone", moveSelectedDown, { 1, 3 }, "acbd", "NNUU", { 2 } },
        { "down at the end", moveSelectedDown, { 3 }, "abcd", "NUNU", { 3 } },
        { "select updated", updated, { 0 }, "abcd", "NUNU", { 1, 3 } },
        { "invert", invert, { 1, 3 }, "abcd", "NUNU", { 0, 2 } },
        { "invert nothing", invert, {}, "abcd", "NUNU", { 0, 1, 2, 3 } },
        { "set status", error, { 0, 3 }, "abcd", "EUNE", { 0, 3 } },
        { "sort", byStatus, { 1 }, "acbd", "NNUU", {} },
        { "append", append, { 1 }, "abcde", "NUNUI", { 4 } },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TCheckItems items = itemsOf("abcd", "NUNU");
        EXPECT_EQ(c.command(items, c.selected), c.after);
        EXPECT_EQ(titlesOf(items), c.titles);
        EXPECT_EQ(statusesOf(items), c.statuses);
    }
}

TEST(ListCommands, PastedTextGivesAnItemWithItsFirstLine)
{
    TCheckItem defaultItem = newItemTemplate();
    defaultItem.title() = "template";
    const struct
    {
        std::string text;
        std::optional<std::string> uri;
    } cases[] = {
        { "http://127.0.0.1/a\r\nb", "http://127.0.0.1/a" },
        { "a\rb", "a" },
        { "a\nb\n", "a" },
        { "\x83"
          "e\x83X\x83g\n",
            "\x83"
            "e\x83X\x83g" }, // テスト
        { "\nb", std::nullopt },
        { "\r\nb", std::nullopt },
        { "", std::nullopt },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        const std::optional<TCheckItem> item = itemFromPastedText(c.text, defaultItem);
        ASSERT_EQ(item.has_value(), c.uri.has_value());
        if (!item)
            continue;
        EXPECT_EQ(item->checkUri(), *c.uri);
        EXPECT_EQ(item->title(), "template");
    }
}
