#include "viewer/archive_menu.h"

#include "common/messages.h"

namespace {

const char* InsertTag(PlanType type, bool topLevel)
{
    switch (type) {
    case PlanType::WholeArchive:
        return "IMI TOP";
    case PlanType::CabAdd:
        return "IMI CABADD";
    case PlanType::File:
        return topLevel ? "IMI FILE" : "IMI SUB FILE";
    case PlanType::About:
        return "IMI about";
    case PlanType::More:
        return "IMI More";
    case PlanType::Folder:
        return "IMI SUB";
    case PlanType::EmptyFolder:
        return "IMI None";
    case PlanType::Separator:
        break;
    }
    return "Make_Separator";
}

}  // namespace

ArchiveMenu::ArchiveMenu(ListingIndex index, const RootOptions& root, const MenuLayout& layout)
    : index_(std::move(index)), rootOptions_(root), layout_(layout)
{
}

bool ArchiveMenu::Build()
{
    root_.Reset(CreatePopupMenu());
    if (!ReportApiFailure(root_.Get(), "CreatePopupMenu")) {
        return false;
    }
    // Row 0 stands for the root, so that no item has id 0.
    items_.Add(MenuItemRow{rootOptions_.archivePath, WString(), kItemFolder, root_.Get(), false, WString(), 0});
    planned_.emplace_back(WString(), PlanRootLevel(index_, rootOptions_, layout_));
    return FillPage(root_.Get(), WString(), 0);
}

void ArchiveMenu::FillIfPending(HMENU menu)
{
    int id = items_.FindSubmenu(menu);
    if (id <= 0 || !items_.Row(id).pending || failed_) {
        return;
    }
    MenuItemRow& row = items_.Row(id);
    row.pending = false;
    WString folder = row.pendingFolder;
    int page = row.pendingPage;
    FillPage(menu, folder, page);
}

bool ArchiveMenu::FillPage(HMENU menu, const WString& folder, int page)
{
    const std::vector<MenuPage>* pages = nullptr;
    for (const auto& level : planned_) {
        if (level.first == folder) {
            pages = &level.second;
        }
    }
    if (!pages) {
        planned_.emplace_back(folder, PlanFolderLevel(index_, folder, layout_));
        pages = &planned_.back().second;
    }
    if (page < 0 || page >= static_cast<int>(pages->size())) {
        return false;
    }
    // Copied: planning another level may move the stored pages.
    MenuPage items = (*pages)[page];
    for (const PlanItem& item : items) {
        if (!Insert(menu, item, folder, page)) {
            failed_ = true;
            return false;
        }
    }
    return true;
}

bool ArchiveMenu::Insert(HMENU menu, const PlanItem& item, const WString& folder, int page)
{
    MENUITEMINFOW info{};
    info.cbSize = sizeof info;
    info.fMask = MIIM_FTYPE | MIIM_ID;
    info.fType = item.newColumn ? MFT_MENUBARBREAK : 0;
    ScopedMenu submenu;
    MenuItemRow row{item.path, item.text, KindOfPlanItem(item.type), nullptr, false, WString(), 0};
    switch (item.type) {
    case PlanType::Separator:
        info.fType |= MFT_SEPARATOR;
        info.wID = static_cast<UINT>(-1);
        break;
    case PlanType::EmptyFolder:
        info.fMask |= MIIM_STRING | MIIM_STATE;
        info.fType |= MFT_STRING;
        info.fState = MFS_DISABLED | MFS_GRAYED;
        break;
    case PlanType::More:
    case PlanType::Folder:
        submenu.Reset(CreatePopupMenu());
        if (!submenu) {
            return ReportApiFailure(FALSE, InsertTag(item.type, folder.IsEmpty()));
        }
        info.fMask |= MIIM_SUBMENU;
        info.hSubMenu = submenu.Get();
        row.submenu = submenu.Get();
        row.pending = true;
        row.pendingFolder = item.type == PlanType::More ? folder : item.path;
        row.pendingPage = item.type == PlanType::More ? page + 1 : 0;
        if (item.type == PlanType::More) {
            info.fMask |= MIIM_STRING;
            info.fType |= MFT_STRING;
            break;
        }
        [[fallthrough]];
    default:
        info.fType |= MFT_OWNERDRAW;
        if ((item.type == PlanType::File || item.type == PlanType::Folder) && items_.IsDeletedPath(item.path)) {
            row.kind = kItemDeleted;
        }
        break;
    }
    WString text = item.text;
    if (info.fMask & MIIM_STRING) {
        info.dwTypeData = const_cast<wchar_t*>(text.c_str());
    }
    int id = -1;
    if (item.type != PlanType::Separator) {
        id = items_.Add(row);
        info.fMask |= MIIM_DATA;
        info.wID = static_cast<UINT>(id);
        info.dwItemData = items_.ItemData(id);
    }
    int position = GetMenuItemCount(menu);
    if (!ReportApiFailure(InsertMenuItemW(menu, static_cast<UINT>(position), TRUE, &info),
                          InsertTag(item.type, folder.IsEmpty()))) {
        // The row stays, pointing at no menu, so that ids stay positions in
        // the table; the submenu is freed here as no menu owns it.
        if (id > 0) {
            items_.Row(id).submenu = nullptr;
            items_.Row(id).pending = false;
            items_.Row(id).kind = kItemEmptyFolder;
        }
        return false;
    }
    // The menu owns the submenu now and frees it with itself.
    submenu.Detach();
    return true;
}

int ArchiveMenu::IdAtPosition(HMENU menu, int position) const
{
    MENUITEMINFOW info{};
    info.cbSize = sizeof info;
    info.fMask = MIIM_ID | MIIM_FTYPE;
    if (!GetMenuItemInfoW(menu, static_cast<UINT>(position), TRUE, &info) || (info.fType & MFT_SEPARATOR)) {
        return -1;
    }
    int id = static_cast<int>(info.wID);
    return items_.IsValidId(id) ? id : -1;
}

int ArchiveMenu::SelectedItem(HMENU menu, UINT item, UINT flags) const
{
    if (!(flags & MF_OWNERDRAW)) {
        return -1;
    }
    if (flags & MF_POPUP) {
        return IdAtPosition(menu, static_cast<int>(item));
    }
    // Ids above 0xFFFF arrive cut to 16 bits; the menu holds the full id, so
    // the item is found by scanning for it.
    int count = GetMenuItemCount(menu);
    for (int position = 0; position < count; ++position) {
        int id = IdAtPosition(menu, position);
        if (id >= 0 && static_cast<UINT>(id & 0xFFFF) == item) {
            return id;
        }
    }
    return -1;
}

std::vector<CharCandidate> ArchiveMenu::Candidates(HMENU menu) const
{
    std::vector<CharCandidate> candidates;
    int count = GetMenuItemCount(menu);
    for (int position = 0; position < count; ++position) {
        MENUITEMINFOW info{};
        info.cbSize = sizeof info;
        info.fMask = MIIM_ID | MIIM_FTYPE;
        CharCandidate candidate{-1, WString(), false};
        if (GetMenuItemInfoW(menu, static_cast<UINT>(position), TRUE, &info) && !(info.fType & MFT_SEPARATOR) &&
            items_.IsValidId(static_cast<int>(info.wID))) {
            const MenuItemRow& row = items_.Row(static_cast<int>(info.wID));
            candidate.id = static_cast<int>(info.wID);
            candidate.text = row.text;
            candidate.ownerDrawn = (info.fType & MFT_OWNERDRAW) && row.kind != kItemDeleted;
        }
        candidates.push_back(candidate);
    }
    return candidates;
}
