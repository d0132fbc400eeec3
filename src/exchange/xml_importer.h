#pragma once

#include "store/config.h"
#include "store/memory.h"

#include <string>

// Appends one item per `item` element of an XML item list in Shift_JIS, EUC-JP or ISO-2022-JP, each made from
// the default item. Raises TException when the file cannot be read; the list is then unchanged.
void importXmlFile(const std::string& path, TCheckItems& items, const TConfig& config);
// The same over a file image; malformed markup imports what it can and never fails.
void importXmlItems(TMemory image, TCheckItems& items, const TConfig& config);
