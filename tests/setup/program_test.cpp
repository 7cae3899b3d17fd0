// The real ZPKSet.exe, started as Explorer, the Start menu or the menu
// viewer would start it; its boxes are answered from this process.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "archive/cabfile.h"
#include "archive/zipfile.h"
#include "common/handles.h"
#include "common/paths.h"
#include "common/registry.h"
#include "common/settings.h"
#include "common/system.h"
#include "resources/cab_add_ids.h"
#include "resources/setup_ids.h"
#include "support/child_process.h"
#include "support/indirect_string.h"
#include "support/mouse_drag.h"
#include "support/prompt_recorder.h"
#include "support/test_files.h"
#include "support/window_driver.h"

namespace {

// The build gives Linux paths; Wine shows the Linux root as Z:.
WString WindowsPath(const char* linuxPath)
{
    return WString(L"Z:") + WString::FromUtf8(linuxPath).ReplaceAll(L'/', L'\\');
}

WString SetupProgram() { return WindowsPath(ZPKSET_EXE); }

// The real program as the shell starts it, with the arguments.
class Started : public StartedProgram {
public:
    explicit Started(const WString& arguments)
        : StartedProgram((L"\"" + SetupProgram() + L"\" " + arguments).c_str())
    {
    }
};

// The text of the program's next box, which is then answered.
std::wstring AnswerBox(Started& program, int button)
{
    HWND box = WaitForProcessDialog(program.Id());
    if (!box) {
        return L"<no box>";
    }
    std::wstring text = StaticTextOf(box);
    EXPECT_EQ(L"Zupako", WindowTextOf(box));
    PressButton(box, button);
    return text;
}

BOOL CALLBACK CollectResourceName(HMODULE, LPCWSTR, LPWSTR name, LONG_PTR data)
{
    reinterpret_cast<std::vector<ULONG_PTR>*>(data)->push_back(reinterpret_cast<ULONG_PTR>(name));
    return TRUE;
}

TEST(SetupProgramTest, ResourcesHoldIconsDialogsCursorsVersionAndManifest)
{
    WString program = SetupProgram();
    EXPECT_EQ(3u, ExtractIconExW(program.c_str(), -1, nullptr, nullptr, 0));
    ScopedModule module(LoadLibraryExW(program.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE));
    ASSERT_TRUE(module);
    // The icon groups in file order: ",1" and ",2" of DefaultIcon pick 101 and 102.
    std::vector<ULONG_PTR> groups;
    EnumResourceNamesW(module.Get(), RT_GROUP_ICON, CollectResourceName, reinterpret_cast<LONG_PTR>(&groups));
    EXPECT_EQ((std::vector<ULONG_PTR>{100, 101, 102}), groups);
    for (int dialog : {110, 120, 9000, 9600}) {
        EXPECT_NE(nullptr, FindResourceW(module.Get(), MAKEINTRESOURCEW(dialog), RT_DIALOG)) << dialog;
    }
    for (int cursor : {901, 902, 903}) {
        EXPECT_NE(nullptr, FindResourceW(module.Get(), MAKEINTRESOURCEW(cursor), RT_GROUP_CURSOR)) << cursor;
    }
    HRSRC manifest = FindResourceW(module.Get(), MAKEINTRESOURCEW(1), RT_MANIFEST);
    ASSERT_NE(nullptr, manifest);
    std::string manifestText(static_cast<const char*>(LockResource(LoadResource(module.Get(), manifest))),
                             SizeofResource(module.Get(), manifest));
    EXPECT_NE(std::string::npos, manifestText.find("level=\"asInvoker\""));
    // Without these Windows draws every window at 96 DPI and stretches it.
    EXPECT_NE(std::string::npos,
              manifestText.find("<dpiAware xmlns=\"http://schemas.microsoft.com/SMI/2005/WindowsSettings\">True/PM"
                                "</dpiAware>"));
    EXPECT_NE(std::string::npos,
              manifestText.find("<dpiAwareness xmlns=\"http://schemas.microsoft.com/SMI/2016/WindowsSettings\">"
                                "PerMonitorV2, PerMonitor</dpiAwareness>"));
    DWORD handle = 0;
    DWORD size = GetFileVersionInfoSizeW(program.c_str(), &handle);
    ASSERT_NE(0u, size);
    std::vector<BYTE> version(size);
    ASSERT_TRUE(GetFileVersionInfoW(program.c_str(), 0, size, version.data()));
    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT length = 0;
    ASSERT_TRUE(VerQueryValueW(version.data(), L"\\", reinterpret_cast<void**>(&fixed), &length));
    EXPECT_EQ(MAKELONG(22, 2), fixed->dwFileVersionMS);
    wchar_t* fileVersion = nullptr;
    ASSERT_TRUE(VerQueryValueW(version.data(), L"\\StringFileInfo\\041104b0\\FileVersion",
                               reinterpret_cast<void**>(&fileVersion), &length));
    EXPECT_EQ(L"2.22", std::wstring(fileVersion));
}

// The New menu's texts through the references that install writes, read as
// the shell reads them: from the program of the test's own width, and from
// the 32-bit deliverable, which a 64-bit reader can only load as data.
TEST(SetupProgramTest, NewMenuTextsAreReadAsDataFromEitherWidth)
{
    WString deliverable = WindowsPath(ZPKSET_DELIVERABLE_EXE);
    ASSERT_TRUE(PathExists(deliverable)) << "no 32-bit ZPKSet.exe at " << ZPKSET_DELIVERABLE_EXE
                                         << ": build both widths (tools/build.sh)";
    for (const WString& program : {SetupProgram(), deliverable}) {
        std::wstring path = program.c_str();
        EXPECT_EQ(L"圧縮 (cab 形式) フォルダー", IndirectString(L"@" + path + L",-10000")) << Utf8(path);
        EXPECT_EQ(L"新しい圧縮された (CAB) フォルダー", IndirectString(L"@" + path + L",-10001")) << Utf8(path);
    }
}

TEST(SetupProgramTest, SameCommandRunningIsRefusedWithExitCodeOne)
{
    SingleInstanceMutex running(L"ZPKSet_about");
    ASSERT_TRUE(running.IsFirstInstance());
    Started second(L"about");
    EXPECT_EQ(L"２重に起動はできません", AnswerBox(second, IDOK));
    EXPECT_EQ(1, second.Wait());
}

TEST(SetupProgramTest, AboutShowsTheVersionAndEndsWithZero)
{
    Started about(L"  about  ");
    HWND box = WaitForProcessDialog(about.Id());
    ASSERT_NE(nullptr, box);
    EXPECT_EQ(L"Zupako のバージョン情報", WindowTextOf(box));
    EXPECT_EQ(L"Ver.2.22", WindowTextOf(GetDlgItem(box, 9003)));
    PressButton(box, 9008);
    EXPECT_EQ(0, about.Wait());
}

TEST(SetupProgramTest, SetInCapitalsIsAFilePathForTheReportVerb)
{
    Started wrong(L"SET");
    EXPECT_EQ(L"引数が違っています。", AnswerBox(wrong, IDOK));
    EXPECT_EQ(0, wrong.Wait());
}

TEST(SetupProgramTest, ZipCompressAsksBeforeReplacingAndWritesTheFolder)
{
    ScratchFolder scratch;
    WString folder = scratch / L"夏の 写真";
    CreateDirectoryTree(folder, false);
    WriteFileText(folder + L"\\富士山.txt", "fuji\n");
    WriteFileText(folder + L".zip", "old");
    Started program(L"zipcompress \"" + folder + L"\"");
    EXPECT_EQ(std::wstring((folder + L".zip を置き換えていいですか？").c_str()), AnswerBox(program, IDYES));
    EXPECT_EQ(0, program.Wait());
    CZipFile zip(folder + L".zip", ZlibBesideProgram());
    StringList names(true);
    ASSERT_TRUE(zip.GetEntryNames(names)) << Utf8(zip.ErrorText().c_str());
    EXPECT_GE(names.Find(L"富士山.txt"), 0);
}

TEST(SetupProgramTest, CompressOfAFileSaysItIsNoFolder)
{
    ScratchFolder scratch;
    WString file = scratch / L"a.txt";
    WriteFileText(file, "a");
    Started program(L"cabcompress \"" + file + L"\"");
    EXPECT_EQ(L"フォルダではありません", AnswerBox(program, IDOK));
    EXPECT_EQ(0, program.Wait());
    EXPECT_FALSE(PathExists(scratch / L"a.txt.cab"));
}

// A cabinet holding a.txt, made by the engine, in a folder with a blank.
WString CabinetWithOneFile(const ScratchFolder& scratch)
{
    WString source = scratch / L"中身";
    CreateDirectoryTree(source, false);
    WriteFileText(source + L"\\a.txt", "first\n");
    WString cabinet = scratch / L"書類 入れ.cab";
    CCabFile cab(cabinet);
    EXPECT_TRUE(cab.SilentCompress(cabinet, source)) << Utf8(cab.ErrorText().c_str());
    cab.ClearErrorText();
    return cabinet;
}

// The entry's content as the engine extracts it; "<missing>" when it cannot.
std::string CabinetEntry(const WString& cabinet, const wchar_t* entry, const ScratchFolder& scratch)
{
    WString out = scratch / L"out";
    RemoveTree(out);
    CreateDirectoryTree(out, false);
    CCabFile cab(cabinet);
    std::string content = "<missing>";
    if (!cab.HasError() && cab.Extract(out, WString(entry), false)) {
        Bytes bytes = ReadFileBytes(JoinPath(out, FileNamePart(WString(entry))));
        content.assign(bytes.begin(), bytes.end());
    }
    cab.ClearErrorText();
    return content;
}

// The add verb as the viewer starts it, with the path unquoted: dialog 130
// takes a file dragged onto it from a folder window with the mouse, merges
// it into the cabinet and ends the program with 0.
TEST(SetupProgramTest, AddVerbTakesAFileDraggedOntoItsDialog)
{
    ScratchFolder scratch;
    WString cabinet = CabinetWithOneFile(scratch);
    WString dropped = scratch / L"追加 分.txt";
    WriteFileText(dropped, "added\n");
    ScopedOleInit ole;
    Started program(L"add " + cabinet);
    HWND dialog = WaitForProcessDialog(program.Id());
    ASSERT_NE(nullptr, dialog);
    EXPECT_EQ(L"cab への追加圧縮", WindowTextOf(dialog));
    Sleep(300);
    DWORD effect = DROPEFFECT_NONE;
    EXPECT_EQ(DRAGDROP_S_DROP,
              DragFilesWithMouse({dropped.c_str()}, POINT{80, 80}, GetDlgItem(dialog, IDC_CAB_DROP_AREA), &effect));
    EXPECT_EQ(static_cast<DWORD>(DROPEFFECT_COPY), effect);
    EXPECT_EQ(0, program.Wait());
    EXPECT_EQ("first\n", CabinetEntry(cabinet, L"a.txt", scratch));
    EXPECT_EQ("added\n", CabinetEntry(cabinet, L"追加 分.txt", scratch));
}

// Closed before any drop, as a user who changed their mind: the cabinet
// keeps its bytes and nothing temporary is left beside it.
TEST(SetupProgramTest, AddVerbClosedWithCancelLeavesTheCabinet)
{
    ScratchFolder scratch;
    WString cabinet = CabinetWithOneFile(scratch);
    Bytes before = ReadFileBytes(cabinet);
    Started program(L"add \"" + cabinet + L"\"");
    HWND dialog = WaitForProcessDialog(program.Id());
    ASSERT_NE(nullptr, dialog);
    Sleep(300);
    EXPECT_TRUE(ClickWithMouse(GetDlgItem(dialog, IDC_CAB_CANCEL)));
    EXPECT_EQ(0, program.Wait());
    EXPECT_EQ(before, ReadFileBytes(cabinet));
    WIN32_FIND_DATAW found{};
    ScopedFind search(FindFirstFileW((scratch / L"~*").c_str(), &found));
    EXPECT_FALSE(search) << "a temporary file was left: " << Utf8(found.cFileName);
}

// The settings dialog of the real program, on the real hive of the test
// prefix: an install folder is lent for the test and taken back.
TEST(SetupProgramTest, SettingsDialogOpensAndCancelWritesNothing)
{
    RegKey existing(HKEY_CURRENT_USER, WString(kProductKey), KEY_READ);
    if (existing.IsOpen()) {
        GTEST_SKIP() << "the test prefix has an install; it is left alone";
    }
    existing.Close();
    {
        RegKey lent(HKEY_CURRENT_USER, WString(kProductKey), KEY_ALL_ACCESS, true);
        lent.WriteText(L"InstallDir", L"C:\\Zupako");
    }
    Started program(L"set");
    HWND dialog = WaitForTopLevelWindow(L"#32770", L"Zupako の設定");
    ASSERT_NE(nullptr, dialog);
    EXPECT_TRUE(IsWindowEnabled(GetDlgItem(dialog, IDC_ARC_COMMAND)) == FALSE);
    EXPECT_TRUE(IsDlgButtonChecked(dialog, IDC_OVERFLOW_MORE) == BST_CHECKED);
    PressButton(dialog, IDC_SETTINGS_CANCEL);
    EXPECT_EQ(0, program.Wait());
    RegKey product(HKEY_CURRENT_USER, WString(kProductKey), KEY_READ);
    DWORD subKeys = 0, values = 0, longest = 0;
    product.QueryCounts(subKeys, values, longest);
    EXPECT_EQ(1u, values) << "cancel wrote settings";
    product.Close();
    RegDeleteKeyW(HKEY_CURRENT_USER, kProductKey);
    RegDeleteKeyW(HKEY_CURRENT_USER, L"Software\\Marunoko");
}

}  // namespace
