#include "store/store_file.h"

#include "base/exception.h"
#include "platform/safe_file.h"
#include "store/item_extension.h"

#include <cstring>
#include <new>
#include <utility>

namespace {

uint8_t* writeFixedBlock(uint8_t* out, const TCheckItem& item)
{
    std::memset(out, 0, FixedBlockSize);
    out[0] = static_cast<uint8_t>(item.status);
    writeLe32(out + 4, static_cast<uint32_t>(item.timeout));
    const uint8_t switches[] = { item.check, item.getTitle, item.useGet, item.compareLastModified,
        item.compareContentLength, item.compareSize, item.compareContent, item.compareMetaTag, item.ownParameters,
        item.useProxy, item.useAuthentication };
    std::memcpy(out + 8, switches, sizeof switches);
    writeLe32(out + 20, static_cast<uint32_t>(item.lastCheckTime));
    writeLe32(out + 24, static_cast<uint32_t>(item.lastModifiedTime));
    writeLe32(out + 28, static_cast<uint32_t>(item.contentLengthValue));
    writeLe32(out + 32, static_cast<uint32_t>(item.bodySize));
    return out + FixedBlockSize;
}

void readFixedBlock(const uint8_t* p, TCheckItem& item)
{
    item.status = static_cast<ItemStatus>(p[0]);
    item.timeout = static_cast<int32_t>(readLe32(p + 4));
    uint8_t* switches[] = { &item.check, &item.getTitle, &item.useGet, &item.compareLastModified,
        &item.compareContentLength, &item.compareSize, &item.compareContent, &item.compareMetaTag, &item.ownParameters,
        &item.useProxy, &item.useAuthentication };
    for (size_t i = 0; i < std::size(switches); ++i)
        *switches[i] = p[8 + i];
    item.lastCheckTime = static_cast<int32_t>(readLe32(p + 20));
    item.lastModifiedTime = static_cast<int32_t>(readLe32(p + 24));
    item.contentLengthValue = static_cast<int32_t>(readLe32(p + 28));
    item.bodySize = static_cast<int32_t>(readLe32(p + 32));
}

uint8_t* writeOptionsBlock(uint8_t* out, const TConfig& config)
{
    out = writeLe32(out, config.signature);
    out = writeLe32(out, config.formatVersion);
    const uint8_t options[] = { config.doubleClickAction, config.topMost, config.taskTray, config.reportMode,
        config.soundOnUpdate, config.soundOnNoUpdate, config.exportAll, config.exportCheckUri };
    std::memcpy(out, options, sizeof options);
    out += sizeof options;
    for (int32_t width : config.columnWidths)
        out = writeLe32(out, static_cast<uint32_t>(width));
    return out;
}

void readOptionsBlock(const uint8_t* p, TConfig& config)
{
    config.signature = readLe32(p);
    config.formatVersion = readLe32(p + 4);
    uint8_t* options[] = { &config.doubleClickAction, &config.topMost, &config.taskTray, &config.reportMode,
        &config.soundOnUpdate, &config.soundOnNoUpdate, &config.exportAll, &config.exportCheckUri };
    for (size_t i = 0; i < std::size(options); ++i)
        *options[i] = p[8 + i];
    for (size_t i = 0; i < ColumnCount; ++i)
        config.columnWidths[i] = static_cast<int32_t>(readLe32(p + 16 + 4 * i));
}

size_t itemRecordHeadSize(const TCheckItem& item) noexcept
{
    return ItemHeaderSize + FixedBlockSize + textTableSize(item.texts);
}

// Everything of an item record but its content, which follows it.
uint8_t* writeItemRecordHead(uint8_t* out, const TCheckItem& item)
{
    const size_t texts = textTableSize(item.texts);
    const size_t lengths[] = { FixedBlockSize, texts, item.content.size() };
    // The header is itself laid out like a part table without its count.
    size_t offset = ItemHeaderSize;
    for (size_t length : lengths) {
        if (offset > UINT32_MAX || length > UINT32_MAX)
            throw TException("TPartTable");
        out = writeLe32(out, static_cast<uint32_t>(offset));
        out = writeLe32(out, static_cast<uint32_t>(length));
        offset += length;
    }
    out = writeFixedBlock(out, item);
    return writeTextTable(out, item.texts);
}

// The count and the (offset, length) pairs of an item table.
TMemory itemTableHeader(const TCheckItems& items)
{
    std::vector<size_t> lengths;
    lengths.reserve(items.count());
    for (const auto& item : items)
        lengths.push_back(itemRecordSize(item));
    TMemory header(partTableSize(lengths.size(), 0));
    writePartTableHeader(header.data(), lengths);
    return header;
}

// An item table written record by record, so that no complete image of it is ever held.
void streamItemTable(TFileWriter& out, const TCheckItems& items)
{
    const TMemory header = itemTableHeader(items);
    out.write(header.data(), header.size());
    TMemory head;
    for (const auto& item : items) {
        head.resize(itemRecordHeadSize(item));
        writeItemRecordHead(head.data(), item);
        out.write(head.data(), head.size());
        out.write(item.content.data(), item.content.size());
    }
}

// The settings image up to its item table: the top-level part table, the options, the texts, the default item.
TMemory settingsHead(const TConfig& config)
{
    const size_t lengths[] = { OptionsBlockSize, textTableSize(config.texts), itemRecordSize(config.defaultItem),
        itemTableSize(config.items) };
    TMemory head(partTableSize(4, lengths[0] + lengths[1] + lengths[2]));
    uint8_t* out = writePartTableHeader(head.data(), lengths);
    out = writeOptionsBlock(out, config);
    out = writeTextTable(out, config.texts);
    writeItemRecord(out, config.defaultItem);
    return head;
}

// Default slack for images that are not read from a file of known size.
constexpr size_t UnboundedBudget = SIZE_MAX;

// Fills a blank item from its record, straight from the image: no list of parts, no texts copied twice.
void readItemRecordInto(TBytes bytes, TReadBudget& budget, TCheckItem& item)
{
    const size_t r = bytes.size();
    if (r < ItemHeaderSize)
        return;

    TBytes parts[3];
    for (size_t i = 0; i < 3; ++i) {
        const size_t offset = readLe32(bytes.data() + 8 * i);
        const size_t length = readLe32(bytes.data() + 8 * i + 4);
        if (offset > r || length > r - offset)
            return;
        parts[i] = bytes.subspan(offset, length);
    }

    if (parts[0].size() < FixedBlockSize) {
        uint8_t fixed[FixedBlockSize];
        writeFixedBlock(fixed, item);
        if (!parts[0].empty())
            std::memcpy(fixed, parts[0].data(), parts[0].size());
        readFixedBlock(fixed, item);
    } else {
        readFixedBlock(parts[0].data(), item);
    }

    // Texts past the fifteenth are checked but not kept.
    const size_t texts = checkPartTable(parts[1]);
    for (size_t i = 0; i < texts && i < ItemTextCount; ++i) {
        const TBytes text = partOf(parts[1], i);
        budget.spend(text.size());
        item.texts[i].assign(reinterpret_cast<const char*>(text.data()), text.size());
    }
    budget.spend(parts[2].size());
    if (!parts[2].empty())
        item.content.assign(parts[2].data(), parts[2].size());
    if (!item.scrambledPassword().empty())
        item.password = unscramblePassword(item.scrambledPassword());
}

} // namespace

void TReadBudget::spend(size_t bytes)
{
    if (bytes > m_left)
        throw TException("TReadBudget");
    m_left -= bytes;
}

size_t itemRecordSize(const TCheckItem& item) noexcept
{
    return itemRecordHeadSize(item) + item.content.size();
}

uint8_t* writeItemRecord(uint8_t* out, const TCheckItem& item)
{
    out = writeItemRecordHead(out, item);
    if (!item.content.empty())
        std::memcpy(out, item.content.data(), item.content.size());
    return out + item.content.size();
}

TMemory encodeItemRecord(const TCheckItem& item)
{
    TMemory image(itemRecordSize(item));
    writeItemRecord(image.data(), item);
    return image;
}

TCheckItem readItemRecord(TBytes bytes, TReadBudget& budget)
{
    TCheckItem item;
    readItemRecordInto(bytes, budget, item);
    return item;
}

TCheckItem readItemRecord(TBytes bytes)
{
    TReadBudget budget(UnboundedBudget);
    return readItemRecord(bytes, budget);
}

size_t itemTableSize(const TCheckItems& items) noexcept
{
    size_t payload = 0;
    for (const auto& item : items)
        payload += itemRecordSize(item);
    return partTableSize(items.count(), payload);
}

uint8_t* writeItemTable(uint8_t* out, const TCheckItems& items)
{
    const TMemory header = itemTableHeader(items);
    std::memcpy(out, header.data(), header.size());
    out += header.size();
    for (const auto& item : items)
        out = writeItemRecord(out, item);
    return out;
}

TMemory encodeItemTable(const TCheckItems& items)
{
    TMemory image(itemTableSize(items));
    writeItemTable(image.data(), items);
    return image;
}

void readItemTable(TBytes bytes, TCheckItems& items, TReadBudget& budget)
{
    const size_t count = checkPartTable(bytes);
    TCheckItems result;
    result.reserve(count);
    std::vector<TCheckItem>& list = result.items();
    // The list of a large file is tens of megabytes that are all written at once.
    adviseLargePages(list.data(), count * sizeof(TCheckItem));
    for (size_t i = 0; i < count; ++i)
        readItemRecordInto(partOf(bytes, i), budget, list.emplace_back());
    result.ensureIds();
    items.items() = std::move(list);
}

void readItemTable(TBytes bytes, TCheckItems& items)
{
    TReadBudget budget(UnboundedBudget);
    readItemTable(bytes, items, budget);
}

TMemory encodeSettings(const TConfig& config)
{
    const TMemory head = settingsHead(config);
    TMemory image(head.size() + itemTableSize(config.items));
    std::memcpy(image.data(), head.data(), head.size());
    writeItemTable(image.data() + head.size(), config.items);
    return image;
}

void decodeSettings(TBytes bytes, TConfig& config)
{
    const auto parts = readPartTable(bytes);
    if (parts.size() != 4 || parts[0].size() != OptionsBlockSize)
        throw TException("TConfig");
    if (readLe32(parts[0].data() + 4) != ConfigFormatVersion)
        throw TException("TConfig");

    // A file written by the program never holds more text and content than its own size.
    TReadBudget budget(bytes.size());
    TConfig result;
    readOptionsBlock(parts[0].data(), result);
    TAnsiStringArray texts = readTextTable(parts[1]);
    if (texts.size() != ConfigTextCount)
        throw TException("TConfig");
    for (size_t i = 0; i < ConfigTextCount; ++i)
        result.texts[i] = std::move(texts[i]);
    result.defaultItem = readItemRecord(parts[2], budget);
    // New items are copies of the default item and must each get an identity of their own.
    result.defaultItem.setExtension(ExtKey::Id, {});
    readItemTable(parts[3], result.items, budget);
    config = std::move(result);
}

bool writeSettingsFile(const TConfig& config, const std::string& path)
{
    try {
        writeFileSafely(
            path,
            [&config](TFileWriter& out) {
                const TMemory head = settingsHead(config);
                out.write(head.data(), head.size());
                streamItemTable(out, config.items);
            },
            0600);
        return true;
    } catch (const TException&) {
        // A settings file that cannot be written at exit is not worth a message; the old one stays.
    } catch (const std::bad_alloc&) {
        // Nor is one that memory ran out for.
    }
    return false;
}

void readSettingsFile(TConfig& config, const std::string& path)
{
    try {
        loadSettingsFile(config, path);
    } catch (const TException&) {
        config.reset();
    } catch (const std::bad_alloc&) {
        config.reset();
    }
}

void loadSettingsFile(TConfig& config, const std::string& path)
{
    TConfig result;
    {
        // The image goes as soon as the list is parsed: the two together are the read's peak.
        const TMemory image = readWholeFile(path);
        decodeSettings(asBytes(image), result);
    }
    config = std::move(result);
}

bool writeItemsFile(const TCheckItems& items, const std::string& path)
{
    try {
        writeFileSafely(
            path, [&items](TFileWriter& out) { streamItemTable(out, items); }, 0600);
        return true;
    } catch (const TException&) {
        return false;
    } catch (const std::bad_alloc&) {
        return false;
    }
}

bool readItemsFile(const std::string& path, TCheckItems& items)
{
    try {
        TCheckItems result;
        {
            const TMemory image = readWholeFile(path);
            TReadBudget budget(image.size());
            readItemTable(asBytes(image), result, budget);
        }
        items.items() = std::move(result.items());
        return true;
    } catch (const TException&) {
        return false;
    } catch (const std::bad_alloc&) {
        return false;
    }
}
