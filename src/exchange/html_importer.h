#pragma once

#include "base/memory.h"
#include "store/config.h"

#include <string>

// Appends one item per link (an `a` element with an href) of an HTML page in UTF-8 or any of the three Japanese
// codes, named by the link's text or else its title attribute. Raises TException when the file cannot be read.
void importHtmlLinks(const std::string& path, TCheckItems& items, const TConfig& config);
void importHtmlLinks(const TMemory& page, TCheckItems& items, const TConfig& config);
