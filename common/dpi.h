// Sizes at a monitor's scale. The programs declare per-monitor awareness, so
// Windows no longer stretches their windows: every size the code chooses
// itself is given at 96 DPI and scaled here to the DPI of the monitor it is
// shown on.
#pragma once

#include <windows.h>

// The DPI at which Windows draws at 100%, and at which the sizes are given.
const UINT kStandardDpi = 96;

// A length given at 96 DPI, at another DPI, rounded to the nearest pixel;
// a DPI of 0 (unknown) leaves it as it is.
int ScaleToDpi(int length, UINT dpi);

// A system metric at the given DPI: GetSystemMetricsForDpi from Windows 10
// 1607 on; before that the system's metric, which is at the system's DPI,
// scaled from that to the given one.
int SystemMetricForDpi(int index, UINT dpi);

// The non-client metrics (the menu and message fonts) at the given DPI, with
// the same fallback; cbSize is set here.
bool NonClientMetricsForDpi(NONCLIENTMETRICSW& metrics, UINT dpi);

// The DPI of the monitor nearest the point as Windows reports it to this
// thread's awareness; 96 without Shcore. For code that keeps no monitor list
// (the drop handler, which lives in the file manager's process).
UINT DpiOfMonitorNear(POINT point);
// The same for the monitor that holds most of the window.
UINT DpiOfWindow(HWND window);

// The shell's icon for a name, asked for by its attributes alone so that no
// file is touched, drawn at the given size: from the shell's image list of
// that size, or else from the nearest larger one, which is only ever drawn
// smaller, never stretched. Null when the shell has none.
HICON ShellIconAtSize(const wchar_t* name, DWORD attributes, int size);

// An owner-drawn menu item: the small icon at the left, the text beside it,
// both one pixel under the top at 100%.
struct MenuItemMetrics {
    int iconSize;    // side of the square small icon
    int itemHeight;  // icon and its margins
    int iconLeft;    // from the item's left edge
    int textLeft;    // from the item's left edge
    int top;         // icon and text, from the item's top
    int extraWidth;  // item width beyond the text's
};

// The item's sizes at the DPI for a small icon of that DPI: 16 pixels and
// items 19 high at 100%.
MenuItemMetrics MenuItemMetricsFor(int iconSize, UINT dpi);
