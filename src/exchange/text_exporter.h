#pragma once

#include "exchange/item_exporter.h"
#include "store/config.h"

#include <string>

// One URL per line: the checkUri, or with exportCheckUri off the URL opened in the browser.
class TURIExporter : public TItemExporter
{
public:
    TURIExporter(std::string path, bool exportCheckUri);
    void writeItem(const TCheckItem& item) override;

private:
    bool m_exportCheckUri;
};

// title, checkUri, viewUri, lastModified and contentLength separated by TABs, written as held.
class TTabTextExporter : public TItemExporter
{
public:
    explicit TTabTextExporter(std::string path);
    void writeItem(const TCheckItem& item) override;
};

// Write the marked items; raise TException when the file cannot be written.
void exportUriList(const std::string& path, const TCheckItems& items, const TConfig& config);
void exportTabText(const std::string& path, const TCheckItems& items, const TConfig& config);
