#include "common/settings.h"

#include <shlobj.h>

#include "common/paths.h"
#include "common/registry.h"

namespace {

// A number within [low, high], or the default.
void ReadRanged(RegKey& key, const wchar_t* name, DWORD low, DWORD high, DWORD& value)
{
    DWORD stored = 0;
    if (key.ReadNumber(name, stored) && stored >= low && stored <= high) {
        value = stored;
    }
}

// Flags are written as 0 or 1; any other number is not the dialog's.
void ReadStrictFlag(RegKey& key, const wchar_t* name, bool& value)
{
    DWORD stored = 0;
    if (key.ReadNumber(name, stored) && stored <= 1) {
        value = stored == 1;
    }
}

void ReadFolder(RegKey& key, const wchar_t* name, WString& value)
{
    WString stored;
    if (key.ReadText(name, stored) && !stored.IsEmpty()) {
        value = Unquote(stored);
    }
}

}  // namespace

WString DesktopFolder()
{
    wchar_t path[MAX_PATH] = {};
    if (FAILED(SHGetFolderPathW(nullptr, CSIDL_DESKTOPDIRECTORY, nullptr, SHGFP_TYPE_CURRENT, path))) {
        return WString();
    }
    return WString(path);
}

StoredSettings ReadStoredSettings()
{
    StoredSettings settings;
    settings.extractFolder = DesktopFolder();
    RegKey key(HKEY_CURRENT_USER, WString(kProductKey), KEY_READ);
    if (!key.IsOpen()) {
        return settings;
    }
    ReadRanged(key, L"Act", 0, 2, settings.action);
    key.ReadText(L"ArcCommand", settings.archiverCommand);
    ReadFolder(key, L"ExtractDir", settings.extractFolder);
    ReadStrictFlag(key, L"EDOpen", settings.openAfterExtract);
    ReadRanged(key, L"MenuOverFlow", 0, 2, settings.menuOverflow);
    ReadRanged(key, L"ZipCompType", 0, 3, settings.zipCompType);
    ReadRanged(key, L"CabCompType", 0, 2, settings.cabCompType);
    ReadRanged(key, L"CabLzxLevel", 15, 21, settings.cabLzxLevel);
    ReadRanged(key, L"CabFType", 0, 2, settings.cabUnitType);
    ReadRanged(key, L"CabFSize", 0, kMaxCabUnitSize, settings.cabUnitSize);
    ReadStrictFlag(key, L"CabSort", settings.cabSortBySize);
    ReadFolder(key, L"InstallDir", settings.installFolder);
    return settings;
}
