#include "exchange/text_exporter.h"

#include <utility>

TURIExporter::TURIExporter(std::string path, bool exportCheckUri)
    : TItemExporter(std::move(path), 0644)
    , m_exportCheckUri(exportCheckUri)
{
}

void TURIExporter::writeItem(const TCheckItem& item)
{
    writeLine(m_exportCheckUri ? item.checkUri() : item.browseUri());
}

TTabTextExporter::TTabTextExporter(std::string path)
    : TItemExporter(std::move(path), 0644)
{
}

void TTabTextExporter::writeItem(const TCheckItem& item)
{
    writeText(item.title());
    writeText("\t");
    writeText(item.checkUri());
    writeText("\t");
    writeText(item.viewUri());
    writeText("\t");
    writeText(item.lastModified());
    writeText("\t");
    writeLine(item.contentLength());
}

void exportUriList(const std::string& path, const TCheckItems& items, const TConfig& config)
{
    TURIExporter exporter(path, config.exportCheckUri != 0);
    exporter.writeItems(items);
    exporter.close();
}

void exportTabText(const std::string& path, const TCheckItems& items, const TConfig&)
{
    TTabTextExporter exporter(path);
    exporter.writeItems(items);
    exporter.close();
}
