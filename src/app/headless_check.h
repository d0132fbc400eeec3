#pragma once

#include "app/command_line.h"

// `vantrel --check`: checks the ticked items of the settings folder's vantrel.cfg without a window and without
// any Qt application object, prints what it found on stdout and writes the results back. Returns the exit status:
// 0 nothing updated, 1 some item updated, 2 settings that cannot be used, 3 the folder is in use, and 128 plus
// the signal's number when SIGINT, SIGTERM or SIGHUP stopped the run.
int runHeadlessCheck(const TCommandLine& commandLine);

// `vantrel --history ITEM`, `--diff ITEM [N]` and `--page-text URL` on the settings folder, which they hold like
// --check. Returns 0, 2 for no such item, no history, a version out of range, a failed fetch or settings that
// cannot be used, and 3 when the folder is in use.
int runHistoryCommand(const TCommandLine& commandLine);
