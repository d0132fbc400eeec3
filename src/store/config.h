#pragma once

#include "store/check_item.h"

#include <array>
#include <cstdint>
#include <string>

// The seven remembered texts of the settings, by index.
enum ConfigText : size_t {
    HomePageUriText = 0,
    ContactAddressText = 1,
    CharacterFileText = 2,
    CharacterNameText = 3,
    LastItemsFileText = 4,
    SoundUpdateFileText = 5,
    SoundNoUpdateFileText = 6,
};
inline constexpr size_t ConfigTextCount = 7;
inline constexpr size_t ColumnCount = 6;

// The values of the options block that choose a behaviour; the block keeps them as bytes, which may hold
// any other value read from a file.
enum class DoubleClickAction : uint8_t { Edit = 0, Browse = 1 };
enum class ReportMode : uint8_t { Never = 0, OnUpdate = 1, Always = 2 };

inline constexpr uint32_t ConfigSignature = 200009;
inline constexpr uint32_t ConfigFormatVersion = 2;

// The application's settings with the item list. A plain record; the constructor gives factory values.
struct TConfig
{
    // Options block, in file order.
    uint32_t signature = ConfigSignature;
    uint32_t formatVersion = ConfigFormatVersion;
    uint8_t doubleClickAction = static_cast<uint8_t>(DoubleClickAction::Edit);
    uint8_t topMost = 0;
    uint8_t taskTray = 0;
    uint8_t reportMode = static_cast<uint8_t>(ReportMode::Always);
    uint8_t soundOnUpdate = 0;
    uint8_t soundOnNoUpdate = 0;
    uint8_t exportAll = 1;
    uint8_t exportCheckUri = 1;
    std::array<int32_t, ColumnCount> columnWidths {};

    std::array<std::string, ConfigTextCount> texts = factoryTexts();
    TCheckItem defaultItem = newItemTemplate();
    TCheckItems items;
    // Not in the settings file, whose layout has no room for it: kept in vantrel.ini beside it.
    int32_t concurrentChecks = 4; // checks in flight at once during a run, 1 to 16
    int32_t checkInterval = 0; // minutes between timed runs, 5 to 1440; 0 for none
    uint8_t checkAtStart = 0; // a run right after start-up

    static std::array<std::string, ConfigTextCount> factoryTexts();

    DoubleClickAction doubleClick() const { return static_cast<DoubleClickAction>(doubleClickAction); }
    ReportMode report() const { return static_cast<ReportMode>(reportMode); }

    std::string& homePageUri() { return texts[HomePageUriText]; }
    const std::string& homePageUri() const { return texts[HomePageUriText]; }
    std::string& contactAddress() { return texts[ContactAddressText]; }
    const std::string& contactAddress() const { return texts[ContactAddressText]; }
    std::string& characterFile() { return texts[CharacterFileText]; }
    const std::string& characterFile() const { return texts[CharacterFileText]; }
    std::string& characterName() { return texts[CharacterNameText]; }
    const std::string& characterName() const { return texts[CharacterNameText]; }
    std::string& lastItemsFile() { return texts[LastItemsFileText]; }
    const std::string& lastItemsFile() const { return texts[LastItemsFileText]; }
    std::string& soundUpdateFile() { return texts[SoundUpdateFileText]; }
    const std::string& soundUpdateFile() const { return texts[SoundUpdateFileText]; }
    std::string& soundNoUpdateFile() { return texts[SoundNoUpdateFileText]; }
    const std::string& soundNoUpdateFile() const { return texts[SoundNoUpdateFileText]; }

    // Restores every factory value, the item list included.
    void reset();
};

// The rules enforced after the settings dialog stored its values, in their order.
void confirmSettings(TConfig& config);
