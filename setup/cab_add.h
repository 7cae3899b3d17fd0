// Adding dropped files and folders to an existing cabinet: the new files
// are compressed into a cabinet of their own, merged with the old one into
// a third, which then takes the old one's place in one checked step.
#pragma once

#include <windows.h>
#include <functional>

#include "archive/cabfile.h"
#include "common/stringlist.h"
#include "common/wstring.h"

// The entry name that a dropped path would take under folder (empty or
// ending in a backslash) and that the cabinet already holds, compared
// without regard to case as Windows folders do; empty when there is none.
WString FindDuplicateEntry(const StringList& entryNames, const StringList& sources, const WString& folder);

// Adds the sources under folder to the cabinet object's archive. beforeWriting
// runs once the duplicate test has passed, before anything is written. The
// temporary files get names no file of the user's has, and are gone
// afterwards; the archive changes only when everything succeeded. A failure
// leaves its reason in the cabinet's error text.
bool AddFilesToCabinet(CCabFile& cabinet, const StringList& sources, const WString& folder,
                       const std::function<void()>& beforeWriting);
