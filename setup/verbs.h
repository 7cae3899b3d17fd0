// The command line of the setup program: which action a command asks for,
// and the run of the program around that action (single-instance lock, OLE,
// exit code).
#pragma once

#include "common/wstring.h"

enum class SetupVerb {
    kInstall,
    kSettings,
    kAbout,
    kAdd,
    kCabCompress,
    kZipCompress,
    kReport,
};

struct VerbChoice {
    SetupVerb verb;
    // The text after the verb's prefix; for the report verb the whole
    // argument text.
    WString operand;
};

// The verb of a trimmed argument text. Comparisons are exact and
// case-sensitive; prefixes include their trailing blank.
VerbChoice ChooseVerb(const WString& argumentText);

// The lock name of one command: "ZPKSet_" and the argument text.
WString SetupLockName(const WString& argumentText);

// Runs the program for a whole command line and returns its exit code: 1
// when the same command is already running, 0 otherwise.
int RunSetupProgram(const WString& commandLine);
