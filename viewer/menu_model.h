// What the archive menu shows, decided without a screen: the folders and
// files of the listing by folder, the items of one menu level with the
// overflow rule applied, and the table of item ids. The window side turns a
// level into menu items when the level is first opened, so that a folder of
// tens of thousands of entries costs nothing until somebody looks at it.
#pragma once

#include <windows.h>

#include <string>
#include <unordered_map>
#include <vector>

#include "common/menu_item_records.h"
#include "common/stringlist.h"
#include "common/wstring.h"

// Kinds of menu items. Positive kinds open a submenu.
enum MenuItemKind {
    kItemWholeArchive = -1,
    kItemFile = -2,
    kItemAbout = -3,
    kItemEmptyFolder = -4,
    kItemDeleted = -5,
    kItemCabAdd = -6,
    kItemFolder = 1,
    kItemMore = 2,
};

inline bool IsSubmenuKind(int kind) { return kind > 0; }

// The listing grouped by folder. A folder path ends in a backslash; the top
// level is the empty path. Folders that are only implied by the paths of
// their entries are added.
class ListingIndex {
public:
    explicit ListingIndex(const StringList& listing);

    bool HasFolder(const WString& folder) const;
    // The direct subfolders and files of a folder (names without the folder
    // path and without a trailing backslash), in menu order: subfolders in
    // tree order ignoring case, files case-sensitively. Sorted on first use.
    const std::vector<WString>& Subfolders(const WString& folder);
    const std::vector<WString>& Files(const WString& folder);
    int FolderCount() const { return static_cast<int>(folders_.size()); }

private:
    struct Folder {
        std::vector<WString> subfolders;
        std::vector<WString> files;
        bool sorted = false;
    };
    int AddFolder(const WString& path);
    Folder* Find(const WString& folder);
    void SortOnce(Folder& folder);

    std::unordered_map<std::wstring, int> byPath_;
    std::vector<Folder> folders_;
    std::vector<WString> none_;
};

enum class PlanType {
    WholeArchive,
    CabAdd,
    Separator,
    Folder,
    File,
    EmptyFolder,
    About,
    // Everything after it in the level goes into a "more" submenu.
    More,
};

struct PlanItem {
    PlanType type;
    WString text;   // what the item shows
    WString path;   // archive path of what it stands for
    bool newColumn; // starts a new column (wrap mode)
};

// One menu of a level: the items up to and including a More item, whose
// submenu holds the next page.
using MenuPage = std::vector<PlanItem>;

struct MenuLayout {
    int overflowMode;   // 0 scroll, 1 columns, 2 "more" submenus
    int itemsPerScreen; // items that fit on the monitor, less one
};

struct RootOptions {
    bool isCab;
    bool cabModifiable;
    WString archivePath;
};

// The top level and the level of one folder, split into pages at the More
// items. The first page is what the menu shows.
std::vector<MenuPage> PlanRootLevel(ListingIndex& index, const RootOptions& root, const MenuLayout& layout);
std::vector<MenuPage> PlanFolderLevel(ListingIndex& index, const WString& folder, const MenuLayout& layout);

// One row per item id. Row 0 stands for the root menu, so no item has id 0,
// the value of no choice.
struct MenuItemRow {
    WString path;
    WString text;
    int kind;
    HMENU submenu;
    // For a folder or "more" submenu not filled yet: the folder path and the
    // page of its level to put there.
    bool pending;
    WString pendingFolder;
    int pendingPage;
};

// Each row has the record its menu item's data points at, named with the
// text the item draws: nothing for an item drawn blank.
class ItemTable {
public:
    int Add(const MenuItemRow& row);
    int Count() const { return static_cast<int>(rows_.size()); }
    MenuItemRow& Row(int id) { return rows_[id]; }
    const MenuItemRow& Row(int id) const { return rows_[id]; }
    bool IsValidId(int id) const { return id > 0 && id < Count(); }
    ULONG_PTR ItemData(int id) const { return itemData_[static_cast<size_t>(id)]; }
    // The id of an item's data; -1 when it names no row of this table.
    int IdOfItemData(ULONG_PTR itemData) const;
    // The row of a submenu, or -1.
    int FindSubmenu(HMENU submenu) const;

    // Marks a deleted file, or a folder and every item below it, as blank;
    // items built later under a deleted folder start blank. Paths compare
    // exactly, as the archive engines match them.
    void MarkDeleted(const WString& path);
    bool IsDeletedPath(const WString& path) const;
    const std::vector<WString>& DeletedPaths() const { return deleted_; }

private:
    std::vector<MenuItemRow> rows_;
    MenuItemRecords records_;
    std::vector<ULONG_PTR> itemData_;
    std::unordered_map<HMENU, int> submenus_;
    std::vector<WString> deleted_;
};

// The kind of a planned item in the item table.
int KindOfPlanItem(PlanType type);

// Typed-character selection: among the owner-drawn items of a menu whose
// text begins with the character (ignoring case), the first with an id above
// the current one, else the first. Returns its position, -1 when none.
struct CharCandidate {
    int id;
    WString text;
    bool ownerDrawn;
};
int ChooseByCharacter(const std::vector<CharCandidate>& items, int currentId, wchar_t typed);
