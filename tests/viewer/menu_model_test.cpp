#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/prompt_recorder.h"
#include "viewer/menu_model.h"

namespace {

StringList Listing(const std::vector<const wchar_t*>& paths)
{
    StringList list;
    for (const wchar_t* path : paths) {
        list.Insert(WString(path));
    }
    return list;
}

// A page as "type:text" words, for comparison in one line.
std::vector<std::wstring> Describe(const MenuPage& page)
{
    static const wchar_t* names[] = {L"whole", L"cabadd", L"sep", L"folder", L"file", L"none", L"about", L"more"};
    std::vector<std::wstring> words;
    for (const PlanItem& item : page) {
        std::wstring word = names[static_cast<int>(item.type)];
        if (item.type != PlanType::Separator) {
            word += L":" + std::wstring(item.text.c_str());
        }
        if (item.newColumn) {
            word += L"|";
        }
        words.push_back(word);
    }
    return words;
}

StringList FlatFiles(int count)
{
    StringList list;
    for (int i = 0; i < count; ++i) {
        wchar_t name[32];
        wsprintfW(name, L"f%02d.txt", i);
        list.Insert(WString(name));
    }
    return list;
}

const RootOptions kZip{false, false, WString(L"C:\\a\\data.zip")};

}  // namespace

TEST(MenuPlan, ImpliedFolderComesBeforeFilesWithItsOwnSubmenu)
{
    StringList listing = Listing({L"c.txt", L"a\\b.txt"});
    ListingIndex index(listing);
    auto root = PlanRootLevel(index, kZip, MenuLayout{0, 40});
    ASSERT_EQ(1u, root.size());
    EXPECT_EQ((std::vector<std::wstring>{L"whole:全体(zip)", L"sep", L"folder:a", L"file:c.txt"}), Describe(root[0]));
    EXPECT_EQ(WString(L"a\\"), root[0][2].path);
    EXPECT_EQ(WString(L"C:\\a\\data.zip"), root[0][0].path);
    auto sub = PlanFolderLevel(index, WString(L"a\\"), MenuLayout{0, 40});
    EXPECT_EQ((std::vector<std::wstring>{L"file:b.txt"}), Describe(sub[0]));
    EXPECT_EQ(WString(L"a\\b.txt"), sub[0][0].path);
}

TEST(MenuPlan, EmptyFolderShowsThePlaceholder)
{
    StringList listing = Listing({L"empty\\", L"x.txt"});
    ListingIndex index(listing);
    auto sub = PlanFolderLevel(index, WString(L"empty\\"), MenuLayout{2, 40});
    EXPECT_EQ((std::vector<std::wstring>{L"none:(なし)"}), Describe(sub[0]));
    EXPECT_EQ(WString(L"none"), sub[0][0].path);
}

TEST(MenuPlan, FoldersSortIgnoringCaseAndFilesCaseSensitivelyAtEveryLevel)
{
    StringList listing = Listing({L"d\\b.txt", L"d\\B\\", L"d\\a\\", L"d\\A.txt", L"zeta\\", L"Alpha\\", L"b.txt",
                                  L"B.txt", L"a b\\", L"a\\"});
    ListingIndex index(listing);
    auto root = PlanRootLevel(index, kZip, MenuLayout{0, 40});
    EXPECT_EQ((std::vector<std::wstring>{L"whole:全体(zip)", L"sep", L"folder:a", L"folder:a b", L"folder:Alpha",
                                         L"folder:d", L"folder:zeta", L"file:b.txt", L"file:B.txt"}),
              Describe(root[0]));
    auto sub = PlanFolderLevel(index, WString(L"d\\"), MenuLayout{0, 40});
    EXPECT_EQ((std::vector<std::wstring>{L"folder:a", L"folder:B", L"file:A.txt", L"file:b.txt"}), Describe(sub[0]));
}

TEST(MenuPlan, FolderMatchingIsExactSoCaseVariantsStayApart)
{
    StringList listing = Listing({L"Doc\\x.txt", L"doc\\y.txt"});
    ListingIndex index(listing);
    EXPECT_EQ((std::vector<std::wstring>{L"file:x.txt"}),
              Describe(PlanFolderLevel(index, WString(L"Doc\\"), MenuLayout{0, 40})[0]));
    EXPECT_EQ((std::vector<std::wstring>{L"file:y.txt"}),
              Describe(PlanFolderLevel(index, WString(L"doc\\"), MenuLayout{0, 40})[0]));
}

TEST(MenuPlan, CabinetRootHasTheAddItemOnlyWhenModifiable)
{
    StringList listing = Listing({L"x.txt"});
    ListingIndex index(listing);
    RootOptions cab{true, true, WString(L"C:\\a.cab")};
    EXPECT_EQ((std::vector<std::wstring>{L"whole:全体(cab)", L"sep", L"cabadd:追加圧縮(cab)", L"sep", L"file:x.txt"}),
              Describe(PlanRootLevel(index, cab, MenuLayout{0, 40})[0]));
    cab.cabModifiable = false;
    EXPECT_EQ((std::vector<std::wstring>{L"whole:全体(cab)", L"sep", L"file:x.txt"}),
              Describe(PlanRootLevel(index, cab, MenuLayout{0, 40})[0]));
}

// Items per screen 20, 30 top-level files, wrap mode: 18 files in the first
// column (counter 3 ... 20), the 19th starts the second.
TEST(MenuOverflow, WrapModeStartsANewColumnAfterTheScreenIsFull)
{
    StringList listing = FlatFiles(30);
    ListingIndex index(listing);
    auto root = PlanRootLevel(index, kZip, MenuLayout{1, 20});
    ASSERT_EQ(1u, root.size());
    const MenuPage& page = root[0];
    int firstColumnFiles = 0;
    for (const PlanItem& item : page) {
        if (item.newColumn) {
            break;
        }
        firstColumnFiles += item.type == PlanType::File ? 1 : 0;
    }
    EXPECT_EQ(18, firstColumnFiles);
    EXPECT_TRUE(page[2 + 18].newColumn);
    EXPECT_EQ(WString(L"f18.txt"), page[2 + 18].text);
    // Counter 12 in the second column: room for the About item.
    EXPECT_EQ(PlanType::About, page.back().type);
}

TEST(MenuOverflow, AboutAppearsOnlyWhenTheLastColumnOrPageHasRoom)
{
    auto hasAbout = [](int files, int mode) {
        StringList listing = FlatFiles(files);
        ListingIndex index(listing);
        return PlanRootLevel(index, kZip, MenuLayout{mode, 20}).back().back().type == PlanType::About;
    };
    // Wrap: 17 files end at counter 19, not below 19.
    EXPECT_FALSE(hasAbout(17, 1));
    EXPECT_TRUE(hasAbout(16, 1));
    // More: the counter must stay below items per screen - 2.
    EXPECT_TRUE(hasAbout(15, 2));
    EXPECT_FALSE(hasAbout(16, 2));
    // Scroll mode never has it.
    EXPECT_FALSE(hasAbout(16, 0));
}

// More mode, items per screen 20: the 18th top-level file (counter 20) is
// the first item of a "more" submenu, and later files follow it there.
TEST(MenuOverflow, MoreModeContinuesInNestedMoreSubmenus)
{
    StringList listing = FlatFiles(60);
    ListingIndex index(listing);
    auto pages = PlanRootLevel(index, kZip, MenuLayout{2, 20});
    ASSERT_EQ(4u, pages.size());
    EXPECT_EQ(2u + 17u + 1u, pages[0].size());
    EXPECT_EQ(PlanType::More, pages[0].back().type);
    EXPECT_EQ(WString(L"more"), pages[0].back().text);
    EXPECT_EQ(WString(L"f17.txt"), pages[1][0].text);
    // Later pages hold counter 1 ... 19: 19 items and the "more" item.
    EXPECT_EQ(20u, pages[1].size());
    EXPECT_EQ(PlanType::More, pages[1].back().type);
    EXPECT_EQ(WString(L"f36.txt"), pages[2][0].text);
    EXPECT_EQ(WString(L"f59.txt"), pages[3].back().type == PlanType::About ? pages[3][pages[3].size() - 3].text
                                                                            : pages[3].back().text);
}

TEST(MenuOverflow, ScrollModeNeverSplits)
{
    StringList listing = FlatFiles(500);
    ListingIndex index(listing);
    auto pages = PlanRootLevel(index, kZip, MenuLayout{0, 20});
    ASSERT_EQ(1u, pages.size());
    EXPECT_EQ(502u, pages[0].size());
    for (const PlanItem& item : pages[0]) {
        EXPECT_FALSE(item.newColumn);
    }
}

TEST(MenuOverflow, SubmenuCounterStartsAtTwo)
{
    StringList listing;
    for (int i = 0; i < 30; ++i) {
        wchar_t name[32];
        wsprintfW(name, L"dir\\f%02d.txt", i);
        listing.Insert(WString(name));
    }
    ListingIndex index(listing);
    auto pages = PlanFolderLevel(index, WString(L"dir\\"), MenuLayout{1, 20});
    EXPECT_TRUE(pages[0][18].newColumn);
    EXPECT_FALSE(pages[0][17].newColumn);
}

TEST(MenuPlan, TensOfThousandsInOneFolderAreAllPlannedInNameOrder)
{
    StringList listing;
    for (int i = 0; i < 40000; ++i) {
        listing.Insert(L"big\\" + WString::FromInt(40000 - i) + L".dat");
    }
    ListingIndex index(listing);
    auto root = PlanRootLevel(index, kZip, MenuLayout{2, 40});
    EXPECT_EQ(3u, root[0].size() - (root[0].back().type == PlanType::About ? 2 : 0));
    auto pages = PlanFolderLevel(index, WString(L"big\\"), MenuLayout{2, 40});
    size_t files = 0;
    for (const MenuPage& page : pages) {
        for (const PlanItem& item : page) {
            files += item.type == PlanType::File ? 1 : 0;
        }
    }
    EXPECT_EQ(40000u, files);
    EXPECT_EQ(WString(L"1.dat"), pages[0][0].text);
}

TEST(ItemTable, DeletingAFolderBlanksEverythingBelowItButNotItsCaseVariant)
{
    ItemTable table;
    table.Add(MenuItemRow{WString(L"C:\\x.zip"), WString(), kItemFolder, nullptr, false, WString(), 0});
    int doc = table.Add(MenuItemRow{WString(L"Doc\\"), WString(L"Doc"), kItemFolder, nullptr, false, WString(), 0});
    int inner = table.Add(MenuItemRow{WString(L"Doc\\a.txt"), WString(L"a.txt"), kItemFile, nullptr, false,
                                      WString(), 0});
    int other = table.Add(MenuItemRow{WString(L"doc\\"), WString(L"doc"), kItemFolder, nullptr, false, WString(), 0});
    int single = table.Add(MenuItemRow{WString(L"b.txt"), WString(L"b.txt"), kItemFile, nullptr, false, WString(), 0});
    table.MarkDeleted(WString(L"Doc\\"));
    EXPECT_EQ(kItemDeleted, table.Row(doc).kind);
    EXPECT_EQ(kItemDeleted, table.Row(inner).kind);
    EXPECT_EQ(kItemFolder, table.Row(other).kind);
    EXPECT_EQ(kItemFile, table.Row(single).kind);
    EXPECT_TRUE(table.IsDeletedPath(WString(L"Doc\\deep\\later.txt")));
    EXPECT_FALSE(table.IsDeletedPath(WString(L"doc\\later.txt")));
    table.MarkDeleted(WString(L"b.txt"));
    EXPECT_EQ(kItemDeleted, table.Row(single).kind);
    EXPECT_FALSE(table.IsDeletedPath(WString(L"b.txt2")));
    EXPECT_FALSE(table.IsValidId(0)) << "id 0 means no choice";
}

TEST(MenuCharacter, TypingALetterCyclesThroughItsItems)
{
    std::vector<CharCandidate> items = {
        {1, WString(L"全体(zip)"), true}, {-1, WString(L"-"), false}, {3, WString(L"apple"), true},
        {4, WString(L"Banana"), true},  {5, WString(L"avocado"), true}, {6, WString(L"more"), false},
    };
    EXPECT_EQ(2, ChooseByCharacter(items, -1, L'a'));
    EXPECT_EQ(4, ChooseByCharacter(items, 3, L'A'));
    EXPECT_EQ(2, ChooseByCharacter(items, 5, L'a')) << "after the last match it starts again";
    EXPECT_EQ(3, ChooseByCharacter(items, -1, L'b'));
    EXPECT_EQ(-1, ChooseByCharacter(items, -1, L'm')) << "items that are not owner-drawn are not chosen";
    EXPECT_EQ(-1, ChooseByCharacter(items, -1, L'z'));
}
