#include "viewer/menu_paint.h"

#include <shellapi.h>
#include <shlobj.h>

#include "common/dialogs.h"
#include "common/messages.h"
#include "common/paths.h"
#include "common/user_colours.h"
#include "common_ids.h"
#include "viewer/menu_model.h"

namespace {

// The icon of shell32.dll at the size, taken from the image of that size the
// library holds.
HICON Shell32Icon(int index, int size)
{
    static WString library = JoinPath(SpecialFolderPath(CSIDL_SYSTEM), WString(L"shell32.dll"));
    HICON icon = nullptr;
    if (FAILED(SHDefExtractIconW(library.c_str(), index, 0, &icon, nullptr, static_cast<UINT>(size)))) {
        return nullptr;
    }
    return icon;
}

HFONT CreateMenuFont(UINT dpi)
{
    NONCLIENTMETRICSW metrics{};
    if (!ReportApiFailure(NonClientMetricsForDpi(metrics, dpi), "SPI_GETNONCLIENTMETRICS")) {
        return static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
    }
    return CreateFontIndirectW(&metrics.lfMenuFont);
}

}  // namespace

FileIconChoice ChooseFileIcon(const WString& entryPath)
{
    int dot = entryPath.FindLast(L'.');
    if (dot < 0 || dot < entryPath.FindLast(L'\\')) {
        return FileIconChoice{0, WString()};
    }
    WString extension = entryPath.From(dot).Lower();
    if (extension == L".exe" || extension == L".com" || extension == L".pif") {
        return FileIconChoice{2, WString()};
    }
    if (extension == L".lnk") {
        return FileIconChoice{29, WString()};
    }
    return FileIconChoice{-1, extension};
}

int MenuItemWidth(int textWidth, int textLength, const MenuItemMetrics& metrics)
{
    return (textLength < 2 ? 1 : textWidth) + metrics.extraWidth;
}

MenuPainter::MenuPainter(bool isCab, UINT dpi)
    : isCab_(isCab),
      dpi_(dpi),
      metrics_(MenuItemMetricsFor(SystemMetricForDpi(SM_CYSMICON, dpi), dpi)),
      font_(CreateMenuFont(dpi))
{
}

void MenuPainter::Measure(MEASUREITEMSTRUCT& measure, const WString& text)
{
    ScopedWindowDC dc(nullptr);
    SIZE size{0, 0};
    {
        ScopedSelect font(dc.Get(), font_.Get());
        ReportApiFailure(GetTextExtentPoint32W(dc.Get(), text.c_str(), text.Length(), &size), "GTEP32");
    }
    measure.itemWidth = static_cast<UINT>(MenuItemWidth(size.cx, text.Length(), metrics_));
    measure.itemHeight = static_cast<UINT>(ItemHeight());
}

void MenuPainter::Draw(const DRAWITEMSTRUCT& draw, int kind, const WString& text, const WString& path)
{
    MenuItemColours colours = MenuItemColoursFor((draw.itemState & ODS_SELECTED) != 0);
    FillMenuItem(draw.hDC, draw.rcItem, colours);
    if (kind == kItemDeleted) {
        return;
    }
    HICON icon = IconFor(kind, path);
    if (icon) {
        ReportApiFailure(DrawMenuItemIcon(draw.hDC, draw.rcItem, icon, metrics_, colours), "DrawIconEx");
    }
    ScopedSelect font(draw.hDC, font_.Get());
    ReportApiFailure(TextOutW(draw.hDC, draw.rcItem.left + metrics_.textLeft, draw.rcItem.top + metrics_.top, text.c_str(),
                              text.Length()),
                     "TextOut");
}

HICON MenuPainter::IconFor(int kind, const WString& path)
{
    // Icons are kept per kind and extension: a long menu draws thousands of
    // items with a handful of icons.
    std::wstring key;
    FileIconChoice choice{-1, WString()};
    if (kind == kItemFile) {
        choice = ChooseFileIcon(path);
        key = choice.shell32Index >= 0 ? L"#" + std::to_wstring(choice.shell32Index)
                                       : L"." + std::wstring(choice.extension.c_str());
    } else {
        key = L"kind" + std::to_wstring(kind);
    }
    auto found = icons_.find(key);
    if (found != icons_.end()) {
        return found->second.Get();
    }
    HICON icon = nullptr;
    if (kind == kItemFile) {
        int size = metrics_.iconSize;
        icon = choice.shell32Index >= 0
                   ? Shell32Icon(choice.shell32Index, size)
                   : ShellIconAtSize((L"x" + choice.extension).c_str(), FILE_ATTRIBUTE_NORMAL, size);
        if (!icon) {
            icon = Shell32Icon(0, size);
        }
    } else if (kind == kItemAbout) {
        icon = LoadSmallIcon(IDI_ZUPAKO, dpi_);
    } else if (kind == kItemWholeArchive || kind == kItemCabAdd) {
        icon = LoadSmallIcon(isCab_ || kind == kItemCabAdd ? IDI_CABFILE : IDI_ZIPFILE, dpi_);
    } else if (IsSubmenuKind(kind)) {
        icon = ShellIconAtSize(L"folder", FILE_ATTRIBUTE_DIRECTORY, metrics_.iconSize);
    }
    icons_[key].Reset(icon);
    return icon;
}
