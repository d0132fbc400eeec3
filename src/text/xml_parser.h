#pragma once

#include "text/tag_scanner.h"

using TXMLParser = TTagScanner<TXMLSyntax>;
