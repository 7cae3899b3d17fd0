// Shared pieces of arctool, the command-line archive tool: output in UTF-8,
// the command line as parsed, and the subcommands that live in files of
// their own.
#pragma once

#include <windows.h>

#include <utility>
#include <vector>

#include "common/wstring.h"

void WriteOut(const WString& text);
void WriteErr(const WString& text);

// How the engine's questions are answered: without an answer word a
// question fails the run (the dump answers No and says so).
enum class AnswerMode { kFail, kYes, kNo, kCancel };

struct ToolCommandLine {
    AnswerMode answer = AnswerMode::kFail;
    // The password of encrypted entries (--password TEXT).
    bool hasPassword = false;
    WString password;
    // Settings values given as options, by their registry name; the run
    // then uses a private settings key holding only these.
    std::vector<std::pair<const wchar_t*, DWORD>> settings;
    // The subcommand and its operands, in order.
    std::vector<WString> words;
    // Why the command line was refused; empty when it was not.
    WString error;
};

// Options may stand anywhere on the line, before, between or after the
// operands, so that every subcommand receives them: --yes, --no, --cancel,
// --password TEXT, and the cabinet compression settings --type N, --unit N, --size N, --sort.
ToolCommandLine ParseToolCommandLine(const std::vector<WString>& arguments);

// `arctool dump ARCHIVE [REPORT]`: the structural report of an archive.
// answer: IDYES, IDNO or IDCANCEL from the command line's answer word, 0
// when none was given.
int RunDump(const std::vector<WString>& paths, int answer);

// `arctool merge FIRST SECOND OUTPUT`: two cabinets into a third.
int RunMerge(const std::vector<WString>& paths);

// `arctool checksums CABINET`: recomputes the checksum of every data block
// and compares it with the stored one.
int RunChecksums(const WString& path);
