// The small modeless progress window of long operations (dialog 9600), with
// the progress mirrored on the program's taskbar button from Windows 7 on.
#pragma once

#include <windows.h>
#include <shobjidl.h>

#include "common/handles.h"
#include "common/wstring.h"

// Whether the taskbar button can show progress on this Windows level.
bool TaskbarProgressAvailable(int windowsLevel);

class ProgressWindow {
public:
    // Makes the taskbar list object; CoCreateInstance unless replaced.
    using TaskbarFactory = HRESULT (*)(ITaskbarList** taskbarList);

    // Creates and shows the window without owner.
    ProgressWindow(const WString& title, int iconId);
    // The same for a given Windows level instead of the running one.
    ProgressWindow(const WString& title, int iconId, int windowsLevel);
    ~ProgressWindow();
    ProgressWindow(const ProgressWindow&) = delete;
    ProgressWindow& operator=(const ProgressWindow&) = delete;

    void SetText(const WString& text);
    // A label followed by a path, the path shortened so that the whole line
    // fits the text line.
    void SetPathText(const WString& label, const WString& path);
    // 0 ... 100; a position already shown is not sent again.
    void SetPosition(int percent);
    // Whether a per-item text is to be shown now. Drawing a line costs more
    // under some systems than compressing a small file, so a folder of
    // thousands of files shows at most one text per kItemTextInterval
    // milliseconds; the first item is always shown.
    bool ItemTextDue();
    static constexpr ULONGLONG kItemTextInterval = 50;
    // The end of a successful operation: "完了", shown long enough to be
    // read (kCompletedPause milliseconds) before the window goes.
    void ShowCompleted();
    static constexpr DWORD kCompletedPause = 500;

    HWND Window() const { return window_.Get(); }
    // The text line's device context and width, for shortening paths with
    // CompactPath before they are shown.
    HDC TextSurface() const { return textSurface_.Get(); }
    int TextWidth() const { return textWidth_; }
    bool UsesTaskbar() const { return static_cast<bool>(taskbar_); }

    // Replaces the maker of the taskbar list object for every later window
    // (null restores the real one); returns the one it replaces.
    static TaskbarFactory SetTaskbarFactory(TaskbarFactory factory);

    // The millisecond clock ItemTextDue reads; GetTickCount64 unless
    // replaced (null restores it). Returns the one it replaces.
    using Clock = ULONGLONG (*)();
    static Clock SetClock(Clock clock);

private:
    static INT_PTR CALLBACK DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    void Create(const WString& title, int iconId);
    void ConnectTaskbar();
    // Sizes the icon and measures the text line at the DPI of the window's
    // monitor, at the start and again whenever the window moves to another.
    void FitToDpi(UINT dpi);

    // Held for the window's lifetime so that the taskbar object can be
    // made whatever the calling thread did about COM.
    ScopedComInit com_;
    ScopedWindow window_;
    ScopedWindowDC textSurface_;
    // The line's font in the text surface; the surface goes back to the
    // control with the font it came with.
    ScopedSelect lineFont_;
    int textWidth_ = 0;
    int iconId_ = 0;
    ScopedIcon icon_;
    int windowsLevel_ = 0;
    int shownPercent_ = 0;
    bool itemTextShown_ = false;
    ULONGLONG itemTextShownAt_ = 0;
    ComPtr<ITaskbarList> taskbarList_;
    ComPtr<ITaskbarList2> taskbar2_;
    ComPtr<ITaskbarList3> taskbar3_;
    ComPtr<ITaskbarList4> taskbar_;
};
