// What the destination folder menu holds, decided without a screen: the
// folders of an archive in tree order, and how they are spread over the
// root menu, further columns or "more" submenus for a given number of
// entries per column.
#pragma once

#include <windows.h>
#include <vector>

#include "common/stringlist.h"
#include "common/wstring.h"

// The text of the top-level entry, and the result it stands for.
extern const wchar_t kTopLevelEntryText[];
extern const wchar_t kTopLevelResult[];

enum FolderListing {
    kListingFailed = 0,
    kListingEmpty = 1,
    kListingNoFolders = 2,
    kListingFolders = 3,
};

// Every name ending in a backslash is a folder; it goes into folders
// without that backslash, in tree order.
FolderListing CollectFolders(const StringList& entryNames, StringList& folders);

// Entries of one column on a monitor of the given height: the height over
// the item height, less one, and never fewer than four (a smaller figure
// would open a "more" submenu for every folder).
int ItemsPerColumn(int monitorHeight, int itemHeight);

enum FolderMenuRowKind {
    kRowArchive = 0,
    kRowTopLevel = 1,
    kRowFolder = 2,
    kRowMore = 3,
};

struct FolderMenuRow {
    WString text;
    FolderMenuRowKind kind;
};

struct FolderMenuItem {
    int row;            // menu id of the entry: its row
    bool columnBreak;   // starts a new column
    int submenu;        // for a "more" entry: the menu it opens; else -1
};

// Rows in id order (row 0 is the archive path, so that no entry has id 0)
// and the menus, the root menu first.
struct FolderMenuLayout {
    std::vector<FolderMenuRow> rows;
    std::vector<std::vector<FolderMenuItem>> menus;
};

// mode: 0 one long column (the system scrolls), 1 further columns,
// 2 "more" submenus; any other value counts as 0.
FolderMenuLayout LayOutFolderMenu(const WString& archivePath, const StringList& folders, DWORD mode,
                                  int itemsPerColumn);
