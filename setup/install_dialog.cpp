#include "setup/install_dialog.h"

#include "common/dialogs.h"
#include "common/dpi.h"
#include "common/messages.h"
#include "common/paths.h"
#include "common/progress.h"
#include "common/system.h"
#include "common/user_colours.h"
#include "resources/common_ids.h"
#include "resources/setup_ids.h"
#include "setup/product_texts.h"

namespace {

// Posted at start so that the file check's message has a visible owner.
const UINT kCheckFilesMessage = WM_APP + 1;

const int kOptionIds[] = {IDC_OPTION_MENU_DEFAULT, IDC_OPTION_OWN_ICONS, IDC_OPTION_DROP_HANDLER};

void Enable(HWND dialog, int id, bool on) { EnableWindow(GetDlgItem(dialog, id), on); }

bool IsChecked(HWND dialog, int id) { return IsDlgButtonChecked(dialog, id) == BST_CHECKED; }

}  // namespace

INT_PTR CInstallDialog::Run()
{
    return DialogBoxParamW(ModuleInstance(), MAKEINTRESOURCEW(IDD_INSTALL), nullptr, DialogProc,
                           reinterpret_cast<LPARAM>(this));
}

WString CInstallDialog::Title() const { return WString(L"Zupako ") + kVersionText + L" のインストール"; }

INT_PTR CALLBACK CInstallDialog::DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    auto* self = DialogInstance<CInstallDialog>(window, message, lParam);
    if (!self) {
        return FALSE;
    }
    if (message == WM_INITDIALOG) {
        self->window_ = window;
        self->OnInitDialog();
        return TRUE;
    }
    switch (message) {
    case kCheckFilesMessage:
        self->CheckFiles();
        return TRUE;
    case WM_COMMAND:
        self->OnCommand(LOWORD(wParam));
        return TRUE;
    case WM_CTLCOLORSTATIC:
        return self->OnColorStatic(reinterpret_cast<HDC>(wParam), reinterpret_cast<HWND>(lParam));
    case WM_DPICHANGED:
        TakeSuggestedRectangle(window, lParam);
        SetSmallIcon(window, IDI_ZUPAKO, HIWORD(wParam), self->smallIcon_);
        return TRUE;
    case WM_CLOSE:
        EndDialog(window, 0);
        return TRUE;
    case WM_DESTROY:
        self->smallIcon_.Reset();
        return FALSE;
    default:
        return FALSE;
    }
}

void CInstallDialog::OnInitDialog()
{
    SetWindowTextW(window_, Title().c_str());
    SetSmallIcon(window_, IDI_ZUPAKO, DpiOfWindow(window_), smallIcon_);
    SetDlgItemTextW(window_, IDC_INSTALL_FOLDER, JoinPath(install_.InstallFolder(), L"*").c_str());
    for (int id : {IDC_INSTALL_RADIO, IDC_UNINSTALL_RADIO, IDC_INSTALL_OK, IDC_OPTION_MENU_DEFAULT,
                   IDC_OPTION_OWN_ICONS, IDC_OPTION_DROP_HANDLER}) {
        Enable(window_, id, false);
    }
    PostMessageW(window_, kCheckFilesMessage, 0, 0);
}

void CInstallDialog::CheckFiles()
{
    WString missing = install_.FirstMissingFile();
    if (!missing.IsEmpty()) {
        ShowError(missing + L" が存在しません", window_);
        return;
    }
    Enable(window_, IDC_INSTALL_RADIO, true);
    Enable(window_, IDC_UNINSTALL_RADIO, true);
    Enable(window_, IDC_INSTALL_OK, true);
    CheckRadioButton(window_, IDC_INSTALL_RADIO, IDC_UNINSTALL_RADIO, IDC_INSTALL_RADIO);
    for (int id : kOptionIds) {
        CheckDlgButton(window_, id, BST_CHECKED);
    }
    SelectInstall(true);
}

void CInstallDialog::SelectInstall(bool install)
{
    SetDlgItemTextW(window_, IDC_INSTALL_OK, install ? L"インストール" : L"アンインストール");
    for (int id : kOptionIds) {
        Enable(window_, id, install);
    }
}

void CInstallDialog::OnCommand(int id)
{
    switch (id) {
    case IDC_INSTALL_RADIO:
        SelectInstall(true);
        break;
    case IDC_UNINSTALL_RADIO:
        SelectInstall(false);
        break;
    case IDC_INSTALL_ABOUT:
        AboutBox(nullptr, IDI_ZUPAKO, kVersionText, kProgramSummary);
        break;
    case IDC_INSTALL_CANCEL:
    case IDCANCEL:
        EndDialog(window_, 0);
        break;
    case IDC_INSTALL_OK:
        // The button is enabled only once every file was found.
        if (IsWindowEnabled(GetDlgItem(window_, IDC_INSTALL_OK))) {
            Execute();
        }
        break;
    default:
        break;
    }
}

INT_PTR CInstallDialog::OnColorStatic(HDC dc, HWND control)
{
    bool warning = GetDlgCtrlID(control) == IDC_INSTALL_WARNING;
    return ColorStaticOnFace(dc, StaticTextColour(warning, RGB(255, 0, 0)));
}

void CInstallDialog::Execute()
{
    ShowWindow(window_, SW_HIDE);
    if (IsChecked(window_, IDC_INSTALL_RADIO)) {
        ShellOptions options{IsChecked(window_, IDC_OPTION_MENU_DEFAULT), IsChecked(window_, IDC_OPTION_OWN_ICONS),
                             IsChecked(window_, IDC_OPTION_DROP_HANDLER)};
        ProgressWindow progress(Title(), IDI_ZUPAKO);
        PumpPending();
        if (install_.Install(options, &progress)) {
            WString notice = MissingClassNotice(install_.Classes());
            if (!notice.IsEmpty()) {
                ShowError(notice, window_);
            }
            ShowInfo(L"インストールが完了しました", window_);
        } else {
            ShowError(L"インストールできなかった項目があります\n" + install_.FailedItems(), window_);
        }
    } else {
        ProgressWindow progress(WString(L"Zupako ") + kVersionText + L" のアンインストール", IDI_ZUPAKO);
        PumpPending();
        if (install_.Uninstall(&progress)) {
            ShowInfo(L"アンインストールが完了しました", window_);
        } else {
            ShowError(L"アンインストールできなかった項目があります\n" + install_.FailedItems(), window_);
        }
    }
    EndDialog(window_, 1);
}

void RunInstallDialog(const WString& programFolder)
{
    bool wow64 = false;
    WindowsLevel(&wow64);
    CInstall install(programFolder, wow64 || sizeof(void*) == 8, ProductStartMenuFolder());
    CInstallDialog dialog(install);
    dialog.Run();
}
