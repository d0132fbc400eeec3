#pragma once

#include "exchange/item_exporter.h"
#include "store/config.h"

#include <ctime>
#include <string>
#include <string_view>

// Title and URLs in the page: & < > " as entities, every space and NUL as "&nbsp;".
std::string escapeHtmlText(std::string_view text);

// The item list as one fixed-style page: head, style sheet and table head when created, one table row per
// written item, the foot at close().
class THTMLExporter : public TItemExporter
{
public:
    THTMLExporter(std::string path, const TConfig& config, std::time_t now);
    void writeItem(const TCheckItem& item) override;

protected:
    void writeTail() override;

private:
    void writeStyleSheet();

    std::string m_homePageUri;
    std::string m_contactAddress;
};

inline constexpr const char* ListReportName = "vantrel.html";

// Writes the marked items as the page; raises TException when the file cannot be written.
void exportHtmlFile(
    const std::string& path, const TCheckItems& items, const TConfig& config, std::time_t now = std::time(nullptr));
// The list report's file in the settings folder (which ends with "/").
std::string listReportPath(const std::string& settingsDir);
