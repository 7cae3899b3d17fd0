#include "support/accessible_menu.h"

#include <oleacc.h>

AccessibleItem AccessibleItemAt(HMENU menu, int position)
{
    MENUITEMINFOW info{};
    info.cbSize = sizeof info;
    info.fMask = MIIM_DATA;
    if (!GetMenuItemInfoW(menu, static_cast<UINT>(position), TRUE, &info) || !info.dwItemData) {
        return AccessibleItem{false, std::wstring()};
    }
    const auto* record = reinterpret_cast<const MSAAMENUINFO*>(info.dwItemData);
    if (record->dwMSAASignature != static_cast<DWORD>(MSAA_MENU_SIG)) {
        return AccessibleItem{false, std::wstring()};
    }
    return AccessibleItem{true, std::wstring(record->pszWText, record->cchWText)};
}
