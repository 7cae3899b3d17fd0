// The settings dialog driven in-process by messages, with the private hive
// read back after OK.
#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>
#include <shlobj.h>

#include <map>
#include <vector>

#include "common/dialogs.h"
#include "common/settings.h"
#include "resources/setup_ids.h"
#include "setup/class_registry.h"
#include "setup/settings_dialog.h"
#include "setup/setup_test_support.h"
#include "support/private_settings.h"
#include "support/prompt_recorder.h"
#include "support/window_driver.h"

namespace {

const wchar_t kFolder[] = L"C:\\Program Files\\Zupako Test";

void Click(HWND dialog, int id) { SendDlgItemMessageW(dialog, id, BM_CLICK, 0, 0); }

bool Checked(HWND dialog, int id) { return IsDlgButtonChecked(dialog, id) == BST_CHECKED; }

bool Enabled(HWND dialog, int id) { return IsWindowEnabled(GetDlgItem(dialog, id)) != FALSE; }

std::wstring ItemText(HWND dialog, int id) { return DialogItemText(dialog, id).c_str(); }

void SetText(HWND dialog, int id, const wchar_t* text) { SetDlgItemTextW(dialog, id, text); }

// Takes the quit message that closing the dialog leaves for the loop.
bool TakeQuitMessage()
{
    MSG message;
    return PeekMessageW(&message, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE) != FALSE;
}

void CALLBACK EndTheLoop(HWND, UINT, UINT_PTR, DWORD) { PostQuitMessage(0); }

// A dropped-file block as the shell hands it over.
HGLOBAL MakeDrop(const std::vector<std::wstring>& paths)
{
    std::wstring list;
    for (const auto& path : paths) {
        list += path;
        list += L'\0';
    }
    list += L'\0';
    SIZE_T bytes = sizeof(DROPFILES) + list.size() * sizeof(wchar_t);
    HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, bytes);
    auto* drop = static_cast<DROPFILES*>(GlobalLock(memory));
    drop->pFiles = sizeof(DROPFILES);
    drop->fWide = TRUE;
    memcpy(reinterpret_cast<BYTE*>(drop) + sizeof(DROPFILES), list.data(), list.size() * sizeof(wchar_t));
    GlobalUnlock(memory);
    return memory;
}

class SettingsDialogTest : public testing::Test {
protected:
    void SetUp() override
    {
        SeedShellClasses();
        settings.SetText(L"InstallDir", kFolder);
    }

    void TearDown() override { TakeQuitMessage(); }

    PrivateSettings settings;
    PromptRecorder prompts;
};

TEST_F(SettingsDialogTest, ControlsShowStoredValuesAndTheZipRegistration)
{
    settings.Set(L"Act", 1);
    settings.SetText(L"ArcCommand", L"\"C:\\arc.exe\" \"%l\"");
    settings.SetText(L"ExtractDir", L"\"C:\\展開 先\"");
    settings.Set(L"EDOpen", 0);
    settings.Set(L"MenuOverFlow", 1);
    settings.Set(L"ZipCompType", 3);
    settings.Set(L"CabCompType", 1);
    settings.Set(L"CabLzxLevel", 17);
    settings.Set(L"CabFType", 0);
    settings.Set(L"CabFSize", 1048575);
    settings.Set(L"CabSort", 1);
    SeedText(L"Software\\Classes\\ZupakoTest.zip\\shell", nullptr, L"menu");
    SeedText(L"Software\\Classes\\ZupakoTest.zip\\DefaultIcon", nullptr, WString(kFolder) + L"\\ZPKSet.exe,1");
    // Only the .zip class is looked at.
    SeedText(L"Software\\Classes\\ZupakoTest.cab\\shellex\\DropHandler", nullptr, kHandlerClassId);
    CSettingsDialog dialog;
    HWND d = dialog.Window();
    ASSERT_NE(nullptr, d);
    EXPECT_FALSE(IsWindowVisible(d));
    EXPECT_TRUE(Checked(d, IDC_OPTION_MENU_DEFAULT));
    EXPECT_TRUE(Checked(d, IDC_OPTION_OWN_ICONS));
    EXPECT_FALSE(Checked(d, IDC_OPTION_DROP_HANDLER));
    EXPECT_TRUE(Checked(d, IDC_ACT_ARCHIVER));
    EXPECT_EQ(L"\"C:\\arc.exe\" \"%l\"", ItemText(d, IDC_ARC_COMMAND));
    EXPECT_EQ(L"C:\\展開 先", ItemText(d, IDC_EXTRACT_DIR));
    EXPECT_FALSE(Checked(d, IDC_EXTRACT_OPEN));
    EXPECT_TRUE(Checked(d, IDC_OVERFLOW_WRAP));
    EXPECT_TRUE(Checked(d, IDC_ZIP_STORE));
    EXPECT_TRUE(Checked(d, IDC_CAB_LZX));
    EXPECT_EQ(L"17", ItemText(d, IDC_LZX_LEVEL));
    EXPECT_TRUE(Checked(d, IDC_UNIT_BY_SIZE));
    EXPECT_EQ(L"1048575", ItemText(d, IDC_UNIT_SIZE));
    EXPECT_EQ(L"1023kByte", ItemText(d, IDC_UNIT_SIZE_TEXT));
    EXPECT_TRUE(Checked(d, IDC_CAB_SORT));
    EXPECT_EQ(L"Zupako の設定", WindowTextOf(d));
    EXPECT_EQ(0u, prompts.Count());
}

TEST_F(SettingsDialogTest, EnablingFollowsEachRadioGroup)
{
    CSettingsDialog dialog;
    HWND d = dialog.Window();
    Click(d, IDC_ACT_EXPLORER);
    for (int id : {IDC_EXTRACT_DIR, IDC_EXTRACT_BROWSE, IDC_EXTRACT_OPEN, IDC_ARC_COMMAND, IDC_ARC_COMMAND_LABEL}) {
        EXPECT_FALSE(Enabled(d, id)) << id;
    }
    Click(d, IDC_ACT_ARCHIVER);
    EXPECT_TRUE(Enabled(d, IDC_ARC_COMMAND));
    EXPECT_TRUE(Enabled(d, IDC_ARC_COMMAND_LABEL));
    EXPECT_FALSE(Enabled(d, IDC_EXTRACT_DIR));
    Click(d, IDC_ACT_EXTRACT);
    for (int id : {IDC_EXTRACT_DIR, IDC_EXTRACT_BROWSE, IDC_EXTRACT_OPEN}) {
        EXPECT_TRUE(Enabled(d, id)) << id;
    }
    EXPECT_FALSE(Enabled(d, IDC_ARC_COMMAND));
    Click(d, IDC_CAB_STANDARD);
    EXPECT_FALSE(Enabled(d, IDC_LZX_LEVEL));
    EXPECT_FALSE(Enabled(d, IDC_LZX_SPIN));
    Click(d, IDC_CAB_LZX);
    EXPECT_TRUE(Enabled(d, IDC_LZX_LEVEL));
    EXPECT_TRUE(Enabled(d, IDC_LZX_SPIN));
    Click(d, IDC_CAB_NONE);
    EXPECT_FALSE(Enabled(d, IDC_LZX_SPIN));
    // The dialog stays hidden, so the note's own visible style tells
    // whether it shows.
    auto noteShown = [d] { return (GetWindowLongW(GetDlgItem(d, IDC_UNIT_AUTO_NOTE), GWL_STYLE) & WS_VISIBLE) != 0; };
    Click(d, IDC_UNIT_LARGE_ALONE);
    EXPECT_TRUE(Enabled(d, IDC_UNIT_SIZE));
    EXPECT_FALSE(noteShown());
    Click(d, IDC_UNIT_BY_SIZE);
    EXPECT_TRUE(Enabled(d, IDC_UNIT_SIZE));
    EXPECT_TRUE(noteShown());
    Click(d, IDC_UNIT_PER_FILE);
    EXPECT_FALSE(Enabled(d, IDC_UNIT_SIZE));
    EXPECT_FALSE(noteShown());
    // The level edit cannot be typed into; the up-down keeps 15 to 21.
    EXPECT_TRUE(GetWindowLongW(GetDlgItem(d, IDC_LZX_LEVEL), GWL_STYLE) & ES_READONLY);
    int low = 0;
    int high = 0;
    SendDlgItemMessageW(d, IDC_LZX_SPIN, UDM_GETRANGE32, reinterpret_cast<WPARAM>(&low),
                        reinterpret_cast<LPARAM>(&high));
    EXPECT_EQ(15, low);
    EXPECT_EQ(21, high);
    EXPECT_EQ(reinterpret_cast<LRESULT>(GetDlgItem(d, IDC_LZX_LEVEL)),
              SendDlgItemMessageW(d, IDC_LZX_SPIN, UDM_GETBUDDY, 0, 0));
}

TEST_F(SettingsDialogTest, SizeReadOutFollowsTheText)
{
    EXPECT_TRUE(UnitSizeText(1048575) == L"1023kByte");
    EXPECT_TRUE(UnitSizeText(1048576) == L"1MByte");
    EXPECT_TRUE(UnitSizeText(1073741824) == L"1GByte");
    EXPECT_TRUE(UnitSizeText(1023) == L"1023Byte");
    EXPECT_TRUE(UnitSizeText(-1) == L"error");
    CSettingsDialog dialog;
    HWND d = dialog.Window();
    SetText(d, IDC_UNIT_SIZE, L"1048576");
    EXPECT_EQ(L"1MByte", ItemText(d, IDC_UNIT_SIZE_TEXT));
    SetText(d, IDC_UNIT_SIZE, L"12x");
    EXPECT_EQ(L"error", ItemText(d, IDC_UNIT_SIZE_TEXT));
    SetText(d, IDC_UNIT_SIZE, L"3000000000");
    EXPECT_EQ(L"overflow", ItemText(d, IDC_UNIT_SIZE));
    EXPECT_EQ(L"error", ItemText(d, IDC_UNIT_SIZE_TEXT));
    SetText(d, IDC_UNIT_SIZE, L"2147483647");
    EXPECT_EQ(L"overflow", ItemText(d, IDC_UNIT_SIZE));
    SetText(d, IDC_UNIT_SIZE, L"2147483646");
    EXPECT_EQ(L"1GByte", ItemText(d, IDC_UNIT_SIZE_TEXT));
}

TEST_F(SettingsDialogTest, PresetsFillTheControlsAndCancelWritesNothing)
{
    CSettingsDialog dialog;
    HWND d = dialog.Window();
    Click(d, IDC_PRESET_RECOMMENDED);
    EXPECT_TRUE(Checked(d, IDC_OPTION_MENU_DEFAULT) && Checked(d, IDC_OPTION_OWN_ICONS) &&
                Checked(d, IDC_OPTION_DROP_HANDLER));
    EXPECT_TRUE(Checked(d, IDC_ACT_EXPLORER));
    EXPECT_EQ(L"", ItemText(d, IDC_ARC_COMMAND));
    EXPECT_TRUE(DialogItemText(d, IDC_EXTRACT_DIR) == DesktopFolder());
    EXPECT_TRUE(Checked(d, IDC_EXTRACT_OPEN));
    EXPECT_TRUE(Checked(d, IDC_OVERFLOW_MORE));
    EXPECT_TRUE(Checked(d, IDC_ZIP_RATIO));
    EXPECT_TRUE(Checked(d, IDC_CAB_LZX));
    EXPECT_TRUE(Enabled(d, IDC_LZX_LEVEL));
    EXPECT_EQ(L"21", ItemText(d, IDC_LZX_LEVEL));
    EXPECT_TRUE(Checked(d, IDC_UNIT_LARGE_ALONE));
    EXPECT_EQ(L"1000000", ItemText(d, IDC_UNIT_SIZE));
    EXPECT_TRUE(Checked(d, IDC_CAB_SORT));
    Click(d, IDC_PRESET_INSTALL);
    EXPECT_TRUE(Checked(d, IDC_OPTION_MENU_DEFAULT) && Checked(d, IDC_OPTION_OWN_ICONS) &&
                Checked(d, IDC_OPTION_DROP_HANDLER));
    EXPECT_TRUE(Checked(d, IDC_ZIP_STANDARD));
    EXPECT_TRUE(Checked(d, IDC_CAB_STANDARD));
    EXPECT_FALSE(Enabled(d, IDC_LZX_LEVEL));
    EXPECT_TRUE(Checked(d, IDC_UNIT_BY_SIZE));
    EXPECT_EQ(L"0", ItemText(d, IDC_UNIT_SIZE));
    EXPECT_FALSE(Checked(d, IDC_CAB_SORT));
    Click(d, IDC_SETTINGS_CANCEL);
    EXPECT_TRUE(TakeQuitMessage());
    EXPECT_EQ(-1, ProductNumber(L"ZipCompType"));
    EXPECT_EQ(L"<missing>", RegText(L"Software\\Classes\\ZupakoTest.zip\\shell"));
    EXPECT_EQ(0u, prompts.Count());
}

TEST_F(SettingsDialogTest, DroppedProgramBecomesTheQuotedCommandOrReplacesTheSelection)
{
    CSettingsDialog dialog;
    HWND d = dialog.Window();
    Click(d, IDC_ACT_ARCHIVER);
    HWND field = GetDlgItem(d, IDC_ARC_COMMAND);
    SendMessageW(field, WM_DROPFILES, reinterpret_cast<WPARAM>(MakeDrop({L"C:\\Prog Files\\arc.exe", L"C:\\b.exe"})),
                 0);
    EXPECT_EQ(L"\"C:\\Prog Files\\arc.exe\" \"%l\"", ItemText(d, IDC_ARC_COMMAND));
    SendMessageW(field, EM_SETSEL, 1, 22);
    SendMessageW(field, WM_DROPFILES, reinterpret_cast<WPARAM>(MakeDrop({L"D:\\x.exe"})), 0);
    EXPECT_EQ(L"\"D:\\x.exe\" \"%l\"", ItemText(d, IDC_ARC_COMMAND));
    EXPECT_EQ(0u, prompts.Count());
}

TEST_F(SettingsDialogTest, RefusalsWriteNothing)
{
    CSettingsDialog dialog;
    HWND d = dialog.Window();
    SetRadioIndex(d, IDC_ACTION_GROUP, 3, -1);
    prompts.Answer(IDOK);
    EXPECT_FALSE(dialog.Write(true));
    Click(d, IDC_ACT_ARCHIVER);
    SetText(d, IDC_ARC_COMMAND, L"");
    prompts.Answer(IDOK);
    EXPECT_FALSE(dialog.Write(true));
    Click(d, IDC_ACT_EXPLORER);
    Click(d, IDC_UNIT_LARGE_ALONE);
    SetText(d, IDC_UNIT_SIZE, L"0");
    prompts.Answer(IDOK);
    EXPECT_FALSE(dialog.Write(true));
    // Text that is no size is refused instead of being stored as 4294967295.
    Click(d, IDC_UNIT_BY_SIZE);
    SetText(d, IDC_UNIT_SIZE, L"12x");
    prompts.Answer(IDOK);
    EXPECT_FALSE(dialog.Write(true));
    ASSERT_EQ(4u, prompts.Count());
    EXPECT_EQ(L"「全体」をクリックした動作が指定されていません", prompts.Prompts()[0].text);
    EXPECT_EQ(L"アーカイバ起動コマンドが指定されていません", prompts.Prompts()[1].text);
    EXPECT_EQ(L"圧縮単位サイズを指定してください", prompts.Prompts()[2].text);
    EXPECT_NE(std::wstring::npos, prompts.Prompts()[3].text.find(L"2147483646"));
    EXPECT_EQ(-1, ProductNumber(L"Act"));
    EXPECT_EQ(-1, ProductNumber(L"CabFSize"));
    EXPECT_FALSE(TakeQuitMessage());
}

TEST_F(SettingsDialogTest, OkWritesEveryValueAndTheShellOptions)
{
    CSettingsDialog dialog;
    HWND d = dialog.Window();
    Click(d, IDC_PRESET_RECOMMENDED);
    Click(d, IDC_ACT_EXTRACT);
    SetText(d, IDC_EXTRACT_DIR, L"\"D:\\解凍 先\"");
    Click(d, IDC_EXTRACT_OPEN);
    Click(d, IDC_OVERFLOW_WRAP);
    SetText(d, IDC_ARC_COMMAND, L"arc %l");
    SendDlgItemMessageW(d, IDC_LZX_SPIN, UDM_SETPOS32, 0, 16);
    SetText(d, IDC_UNIT_SIZE, L"4096");
    prompts.Answer(IDOK);
    ASSERT_TRUE(dialog.Write(true));
    ASSERT_EQ(1u, prompts.Count());
    EXPECT_EQ(L"設定の書き込みが終了しました", prompts.LastText());
    EXPECT_EQ(static_cast<UINT>(MB_ICONINFORMATION), prompts.Prompts()[0].icon);
    EXPECT_TRUE(TakeQuitMessage());
    EXPECT_FALSE(IsWindowVisible(d));
    EXPECT_EQ(1, ProductNumber(L"MenuDefault"));
    EXPECT_EQ(1, ProductNumber(L"IconChange"));
    EXPECT_EQ(1, ProductNumber(L"DDMenu"));
    EXPECT_EQ(2, ProductNumber(L"Act"));
    EXPECT_EQ(L"arc %l", RegText(kProductKey, L"ArcCommand"));
    EXPECT_EQ(L"D:\\解凍 先", RegText(kProductKey, L"ExtractDir"));
    EXPECT_EQ(0, ProductNumber(L"EDOpen"));
    EXPECT_EQ(1, ProductNumber(L"MenuOverFlow"));
    EXPECT_EQ(2, ProductNumber(L"ZipCompType"));
    EXPECT_EQ(1, ProductNumber(L"CabCompType"));
    EXPECT_EQ(16, ProductNumber(L"CabLzxLevel"));
    EXPECT_EQ(1, ProductNumber(L"CabFType"));
    EXPECT_EQ(4096, ProductNumber(L"CabFSize"));
    EXPECT_EQ(1, ProductNumber(L"CabSort"));
    EXPECT_EQ(L"menu", RegText(L"Software\\Classes\\ZupakoTest.zip\\shell"));
    EXPECT_EQ(L"menu", RegText(L"Software\\Classes\\ZupakoTest.cab\\shell"));
    // Icons name the program without quotes, even with a blank in the folder.
    EXPECT_EQ(L"C:\\Program Files\\Zupako Test\\ZPKSet.exe,1", RegText(L"Software\\Classes\\ZupakoTest.zip\\DefaultIcon"));
    EXPECT_EQ(L"C:\\Program Files\\Zupako Test\\ZPKSet.exe,2", RegText(L"Software\\Classes\\ZupakoTest.cab\\DefaultIcon"));
    EXPECT_EQ(kHandlerClassId, RegText(L"Software\\Classes\\ZupakoTest.zip\\shellex\\DropHandler"));
    // What ReadStoredSettings gives the programs is what was chosen.
    StoredSettings read = ReadStoredSettings();
    EXPECT_EQ(16u, read.cabLzxLevel);
    EXPECT_EQ(4096u, read.cabUnitSize);
}

TEST_F(SettingsDialogTest, OptionsOffRemoveOnlyWhatIsOurs)
{
    SeedText(L"Software\\Classes\\ZupakoTest.zip\\shell", nullptr, L"menu");
    SeedText(L"Software\\Classes\\ZupakoTest.zip\\DefaultIcon", nullptr, WString(kFolder) + L"\\ZPKSet.exe,1");
    SeedText(L"Software\\Classes\\ZupakoTest.zip\\shellex\\DropHandler", nullptr, kHandlerClassId);
    SeedText(L"Software\\Classes\\ZupakoTest.cab\\shell", nullptr, L"open");
    SeedText(L"Software\\Classes\\ZupakoTest.cab\\DefaultIcon", nullptr, L"C:\\other.exe,3");
    CSettingsDialog dialog;
    HWND d = dialog.Window();
    for (int id : {IDC_OPTION_MENU_DEFAULT, IDC_OPTION_OWN_ICONS, IDC_OPTION_DROP_HANDLER}) {
        CheckDlgButton(d, id, BST_UNCHECKED);
    }
    ASSERT_TRUE(dialog.Write(false));
    EXPECT_EQ(L"<missing>", RegText(L"Software\\Classes\\ZupakoTest.zip\\shell"));
    EXPECT_FALSE(RegKeyExists(L"Software\\Classes\\ZupakoTest.zip\\DefaultIcon"));
    EXPECT_EQ(L"<missing>", RegText(L"Software\\Classes\\ZupakoTest.zip\\shellex\\DropHandler"));
    EXPECT_EQ(L"open", RegText(L"Software\\Classes\\ZupakoTest.cab\\shell"));
    EXPECT_EQ(L"C:\\other.exe,3", RegText(L"Software\\Classes\\ZupakoTest.cab\\DefaultIcon"));
    EXPECT_EQ(0, ProductNumber(L"MenuDefault"));
    // A drop handler of another program stays too.
    SeedText(L"Software\\Classes\\ZupakoTest.zip\\shellex\\DropHandler", nullptr, L"{00000000-1111-2222-3333-444444444444}");
    ASSERT_TRUE(dialog.Write(false));
    EXPECT_EQ(L"{00000000-1111-2222-3333-444444444444}",
              RegText(L"Software\\Classes\\ZupakoTest.zip\\shellex\\DropHandler"));
    EXPECT_EQ(0u, prompts.Count());
}

TEST_F(SettingsDialogTest, TypeWithoutClassIsSkippedAndTheUserIsTold)
{
    RegDeleteKeyW(HKEY_CURRENT_USER, L"Software\\Classes\\.cab");
    SeedText(L"Software\\Classes\\.cab", nullptr, L"");
    CSettingsDialog dialog;
    CheckDlgButton(dialog.Window(), IDC_OPTION_MENU_DEFAULT, BST_CHECKED);
    CheckDlgButton(dialog.Window(), IDC_OPTION_OWN_ICONS, BST_CHECKED);
    prompts.Answer(IDOK);
    prompts.Answer(IDOK);
    ASSERT_TRUE(dialog.Write(true));
    ASSERT_EQ(2u, prompts.Count());
    EXPECT_NE(std::wstring::npos, prompts.Prompts()[0].text.find(L"*.cab")) << Utf8(prompts.Prompts()[0].text);
    EXPECT_FALSE(RegKeyExists(L"Software\\Classes\\shell"));
    EXPECT_FALSE(RegKeyExists(L"Software\\Classes\\DefaultIcon"));
    EXPECT_EQ(L"menu", RegText(L"Software\\Classes\\ZupakoTest.zip\\shell"));
}

TEST_F(SettingsDialogTest, WindowDestroyedElsewhereIsNotDestroyedTwice)
{
    {
        CSettingsDialog dialog;
        DestroyWindow(dialog.Window());
    }
    EXPECT_EQ(0u, prompts.Count()) << Utf8(prompts.LastText());
}

struct TooltipSearch {
    HWND dialog;
    std::map<int, std::wstring> tips;
    std::vector<LRESULT> delays;
};

BOOL CALLBACK CollectTooltip(HWND window, LPARAM data)
{
    auto* s = reinterpret_cast<TooltipSearch*>(data);
    wchar_t name[64] = {};
    GetClassNameW(window, name, 64);
    if (lstrcmpiW(name, TOOLTIPS_CLASSW) != 0 || GetWindow(window, GW_OWNER) != s->dialog) {
        return TRUE;
    }
    wchar_t text[256] = {};
    TOOLINFOW tool{};
    tool.cbSize = sizeof tool;
    tool.lpszText = text;
    if (SendMessageW(window, TTM_ENUMTOOLSW, 0, reinterpret_cast<LPARAM>(&tool))) {
        s->tips[GetDlgCtrlID(reinterpret_cast<HWND>(tool.uId))] = text;
    }
    s->delays.push_back(SendMessageW(window, TTM_GETDELAYTIME, TTDT_AUTOPOP, 0));
    return TRUE;
}

TEST_F(SettingsDialogTest, ShownDialogTakesItsLettersAndEscape)
{
    CSettingsDialog dialog;
    HWND d = dialog.Window();
    ASSERT_TRUE(Checked(d, IDC_ACT_EXPLORER));
    // Alt+X chooses the extract action; Escape then closes without writing.
    PostMessageW(d, WM_SYSCHAR, L'x', 1 << 29);
    PostMessageW(d, WM_KEYDOWN, VK_ESCAPE, 0);
    // Keys that never reach the dialog must not keep the test waiting.
    UINT_PTR fallback = SetTimer(nullptr, 0, 5000, EndTheLoop);
    dialog.Show();
    KillTimer(nullptr, fallback);
    EXPECT_TRUE(Checked(d, IDC_ACT_EXTRACT));
    EXPECT_TRUE(Enabled(d, IDC_EXTRACT_DIR));
    EXPECT_FALSE(IsWindowVisible(d)) << "Escape closed the dialog";
    EXPECT_EQ(-1, ProductNumber(L"Act"));
    EXPECT_EQ(0u, prompts.Count());
}

TEST_F(SettingsDialogTest, TooltipsExplainOverflowLevelAndSorting)
{
    CSettingsDialog dialog;
    TooltipSearch search{dialog.Window(), {}, {}};
    EnumThreadWindows(GetCurrentThreadId(), CollectTooltip, reinterpret_cast<LPARAM>(&search));
    EXPECT_EQ(L"これを選択した場合メニューは一列で上下に矢印が出てきます", search.tips[IDC_OVERFLOW_NONE]);
    for (int id : {IDC_LZX_LABEL, IDC_LZX_LEVEL, IDC_LZX_SPIN}) {
        EXPECT_EQ(L"*.cab の圧縮レベル 15-21, 21が最大圧縮", search.tips[id]) << id;
    }
    EXPECT_EQ(L"フォルダーの右クリックの[Cab に圧縮(B)]に対して効きます", search.tips[IDC_CAB_SORT]);
    EXPECT_EQ(5u, search.delays.size());
    for (LRESULT delay : search.delays) {
        EXPECT_EQ(5000, delay);
    }
}

TEST_F(SettingsDialogTest, SetVerbRefusesBeforeAnInstall)
{
    settings.Remove(L"InstallDir");
    prompts.Answer(IDOK);
    RunSettingsVerb();
    ASSERT_EQ(1u, prompts.Count());
    EXPECT_NE(std::wstring::npos, prompts.LastText().find(L"インストールされていません"));
    EXPECT_EQ(L"<missing>", RegText(L"Software\\Classes\\ZupakoTest.zip\\shell"));
}

}  // namespace
