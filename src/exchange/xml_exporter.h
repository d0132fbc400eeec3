#pragma once

#include "exchange/item_exporter.h"
#include "store/config.h"

#include <ctime>
#include <string>
#include <string_view>

// The value of a leaf element: & < > " as entities, NUL as a space, every Shift_JIS character unchanged.
std::string escapeXmlValue(std::string_view value);

// The XML item list: the head with the date of `now` when created, one `item` element per written item,
// and "</itemlist>" at close().
class TXMLExporter : public TItemExporter
{
public:
    TXMLExporter(std::string path, std::time_t now);
    void writeItem(const TCheckItem& item) override;

protected:
    void writeTail() override;

private:
    void writeLeaf(std::string_view indent, std::string_view name, std::string_view attributes, std::string_view value);
};

// Writes the marked items as an XML item list. Raises TException when the file cannot be written.
void exportXmlFile(
    const std::string& path, const TCheckItems& items, const TConfig& config, std::time_t now = std::time(nullptr));
