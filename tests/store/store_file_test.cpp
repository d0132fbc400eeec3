#include "base/exception.h"
#include "store/store_file.h"

#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <string>
#include <sys/stat.h>

namespace {

std::string bytesOf(const TMemory& m)
{
    return m.toString();
}

std::string le32(uint32_t v)
{
    std::string s(4, '\0');
    writeLe32(reinterpret_cast<uint8_t*>(s.data()), v);
    return s;
}

// A part table from raw parts, laid out one after another.
std::string table(std::initializer_list<std::string> parts)
{
    std::string head = le32(static_cast<uint32_t>(parts.size()));
    std::string body;
    uint32_t offset = static_cast<uint32_t>(4 + 8 * parts.size());
    for (const auto& p : parts) {
        head += le32(offset) + le32(static_cast<uint32_t>(p.size()));
        offset += static_cast<uint32_t>(p.size());
        body += p;
    }
    return head + body;
}

std::string textTable(size_t n, const std::string& each = "")
{
    std::string head = le32(static_cast<uint32_t>(n));
    std::string body;
    uint32_t offset = static_cast<uint32_t>(4 + 8 * n);
    for (size_t i = 0; i < n; ++i) {
        head += le32(offset) + le32(static_cast<uint32_t>(each.size()));
        offset += static_cast<uint32_t>(each.size());
        body += each;
    }
    return head + body;
}

// An item record from its three parts.
std::string record(const std::string& fixed, const std::string& texts, const std::string& content = "")
{
    const uint32_t f = static_cast<uint32_t>(fixed.size());
    const uint32_t t = static_cast<uint32_t>(texts.size());
    return le32(24) + le32(f) + le32(24 + f) + le32(t) + le32(24 + f + t) + le32(static_cast<uint32_t>(content.size()))
        + fixed + texts + content;
}

TCheckItem fullItem(int n)
{
    TCheckItem item;
    item.status = ItemStatus::Error;
    item.timeout = -70000 - n;
    item.check = 0;
    item.getTitle = 2;
    item.useGet = 3;
    item.compareLastModified = 0;
    item.compareContentLength = 0;
    item.compareSize = 4;
    item.compareContent = 5;
    item.compareMetaTag = 6;
    item.ownParameters = 7;
    item.useProxy = 8;
    item.useAuthentication = 255;
    item.lastCheckTime = 1765000000 + n;
    item.lastModifiedTime = -1;
    item.contentLengthValue = INT32_MIN;
    item.bodySize = INT32_MAX;
    for (size_t i = 0; i < ItemTextCount; ++i)
        item.texts[i] = std::string("t\0\r\n\t", 5) + std::to_string(i) + "\x83\x5c\x95\x7c";
    item.setPassword(std::string("p\0ss\x82\xa0", 6));
    item.content.assign(std::string("<html>\0\xff", 8).data(), 8);
    return item;
}

} // namespace

TEST(StoreFile, BlankItemIs184Bytes)
{
    const std::string image = bytesOf(encodeItemRecord(TCheckItem()));
    ASSERT_EQ(image.size(), 184u);
    EXPECT_EQ(image.substr(0, 24), le32(24) + le32(36) + le32(60) + le32(124) + le32(184) + le32(0));
    // Fixed block: status 0, timeout 0, check on, compareLastModified and compareContentLength on.
    EXPECT_EQ(image.substr(24, 36),
        test::hexBytes("00000000 00000000 01 00 00 01 01 00 00 00 00 00 00 00"
                       "00000000 00000000 00000000 00000000"));
    EXPECT_EQ(image.substr(60), textTable(15));
}

TEST(StoreFile, SmallTables)
{
    const std::string one[] = { "" };
    TMemory t(textTableSize(one));
    writeTextTable(t.data(), one);
    EXPECT_EQ(bytesOf(t), test::hexBytes("01000000 0c000000 00000000"));

    EXPECT_EQ(bytesOf(encodeItemTable(TCheckItems())), test::hexBytes("00000000"));
    TCheckItems list;
    list.append(TCheckItem());
    readItemTable(asBytes(std::string_view("\0\0\0\0", 4)), list);
    EXPECT_TRUE(list.empty());
}

TEST(StoreFile, ItemRoundTripKeepsEveryStoredField)
{
    TCheckItems list;
    for (int i = 0; i < 3; ++i)
        list.append(fullItem(i));
    list[1].exportMark = 1;
    const TMemory image = encodeItemTable(list);
    ASSERT_EQ(image.size(), itemTableSize(list));

    TCheckItems back;
    readItemTable(asBytes(image), back);
    ASSERT_EQ(back.count(), 3u);
    list[1].exportMark = 0; // never stored
    for (size_t i = 0; i < 3; ++i)
        EXPECT_EQ(back[i], list[i]) << i;
    EXPECT_EQ(back[0].password, std::string("p\0ss\x82\xa0", 6));
    EXPECT_EQ(bytesOf(encodeItemTable(back)), bytesOf(image));
}

TEST(StoreFile, ItemRecordReaderRules)
{
    TCheckItem expected;

    // Shorter than its header: blank item.
    EXPECT_EQ(readItemRecord(asBytes(std::string(23, '\x7f'))), expected);

    // A part that reaches past the record: blank item.
    std::string bad = record(std::string(36, '\0'), textTable(15));
    bad.replace(12, 4, le32(1000));
    EXPECT_EQ(readItemRecord(asBytes(bad)), expected);
    std::string wrap = record(std::string(36, '\0'), textTable(15));
    wrap.replace(16, 8, le32(0xffffffffu) + le32(2));
    EXPECT_EQ(readItemRecord(asBytes(wrap)), expected);

    // A fixed block of 8 bytes takes those and the blank item's values for the rest.
    TCheckItem shortFixed = readItemRecord(asBytes(record(test::hexBytes("02000000 10270000"), textTable(15))));
    EXPECT_EQ(shortFixed.status, ItemStatus::Update);
    EXPECT_EQ(shortFixed.timeout, 10000);
    EXPECT_TRUE(shortFixed.check && shortFixed.compareLastModified && shortFixed.compareContentLength);

    // A fixed block longer than 36 bytes: the rest is ignored.
    std::string longFixed(40, '\0');
    longFixed[0] = 9;
    EXPECT_EQ(readItemRecord(asBytes(record(longFixed, textTable(15)))).status, static_cast<ItemStatus>(9));

    // 14 texts leave slot 14 empty; 20 keep the first 15.
    TCheckItem fourteen = readItemRecord(asBytes(record(std::string(36, '\0'), textTable(14, "x"))));
    EXPECT_EQ(fourteen.texts[13], "x");
    EXPECT_EQ(fourteen.texts[14], "");
    TCheckItem twenty = readItemRecord(asBytes(record(std::string(36, '\0'), textTable(20, "y"))));
    EXPECT_EQ(twenty.texts[14], "y");

    // A malformed text table aborts the read.
    EXPECT_THROW(readItemRecord(asBytes(record(std::string(36, '\0'), "\x05\0\0\0"))), TException);
    EXPECT_THROW(readItemRecord(asBytes(record(std::string(36, '\0'), ""))), TException);
}

TEST(StoreFile, PartTableChecks)
{
    EXPECT_THROW(readPartTable(asBytes(std::string("\0\0\0", 3))), TException);
    // A count that would need more bytes than the buffer holds is refused before anything is made.
    EXPECT_THROW(readPartTable(asBytes(le32(0xffffffffu))), TException);
    EXPECT_THROW(readPartTable(asBytes(le32(1) + le32(12))), TException);
    EXPECT_THROW(readPartTable(asBytes(le32(1) + le32(13) + le32(0))), TException);
    EXPECT_THROW(readPartTable(asBytes(le32(1) + le32(12) + le32(1))), TException);
    EXPECT_THROW(readPartTable(asBytes(le32(1) + le32(4) + le32(0xfffffffcu))), TException);

    // Parts may overlap, lie in any order and leave gaps.
    const std::string image = le32(2) + le32(20) + le32(3) + le32(4) + le32(8) + "abcdef";
    const auto parts = readPartTable(asBytes(image));
    ASSERT_EQ(parts.size(), 2u);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(parts[0].data()), parts[0].size()), "abc");
    EXPECT_EQ(parts[1].size(), 8u);
    EXPECT_EQ(parts[1].data(), reinterpret_cast<const uint8_t*>(image.data()) + 4);
}

TEST(StoreFile, OverlappingPartsCannotExpandWithoutBound)
{
    // One 64 KiB record named by many table entries would copy far more than the file holds.
    const std::string big = record(std::string(36, '\0'), textTable(15), std::string(65536, 'c'));
    const uint32_t n = 64;
    std::string image = le32(n);
    const uint32_t offset = 4 + 8 * n;
    for (uint32_t i = 0; i < n; ++i)
        image += le32(offset) + le32(static_cast<uint32_t>(big.size()));
    image += big;

    TReadBudget budget(image.size());
    TCheckItems list;
    EXPECT_THROW(readItemTable(asBytes(image), list, budget), TException);
    EXPECT_TRUE(list.empty());
}

namespace {

TConfig sampleConfig()
{
    TConfig config;
    config.signature = 12345;
    config.doubleClickAction = 1;
    config.topMost = 1;
    config.taskTray = 1;
    config.reportMode = 0;
    config.soundOnUpdate = 1;
    config.soundOnNoUpdate = 1;
    config.exportAll = 0;
    config.exportCheckUri = 0;
    config.columnWidths = { 150, 0, -1, 40, 50, 60 };
    for (size_t i = 0; i < ConfigTextCount; ++i)
        config.texts[i] = "\x83\x65\x83\x58\x83\x67" + std::to_string(i);
    config.defaultItem = fullItem(9);
    for (int i = 0; i < 4; ++i)
        config.items.append(fullItem(i));
    return config;
}

void expectFactory(const TConfig& config)
{
    const TConfig factory;
    EXPECT_EQ(config.signature, factory.signature);
    EXPECT_EQ(config.reportMode, factory.reportMode);
    EXPECT_EQ(config.texts, factory.texts);
    EXPECT_EQ(config.defaultItem, factory.defaultItem);
    EXPECT_TRUE(config.items.empty());
}

} // namespace

TEST(SettingsFile, RoundTrip)
{
    test::TempDir dir;
    const std::string path = dir.file("vantrel.cfg");
    TConfig config = sampleConfig();
    // Larger than the writer's buffer, so the file is written in several pieces.
    config.items[2].content = TMemory(std::string(300 * 1024, 'c'));
    ASSERT_TRUE(writeSettingsFile(config, path));

    const std::string image = test::readFile(path);
    EXPECT_EQ(image, bytesOf(encodeSettings(config)));
    EXPECT_EQ(image.substr(0, 4), le32(4));
    EXPECT_EQ(image.substr(8, 4), le32(40)); // options block length
    EXPECT_EQ(image.substr(36, 8), le32(12345) + le32(2));

    TConfig back;
    readSettingsFile(back, path);
    EXPECT_EQ(back.signature, 12345u);
    EXPECT_EQ(back.doubleClickAction, 1);
    EXPECT_EQ(back.topMost, 1);
    EXPECT_EQ(back.taskTray, 1);
    EXPECT_EQ(back.reportMode, 0);
    EXPECT_EQ(back.soundOnUpdate, 1);
    EXPECT_EQ(back.soundOnNoUpdate, 1);
    EXPECT_EQ(back.exportAll, 0);
    EXPECT_EQ(back.exportCheckUri, 0);
    EXPECT_EQ(back.columnWidths, config.columnWidths);
    EXPECT_EQ(back.texts, config.texts);
    EXPECT_EQ(back.defaultItem, config.defaultItem);
    ASSERT_EQ(back.items.count(), 4u);
    for (size_t i = 0; i < 4; ++i)
        EXPECT_EQ(back.items[i], config.items[i]);

    writeSettingsFile(back, dir.file("again.cfg"));
    EXPECT_EQ(test::readFile(dir.file("again.cfg")), image);
    EXPECT_FALSE(writeSettingsFile(back, dir.file("no such folder/vantrel.cfg")));
}

TEST(SettingsFile, CreatedReadableByOwnerOnly)
{
    test::TempDir dir;
    writeSettingsFile(sampleConfig(), dir.file("vantrel.cfg"));
    ASSERT_TRUE(writeItemsFile(sampleConfig().items, dir.file("list.vantrelitems")));
    struct stat st
    {
    };
    ASSERT_EQ(::stat(dir.file("vantrel.cfg").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    ASSERT_EQ(::stat(dir.file("list.vantrelitems").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
}

TEST(SettingsFile, RefusedFilesGiveFactorySettings)
{
    const std::string good = encodeSettings(sampleConfig()).toString();
    const std::string options = good.substr(36, 40);
    const std::string texts = textTable(7);
    const std::string item = encodeItemRecord(TCheckItem()).toString();
    const std::string none = le32(0);

    std::string otherVersion = options;
    otherVersion.replace(4, 4, le32(3));

    const std::pair<const char*, std::string> cases[] = {
        { "missing file", "" },
        { "empty file", std::string() },
        { "truncated", good.substr(0, good.size() - 1) },
        { "five parts", table({ options, texts, item, none, none }) },
        { "three parts", table({ options, texts, item }) },
        { "options of 41 bytes", table({ options + "x", texts, item, none }) },
        { "another version", table({ otherVersion, texts, item, none }) },
        { "six texts", table({ options, textTable(6), item, none }) },
        { "bad item table", table({ options, texts, item, le32(9) }) },
    };
    int index = 0;
    for (const auto& [name, bytes] : cases) {
        test::TempDir dir;
        const std::string path = dir.file("vantrel.cfg");
        if (index++ != 0)
            test::writeFile(path, bytes);
        TConfig config = sampleConfig();
        SCOPED_TRACE(name);
        // The raising read leaves what it was given; the lenient one falls back to the factory values.
        EXPECT_THROW(loadSettingsFile(config, path), TException);
        EXPECT_EQ(config.signature, sampleConfig().signature);
        readSettingsFile(config, path);
        expectFactory(config);
    }
}

TEST(SettingsFile, LenientParts)
{
    test::TempDir dir;
    const std::string path = dir.file("vantrel.cfg");
    std::string options = encodeSettings(TConfig()).toString().substr(36, 40);
    options.replace(0, 4, le32(7)); // another signature is kept
    // A default item too short to read becomes the blank item, not the new-item template.
    test::writeFile(path, table({ options, textTable(7, "z"), "short", le32(0) }));
    TConfig config;
    readSettingsFile(config, path);
    EXPECT_EQ(config.signature, 7u);
    EXPECT_EQ(config.homePageUri(), "z");
    EXPECT_EQ(config.defaultItem, TCheckItem());
    writeSettingsFile(config, path);
    EXPECT_EQ(test::readFile(path).substr(36, 4), le32(7));
}

TEST(ItemsFile, RoundTripAndFailuresLeaveTheListAlone)
{
    test::TempDir dir;
    const std::string path = dir.file("list.dat");
    const TCheckItems items = sampleConfig().items;
    ASSERT_TRUE(writeItemsFile(items, path));
    EXPECT_EQ(test::readFile(path), bytesOf(encodeItemTable(items)));

    TCheckItems back;
    back.append(fullItem(7));
    ASSERT_TRUE(readItemsFile(path, back));
    ASSERT_EQ(back.count(), items.count());
    for (size_t i = 0; i < items.count(); ++i)
        EXPECT_EQ(back[i], items[i]);

    // A missing file, a damaged one and an unwritable target all report failure and change nothing.
    TCheckItems kept;
    kept.append(fullItem(3));
    const TCheckItem keptItem = kept[0];
    EXPECT_FALSE(readItemsFile(dir.file("absent.dat"), kept));
    test::writeFile(dir.file("damaged.dat"), test::readFile(path).substr(0, 30));
    EXPECT_FALSE(readItemsFile(dir.file("damaged.dat"), kept));
    ASSERT_EQ(kept.count(), 1u);
    EXPECT_EQ(kept[0], keptItem);
    EXPECT_FALSE(writeItemsFile(items, dir.file("no/such/folder/list.dat")));
}
