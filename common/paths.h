// Path operations on plain Windows paths with backslashes. A path never ends
// in a backslash, except a drive root such as C:\.
#pragma once

#include <windows.h>

#include <functional>

#include "common/stringlist.h"
#include "common/wstring.h"

bool IsDriveRoot(const WString& path);
// Trims blanks; a text that then begins with a double quote loses it, and
// its last unit when that is the closing quote.
WString Unquote(const WString& text);
WString JoinPath(const WString& dir, const WString& name);
WString ParentDir(const WString& path);
WString FileNamePart(const WString& path);
// Text after the last '.' of the whole path; empty without a dot.
WString ExtensionPart(const WString& path);
WString BaseNamePart(const WString& path);

// A shell special folder (CSIDL) as a file-system path; -1 is the current
// directory.
WString SpecialFolderPath(int folderId);
WString SpecialFolderPath(int folderId, const WString& name);

// The folder of the running program, from the module itself: a program
// started by bare name has no folder in its command line.
WString ProgramFolder();

// Whether two names or paths are the same to a Windows folder: the same
// text without regard to case (ordinal, not by language).
bool SameNameIgnoringCase(const WString& a, const WString& b);
bool PathExists(const WString& path);
bool IsDirectory(const WString& path);

// Creates the directory; with recursive, its missing ancestors first. A path
// that already exists gives false, as CreateDirectoryW does.
bool CreateDirectoryTree(const WString& path, bool recursive);
// Lists path\pattern into the list with the attributes of each item; false
// when the path is not a folder, the search cannot start or ends in error.
bool ListDirectory(const WString& path, AttrStringList& list, const WString& pattern);
// A shell link at linkPath to target, optionally run as administrator.
bool CreateShortcut(const WString& target, const WString& linkPath, const WString& arguments, bool runAsAdministrator);
// Makes an empty file in the folder where none existed, named stem +
// extension, or stem + "-2" + extension and so on when that name is taken,
// so that a temporary file never takes the place of a file of the user's.
// Returns its path, or empty when none could be made.
WString ReserveNewFile(const WString& folder, const WString& stem, const WString& extension);
// ReserveNewFile beside path for a file that is to take its place: "~name.ext"
// (or "~name-2.ext" ...) in the same folder, so that the final move stays on
// one volume.
WString ReserveFileBeside(const WString& path);
// The first of wanted, "wanted (2)", "wanted (3)" ... that does not exist.
WString UniqueDestination(const WString& wanted, const std::function<bool(const WString&)>& exists);
bool MovePath(const WString& from, const WString& to, DWORD flags);

// Splits a command line (empty: the process's own) into program and arguments.
void SplitCommandLine(WString& program, WString& arguments, const WString& commandLine = WString());
WString BuildCommandLine(const WString& program, const WString& arguments);
// Shortens a path to fit the width in the device context's font, keeping
// the drive or the \\server\share\ head and the file name.
WString CompactPath(HDC dc, const WString& path, int maxWidth);
