#include "exchange/exchange_commands.h"

#include "base/exception.h"
#include "exchange/html_exporter.h"
#include "exchange/html_importer.h"
#include "exchange/item_importer.h"
#include "exchange/text_exporter.h"
#include "exchange/xml_exporter.h"
#include "exchange/xml_importer.h"

namespace {

// Each format once: its texts in the file dialogs (UTF-8), its writer and its reader.
struct TFormatEntry
{
    TExchangeFormat format;
    const char* name;
    const char* description;
    const char* patterns;
    const char* extension;
    void (*exportFile)(const std::string& path, const TCheckItems& items, const TConfig& config, std::time_t now);
    void (*importFile)(const std::string& path, TCheckItems& items, const TConfig& config);
};

const TFormatEntry Formats[] = {
    { TExchangeFormat::UriList, "URIリスト", "URLリスト", "*.lst", "lst",
        [](const std::string& path, const TCheckItems& items, const TConfig& config, std::time_t) {
            exportUriList(path, items, config);
        },
        importUriList },
    { TExchangeFormat::TabText, "TAB区切りテキスト", "TAB区切りテキスト", "*.txt", "txt",
        [](const std::string& path, const TCheckItems& items, const TConfig& config, std::time_t) {
            exportTabText(path, items, config);
        },
        importTabText },
    { TExchangeFormat::Xml, "XMLファイル", "XMLファイル", "*.xml", "xml", exportXmlFile, importXmlFile },
    { TExchangeFormat::Html, "HTMLファイル", "HTMLファイル", "*.html;*.htm", "html", exportHtmlFile, importHtmlLinks },
};

const TFormatEntry& formatEntry(TExchangeFormat format)
{
    for (const TFormatEntry& entry : Formats) {
        if (entry.format == format)
            return entry;
    }
    throw TException("TExchangeFormat");
}

std::string fileFilter(const char* description, const char* patterns)
{
    return std::string(description) + " (" + patterns + ")|" + patterns;
}

TExchangeDialog exchangeDialog(const char* command, TExchangeFormat format)
{
    const TFormatEntry& texts = formatEntry(format);
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
    formatEntry(format).exportFile(path, items, config, now);
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
    formatEntry(format).importFile(path, items, config);
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
