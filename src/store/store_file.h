#pragma once

#include "store/check_item.h"
#include "store/config.h"
#include "store/part_table.h"

#include <string>

inline constexpr size_t FixedBlockSize = 36;
inline constexpr size_t OptionsBlockSize = 40;
inline constexpr size_t ItemHeaderSize = 24;

// Item record: header of three (offset, length) pairs, the fixed block, the text table, the content.
size_t itemRecordSize(const TCheckItem& item) noexcept;
uint8_t* writeItemRecord(uint8_t* out, const TCheckItem& item);
TMemory encodeItemRecord(const TCheckItem& item);

// Overlapping parts may make a hostile file expand without bound; a read copies at most this many
// bytes of texts and contents, which a file written by the program never comes near.
class TReadBudget
{
public:
    explicit TReadBudget(size_t bytes) noexcept
        : m_left(bytes)
    {
    }
    void spend(size_t bytes);

private:
    size_t m_left;
};

// A record too short, or whose parts do not fit, gives a blank item. A malformed text table raises.
TCheckItem readItemRecord(TBytes bytes, TReadBudget& budget);
TCheckItem readItemRecord(TBytes bytes);

// Item table: a part table with one item record per part.
size_t itemTableSize(const TCheckItems& items) noexcept;
uint8_t* writeItemTable(uint8_t* out, const TCheckItems& items);
TMemory encodeItemTable(const TCheckItems& items);
void readItemTable(TBytes bytes, TCheckItems& items, TReadBudget& budget);
void readItemTable(TBytes bytes, TCheckItems& items);

// The settings file image: options block, the seven texts, the default item, the item table.
TMemory encodeSettings(const TConfig& config);
// Raises TException when the image is not a settings file of this version; `config` is then unchanged.
void decodeSettings(TBytes bytes, TConfig& config);

// Never fail: a settings file that cannot be read leaves factory values; one that cannot be written is left as
// it was, and the write returns false.
bool writeSettingsFile(const TConfig& config, const std::string& path);
void readSettingsFile(TConfig& config, const std::string& path);
// Reads the settings file or raises TException, leaving `config` unchanged.
void loadSettingsFile(TConfig& config, const std::string& path);

// Return whether the file was written or read; a failed read leaves `items` unchanged.
bool writeItemsFile(const TCheckItems& items, const std::string& path);
bool readItemsFile(const std::string& path, TCheckItems& items);
