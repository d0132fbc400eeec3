#include "exchange/exchange_commands.h"

#include "exchange/html_exporter.h"
#include "exchange/html_importer.h"
#include "exchange/item_importer.h"
#include "exchange/text_exporter.h"
#include "exchange/xml_exporter.h"
#include "exchange/xml_importer.h"

namespace {

// One format's texts in the file dialogs, UTF-8.
struct TFormatTexts
{
    const char* name;
    const char* description;
    const char* patterns;
    const char* extension;
};

TFormatTexts formatTexts(TExchangeFormat format)
{
    switch (format) {
    case TExchangeFormat::UriList:
        return { "URIリスト", "URLリスト", "*.lst", "lst" };
    case TExchangeFormat::TabText:
        return { "TAB区切りテキスト", "TAB区切りテキスト", "*.txt", "txt" };
    case TExchangeFormat::Xml:
        return { "XMLファイル", "XMLファイル", "*.xml", "xml" };
    case TExchangeFormat::Html:
        return { "HTMLファイル", "HTMLファイル", "*.html;*.htm", "html" };
    }
    return { "", "", "*.*", "" };
}

std::string fileFilter(const char* description, const char* patterns)
{
    return std::string(description) + " (" + patterns + ")|" + patterns;
}

TExchangeDialog exchangeDialog(const char* command, TExchangeFormat format)
{
    const TFormatTexts texts = formatTexts(format);
    return { std::string(command) + " " + texts.name,
        fileFilter(texts.description, texts.patterns) + "|" + fileFilter("全てのファイル", "*.*"), texts.extension };
}

} // namespace

TExchangeDialog exportDialog(TExchangeFormat format)
{
    return exchangeDialog("エクスポート", format);
}

TExchangeDialog importDialog(TExchangeFormat format)
{
    return exchangeDialog("インポート", format);
}

void exportItems(
    TExchangeFormat format, const std::string& path, const TCheckItems& items, const TConfig& config, std::time_t now)
{
    switch (format) {
    case TExchangeFormat::UriList:
        exportUriList(path, items, config);
        break;
    case TExchangeFormat::TabText:
        exportTabText(path, items, config);
        break;
    case TExchangeFormat::Xml:
        exportXmlFile(path, items, config, now);
        break;
    case TExchangeFormat::Html:
        exportHtmlFile(path, items, config, now);
        break;
    }
}

bool runExportCommand(TExchangeFormat format, TConfig& config, const std::function<bool(size_t)>& selected,
    const std::function<std::string()>& chooseFile, std::time_t now)
{
    if (config.items.markForExport(config.exportAll != 0, selected) == 0)
        return false;
    const std::string path = chooseFile();
    if (path.empty())
        return false;
    exportItems(format, path, config.items, config, now);
    return true;
}

void importItems(TExchangeFormat format, const std::string& path, TCheckItems& items, const TConfig& config)
{
    switch (format) {
    case TExchangeFormat::UriList:
        importUriList(path, items, config);
        break;
    case TExchangeFormat::TabText:
        importTabText(path, items, config);
        break;
    case TExchangeFormat::Xml:
        importXmlFile(path, items, config);
        break;
    case TExchangeFormat::Html:
        importHtmlLinks(path, items, config);
        break;
    }
}

bool runImportCommand(TExchangeFormat format, TConfig& config, const std::function<std::string()>& chooseFile)
{
    const std::string path = chooseFile();
    if (path.empty())
        return false;
    importItems(format, path, config.items, config);
    return true;
}

std::string writeListReport(
    TConfig& config, const std::function<bool(size_t)>& selected, const std::string& settingsDir, std::time_t now)
{
    if (config.items.markForExport(config.exportAll != 0, selected) == 0)
        return {};
    std::string path = listReportPath(settingsDir);
    exportHtmlFile(path, config.items, config, now);
    return path;
}
