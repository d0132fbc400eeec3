#include "store/item_extension.h"

#include "store/list_commands.h"
#include "store/store_file.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <map>
#include <set>
#include <string>
#include <vector>

namespace {

// "ソ" in Shift_JIS: its second byte is a backslash that escapes nothing.
const std::string So = "\x83\x5C";

} // namespace

TEST(ItemExtension, ReadsKnownAndUnknownKeysAndWritesBackWhatItCannotRead)
{
    struct Case
    {
        std::string text;
        std::map<std::string, std::vector<std::string>> values;
    };
    const Case cases[] = {
        { "", {} },
        { "id=0123abcd", { { "id", { "0123abcd" } } } },
        { "ignore=a\\nb\nignore=c\\\\d\nfuture7=x=y", { { "ignore", { "a\nb", "c\\d" } }, { "future7", { "x=y" } } } },
        { "region=" + So + "\\n" + So, { { "region", { So + "\n" + So } } } },
        // Unreadable lines are kept and hide nothing else: no '=', a bad key, a bad or cut escape, blank lines.
        { "no equals\n=v\nk-ey=v\nbad=\\t\ncut=\\\n\nid=1\n", { { "id", { "1" } }, { "bad", {} }, { "cut", {} } } },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        const TItemExtension ext(c.text);
        EXPECT_EQ(ext.text(), c.text);
        EXPECT_EQ(ext.empty(), c.text.empty());
        for (const auto& [key, values] : c.values)
            EXPECT_EQ(ext.values(key), values);
    }

    TItemExtension ext("x\nignore=1\nid=a\nignore=2\nfuture=\\n");
    ext.setValues("ignore", { "p\\", "q\nr" });
    ext.set("id", "b");
    ext.set("compareText", "1");
    EXPECT_EQ(ext.text(), "x\nignore=p\\\\\nignore=q\\nr\nid=b\nfuture=\\n\ncompareText=1");
    EXPECT_EQ(ext.without({ "ignore", "x" }).text(), "x\nid=b\nfuture=\\n\ncompareText=1");
    EXPECT_EQ(TItemExtension(ext.text()).values("ignore"), (std::vector<std::string> { "p\\", "q\nr" }));
}

TEST(ItemIdentity, EveryItemKeepsOneUniqueIdThroughTheListsLife)
{
    test::TempDir dir;
    TConfig config;
    config.defaultItem = newItemTemplate();
    EXPECT_TRUE(config.defaultItem.id().empty());

    // New items, a pasted one, then sorted and moved.
    appendItem(config.items, config.defaultItem);
    appendItem(config.items, *itemFromPastedText("http://b/", config.defaultItem));
    appendItem(config.items, config.defaultItem);
    config.items[0].title() = "c";
    config.items[1].title() = "a";
    config.items[2].title() = "b";
    std::map<std::string, std::string> titleOf;
    for (const TCheckItem& item : config.items) {
        EXPECT_EQ(item.id().size(), 32u);
        EXPECT_EQ(item.id().find_first_not_of("0123456789abcdef"), std::string::npos);
        titleOf[item.id()] = item.title();
    }
    EXPECT_EQ(titleOf.size(), 3u);
    sortItems(config.items, SortKey::Title, [](const std::string& a, const std::string& b) { return a.compare(b); });
    moveSelectedDown(config.items, { 0 });
    for (const TCheckItem& item : config.items)
        EXPECT_EQ(titleOf.at(item.id()), item.title());

    // A restart reads every id back; the default item stays without one.
    const std::string settings = dir.file("vantrel.cfg");
    config.defaultItem.setExtension(ExtKey::Id, "stray");
    ASSERT_TRUE(writeSettingsFile(config, settings));
    TConfig restarted;
    readSettingsFile(restarted, settings);
    EXPECT_TRUE(restarted.defaultItem.id().empty());
    ASSERT_EQ(restarted.items.count(), 3u);
    for (size_t i = 0; i < 3; ++i)
        EXPECT_EQ(restarted.items[i].id(), config.items[i].id());

    // The same items file added twice: the second copies get ids of their own; opening it keeps its ids.
    const std::string itemsFile = dir.file("list.vantrelitems");
    ASSERT_TRUE(writeItemsFile(restarted.items, itemsFile));
    TCheckItems read;
    ASSERT_TRUE(readItemsFile(itemsFile, read));
    restarted.items.appendAll(read);
    restarted.items.appendAll(read);
    std::set<std::string> ids;
    for (const TCheckItem& item : restarted.items)
        ids.insert(item.id());
    EXPECT_EQ(ids.size(), 9u);
    TCheckItems opened;
    opened.replaceAll(read);
    for (size_t i = 0; i < 3; ++i)
        EXPECT_EQ(opened[i].id(), config.items[i].id());
    EXPECT_EQ(opened.indexOfId(config.items[2].id()), 2u);
}
