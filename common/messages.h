// Every message box of the system goes through one replaceable point. The
// programs show real topmost boxes titled with the product name; tests put a
// recorder in its place that reads each text and answers from a script.
#pragma once

#include <windows.h>

#include "common/wstring.h"

extern const wchar_t kProductName[];

struct Prompt {
    WString text;
    HWND owner;
    // MB_ICON* bits of the box.
    UINT icon;
    // MB_OK, MB_OKCANCEL, MB_YESNO, MB_YESNOCANCEL ...
    UINT buttons;
};

class PromptHandler {
public:
    virtual ~PromptHandler() = default;
    // Returns the button the user chose (IDOK, IDYES ...).
    virtual int Answer(const Prompt& prompt) = 0;
};

// Installs a handler for every later box and returns the one it replaces.
// Passing null restores the real message boxes.
PromptHandler* SetPromptHandler(PromptHandler* handler);

int ShowError(const WString& text, HWND owner = nullptr);
int ShowInfo(const WString& text, HWND owner = nullptr);
int AskUser(const WString& text, HWND owner, UINT buttons);

// Reports a failed Windows call (result zero) as "tag Error Code =N" with the
// thread's last error; returns whether the call succeeded.
bool ReportApiFailure(BOOL result, const char* tag);
// The same for pointers and handles that are null on failure.
bool ReportApiFailure(const void* result, const char* tag);
// Reports a failed COM call as "tag Error Code =0xXXXXXXXX".
bool ReportHResultFailure(HRESULT hr, const char* tag);
