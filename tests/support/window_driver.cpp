#include "support/window_driver.h"

#include <algorithm>
#include <vector>

HWND WaitForTopLevelWindow(const wchar_t* className, const wchar_t* title, DWORD milliseconds)
{
    ULONGLONG deadline = GetTickCount64() + milliseconds;
    do {
        HWND window = FindWindowW(className, title);
        if (window && IsWindowVisible(window)) {
            return window;
        }
        Sleep(50);
    } while (GetTickCount64() < deadline);
    return nullptr;
}

std::wstring WindowTextOf(HWND window)
{
    // Asked of the window itself: GetWindowText gives only the caption for a
    // window of another process, never the text of its edit controls.
    DWORD_PTR length = 0;
    SendMessageTimeoutW(window, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, 5000, &length);
    std::vector<wchar_t> text(length + 1);
    DWORD_PTR copied = 0;
    SendMessageTimeoutW(window, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()), SMTO_ABORTIFHUNG,
                        5000, &copied);
    text[std::min<size_t>(copied, length)] = L'\0';
    return std::wstring(text.data());
}

namespace {

BOOL CALLBACK CollectStaticText(HWND child, LPARAM data)
{
    wchar_t className[32];
    GetClassNameW(child, className, 32);
    if (lstrcmpiW(className, L"Static") == 0 && GetWindowTextLengthW(child) > 0) {
        *reinterpret_cast<std::wstring*>(data) = WindowTextOf(child);
        return FALSE;
    }
    return TRUE;
}

}  // namespace

std::wstring StaticTextOf(HWND box)
{
    // Message boxes keep their text in a static control with id 0xFFFF.
    HWND text = GetDlgItem(box, 0xFFFF);
    if (text) {
        return WindowTextOf(text);
    }
    std::wstring found;
    EnumChildWindows(box, CollectStaticText, reinterpret_cast<LPARAM>(&found));
    return found;
}

bool PressButton(HWND dialog, int buttonId)
{
    HWND button = GetDlgItem(dialog, buttonId);
    if (!button) {
        return false;
    }
    PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(buttonId, BN_CLICKED), reinterpret_cast<LPARAM>(button));
    return true;
}

namespace {

struct DialogSearch {
    DWORD processId;
    const wchar_t* title;
    HWND found;
};

BOOL CALLBACK FindProcessDialog(HWND window, LPARAM data)
{
    auto* s = reinterpret_cast<DialogSearch*>(data);
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    wchar_t className[16] = {};
    GetClassNameW(window, className, 16);
    if (owner == s->processId && IsWindowVisible(window) && wcscmp(className, L"#32770") == 0 &&
        (!s->title || WindowTextOf(window) == s->title)) {
        s->found = window;
        return FALSE;
    }
    return TRUE;
}

}  // namespace

HWND FindDialogOf(DWORD processId, const wchar_t* title)
{
    DialogSearch search{processId, title, nullptr};
    EnumWindows(FindProcessDialog, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

HWND WaitForProcessDialog(DWORD processId, DWORD milliseconds)
{
    ULONGLONG deadline = GetTickCount64() + milliseconds;
    do {
        HWND found = FindDialogOf(processId);
        if (found) {
            return found;
        }
        Sleep(50);
    } while (GetTickCount64() < deadline);
    return nullptr;
}

namespace {

struct TextSearch {
    const std::wstring* text;
    HWND found;
};

BOOL CALLBACK FindTextChild(HWND child, LPARAM data)
{
    auto* s = reinterpret_cast<TextSearch*>(data);
    if (WindowTextOf(child) == *s->text) {
        s->found = child;
        return FALSE;
    }
    return TRUE;
}

}  // namespace

HWND FindChildWithText(HWND parent, const std::wstring& text)
{
    TextSearch search{&text, nullptr};
    EnumChildWindows(parent, FindTextChild, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

HWND WaitForPopupMenu(DWORD milliseconds) { return WaitForTopLevelWindow(L"#32768", nullptr, milliseconds); }

void PressKeys(const std::vector<WORD>& keys)
{
    for (WORD key : keys) {
        INPUT strokes[2]{};
        strokes[0].type = INPUT_KEYBOARD;
        strokes[0].ki.wVk = key;
        strokes[1] = strokes[0];
        strokes[1].ki.dwFlags = KEYEVENTF_KEYUP;
        SendInput(2, strokes, sizeof(INPUT));
        // The menu's loop takes each key before the next one comes.
        Sleep(100);
    }
}

void MouseTo(int x, int y)
{
    SetCursorPos(x, y);
    INPUT move{};
    move.type = INPUT_MOUSE;
    move.mi.dwFlags = MOUSEEVENTF_MOVE;
    SendInput(1, &move, sizeof move);
}

void MouseButton(DWORD flag)
{
    INPUT press{};
    press.type = INPUT_MOUSE;
    press.mi.dwFlags = flag;
    SendInput(1, &press, sizeof press);
}

bool ClickWithMouse(HWND control)
{
    RECT area{};
    if (!control || !IsWindowVisible(control) || !IsWindowEnabled(control) || !GetWindowRect(control, &area)) {
        return false;
    }
    // The window comes to the front first: a click on a covered control
    // would land on whatever lies above it.
    SetForegroundWindow(GetAncestor(control, GA_ROOT));
    MouseTo((area.left + area.right) / 2, (area.top + area.bottom) / 2);
    Sleep(150);
    MouseButton(MOUSEEVENTF_LEFTDOWN);
    Sleep(80);
    MouseButton(MOUSEEVENTF_LEFTUP);
    return true;
}
