#include "store/check_item.h"

#include <gtest/gtest.h>

#include <cctype>

#include <string>
#include <vector>

namespace {

int byteCompare(const std::string& a, const std::string& b)
{
    return a.compare(b);
}

TCheckItems listOf(const std::vector<int>& statuses)
{
    TCheckItems list;
    for (int status : statuses) {
        TCheckItem item;
        item.status = static_cast<ItemStatus>(status);
        list.append(item);
    }
    return list;
}

std::string statuses(const TCheckItems& list)
{
    std::string s;
    for (const TCheckItem& item : list)
        s += std::to_string(static_cast<int>(item.status));
    return s;
}

std::string titles(const TCheckItems& list)
{
    std::string s;
    for (const TCheckItem& item : list)
        s += item.title() + ",";
    return s;
}

TCheckItems titled(const std::vector<std::string>& texts)
{
    TCheckItems list;
    for (const std::string& t : texts) {
        TCheckItem item;
        item.title() = t;
        item.checkUri() = t;
        item.metaTagValue() = t;
        item.response() = t;
        list.append(item);
    }
    return list;
}

} // namespace

TEST(ItemOrder, SameKeyAgainReversesAndNewKeyStartsAscending)
{
    TCheckItems list = listOf({ 1, 3, 0, 2 });
    EXPECT_EQ(list.sortKey, 0);
    EXPECT_TRUE(list.sortAscending);

    list.sortBy(1, byteCompare);
    EXPECT_EQ(statuses(list), "0123");
    EXPECT_TRUE(list.sortAscending);
    list.sortBy(1, byteCompare);
    EXPECT_EQ(statuses(list), "3210");
    EXPECT_FALSE(list.sortAscending);
    list.sortBy(1, byteCompare);
    EXPECT_EQ(statuses(list), "0123");

    // After a descending sort by another key, a new key is still ascending.
    list.sortBy(1, byteCompare);
    list.sortBy(4, byteCompare);
    EXPECT_EQ(list.sortKey, 4);
    EXPECT_TRUE(list.sortAscending);
}

TEST(ItemOrder, TitleThenUrlThenTitleIsAscending)
{
    TCheckItems list = titled({ "b", "c", "a" });
    list.sortBy(2, byteCompare);
    EXPECT_EQ(titles(list), "a,b,c,");
    list.sortBy(3, byteCompare);
    EXPECT_EQ(titles(list), "a,b,c,");
    list.sortBy(2, byteCompare);
    EXPECT_EQ(titles(list), "a,b,c,");
    list.sortBy(2, byteCompare);
    EXPECT_EQ(titles(list), "c,b,a,");
}

TEST(ItemOrder, EachTextKeyComparesItsOwnText)
{
    TCheckItems list;
    for (int i = 0; i < 3; ++i) {
        TCheckItem item;
        item.title() = std::string(1, static_cast<char>('a' + i));
        // Each key puts the items in another order, so a key reading the wrong text shows.
        item.checkUri() = std::string(1, static_cast<char>('a' + (i + 1) % 3));
        item.metaTagValue() = std::string(1, static_cast<char>('a' + (i + 2) % 3));
        item.response() = std::string(1, static_cast<char>('c' - i));
        list.append(item);
    }
    list.sortBy(3, byteCompare);
    EXPECT_EQ(titles(list), "c,a,b,");
    list.sortBy(5, byteCompare);
    EXPECT_EQ(titles(list), "b,c,a,");
    list.sortBy(6, byteCompare);
    EXPECT_EQ(titles(list), "c,b,a,");
    list.sortBy(2, byteCompare);
    EXPECT_EQ(titles(list), "a,b,c,");
}

TEST(ItemOrder, LastModifiedComparesTheTimeNumberWithUnreadFirst)
{
    TCheckItems list;
    for (int32_t time : { 5000, -1, 100, 0 }) {
        TCheckItem item;
        item.lastModifiedTime = time;
        // The text would order them the other way round.
        item.lastModified() = std::to_string(9999 - time);
        item.title() = std::to_string(time);
        list.append(item);
    }
    list.sortBy(4, byteCompare);
    EXPECT_EQ(titles(list), "-1,0,100,5000,");
    list.sortBy(4, byteCompare);
    EXPECT_EQ(titles(list), "5000,100,0,-1,");
}

TEST(ItemOrder, EmptyTextFirstWhateverTheComparison)
{
    // A comparison that would put the empty text last.
    auto emptyLast = [](const std::string& a, const std::string& b) {
        if (a.empty() != b.empty())
            return a.empty() ? 1 : -1;
        return a.compare(b);
    };
    TCheckItems list = titled({ "x", "", "a" });
    list.sortBy(2, emptyLast);
    EXPECT_EQ(titles(list), ",a,x,");
    list.sortBy(2, emptyLast);
    EXPECT_EQ(titles(list), "x,a,,");
}

TEST(ItemOrder, TextKeysUseTheGivenComparison)
{
    TCheckItems list = titled({ "a", "B", "c" });
    list.sortBy(2, byteCompare);
    EXPECT_EQ(titles(list), "B,a,c,");
    TCheckItems other = titled({ "a", "B", "c" });
    other.sortBy(2, [](const std::string& a, const std::string& b) { return std::tolower(a[0]) - std::tolower(b[0]); });
    EXPECT_EQ(titles(other), "a,B,c,");
}

TEST(ItemOrder, EmptyListUpdatesTheStateAndUnknownKeyChangesNothing)
{
    TCheckItems empty;
    empty.sortBy(2, byteCompare);
    EXPECT_TRUE(empty.empty());
    EXPECT_EQ(empty.sortKey, 2);
    empty.sortBy(2, byteCompare);
    EXPECT_FALSE(empty.sortAscending);

    TCheckItems list = listOf({ 2, 1 });
    for (uint8_t key : { 0, 7, 255 })
        list.sortBy(key, byteCompare);
    EXPECT_EQ(statuses(list), "21");
    EXPECT_EQ(list.sortKey, 0);
    EXPECT_TRUE(list.sortAscending);
}
