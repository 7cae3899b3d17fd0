// The real Windows menu built from a listing and read back item by item;
// submenus are filled as WM_INITMENUPOPUP would fill them.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/accessible_menu.h"
#include "viewer/archive_menu.h"

namespace {

struct ReadItem {
    std::wstring text;  // the name a screen reader reads, from the item data
    UINT type;
    UINT state;
    int id;
    HMENU submenu;
};

std::vector<ReadItem> ReadMenu(const ArchiveMenu& menu, HMENU handle)
{
    std::vector<ReadItem> items;
    int count = GetMenuItemCount(handle);
    for (int i = 0; i < count; ++i) {
        wchar_t text[64] = {};
        MENUITEMINFOW info{};
        info.cbSize = sizeof info;
        info.fMask = MIIM_FTYPE | MIIM_ID | MIIM_STATE | MIIM_SUBMENU | MIIM_DATA | MIIM_STRING;
        info.dwTypeData = text;
        info.cch = 63;
        EXPECT_TRUE(GetMenuItemInfoW(handle, static_cast<UINT>(i), TRUE, &info));
        ReadItem item{text, info.fType, info.fState, static_cast<int>(info.wID), info.hSubMenu};
        if (!(info.fType & MFT_SEPARATOR)) {
            EXPECT_EQ(item.id, menu.Items().IdOfItemData(info.dwItemData)) << "the item data names the row";
            AccessibleItem spoken = AccessibleItemAt(handle, i);
            EXPECT_TRUE(spoken.hasRecord) << i;
            // An owner-drawn item is named with the text it draws; a string
            // item with its string.
            const MenuItemRow& row = menu.Items().Row(item.id);
            if (!(info.fType & MFT_OWNERDRAW)) {
                EXPECT_EQ(item.text, spoken.name);
            } else if (row.kind != kItemDeleted) {
                EXPECT_EQ(std::wstring(row.text.c_str()), spoken.name);
            }
            item.text = spoken.name;
        }
        items.push_back(item);
    }
    return items;
}

StringList Listing(const std::vector<const wchar_t*>& paths)
{
    StringList list;
    for (const wchar_t* path : paths) {
        list.Insert(WString(path));
    }
    return list;
}

}  // namespace

TEST(ArchiveMenu, RootAndLazilyFilledSubmenusReadBack)
{
    StringList listing = Listing({L"c.txt", L"a\\b.txt", L"a\\deep\\", L"empty\\"});
    ArchiveMenu menu(ListingIndex(listing), RootOptions{false, false, WString(L"C:\\d.zip")}, MenuLayout{0, 40});
    ASSERT_TRUE(menu.Build());
    std::vector<ReadItem> root = ReadMenu(menu, menu.Root());
    ASSERT_EQ(5u, root.size());
    EXPECT_EQ(L"全体(zip)", root[0].text);
    EXPECT_TRUE(root[0].type & MFT_OWNERDRAW);
    EXPECT_TRUE(root[1].type & MFT_SEPARATOR);
    EXPECT_EQ(L"a", root[2].text);
    EXPECT_NE(nullptr, root[2].submenu);
    EXPECT_EQ(L"empty", root[3].text);
    EXPECT_EQ(L"c.txt", root[4].text);
    EXPECT_EQ(kItemWholeArchive, menu.Items().Row(root[0].id).kind);
    EXPECT_EQ(kItemFile, menu.Items().Row(root[4].id).kind);
    EXPECT_EQ(WString(L"c.txt"), menu.Items().Row(root[4].id).path);
    for (const ReadItem& item : root) {
        EXPECT_NE(0, item.id) << "no item has id 0";
    }

    EXPECT_EQ(0, GetMenuItemCount(root[2].submenu)) << "a submenu is empty until it opens";
    menu.FillIfPending(root[2].submenu);
    std::vector<ReadItem> a = ReadMenu(menu, root[2].submenu);
    ASSERT_EQ(2u, a.size());
    EXPECT_EQ(L"deep", a[0].text);
    EXPECT_EQ(L"b.txt", a[1].text);
    EXPECT_EQ(WString(L"a\\b.txt"), menu.Items().Row(a[1].id).path);
    menu.FillIfPending(root[2].submenu);
    EXPECT_EQ(2, GetMenuItemCount(root[2].submenu)) << "filled once";

    menu.FillIfPending(root[3].submenu);
    std::vector<ReadItem> empty = ReadMenu(menu, root[3].submenu);
    ASSERT_EQ(1u, empty.size());
    EXPECT_EQ(L"(なし)", empty[0].text);
    EXPECT_TRUE(empty[0].state & MFS_DISABLED);
    EXPECT_FALSE(empty[0].type & MFT_OWNERDRAW);
}

TEST(ArchiveMenu, MoreSubmenusAndColumnsReadBack)
{
    StringList listing;
    for (int i = 0; i < 45; ++i) {
        listing.Insert(L"f" + WString::FromInt(100 + i));
    }
    ArchiveMenu more(ListingIndex(listing), RootOptions{false, false, WString(L"C:\\d.zip")}, MenuLayout{2, 20});
    ASSERT_TRUE(more.Build());
    std::vector<ReadItem> root = ReadMenu(more, more.Root());
    ASSERT_EQ(20u, root.size());
    EXPECT_EQ(L"more", root.back().text);
    EXPECT_FALSE(root.back().type & MFT_OWNERDRAW);
    EXPECT_EQ(kItemMore, more.Items().Row(root.back().id).kind);
    more.FillIfPending(root.back().submenu);
    std::vector<ReadItem> page = ReadMenu(more, root.back().submenu);
    EXPECT_EQ(L"f117", page[0].text);
    EXPECT_EQ(L"more", page.back().text);
    // A "more" item is found by its position, as WM_MENUSELECT names popups.
    EXPECT_EQ(-1, more.SelectedItem(more.Root(), 19, MF_POPUP)) << "not owner-drawn";
    EXPECT_EQ(root[2].id, more.SelectedItem(more.Root(), 2, MF_OWNERDRAW));

    ArchiveMenu columns(ListingIndex(listing), RootOptions{false, false, WString(L"C:\\d.zip")}, MenuLayout{1, 20});
    ASSERT_TRUE(columns.Build());
    std::vector<ReadItem> wrapped = ReadMenu(columns, columns.Root());
    // Three columns of 18, 20 and 7 files; the last has room for About.
    ASSERT_EQ(2u + 45u + 2u, wrapped.size());
    EXPECT_TRUE(wrapped[20].type & MFT_MENUBARBREAK);
    EXPECT_FALSE(wrapped[19].type & MFT_MENUBARBREAK);
    EXPECT_TRUE(wrapped[40].type & MFT_MENUBARBREAK);
    EXPECT_EQ(L"About", wrapped.back().text);
}

TEST(ArchiveMenu, FolderItemsAreFoundByPositionNotAsIds)
{
    StringList listing = Listing({L"x\\1.txt", L"y\\2.txt", L"z.txt"});
    ArchiveMenu menu(ListingIndex(listing), RootOptions{false, false, WString(L"C:\\d.zip")}, MenuLayout{0, 40});
    ASSERT_TRUE(menu.Build());
    // Position 3 is folder y; its id is something else entirely.
    int found = menu.SelectedItem(menu.Root(), 3, MF_POPUP | MF_OWNERDRAW);
    ASSERT_GT(found, 0);
    EXPECT_EQ(WString(L"y\\"), menu.Items().Row(found).path);
}

TEST(ArchiveMenu, ItemsBuiltAfterAFolderDeleteStartBlank)
{
    StringList listing = Listing({L"Doc\\a.txt", L"doc\\b.txt"});
    ArchiveMenu menu(ListingIndex(listing), RootOptions{false, false, WString(L"C:\\d.zip")}, MenuLayout{0, 40});
    ASSERT_TRUE(menu.Build());
    std::vector<ReadItem> root = ReadMenu(menu, menu.Root());
    menu.MarkDeleted(WString(L"Doc\\"));
    EXPECT_EQ(kItemDeleted, menu.Items().Row(root[2].id).kind);
    menu.FillIfPending(root[2].submenu);
    menu.FillIfPending(root[3].submenu);
    std::vector<ReadItem> below = ReadMenu(menu, root[2].submenu);
    std::vector<ReadItem> other = ReadMenu(menu, root[3].submenu);
    EXPECT_EQ(kItemDeleted, menu.Items().Row(below[0].id).kind);
    EXPECT_EQ(kItemFile, menu.Items().Row(other[0].id).kind);
    // A blank item says nothing to a screen reader either, whether it was
    // blanked after it was built or built blank.
    EXPECT_EQ(L"", ReadMenu(menu, menu.Root())[2].text);
    EXPECT_EQ(L"", below[0].text);
    EXPECT_EQ(L"doc", ReadMenu(menu, menu.Root())[3].text);
    EXPECT_EQ(L"b.txt", other[0].text);
}

TEST(ArchiveMenu, TypedCharactersChooseAmongTheMenusOwnItems)
{
    StringList listing = Listing({L"beta.txt", L"Alpha.txt", L"apple.txt"});
    ArchiveMenu menu(ListingIndex(listing), RootOptions{false, false, WString(L"C:\\d.zip")}, MenuLayout{0, 40});
    ASSERT_TRUE(menu.Build());
    std::vector<CharCandidate> items = menu.Candidates(menu.Root());
    int first = ChooseByCharacter(items, -1, L'a');
    ASSERT_GE(first, 0);
    EXPECT_EQ(WString(L"Alpha.txt"), items[first].text);
    int second = ChooseByCharacter(items, items[first].id, L'a');
    EXPECT_EQ(WString(L"apple.txt"), items[second].text);
    EXPECT_EQ(first, ChooseByCharacter(items, items[second].id, L'A'));
}
