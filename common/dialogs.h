// Small helpers for dialog windows, and the About box.
#pragma once

#include <windows.h>

#include "common/handles.h"
#include "common/wstring.h"

// The object behind a dialog: stored from the creation parameter at
// WM_INITDIALOG and read back for every later message; null for the few
// messages that come before it.
template <class T>
T* DialogInstance(HWND window, UINT message, LPARAM lParam)
{
    if (message == WM_INITDIALOG) {
        SetWindowLongPtrW(window, DWLP_USER, lParam);
    }
    return reinterpret_cast<T*>(GetWindowLongPtrW(window, DWLP_USER));
}

// The same for a window made by CreateWindowEx, stored at WM_NCCREATE.
template <class T>
T* WindowInstance(HWND window, UINT message, LPARAM lParam)
{
    if (message == WM_NCCREATE) {
        auto* create = reinterpret_cast<CREATESTRUCTW*>(lParam);
        SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
    }
    return reinterpret_cast<T*>(GetWindowLongPtrW(window, GWLP_USERDATA));
}

// The whole text of a control.
WString DialogItemText(HWND dialog, int controlId);
// A font of the given point size at the scale of the dialog's monitor and
// of the given face (Shift-JIS character set). It is set on the control when
// the id is positive; the caller deletes it. Null when the face name is too
// long.
HFONT CreateControlFont(HWND dialog, int controlId, int points, const wchar_t* faceName, bool redraw);
// An icon resource at the small or large icon size of the DPI (of a window's
// monitor, DpiOfWindow); 0 takes the system's size.
HICON LoadSmallIcon(int resourceId, UINT dpi = 0);
HICON LoadLargeIcon(int resourceId, UINT dpi = 0);
// Gives the window the icon resource as its small icon at the DPI, kept in
// icon (the window shows it until it is replaced or the window goes).
void SetSmallIcon(HWND window, int resourceId, UINT dpi, ScopedIcon& icon);
// WM_DPICHANGED of a window moved to a monitor of another scale: it takes the
// rectangle Windows suggests (lParam); the dialog manager has scaled a
// dialog's fonts and controls, what the code sized itself is the caller's.
void TakeSuggestedRectangle(HWND window, LPARAM lParam);
// A tooltip on a control that shows even while the dialog is inactive and
// breaks its lines exactly where the text has "\n".
HWND AttachTooltip(HWND dialog, int controlId, const WString& text, int displayMilliseconds);
// The answer to WM_CTLCOLORSTATIC for a static text drawn in its own
// colour on the dialog's face.
INT_PTR ColorStaticOnFace(HDC dc, COLORREF text);
// Index of the checked button of the group first+1 ... first+count, or -1.
int GetRadioIndex(HWND dialog, int firstId, int count);
// Checks button first+1+index alone; an index outside the group clears it.
void SetRadioIndex(HWND dialog, int firstId, int count, int index);

enum AboutBoxIds {
    kAboutDialog = 9000,
    kAboutIcon = 9001,
    kAboutProductName = 9002,
    kAboutVersion = 9003,
    kAboutSummary = 9004,
    kAboutOk = 9008,
};

// Shows dialog 9000 modally.
void AboutBox(HWND owner, int iconId, const WString& version, const WString& summary);
