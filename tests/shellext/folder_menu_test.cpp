// The destination folder menu: what it lists and how it spreads long lists
// (plain code and the menu actually built), the information boxes, the
// owner-drawn entries, and the real menu answered from the keyboard.
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "common/settings.h"
#include "common/system.h"
#include "common_ids.h"
#include "shellext/folder_menu.h"
#include "support/accessible_menu.h"
#include "support/private_settings.h"
#include "support/prompt_recorder.h"
#include "support/scripted_user.h"

namespace {

// An archive object whose listing is given by the test.
class ListedArchive : public CArcFile {
public:
    explicit ListedArchive(std::vector<std::wstring> names, bool listingFails = false)
        : CArcFile(WString(L"C:\\data\\sample.zip"), true), names_(std::move(names)), fails_(listingFails)
    {
    }
    bool GetEntryNames(StringList& names) override
    {
        if (fails_) {
            SetErrorText(WString(L"一覧を読めません"));
            return false;
        }
        for (const std::wstring& name : names_) {
            names.Insert(WString(name.c_str()));
        }
        return true;
    }
    bool Extract(const WString&, const WString&, bool) override { return false; }
    bool GetEntryInfo(const WString&, DWORD&, DWORD&, FILETIME&, DWORD&, StringList&) override { return false; }
    bool Add(const WString&, const WString&, int) override { return false; }
    bool Delete(const WString&) override { return false; }
    bool CanUpdate() override { return false; }
    bool CanDelete() override { return false; }

private:
    std::vector<std::wstring> names_;
    bool fails_;
};

std::vector<std::wstring> ManyFolders(int count)
{
    std::vector<std::wstring> names;
    for (int i = 0; i < count; ++i) {
        wchar_t name[16];
        wsprintfW(name, L"f%03d\\", i);
        names.push_back(name);
        names.push_back(std::wstring(name) + L"x.txt");
    }
    return names;
}

std::vector<std::wstring> Texts(const StringList& list)
{
    std::vector<std::wstring> texts;
    for (int i = 0; i < list.Count(); ++i) {
        texts.push_back(list[i].c_str());
    }
    return texts;
}

// One entry of a built menu as the system holds it.
struct BuiltItem {
    std::wstring text;  // the name a screen reader reads, from the item data
    bool ownerDrawn;
    bool columnBreak;
    HMENU submenu;
};

std::vector<BuiltItem> ReadMenu(HMENU menu, const FolderMenu& owner)
{
    std::vector<BuiltItem> items;
    int count = GetMenuItemCount(menu);
    for (int i = 0; i < count; ++i) {
        wchar_t text[64] = {};
        MENUITEMINFOW info{};
        info.cbSize = sizeof info;
        info.fMask = MIIM_FTYPE | MIIM_ID | MIIM_SUBMENU | MIIM_STRING;
        info.dwTypeData = text;
        info.cch = 64;
        EXPECT_TRUE(GetMenuItemInfoW(menu, static_cast<UINT>(i), TRUE, &info));
        BuiltItem item{text, (info.fType & MFT_OWNERDRAW) != 0, (info.fType & MFT_MENUBARBREAK) != 0, info.hSubMenu};
        // Owner-drawn entries are named with the text they draw, "more" with
        // its string.
        AccessibleItem spoken = AccessibleItemAt(menu, i);
        EXPECT_TRUE(spoken.hasRecord) << i;
        EXPECT_EQ(item.ownerDrawn ? std::wstring(owner.Layout().rows.at(info.wID).text.c_str()) : item.text,
                  spoken.name);
        item.text = spoken.name;
        items.push_back(item);
    }
    return items;
}

class FolderMenuTest : public testing::Test {
protected:
    void SetUp() override { SetCursorPos(400, 300); }
    PrivateSettings settings_;
    PromptRecorder prompts_;
};

TEST(FolderMenuModel, ListsFoldersInTreeOrderWithoutTheirBackslash)
{
    StringList names(true);
    for (const wchar_t* name : {L"b.txt", L"a b\\", L"a\\", L"a\\x\\", L"A\\y\\", L"a\\x\\z.txt"}) {
        names.Insert(WString(name));
    }
    StringList folders(false);
    EXPECT_EQ(kListingFolders, CollectFolders(names, folders));
    EXPECT_EQ((std::vector<std::wstring>{L"a", L"a\\x", L"A\\y", L"a b"}), Texts(folders));

    StringList empty(true);
    EXPECT_EQ(kListingEmpty, CollectFolders(empty, folders));
    StringList files(true);
    files.Insert(WString(L"a.txt"));
    EXPECT_EQ(kListingNoFolders, CollectFolders(files, folders));
    EXPECT_EQ(0, folders.Count());
}

TEST(FolderMenuModel, ItemsPerColumnFollowTheMonitorAndNeverFallBelowFour)
{
    EXPECT_EQ(55, ItemsPerColumn(1080, 19));
    EXPECT_EQ(52, ItemsPerColumn(1024, 19));
    EXPECT_EQ(4, ItemsPerColumn(60, 19)) << "a tiny monitor";
    EXPECT_EQ(4, ItemsPerColumn(-1, 19)) << "no monitor";
    EXPECT_EQ(4, ItemsPerColumn(1080, 0));
    EXPECT_GT(MonitorHeightNear(POINT{-100000, -100000}), 0) << "a point off every monitor takes the nearest";
}

TEST(FolderMenuModel, MoreMenusHoldTheFoldersThatDoNotFit)
{
    StringList folders(false);
    for (int i = 0; i < 120; ++i) {
        folders.Insert(WString::FromInt(1000 + i));
    }
    FolderMenuLayout layout = LayOutFolderMenu(WString(L"C:\\a.zip"), folders, kOverflowMoreMenus, 55);
    ASSERT_EQ(3u, layout.menus.size());
    EXPECT_EQ(kRowArchive, layout.rows[0].kind) << "no entry has id 0";
    // Root: the top entry, 52 folders and "more"; then 54 folders and
    // "more"; then the remaining 14.
    ASSERT_EQ(54u, layout.menus[0].size());
    EXPECT_EQ(kRowTopLevel, layout.rows[layout.menus[0][0].row].kind);
    EXPECT_EQ(1, layout.menus[0].back().submenu);
    EXPECT_TRUE(layout.rows[layout.menus[0].back().row].text == L"more");
    ASSERT_EQ(55u, layout.menus[1].size());
    EXPECT_TRUE(layout.rows[layout.menus[1][0].row].text == L"1052") << "the folder that did not fit opens the submenu";
    EXPECT_EQ(2, layout.menus[1].back().submenu);
    EXPECT_EQ(14u, layout.menus[2].size());
}

TEST(FolderMenuModel, ColumnsBreakAfterAFirstColumnOneShorter)
{
    StringList folders(false);
    for (int i = 0; i < 12; ++i) {
        folders.Insert(WString::FromInt(i));
    }
    FolderMenuLayout layout = LayOutFolderMenu(WString(L"C:\\a.zip"), folders, kOverflowColumns, 5);
    ASSERT_EQ(1u, layout.menus.size());
    std::vector<size_t> breaks;
    for (size_t i = 0; i < layout.menus[0].size(); ++i) {
        if (layout.menus[0][i].columnBreak) {
            breaks.push_back(i);
        }
    }
    EXPECT_EQ((std::vector<size_t>{4, 9}), breaks) << "columns of 4, 5 and the rest";

    for (DWORD mode : {0u, 7u}) {
        FolderMenuLayout scrolled = LayOutFolderMenu(WString(L"C:\\a.zip"), folders, mode, 5);
        ASSERT_EQ(1u, scrolled.menus.size()) << mode;
        EXPECT_EQ(13u, scrolled.menus[0].size()) << mode;
        for (const FolderMenuItem& item : scrolled.menus[0]) {
            EXPECT_FALSE(item.columnBreak) << mode;
        }
    }
}

TEST_F(FolderMenuTest, BuiltMenuOfEachModeAtAKnownMonitorHeight)
{
    int perColumn = ItemsPerColumn(1080, GetSystemMetrics(SM_CYSMICON) + 3);
    ListedArchive archive(ManyFolders(130));

    settings_.Set(L"MenuOverFlow", kOverflowMoreMenus);
    {
        FolderMenu menu(archive, ModuleInstance(), IDI_CABFILE, 1080);
        EXPECT_EQ(130, menu.FolderCount());
        EXPECT_EQ(perColumn, menu.ItemsPerColumnUsed());
        std::vector<BuiltItem> root = ReadMenu(menu.RootMenu(), menu);
        ASSERT_EQ(static_cast<size_t>(perColumn - 1), root.size());
        EXPECT_EQ(L".\\(直下)", root[0].text);
        EXPECT_TRUE(root[0].ownerDrawn);
        EXPECT_EQ(L"f000", root[1].text);
        EXPECT_EQ(L"more", root.back().text);
        EXPECT_FALSE(root.back().ownerDrawn);
        ASSERT_NE(nullptr, root.back().submenu);
        std::vector<BuiltItem> second = ReadMenu(root.back().submenu, menu);
        ASSERT_EQ(static_cast<size_t>(perColumn), second.size());
        wchar_t firstMoved[8];
        wsprintfW(firstMoved, L"f%03d", perColumn - 3);
        EXPECT_EQ(firstMoved, second[0].text) << "the folder that did not fit opens the submenu";
        EXPECT_EQ(L"more", second.back().text);
    }
    settings_.Set(L"MenuOverFlow", kOverflowColumns);
    {
        FolderMenu menu(archive, ModuleInstance(), IDI_CABFILE, 1080);
        std::vector<BuiltItem> root = ReadMenu(menu.RootMenu(), menu);
        ASSERT_EQ(131u, root.size());
        std::vector<size_t> breaks;
        for (size_t i = 0; i < root.size(); ++i) {
            EXPECT_EQ(nullptr, root[i].submenu);
            if (root[i].columnBreak) {
                breaks.push_back(i);
            }
        }
        EXPECT_EQ((std::vector<size_t>{static_cast<size_t>(perColumn - 1), static_cast<size_t>(2 * perColumn - 1)}),
                  breaks);
    }
    settings_.Set(L"MenuOverFlow", kOverflowScroll);
    {
        FolderMenu menu(archive, ModuleInstance(), IDI_CABFILE, 1080);
        std::vector<BuiltItem> root = ReadMenu(menu.RootMenu(), menu);
        ASSERT_EQ(131u, root.size());
        EXPECT_EQ(L"f129", root.back().text);
        for (const BuiltItem& item : root) {
            EXPECT_FALSE(item.columnBreak);
            EXPECT_EQ(nullptr, item.submenu);
        }
    }
    EXPECT_EQ(0u, prompts_.Count());
}

TEST_F(FolderMenuTest, EmptyArchiveAndArchiveWithoutFoldersSayTheyAddAtTheTopLevel)
{
    {
        ListedArchive empty({});
        prompts_.Answer(IDOK);
        FolderMenu menu(empty, ModuleInstance(), IDI_CABFILE);
        EXPECT_EQ(0, menu.FolderCount());
        EXPECT_EQ(nullptr, menu.RootMenu());
        EXPECT_TRUE(menu.Result() == L".\\");
        ASSERT_EQ(1u, prompts_.Count());
        EXPECT_EQ(L"中身が存在しないので直下に圧縮します", prompts_.LastText());
        EXPECT_EQ(static_cast<UINT>(MB_ICONINFORMATION), prompts_.Prompts()[0].icon);
        // Shown anyway, as the add dialog does: nothing can open.
        menu.Show();
        EXPECT_TRUE(menu.Result().IsEmpty());
    }
    prompts_.Clear();
    {
        ListedArchive files({L"a.txt", L"b.txt"});
        prompts_.Answer(IDOK);
        FolderMenu menu(files, ModuleInstance(), IDI_CABFILE);
        EXPECT_EQ(0, menu.FolderCount());
        EXPECT_EQ(L"ディレクトリが存在しないので直下に圧縮します", prompts_.LastText());
    }
    prompts_.Clear();
    {
        ListedArchive broken({}, true);
        prompts_.Answer(IDOK);
        FolderMenu menu(broken, ModuleInstance(), IDI_CABFILE);
        EXPECT_EQ(L"一覧を読めません", prompts_.LastText());
        EXPECT_FALSE(broken.HasError()) << "the text is shown once, here";
    }
}

TEST_F(FolderMenuTest, ChoosesAFolderTheTopLevelOrNothingFromTheKeyboard)
{
    ListedArchive archive({L"a\\", L"a\\b\\", L"b.txt"});
    struct Case {
        std::vector<WORD> keys;
        const wchar_t* result;
    } cases[] = {
        {{VK_DOWN, VK_DOWN, VK_DOWN, VK_RETURN}, L"a\\b"},
        {{VK_DOWN, VK_RETURN}, L".\\"},
        {{VK_ESCAPE}, L""},
    };
    for (const Case& c : cases) {
        FolderMenu menu(archive, ModuleInstance(), IDI_CABFILE);
        ASSERT_EQ(2, menu.FolderCount());
        MenuAnswer user(c.keys);
        menu.Show();
        EXPECT_TRUE(user.MenuSeen());
        EXPECT_EQ(std::wstring(c.result), menu.Result().c_str());
    }
    EXPECT_EQ(0u, prompts_.Count());
}

TEST_F(FolderMenuTest, MouseMovedAwayShowsNoMenuAndKeepsTheTopLevel)
{
    ListedArchive archive({L"a\\"});
    {
        FolderMenu menu(archive, ModuleInstance(), IDI_CABFILE);
        SetCursorPos(411, 300);
        MenuAnswer watcher({});
        menu.Show();
        EXPECT_FALSE(watcher.MenuSeen());
        EXPECT_TRUE(menu.Result() == L".\\");
    }
    SetCursorPos(400, 300);
    {
        FolderMenu menu(archive, ModuleInstance(), IDI_CABFILE);
        SetCursorPos(410, 290);
        MenuAnswer user({VK_ESCAPE});
        menu.Show();
        EXPECT_TRUE(user.MenuSeen()) << "ten pixels are still where the drop was";
        EXPECT_TRUE(menu.Result().IsEmpty());
    }
}

TEST_F(FolderMenuTest, WaitsForTheButtonToComeUpBeforeTheMenuOpens)
{
    ListedArchive archive({L"a\\"});
    FolderMenu menu(archive, ModuleInstance(), IDI_CABFILE);
    INPUT press{};
    press.type = INPUT_MOUSE;
    press.mi.dwFlags = MOUSEEVENTF_LEFTDOWN;
    SendInput(1, &press, sizeof press);
    std::thread release([] {
        Sleep(700);
        INPUT up{};
        up.type = INPUT_MOUSE;
        up.mi.dwFlags = MOUSEEVENTF_LEFTUP;
        SendInput(1, &up, sizeof up);
    });
    MenuAnswer user({VK_ESCAPE});
    auto started = std::chrono::steady_clock::now();
    menu.Show();
    auto waited = std::chrono::steady_clock::now() - started;
    release.join();
    EXPECT_TRUE(user.MenuSeen());
    EXPECT_GE(std::chrono::duration_cast<std::chrono::milliseconds>(waited).count(), 600);
}

// Blocks the anchor window's creation, as a system out of resources would.
HHOOK g_blockHook = nullptr;
LRESULT CALLBACK BlockAnchor(int code, WPARAM wParam, LPARAM lParam)
{
    if (code == HCBT_CREATEWND) {
        auto* create = reinterpret_cast<CBT_CREATEWNDW*>(lParam);
        if (!IS_INTRESOURCE(create->lpcs->lpszClass) && lstrcmpW(create->lpcs->lpszClass, kFolderMenuClass) == 0) {
            return 1;
        }
    }
    return CallNextHookEx(g_blockHook, code, wParam, lParam);
}

TEST_F(FolderMenuTest, WithoutAnAnchorWindowShowReturnsAtOnceWithNoChoice)
{
    ListedArchive archive({L"a\\"});
    g_blockHook = SetWindowsHookExW(WH_CBT, BlockAnchor, nullptr, GetCurrentThreadId());
    ASSERT_NE(nullptr, g_blockHook);
    prompts_.Answer(IDOK);
    FolderMenu menu(archive, ModuleInstance(), IDI_CABFILE);
    UnhookWindowsHookEx(g_blockHook);
    EXPECT_EQ(nullptr, menu.Anchor());
    ASSERT_EQ(1u, prompts_.Count());
    EXPECT_EQ(0u, prompts_.LastText().find(L"CreateWindowEx Error Code ="));
    menu.Show();
    EXPECT_TRUE(menu.Result().IsEmpty()) << "nothing was chosen, so nothing may be added";
}

TEST_F(FolderMenuTest, WindowClassGoesWithTheLastMenu)
{
    WNDCLASSEXW info{};
    info.cbSize = sizeof info;
    ListedArchive archive({L"a\\"});
    {
        FolderMenu menu(archive, ModuleInstance(), IDI_CABFILE);
        ASSERT_NE(nullptr, menu.Anchor());
        EXPECT_TRUE(GetClassInfoExW(ModuleInstance(), kFolderMenuClass, &info));
        EXPECT_EQ(menu.Anchor(), FindWindowW(kFolderMenuClass, L"ZPKShlEx.dll"));
        RECT box{};
        GetWindowRect(menu.Anchor(), &box);
        EXPECT_EQ(385, box.left);
        EXPECT_EQ(31, box.right - box.left);
    }
    EXPECT_FALSE(GetClassInfoExW(ModuleInstance(), kFolderMenuClass, &info))
        << "a library unloaded later would leave a class without its procedure";
}

TEST_F(FolderMenuTest, EntriesAreMeasuredAndDrawnWithIconAndHighlight)
{
    ListedArchive archive({L"docs\\", L"x\\"});
    FolderMenu menu(archive, ModuleInstance(), IDI_CABFILE);
    ASSERT_NE(nullptr, menu.Anchor());
    MEASUREITEMSTRUCT measure{};
    measure.CtlType = ODT_MENU;
    measure.itemID = 2;  // docs
    SendMessageW(menu.Anchor(), WM_MEASUREITEM, 0, reinterpret_cast<LPARAM>(&measure));
    SIZE extent{};
    {
        ScopedWindowDC dc(menu.Anchor());
        ScopedSelect font(dc.Get(), menu.MenuFont());
        GetTextExtentPoint32W(dc.Get(), L"docs", 4, &extent);
    }
    EXPECT_EQ(static_cast<UINT>(extent.cx + menu.IconWidth() + 4), measure.itemWidth);
    EXPECT_EQ(static_cast<UINT>(menu.ItemHeight()), measure.itemHeight);
    measure.itemID = 3;  // x: one unit counts as width 1
    SendMessageW(menu.Anchor(), WM_MEASUREITEM, 0, reinterpret_cast<LPARAM>(&measure));
    EXPECT_EQ(static_cast<UINT>(1 + menu.IconWidth() + 4), measure.itemWidth);

    ScopedWindowDC screen(nullptr);
    ScopedMemoryDC memory(CreateCompatibleDC(screen.Get()));
    HDC dc = memory.Get();
    ScopedGdiObject bitmap(CreateCompatibleBitmap(screen.Get(), 200, 30));
    {
        ScopedSelect selected(dc, bitmap.Get());
        for (bool highlight : {true, false}) {
            DRAWITEMSTRUCT draw{};
            draw.CtlType = ODT_MENU;
            draw.itemID = 2;
            draw.itemState = highlight ? ODS_SELECTED : 0;
            draw.hDC = dc;
            draw.rcItem = RECT{0, 0, 200, menu.ItemHeight()};
            SendMessageW(menu.Anchor(), WM_DRAWITEM, 0, reinterpret_cast<LPARAM>(&draw));
            EXPECT_EQ(GetSysColor(highlight ? COLOR_HIGHLIGHT : COLOR_MENU), GetPixel(dc, 199, menu.ItemHeight() - 1))
                << highlight;
        }
    }
    EXPECT_EQ(0u, prompts_.Count());
}

}  // namespace
