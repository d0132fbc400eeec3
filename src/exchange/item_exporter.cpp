#include "exchange/item_exporter.h"

#include "platform/safe_file.h"
#include "text/japanese_code.h"

#include <utility>

TItemExporter::TItemExporter(std::string path, mode_t mode)
    : m_path(std::move(path))
    , m_mode(mode)
{
}

void TItemExporter::writeText(std::string_view text)
{
    output().append(text);
}

void TItemExporter::writeLine(std::string_view text)
{
    std::string& out = output();
    out.append(text);
    out.append("\r\n");
}

void TItemExporter::writeItems(const TCheckItems& items)
{
    for (const TCheckItem& item : items)
        if (item.exportMark)
            writeItem(item);
}

void TItemExporter::close()
{
    if (m_closed)
        return;
    if (!m_tailWritten) {
        writeTail();
        m_tailWritten = true;
    }
    writeFileSafely(m_path, m_image.data(), m_image.size(), m_mode);
    m_closed = true;
}

std::string escapeEntities(std::string_view text, std::string_view (*other)(char))
{
    const std::string euc = sjisToEuc(text);
    std::string out;
    out.reserve(euc.size());
    for (char c : euc) {
        std::string_view replacement = other ? other(c) : std::string_view();
        if (!replacement.empty()) {
            out += replacement;
            continue;
        }
        switch (c) {
        case '&':
            out += "&amp;";
            break;
        case '<':
            out += "&lt;";
            break;
        case '>':
            out += "&gt;";
            break;
        case '"':
            out += "&quot;";
            break;
        default:
            out += c;
            break;
        }
    }
    return eucToSjis(out);
}
