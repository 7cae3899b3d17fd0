// The width in pixels of an icon's own image, which tells whether an icon
// was made at the size it is drawn at.
#pragma once

#include <windows.h>

// 0 for no icon.
int IconWidth(HICON icon);
