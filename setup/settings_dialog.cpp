#include "setup/settings_dialog.h"

#include <commctrl.h>
#include <shellapi.h>

#include <vector>

#include "common/dialogs.h"
#include "common/dpi.h"
#include "common/messages.h"
#include "common/paths.h"
#include "common/system.h"
#include "resources/common_ids.h"
#include "resources/setup_ids.h"
#include "setup/product_texts.h"

namespace {

// Radio groups: the id of the group box, the buttons follow it.
const int kActionGroup = IDC_ACTION_GROUP;
const int kOverflowGroup = IDC_OVERFLOW_GROUP;
const int kZipGroup = IDC_ZIP_GROUP;
const int kCabGroup = IDC_CAB_GROUP;
const int kUnitGroup = IDC_UNIT_GROUP;
const int kLowestLevel = 15;
const int kHighestLevel = 21;

void SetCheck(HWND dialog, int id, bool on) { CheckDlgButton(dialog, id, on ? BST_CHECKED : BST_UNCHECKED); }

void Enable(HWND dialog, int id, bool on) { EnableWindow(GetDlgItem(dialog, id), on); }

}  // namespace

WString UnitSizeText(int bytes)
{
    if (bytes >= 1073741824) {
        return WString::FromInt(bytes / 1073741824) + L"GByte";
    }
    if (bytes >= 1048576) {
        return WString::FromInt(bytes / 1048576) + L"MByte";
    }
    if (bytes >= 1024) {
        return WString::FromInt(bytes / 1024) + L"kByte";
    }
    if (bytes >= 0) {
        return WString::FromInt(bytes) + L"Byte";
    }
    return WString(L"error");
}

int ParseUnitSize(const WString& text, bool& overflow)
{
    overflow = false;
    WString digits = text.Trimmed();
    if (digits.At(0) == L'+') {
        digits = digits.From(1);
    }
    long long value = 0;
    for (int i = 0; i < digits.Length(); ++i) {
        wchar_t unit = digits.At(i);
        if (unit < L'0' || unit > L'9') {
            return -1;
        }
        if (value < kMaxCabUnitSize) {
            value = value * 10 + (unit - L'0');
        }
    }
    if (value >= kMaxCabUnitSize) {
        overflow = true;
        return -1;
    }
    return static_cast<int>(value);
}

WString CommandForDroppedProgram(const WString& program) { return L"\"" + Unquote(program) + L"\" \"%l\""; }

CSettingsDialog::CSettingsDialog() : classes_(ReadShellClasses())
{
    CreateDialogParamW(ModuleInstance(), MAKEINTRESOURCEW(IDD_SETTINGS), nullptr, DialogProc,
                       reinterpret_cast<LPARAM>(this));
}

CSettingsDialog::~CSettingsDialog()
{
    if (subclassed_) {
        RemoveWindowSubclass(GetDlgItem(window_.Get(), IDC_ARC_COMMAND), CommandFieldProc, 0);
    }
    // The window may already be gone with its owner; it is destroyed once.
    if (window_) {
        ReportApiFailure(window_.Reset(), "DestroyWindow");
    }
    if (smallIcon_) {
        ReportApiFailure(smallIcon_.Reset(), "DestroyIcon");
    }
}

INT_PTR CALLBACK CSettingsDialog::DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    auto* self = DialogInstance<CSettingsDialog>(window, message, lParam);
    if (!self) {
        return FALSE;
    }
    if (message == WM_INITDIALOG) {
        self->window_.Reset(window);
        self->OnInitDialog();
        return TRUE;
    }
    switch (message) {
    case WM_COMMAND:
        self->OnCommand(LOWORD(wParam), HIWORD(wParam));
        return TRUE;
    case WM_DPICHANGED:
        TakeSuggestedRectangle(window, lParam);
        SetSmallIcon(window, IDI_ZUPAKO, HIWORD(wParam), self->smallIcon_);
        return TRUE;
    case WM_CLOSE:
        self->Close();
        return TRUE;
    case WM_NCDESTROY:
        self->window_.Detach();
        self->subclassed_ = false;
        return FALSE;
    default:
        return FALSE;
    }
}

LRESULT CALLBACK CSettingsDialog::CommandFieldProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam,
                                                   UINT_PTR, DWORD_PTR data)
{
    if (message == WM_DROPFILES) {
        reinterpret_cast<CSettingsDialog*>(data)->OnDropFiles(reinterpret_cast<HDROP>(wParam));
        return 0;
    }
    return DefSubclassProc(window, message, wParam, lParam);
}

void CSettingsDialog::OnInitDialog()
{
    HWND dialog = window_.Get();
    StoredSettings stored = ReadStoredSettings();
    installFolder_ = stored.installFolder;
    ClassRegistry registry;
    FillControls(stored, ReadShellOptions(registry, classes_.zip));
    AttachTooltip(dialog, IDC_OVERFLOW_NONE, L"これを選択した場合メニューは一列で上下に矢印が出てきます", 5000);
    for (int id : {IDC_LZX_LABEL, IDC_LZX_LEVEL, IDC_LZX_SPIN}) {
        AttachTooltip(dialog, id, L"*.cab の圧縮レベル 15-21, 21が最大圧縮", 5000);
    }
    AttachTooltip(dialog, IDC_CAB_SORT, L"フォルダーの右クリックの[Cab に圧縮(B)]に対して効きます", 5000);
    HWND commandField = GetDlgItem(dialog, IDC_ARC_COMMAND);
    DragAcceptFiles(commandField, TRUE);
    subclassed_ = SetWindowSubclass(commandField, CommandFieldProc, 0, reinterpret_cast<DWORD_PTR>(this)) != FALSE;
    SetSmallIcon(dialog, IDI_ZUPAKO, DpiOfWindow(dialog), smallIcon_);
}

void CSettingsDialog::FillControls(const StoredSettings& stored, const ShellOptions& options)
{
    HWND dialog = window_.Get();
    SetCheck(dialog, IDC_OPTION_MENU_DEFAULT, options.menuDefault);
    SetCheck(dialog, IDC_OPTION_OWN_ICONS, options.ownIcons);
    SetCheck(dialog, IDC_OPTION_DROP_HANDLER, options.dropHandler);
    SetRadioIndex(dialog, kActionGroup, 3, static_cast<int>(stored.action));
    SetDlgItemTextW(dialog, IDC_ARC_COMMAND, stored.archiverCommand.c_str());
    SetDlgItemTextW(dialog, IDC_EXTRACT_DIR, stored.extractFolder.c_str());
    SetCheck(dialog, IDC_EXTRACT_OPEN, stored.openAfterExtract);
    SetRadioIndex(dialog, kOverflowGroup, 3, static_cast<int>(stored.menuOverflow));
    SetRadioIndex(dialog, kZipGroup, 4, static_cast<int>(stored.zipCompType));
    SetRadioIndex(dialog, kCabGroup, 3, static_cast<int>(stored.cabCompType));
    SetRadioIndex(dialog, kUnitGroup, 3, static_cast<int>(stored.cabUnitType));
    SetDlgItemTextW(dialog, IDC_UNIT_SIZE, WString::FromInt(stored.cabUnitSize).c_str());
    SetCheck(dialog, IDC_CAB_SORT, stored.cabSortBySize);
    HWND spin = GetDlgItem(dialog, IDC_LZX_SPIN);
    SendMessageW(spin, UDM_SETBUDDY, reinterpret_cast<WPARAM>(GetDlgItem(dialog, IDC_LZX_LEVEL)), 0);
    SendMessageW(spin, UDM_SETRANGE32, kLowestLevel, kHighestLevel);
    SendMessageW(spin, UDM_SETPOS32, 0, static_cast<LPARAM>(stored.cabLzxLevel));
    UpdateEnabling();
    UpdateSizeText();
}

void CSettingsDialog::UpdateEnabling()
{
    HWND dialog = window_.Get();
    int action = GetRadioIndex(dialog, kActionGroup, 3);
    for (int id : {IDC_EXTRACT_DIR_LABEL, IDC_EXTRACT_DIR, IDC_EXTRACT_BROWSE, IDC_EXTRACT_OPEN}) {
        Enable(dialog, id, action == kActExtract);
    }
    Enable(dialog, IDC_ARC_COMMAND_LABEL, action == kActRunArchiver);
    Enable(dialog, IDC_ARC_COMMAND, action == kActRunArchiver);
    bool lzx = GetRadioIndex(dialog, kCabGroup, 3) == 1;
    Enable(dialog, IDC_LZX_LEVEL, lzx);
    Enable(dialog, IDC_LZX_SPIN, lzx);
    int unitType = GetRadioIndex(dialog, kUnitGroup, 3);
    Enable(dialog, IDC_UNIT_SIZE, unitType != 2);
    ShowWindow(GetDlgItem(dialog, IDC_UNIT_AUTO_NOTE), unitType == 0 ? SW_SHOW : SW_HIDE);
}

void CSettingsDialog::UpdateSizeText()
{
    HWND dialog = window_.Get();
    bool overflow = false;
    int size = ParseUnitSize(DialogItemText(dialog, IDC_UNIT_SIZE), overflow);
    if (overflow) {
        // Replacing the text comes back here with a text that reads as -1.
        SetDlgItemTextW(dialog, IDC_UNIT_SIZE, L"overflow");
        return;
    }
    SetDlgItemTextW(dialog, IDC_UNIT_SIZE_TEXT, UnitSizeText(size).c_str());
}

void CSettingsDialog::OnCommand(int id, int code)
{
    switch (id) {
    case IDC_UNIT_SIZE:
        if (code == EN_CHANGE) {
            UpdateSizeText();
        }
        return;
    case IDC_EXTRACT_BROWSE:
        BrowseExtractFolder();
        return;
    case IDC_SETTINGS_ABOUT:
        AboutBox(window_.Get(), IDI_ZUPAKO, kVersionText, kProgramSummary);
        return;
    case IDC_PRESET_INSTALL:
        ApplyInstallPreset(ShellOptions{true, true, true});
        return;
    case IDC_PRESET_RECOMMENDED:
        ApplyRecommendedPreset();
        return;
    case IDC_SETTINGS_CANCEL:
    case IDCANCEL:
        Close();
        return;
    case IDC_SETTINGS_OK:
        Write(true);
        return;
    default:
        if (code == BN_CLICKED && id > kActionGroup && id <= IDC_UNIT_PER_FILE) {
            UpdateEnabling();
        }
        return;
    }
}

void CSettingsDialog::ApplyInstallPreset(const ShellOptions& options)
{
    StoredSettings preset;
    preset.extractFolder = DesktopFolder();
    FillControls(preset, options);
}

void CSettingsDialog::ApplyRecommendedPreset()
{
    StoredSettings preset;
    preset.extractFolder = DesktopFolder();
    preset.zipCompType = 2;
    preset.cabCompType = 1;
    preset.cabUnitType = 1;
    preset.cabUnitSize = 1000000;
    preset.cabSortBySize = true;
    FillControls(preset, ShellOptions{true, true, true});
}

void CSettingsDialog::OnDropFiles(HDROP drop)
{
    // Only the first dropped file names the program.
    UINT length = DragQueryFileW(drop, 0, nullptr, 0);
    std::vector<wchar_t> path(length + 1);
    UINT copied = DragQueryFileW(drop, 0, path.data(), length + 1);
    DragFinish(drop);
    if (!ReportApiFailure(copied != 0, "DragQueryFile")) {
        return;
    }
    WString dropped(path.data(), static_cast<int>(copied));
    HWND field = GetDlgItem(window_.Get(), IDC_ARC_COMMAND);
    if (GetWindowTextLengthW(field) > 0) {
        SendMessageW(field, EM_REPLACESEL, TRUE, reinterpret_cast<LPARAM>(dropped.c_str()));
    } else {
        SetWindowTextW(field, CommandForDroppedProgram(dropped).c_str());
    }
}

void CSettingsDialog::BrowseExtractFolder()
{
    WString folder = Unquote(DialogItemText(window_.Get(), IDC_EXTRACT_DIR));
    if (BrowseForFolder(window_.Get(), L"解凍の指定場所の指定", folder, false)) {
        SetDlgItemTextW(window_.Get(), IDC_EXTRACT_DIR, folder.c_str());
    }
}

void CSettingsDialog::Close()
{
    ShowWindow(window_.Get(), SW_HIDE);
    PostQuitMessage(0);
}

void CSettingsDialog::Show()
{
    ShowWindow(window_.Get(), SW_SHOW);
    UpdateWindow(window_.Get());
    // Through the dialog manager, so that Tab, the mnemonics, Enter and
    // Escape work as in any dialog.
    RunMessageLoop(window_.Get());
}

void RunSettingsVerb()
{
    // Without an install folder the registration would name no program.
    if (ReadStoredSettings().installFolder.IsEmpty()) {
        ShowError(L"Zupako がインストールされていません。\n先にインストールしてください");
        return;
    }
    CSettingsDialog dialog;
    dialog.Show();
}
