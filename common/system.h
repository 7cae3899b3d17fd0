// Windows version, message pumps, single-instance rule and the folder picker.
#pragma once

#include <windows.h>

#include "common/handles.h"
#include "common/wstring.h"

// The module (program or DLL) whose resources this code uses.
HINSTANCE ModuleInstance();

// A function of a library loaded at run time, typed as the caller binds it;
// null when the library does not export it.
template <typename Function>
Function GetProcedure(HMODULE module, const char* name)
{
    return reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}

enum WindowsLevelValue {
    kWindowsUnsupported = 0,
    kWindowsVista = 1,
    kWindows7 = 2,
    kWindows8 = 3,
    kWindows81 = 4,
    kWindows10 = 5,
    kWindows11 = 6,
};

enum ElevationType {
    kElevationDefault = 1,
    kElevationLimited = 2,
    kElevationFull = 3,
};

// The running Windows as a level (see the enumeration). Tells whether the
// process is a 32-bit program on 64-bit Windows and, when asked, its token's
// elevation type. Older systems get a message and level 0.
int WindowsLevel(bool* wow64 = nullptr, int* elevationType = nullptr);

// Dispatches every queued message of the thread and returns.
void PumpPending();
// A menu that opens where the user clicked waits for the button to come up,
// so that the release does not choose an item, and does not open when the
// mouse has meanwhile moved more than kMovedPixels either way from where it
// was: the user has turned to something else.
const int kMovedPixels = 10;
bool MovedAway(POINT start, POINT now);
// Waits for the primary button to be released, serving the thread's windows
// meanwhile; true when the cursor is then still near the start.
bool ReleasedNearStart(POINT start);
// Runs until WM_QUIT (its code is returned) or an error; a dialog given
// here gets its keyboard messages first.
int RunMessageLoop(HWND dialog = nullptr);

// A named mutex telling whether another instance runs.
class SingleInstanceMutex {
public:
    explicit SingleInstanceMutex(const WString& name);
    ~SingleInstanceMutex();
    SingleInstanceMutex(const SingleInstanceMutex&) = delete;
    SingleInstanceMutex& operator=(const SingleInstanceMutex&) = delete;
    // True when this process is the first instance and holds the mutex.
    bool IsFirstInstance() const { return handle_.IsValid(); }

private:
    ScopedKernelHandle handle_;
};

// The shell folder picker for file-system folders, opened at path. On a
// choice path becomes the chosen folder and the result is true.
bool BrowseForFolder(HWND owner, const WString& title, WString& path, bool allowNewFolder);
