#include "viewer/store_wait.h"

#include <utility>

#include "common/dialogs.h"
#include "common/dpi.h"
#include "common/messages.h"
#include "common/monitors.h"
#include "common/paths.h"
#include "common/system.h"
#include "viewer_ids.h"

namespace {

const UINT_PTR kWatchTimer = 1;
const UINT kWatchPoll = 250;
const int kEdgeGap = 16;
const ULONGLONG kQuickEditorMilliseconds = 2000;

}  // namespace

ULONGLONG QuickEditorMilliseconds() { return kQuickEditorMilliseconds; }

bool WaitsForStoreButton(bool startedProcess, ULONGLONG editorMilliseconds, bool copyChanged)
{
    return !copyChanged && (!startedProcess || editorMilliseconds < kQuickEditorMilliseconds);
}

POINT StoreWindowPosition(const RECT& workArea, SIZE window)
{
    LONG x = workArea.right - window.cx - kEdgeGap;
    LONG y = workArea.bottom - window.cy - kEdgeGap;
    return POINT{x < workArea.left ? workArea.left : x, y < workArea.top ? workArea.top : y};
}

WString DiscardQuestion(const WString& fileName)
{
    return fileName + L"\nの編集内容を破棄します。よろしいですか？";
}

bool ConfirmDiscard(const WString& fileName, HWND owner)
{
    return AskUser(DiscardQuestion(fileName), owner, MB_YESNO | MB_ICONWARNING | MB_DEFBUTTON2) == IDYES;
}

CStoreWaitWindow::CStoreWaitWindow(const WString& copy, std::function<CopyState()> copyState)
    : copy_(copy), copyState_(std::move(copyState))
{
}

bool CStoreWaitWindow::MayHoldEdit()
{
    CopyState state = copyState_();
    return state == CopyState::kChanged || state == CopyState::kUnreadable;
}

StoreWaitResult CStoreWaitWindow::Run()
{
    INT_PTR result = DialogBoxParamW(ModuleInstance(), MAKEINTRESOURCEW(IDD_STORE_WAIT), nullptr, DialogProc,
                                     reinterpret_cast<LPARAM>(this));
    ReportApiFailure(result > 0, "DialogBoxParam");
    return result == kStoreEdit ? kStoreEdit : kDiscardEdit;
}

INT_PTR CALLBACK CStoreWaitWindow::DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    auto* self = DialogInstance<CStoreWaitWindow>(window, message, lParam);
    if (!self) {
        return FALSE;
    }
    if (message == WM_INITDIALOG) {
        self->window_ = window;
        self->OnInitDialog();
        return TRUE;
    }
    switch (message) {
    case WM_COMMAND:
        self->OnCommand(LOWORD(wParam));
        return TRUE;
    case WM_TIMER:
        if (wParam == kWatchTimer) {
            self->OnTimer();
        }
        return TRUE;
    case WM_CLOSE:
        self->OnClose();
        return TRUE;
    case WM_DESTROY:
        self->OnDestroy();
        return FALSE;
    default:
        return FALSE;
    }
}

void CStoreWaitWindow::OnInitDialog()
{
    SetSmallIcon(window_, IDI_ZUPAKO, DpiOfWindow(window_), smallIcon_);
    SetDlgItemTextW(window_, IDC_STORE_FILE, FileNamePart(copy_).c_str());
    Place();
    // The folder is watched rather than the file: editors often save by
    // writing a new file and renaming it over the old one.
    watch_.Reset(FindFirstChangeNotificationW(ParentDir(copy_).c_str(), FALSE,
                                              FILE_NOTIFY_CHANGE_FILE_NAME | FILE_NOTIFY_CHANGE_SIZE |
                                                  FILE_NOTIFY_CHANGE_LAST_WRITE));
    if (watch_) {
        ReportApiFailure(SetTimer(window_, kWatchTimer, kWatchPoll, nullptr) != 0, "SetTimer");
        Refresh();
    }
    SetForegroundWindow(window_);
}

// Without a watch the store button stays enabled, so that the user can
// always reach the check; with one, it is enabled while there is something
// to store.
void CStoreWaitWindow::Refresh()
{
    bool changed = MayHoldEdit();
    HWND keep = GetDlgItem(window_, IDC_STORE_KEEP);
    EnableWindow(keep, changed);
    // Once there is an edit, Enter stores it rather than pressing 破棄.
    if (changed && GetFocus() != keep) {
        SendMessageW(window_, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(keep), TRUE);
    }
}

void CStoreWaitWindow::OnTimer()
{
    if (watch_ && WaitForSingleObject(watch_.Get(), 0) == WAIT_OBJECT_0) {
        FindNextChangeNotification(watch_.Get());
        Refresh();
    }
}

void CStoreWaitWindow::OnCommand(int id)
{
    switch (id) {
    case IDC_STORE_KEEP:
        // Pressed before the edit was saved: nothing to store yet, and the
        // window stays so that the edit is not lost.
        if (MayHoldEdit()) {
            EndDialog(window_, kStoreEdit);
        } else {
            MessageBeep(MB_OK);
            if (watch_) {
                EnableWindow(GetDlgItem(window_, IDC_STORE_KEEP), FALSE);
            }
        }
        break;
    case IDC_STORE_DISCARD:
        // Enter can land on this button when the save comes between two
        // looks at the copy: a saved edit goes only when the user says so.
        if (!MayHoldEdit() || ConfirmDiscard(FileNamePart(copy_), window_)) {
            EndDialog(window_, kDiscardEdit);
        }
        break;
    case IDCANCEL:
        OnClose();
        break;
    default:
        break;
    }
}

// Closing the window is no decision to throw a saved edit away: a changed
// copy goes to the usual question, where the user can still say no.
void CStoreWaitWindow::OnClose() { EndDialog(window_, MayHoldEdit() ? kStoreEdit : kDiscardEdit); }

void CStoreWaitWindow::OnDestroy()
{
    KillTimer(window_, kWatchTimer);
    watch_.Reset();
    SendMessageW(window_, WM_SETICON, ICON_SMALL, 0);
    smallIcon_.Reset();
}

void CStoreWaitWindow::Place()
{
    RECT frame{};
    GetWindowRect(window_, &frame);
    MonitorList monitors;
    int index = monitors.IndexAt();
    RECT area{};
    if (index >= 0) {
        area = monitors.Monitor(index).rcWork;
    } else {
        SystemParametersInfoW(SPI_GETWORKAREA, 0, &area, 0);
    }
    POINT at = StoreWindowPosition(area, SIZE{frame.right - frame.left, frame.bottom - frame.top});
    SetWindowPos(window_, HWND_TOPMOST, at.x, at.y, 0, 0, SWP_NOSIZE);
}
