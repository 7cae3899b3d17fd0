#include "support/stand_in_desktop.h"

#include <commctrl.h>

#include <cstring>

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

// The stand-in process. Arguments: the event to signal when ready, then
// name, x, y for each item.
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

// The program that plays the desktop. On 64-bit Windows the desktop list
// view lives in 64-bit Explorer, so a 32-bit test program there starts the
// 64-bit build of the same tests in the stand-in role (named by
// ZPK_STAND_IN_DESKTOP64); everywhere else it plays the desktop itself. An
// empty name under WOW64 without that program makes the stand-in fail
// instead of testing the wrong pairing.
std::wstring StandInProgram()
{
    BOOL underWow64 = FALSE;
    IsWow64Process(GetCurrentProcess(), &underWow64);
    if (!underWow64) {
        return std::wstring();
    }
    wchar_t path[MAX_PATH] = L"";
    DWORD length = GetEnvironmentVariableW(L"ZPK_STAND_IN_DESKTOP64", path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH || GetFileAttributesW(path) == INVALID_FILE_ATTRIBUTES) {
        return L"<ZPK_STAND_IN_DESKTOP64 names no 64-bit test program>";
    }
    return path;
}

}  // namespace

StandInDesktop::StandInDesktop(const std::vector<DesktopItem>& items)
    : eventName_(ReadyEventName()),
      ready_(CreateEventW(nullptr, TRUE, FALSE, eventName_.c_str())),
      child_(L"stand-in-desktop", StandInArguments(eventName_, items), StandInProgram())
{
    if (child_.Started() && WaitForSingleObject(ready_.Get(), 15000) == WAIT_OBJECT_0) {
        shell_ = FindWindowW(L"Progman", L"Program Manager");
    }
}

StandInDesktop::~StandInDesktop()
{
    if (shell_) {
        DWORD_PTR ignored = 0;
        SendMessageTimeoutW(shell_, WM_CLOSE, 0, 0, SMTO_ABORTIFHUNG, 2000, &ignored);
    }
    child_.Wait(5000);
}

POINT StandInDesktop::PositionOf(const std::wstring& name)
{
    LRESULT packed = Send(kPositionOf, name, 0, 0);
    if (packed == -1) {
        return POINT{-1, -1};
    }
    return POINT{static_cast<short>(LOWORD(packed)), static_cast<short>(HIWORD(packed))};
}

bool StandInDesktop::Move(const std::wstring& name, int x, int y) { return Send(kMoveItem, name, x, y) >= 0; }

bool StandInDesktop::Replace(const std::wstring& name, int x, int y) { return Send(kReplaceItem, name, x, y) >= 0; }

LRESULT StandInDesktop::Send(ULONG_PTR request, const std::wstring& name, int x, int y)
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
