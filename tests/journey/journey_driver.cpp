// The user of the whole journey, inside the journey's own Wine prefix: one
// step per run, worked as a person works Windows (dialogs clicked with the
// mouse, boxes answered, menus worked with keys, files dragged), and the
// shell's part played as the shell plays it (commands read from the
// registered classes, %1 replaced, the program started). Each run prints
// what it saw, one UTF-8 line each, for journey_test.py to judge:
//   install DIR              the install dialog of DIR\ZPKSet.exe, OK pressed
//   uninstall DIR            the same dialog with "アンインストール" chosen
//   shortcut LINK            the target, arguments and folder of a shortcut
//   verb KEY PATH            the registered command KEY\command on PATH
//   new-cab FOLDER           the New menu's cabinet, made in FOLDER
//   open-menu ARCHIVE KEYS   the registered menu command; the keys choose
//                            a file (down, right, return, escape), which the
//                            stand-in editor changes; Yes stores it back
//   open-measure ARCHIVE     the menu opened and measured, then closed
//   open-add ARCHIVE FILE    an empty cabinet opened: the add dialog comes,
//                            and FILE is dragged onto it
//   settings DIR MODE        "ZPKSet.exe set": the overflow mode MODE chosen,
//                            OK pressed
//   screen                   the screen's size, from a first window
#include <windows.h>
#include <shlobj.h>

#include <algorithm>
#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "common/handles.h"
#include "resources/cab_add_ids.h"
#include "resources/setup_ids.h"
#include "support/child_process.h"
#include "support/indirect_string.h"
#include "support/mouse_drag.h"
#include "support/prompt_recorder.h"
#include "support/scripted_user.h"
#include "support/stand_in_editor.h"
#include "support/test_files.h"
#include "support/user_classes.h"
#include "support/window_driver.h"

namespace {

const wchar_t kInstallTitle[] = L"Zupako Ver.2.22 のインストール";
const wchar_t kSettingsTitle[] = L"Zupako の設定";
const wchar_t kAddTitle[] = L"cab への追加圧縮";
// The extension that the stand-in editor opens in this prefix.
const wchar_t kEditedExtension[] = L".zjt";

void Print(const std::wstring& line) { printf("%s\n", OneLineUtf8(line).c_str()); }

std::wstring Replaced(std::wstring text, const std::wstring& from, const std::wstring& to)
{
    for (size_t at = text.find(from); at != std::wstring::npos; at = text.find(from, at + to.size())) {
        text.replace(at, from.size(), to);
    }
    return text;
}

HWND WaitForDialogOf(DWORD processId, const wchar_t* title, DWORD milliseconds = 30000)
{
    ULONGLONG deadline = GetTickCount64() + milliseconds;
    do {
        HWND dialog = FindDialogOf(processId, title);
        if (dialog) {
            // Its controls are filled in after it shows.
            Sleep(300);
            return dialog;
        }
        Sleep(50);
    } while (GetTickCount64() < deadline);
    return nullptr;
}

// Answers the boxes of a program until it ends: each box's text is printed
// and its button clicked with the mouse, the next of the answers; a box
// beyond them is closed with Cancel, No or OK and printed as unexpected.
int AnswerBoxesUntilEnd(StartedProgram& program, std::vector<int> answers, DWORD milliseconds = 90000)
{
    ULONGLONG deadline = GetTickCount64() + milliseconds;
    while (GetTickCount64() < deadline) {
        int code = program.Wait(0);
        if (code >= 0) {
            return code;
        }
        HWND box = FindDialogOf(program.Id(), L"Zupako");
        if (!box) {
            Sleep(50);
            continue;
        }
        Sleep(300);
        int button = 0;
        if (!answers.empty()) {
            button = answers.front();
            answers.erase(answers.begin());
            Print(L"box " + StaticTextOf(box));
        } else {
            Print(L"unexpected box " + StaticTextOf(box));
            for (int candidate : {IDCANCEL, IDNO, IDOK}) {
                if (GetDlgItem(box, candidate)) {
                    button = candidate;
                    break;
                }
            }
        }
        if (!ClickWithMouse(GetDlgItem(box, button))) {
            PressButton(box, button);
        }
        for (int i = 0; i < 100 && IsWindow(box) && IsWindowVisible(box); ++i) {
            Sleep(20);
        }
    }
    return -1;
}

std::wstring Checked(HWND dialog, int id) { return IsDlgButtonChecked(dialog, id) == BST_CHECKED ? L"1" : L"0"; }

// The screen and the mouse as the first window of the session finds them;
// Wine keeps the session's display and mouse settings under the user's hive
// (in a volatile key) from the first reading on.
int Screen()
{
    ScopedWindow window(CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr));
    int mouse[3] = {};
    SystemParametersInfoW(SPI_GETMOUSE, 0, mouse, 0);
    UINT hover = 0;
    SystemParametersInfoW(SPI_GETMOUSEHOVERTIME, 0, &hover, 0);
    Print(L"mouse buttons swapped " + std::to_wstring(GetSystemMetrics(SM_SWAPBUTTON)) + L" double click " +
          std::to_wstring(GetDoubleClickTime()));
    Print(L"screen " + std::to_wstring(GetSystemMetrics(SM_CXSCREEN)) + L"x" +
          std::to_wstring(GetSystemMetrics(SM_CYSCREEN)));
    return window ? 0 : 1;
}

// ZPKSet.exe of the install folder, started from it with the arguments.
std::wstring SetupCommand(const std::wstring& folder, const std::wstring& arguments)
{
    return L"\"" + folder + L"\\ZPKSet.exe\"" + (arguments.empty() ? L"" : L" " + arguments);
}

// The dialog of that title, once the program shows it; null (said so) when
// it did not come.
HWND WaitForSetupDialog(const StartedProgram& program, const wchar_t* title)
{
    HWND dialog = WaitForDialogOf(program.Id(), title);
    if (!dialog) {
        Print(std::wstring(L"no dialog ") + title);
    }
    return dialog;
}

int InstallDialog(const std::wstring& folder, bool uninstall)
{
    StartedProgram program(SetupCommand(folder, L""), folder);
    HWND dialog = WaitForSetupDialog(program, kInstallTitle);
    if (!dialog) {
        return 1;
    }
    Print(L"dialog " + WindowTextOf(dialog));
    Print(L"folder " + WindowTextOf(GetDlgItem(dialog, IDC_INSTALL_FOLDER)));
    Print(L"options " + Checked(dialog, IDC_OPTION_MENU_DEFAULT) + Checked(dialog, IDC_OPTION_OWN_ICONS) +
          Checked(dialog, IDC_OPTION_DROP_HANDLER) + L" install " + Checked(dialog, IDC_INSTALL_RADIO));
    if (uninstall) {
        ClickWithMouse(GetDlgItem(dialog, IDC_UNINSTALL_RADIO));
        Sleep(300);
    }
    Print(L"ok button " + WindowTextOf(GetDlgItem(dialog, IDC_INSTALL_OK)));
    if (!ClickWithMouse(GetDlgItem(dialog, IDC_INSTALL_OK))) {
        Print(L"ok button not clickable");
    }
    Print(L"exit " + std::to_wstring(AnswerBoxesUntilEnd(program, {IDOK})));
    return 0;
}

int Shortcut(const std::wstring& link)
{
    ScopedComInit com;
    ComPtr<IShellLinkW> shortcut;
    ComPtr<IPersistFile> file;
    if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                                shortcut.ReceiveVoid())) ||
        FAILED(shortcut->QueryInterface(IID_IPersistFile, file.ReceiveVoid())) ||
        FAILED(file->Load(link.c_str(), STGM_READ))) {
        Print(L"no shortcut");
        return 1;
    }
    wchar_t text[MAX_PATH] = {};
    shortcut->GetPath(text, MAX_PATH, nullptr, 0);
    Print(L"target " + std::wstring(text));
    shortcut->GetArguments(text, MAX_PATH);
    Print(L"arguments " + std::wstring(text));
    shortcut->GetWorkingDirectory(text, MAX_PATH);
    Print(L"folder " + std::wstring(text));
    return 0;
}

// The shell's part: the registered command with %1 replaced, started.
int RunVerb(const std::wstring& key, const std::wstring& path)
{
    std::wstring command = MergedClassText(key + L"\\command");
    if (command.empty()) {
        Print(L"no command under " + key);
        return 1;
    }
    command = Replaced(command, L"%1", path);
    Print(L"command " + command);
    StartedProgram program(command);
    Print(L"exit " + std::to_wstring(AnswerBoxesUntilEnd(program, {})));
    return 0;
}

int NewCabinet(const std::wstring& folder)
{
    DWORD type = REG_NONE;
    std::vector<BYTE> data = MergedClassValue(L".cab\\ShellNew", L"Data", &type);
    std::wstring itemName = MergedClassText(L".cab\\ShellNew", L"ItemName");
    std::wstring menuText = MergedClassText(L".cab\\ShellNew", L"MenuText");
    // The shell reads "@program,-id" texts from the program's resources,
    // whichever width the program has.
    std::wstring name = IndirectString(itemName);
    Print(L"menu text " + IndirectString(menuText));
    Print(L"type " + std::to_wstring(type) + L" size " + std::to_wstring(data.size()));
    std::wstring path = folder + L"\\" + name + L".cab";
    if (name.empty() || !WriteFileBytes(WString(path.c_str()), Bytes(data.begin(), data.end()))) {
        Print(L"not created");
        return 1;
    }
    Print(L"created " + path);
    return 0;
}

// The menu command registered for the archive's type, as a double-click
// runs it.
std::wstring MenuCommandFor(const std::wstring& archive)
{
    std::wstring extension = archive.substr(archive.find_last_of(L'.'));
    std::wstring className = MergedClassText(extension);
    std::wstring verb = MergedClassText(className + L"\\shell");
    Print(L"class " + className + L" default verb " + verb);
    std::wstring command = MergedClassText(className + L"\\shell\\" + verb + L"\\command");
    return command.empty() ? command : Replaced(command, L"%1", archive);
}

std::vector<WORD> Keys(const std::vector<std::wstring>& names)
{
    static const std::map<std::wstring, WORD> keys{
        {L"down", VK_DOWN}, {L"up", VK_UP}, {L"right", VK_RIGHT}, {L"return", VK_RETURN}, {L"escape", VK_ESCAPE}};
    std::vector<WORD> pressed;
    for (const auto& name : names) {
        auto found = keys.find(name);
        if (found != keys.end()) {
            pressed.push_back(found->second);
        }
    }
    return pressed;
}

// The menu opens at the mouse; it stands where no window of the journey is.
void MouseToMenuPlace() { MouseTo(200, 150); }

int OpenMenu(const std::wstring& archive, const std::vector<std::wstring>& keyNames)
{
    StandInEditor editor(kEditedExtension);
    std::wstring command = MenuCommandFor(archive);
    Print(L"command " + command);
    MouseToMenuPlace();
    MenuAnswer user(Keys(keyNames));
    StartedProgram viewer(command);
    int code = AnswerBoxesUntilEnd(viewer, {IDYES});
    Print(std::wstring(L"menu ") + (user.MenuStuck() ? L"stuck" : user.MenuSeen() ? L"seen" : L"not seen"));
    Print(L"exit " + std::to_wstring(code));
    return 0;
}

int MeasureMenu(const std::wstring& archive)
{
    std::wstring command = MenuCommandFor(archive);
    MouseToMenuPlace();
    StartedProgram viewer(command);
    HWND menu = WaitForPopupMenu(30000);
    RECT area{};
    if (menu) {
        Sleep(500);
        GetWindowRect(menu, &area);
    }
    PressKeys({VK_ESCAPE, VK_ESCAPE});
    Print(menu ? L"menu " + std::to_wstring(area.right - area.left) + L"x" + std::to_wstring(area.bottom - area.top)
               : std::wstring(L"menu not seen"));
    Print(L"exit " + std::to_wstring(AnswerBoxesUntilEnd(viewer, {})));
    return 0;
}

int OpenAndAdd(const std::wstring& archive, const std::wstring& file)
{
    ScopedOleInit ole;
    std::wstring command = MenuCommandFor(archive);
    StartedProgram viewer(command);
    // The viewer hands an empty cabinet to ZPKSet "add", a process of its own.
    HWND dialog = WaitForTopLevelWindow(L"#32770", kAddTitle, 30000);
    Print(L"viewer exit " + std::to_wstring(viewer.Wait(30000)));
    if (!dialog) {
        Print(L"no add dialog");
        return 1;
    }
    Sleep(500);
    Print(L"add dialog " + WindowTextOf(GetDlgItem(dialog, IDC_CAB_NAME)));
    DWORD effect = DROPEFFECT_NONE;
    RECT area{};
    GetWindowRect(dialog, &area);
    // From a folder window below and left of the dialog.
    POINT from{std::max<LONG>(10, area.left - 100), area.bottom + 50};
    HRESULT dragged = DragFilesWithMouse({file}, from, GetDlgItem(dialog, IDC_CAB_DROP_AREA), &effect);
    Print(L"drag " + std::to_wstring(dragged == DRAGDROP_S_DROP) + L" effect " + std::to_wstring(effect));
    for (int i = 0; i < 300 && IsWindow(dialog); ++i) {
        Sleep(100);
    }
    if (IsWindow(dialog)) {
        // Nothing may stay behind the journey: the dialog that took no drop
        // is closed as a user would close it.
        Print(L"add dialog still open");
        PressButton(dialog, IDC_CAB_CANCEL);
        return 1;
    }
    Print(L"add dialog closed");
    return 0;
}

int Settings(const std::wstring& folder, int overflowMode)
{
    StartedProgram program(SetupCommand(folder, L"set"), folder);
    HWND dialog = WaitForSetupDialog(program, kSettingsTitle);
    if (!dialog) {
        return 1;
    }
    Print(L"overflow was " + Checked(dialog, IDC_OVERFLOW_NONE) + Checked(dialog, IDC_OVERFLOW_WRAP) +
          Checked(dialog, IDC_OVERFLOW_MORE));
    ClickWithMouse(GetDlgItem(dialog, IDC_OVERFLOW_NONE + overflowMode));
    Sleep(200);
    Print(L"overflow now " + Checked(dialog, IDC_OVERFLOW_NONE) + Checked(dialog, IDC_OVERFLOW_WRAP) +
          Checked(dialog, IDC_OVERFLOW_MORE));
    ClickWithMouse(GetDlgItem(dialog, IDC_SETTINGS_OK));
    Print(L"exit " + std::to_wstring(AnswerBoxesUntilEnd(program, {IDOK})));
    return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv)
{
    SetConsoleOutputCP(CP_UTF8);
    setvbuf(stdout, nullptr, _IONBF, 0);
    int role = RunChildRoleIfAsked(argc, argv);
    if (role >= 0) {
        return role;
    }
    std::vector<std::wstring> arguments(argv + 1, argv + argc);
    if (arguments.size() == 1 && arguments[0] == L"screen") {
        return Screen();
    }
    if (arguments.size() < 2) {
        fprintf(stderr, "usage: journey_driver STEP ARGUMENTS (see the source)\n");
        return 2;
    }
    const std::wstring& step = arguments[0];
    if (step == L"install" || step == L"uninstall") {
        return InstallDialog(arguments[1], step == L"uninstall");
    }
    if (step == L"shortcut") {
        return Shortcut(arguments[1]);
    }
    if (step == L"verb" && arguments.size() == 3) {
        return RunVerb(arguments[1], arguments[2]);
    }
    if (step == L"new-cab") {
        return NewCabinet(arguments[1]);
    }
    if (step == L"open-menu") {
        return OpenMenu(arguments[1], std::vector<std::wstring>(arguments.begin() + 2, arguments.end()));
    }
    if (step == L"open-measure") {
        return MeasureMenu(arguments[1]);
    }
    if (step == L"open-add" && arguments.size() == 3) {
        return OpenAndAdd(arguments[1], arguments[2]);
    }
    if (step == L"settings" && arguments.size() == 3) {
        return Settings(arguments[1], _wtoi(arguments[2].c_str()));
    }
    fprintf(stderr, "journey_driver: unknown step\n");
    return 2;
}
