#pragma once

#include "store/check_item.h"

#include <string>
#include <string_view>
#include <sys/types.h>

// Base of the exporters. The document is built in memory and put in place of the file only by close(),
// through the safe write: an export that fails, or an exporter dropped before close(), leaves an earlier
// file of that name as it was.
class TItemExporter
{
public:
    TItemExporter(std::string path, mode_t mode);
    virtual ~TItemExporter() = default;
    TItemExporter(const TItemExporter&) = delete;
    TItemExporter& operator=(const TItemExporter&) = delete;

    // The document written so far.
    virtual std::string& output() noexcept { return m_image; }
    virtual void writeText(std::string_view text);
    // The text followed by CR LF.
    virtual void writeLine(std::string_view text);
    virtual void writeItem(const TCheckItem& item) = 0;
    // Every item whose exportMark is set, in list order.
    virtual void writeItems(const TCheckItems& items);

    // Writes the document's end and the file. Raises TException when the file cannot be written.
    void close();
    bool closed() const noexcept { return m_closed; }
    const std::string& path() const noexcept { return m_path; }

protected:
    virtual void writeTail() { }

private:
    std::string m_path;
    mode_t m_mode;
    std::string m_image;
    bool m_tailWritten = false;
    bool m_closed = false;
};

// The text with "&", "<", ">" and '"' as entities, and each byte that `other` gives a replacement for (an empty
// one keeps the byte). The text goes through EUC-JP, in which no byte of a Japanese character is below 0x80, so
// only real ASCII characters are replaced.
std::string escapeEntities(std::string_view text, std::string_view (*other)(char) = nullptr);
