#include "exchange/item_importer.h"

#include "platform/safe_file.h"
#include "text/japanese_code.h"

#include <string_view>
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

namespace {

constexpr std::string_view ByteOrderMark = "\xEF\xBB\xBF";

std::string withoutByteOrderMark(std::string text)
{
    if (std::string_view(text).starts_with(ByteOrderMark))
        text.erase(0, ByteOrderMark.size());
    return text;
}

} // namespace

TItemImporter::TItemImporter(std::string text)
    : m_utf8(detect(text) == TJapaneseCode::Utf8)
    , m_lines(m_utf8 ? withoutByteOrderMark(std::move(text)) : std::move(text))
{
}

std::string TItemImporter::text(const TTabTextLine& line, size_t index) const
{
    return m_utf8 ? utf8ToSjis(line.text(index)) : line.text(index);
}

std::string TItemImporter::uri(const TTabTextLine& line, size_t index) const
{
    return m_utf8 ? internalUrlToSjis(line.text(index), true) : line.text(index);
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
    std::string checkUri = uri(line, 0);
    if (checkUri.empty())
        return false;
    item.checkUri() = std::move(checkUri);
    return true;
}

bool TTabTextImporter::takeLine(TCheckItem& item, const TTabTextLine& line)
{
    if (line.count() < 3)
        return false;
    std::string title = text(line, 0);
    std::string checkUri = uri(line, 1);
    if (title.empty() && checkUri.empty())
        return false;
    item.title() = std::move(title);
    item.checkUri() = std::move(checkUri);
    item.viewUri() = uri(line, 2);
    item.lastModified() = text(line, 3);
    item.contentLength() = text(line, 4);
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
