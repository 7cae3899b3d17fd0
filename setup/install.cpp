#include "setup/install.h"

#include <shlobj.h>

#include "common/paths.h"
#include "common/progress.h"
#include "common/registry.h"
#include "common/settings.h"
#include "common/system.h"
#include "setup/product_texts.h"
#include "setup/settings_dialog.h"

const wchar_t* const kInstallFiles[20] = {
    L"ZPKMain.exe",         L"ZPKSet.exe",           L"ZPKShlEx32.dll",      L"ZPKShlEx64.dll",
    L"zlibwapi32.dll",      L"zlibwapi64.dll",       L"ReadMe.htm",          L"image\\cabadd.png",
    L"image\\compress.png", L"image\\ddmenu.png",    L"image\\delete.png",   L"image\\extract.png",
    L"image\\fcompress.png", L"image\\install.png",  L"image\\menu.png",     L"image\\new.png",
    L"image\\preview.png",  L"image\\setting.png",   L"image\\uninst.png",   L"image\\whole.png",
};

// What the shell's New menu writes: a cabinet of no folders and no files.
const uint8_t kEmptyCabinet[36] = {
    'M', 'S', 'C', 'F',  // signature
    0,   0,   0,   0,    // reserved
    36,  0,   0,   0,    // cabinet size
    0,   0,   0,   0,    // reserved
    36,  0,   0,   0,    // first file entry
    0,   0,   0,   0,    // reserved
    3,   1,              // version 1.3
    0,   0,              // folders
    0,   0,              // files
    0,   0,              // flags
    0,   0,              // set id
    0,   0,              // number in the set
};

namespace {

const wchar_t kShellNewKey[] = L".cab\\ShellNew";
const wchar_t kProductVendorKey[] = L"Software\\Marunoko";

WString HandlerClassKey() { return WString(L"CLSID\\") + kHandlerClassId; }

WString HandlerServerKey() { return HandlerClassKey() + L"\\InProcServer32"; }

WString MenuKey(const WString& className) { return className + L"\\shell\\menu"; }

// Whether the key's last deletion failed only because there was nothing to
// delete.
bool IsGone(const RegKey& key) { return key.LastError() == ERROR_FILE_NOT_FOUND; }

}  // namespace

WString ProductStartMenuFolder() { return SpecialFolderPath(CSIDL_PROGRAMS, L"Zupako"); }

CInstall::CInstall(const WString& installFolder, bool windows64, const WString& startMenuFolder)
    : installFolder_(installFolder),
      windows64_(windows64),
      startMenuFolder_(startMenuFolder),
      classes_(ReadShellClasses())
{
}

WString CInstall::FirstMissingFile() const
{
    for (const wchar_t* file : kInstallFiles) {
        if (!PathExists(JoinPath(installFolder_, file))) {
            return WString(file);
        }
    }
    return WString();
}

WString CInstall::ProgramPath(const wchar_t* name) const { return JoinPath(installFolder_, name); }

void CInstall::Step(ProgressWindow* progress, int percent)
{
    if (progress) {
        progress->SetPosition(percent);
        PumpPending();
    }
}

void CInstall::RemoveKey(const WString& key) { Need(registry_.DeleteKey(key), key); }

void CInstall::Need(bool done, const WString& item)
{
    // An item is named once, however many of its values failed.
    if (!done && (L"\n" + failed_).Find(L"\n" + item + L"\n") < 0) {
        failed_ += item + L"\n";
    }
}

bool CInstall::Install(const ShellOptions& options, ProgressWindow* progress)
{
    failed_.Clear();
    Step(progress, 0);
    WriteShellNew();
    Step(progress, 10);
    RemoveHandlerClass();
    if (options.dropHandler) {
        if (windows64_) {
            // 32-bit processes read the 32-bit view and load the 32-bit
            // library. That view is written first: where both views are one
            // key (Wine keeps the user's classes so), the shell's own view,
            // written last, is what stays.
            RegistryView(false);
            WriteHandlerClass(ProgramPath(L"ZPKShlEx32.dll"));
            RegistryView(true);
        }
        WriteHandlerClass(ProgramPath(windows64_ ? L"ZPKShlEx64.dll" : L"ZPKShlEx32.dll"));
    }
    Step(progress, 20);
    for (const WString* name : {&classes_.zip, &classes_.cab}) {
        if (name->IsEmpty()) {
            continue;
        }
        RemoveMenuVerb(*name);
        Need(registry_.WriteText(MenuKey(*name), nullptr, L"内容のメニュー表示(&M)"), MenuKey(*name));
        Need(registry_.WriteText(MenuKey(*name) + L"\\command", nullptr,
                                 BuildCommandLine(ProgramPath(L"ZPKMain.exe"), L"%1")),
             MenuKey(*name) + L"\\command");
    }
    Step(progress, 30);
    // The icons are written by the settings at the end.
    RemoveOwnIcon(classes_.zip);
    RemoveOwnIcon(classes_.cab);
    WriteCompressVerb(L"CabCompress", L"Cab に圧縮(&B)", L"cabcompress \"%1\"");
    Step(progress, 40);
    WriteCompressVerb(L"ZipCompress", L"Zip に圧縮(&Z)", L"zipcompress \"%1\"");
    Step(progress, 50);
    WriteShortcuts();
    Step(progress, 60);
    WriteProductKey();
    Step(progress, 80);
    {
        CSettingsDialog settings;
        Step(progress, 90);
        settings.ApplyInstallPreset(options);
        Need(settings.Write(false), L"設定");
    }
    Step(progress, 100);
    return failed_.IsEmpty();
}

bool CInstall::Uninstall(ProgressWindow* progress)
{
    failed_.Clear();
    Step(progress, 0);
    RemoveKey(kShellNewKey);
    Step(progress, 10);
    RemoveMenuVerb(classes_.zip);
    RemoveMenuVerb(classes_.cab);
    Step(progress, 20);
    RemoveHandlerClass();
    Step(progress, 30);
    RemoveCompressVerb(L"CabCompress");
    Step(progress, 40);
    RemoveCompressVerb(L"ZipCompress");
    Step(progress, 50);
    RemoveOwnIcon(classes_.zip);
    RemoveOwnIcon(classes_.cab);
    RemoveEmptyParents();
    Step(progress, 60);
    RemoveProductKey();
    Step(progress, 80);
    RemoveShortcuts();
    Step(progress, 100);
    return failed_.IsEmpty();
}

void CInstall::WriteShellNew()
{
    RemoveKey(kShellNewKey);
    WString program = ProgramPath(L"ZPKSet.exe");
    Need(registry_.WriteBytes(kShellNewKey, L"Data", kEmptyCabinet, sizeof kEmptyCabinet), kShellNewKey);
    Need(registry_.WriteText(kShellNewKey, L"ItemName", L"@" + program + L",-10001"), kShellNewKey);
    Need(registry_.WriteText(kShellNewKey, L"MenuText", L"@" + program + L",-10000"), kShellNewKey);
}

void CInstall::RemoveHandlerClass()
{
    if (!classes_.zip.IsEmpty() && IsOurDropHandler(registry_.ReadText(DropHandlerKey(classes_.zip)))) {
        RemoveKey(DropHandlerKey(classes_.zip));
    }
    RemoveKey(HandlerServerKey());
    RemoveKey(HandlerClassKey());
    if (windows64_) {
        // The 32-bit view's copy goes in its own view.
        RegistryView(false);
        RemoveKey(HandlerServerKey());
        RemoveKey(HandlerClassKey());
        registry_.DeleteKeyIfEmpty(L"CLSID");
        RegistryView(true);
    }
}

void CInstall::RemoveEmptyParents()
{
    // Install creates the keys above its entries when they are missing; once
    // the entries are gone, such a key that holds nothing else goes too, so
    // that the user's classes are left as they were. Software\Classes stays.
    for (const WString* name : {&classes_.zip, &classes_.cab}) {
        if (!name->IsEmpty()) {
            registry_.DeleteKeyIfEmpty(ShellKey(*name));
            registry_.DeleteKeyIfEmpty(*name + L"\\shellex");
            registry_.DeleteKeyIfEmpty(*name);
        }
    }
    registry_.DeleteKeyIfEmpty(L".cab");
    registry_.DeleteKeyIfEmpty(L"Directory\\shell");
    registry_.DeleteKeyIfEmpty(L"Directory");
    registry_.DeleteKeyIfEmpty(L"CLSID");
}

void CInstall::WriteHandlerClass(const WString& library)
{
    Need(registry_.WriteText(HandlerClassKey(), nullptr, L"ZPKShlEx Shell Extension"), HandlerClassKey());
    Need(registry_.WriteText(HandlerServerKey(), nullptr, library), HandlerServerKey());
    Need(registry_.WriteText(HandlerServerKey(), L"ThreadingModel", L"Apartment"), HandlerServerKey());
}

void CInstall::RemoveMenuVerb(const WString& className)
{
    if (className.IsEmpty()) {
        return;
    }
    // A "menu" verb of another program stays.
    if (registry_.ReadText(MenuKey(className) + L"\\command").Find(L"ZPKMain.exe") >= 0) {
        RemoveKey(MenuKey(className) + L"\\command");
        RemoveKey(MenuKey(className));
    }
    if (IsOurDefaultVerb(registry_.ReadText(ShellKey(className)))) {
        Need(registry_.DeleteValue(ShellKey(className), nullptr), ShellKey(className));
    }
}

void CInstall::RemoveOwnIcon(const WString& className)
{
    if (!className.IsEmpty() && IsOurIcon(registry_.ReadText(DefaultIconKey(className)))) {
        RemoveKey(DefaultIconKey(className));
    }
}

void CInstall::WriteCompressVerb(const wchar_t* verb, const wchar_t* text, const wchar_t* argument)
{
    WString key = WString(L"Directory\\shell\\") + verb;
    Need(registry_.WriteText(key, nullptr, text), key);
    Need(registry_.WriteText(key + L"\\command", nullptr, BuildCommandLine(ProgramPath(L"ZPKSet.exe"), argument)),
         key + L"\\command");
}

void CInstall::RemoveCompressVerb(const wchar_t* verb)
{
    WString key = WString(L"Directory\\shell\\") + verb;
    RemoveKey(key + L"\\command");
    RemoveKey(key);
}

void CInstall::WriteShortcuts()
{
    if (!IsDirectory(startMenuFolder_)) {
        CreateDirectoryTree(startMenuFolder_, false);
    }
    WString settingsLink = JoinPath(startMenuFolder_, L"設定.lnk");
    WString readMeLink = JoinPath(startMenuFolder_, L"ReadMe.htm.lnk");
    Need(CreateShortcut(ProgramPath(L"ZPKSet.exe"), settingsLink, L"set", false), settingsLink);
    Need(CreateShortcut(ProgramPath(L"ReadMe.htm"), readMeLink, WString(), false), readMeLink);
}

void CInstall::RemoveShortcuts()
{
    // The folder can only go once the two links in it are gone.
    DeleteFileW(JoinPath(startMenuFolder_, L"設定.lnk").c_str());
    DeleteFileW(JoinPath(startMenuFolder_, L"ReadMe.htm.lnk").c_str());
    if (IsDirectory(startMenuFolder_)) {
        RemoveDirectoryW(startMenuFolder_.c_str());
    } else {
        DeleteFileW(startMenuFolder_.c_str());
    }
    // A file of the user's own in the folder keeps it.
    Need(!PathExists(startMenuFolder_), startMenuFolder_);
}

void CInstall::WriteProductKey()
{
    WString product(kProductKey);
    if (!ObserveRegistry(L"write", product)) {
        Need(false, product);
        return;
    }
    RegKey key(HKEY_CURRENT_USER, product, KEY_ALL_ACCESS, true);
    Need(key.IsOpen() && key.WriteText(L"InstallDir", installFolder_) && key.WriteText(L"Version", kVersionText),
         product);
    // The first install's time is kept.
    FILETIME installed{};
    if (!key.ReadBytes(L"InstallTime", &installed, sizeof installed)) {
        SYSTEMTIME now{};
        GetLocalTime(&now);
        SystemTimeToFileTime(&now, &installed);
        Need(key.WriteBytes(L"InstallTime", &installed, sizeof installed), product);
    }
    key.Flush();
}

void CInstall::RemoveProductKey()
{
    WString product(kProductKey);
    RegKey vendor(HKEY_CURRENT_USER, WString(kProductVendorKey), KEY_ALL_ACCESS);
    if (!vendor.IsOpen()) {
        Need(IsGone(vendor), product);
        return;
    }
    Need(ObserveRegistry(L"delete-key", product) && (vendor.DeleteSubKey(L"Zupako") || IsGone(vendor)), product);
    DWORD subKeys = 0;
    DWORD values = 0;
    DWORD longest = 0;
    if (vendor.QueryCounts(subKeys, values, longest) && subKeys == 0 && values == 0) {
        vendor.Close();
        RegKey software(HKEY_CURRENT_USER, WString(L"Software"), KEY_ALL_ACCESS);
        Need(software.IsOpen() && (software.DeleteSubKey(L"Marunoko") || IsGone(software)), WString(kProductVendorKey));
    }
}
