// Drives the windows of another process as a user would: finds a window by
// class and title, reads its texts and presses its buttons.
#pragma once

#include <windows.h>
#include <string>
#include <vector>

// Waits up to the timeout for a visible top-level window; null when none came.
HWND WaitForTopLevelWindow(const wchar_t* className, const wchar_t* title, DWORD milliseconds = 15000);
// A visible top-level dialog of the process, with this title when one is
// given; null when there is none now.
HWND FindDialogOf(DWORD processId, const wchar_t* title = nullptr);
// Waits for a visible top-level dialog of the given process.
HWND WaitForProcessDialog(DWORD processId, DWORD milliseconds = 15000);
// A child control whose text is exactly this, or null.
HWND FindChildWithText(HWND parent, const std::wstring& text);
std::wstring WindowTextOf(HWND window);
// The text of a message box (its static text control).
std::wstring StaticTextOf(HWND box);
// Clicks the button with this id; false when there is none.
bool PressButton(HWND dialog, int buttonId);

// Waits for a visible popup menu ("#32768"); null when none came.
HWND WaitForPopupMenu(DWORD milliseconds = 15000);
// Presses and releases each virtual key in turn through SendInput, as a
// user at the keyboard: posted keys do not reach a menu's own loop.
void PressKeys(const std::vector<WORD>& keys);

// The mouse as a user moves it: the cursor goes there and a move is sent
// through SendInput, so that drag loops and menus see it.
void MouseTo(int x, int y);
// One button event through SendInput (MOUSEEVENTF_LEFTDOWN, ...).
void MouseButton(DWORD flag);
// Moves the mouse onto the middle of a control and clicks it; false when
// the control is not a visible, enabled window.
bool ClickWithMouse(HWND control);
