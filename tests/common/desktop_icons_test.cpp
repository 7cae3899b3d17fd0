#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>
#include <shlobj.h>

#include <cstddef>
#include <cstring>
#include <string>
#include <vector>

#include "common/desktop_icons.h"
#include "common/paths.h"
#include "support/child_process.h"
#include "support/prompt_recorder.h"

namespace {

// What the test asks of the stand-in desktop, carried by WM_COPYDATA.
enum StandInRequest : ULONG_PTR { kPositionOf = 1, kMoveItem = 2, kReplaceItem = 3 };

struct StandInCommand {
    int x;
    int y;
    wchar_t name[260];
};

HWND g_standInList = nullptr;

int FindByName(HWND list, const wchar_t* name)
{
    LVFINDINFOW find{};
    find.flags = LVFI_STRING;
    find.psz = name;
    return static_cast<int>(SendMessageW(list, LVM_FINDITEMW, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(&find)));
}

int AddItem(HWND list, const wchar_t* name, int x, int y)
{
    LVITEMW item{};
    item.mask = LVIF_TEXT;
    item.iItem = ListView_GetItemCount(list);
    item.pszText = const_cast<wchar_t*>(name);
    int index = ListView_InsertItem(list, &item);
    ListView_SetItemPosition32(list, index, x, y);
    return index;
}

LRESULT CALLBACK StandInShellProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_COPYDATA) {
        const COPYDATASTRUCT* data = reinterpret_cast<const COPYDATASTRUCT*>(lParam);
        if (data->cbData != sizeof(StandInCommand)) {
            return -1;
        }
        StandInCommand command;
        memcpy(&command, data->lpData, sizeof command);
        command.name[259] = L'\0';
        int index = FindByName(g_standInList, command.name);
        if (index < 0) {
            return -1;
        }
        switch (data->dwData) {
        case kPositionOf: {
            POINT at{};
            ListView_GetItemPosition(g_standInList, index, &at);
            return MAKELONG(at.x, at.y);
        }
        case kMoveItem:
            ListView_SetItemPosition32(g_standInList, index, command.x, command.y);
            return index;
        case kReplaceItem:
            // As Explorer does when a file is deleted and another takes its
            // name: the old item goes, a new one appears elsewhere.
            ListView_DeleteItem(g_standInList, index);
            return AddItem(g_standInList, command.name, command.x, command.y);
        default:
            return -1;
        }
    }
    if (message == WM_CLOSE) {
        PostQuitMessage(0);
        return 0;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

// A second process that looks like the shell's desktop to anyone searching
// for it: "Progman" / "Program Manager" holding a SHELLDLL_DefView holding a
// SysListView32 with the named items at their positions. Arguments: the
// event to signal when ready, then name, x, y for each item.
int RunStandInDesktop(const std::vector<std::wstring>& arguments)
{
    if (arguments.empty() || (arguments.size() - 1) % 3 != 0) {
        return 2;
    }
    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_LISTVIEW_CLASSES};
    InitCommonControlsEx(&controls);
    HINSTANCE instance = GetModuleHandleW(nullptr);
    WNDCLASSW shellClass{};
    shellClass.lpfnWndProc = StandInShellProc;
    shellClass.hInstance = instance;
    shellClass.lpszClassName = L"Progman";
    RegisterClassW(&shellClass);
    WNDCLASSW viewClass{};
    viewClass.lpfnWndProc = DefWindowProcW;
    viewClass.hInstance = instance;
    viewClass.lpszClassName = L"SHELLDLL_DefView";
    RegisterClassW(&viewClass);

    HWND shell = CreateWindowExW(0, L"Progman", L"Program Manager", WS_POPUP, 0, 0, 800, 600, nullptr, nullptr,
                                 instance, nullptr);
    HWND view = CreateWindowExW(0, L"SHELLDLL_DefView", L"", WS_CHILD | WS_VISIBLE, 0, 0, 800, 600, shell, nullptr,
                                instance, nullptr);
    g_standInList = CreateWindowExW(0, WC_LISTVIEWW, L"FolderView", WS_CHILD | WS_VISIBLE | LVS_ICON, 0, 0, 800, 600,
                                    view, nullptr, instance, nullptr);
    if (!shell || !view || !g_standInList) {
        return 3;
    }
    for (size_t i = 1; i + 2 < arguments.size(); i += 3) {
        AddItem(g_standInList, arguments[i].c_str(), _wtoi(arguments[i + 1].c_str()), _wtoi(arguments[i + 2].c_str()));
    }
    HANDLE ready = OpenEventW(EVENT_MODIFY_STATE, FALSE, arguments[0].c_str());
    if (!ready) {
        return 4;
    }
    SetEvent(ready);
    CloseHandle(ready);
    // However the test ends, the stand-in does not outlive it by much.
    SetTimer(nullptr, 0, 30000, nullptr);
    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        if (message.message == WM_TIMER && message.hwnd == nullptr) {
            break;
        }
        DispatchMessageW(&message);
    }
    DestroyWindow(shell);
    return 0;
}

const bool g_standInRegistered = RegisterChildRole(L"stand-in-desktop", RunStandInDesktop);

struct DesktopItem {
    std::wstring name;
    int x;
    int y;
};

std::wstring ReadyEventName()
{
    static int serial = 0;
    return L"zpk-stand-in-desktop-" + std::to_wstring(GetCurrentProcessId()) + L"-" + std::to_wstring(++serial);
}

std::vector<std::wstring> StandInArguments(const std::wstring& eventName, const std::vector<DesktopItem>& items)
{
    std::vector<std::wstring> arguments{eventName};
    for (const auto& item : items) {
        arguments.push_back(item.name);
        arguments.push_back(std::to_wstring(item.x));
        arguments.push_back(std::to_wstring(item.y));
    }
    return arguments;
}

class StandInDesktop {
public:
    explicit StandInDesktop(const std::vector<DesktopItem>& items)
        : eventName_(ReadyEventName()),
          ready_(CreateEventW(nullptr, TRUE, FALSE, eventName_.c_str())),
          child_(L"stand-in-desktop", StandInArguments(eventName_, items))
    {
        if (child_.Started() && WaitForSingleObject(ready_.Get(), 15000) == WAIT_OBJECT_0) {
            shell_ = FindWindowW(L"Progman", L"Program Manager");
        }
    }
    ~StandInDesktop()
    {
        if (shell_) {
            DWORD_PTR ignored = 0;
            SendMessageTimeoutW(shell_, WM_CLOSE, 0, 0, SMTO_ABORTIFHUNG, 2000, &ignored);
        }
        child_.Wait(5000);
    }

    bool Ready() const { return shell_ != nullptr; }

    // The item's position as the stand-in itself reads it; (-1, -1) when
    // no item has the name.
    POINT PositionOf(const std::wstring& name) { return Unpack(Send(kPositionOf, name, 0, 0)); }
    bool Move(const std::wstring& name, int x, int y) { return Send(kMoveItem, name, x, y) >= 0; }
    bool Replace(const std::wstring& name, int x, int y) { return Send(kReplaceItem, name, x, y) >= 0; }

private:
    LRESULT Send(StandInRequest request, const std::wstring& name, int x, int y)
    {
        StandInCommand command{};
        command.x = x;
        command.y = y;
        wcsncpy(command.name, name.c_str(), 259);
        COPYDATASTRUCT data{request, sizeof command, &command};
        DWORD_PTR result = static_cast<DWORD_PTR>(-1);
        if (!SendMessageTimeoutW(shell_, WM_COPYDATA, 0, reinterpret_cast<LPARAM>(&data), SMTO_ABORTIFHUNG, 5000,
                                 &result)) {
            return -1;
        }
        return static_cast<LRESULT>(result);
    }
    static POINT Unpack(LRESULT packed)
    {
        if (packed == -1) {
            return POINT{-1, -1};
        }
        return POINT{static_cast<short>(LOWORD(packed)), static_cast<short>(HIWORD(packed))};
    }

    std::wstring eventName_;
    ScopedKernelHandle ready_;
    ChildProcess child_;
    HWND shell_ = nullptr;
};

WString OnDesktop(const wchar_t* name) { return JoinPath(SpecialFolderPath(CSIDL_DESKTOP), WString(name)); }

void ExpectAt(POINT at, int x, int y)
{
    EXPECT_EQ(at.x, x);
    EXPECT_EQ(at.y, y);
}

TEST(DesktopIconKeeperTest, PutsTheReplacedFilesIconBack)
{
    ASSERT_FALSE(SpecialFolderPath(CSIDL_DESKTOP).IsEmpty());
    StandInDesktop desktop({{L"readme.txt", 20, 20}, {L"写真.zip", 200, 150}, {L"notes.txt", 20, 110}});
    ASSERT_TRUE(desktop.Ready());
    ExpectAt(desktop.PositionOf(L"写真.zip"), 200, 150);

    DesktopIconKeeper keeper(OnDesktop(L"写真.zip"));
    ASSERT_TRUE(keeper.Recorded());
    ExpectAt(keeper.RecordedPosition(), 200, 150);

    // The archive is replaced: its item vanishes and a new one appears in
    // the next free place, at another index.
    ASSERT_TRUE(desktop.Replace(L"写真.zip", 400, 300));
    ExpectAt(desktop.PositionOf(L"写真.zip"), 400, 300);
    EXPECT_TRUE(keeper.Restore(OnDesktop(L"写真.zip")));
    ExpectAt(desktop.PositionOf(L"写真.zip"), 200, 150);
    // The other icons stay where they were.
    ExpectAt(desktop.PositionOf(L"readme.txt"), 20, 20);
    ExpectAt(desktop.PositionOf(L"notes.txt"), 20, 110);
}

TEST(DesktopIconKeeperTest, FindsItemUnderNameWithoutExtension)
{
    StandInDesktop desktop({{L"a", 300, 60}, {L"b.zip", 100, 200}});
    ASSERT_TRUE(desktop.Ready());

    DesktopIconKeeper keeper(OnDesktop(L"a.zip"));
    ASSERT_TRUE(keeper.Recorded());
    ExpectAt(keeper.RecordedPosition(), 300, 60);
    ASSERT_TRUE(desktop.Move(L"a", 10, 400));
    EXPECT_TRUE(keeper.Restore(OnDesktop(L"a.zip")));
    ExpectAt(desktop.PositionOf(L"a"), 300, 60);

    // An archive in a folder on the desktop is looked for on the desktop
    // itself, by its name.
    DesktopIconKeeper nested(OnDesktop(L"作業\\b.zip"));
    EXPECT_TRUE(nested.Recorded());
    ExpectAt(nested.RecordedPosition(), 100, 200);
}

TEST(DesktopIconKeeperTest, ArchiveOutsideDesktopChangesNothing)
{
    StandInDesktop desktop({{L"a.zip", 120, 80}});
    ASSERT_TRUE(desktop.Ready());
    WString desktopFolder = SpecialFolderPath(CSIDL_DESKTOP);
    {
        DesktopIconKeeper keeper(JoinPath(SpecialFolderPath(CSIDL_PERSONAL), WString(L"a.zip")));
        EXPECT_FALSE(keeper.Recorded());
        ASSERT_TRUE(desktop.Move(L"a.zip", 500, 500));
        EXPECT_FALSE(keeper.Restore(JoinPath(SpecialFolderPath(CSIDL_PERSONAL), WString(L"a.zip"))));
        ExpectAt(desktop.PositionOf(L"a.zip"), 500, 500);
    }
    // A sibling folder whose name merely begins like the desktop's.
    DesktopIconKeeper sibling(desktopFolder + L"Old\\a.zip");
    EXPECT_FALSE(sibling.Recorded());
    EXPECT_FALSE(sibling.Restore(desktopFolder + L"Old\\a.zip"));
    // The desktop folder itself is no file on it.
    DesktopIconKeeper folder(desktopFolder);
    EXPECT_FALSE(folder.Recorded());
    ExpectAt(desktop.PositionOf(L"a.zip"), 500, 500);
}

TEST(DesktopIconKeeperTest, MissingItemRecordsNothingAndRestoreMovesNothing)
{
    StandInDesktop desktop({{L"other.zip", 40, 40}});
    ASSERT_TRUE(desktop.Ready());
    DesktopIconKeeper keeper(OnDesktop(L"missing.zip"));
    EXPECT_FALSE(keeper.Recorded());
    EXPECT_FALSE(keeper.Restore(OnDesktop(L"missing.zip")));
    ExpectAt(desktop.PositionOf(L"other.zip"), 40, 40);
}

TEST(DesktopIconKeeperTest, WithoutDesktopListViewNothingIsRecorded)
{
    ASSERT_EQ(FindWindowW(L"Progman", L"Program Manager"), nullptr);
    DesktopIconKeeper keeper(OnDesktop(L"a.zip"));
    EXPECT_FALSE(keeper.Recorded());
    EXPECT_FALSE(keeper.Restore(OnDesktop(L"a.zip")));
}

unsigned int Read32(const unsigned char* at)
{
    unsigned int value;
    memcpy(&value, at, sizeof value);
    return value;
}

unsigned long long Read64(const unsigned char* at)
{
    unsigned long long value;
    memcpy(&value, at, sizeof value);
    return value;
}

bool AllZero(const unsigned char* from, const unsigned char* to)
{
    for (; from < to; ++from) {
        if (*from != 0) {
            return false;
        }
    }
    return true;
}

TEST(DesktopFindBlock, SixtyFourBitLayoutIsForty)
{
    unsigned char block[48];
    memset(block, 0xCC, sizeof block);
    ASSERT_EQ(DesktopIconKeeper::BuildFindBlock(block, 0xFFFFFFFF80001000ull, true), 40);
    EXPECT_EQ(Read32(block), static_cast<unsigned>(LVFI_STRING));
    EXPECT_EQ(Read32(block + 4), 0u);
    EXPECT_EQ(Read64(block + 8), 0xFFFFFFFF80001000ull);
    EXPECT_TRUE(AllZero(block + 16, block + 40));
    EXPECT_EQ(block[40], 0xCC);
#ifdef _WIN64
    // The list view of a 64-bit process reads it as its own structure.
    EXPECT_EQ(sizeof(LVFINDINFOW), 40u);
    EXPECT_EQ(offsetof(LVFINDINFOW, psz), 8u);
#endif
}

TEST(DesktopFindBlock, ThirtyTwoBitLayoutIsTwentyFour)
{
    unsigned char block[48];
    memset(block, 0xCC, sizeof block);
    ASSERT_EQ(DesktopIconKeeper::BuildFindBlock(block, 0x00A31000ull, false), 24);
    EXPECT_EQ(Read32(block), static_cast<unsigned>(LVFI_STRING));
    EXPECT_EQ(Read32(block + 4), 0x00A31000u);
    EXPECT_TRUE(AllZero(block + 8, block + 24));
    EXPECT_EQ(block[24], 0xCC);
}

}  // namespace
