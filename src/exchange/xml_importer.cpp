#include "exchange/xml_importer.h"

#include "exchange/item_importer.h"
#include "platform/safe_file.h"
#include "store/item_extension.h"
#include "text/date_text.h"
#include "text/japanese_code.h"
#include "text/xml_parser.h"

#include <utility>
#include <vector>

namespace {

class TItemReader
{
public:
    explicit TItemReader(const TXMLParser& parser)
        : m_parser(parser)
    {
    }

    TElement find(std::string_view name, const TElement& parent) const
    {
        return parent.found ? m_parser.findElement(name, parent.content) : TElement {};
    }
    std::string text(const TElement& element) const { return m_parser.elementText(element); }
    std::string text(std::string_view name, const TElement& parent) const { return text(find(name, parent)); }

    // False when the element lacks a title or a check URL.
    bool read(const TElement& element, TCheckItem& item) const;

private:
    void readValues(const TElement& values, TCheckItem& item) const;
    void readParameters(const TElement& parameters, TCheckItem& item) const;

    const TXMLParser& m_parser;
};

bool TItemReader::read(const TElement& element, TCheckItem& item) const
{
    const TElement title = find("title", element);
    const TElement checkUri = find("check-uri", element);
    if (!title.found || !checkUri.found)
        return false;

    item.status = ItemStatus::Initial;
    item.title() = text(title);
    item.checkUri() = text(checkUri);
    item.viewUri() = text("view-uri", element);
    item.lastCheck() = text("last-check", element);
    readDateText(item.lastCheck(), item.lastCheckTime);
    item.check = m_parser.attributeEquals(element.startTag, "check", "on") ? 1 : 0;
    item.useGet = m_parser.contentEquals(find("request", element), "GET") ? 1 : 0;

    readValues(find("values", element), item);
    readParameters(find("parameters", element), item);
    const TElement extension = find("extension", element);
    if (extension.found) {
        std::string lines;
        bool first = true;
        m_parser.forEachElement("line", extension.content, [&](const TElement& line) {
            if (!first)
                lines += '\n';
            first = false;
            lines += m_parser.attributeText(line.startTag, "text");
        });
        // The list names no identity; the item gets one of its own when it joins a list.
        item.extensionText() = TItemExtension(lines).without({ ExtKey::Id, ExtKey::Etag, ExtKey::Failures }).text();
    }
    return true;
}

void TItemReader::readValues(const TElement& values, TCheckItem& item) const
{
    item.response() = text("response", values);

    const TElement lastModified = find("last-modified", values);
    item.compareLastModified = lastModified.found ? 1 : 0;
    if (lastModified.found) {
        item.lastModified() = text(lastModified);
        item.lastModifiedTime = readLastModifiedTime(item.lastModified());
    }
    const TElement contentLength = find("content-length", values);
    item.compareContentLength = contentLength.found ? 1 : 0;
    if (contentLength.found) {
        item.contentLength() = text(contentLength);
        item.contentLengthValue = numberValue(item.contentLength());
    }
    const TElement size = find("size", values);
    item.compareSize = size.found ? 1 : 0;
    if (size.found)
        item.bodySize = numberValue(text(size));
    item.compareContent = m_parser.contentEquals(find("compare", values), "content") ? 1 : 0;
    const TElement metaTag = find("meta-tag", values);
    item.compareMetaTag = metaTag.found ? 1 : 0;
    if (metaTag.found) {
        item.metaTagName() = text("name", metaTag);
        item.metaTagValue() = text("value", metaTag);
    }
}

void TItemReader::readParameters(const TElement& parameters, TCheckItem& item) const
{
    item.ownParameters = parameters.found ? 1 : 0;
    if (!parameters.found) {
        dropParametersUnlessOwn(item);
        return;
    }
    const TElement proxy = find("proxy", parameters);
    item.useProxy = proxy.found ? 1 : 0;
    if (proxy.found) {
        item.proxyServer() = text("server", proxy);
        item.proxyPort() = text("port", proxy);
    }
    const TElement authentication = find("authentication", parameters);
    item.useAuthentication = authentication.found ? 1 : 0;
    if (authentication.found) {
        item.userId() = text("user-id", authentication);
        const TElement password = find("password", authentication);
        if (m_parser.attributeEquals(password.startTag, "encode", "on")) {
            item.scrambledPassword() = text(password);
            item.password = unscramblePassword(item.scrambledPassword());
        } else {
            item.setPassword(text(password));
        }
    }
    item.userAgent() = text("user-agent", find("http", parameters));
}

} // namespace

TInternalText readItemList(std::string_view bytes)
{
    // Lists in the Japanese codes have always been read by their bytes, whatever their declaration says.
    if (detectDocument(bytes) == TJapaneseCode::Utf8)
        return readInternal(bytes);
    return { toInternal(bytes), false };
}

void importXmlItems(const TMemory& image, TCheckItems& items, const TConfig& config)
{
    const TInternalText internal = readItemList(image.view());
    const TXMLParser parser(std::string_view(internal.bytes), internal.utf8);
    const TItemReader reader(parser);

    std::vector<TCheckItem> added;
    parser.forEachElement("item", parser.whole(), [&](const TElement& element) {
        TCheckItem item = config.defaultItem;
        if (reader.read(element, item))
            added.push_back(std::move(item));
    });
    items.reserve(items.count() + added.size());
    for (TCheckItem& item : added)
        items.append(std::move(item));
}

void importXmlFile(const std::string& path, TCheckItems& items, const TConfig& config)
{
    importXmlItems(readWholeFile(path), items, config);
}
