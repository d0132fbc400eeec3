#pragma once

#include "check/check_run.h"

// What a check did to an item, in one word as the headless command prints it: "error", "updated", "new" (a first
// check, which only records the values) or "unchanged".
const char* statusWord(const TItemDone& done);
