#include "store/check_item.h"
#include "store/config.h"
#include "vantrel_version.h"

#include <gtest/gtest.h>

#include <string>

TEST(CheckItem, BlankItemAndNewItemTemplate)
{
    const TCheckItem blank;
    EXPECT_EQ(blank.status, ItemStatus::Initial);
    EXPECT_EQ(blank.timeout, 0);
    EXPECT_TRUE(blank.check && blank.compareLastModified && blank.compareContentLength);
    EXPECT_FALSE(blank.getTitle || blank.useGet || blank.compareSize || blank.compareContent || blank.compareMetaTag
        || blank.ownParameters || blank.useProxy || blank.useAuthentication);
    for (const auto& text : blank.texts)
        EXPECT_TRUE(text.empty());

    const TCheckItem item = newItemTemplate();
    EXPECT_EQ(item.title(), "\x90\x56\x8b\x4b\x83\x41\x83\x43\x83\x65\x83\x80");
    EXPECT_EQ(item.checkUri(), "http://");
    EXPECT_EQ(item.userAgent(), std::string("Vantrel/") + VantrelVersion);
    EXPECT_EQ(item.timeout, 60000);
}

TEST(CheckItem, CopiesAreDeep)
{
    TCheckItem a;
    a.title() = "one";
    a.content.assign("body", 4);
    TCheckItem b = a;
    b.title() = "two";
    b.content.append("!", 1);
    EXPECT_EQ(a.title(), "one");
    EXPECT_EQ(a.content.toString(), "body");
}

TEST(PasswordScrambling, FormAndInverse)
{
    EXPECT_EQ(scramblePassword(""), "");
    EXPECT_EQ(unscramblePassword(""), "");

    const std::string one = scramblePassword("A"); // 0x41: high nibble 4 first, low nibble 1 last
    ASSERT_EQ(one.size(), 2u);
    EXPECT_EQ(unscramblePassword(one), "A");

    std::string every;
    for (int b = 0; b < 256; ++b)
        every.push_back(static_cast<char>(b));
    const std::string scrambled = scramblePassword(every);
    ASSERT_EQ(scrambled.size(), 512u);
    for (char c : scrambled)
        EXPECT_TRUE(c >= 'a' && c <= 'z') << int(c);
    EXPECT_EQ(unscramblePassword(scrambled), every);

    // High nibbles fill even positions from the front, low nibbles odd positions from the back.
    const std::string ab = scramblePassword("AB");
    EXPECT_EQ(ab[0], scramblePassword("A")[0]);
    EXPECT_EQ(ab[3], scramblePassword("A")[1]);
    EXPECT_EQ(ab[2], scramblePassword("B")[0]);
    EXPECT_EQ(ab[1], scramblePassword("B")[1]);
}

TEST(PasswordScrambling, OddLengthIgnoresMiddleByte)
{
    const std::string two = scramblePassword("x");
    EXPECT_EQ(unscramblePassword(std::string(1, two[0]) + "q" + two[1]), "x");
    EXPECT_EQ(unscramblePassword(std::string(1, two[0]) + "z" + two[1]), "x");
    EXPECT_EQ(unscramblePassword("!").size(), 0u);
    EXPECT_EQ(unscramblePassword("not scrambled at all").size(), 10u); // no error, some bytes
}

TEST(CheckItems, ListOperationsKeepOrder)
{
    TCheckItems list;
    for (const char* t : { "a", "b", "c", "d" }) {
        TCheckItem item;
        item.title() = t;
        list.append(item);
    }
    auto titles = [](const TCheckItems& l) {
        std::string s;
        for (const auto& item : l)
            s += item.title();
        return s;
    };
    EXPECT_EQ(list.at(4), nullptr);
    list.swap(0, 1);
    EXPECT_EQ(titles(list), "bacd");
    list.swap(3, 4);
    EXPECT_EQ(titles(list), "bacd");
    list.retainWhere([](size_t i) { return i != 1 && i != 2; });
    EXPECT_EQ(titles(list), "bd");
    list.appendAll(list);
    EXPECT_EQ(titles(list), "bdbd");
    list.eraseAt(0);
    list.eraseAt(9);
    EXPECT_EQ(titles(list), "dbd");

    TCheckItems other;
    other.replaceAll(list);
    list.clear();
    EXPECT_EQ(titles(other), "dbd");
    EXPECT_TRUE(list.empty());

    other.setStatus({ 0, 2, 7 }, ItemStatus::Update);
    EXPECT_EQ(other[0].status, ItemStatus::Update);
    EXPECT_EQ(other[1].status, ItemStatus::Initial);
    EXPECT_EQ(other[2].status, ItemStatus::Update);
}

TEST(CheckItems, MarkForExport)
{
    TCheckItems list;
    for (int i = 0; i < 5; ++i)
        list.append(TCheckItem());
    EXPECT_EQ(list.markForExport(true, nullptr), 5u);
    for (const auto& item : list)
        EXPECT_EQ(item.exportMark, 1);
    EXPECT_EQ(list.markForExport(false, [](size_t i) { return i == 1 || i == 3; }), 2u);
    for (size_t i = 0; i < 5; ++i)
        EXPECT_EQ(list[i].exportMark, (i == 1 || i == 3) ? 1 : 0);
    EXPECT_EQ(list.markForExport(false, [](size_t) { return false; }), 0u);
}

namespace {

TCheckItem checkedItem()
{
    TCheckItem item;
    item.checkUri() = "http://a.example/";
    item.status = ItemStatus::Update;
    item.lastCheckTime = 100;
    item.lastModifiedTime = 200;
    item.contentLengthValue = 300;
    item.bodySize = 400;
    item.lastCheck() = "Tue Dec 08 03:32:10 2026";
    item.response() = "HTTP/1.0 200 OK";
    item.lastModified() = "x";
    item.contentLength() = "300";
    item.metaTagName() = "rev";
    item.metaTagValue() = "7";
    item.compareMetaTag = 1;
    item.useGet = 1;
    item.content.assign("page", 4);
    item.ownParameters = 1;
    item.useProxy = 1;
    item.proxyServer() = "proxy";
    item.proxyPort() = "8080";
    item.useAuthentication = 1;
    item.userId() = "me";
    item.setPassword("pw");
    item.userAgent() = "UA";
    return item;
}

} // namespace

TEST(ItemEdit, ChangedUrlResetsResults)
{
    const TCheckItem before = checkedItem();
    TCheckItem edited = before;
    edited.checkUri() = "http://b.example/";
    applyItemEdit(before, edited);
    EXPECT_EQ(edited.status, ItemStatus::Initial);
    EXPECT_EQ(edited.lastCheckTime + edited.lastModifiedTime + edited.contentLengthValue + edited.bodySize, 0);
    EXPECT_TRUE(edited.lastCheck().empty() && edited.response().empty() && edited.lastModified().empty()
        && edited.contentLength().empty() && edited.metaTagValue().empty() && edited.content.empty());
    EXPECT_EQ(edited.metaTagName(), "rev");
}

TEST(ItemEdit, TitleChangeAloneKeepsResults)
{
    const TCheckItem before = checkedItem();
    TCheckItem edited = before;
    edited.title() = "renamed";
    applyItemEdit(before, edited);
    EXPECT_EQ(edited.status, ItemStatus::Update);
    EXPECT_EQ(edited.metaTagValue(), "7");
    EXPECT_EQ(edited.content.toString(), "page");
    EXPECT_EQ(edited.password, "pw");
}

TEST(ItemEdit, RulesInTheirOrder)
{
    const TCheckItem before = checkedItem();
    struct Case
    {
        const char* name;
        void (*edit)(TCheckItem&);
        bool (*expect)(const TCheckItem&);
    };
    const Case cases[] = {
        { "empty url switches check off", [](TCheckItem& e) { e.checkUri().clear(); },
            [](const TCheckItem& e) { return !e.check && e.status == ItemStatus::Initial; } },
        { "empty meta name switches meta compare off", [](TCheckItem& e) { e.metaTagName().clear(); },
            [](const TCheckItem& e) { return !e.compareMetaTag && e.metaTagValue().empty(); } },
        { "empty proxy switches proxy off", [](TCheckItem& e) { e.proxyServer().clear(); },
            [](const TCheckItem& e) { return !e.useProxy && e.status == ItemStatus::Update; } },
        { "HEAD empties the content", [](TCheckItem& e) { e.useGet = 0; },
            [](const TCheckItem& e) { return e.content.empty() && e.status == ItemStatus::Update; } },
        { "changed meta name empties its value", [](TCheckItem& e) { e.metaTagName() = "other"; },
            [](const TCheckItem& e) { return e.metaTagValue().empty() && e.status == ItemStatus::Initial; } },
        { "changed comparison resets status", [](TCheckItem& e) { e.compareSize = 1; },
            [](const TCheckItem& e) { return e.status == ItemStatus::Initial && e.lastCheckTime == 100; } },
        { "changed watch rule resets status", [](TCheckItem& e) { e.setExtension("ignore", "^x"); },
            [](const TCheckItem& e) { return e.status == ItemStatus::Initial; } },
        { "another key of the extension is no change", [](TCheckItem& e) { e.setExtension("etag", "\"1\""); },
            [](const TCheckItem& e) { return e.status == ItemStatus::Update; } },
        { "another non-zero switch value is no change", [](TCheckItem& e) { e.compareLastModified = 7; },
            [](const TCheckItem& e) { return e.status == ItemStatus::Update; } },
        { "no own parameters empties them", [](TCheckItem& e) { e.ownParameters = 0; },
            [](const TCheckItem& e) {
                return !e.useProxy && !e.useAuthentication && e.proxyServer().empty() && e.proxyPort().empty()
                    && e.userId().empty() && e.scrambledPassword().empty() && e.password.empty()
                    && e.userAgent().empty();
            } },
    };
    for (const auto& c : cases) {
        TCheckItem edited = before;
        c.edit(edited);
        applyItemEdit(before, edited);
        EXPECT_TRUE(c.expect(edited)) << c.name;
    }
}

TEST(Config, FactoryValuesAndConfirmation)
{
    TConfig config;
    EXPECT_EQ(config.signature, 200009u);
    EXPECT_EQ(config.formatVersion, 2u);
    EXPECT_EQ(config.reportMode, 2);
    EXPECT_EQ(config.exportAll, 1);
    EXPECT_EQ(config.exportCheckUri, 1);
    EXPECT_EQ(config.homePageUri(), "http://vantrel.example.org/");
    EXPECT_EQ(config.contactAddress(), "vantrel@example.org");
    EXPECT_EQ(config.defaultItem, newItemTemplate());

    config.soundOnUpdate = 1;
    config.soundOnNoUpdate = 1;
    config.soundNoUpdateFile() = "/tmp/a.wav";
    config.defaultItem.compareMetaTag = 1;
    config.defaultItem.useProxy = 1;
    config.defaultItem.password = "secret";
    confirmSettings(config);
    EXPECT_EQ(config.soundOnUpdate, 0);
    EXPECT_EQ(config.soundOnNoUpdate, 1);
    EXPECT_EQ(config.defaultItem.compareMetaTag, 0);
    EXPECT_EQ(config.defaultItem.useProxy, 0);
    EXPECT_EQ(unscramblePassword(config.defaultItem.scrambledPassword()), "secret");
}
