#include "shellext/folder_menu_layout.h"

#include "common/settings.h"

const wchar_t kTopLevelEntryText[] = L".\\(直下)";
const wchar_t kTopLevelResult[] = L".\\";

FolderListing CollectFolders(const StringList& entryNames, StringList& folders)
{
    folders.Clear();
    if (entryNames.Count() == 0) {
        return kListingEmpty;
    }
    for (int i = 0; i < entryNames.Count(); ++i) {
        const WString& name = entryNames[i];
        if (name.Last() == L'\\' && name.Length() > 1) {
            folders.Insert(name.Left(name.Length() - 1));
        }
    }
    if (folders.Count() == 0) {
        return kListingNoFolders;
    }
    folders.TreeOrderSort();
    return kListingFolders;
}

int ItemsPerColumn(int monitorHeight, int itemHeight)
{
    const int kFewest = 4;
    if (itemHeight <= 0) {
        return kFewest;
    }
    int count = monitorHeight / itemHeight - 1;
    return count < kFewest ? kFewest : count;
}

FolderMenuLayout LayOutFolderMenu(const WString& archivePath, const StringList& folders, DWORD mode,
                                  int itemsPerColumn)
{
    FolderMenuLayout layout;
    layout.rows.push_back(FolderMenuRow{archivePath, kRowArchive});
    layout.menus.emplace_back();
    layout.rows.push_back(FolderMenuRow{WString(kTopLevelEntryText), kRowTopLevel});
    layout.menus[0].push_back(FolderMenuItem{1, false, -1});

    size_t current = 0;
    int counter = 2;
    for (int i = 0; i < folders.Count(); ++i) {
        ++counter;
        bool columnBreak = false;
        if (mode == kOverflowColumns && counter > itemsPerColumn) {
            columnBreak = true;
            counter = 1;
        } else if (mode == kOverflowMoreMenus && counter >= itemsPerColumn) {
            // The folder that does not fit opens the submenu it goes into.
            layout.rows.push_back(FolderMenuRow{WString(L"more"), kRowMore});
            layout.menus.emplace_back();
            int submenu = static_cast<int>(layout.menus.size()) - 1;
            layout.menus[current].push_back(FolderMenuItem{static_cast<int>(layout.rows.size()) - 1, false, submenu});
            current = static_cast<size_t>(submenu);
            counter = 1;
        }
        layout.rows.push_back(FolderMenuRow{folders[i], kRowFolder});
        layout.menus[current].push_back(FolderMenuItem{static_cast<int>(layout.rows.size()) - 1, columnBreak, -1});
    }
    return layout;
}
