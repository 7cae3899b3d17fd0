// The user's stored settings: every value of the product key with its type,
// range and default, read in one place so that each program starts from the
// same defaults and never acts on a value the settings dialog cannot produce.
#pragma once

#include <windows.h>

#include "common/wstring.h"

// The product key under HKEY_CURRENT_USER.
const wchar_t kProductKey[] = L"Software\\Marunoko\\Zupako";

// The action of the viewer's whole-archive entry (value Act).
enum WholeArchiveAction : DWORD {
    kActOpenExplorer = 0,
    kActRunArchiver = 1,
    kActExtract = 2,
};

// Long menus (value MenuOverFlow).
enum MenuOverflowMode : DWORD {
    kOverflowScroll = 0,
    kOverflowColumns = 1,
    kOverflowMoreMenus = 2,
};

struct StoredSettings {
    DWORD action = kActOpenExplorer;        // Act, 0 to 2
    WString archiverCommand;                // ArcCommand
    WString extractFolder;                  // ExtractDir; the desktop folder when missing
    bool openAfterExtract = true;           // EDOpen
    DWORD menuOverflow = kOverflowMoreMenus;  // MenuOverFlow, 0 to 2
    DWORD zipCompType = 0;                  // ZipCompType, 0 to 3
    DWORD cabCompType = 0;                  // CabCompType, 0 to 2
    DWORD cabLzxLevel = 21;                 // CabLzxLevel, 15 to 21
    DWORD cabUnitType = 0;                  // CabFType, 0 to 2
    DWORD cabUnitSize = 0;                  // CabFSize, bytes, 0 to kMaxCabUnitSize
    bool cabSortBySize = false;             // CabSort
    WString installFolder;                  // InstallDir, unquoted; empty before an install
};

// The largest unit size the settings dialog accepts (its integer parse
// saturates there); larger stored values are damage, not a size.
const DWORD kMaxCabUnitSize = 2147483647;

// The user's desktop folder, the default of ExtractDir.
WString DesktopFolder();

// Reads the product key of the current user. A missing value, a value of
// the wrong type and a value outside its range all give the default.
StoredSettings ReadStoredSettings();
