#include "store/config.h"

std::array<std::string, ConfigTextCount> TConfig::factoryTexts()
{
    return { "http://vantrel.example.org/", "vantrel@example.org", "", "", "", "", "" };
}

void TConfig::reset()
{
    *this = TConfig();
}

void confirmSettings(TConfig& config)
{
    if (config.soundUpdateFile().empty())
        config.soundOnUpdate = 0;
    if (config.soundNoUpdateFile().empty())
        config.soundOnNoUpdate = 0;
    if (config.defaultItem.metaTagName().empty())
        config.defaultItem.compareMetaTag = 0;
    if (config.defaultItem.proxyServer().empty())
        config.defaultItem.useProxy = 0;
    config.defaultItem.scrambledPassword() = scramblePassword(config.defaultItem.password);
}
