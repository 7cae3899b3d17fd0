// Writing the settings dialog: its refusals, the shell options and the
// stored values.
#include <windows.h>
#include <commctrl.h>
#include <shlobj.h>

#include "common/dialogs.h"
#include "common/messages.h"
#include "common/paths.h"
#include "resources/setup_ids.h"
#include "setup/settings_dialog.h"

namespace {

bool IsChecked(HWND dialog, int id) { return IsDlgButtonChecked(dialog, id) == BST_CHECKED; }

// A radio group's index, written only when a button is selected: a missing
// choice must not be stored as 4294967295.
bool WriteChoice(RegKey& key, const wchar_t* name, int index)
{
    return index < 0 || key.WriteNumber(name, static_cast<DWORD>(index));
}

}  // namespace

bool CSettingsDialog::Write(bool showClosingMessage)
{
    HWND dialog = window_.Get();
    int action = GetRadioIndex(dialog, IDC_ACTION_GROUP, 3);
    if (action < 0) {
        ShowError(L"「全体」をクリックした動作が指定されていません", dialog);
        return false;
    }
    WString command = DialogItemText(dialog, IDC_ARC_COMMAND);
    if (action == kActRunArchiver && command.IsEmpty()) {
        ShowError(L"アーカイバ起動コマンドが指定されていません", dialog);
        return false;
    }
    int unitType = GetRadioIndex(dialog, IDC_UNIT_GROUP, 3);
    bool overflow = false;
    int unitSize = ParseUnitSize(DialogItemText(dialog, IDC_UNIT_SIZE), overflow);
    if (unitType == 1 && unitSize == 0) {
        ShowError(L"圧縮単位サイズを指定してください", dialog);
        return false;
    }
    // The size matters unless every file has a unit of its own; text that
    // is no size is refused rather than stored as 4294967295.
    if (unitSize < 0 && unitType != 2) {
        ShowError(L"圧縮単位のサイズには 0 から 2147483646 までの数を指定してください", dialog);
        return false;
    }
    ShellOptions options{IsChecked(dialog, IDC_OPTION_MENU_DEFAULT), IsChecked(dialog, IDC_OPTION_OWN_ICONS),
                         IsChecked(dialog, IDC_OPTION_DROP_HANDLER)};
    ClassRegistry registry;
    bool ok = WriteShellOptions(registry, classes_, options, installFolder_);
    SHChangeNotify(SHCNE_ASSOCCHANGED, SHCNF_IDLIST, nullptr, nullptr);
    ok = WriteStoredValues(action, command, unitType, unitSize, unitSize >= 0) && ok;
    if (!showClosingMessage) {
        return ok;
    }
    if (!ok) {
        ShowError(L"設定の書き込みに失敗しました", dialog);
        return false;
    }
    ShowWindow(dialog, SW_HIDE);
    WString notice = MissingClassNotice(classes_);
    if (!notice.IsEmpty()) {
        ShowError(notice, dialog);
    }
    ShowInfo(L"設定の書き込みが終了しました", dialog);
    Close();
    return true;
}

bool CSettingsDialog::WriteStoredValues(int action, const WString& command, int unitType, int unitSize,
                                        bool sizeValid)
{
    HWND dialog = window_.Get();
    // Before an install there is no product key; the settings then wait
    // for it.
    RegKey key(HKEY_CURRENT_USER, WString(kProductKey), KEY_ALL_ACCESS);
    if (!key.IsOpen()) {
        return true;
    }
    bool ok = key.WriteFlag(L"MenuDefault", IsChecked(dialog, IDC_OPTION_MENU_DEFAULT));
    ok = key.WriteFlag(L"IconChange", IsChecked(dialog, IDC_OPTION_OWN_ICONS)) && ok;
    ok = key.WriteFlag(L"DDMenu", IsChecked(dialog, IDC_OPTION_DROP_HANDLER)) && ok;
    ok = key.WriteNumber(L"Act", static_cast<DWORD>(action)) && ok;
    ok = key.WriteText(L"ArcCommand", command) && ok;
    ok = key.WriteText(L"ExtractDir", Unquote(DialogItemText(dialog, IDC_EXTRACT_DIR))) && ok;
    ok = key.WriteFlag(L"EDOpen", IsChecked(dialog, IDC_EXTRACT_OPEN)) && ok;
    ok = WriteChoice(key, L"MenuOverFlow", GetRadioIndex(dialog, IDC_OVERFLOW_GROUP, 3)) && ok;
    ok = WriteChoice(key, L"ZipCompType", GetRadioIndex(dialog, IDC_ZIP_GROUP, 4)) && ok;
    ok = WriteChoice(key, L"CabCompType", GetRadioIndex(dialog, IDC_CAB_GROUP, 3)) && ok;
    LRESULT level = SendDlgItemMessageW(dialog, IDC_LZX_SPIN, UDM_GETPOS32, 0, 0);
    ok = key.WriteNumber(L"CabLzxLevel", static_cast<DWORD>(level)) && ok;
    ok = WriteChoice(key, L"CabFType", unitType) && ok;
    if (sizeValid) {
        ok = key.WriteNumber(L"CabFSize", static_cast<DWORD>(unitSize)) && ok;
    }
    ok = key.WriteFlag(L"CabSort", IsChecked(dialog, IDC_CAB_SORT)) && ok;
    return ok;
}
