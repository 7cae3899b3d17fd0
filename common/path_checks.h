// Checks that keep file operations inside the folder they are meant for.
#pragma once

#include "common/wstring.h"

// The absolute form of a path with "." and ".." resolved and no trailing
// backslash (a drive root keeps its own); empty when it cannot be made.
WString AbsolutePath(const WString& path);

// Whether path names something strictly inside folder (not the folder
// itself), after both are made absolute and "." and ".." are resolved.
// Letters compare without case, as the file system does.
bool IsStrictlyInside(const WString& folder, const WString& path);

// How many of a name's units Windows keeps when it creates a file or folder
// of that name: it drops trailing dots and blanks, so "run.bat." is created
// as "run.bat". 0 for a name of nothing else.
int CreatedNameLength(const wchar_t* name, int length);

// Whether a name can be one file or folder inside a folder: not empty, not
// "." or "..", no separator, drive, stream or wildcard character, and no
// trailing dot or blank (which the file system would drop).
bool IsPlainFileName(const WString& name);
