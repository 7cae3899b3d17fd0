#include "common/system.h"

#include <shlobj.h>

#include <vector>

#include "common/messages.h"
#include "common/paths.h"

extern "C" IMAGE_DOS_HEADER __ImageBase;

HINSTANCE ModuleInstance() { return reinterpret_cast<HINSTANCE>(&__ImageBase); }

namespace {

bool AtLeast(DWORD major, DWORD minor, WORD servicePack, DWORD build)
{
    OSVERSIONINFOEXW wanted{};
    wanted.dwOSVersionInfoSize = sizeof wanted;
    wanted.dwMajorVersion = major;
    wanted.dwMinorVersion = minor;
    wanted.wServicePackMajor = servicePack;
    wanted.dwBuildNumber = build;
    DWORDLONG condition = 0;
    DWORD mask = VER_MAJORVERSION | VER_MINORVERSION;
    condition = VerSetConditionMask(condition, VER_MAJORVERSION, VER_GREATER_EQUAL);
    condition = VerSetConditionMask(condition, VER_MINORVERSION, VER_GREATER_EQUAL);
    if (build != 0) {
        mask |= VER_BUILDNUMBER;
        condition = VerSetConditionMask(condition, VER_BUILDNUMBER, VER_GREATER_EQUAL);
    } else {
        mask |= VER_SERVICEPACKMAJOR;
        condition = VerSetConditionMask(condition, VER_SERVICEPACKMAJOR, VER_GREATER_EQUAL);
    }
    return VerifyVersionInfoW(&wanted, mask, condition) != FALSE;
}

int ReadElevationType()
{
    HANDLE token = nullptr;
    if (!ReportApiFailure(OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token), "OpenProcessToken")) {
        return kElevationDefault;
    }
    TOKEN_ELEVATION_TYPE type = TokenElevationTypeDefault;
    DWORD size = 0;
    ReportApiFailure(GetTokenInformation(token, TokenElevationType, &type, sizeof type, &size), "GetTokenInformation");
    ReportApiFailure(CloseHandle(token), "CloseHandle");
    return static_cast<int>(type);
}

}  // namespace

int WindowsLevel(bool* wow64, int* elevationType)
{
    if (wow64) {
        BOOL emulated = FALSE;
        IsWow64Process(GetCurrentProcess(), &emulated);
        *wow64 = emulated != FALSE;
    }
    if (elevationType) {
        *elevationType = ReadElevationType();
    }
    if (AtLeast(10, 0, 0, 22000)) {
        return kWindows11;
    }
    if (AtLeast(10, 0, 0, 0)) {
        return kWindows10;
    }
    if (AtLeast(6, 3, 0, 0)) {
        return kWindows81;
    }
    if (AtLeast(6, 2, 0, 0)) {
        return kWindows8;
    }
    if (AtLeast(6, 1, 0, 0)) {
        return kWindows7;
    }
    if (AtLeast(6, 0, 0, 0)) {
        return kWindowsVista;
    }
    ShowError(WString(L"このＯＳではサポートされていません。"));
    return kWindowsUnsupported;
}

bool MovedAway(POINT start, POINT now)
{
    int dx = now.x - start.x;
    int dy = now.y - start.y;
    return (dx < 0 ? -dx : dx) > kMovedPixels || (dy < 0 ? -dy : dy) > kMovedPixels;
}

bool ReleasedNearStart(POINT start)
{
    int button = GetSystemMetrics(SM_SWAPBUTTON) ? VK_RBUTTON : VK_LBUTTON;
    while (GetAsyncKeyState(button) & 0x8000) {
        Sleep(10);
        PumpPending();
    }
    POINT now = start;
    GetCursorPos(&now);
    return !MovedAway(start, now);
}

void PumpPending()
{
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        if (message.message == WM_QUIT) {
            // Leave the quit for the loop that owns the thread.
            PostQuitMessage(static_cast<int>(message.wParam));
            return;
        }
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
}

int RunMessageLoop(HWND dialog)
{
    MSG message;
    for (;;) {
        BOOL result = GetMessageW(&message, nullptr, 0, 0);
        if (result == 0 || result == -1) {
            break;
        }
        if (dialog && IsDialogMessageW(dialog, &message)) {
            continue;
        }
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
    return static_cast<int>(message.wParam);
}

namespace {

// Kernel object names may not hold a backslash (it separates namespaces)
// and end at MAX_PATH units; a name built from a command line may do both,
// and the platform would then refuse every instance. Backslashes become
// slashes, and an over-long name keeps its beginning and a hash of the
// whole, so that equal names still meet and different ones do not.
WString LockObjectName(const WString& name)
{
    WString usable = name.ReplaceAll(L'\\', L'/');
    const int kKept = MAX_PATH - 20;
    if (usable.Length() < MAX_PATH) {
        return usable;
    }
    uint32_t hash = 2166136261u;
    for (int i = 0; i < usable.Length(); ++i) {
        hash = (hash ^ usable.At(i)) * 16777619u;
    }
    wchar_t tail[16];
    wsprintfW(tail, L"#%08x", hash);
    return usable.Left(kKept) + tail;
}

}  // namespace

SingleInstanceMutex::SingleInstanceMutex(const WString& name)
{
    // One step, so that two instances starting together cannot both see the
    // name free; not inherited, so that a program started by this instance
    // (an editor that outlives it) does not keep later instances out.
    WString lockName = LockObjectName(name);
    ScopedKernelHandle mutex(CreateMutexW(nullptr, TRUE, lockName.c_str()));
    if (mutex && GetLastError() != ERROR_ALREADY_EXISTS) {
        handle_ = std::move(mutex);
    }
}

SingleInstanceMutex::~SingleInstanceMutex()
{
    if (handle_) {
        ReleaseMutex(handle_.Get());
    }
}

namespace {

int CALLBACK SelectInitialFolder(HWND window, UINT message, LPARAM, LPARAM data)
{
    if (message == BFFM_INITIALIZED) {
        SendMessageW(window, BFFM_SETSELECTIONW, TRUE, data);
    }
    return 0;
}

}  // namespace

bool BrowseForFolder(HWND owner, const WString& title, WString& path, bool allowNewFolder)
{
    // The picker may hand back long paths; give it room for them.
    const int kChosenPathUnits = 2600;
    std::vector<wchar_t> chosen(kChosenPathUnits, L'\0');
    BROWSEINFOW info{};
    info.hwndOwner = owner;
    info.pszDisplayName = chosen.data();
    info.lpszTitle = title.c_str();
    info.ulFlags = BIF_RETURNONLYFSDIRS | BIF_NEWDIALOGSTYLE | (allowNewFolder ? 0 : BIF_NONEWFOLDERBUTTON);
    info.lpfn = SelectInitialFolder;
    info.lParam = reinterpret_cast<LPARAM>(path.c_str());
    ScopedItemList items(SHBrowseForFolderW(&info));
    if (items && SHGetPathFromIDListEx(items.Get(), chosen.data(), kChosenPathUnits, GPFIDL_DEFAULT)) {
        path = Unquote(WString(chosen.data()));
        return true;
    }
    return false;
}
