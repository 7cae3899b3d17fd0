#include "common/messages.h"

#include <cstdio>

const wchar_t kProductName[] = L"Zupako";

namespace {

// Not every implementation of MessageBox honours MB_TOPMOST, so the box is
// also raised above other windows when it is first activated.
HHOOK g_boxHook = nullptr;

LRESULT CALLBACK RaiseBox(int code, WPARAM wParam, LPARAM lParam)
{
    if (code == HCBT_ACTIVATE) {
        HWND window = reinterpret_cast<HWND>(wParam);
        wchar_t className[16] = {};
        GetClassNameW(window, className, 16);
        if (wcscmp(className, L"#32770") == 0) {
            SetWindowPos(window, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
        }
    }
    return CallNextHookEx(g_boxHook, code, wParam, lParam);
}

class MessageBoxPrompts : public PromptHandler {
public:
    int Answer(const Prompt& prompt) override
    {
        HHOOK outer = g_boxHook;
        g_boxHook = SetWindowsHookExW(WH_CBT, RaiseBox, nullptr, GetCurrentThreadId());
        int answer = MessageBoxW(prompt.owner, prompt.text.c_str(), kProductName,
                                 prompt.icon | prompt.buttons | MB_TOPMOST | MB_SETFOREGROUND);
        if (g_boxHook) {
            UnhookWindowsHookEx(g_boxHook);
        }
        g_boxHook = outer;
        return answer;
    }
};

MessageBoxPrompts g_messageBoxes;
PromptHandler* g_handler = &g_messageBoxes;

int Show(const WString& text, HWND owner, UINT icon, UINT buttons)
{
    Prompt prompt{text, owner, icon, buttons};
    return g_handler->Answer(prompt);
}

}  // namespace

PromptHandler* SetPromptHandler(PromptHandler* handler)
{
    PromptHandler* previous = g_handler == &g_messageBoxes ? nullptr : g_handler;
    g_handler = handler ? handler : &g_messageBoxes;
    return previous;
}

int ShowError(const WString& text, HWND owner) { return Show(text, owner, MB_ICONERROR, MB_OK); }

int ShowInfo(const WString& text, HWND owner) { return Show(text, owner, MB_ICONINFORMATION, MB_OK); }

int AskUser(const WString& text, HWND owner, UINT buttons) { return Show(text, owner, MB_ICONQUESTION, buttons); }

bool ReportApiFailure(BOOL result, const char* tag)
{
    if (result) {
        return true;
    }
    DWORD code = GetLastError();
    char text[512];
    snprintf(text, sizeof text, "%s Error Code =%d", tag, static_cast<int>(code));
    ShowError(WString::FromAnsi(text));
    SetLastError(code);
    return false;
}

bool ReportApiFailure(const void* result, const char* tag) { return ReportApiFailure(result != nullptr, tag); }

bool ReportHResultFailure(HRESULT hr, const char* tag)
{
    if (hr >= 0) {
        return true;
    }
    char text[512];
    snprintf(text, sizeof text, "%s Error Code =0x%08x", tag, static_cast<unsigned>(hr));
    ShowError(WString::FromAnsi(text));
    return false;
}
