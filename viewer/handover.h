// The preview hand-over to the sibling file manager: its tray window from
// the registry, and the shared block "KTM_CurDirFile" that names the
// extracted copy of the highlighted file and where its menu item is.
#pragma once

#include <windows.h>
#include <cstdint>
#include <vector>

#include "common/wstring.h"

// Where a highlighted item is: the menu window and the item's rectangle in
// that window's client coordinates.
struct MenuAnchor {
    HWND window;
    RECT item;
};

const wchar_t kSiblingKey[] = L"Software\\Marunoko\\Kotamo";
const wchar_t kSiblingTrayValue[] = L"KTMTrayHandle";
const wchar_t kSiblingMessage[] = L"KTMMESSAGE";
const wchar_t kHandoverName[] = L"KTM_CurDirFile";
const WPARAM kSiblingNotice = 100;

// The sibling's tray window when the registry names one that exists; null
// otherwise.
HWND ReadSiblingTray();

// The block as the sibling reads it, little-endian: the header size 24, the
// menu window's handle in 32 bits, the item rectangle, then the path in
// UTF-16 with its NUL.
std::vector<uint8_t> BuildHandoverBlock(const MenuAnchor& anchor, const WString& path);
// The lParam the sibling expects with the block: 24 + path length + 1.
LPARAM HandoverLParam(const WString& path);

// Publishes the block and sends the notice to the tray window (with a
// timeout, so that a hung sibling cannot hang the menu). False, with the
// reason, when the block exists already (somebody else's), cannot be made or
// the window is gone.
bool SendHandover(HWND tray, UINT message, const MenuAnchor& anchor, const WString& path, WString& error);
