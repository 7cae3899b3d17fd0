// The dump verb of the command-line archive tool: writes the structural
// report of ARCHIVE into REPORT. Questions of the dump are answered from the
// command line instead of a box; other boxes are printed to standard error.
#pragma once

#include "common/wstring.h"

// promptAnswer: IDYES, IDNO or IDCANCEL for the dump's questions (--yes /
// --no / --cancel; cancel answers No where the box has no Cancel); 0 answers
// No and says so on standard error. Returns 0 when the report was
// completed, 1 when the dump stopped early, 2 when the archive is missing.
int RunDumpCommand(const WString& archive, const WString& report, int promptAnswer);
