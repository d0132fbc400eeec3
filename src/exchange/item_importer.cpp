#include "exchange/item_importer.h"

#include "platform/safe_file.h"

#include <utility>

void dropParametersUnlessOwn(TCheckItem& item)
{
    if (item.ownParameters)
        return;
    item.useProxy = 0;
    item.useAuthentication = 0;
    item.proxyServer().clear();
    item.proxyPort().clear();
    item.userId().clear();
    item.scrambledPassword().clear();
    item.password.clear();
    item.userAgent().clear();
}

TItemImporter::TItemImporter(std::string text)
    : m_lines(std::move(text))
{
}

void TItemImporter::import(TCheckItems& items, const TConfig& config)
{
    const TTabTextLines& all = lines();
    std::vector<TCheckItem> added;
    for (size_t i = 0; i < all.count(); ++i) {
        TCheckItem item = config.defaultItem;
        if (!takeLine(item, all.line(i)))
            continue;
        dropParametersUnlessOwn(item);
        added.push_back(std::move(item));
    }
    items.reserve(items.count() + added.size());
    for (TCheckItem& item : added)
        items.append(std::move(item));
}

bool TURIImporter::takeLine(TCheckItem& item, const TTabTextLine& line)
{
    std::string uri = line.text(0);
    if (uri.empty())
        return false;
    item.checkUri() = std::move(uri);
    return true;
}

bool TTabTextImporter::takeLine(TCheckItem& item, const TTabTextLine& line)
{
    if (line.count() < 3)
        return false;
    std::string title = line.text(0);
    std::string checkUri = line.text(1);
    if (title.empty() && checkUri.empty())
        return false;
    item.title() = std::move(title);
    item.checkUri() = std::move(checkUri);
    item.viewUri() = line.text(2);
    item.lastModified() = line.text(3);
    item.contentLength() = line.text(4);
    return true;
}

namespace {

template <class Importer>
void importLines(const std::string& path, TCheckItems& items, const TConfig& config)
{
    Importer importer(readWholeFile(path).toString());
    importer.import(items, config);
}

} // namespace

void importUriList(const std::string& path, TCheckItems& items, const TConfig& config)
{
    importLines<TURIImporter>(path, items, config);
}

void importTabText(const std::string& path, TCheckItems& items, const TConfig& config)
{
    importLines<TTabTextImporter>(path, items, config);
}
