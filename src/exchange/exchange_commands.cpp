#include "exchange/exchange_commands.h"

#include "exchange/html_exporter.h"
#include "exchange/html_importer.h"
#include "exchange/item_importer.h"
#include "exchange/text_exporter.h"
#include "exchange/xml_exporter.h"
#include "exchange/xml_importer.h"

namespace {

// Shift_JIS.
const char* const UriListFilter = "URL\x83\x8a\x83X\x83g (*.lst)|*.lst|\x91S\x82\xc4\x82\xcc\x83t\x83@\x83"
                                  "C\x83\x8b (*.*)|*.*"; // URLリスト (*.lst)|*.lst|全てのファイル (*.*)|*.*
const char* const TabTextFilter = "TAB\x8b\xe6\x90\xd8\x82\xe8\x83"
                                  "e\x83L\x83X\x83g (*.txt)|*.txt|\x91S\x82\xc4\x82\xcc\x83t\x83@\x83"
                                  "C\x83\x8b (*.*)|*.*"; // TAB区切りテキスト (*.txt)|*.txt|全てのファイル (*.*)|*.*
const char* const XmlFilter = "XML\x83t\x83@\x83"
                              "C\x83\x8b (*.xml)|*.xml|\x91S\x82\xc4\x82\xcc\x83t\x83@\x83"
                              "C\x83\x8b (*.*)|*.*"; // XMLファイル (*.xml)|*.xml|全てのファイル (*.*)|*.*
const char* const HtmlFilter = "HTML\x83t\x83@\x83"
                               "C\x83\x8b (*.html;*.htm)|*.html;*.htm|\x91S\x82\xc4\x82\xcc\x83t\x83@\x83"
                               "C\x83\x8b (*.*)|*.*"; // HTMLファイル (*.html;*.htm)|*.html;*.htm|全てのファイル (*.*)|*.*

} // namespace

TExchangeDialog exportDialog(TExchangeFormat format)
{
    switch (format) {
    case TExchangeFormat::UriList:
        return { "\x83G\x83N\x83X\x83|\x81[\x83g URI\x83\x8a\x83X\x83g", UriListFilter, "lst" }; // エクスポート URIリスト
    case TExchangeFormat::TabText:
        return { "\x83G\x83N\x83X\x83|\x81[\x83g TAB\x8b\xe6\x90\xd8\x82\xe8\x83"
                 "e\x83L\x83X\x83g", // エクスポート TAB区切りテキスト
            TabTextFilter, "txt" };
    case TExchangeFormat::Xml:
        return { "\x83G\x83N\x83X\x83|\x81[\x83g XML\x83t\x83@\x83"
                 "C\x83\x8b", // エクスポート XMLファイル
            XmlFilter, "xml" };
    case TExchangeFormat::Html:
        return { "\x83G\x83N\x83X\x83|\x81[\x83g HTML\x83t\x83@\x83"
                 "C\x83\x8b", // エクスポート HTMLファイル
            HtmlFilter, "html" };
    }
    return {};
}

TExchangeDialog importDialog(TExchangeFormat format)
{
    switch (format) {
    case TExchangeFormat::UriList:
        return { "\x83"
                 "C\x83\x93\x83|\x81[\x83g URI\x83\x8a\x83X\x83g", // インポート URIリスト
            UriListFilter, "lst" };
    case TExchangeFormat::TabText:
        return { "\x83"
                 "C\x83\x93\x83|\x81[\x83g TAB\x8b\xe6\x90\xd8\x82\xe8\x83"
                 "e\x83L\x83X\x83g", // インポート TAB区切りテキスト
            TabTextFilter, "txt" };
    case TExchangeFormat::Xml:
        return { "\x83"
                 "C\x83\x93\x83|\x81[\x83g XML\x83t\x83@\x83"
                 "C\x83\x8b", // インポート XMLファイル
            XmlFilter, "xml" };
    case TExchangeFormat::Html:
        return { "\x83"
                 "C\x83\x93\x83|\x81[\x83g HTML\x83t\x83@\x83"
                 "C\x83\x8b", // インポート HTMLファイル
            HtmlFilter, "html" };
    }
    return {};
}

void exportItems(TExchangeFormat format, const std::string& path, const TCheckItems& items, const TConfig& config,
    std::time_t now)
{
    switch (format) {
    case TExchangeFormat::UriList: exportUriList(path, items, config); break;
    case TExchangeFormat::TabText: exportTabText(path, items, config); break;
    case TExchangeFormat::Xml: exportXmlFile(path, items, config, now); break;
    case TExchangeFormat::Html: exportHtmlFile(path, items, config, now); break;
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
    case TExchangeFormat::UriList: importUriList(path, items, config); break;
    case TExchangeFormat::TabText: importTabText(path, items, config); break;
    case TExchangeFormat::Xml: importXmlFile(path, items, config); break;
    case TExchangeFormat::Html: importHtmlLinks(path, items, config); break;
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
    const std::string path = listReportPath(settingsDir);
    exportHtmlFile(path, config.items, config, now);
    return path;
}
