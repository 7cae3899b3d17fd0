#include "common/progress.h"

#include <commctrl.h>

#include "common/dialogs.h"
#include "common/dpi.h"
#include "common/messages.h"
#include "common/paths.h"
#include "common/system.h"
#include "common_ids.h"

namespace {

HRESULT CreateSystemTaskbarList(ITaskbarList** taskbarList)
{
    return CoCreateInstance(CLSID_TaskbarList, nullptr, CLSCTX_INPROC_SERVER, IID_ITaskbarList,
                            reinterpret_cast<void**>(taskbarList));
}

ProgressWindow::TaskbarFactory g_taskbarFactory = CreateSystemTaskbarList;

ULONGLONG SystemClock() { return GetTickCount64(); }

ProgressWindow::Clock g_clock = SystemClock;

}  // namespace

bool TaskbarProgressAvailable(int windowsLevel) { return windowsLevel > kWindowsVista; }

ProgressWindow::TaskbarFactory ProgressWindow::SetTaskbarFactory(TaskbarFactory factory)
{
    TaskbarFactory previous = g_taskbarFactory;
    g_taskbarFactory = factory ? factory : CreateSystemTaskbarList;
    return previous;
}

ProgressWindow::Clock ProgressWindow::SetClock(Clock clock)
{
    Clock previous = g_clock;
    g_clock = clock ? clock : SystemClock;
    return previous;
}

ProgressWindow::ProgressWindow(const WString& title, int iconId) : windowsLevel_(WindowsLevel())
{
    Create(title, iconId);
}

ProgressWindow::ProgressWindow(const WString& title, int iconId, int windowsLevel) : windowsLevel_(windowsLevel)
{
    Create(title, iconId);
}

// There is nothing to press; only a move to a monitor of another scale needs
// handling.
INT_PTR CALLBACK ProgressWindow::DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    auto* self = DialogInstance<ProgressWindow>(window, message, lParam);
    if (self && message == WM_DPICHANGED) {
        TakeSuggestedRectangle(window, lParam);
        self->FitToDpi(HIWORD(wParam));
        return TRUE;
    }
    return FALSE;
}

void ProgressWindow::Create(const WString& title, int iconId)
{
    iconId_ = iconId;
    window_.Reset(CreateDialogParamW(ModuleInstance(), MAKEINTRESOURCEW(IDD_PROGRESS), nullptr, DialogProc,
                                     reinterpret_cast<LPARAM>(this)));
    if (!ReportApiFailure(window_.IsValid(), "CreateDialogParam")) {
        return;
    }
    HWND window = window_.Get();
    SendDlgItemMessageW(window, IDC_PROGRESS_BAR, PBM_SETRANGE32, 0, 100);
    SetDlgItemTextW(window, IDC_PROGRESS_TEXT, L"");
    FitToDpi(DpiOfWindow(window));
    SetWindowTextW(window, title.c_str());

    if (TaskbarProgressAvailable(windowsLevel_)) {
        ConnectTaskbar();
    }
    SendDlgItemMessageW(window, IDC_PROGRESS_BAR, PBM_SETPOS, 0, 0);
    if (taskbar_) {
        ReportHResultFailure(taskbar_->SetProgressValue(window, 0, 100), "SetProgressValue");
    }
    ShowWindow(window, SW_SHOW);
    UpdateWindow(window);
}

void ProgressWindow::FitToDpi(UINT dpi)
{
    HWND window = window_.Get();
    HWND textLine = GetDlgItem(window, IDC_PROGRESS_TEXT);
    // Callers measure paths on this surface, so it carries the font the
    // line is drawn with rather than the system font a fresh DC has; the
    // dialog manager gives the line a new font at a new scale.
    lineFont_.Reset();
    textSurface_.Acquire(textLine);
    HFONT lineFont = reinterpret_cast<HFONT>(SendMessageW(textLine, WM_GETFONT, 0, 0));
    if (textSurface_.Get() && lineFont) {
        lineFont_.Select(textSurface_.Get(), lineFont);
    }
    RECT textRect{};
    if (ReportApiFailure(GetWindowRect(textLine, &textRect), "GetWindowRect")) {
        textWidth_ = textRect.right - textRect.left;
    }
    ScopedIcon icon(LoadLargeIcon(iconId_, dpi));
    SendDlgItemMessageW(window, IDC_PROGRESS_ICON, STM_SETICON, reinterpret_cast<WPARAM>(icon.Get()), 0);
    icon_ = std::move(icon);
}

void ProgressWindow::ConnectTaskbar()
{
    // Only the fourth interface is used; the earlier ones are held so that
    // the object lives exactly as long as the window.
    ComPtr<ITaskbarList4> fourth;
    if (!ReportHResultFailure(g_taskbarFactory(taskbarList_.Receive()), "CoCreateInstance") ||
        !ReportHResultFailure(taskbarList_->QueryInterface(IID_ITaskbarList2, taskbar2_.ReceiveVoid()),
                              "QueryInterface") ||
        !ReportHResultFailure(taskbar2_->QueryInterface(IID_ITaskbarList3, taskbar3_.ReceiveVoid()),
                              "QueryInterface") ||
        !ReportHResultFailure(taskbar3_->QueryInterface(IID_ITaskbarList4, fourth.ReceiveVoid()), "QueryInterface") ||
        !ReportHResultFailure(fourth->HrInit(), "HrInit")) {
        return;
    }
    taskbar_ = std::move(fourth);
    ReportHResultFailure(taskbar_->SetProgressState(window_.Get(), TBPF_NORMAL), "SetProgressState");
}

ProgressWindow::~ProgressWindow()
{
    // The surface goes back with its own font before its control goes.
    lineFont_.Reset();
    textSurface_.Reset();
    taskbar_.Reset();
    taskbar3_.Reset();
    taskbar2_.Reset();
    taskbarList_.Reset();
    if (icon_) {
        // The static control would otherwise go on showing a destroyed icon.
        SendDlgItemMessageW(window_.Get(), IDC_PROGRESS_ICON, STM_SETICON, 0, 0);
        ReportApiFailure(icon_.Reset(), "DestroyIcon");
    }
    if (window_) {
        ReportApiFailure(window_.Reset(), "DestroyWindow");
    }
}

void ProgressWindow::SetText(const WString& text)
{
    if (window_) {
        SetDlgItemTextW(window_.Get(), IDC_PROGRESS_TEXT, text.c_str());
    }
}

void ProgressWindow::SetPathText(const WString& label, const WString& path)
{
    if (!window_) {
        return;
    }
    SIZE labelSize{};
    GetTextExtentPoint32W(textSurface_.Get(), label.c_str(), label.Length(), &labelSize);
    SetText(label + CompactPath(textSurface_.Get(), path, textWidth_ - labelSize.cx));
}

void ProgressWindow::SetPosition(int percent)
{
    if (!window_) {
        return;
    }
    if (percent < 0) {
        percent = 0;
    } else if (percent > 100) {
        percent = 100;
    }
    if (percent == shownPercent_) {
        return;
    }
    shownPercent_ = percent;
    SendDlgItemMessageW(window_.Get(), IDC_PROGRESS_BAR, PBM_SETPOS, static_cast<WPARAM>(percent), 0);
    if (taskbar_) {
        ReportHResultFailure(taskbar_->SetProgressValue(window_.Get(), static_cast<ULONGLONG>(percent), 100),
                             "SetProgressValue");
    }
}

void ProgressWindow::ShowCompleted()
{
    SetText(WString(L"完了"));
    PumpPending();
    Sleep(kCompletedPause);
}

bool ProgressWindow::ItemTextDue()
{
    ULONGLONG now = g_clock();
    if (itemTextShown_ && now - itemTextShownAt_ < kItemTextInterval) {
        return false;
    }
    itemTextShown_ = true;
    itemTextShownAt_ = now;
    return true;
}
