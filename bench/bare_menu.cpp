// The least a program can do to show a popup menu: one hidden window and
// three plain items. viewer_bench starts it exactly as it starts ZPKMain,
// so that the difference between the two figures is the viewer's own.
#include <windows.h>

namespace {

LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_CLOSE) {
        PostQuitMessage(0);
        return 0;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, LPWSTR, int)
{
    WNDCLASSW windowClass{};
    windowClass.lpfnWndProc = WindowProc;
    windowClass.hInstance = instance;
    windowClass.lpszClassName = L"BAREMENUBENCH";
    RegisterClassW(&windowClass);
    POINT cursor{0, 0};
    GetCursorPos(&cursor);
    HWND window = CreateWindowExW(WS_EX_TOOLWINDOW | WS_EX_TOPMOST, L"BAREMENUBENCH", L"bare", WS_POPUP, cursor.x,
                                  cursor.y, 1, 1, nullptr, nullptr, instance, nullptr);
    ShowWindow(window, SW_SHOW);
    SetForegroundWindow(window);
    HMENU menu = CreatePopupMenu();
    AppendMenuW(menu, MF_STRING, 1, L"one");
    AppendMenuW(menu, MF_STRING, 2, L"two");
    AppendMenuW(menu, MF_STRING, 3, L"three");
    TrackPopupMenuEx(menu, TPM_RETURNCMD, cursor.x, cursor.y, window, nullptr);
    DestroyMenu(menu);
    DestroyWindow(window);
    return 0;
}
