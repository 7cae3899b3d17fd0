#include "setup/cab_add_dialog.h"

#include <commctrl.h>

#include "archive/cabfile.h"
#include "cab_add_ids.h"
#include "common/dialogs.h"
#include "common/messages.h"
#include "common/paths.h"
#include "common/system.h"
#include "common/user_colours.h"
#include "common_ids.h"
#include "setup/cab_drop_target.h"
#include "shellext/folder_menu.h"

namespace {

const UINT_PTR kDropAreaSubclass = 1;

// Disables the dialog while a folder menu or an add runs, so that neither
// a click nor a drop starts a second one meanwhile.
class BusyDialog {
public:
    explicit BusyDialog(HWND dialog) : dialog_(dialog) { EnableWindow(dialog_, FALSE); }
    ~BusyDialog() { EnableWindow(dialog_, TRUE); }
    BusyDialog(const BusyDialog&) = delete;
    BusyDialog& operator=(const BusyDialog&) = delete;

private:
    HWND dialog_;
};

}  // namespace

CabAddDialog::CabAddDialog(const WString& cabinetPath) : cabinetPath_(Unquote(cabinetPath)) {}

CabAddDialog::~CabAddDialog()
{
    if (window_) {
        DestroyWindow(window_);
    }
}

bool CabAddDialog::Create()
{
    HWND window = CreateDialogParamW(ModuleInstance(), MAKEINTRESOURCEW(IDD_CAB_ADD), nullptr, Procedure,
                                     reinterpret_cast<LPARAM>(this));
    if (!ReportApiFailure(window, "CreateDialogParam")) {
        return false;
    }
    ShowWindow(window, SW_SHOW);
    return true;
}

int CabAddDialog::RunUntilClosed()
{
    MSG message;
    while (!closed_ && GetMessageW(&message, nullptr, 0, 0) > 0) {
        if (window_ && IsDialogMessageW(window_, &message)) {
            continue;
        }
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
    return result_;
}

IDropTarget* CabAddDialog::DropTarget() const { return target_.Get(); }

void CabAddDialog::OnInit(HWND window)
{
    window_ = window;
    ShowCabinetName();
    SetDlgItemTextW(window, IDC_CAB_FOLDER, kTopLevelResult);
    HWND area = GetDlgItem(window, IDC_CAB_DROP_AREA);
    SetWindowSubclass(area, DropAreaProcedure, kDropAreaSubclass, reinterpret_cast<DWORD_PTR>(this));
    target_.Attach(new CDropTarget(area));
}

void CabAddDialog::ShowCabinetName()
{
    HWND name = GetDlgItem(window_, IDC_CAB_NAME);
    RECT box{};
    GetClientRect(name, &box);
    ScopedWindowDC dc(window_);
    ScopedSelect font(dc.Get(), reinterpret_cast<HGDIOBJ>(SendMessageW(window_, WM_GETFONT, 0, 0)));
    SetWindowTextW(name, CompactPath(dc.Get(), cabinetPath_, box.right - box.left).c_str());
}

void CabAddDialog::OnChooseFolder()
{
    BusyDialog busy(window_);
    CCabFile cabinet(cabinetPath_);
    WString choice;
    {
        FolderMenu menu(cabinet, ModuleInstance(), IDI_CABFILE);
        menu.Show();
        choice = menu.Result();
    }
    // A dismissed menu leaves the field empty, which adds at the top level.
    SetDlgItemTextW(window_, IDC_CAB_FOLDER, choice.c_str());
}

void CabAddDialog::OnDropFiles()
{
    if (!IsWindowEnabled(window_) || closed_) {
        return;
    }
    BusyDialog busy(window_);
    WString folder = DialogItemText(window_, IDC_CAB_FOLDER);
    if (folder == kTopLevelResult) {
        folder.Clear();
    }
    if (!folder.IsEmpty()) {
        folder += L'\\';
    }
    StringList paths = target_->Paths();
    bool added = false;
    {
        // A failure's text is shown when the cabinet object ends.
        CCabFile cabinet(cabinetPath_);
        if (!cabinet.HasError()) {
            added = cabinet.AddToCabinet(paths, folder, IDI_CABFILE, [this] { ShowWindow(window_, SW_HIDE); });
        }
    }
    Close(added ? 1 : 0);
}

INT_PTR CabAddDialog::OnStaticColor(HDC dc, HWND control)
{
    bool dropArea = GetDlgCtrlID(control) == IDC_CAB_DROP_AREA;
    return ColorStaticOnFace(dc, StaticTextColour(dropArea, RGB(0, 0, 255)));
}

void CabAddDialog::OnDestroy()
{
    RemoveWindowSubclass(GetDlgItem(window_, IDC_CAB_DROP_AREA), DropAreaProcedure, kDropAreaSubclass);
    if (target_) {
        target_->Revoke();
        target_.Reset();
    }
    window_ = nullptr;
    closed_ = true;
}

void CabAddDialog::Close(int result)
{
    result_ = result;
    closed_ = true;
    if (window_) {
        DestroyWindow(window_);
    }
}

INT_PTR CALLBACK CabAddDialog::Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    auto* dialog = DialogInstance<CabAddDialog>(window, message, lParam);
    if (!dialog) {
        return FALSE;
    }
    if (message == WM_INITDIALOG) {
        dialog->OnInit(window);
        return TRUE;
    }
    switch (message) {
    case WM_COMMAND:
        if (LOWORD(wParam) == IDC_CAB_CHANGE_FOLDER && HIWORD(wParam) == BN_CLICKED) {
            dialog->OnChooseFolder();
            return TRUE;
        }
        if (LOWORD(wParam) == IDC_CAB_CANCEL || LOWORD(wParam) == IDCANCEL) {
            dialog->Close(0);
            return TRUE;
        }
        return FALSE;
    case WM_DPICHANGED:
        // The name field has the new monitor's width and font now.
        TakeSuggestedRectangle(window, lParam);
        dialog->ShowCabinetName();
        return TRUE;
    case WM_CLOSE:
        dialog->Close(0);
        return TRUE;
    case WM_CTLCOLORSTATIC:
        return dialog->OnStaticColor(reinterpret_cast<HDC>(wParam), reinterpret_cast<HWND>(lParam));
    case WM_DESTROY:
        dialog->OnDestroy();
        SetWindowLongPtrW(window, DWLP_USER, 0);
        return TRUE;
    default:
        return FALSE;
    }
}

LRESULT CALLBACK CabAddDialog::DropAreaProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR,
                                                 DWORD_PTR data)
{
    auto* dialog = reinterpret_cast<CabAddDialog*>(data);
    if (message == WM_DROPFILES) {
        dialog->OnDropFiles();
        return 0;
    }
    if (message == WM_PAINT && dialog->target_ && dialog->target_->DragImage()) {
        // The drag image would otherwise be painted over.
        dialog->target_->DragImage()->Show(FALSE);
        LRESULT result = DefSubclassProc(window, message, wParam, lParam);
        dialog->target_->DragImage()->Show(TRUE);
        return result;
    }
    return DefSubclassProc(window, message, wParam, lParam);
}

int RunCabAddDialog(const WString& cabinetPath)
{
    CabAddDialog dialog(cabinetPath);
    if (!dialog.Create()) {
        return 0;
    }
    return dialog.RunUntilClosed();
}
