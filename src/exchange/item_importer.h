#pragma once

#include "exchange/tab_text_lines.h"
#include "store/config.h"

#include <string>

// An imported item that does not carry its own parameters has none: proxy and authentication off, the
// parameter texts empty.
void dropParametersUnlessOwn(TCheckItem& item);

// Base of the line importers: every line of the file that gives an item adds one, made from the default item.
// A file in UTF-8 (a byte order mark, or valid multi-byte UTF-8) has its texts converted to Shift_JIS and the
// non-ASCII bytes of its URLs percent-encoded; any other file is taken as its bytes are.
class TItemImporter
{
public:
    explicit TItemImporter(std::string text);
    virtual ~TItemImporter() = default;
    TItemImporter(const TItemImporter&) = delete;
    TItemImporter& operator=(const TItemImporter&) = delete;

    virtual const TTabTextLines& lines() const noexcept { return m_lines; }
    // Fills `item`, a copy of the default item, from the line; false when the line gives no item.
    virtual bool takeLine(TCheckItem& item, const TTabTextLine& line) = 0;
    // Appends the items of every line, in file order. The list changes only when the whole import succeeded.
    virtual void import(TCheckItems& items, const TConfig& config);

protected:
    // A column as an item text, and as an item URL.
    std::string text(const TTabTextLine& line, size_t index) const;
    std::string uri(const TTabTextLine& line, size_t index) const;

private:
    bool m_utf8;
    TTabTextLines m_lines;
};

// A line gives an item when its first column is not empty: the checkUri. The rest comes from the default item.
class TURIImporter : public TItemImporter
{
public:
    using TItemImporter::TItemImporter;
    bool takeLine(TCheckItem& item, const TTabTextLine& line) override;
};

// title, checkUri, viewUri, lastModified, contentLength; a line needs three columns and a title or a checkUri.
class TTabTextImporter : public TItemImporter
{
public:
    using TItemImporter::TItemImporter;
    bool takeLine(TCheckItem& item, const TTabTextLine& line) override;
};

// Read the whole file and append its items; raise TException when it cannot be read (the list is unchanged).
void importUriList(const std::string& path, TCheckItems& items, const TConfig& config);
void importTabText(const std::string& path, TCheckItems& items, const TConfig& config);
