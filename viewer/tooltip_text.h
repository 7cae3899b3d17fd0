// What the menu tooltip says and where it goes, decided without a window.
#pragma once

#include <windows.h>

#include "common/stringlist.h"
#include "common/wstring.h"

// "読取専用,隠しファイル,アーカイブでない,システム" as far as they apply, without
// the last comma; empty when none applies.
WString AttributeLine(DWORD attributes);

// The lines for the whole-archive item from the archive file's details.
void ArchiveFileLines(const WString& path, const WIN32_FILE_ATTRIBUTE_DATA& data, StringList& lines);

// The lines for a file entry. A negative size is unknown, a zero time is
// absent, attributes -1 are unknown; further lines from the engine follow.
void EntryLines(const WString& path, int size, int packedSize, const FILETIME& lastWrite, DWORD attributes,
                const StringList& further, StringList& lines);

// The About item's line.
WString AboutLine();

struct TooltipGeometry {
    bool hasOwner;     // the menu window's rectangle could be read
    POINT reference;   // owner: window left + item left, window top + item bottom; else the cursor
    int itemWidth;     // item right - item left
    int edgeWidth;     // the system's edge width
    RECT bounds;       // the monitor under the cursor
    UINT dpi;          // that monitor's, which scales the gaps
};

// Top-left corner of a w x h tooltip: right of the item with its top at the
// item's bottom, flipped left or up at the monitor's edges.
POINT PlaceTooltip(const TooltipGeometry& geometry, int width, int height);
