#include "exchange/html_exporter.h"

#include "base/byte_text.h"
#include "store/core_texts.h"
#include "text/date_text.h"
#include "text/japanese_code.h"

#include <initializer_list>
#include <utility>

namespace {

std::string word(TCoreText text)
{
    return std::string(sjisText(text));
}

struct TStyleRule
{
    const char* selector;
    std::initializer_list<const char*> declarations;
};

const TStyleRule StyleSheet[] = {
    { "body",
        { "font-size:100%", "font-weight:normal", "font-style:normal", "color:#000000", "background-color:#cccccc",
            "margin:0 0 0 0", "padding:0 0 0 0" } },
    { "div.header",
        { "text-align:right", "font-size:80%", "border-bottom:1px solid #999999", "margin:8px 8px 8px 8px",
            "padding:8px 8px 8px 8px" } },
    { "div.footer",
        { "text-align:right", "font-size:80%", "border-top:1px solid #999999", "margin:8px 8px 8px 8px",
            "padding:8px 8px 8px 8px" } },
    { "table",
        { "background-color:#cccccc", "border-top:1px solid #ffffff", "border-left:1px solid #ffffff",
            "border-bottom:1px solid #999999", "border-right:1px solid #999999" } },
    { "th",
        { "text-align:center", "font-weight:bold", "font-style:normal", "color:#cc0000", "background-color:#cccccc",
            "border-top:1px solid #ffffff", "border-left:1px solid #ffffff", "border-bottom:1px solid #999999",
            "border-right:1px solid #999999", "padding:2px 4px 2px 4px" } },
    { "td",
        { "text-align:left", "font-size:80%", "font-weight:normal", "font-style:normal", "color:#000000",
            "background-color:#ffffff", "border-top:1px solid #999999", "border-left:1px solid #999999",
            "border-bottom:1px solid #ffffff", "border-right:1px solid #ffffff", "padding:2px 4px 2px 4px" } },
    { "a", { "text-decoration:none", "font-weight:normal", "font-style:normal", "color:#0000ff" } },
    { "a::link", { "text-decoration:none", "color:#0000ff" } },
    { "a::visited", { "text-decoration:none", "color:#000099" } },
    { "a::active", { "text-decoration:underline", "color:#0000ff" } },
    { "a::hover", { "text-decoration:underline", "color:#0000ff" } },
    { "span.statusUP", { "font-weight:bold", "color:#0000cc" } },
    { "span.statusERR", { "font-weight:bold", "color:#ff0000" } },
    { "span.disable", { "text-decoration:line-through", "color:#cccccc" } },
};

bool isSchemeCharacter(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '+' || c == '-'
        || c == '.';
}

// Whether a browser opens `uri` as a page rather than running it: a relative reference, or http, https or ftp.
// Browsers drop leading controls and spaces and every tab and line break before they read the scheme.
bool opensAsPage(std::string_view uri)
{
    size_t at = 0;
    while (at < uri.size() && static_cast<unsigned char>(uri[at]) <= 0x20)
        ++at;
    std::string scheme;
    for (; at < uri.size() && uri[at] != ':'; ++at) {
        const char c = uri[at];
        if (c == '\t' || c == '\n' || c == '\r')
            continue;
        if (!isSchemeCharacter(c))
            return true;
        scheme += c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
    }
    return at == uri.size() || scheme == "http" || scheme == "https" || scheme == "ftp";
}

} // namespace

std::string escapeHtmlText(std::string_view text)
{
    return escapeEntities(
        text, [](char c) { return c == ' ' || c == '\0' ? std::string_view("&nbsp;") : std::string_view(); });
}

THTMLExporter::THTMLExporter(std::string path, const TConfig& config, std::time_t now)
    : TItemExporter(std::move(path), 0644)
    , m_homePageUri(config.homePageUri())
    , m_contactAddress(config.contactAddress())
{
    writeLine("<!DOCTYPE HTML PUBLIC \"-//W3C//DTD HTML 4.01 Transitional//EN\">");
    writeLine("<html lang=\"ja\">");
    writeLine("<head>");
    writeLine("\t<meta http-equiv=\"Content-Type\" content=\"text/html;charset=Shift_JIS\">");
    writeLine("\t<meta http-equiv=\"Content-Style-Type\" content=\"text/css\">");
    writeLine("\t<meta name=\"Description\" content=\"URL List\">");
    writeLine("\t<meta name=\"Author\" content=\"Korvane\">");
    writeLine("\t<meta name=\"Generator\" content=\"Vantrel\">");
    writeText("\t<link rel=\"contents\" href=\"");
    writeLine(m_homePageUri + "\">");
    writeText("\t<link rev=\"made\" href=\"mailto:");
    writeLine(m_contactAddress + "\">");
    writeLine("\t<title>URL List - Vantrel -</title>");
    writeLine("\t<style type=\"text/css\"><!--");
    writeStyleSheet();
    writeLine("\t--></style>");
    writeLine("</head>");
    writeLine("<body>");
    writeLine("<div class=\"header\">");
    writeLine("Vantrel<br>");
    writeText("<span style=\"font-style:italic;color:#0000ff;\">");
    writeText(formatCheckTime(now));
    writeLine("</span><br>");
    writeLine("</div>");
    writeLine("<table summary=\"URL List\" align=\"center\" cellspacing=\"4\" cellpadding=\"0\" border=\"2\">");
    writeLine("\t<tr>");
    writeLine("\t\t<th abbr=\"status\">" + word(TCoreText::ReportStatusHeading) + "<br></th>");
    writeLine("\t\t<th abbr=\"title\">" + word(TCoreText::ReportTitleHeading) + "<br></th>");
    writeLine("\t\t<th abbr=\"URL\">URL<br></th>");
    writeLine("\t\t<th abbr=\"Last-Modified\">Last-Modified<br></th>");
    writeLine("\t</tr>");
}

void THTMLExporter::writeStyleSheet()
{
    for (const TStyleRule& rule : StyleSheet) {
        writeLine(std::string("\t\t") + rule.selector + " {");
        for (const char* declaration : rule.declarations)
            writeLine(std::string("\t\t\t") + declaration + " ;");
        writeLine("\t\t}");
    }
}

void THTMLExporter::writeItem(const TCheckItem& item)
{
    std::string title = escapeHtmlText(item.title());
    const std::string check = escapeHtmlText(item.checkUri());
    if (title.empty())
        title = word(TCoreText::ReportUntitled);

    writeLine("\t<tr>");

    writeText("\t\t<td>");
    if (item.status == ItemStatus::Update)
        writeLine("<span class=\"statusUP\">UP</span><br></td>");
    else if (item.status == ItemStatus::Error)
        writeLine("<span class=\"statusERR\">ERR</span><br></td>");
    else
        writeLine("-<br></td>");

    writeText("\t\t<td>");
    if (check.empty())
        writeLine("<span class=\"disable\">" + title + "</span><br></td>");
    else if (opensAsPage(item.checkUri()))
        writeLine("<a href=\"" + check + "\">" + title + "</a><br></td>");
    else
        writeLine(title + "<br></td>");

    // A URL that would run script (javascript:, data:, ...) is written as its text, never as a link.
    const auto link = [](const std::string& uri, const std::string& caption) {
        const std::string text = escapeHtmlText(uri);
        if (text.empty())
            return "<span class=\"disable\">" + caption + "</span>";
        return opensAsPage(uri) ? "<a href=\"" + text + "\">" + caption + "</a>" : text;
    };
    writeText("\t\t<td>");
    writeLine(link(item.checkUri(), word(TCoreText::ReportCheckLink)) + "/"
        + link(item.viewUri(), word(TCoreText::ReportViewLink)) + "<br></td>");

    // The header value comes from a server; only markup is made harmless, so a date stays as it was.
    writeText("\t\t<td>");
    // A server's text: entities only, its spaces kept.
    writeLine(escapeEntities(item.lastModified()) + "<br></td>");

    writeLine("\t</tr>");
}

void THTMLExporter::writeTail()
{
    writeLine("</table>");
    writeLine("<div class=\"footer\">");
    writeText("<a href=\"");
    writeText(m_homePageUri);
    writeLine("\" style=\"color:#ff0000;\">Korvane</a><br>");
    writeText("<address>");
    writeText(m_contactAddress);
    writeLine("</address>");
    writeLine("</div>");
    writeLine("</body>");
    writeLine("</html>");
}

void exportHtmlFile(const std::string& path, const TCheckItems& items, const TConfig& config, std::time_t now)
{
    THTMLExporter exporter(path, config, now);
    exporter.writeItems(items);
    exporter.close();
}

std::string listReportPath(const std::string& settingsDir)
{
    return withTrailingSlash(settingsDir) + ListReportName;
}
