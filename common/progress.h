// The small modeless progress window of long operations (dialog 9600), with
// the progress mirrored on the program's taskbar button from Windows 7 on.
#pragma once

#include <windows.h>
#include <shobjidl.h>

#include "common/handles.h"
#include "common/wstring.h"

class ProgressWindow {
public:
    // Creates and shows the window without owner.
    ProgressWindow(const WString& title, int iconId);
    ~ProgressWindow();
    ProgressWindow(const ProgressWindow&) = delete;
    ProgressWindow& operator=(const ProgressWindow&) = delete;

    void SetText(const WString& text);
    // 0 ... 100.
    void SetPosition(int percent);

    HWND Window() const { return window_; }
    // The text line's device context and width, for shortening paths with
    // CompactPath before they are shown.
    HDC TextSurface() const { return textSurface_; }
    int TextWidth() const { return textWidth_; }
    bool UsesTaskbar() const { return taskbar_ != nullptr; }

private:
    HWND window_ = nullptr;
    HDC textSurface_ = nullptr;
    int textWidth_ = 0;
    HICON icon_ = nullptr;
    int windowsLevel_ = 0;
    ComPtr<ITaskbarList> taskbarList_;
    ComPtr<ITaskbarList2> taskbar2_;
    ComPtr<ITaskbarList3> taskbar3_;
    ITaskbarList4* taskbar_ = nullptr;
};
