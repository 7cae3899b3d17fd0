// Plain decisions of the item actions: the archiver command line, the
// folder of an entry, and what of a work folder copy may be touched.
#pragma once

#include "common/wstring.h"

// Replaces the first "%s" with the short path and the first "%l" with the
// long path in one pass from left to right, so that text put in is never
// read again. A path goes in double quotes unless the placeholder already
// stands inside a quoted part, so that blanks and & ^ % in names neither
// split the argument nor reach a command interpreter unquoted.
WString ExpandArchiverArguments(const WString& arguments, const WString& shortPath, const WString& longPath);

// The folder of an entry inside the archive, with its trailing backslash;
// empty for a top-level entry.
WString EntryFolderOf(const WString& entryPath);

// The name a work-folder copy of an item gets: the last component of the
// entry path (a folder without its backslash). Empty when that name is not a
// plain file name ("." , "..", empty ...), which is never extracted or
// removed.
WString WorkCopyName(const WString& entryPath);

// Removes a file or a folder with everything in it, read-only items
// included, when it lies strictly inside folder; anything else is left alone.
void RemoveInside(const WString& folder, const WString& path);
