// Install and uninstall into the private hive: the whole written tree is
// compared with the expected one, and the registry views are checked
// through the observer, as Wine keeps one tree for both.
#include <gtest/gtest.h>

#include <shlobj.h>

#include <algorithm>
#include <set>
#include <vector>

#include "archive/cabfile.h"
#include "common/handles.h"
#include "common/paths.h"
#include "common/registry.h"
#include "common/settings.h"
#include "setup/class_registry.h"
#include "setup/install.h"
#include "setup/setup_test_support.h"
#include "support/private_settings.h"
#include "support/prompt_recorder.h"
#include "support/test_files.h"

namespace {

std::wstring Hex(const BYTE* bytes, DWORD size)
{
    std::wstring text;
    wchar_t part[4];
    for (DWORD i = 0; i < size; ++i) {
        wsprintfW(part, L"%02x", bytes[i]);
        text += part;
    }
    return text;
}

// Every key and value below a key as "path|name|type|data" lines.
void ReadTree(HKEY key, const std::wstring& path, std::set<std::wstring>& lines)
{
    lines.insert(path + L"|(key)");
    for (DWORD i = 0;; ++i) {
        wchar_t name[256];
        DWORD nameLength = 256;
        BYTE data[2048];
        DWORD size = sizeof data;
        DWORD type = 0;
        if (RegEnumValueW(key, i, name, &nameLength, nullptr, &type, data, &size) != ERROR_SUCCESS) {
            break;
        }
        std::wstring value = nameLength == 0 ? L"(default)" : name;
        std::wstring shown;
        if (type == REG_SZ) {
            shown = L"sz:" + std::wstring(reinterpret_cast<wchar_t*>(data), size / 2 - 1);
        } else if (type == REG_DWORD) {
            shown = L"dword:" + std::to_wstring(*reinterpret_cast<DWORD*>(data));
        } else {
            shown = L"type" + std::to_wstring(type) + L":" + Hex(data, size);
        }
        lines.insert(path + L"|" + value + L"|" + shown);
    }
    for (DWORD i = 0;; ++i) {
        wchar_t name[256];
        DWORD nameLength = 256;
        if (RegEnumKeyExW(key, i, name, &nameLength, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) {
            break;
        }
        HKEY child = nullptr;
        if (RegOpenKeyExW(key, name, 0, KEY_READ, &child) == ERROR_SUCCESS) {
            ScopedHKey owned(child);
            ReadTree(child, path.empty() ? name : path + L"\\" + name, lines);
        }
    }
}

std::set<std::wstring> TreeOf(const wchar_t* keyPath)
{
    std::set<std::wstring> lines;
    RegKey key(HKEY_CURRENT_USER, WString(keyPath), KEY_READ);
    if (key.IsOpen()) {
        ReadTree(key.Handle(), L"", lines);
    }
    return lines;
}

std::string Difference(const std::set<std::wstring>& expected, const std::set<std::wstring>& actual)
{
    std::string text;
    for (const auto& line : expected) {
        if (!actual.count(line)) {
            text += "missing: " + Utf8(line) + "\n";
        }
    }
    for (const auto& line : actual) {
        if (!expected.count(line)) {
            text += "extra:   " + Utf8(line) + "\n";
        }
    }
    return text;
}

class Recorder : public RegistryObserver {
public:
    Recorder() : previous_(SetRegistryObserver(this)) {}
    ~Recorder() override { SetRegistryObserver(previous_); }
    bool Touch(const RegistryTouch& touch) override
    {
        touches.push_back(std::wstring(touch.operation) + L" " + touch.key.c_str() + L" " + ViewName(touch.view) +
                          (touch.data.IsEmpty() ? L"" : L" = " + std::wstring(touch.data.c_str())));
        return refused.empty() || touch.key != refused.c_str();
    }
    static std::wstring ViewName(REGSAM view)
    {
        return view == KEY_WOW64_64KEY ? L"[64]" : view == KEY_WOW64_32KEY ? L"[32]" : L"[own]";
    }
    bool Saw(const std::wstring& line) const
    {
        return std::find(touches.begin(), touches.end(), line) != touches.end();
    }
    std::vector<std::wstring> touches;
    std::wstring refused;

private:
    RegistryObserver* previous_;
};

class InstallTest : public testing::Test {
protected:
    void SetUp() override
    {
        SeedShellClasses();
        folder = scratch / L"インストール 先";
        MakeStandInInstallFolder(folder);
        startMenu = scratch / L"スタート\\Zupako";
        CreateDirectoryTree(ParentDir(startMenu), false);
        // The settings are written by install itself.
        RegDeleteKeyW(HKEY_CURRENT_USER, kProductKey);
    }

    std::wstring Dir(const wchar_t* name) { return JoinPath(folder, name).c_str(); }

    // The whole registration of a default install with windows64 false.
    std::set<std::wstring> ExpectedClasses()
    {
        std::wstring set = Dir(L"ZPKSet.exe");
        std::wstring quotedSet = L"\"" + set + L"\"";
        std::wstring id = kHandlerClassId;
        std::set<std::wstring> lines = {
            L"|(key)",
            L".zip|(key)",
            L".zip|(default)|sz:ZupakoTest.zip",
            L".cab|(key)",
            L".cab|(default)|sz:ZupakoTest.cab",
            L".cab\\ShellNew|(key)",
            L".cab\\ShellNew|Data|type3:4d5343460000000024000000000000002400000000000000030100000000000000000000",
            L".cab\\ShellNew|ItemName|sz:@" + set + L",-10001",
            L".cab\\ShellNew|MenuText|sz:@" + set + L",-10000",
            L"CLSID|(key)",
            L"CLSID\\" + id + L"|(key)",
            L"CLSID\\" + id + L"|(default)|sz:ZPKShlEx Shell Extension",
            L"CLSID\\" + id + L"\\InProcServer32|(key)",
            L"CLSID\\" + id + L"\\InProcServer32|(default)|sz:" + Dir(L"ZPKShlEx32.dll"),
            L"CLSID\\" + id + L"\\InProcServer32|ThreadingModel|sz:Apartment",
            L"Directory|(key)",
            L"Directory\\shell|(key)",
            L"Directory\\shell\\CabCompress|(key)",
            L"Directory\\shell\\CabCompress|(default)|sz:Cab に圧縮(&B)",
            L"Directory\\shell\\CabCompress\\command|(key)",
            L"Directory\\shell\\CabCompress\\command|(default)|sz:" + quotedSet + L" cabcompress \"%1\"",
            L"Directory\\shell\\ZipCompress|(key)",
            L"Directory\\shell\\ZipCompress|(default)|sz:Zip に圧縮(&Z)",
            L"Directory\\shell\\ZipCompress\\command|(key)",
            L"Directory\\shell\\ZipCompress\\command|(default)|sz:" + quotedSet + L" zipcompress \"%1\"",
            L"ZupakoTest.zip|(key)",
            L"ZupakoTest.zip\\DefaultIcon|(key)",
            L"ZupakoTest.zip\\DefaultIcon|(default)|sz:" + set + L",1",
            L"ZupakoTest.zip\\shellex|(key)",
            L"ZupakoTest.zip\\shellex\\DropHandler|(key)",
            L"ZupakoTest.zip\\shellex\\DropHandler|(default)|sz:" + id,
            L"ZupakoTest.cab|(key)",
            L"ZupakoTest.cab\\DefaultIcon|(key)",
            L"ZupakoTest.cab\\DefaultIcon|(default)|sz:" + set + L",2",
        };
        for (const wchar_t* cls : {L"ZupakoTest.zip", L"ZupakoTest.cab"}) {
            std::wstring c = cls;
            lines.insert(c + L"\\shell|(key)");
            lines.insert(c + L"\\shell|(default)|sz:menu");
            lines.insert(c + L"\\shell\\menu|(key)");
            lines.insert(c + L"\\shell\\menu|(default)|sz:内容のメニュー表示(&M)");
            lines.insert(c + L"\\shell\\menu\\command|(key)");
            lines.insert(c + L"\\shell\\menu\\command|(default)|sz:\"" + Dir(L"ZPKMain.exe") + L"\" %1");
        }
        return lines;
    }

    // Shortcuts are COM objects; the program has OLE initialised.
    ScopedComInit com;
    PrivateSettings settings;
    PromptRecorder prompts;
    ScratchFolder scratch;
    WString folder;
    WString startMenu;
};

TEST_F(InstallTest, FileCheckNamesTheFirstMissingFile)
{
    CInstall install(folder, false, startMenu);
    EXPECT_TRUE(install.FirstMissingFile().IsEmpty());
    DeleteFileW(JoinPath(folder, L"image\\menu.png").c_str());
    DeleteFileW(JoinPath(folder, L"zlibwapi64.dll").c_str());
    EXPECT_EQ("zlibwapi64.dll", Narrow(install.FirstMissingFile()));
    WriteFileText(JoinPath(folder, L"zlibwapi64.dll"), "x");
    EXPECT_EQ("image\\menu.png", Narrow(install.FirstMissingFile()));
}

TEST_F(InstallTest, InstallWritesExactlyTheExpectedTreeIntoAFolderWithABlank)
{
    CInstall install(folder, false, startMenu);
    ASSERT_TRUE(install.Install(ShellOptions{true, true, true}, nullptr)) << Narrow(install.FailedItems());
    std::set<std::wstring> actual = TreeOf(L"Software\\Classes");
    std::set<std::wstring> expected = ExpectedClasses();
    EXPECT_EQ(expected, actual) << Difference(expected, actual);

    std::set<std::wstring> product = TreeOf(kProductKey);
    std::set<std::wstring> expectedProduct = {
        L"|(key)",
        L"|InstallDir|sz:" + std::wstring(folder.c_str()),
        L"|Version|sz:Ver.2.22",
        L"|MenuDefault|dword:1",
        L"|IconChange|dword:1",
        L"|DDMenu|dword:1",
        L"|Act|dword:0",
        L"|ArcCommand|sz:",
        L"|ExtractDir|sz:" + std::wstring(DesktopFolder().c_str()),
        L"|EDOpen|dword:1",
        L"|MenuOverFlow|dword:2",
        L"|ZipCompType|dword:0",
        L"|CabCompType|dword:0",
        L"|CabLzxLevel|dword:21",
        L"|CabFType|dword:0",
        L"|CabFSize|dword:0",
        L"|CabSort|dword:0",
    };
    // InstallTime is the local time of the install: checked apart.
    std::wstring installTime;
    for (auto it = product.begin(); it != product.end();) {
        if (it->rfind(L"|InstallTime|", 0) == 0) {
            installTime = *it;
            it = product.erase(it);
        } else {
            ++it;
        }
    }
    EXPECT_EQ(expectedProduct, product) << Difference(expectedProduct, product);
    ASSERT_EQ(0u, installTime.find(L"|InstallTime|type3:")) << Utf8(installTime);
    RegKey key(HKEY_CURRENT_USER, WString(kProductKey), KEY_READ);
    FILETIME stored{};
    ASSERT_TRUE(key.ReadBytes(L"InstallTime", &stored, sizeof stored));
    SYSTEMTIME local{};
    GetLocalTime(&local);
    FILETIME now{};
    SystemTimeToFileTime(&local, &now);
    ULONGLONG distance = (ULARGE_INTEGER{{now.dwLowDateTime, now.dwHighDateTime}}.QuadPart -
                          ULARGE_INTEGER{{stored.dwLowDateTime, stored.dwHighDateTime}}.QuadPart);
    EXPECT_LT(distance, 600ULL * 10000000ULL) << "InstallTime is not the local time of the install";
    EXPECT_EQ(0u, prompts.Count());
}

TEST_F(InstallTest, ShellNewDataIsAnEmptyCabinetForTheEngine)
{
    ByteBuilder header;
    header.Text("MSCF").U32(0).U32(36).U32(0).U32(36).U32(0).U8(3).U8(1).U16(0).U16(0).U16(0).U16(0).U16(0);
    EXPECT_EQ(header.Get(), Bytes(kEmptyCabinet, kEmptyCabinet + sizeof kEmptyCabinet));
    WString path = scratch / L"new.cab";
    WriteFileBytes(path, Bytes(kEmptyCabinet, kEmptyCabinet + sizeof kEmptyCabinet));
    CCabFile cab(path);
    EXPECT_FALSE(cab.HasError()) << Narrow(cab.ErrorText());
    StringList names(true);
    EXPECT_TRUE(cab.GetEntryNames(names));
    EXPECT_EQ(0, names.Count());
}

TEST_F(InstallTest, ShortcutsStartTheSettingsAndTheReadMe)
{
    CInstall install(folder, false, startMenu);
    ASSERT_TRUE(install.Install(ShellOptions{true, true, true}, nullptr));
    struct Expected {
        const wchar_t* link;
        const wchar_t* target;
        const wchar_t* arguments;
    } links[] = {{L"設定.lnk", L"ZPKSet.exe", L"set"}, {L"ReadMe.htm.lnk", L"ReadMe.htm", L""}};
    for (const Expected& e : links) {
        ComPtr<IShellLinkW> link;
        ASSERT_TRUE(SUCCEEDED(
            CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW, link.ReceiveVoid())));
        ComPtr<IPersistFile> file;
        ASSERT_TRUE(SUCCEEDED(link->QueryInterface(IID_IPersistFile, file.ReceiveVoid())));
        ASSERT_TRUE(SUCCEEDED(file->Load(JoinPath(startMenu, e.link).c_str(), STGM_READ))) << Narrow(e.link);
        wchar_t text[MAX_PATH] = {};
        link->GetPath(text, MAX_PATH, nullptr, 0);
        EXPECT_EQ(Dir(e.target), std::wstring(text));
        link->GetArguments(text, MAX_PATH);
        EXPECT_EQ(std::wstring(e.arguments), std::wstring(text));
        link->GetWorkingDirectory(text, MAX_PATH);
        EXPECT_EQ(std::wstring(folder.c_str()), std::wstring(text));
    }
}

TEST_F(InstallTest, SecondInstallKeepsTheFirstInstallTimeAndRewritesTheRest)
{
    CInstall first(folder, false, startMenu);
    ASSERT_TRUE(first.Install(ShellOptions{true, true, true}, nullptr));
    FILETIME earlier{0x11111111, 0x01d00000};
    {
        RegKey key(HKEY_CURRENT_USER, WString(kProductKey), KEY_ALL_ACCESS);
        key.WriteBytes(L"InstallTime", &earlier, sizeof earlier);
    }
    SeedText(L"Software\\Classes\\Directory\\shell\\ZipCompress\\command", nullptr, L"stale");
    CInstall second(folder, false, startMenu);
    ASSERT_TRUE(second.Install(ShellOptions{true, true, true}, nullptr));
    RegKey key(HKEY_CURRENT_USER, WString(kProductKey), KEY_READ);
    FILETIME kept{};
    ASSERT_TRUE(key.ReadBytes(L"InstallTime", &kept, sizeof kept));
    EXPECT_EQ(earlier.dwLowDateTime, kept.dwLowDateTime);
    EXPECT_EQ(earlier.dwHighDateTime, kept.dwHighDateTime);
    std::set<std::wstring> expected = ExpectedClasses();
    std::set<std::wstring> actual = TreeOf(L"Software\\Classes");
    EXPECT_EQ(expected, actual) << Difference(expected, actual);
}

TEST_F(InstallTest, OptionsOffLeaveNoIconsNoDefaultVerbAndNoHandler)
{
    CInstall install(folder, false, startMenu);
    ASSERT_TRUE(install.Install(ShellOptions{true, true, true}, nullptr));
    ASSERT_TRUE(install.Install(ShellOptions{false, false, false}, nullptr));
    EXPECT_FALSE(RegKeyExists(L"Software\\Classes\\ZupakoTest.zip\\DefaultIcon"));
    EXPECT_FALSE(RegKeyExists(L"Software\\Classes\\ZupakoTest.cab\\DefaultIcon"));
    EXPECT_FALSE(RegKeyExists(WString(L"Software\\Classes\\CLSID\\") + kHandlerClassId));
    EXPECT_EQ(L"<missing>", RegText(L"Software\\Classes\\ZupakoTest.zip\\shellex\\DropHandler"));
    EXPECT_EQ(L"<missing>", RegText(L"Software\\Classes\\ZupakoTest.zip\\shell"));
    EXPECT_EQ(L"内容のメニュー表示(&M)", RegText(L"Software\\Classes\\ZupakoTest.zip\\shell\\menu"));
    EXPECT_EQ(0, ProductNumber(L"IconChange"));
}

TEST_F(InstallTest, UninstallRemovesOursAndKeepsWhatOthersWrote)
{
    SeedText(L"Software\\Classes\\ZupakoTest.cab\\DefaultIcon", nullptr, L"C:\\other.exe,3");
    SeedText(L"Software\\Classes\\ZupakoTest.cab\\shell\\open\\command", nullptr, L"other.exe %1");
    std::set<std::wstring> before = TreeOf(L"Software\\Classes");
    CInstall install(folder, false, startMenu);
    ASSERT_TRUE(install.Install(ShellOptions{false, true, true}, nullptr));
    // The user's own icon for .cab gives way to ours only while installed.
    SeedText(L"Software\\Classes\\ZupakoTest.cab\\DefaultIcon", nullptr, L"C:\\other.exe,3");
    SeedText(L"Software\\Classes\\ZupakoTest.cab\\shell", nullptr, L"open");
    SeedText(L"Software\\Classes\\ZupakoTest.zip\\shellex\\DropHandler", nullptr, L"{00000000-1111-2222-3333-444444444444}");
    CInstall again(folder, false, startMenu);
    ASSERT_TRUE(again.Uninstall(nullptr));
    std::set<std::wstring> after = TreeOf(L"Software\\Classes");
    std::set<std::wstring> expected = before;
    // Parent keys made by install stay when they hold others' entries, and
    // empty key shells of ours may stay; only values and foreign keys count.
    expected.insert(L"ZupakoTest.cab\\shell|(default)|sz:open");
    expected.insert(L"ZupakoTest.zip\\shellex|(key)");
    expected.insert(L"ZupakoTest.zip\\shellex\\DropHandler|(key)");
    expected.insert(L"ZupakoTest.zip\\shellex\\DropHandler|(default)|sz:{00000000-1111-2222-3333-444444444444}");
    std::set<std::wstring> afterValues;
    for (const auto& line : after) {
        if (line.find(L"|(key)") == std::wstring::npos || expected.count(line)) {
            afterValues.insert(line);
        }
    }
    std::set<std::wstring> expectedValues;
    for (const auto& line : expected) {
        if (line.find(L"|(key)") == std::wstring::npos || after.count(line)) {
            expectedValues.insert(line);
        }
    }
    EXPECT_EQ(expectedValues, afterValues) << Difference(expectedValues, afterValues);
    EXPECT_FALSE(RegKeyExists(WString(L"Software\\Classes\\CLSID\\") + kHandlerClassId));
    EXPECT_FALSE(RegKeyExists(L"Software\\Classes\\.cab\\ShellNew"));
    EXPECT_FALSE(RegKeyExists(L"Software\\Classes\\Directory\\shell\\ZipCompress"));
    EXPECT_FALSE(RegKeyExists(kProductKey));
    EXPECT_FALSE(RegKeyExists(L"Software\\Marunoko"));
    // The shortcuts go first, then their folder.
    EXPECT_FALSE(PathExists(startMenu));
    EXPECT_TRUE(IsDirectory(ParentDir(startMenu)));
}

// Keys that install created above its entries go with them, in both
// widths' registrations: the user's classes are key for key as before.
TEST_F(InstallTest, UninstallLeavesTheUsersClassesKeyForKeyAsBefore)
{
    std::set<std::wstring> before = TreeOf(L"Software\\Classes");
    for (bool windows64 : {false, true}) {
        RegistryView(windows64);
        CInstall install(folder, windows64, startMenu);
        ASSERT_TRUE(install.Install(ShellOptions{true, true, true}, nullptr));
        ASSERT_TRUE(install.Uninstall(nullptr));
        std::set<std::wstring> after = TreeOf(L"Software\\Classes");
        EXPECT_EQ(before, after) << Difference(before, after);
    }
    RegistryView(true);
}

TEST_F(InstallTest, UninstallKeepsTheVendorKeyOfAnotherProduct)
{
    CInstall install(folder, false, startMenu);
    ASSERT_TRUE(install.Install(ShellOptions{true, true, true}, nullptr));
    SeedText(L"Software\\Marunoko\\Other", L"Name", L"x");
    ASSERT_TRUE(install.Uninstall(nullptr));
    EXPECT_FALSE(RegKeyExists(kProductKey));
    EXPECT_EQ(L"x", RegText(L"Software\\Marunoko\\Other", L"Name"));
}

TEST_F(InstallTest, SixtyFourBitWindowsRegistersTheClassInBothViews)
{
    RegistryView(true);
    Recorder recorder;
    CInstall install(folder, true, startMenu);
    ASSERT_TRUE(install.Install(ShellOptions{true, true, true}, nullptr));
    std::wstring server = std::wstring(L"CLSID\\") + kHandlerClassId + L"\\InProcServer32";
    EXPECT_TRUE(recorder.Saw(L"write " + server + L" [64] = " + Dir(L"ZPKShlEx64.dll")));
    EXPECT_TRUE(recorder.Saw(L"write " + server + L" [32] = " + Dir(L"ZPKShlEx32.dll")));
    EXPECT_TRUE(recorder.Saw(L"write " + server + L" [32] = Apartment"));
    // The shell's view is written last: where the two views are one key, as
    // the user's classes are under Wine, the shell still finds its library.
    std::vector<std::wstring> libraryWrites;
    for (const auto& touch : recorder.touches) {
        if (touch.rfind(L"write " + server + L" ", 0) == 0 && touch.find(L".dll") != std::wstring::npos) {
            libraryWrites.push_back(touch);
        }
    }
    ASSERT_EQ(2u, libraryWrites.size());
    EXPECT_EQ(L"write " + server + L" [64] = " + Dir(L"ZPKShlEx64.dll"), libraryWrites.back());
    EXPECT_EQ(Dir(L"ZPKShlEx64.dll"), RegText(WString(L"Software\\Classes\\") + server.c_str()));
    // Everything else lands in the 64-bit view, where the shell reads it.
    for (const auto& touch : recorder.touches) {
        if (touch.find(L"[32]") != std::wstring::npos) {
            EXPECT_NE(std::wstring::npos, touch.find(L" CLSID\\")) << Utf8(touch);
        }
    }
    recorder.touches.clear();
    ASSERT_TRUE(install.Uninstall(nullptr));
    EXPECT_TRUE(recorder.Saw(L"delete-key " + server + L" [32]"));
    EXPECT_TRUE(recorder.Saw(L"delete-key " + server + L" [64]"));
    EXPECT_TRUE(recorder.Saw(std::wstring(L"delete-key CLSID\\") + kHandlerClassId + L" [32]"));
    EXPECT_EQ(KEY_WOW64_64KEY, RegistryViewFlags());
}

TEST_F(InstallTest, ThirtyTwoBitWindowsRegistersTheClassOnceWithTheThirtyTwoBitLibrary)
{
    Recorder recorder;
    CInstall install(folder, false, startMenu);
    ASSERT_TRUE(install.Install(ShellOptions{true, true, true}, nullptr));
    std::wstring server = std::wstring(L"CLSID\\") + kHandlerClassId + L"\\InProcServer32";
    int writes = 0;
    for (const auto& touch : recorder.touches) {
        if (touch.rfind(L"write " + server, 0) == 0 && touch.find(L"Apartment") == std::wstring::npos) {
            ++writes;
            EXPECT_NE(std::wstring::npos, touch.find(L"ZPKShlEx32.dll")) << Utf8(touch);
        }
        EXPECT_EQ(std::wstring::npos, touch.find(L"[32]")) << Utf8(touch);
    }
    EXPECT_EQ(1, writes);
}

TEST_F(InstallTest, TypeWithoutClassGetsNoEntriesUnderAnEmptyName)
{
    RegDeleteKeyW(HKEY_CURRENT_USER, L"Software\\Classes\\.zip");
    CInstall install(folder, false, startMenu);
    ASSERT_TRUE(install.Classes().zip.IsEmpty());
    ASSERT_TRUE(install.Install(ShellOptions{true, true, true}, nullptr)) << Narrow(install.FailedItems());
    EXPECT_FALSE(RegKeyExists(L"Software\\Classes\\shell"));
    EXPECT_FALSE(RegKeyExists(L"Software\\Classes\\shellex"));
    EXPECT_FALSE(RegKeyExists(L"Software\\Classes\\DefaultIcon"));
    EXPECT_EQ(L"menu", RegText(L"Software\\Classes\\ZupakoTest.cab\\shell"));
    EXPECT_NE(std::wstring::npos, std::wstring(MissingClassNotice(install.Classes()).c_str()).find(L"*.zip"));
    EXPECT_TRUE(MissingClassNotice(ShellClasses{L"a", L"b"}).IsEmpty());
    ASSERT_TRUE(install.Uninstall(nullptr));
}

// An earlier install leaves the user's .cab key holding ShellNew and no
// class name; the shell's merged view then takes the machine's class, and
// so must the next install and the uninstall, or they miss its entries.
TEST_F(InstallTest, UserTypeKeyWithoutAClassNameGivesTheMachinesClass)
{
    RegDeleteTreeW(HKEY_CURRENT_USER, L"Software\\Classes\\.cab");
    SeedText(L"Software\\Classes\\.cab\\ShellNew", L"ItemName", L"x");
    // The machine's classes, kept in the private hive for this test.
    RegKey machine(HKEY_CURRENT_USER, WString(L"Machine"), KEY_ALL_ACCESS, true);
    ASSERT_TRUE(machine.IsOpen());
    RegOverridePredefKey(HKEY_LOCAL_MACHINE, machine.Handle());
    SeedText(L"Machine\\Software\\Classes\\.cab", nullptr, L"MachineCab");
    WString name = ShellClassName(L".cab");
    SeedText(L"Software\\Classes\\.cab", nullptr, L"");
    WString emptyName = ShellClassName(L".cab");
    SeedText(L"Software\\Classes\\.cab", nullptr, L"UserCab");
    WString userName = ShellClassName(L".cab");
    RegOverridePredefKey(HKEY_LOCAL_MACHINE, nullptr);
    EXPECT_EQ("MachineCab", Narrow(name));
    EXPECT_EQ("MachineCab", Narrow(emptyName));
    EXPECT_EQ("UserCab", Narrow(userName));
}

TEST_F(InstallTest, FailedWriteOrRemovalIsReportedByName)
{
    Recorder recorder;
    recorder.refused = L"Directory\\shell\\ZipCompress\\command";
    CInstall install(folder, false, startMenu);
    EXPECT_FALSE(install.Install(ShellOptions{true, true, true}, nullptr));
    EXPECT_NE(std::wstring::npos, std::wstring(install.FailedItems().c_str()).find(recorder.refused));
    recorder.refused = kProductKey;
    EXPECT_FALSE(install.Install(ShellOptions{true, true, true}, nullptr));
    EXPECT_NE(std::wstring::npos, std::wstring(install.FailedItems().c_str()).find(kProductKey));
    // What uninstall could not delete, the still refused product key, stays
    // and is named, nothing else.
    EXPECT_FALSE(install.Uninstall(nullptr));
    EXPECT_EQ(Narrow(WString(kProductKey)) + "\n", Narrow(install.FailedItems()));
    EXPECT_TRUE(RegKeyExists(kProductKey));
    recorder.refused.clear();
    ASSERT_TRUE(install.Install(ShellOptions{true, true, true}, nullptr)) << Narrow(install.FailedItems());
    // A key that still holds the refused one stays with it.
    recorder.refused = L"Directory\\shell\\CabCompress\\command";
    EXPECT_FALSE(install.Uninstall(nullptr));
    EXPECT_EQ("Directory\\shell\\CabCompress\\command\nDirectory\\shell\\CabCompress\n", Narrow(install.FailedItems()));
    EXPECT_TRUE(RegKeyExists(L"Software\\Classes\\Directory\\shell\\CabCompress\\command"));
    EXPECT_FALSE(RegKeyExists(kProductKey));
    // What the earlier uninstall removed is no failure now; a file of the
    // user's own keeps the Start-menu folder, which is named.
    recorder.refused.clear();
    CreateDirectoryTree(startMenu, false);
    WriteFileText(JoinPath(startMenu, L"メモ.txt"), "mine");
    EXPECT_FALSE(install.Uninstall(nullptr));
    EXPECT_EQ(Narrow(startMenu) + "\n", Narrow(install.FailedItems()));
    EXPECT_FALSE(RegKeyExists(L"Software\\Classes\\Directory\\shell\\CabCompress"));
    EXPECT_FALSE(RegKeyExists(L"Software\\Marunoko"));
}

}  // namespace
