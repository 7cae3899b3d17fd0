// The folder menu's compress verbs: a folder becomes a ZIP or CAB archive
// beside it, bearing its name.
#pragma once

#include "common/wstring.h"

enum CompressFormat {
    kCompressToCab = 0,
    kCompressToZip = 1,
};

// Where the archive of a folder goes: beside it, named after it (".cab" in
// the root of a drive).
WString ArchivePathForFolder(const WString& folder, CompressFormat format);

// A path as the user meant it: unquoted, absolute, without a trailing
// backslash except at a drive root.
WString AbsoluteOperandPath(const WString& operand);

// Compresses the folder named by the operand (possibly quoted). An existing
// archive is replaced only by a complete new one, after the user agreed;
// programFolder holds the zlib library.
void RunCompressVerb(CompressFormat format, const WString& operand, const WString& programFolder);
