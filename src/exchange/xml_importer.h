#pragma once

#include "base/memory.h"
#include "store/config.h"
#include "text/japanese_code.h"

#include <string>
#include <string_view>

// An XML item list in the internal form: UTF-8 when it declares UTF-8 (or declares nothing and is UTF-8), else
// EUC-JP by the byte rule of the three Japanese codes.
TInternalText readItemList(std::string_view bytes);

// Appends one item per `item` element of an XML item list in UTF-8, Shift_JIS, EUC-JP or ISO-2022-JP, each made
// from the default item. Raises TException when the file cannot be read; the list is then unchanged.
void importXmlFile(const std::string& path, TCheckItems& items, const TConfig& config);
// The same over a file image; malformed markup imports what it can and never fails.
void importXmlItems(const TMemory& image, TCheckItems& items, const TConfig& config);
