// A second process that looks like the shell's desktop to anyone searching
// for it: a "Progman" window titled "Program Manager" holding a
// SHELLDLL_DefView holding a SysListView32 (large icons, no automatic
// arrangement) with named items at given positions. Code that keeps desktop
// icons in place is tested against it; the test drives it like Explorer would.
// Only one may run at a time, as the searching code takes the first it finds:
// a test program that starts one takes the CTest RESOURCE_LOCK "desktop".
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "common/handles.h"
#include "support/child_process.h"

struct DesktopItem {
    std::wstring name;
    int x;
    int y;
};

class StandInDesktop {
public:
    // Starts the stand-in and waits until its list view holds the items.
    explicit StandInDesktop(const std::vector<DesktopItem>& items);
    // Closes the stand-in; it also ends by itself after half a minute.
    ~StandInDesktop();
    StandInDesktop(const StandInDesktop&) = delete;
    StandInDesktop& operator=(const StandInDesktop&) = delete;

    bool Ready() const { return shell_ != nullptr; }

    // The item's position as the stand-in itself reads it; (-1, -1) when
    // no item has the name. Coordinates are 0 ... 32767.
    POINT PositionOf(const std::wstring& name);
    bool Move(const std::wstring& name, int x, int y);
    // As Explorer does when a file is deleted and another takes its name:
    // the old item goes and a new one appears at x, y, at another index.
    bool Replace(const std::wstring& name, int x, int y);

private:
    LRESULT Send(ULONG_PTR request, const std::wstring& name, int x, int y);

    std::wstring eventName_;
    ScopedKernelHandle ready_;
    ChildProcess child_;
    HWND shell_ = nullptr;
};
