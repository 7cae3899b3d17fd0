#include "common/user_colours.h"

bool IsDarkColour(COLORREF colour)
{
    int luminance = 299 * GetRValue(colour) + 587 * GetGValue(colour) + 114 * GetBValue(colour);
    return luminance < 128 * 1000;
}

bool HighContrastScheme()
{
    HIGHCONTRASTW contrast{};
    contrast.cbSize = sizeof contrast;
    if (SystemParametersInfoW(SPI_GETHIGHCONTRAST, sizeof contrast, &contrast, 0) &&
        (contrast.dwFlags & HCF_HIGHCONTRASTON)) {
        return true;
    }
    return IsDarkColour(GetSysColor(COLOR_MENU)) || IsDarkColour(GetSysColor(COLOR_BTNFACE));
}

COLORREF StaticTextColour(bool accented, COLORREF accent)
{
    return accented && !HighContrastScheme() ? accent : GetSysColor(COLOR_WINDOWTEXT);
}

MenuItemColours MenuItemColoursFor(bool selected)
{
    return selected ? MenuItemColours{COLOR_HIGHLIGHT, COLOR_HIGHLIGHTTEXT} : MenuItemColours{COLOR_MENU, COLOR_MENUTEXT};
}

BOOL FillMenuItem(HDC dc, const RECT& item, const MenuItemColours& colours)
{
    SetBkColor(dc, GetSysColor(colours.background));
    SetTextColor(dc, GetSysColor(colours.text));
    return FillRect(dc, &item, GetSysColorBrush(colours.background));
}

BOOL DrawMenuItemIcon(HDC dc, const RECT& item, HICON icon, const MenuItemMetrics& metrics,
                      const MenuItemColours& colours)
{
    int left = item.left + metrics.iconLeft;
    int top = item.top + metrics.top;
    COLORREF plate = GetSysColor(colours.text);
    if (IsDarkColour(GetSysColor(colours.background)) && !IsDarkColour(plate) && HighContrastScheme()) {
        // The plate reaches into the icon's margin, so that the icon's own
        // outline stays clear of the dark background.
        int margin = metrics.top;
        RECT around{left - margin, top - margin, left + metrics.iconSize + margin, top + metrics.iconSize + margin};
        FillRect(dc, &around, GetSysColorBrush(colours.text));
    }
    return DrawIconEx(dc, left, top, icon, metrics.iconSize, metrics.iconSize, 0, nullptr, DI_NORMAL);
}
