// Measuring and drawing the owner-drawn items of the archive menu: a small
// icon and the item's text in the system menu font.
#pragma once

#include <windows.h>

#include <map>
#include <string>

#include "common/dpi.h"
#include "common/handles.h"
#include "common/wstring.h"

// Where a file entry's icon comes from: an icon of shell32.dll by index, or
// the shell's icon for an extension.
struct FileIconChoice {
    int shell32Index;    // -1: by extension
    WString extension;   // with its dot
};
// Programs (.exe .com .pif) get shell32's program icon, links its link
// icon, a name without extension the first shell32 icon; the dot must lie
// after the last backslash.
FileIconChoice ChooseFileIcon(const WString& entryPath);

// Width of an owner-drawn item: the text in the menu font, the icon and a
// gap; a text shorter than two units counts as one pixel.
int MenuItemWidth(int textWidth, int textLength, const MenuItemMetrics& metrics);

class MenuPainter {
public:
    // isCab chooses the whole archive's icon; the font, the icons and the
    // items are sized for the DPI of the monitor the menu opens on.
    MenuPainter(bool isCab, UINT dpi);
    MenuPainter(const MenuPainter&) = delete;
    MenuPainter& operator=(const MenuPainter&) = delete;

    int IconWidth() const { return metrics_.iconSize; }
    int IconHeight() const { return metrics_.iconSize; }
    int ItemHeight() const { return metrics_.itemHeight; }
    HFONT Font() const { return font_.Get(); }

    void Measure(MEASUREITEMSTRUCT& measure, const WString& text);
    // Fills the item's background; for every kind but a deleted item also
    // draws its icon and text.
    void Draw(const DRAWITEMSTRUCT& draw, int kind, const WString& text, const WString& path);

private:
    HICON IconFor(int kind, const WString& path);

    bool isCab_;
    UINT dpi_;
    MenuItemMetrics metrics_;
    ScopedFont font_;
    std::map<std::wstring, ScopedIcon> icons_;
};
