#include "exchange/xml_exporter.h"

#include "store/item_extension.h"
#include "text/date_text.h"
#include "text/japanese_code.h"

#include <algorithm>
#include <utility>

std::string escapeXmlValue(std::string_view value)
{
    return escapeEntities(value, [](char c) { return c == '\0' ? std::string_view(" ") : std::string_view(); });
}

TXMLExporter::TXMLExporter(std::string path, std::time_t now)
    // The list carries scrambled passwords: readable by its owner only.
    : TItemExporter(std::move(path), 0600)
{
    writeLine("<?xml version=\"1.0\" encoding=\"Shift_JIS\"?>");
    writeLine("<itemlist>");
    writeLine("\t<head>");
    writeText("\t\t<date>");
    writeText(formatCheckTime(now));
    writeLine("</date>");
    writeLine("\t</head>");
}

void TXMLExporter::writeTail()
{
    writeLine("</itemlist>");
}

void TXMLExporter::writeLeaf(
    std::string_view indent, std::string_view name, std::string_view attributes, std::string_view value)
{
    writeText(indent);
    writeText("<");
    writeText(name);
    if (!attributes.empty()) {
        writeText(" ");
        writeText(attributes);
    }
    if (value.empty()) {
        writeLine(" />");
        return;
    }
    writeText(">");
    writeText(escapeXmlValue(value));
    writeText("</");
    writeText(name);
    writeLine(">");
}

void TXMLExporter::writeItem(const TCheckItem& item)
{
    writeLine(item.check ? "\t<item check=\"on\">" : "\t<item check=\"off\">");
    writeLeaf("\t\t", "title", {}, item.title());
    writeLeaf("\t\t", "check-uri", {}, item.checkUri());
    if (!item.viewUri().empty())
        writeLeaf("\t\t", "view-uri", {}, item.viewUri());
    switch (item.status) {
    case ItemStatus::Normal:
        writeLine("\t\t<status>normal</status>");
        break;
    case ItemStatus::Update:
        writeLine("\t\t<status>update</status>");
        break;
    case ItemStatus::Error:
        writeLine("\t\t<status>error</status>");
        break;
    default:
        writeLine("\t\t<status />");
        break;
    }
    writeLeaf("\t\t", "last-check", {}, item.lastCheck());
    writeLeaf("\t\t", "request", {}, item.useGet ? "GET" : "HEAD");

    writeLine("\t\t<values>");
    writeLeaf("\t\t\t", "response", {}, item.response());
    if (item.compareLastModified)
        writeLeaf("\t\t\t", "last-modified", {}, item.lastModified());
    if (item.compareContentLength)
        writeLeaf("\t\t\t", "content-length", {}, item.contentLength());
    if (item.compareSize)
        writeLeaf("\t\t\t", "size", {}, std::to_string(static_cast<uint32_t>(item.bodySize)));
    if (item.compareContent)
        writeLine("\t\t\t<compare>content</compare>");
    if (item.compareMetaTag) {
        writeLine("\t\t\t<meta-tag>");
        writeLeaf("\t\t\t\t", "name", {}, item.metaTagName());
        writeLeaf("\t\t\t\t", "value", {}, item.metaTagValue());
        writeLine("\t\t\t</meta-tag>");
    }
    writeLine("\t\t</values>");

    if (item.ownParameters) {
        writeLine("\t\t<parameters>");
        if (item.useProxy) {
            writeLine("\t\t\t<proxy>");
            writeLeaf("\t\t\t\t", "server", {}, item.proxyServer());
            writeLeaf("\t\t\t\t", "port", {}, item.proxyPort());
            writeLine("\t\t\t</proxy>");
        }
        if (item.useAuthentication) {
            writeLine("\t\t\t<authentication>");
            writeLeaf("\t\t\t\t", "user-id", {}, item.userId());
            writeLeaf("\t\t\t\t", "password", "encode=\"on\"", item.scrambledPassword());
            writeLine("\t\t\t</authentication>");
        }
        writeLine("\t\t\t<http>");
        writeLeaf("\t\t\t\t", "user-agent", {}, item.userAgent());
        writeLine("\t\t\t</http>");
        writeLine("\t\t</parameters>");
    }
    // Watch settings travel with the item; what names this item in this list only (its id, its server's tag,
    // its failures) does not.
    const TItemExtension extension
        = TItemExtension(item.extensionText()).without({ ExtKey::Id, ExtKey::Etag, ExtKey::Failures });
    if (!extension.empty()) {
        // One attribute a line: a reader keeps an attribute's blanks as they are.
        writeLine("\t\t<extension>");
        const std::string text = extension.text();
        size_t start = 0;
        while (start <= text.size()) {
            const size_t end = std::min(text.find('\n', start), text.size());
            writeLine(
                "\t\t\t<line text=\"" + escapeXmlValue(std::string_view(text).substr(start, end - start)) + "\" />");
            start = end + 1;
        }
        writeLine("\t\t</extension>");
    }
    writeLine("\t</item>");
}

void exportXmlFile(const std::string& path, const TCheckItems& items, const TConfig&, std::time_t now)
{
    TXMLExporter exporter(path, now);
    exporter.writeItems(items);
    exporter.close();
}
