#include "viewer/menu_model.h"

#include <algorithm>
#include <cwchar>

namespace {

std::wstring Key(const WString& path) { return std::wstring(path.c_str(), path.Length()); }

// The folder part of a path (up to and including its last backslash before
// the end) and its last component without a trailing backslash.
void SplitParent(const WString& path, WString& parent, WString& name)
{
    int end = path.Last() == L'\\' ? path.Length() - 1 : path.Length();
    int at = end - 1;
    while (at >= 0 && path.At(at) != L'\\') {
        --at;
    }
    parent = path.Left(at + 1);
    name = path.Mid(at + 1, end - at - 1);
}

wchar_t FoldCase(wchar_t unit)
{
    wchar_t text[2] = {unit, L'\0'};
    CharUpperBuffW(text, 1);
    return text[0];
}

class LevelPlanner {
public:
    explicit LevelPlanner(const MenuLayout& layout, int counter) : layout_(layout), counter_(counter)
    {
        pages_.emplace_back();
    }

    void Fixed(PlanType type, const WString& text, const WString& path)
    {
        pages_.back().push_back(PlanItem{type, text, path, false});
    }

    // The overflow rule, applied before each folder and file item.
    void Counted(PlanType type, const WString& text, const WString& path)
    {
        ++counter_;
        bool newColumn = false;
        if (layout_.overflowMode == 1 && counter_ > layout_.itemsPerScreen) {
            newColumn = true;
            counter_ = 1;
        } else if (layout_.overflowMode == 2 && counter_ >= layout_.itemsPerScreen) {
            pages_.back().push_back(PlanItem{PlanType::More, WString(L"more"), WString(L"more"), false});
            pages_.emplace_back();
            counter_ = 1;
        }
        pages_.back().push_back(PlanItem{type, text, path, newColumn});
    }

    int Counter() const { return counter_; }
    std::vector<MenuPage> Take() { return std::move(pages_); }

private:
    MenuLayout layout_;
    int counter_;
    std::vector<MenuPage> pages_;
};

void PlanChildren(ListingIndex& index, const WString& folder, LevelPlanner& planner)
{
    for (const WString& name : index.Subfolders(folder)) {
        planner.Counted(PlanType::Folder, name, folder + name + L"\\");
    }
    for (const WString& name : index.Files(folder)) {
        planner.Counted(PlanType::File, name, folder + name);
    }
}

}  // namespace

ListingIndex::ListingIndex(const StringList& listing)
{
    AddFolder(WString());
    // Listings come sorted, so entries of one folder mostly follow each
    // other: the last folder found is tried first, compared in place, and
    // only the file's own name is copied out of its path.
    const wchar_t* lastParent = nullptr;
    int lastLength = -1;
    int lastAt = 0;
    for (int i = 0; i < listing.Count(); ++i) {
        const WString& path = listing[i];
        if (path.IsEmpty() || path == L"\\") {
            continue;
        }
        if (path.Last() == L'\\') {
            AddFolder(path);
            continue;
        }
        const wchar_t* text = path.c_str();
        int parentLength = path.Length();
        while (parentLength > 0 && text[parentLength - 1] != L'\\') {
            --parentLength;
        }
        if (parentLength != lastLength || wmemcmp(text, lastParent, static_cast<size_t>(parentLength)) != 0) {
            lastAt = AddFolder(WString(text, parentLength));
            lastParent = text;
            lastLength = parentLength;
        }
        folders_[static_cast<size_t>(lastAt)].files.emplace_back(text + parentLength, path.Length() - parentLength);
    }
}

int ListingIndex::AddFolder(const WString& path)
{
    auto found = byPath_.find(Key(path));
    if (found != byPath_.end()) {
        return found->second;
    }
    int at = static_cast<int>(folders_.size());
    folders_.emplace_back();
    byPath_.emplace(Key(path), at);
    if (!path.IsEmpty()) {
        WString parent;
        WString name;
        SplitParent(path, parent, name);
        int parentAt = AddFolder(parent);
        folders_[parentAt].subfolders.push_back(name);
    }
    return at;
}

ListingIndex::Folder* ListingIndex::Find(const WString& folder)
{
    auto found = byPath_.find(Key(folder));
    return found == byPath_.end() ? nullptr : &folders_[found->second];
}

bool ListingIndex::HasFolder(const WString& folder) const { return byPath_.count(Key(folder)) != 0; }

void ListingIndex::SortOnce(Folder& folder)
{
    if (folder.sorted) {
        return;
    }
    folder.sorted = true;
    std::stable_sort(folder.subfolders.begin(), folder.subfolders.end(),
                     [](const WString& a, const WString& b) { return CompareTreeOrder(a, b) < 0; });
    std::stable_sort(folder.files.begin(), folder.files.end(),
                     [](const WString& a, const WString& b) { return CompareNames(a, b) < 0; });
}

const std::vector<WString>& ListingIndex::Subfolders(const WString& folder)
{
    Folder* found = Find(folder);
    if (!found) {
        return none_;
    }
    SortOnce(*found);
    return found->subfolders;
}

const std::vector<WString>& ListingIndex::Files(const WString& folder)
{
    Folder* found = Find(folder);
    if (!found) {
        return none_;
    }
    SortOnce(*found);
    return found->files;
}

std::vector<MenuPage> PlanRootLevel(ListingIndex& index, const RootOptions& root, const MenuLayout& layout)
{
    // The separators after the fixed items count in the starting value only.
    LevelPlanner planner(layout, root.isCab ? 4 : 2);
    planner.Fixed(PlanType::WholeArchive, WString(root.isCab ? L"全体(cab)" : L"全体(zip)"), root.archivePath);
    planner.Fixed(PlanType::Separator, WString(L"-"), WString());
    if (root.isCab && root.cabModifiable) {
        planner.Fixed(PlanType::CabAdd, WString(L"追加圧縮(cab)"), root.archivePath);
        planner.Fixed(PlanType::Separator, WString(L"-"), WString());
    }
    PlanChildren(index, WString(), planner);
    bool aboutFits = (layout.overflowMode == 1 && planner.Counter() < layout.itemsPerScreen - 1) ||
                     (layout.overflowMode == 2 && planner.Counter() < layout.itemsPerScreen - 2);
    if (aboutFits) {
        planner.Fixed(PlanType::Separator, WString(L"-"), WString());
        planner.Fixed(PlanType::About, WString(L"About"), WString(L"About"));
    }
    return planner.Take();
}

std::vector<MenuPage> PlanFolderLevel(ListingIndex& index, const WString& folder, const MenuLayout& layout)
{
    LevelPlanner planner(layout, 2);
    if (index.Subfolders(folder).empty() && index.Files(folder).empty()) {
        planner.Fixed(PlanType::EmptyFolder, WString(L"(なし)"), WString(L"none"));
        return planner.Take();
    }
    PlanChildren(index, folder, planner);
    return planner.Take();
}

int KindOfPlanItem(PlanType type)
{
    switch (type) {
    case PlanType::WholeArchive:
        return kItemWholeArchive;
    case PlanType::CabAdd:
        return kItemCabAdd;
    case PlanType::Folder:
        return kItemFolder;
    case PlanType::File:
        return kItemFile;
    case PlanType::EmptyFolder:
        return kItemEmptyFolder;
    case PlanType::About:
        return kItemAbout;
    case PlanType::More:
        return kItemMore;
    case PlanType::Separator:
        break;
    }
    return 0;
}

int ItemTable::Add(const MenuItemRow& row)
{
    int id = Count();
    rows_.push_back(row);
    itemData_.push_back(records_.Add(id, row.kind == kItemDeleted ? WString() : row.text));
    if (row.submenu) {
        submenus_[row.submenu] = id;
    }
    return id;
}

int ItemTable::IdOfItemData(ULONG_PTR itemData) const
{
    int id = MenuItemRecords::RowOf(itemData);
    return IsValidId(id) && itemData_[static_cast<size_t>(id)] == itemData ? id : -1;
}

int ItemTable::FindSubmenu(HMENU submenu) const
{
    auto found = submenus_.find(submenu);
    return found == submenus_.end() ? -1 : found->second;
}

void ItemTable::MarkDeleted(const WString& path)
{
    deleted_.push_back(path);
    bool folder = path.Last() == L'\\';
    for (int id = 1; id < Count(); ++id) {
        MenuItemRow& row = rows_[id];
        bool below = folder ? row.path.StartsWith(path.c_str()) : row.path == path;
        if (below && (row.kind == kItemFile || row.kind == kItemFolder)) {
            row.kind = kItemDeleted;
            records_.SetName(id, WString());
        }
    }
}

bool ItemTable::IsDeletedPath(const WString& path) const
{
    for (const WString& deleted : deleted_) {
        if (deleted.Last() == L'\\' ? path.StartsWith(deleted.c_str()) : path == deleted) {
            return true;
        }
    }
    return false;
}

int ChooseByCharacter(const std::vector<CharCandidate>& items, int currentId, wchar_t typed)
{
    wchar_t wanted = FoldCase(typed);
    int first = -1;
    for (int position = 0; position < static_cast<int>(items.size()); ++position) {
        const CharCandidate& item = items[position];
        if (!item.ownerDrawn || item.text.IsEmpty() || FoldCase(item.text.At(0)) != wanted) {
            continue;
        }
        if (first < 0) {
            first = position;
        }
        if (item.id > currentId) {
            return position;
        }
    }
    return first;
}
