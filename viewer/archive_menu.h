// The archive menu as Windows menus: the root is filled before it is shown,
// every folder and "more" submenu when it is first opened (WM_INITMENUPOPUP),
// so that the menu appears at once whatever the size of the archive.
#pragma once

#include <windows.h>

#include <vector>

#include "common/handles.h"
#include "viewer/menu_model.h"

class ArchiveMenu {
public:
    ArchiveMenu(ListingIndex index, const RootOptions& root, const MenuLayout& layout);
    ArchiveMenu(const ArchiveMenu&) = delete;
    ArchiveMenu& operator=(const ArchiveMenu&) = delete;

    // Creates the root menu and fills its first page; false when the menu
    // could not be made.
    bool Build();
    // Fills a submenu that was not filled yet; other menus are left alone.
    void FillIfPending(HMENU menu);

    HMENU Root() const { return root_.Get(); }
    ItemTable& Items() { return items_; }
    const ItemTable& Items() const { return items_; }

    // The id of the item at a position, -1 for separators and failures.
    int IdAtPosition(HMENU menu, int position) const;
    // The id named by WM_MENUSELECT: a position when the item opens a
    // submenu, an id otherwise. -1 when it does not show an archive object.
    int SelectedItem(HMENU menu, UINT item, UINT flags) const;
    // The items of a menu for typed-character selection.
    std::vector<CharCandidate> Candidates(HMENU menu) const;

    // Marks a path deleted (see ItemTable).
    void MarkDeleted(const WString& path) { items_.MarkDeleted(path); }

private:
    bool FillPage(HMENU menu, const WString& folder, int page);
    bool Insert(HMENU menu, const PlanItem& item, const WString& folder, int page);

    ListingIndex index_;
    RootOptions rootOptions_;
    MenuLayout layout_;
    // Declared before the menus, which point into it, so that it goes after them.
    ItemTable items_;
    ScopedMenu root_;
    // Planned levels by folder, kept once planned so that the later pages of a
    // long folder are not planned again.
    std::vector<std::pair<WString, std::vector<MenuPage>>> planned_;
    // After one failed insert the build stops, with one message.
    bool failed_ = false;
};
