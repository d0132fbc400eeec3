#include "store/config.h"

#include <charconv>

std::array<std::string, ConfigTextCount> TConfig::factoryTexts()
{
    return {"http://vantrel.example.org/", "vantrel@example.org", "", "", "", "", ""};
}

int portNumber(const std::string& text)
{
    int value = 0;
    const char* first = text.data();
    const char* last = first + text.size();
    auto [end, error] = std::from_chars(first, last, value);
    if (error != std::errc() || end != last || end == first || value < 1)
        return 0;
    return value;
}

TEffectiveParameters TConfig::effectiveParameters(const TCheckItem& item) const
{
    const TCheckItem& p = item.ownParameters ? item : defaultItem;
    TEffectiveParameters result;
    result.timeout = p.timeout <= 60000 ? 60000 : p.timeout;
    if (p.useProxy) {
        result.proxyHost = p.proxyServer();
        result.proxyPort = portNumber(p.proxyPort());
    }
    if (p.useAuthentication) {
        result.userId = p.userId();
        result.password = p.password;
    }
    result.userAgent = p.userAgent();
    return result;
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
