// Drawing in the user's colours. The programs paint a few things themselves:
// the owner-drawn menu items, the menu tooltip and a few coloured notes in
// dialogs. All of them take the colours of the user's scheme, and in a
// high-contrast scheme none of the programs' own colouring is left that
// could make a text or an icon hard to see.
#pragma once

#include <windows.h>

#include "common/dpi.h"

// Whether a colour is dark by its luminance: what is drawn for a light
// background (icons, dark coloured text) is hard to see on it.
bool IsDarkColour(COLORREF colour);
// High contrast is on, or the user's scheme gives menus or dialogs a dark
// background, which the programs' icons and accent colours were not made
// for.
bool HighContrastScheme();
// The colour of a static text on a dialog's face: the window-text colour,
// or for a note drawn in an accent of its own (a warning in red) the accent,
// unless the scheme is a high-contrast one.
COLORREF StaticTextColour(bool accented, COLORREF accent);

// The system colours of an owner-drawn menu item.
struct MenuItemColours {
    int background;
    int text;
};
MenuItemColours MenuItemColoursFor(bool selected);
// Fills the item's rectangle with its background and sets the surface's
// colours for its text. Returns what FillRect returned.
BOOL FillMenuItem(HDC dc, const RECT& item, const MenuItemColours& colours);
// Draws the item's small icon in its place. On a dark item background of a
// high-contrast scheme the icon sits on a plate of the item's text colour,
// which the scheme makes stand out from the background.
BOOL DrawMenuItemIcon(HDC dc, const RECT& item, HICON icon, const MenuItemMetrics& metrics,
                      const MenuItemColours& colours);
