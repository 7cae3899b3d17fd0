// Shared pieces of the command-line archive tool: output in UTF-8 and the
// subcommands that live in files of their own.
#pragma once

#include <string>
#include <vector>

#include "common/wstring.h"

void WriteOut(const WString& text);
void WriteErr(const WString& text);

// `arctool dump ARCHIVE [REPORT]`: the structural report of an archive.
// answer: IDYES, IDNO or IDCANCEL from the command line's answer word, 0
// when none was given.
int RunDump(const std::vector<WString>& paths, int answer);
