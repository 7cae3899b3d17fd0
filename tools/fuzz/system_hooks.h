// Watches what the engine asks of the system while an input runs, by
// replacing entries of this program's import table (the engine is linked
// into it, so its calls go through that table):
// - calls that create, write, move or remove files must name a path below
//   the scratch folder; any other path is an escape, which is reported and
//   refused before it reaches the file system;
// - the process heap blocks that the engine hands to the cabinet library
//   come from the checking heap, so that the library's own reads and
//   writes past its blocks fault too;
// - the busy cursors are neither loaded nor shown: under Wine each costs
//   round trips to the server on every input, and they have nothing to do
//   with reading an archive.
#pragma once

#include <windows.h>

namespace fuzzhooks {

using EscapeHandler = void (*)(const char* call, const wchar_t* path);

// root: the scratch folder, a full path without a trailing backslash.
bool Install(const wchar_t* root, EscapeHandler onEscape);

// The checks hold only while an input runs: the fuzzer keeps its own
// files elsewhere.
void Arm(bool armed);

// Whether a call changed something below the folder since the last reset:
// the folder needs emptying only then.
void WatchFolder(const wchar_t* folder);
bool FolderTouched();
void ResetFolderTouched();

}  // namespace fuzzhooks
