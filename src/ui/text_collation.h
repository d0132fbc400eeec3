#pragma once

#include "store/check_item.h"

// Compares Shift_JIS texts as the user's default locale orders them, case-sensitive, on the decoded texts.
TTextCompare localeTextCompare();
