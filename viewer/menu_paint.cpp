#include "viewer/menu_paint.h"

#include <shellapi.h>
#include <shlobj.h>

#include "common/dialogs.h"
#include "common/messages.h"
#include "common/paths.h"
#include "common_ids.h"
#include "viewer/menu_model.h"

namespace {

HICON Shell32Icon(int index)
{
    static WString library = JoinPath(SpecialFolderPath(CSIDL_SYSTEM), WString(L"shell32.dll"));
    HICON small = nullptr;
    if (ExtractIconExW(library.c_str(), index, nullptr, &small, 1) == 0) {
        return nullptr;
    }
    return small;
}

// The shell's small icon for a name, asked for by its attributes alone so
// that no file is touched.
HICON ShellIconFor(const wchar_t* name, DWORD attributes)
{
    SHFILEINFOW info{};
    if (!SHGetFileInfoW(name, attributes, &info, sizeof info, SHGFI_USEFILEATTRIBUTES | SHGFI_ICON | SHGFI_SMALLICON)) {
        return nullptr;
    }
    return info.hIcon;
}

HFONT CreateMenuFont()
{
    NONCLIENTMETRICSW metrics{};
    metrics.cbSize = sizeof metrics;
    if (!ReportApiFailure(SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0),
                          "SPI_GETNONCLIENTMETRICS")) {
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

int MenuItemWidth(int textWidth, int textLength, int iconWidth)
{
    return (textLength < 2 ? 1 : textWidth) + iconWidth + 4;
}

MenuPainter::MenuPainter(bool isCab)
    : isCab_(isCab),
      iconWidth_(GetSystemMetrics(SM_CXSMICON)),
      iconHeight_(GetSystemMetrics(SM_CYSMICON)),
      font_(CreateMenuFont())
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
    measure.itemWidth = static_cast<UINT>(MenuItemWidth(size.cx, text.Length(), iconWidth_));
    measure.itemHeight = static_cast<UINT>(ItemHeight());
}

void MenuPainter::Draw(const DRAWITEMSTRUCT& draw, int kind, const WString& text, const WString& path)
{
    bool selected = (draw.itemState & ODS_SELECTED) != 0;
    COLORREF background = GetSysColor(selected ? COLOR_HIGHLIGHT : COLOR_MENU);
    COLORREF foreground = GetSysColor(selected ? COLOR_HIGHLIGHTTEXT : COLOR_MENUTEXT);
    ScopedGdiObject brush(CreateSolidBrush(background));
    FillRect(draw.hDC, &draw.rcItem, static_cast<HBRUSH>(brush.Get()));
    SetBkColor(draw.hDC, background);
    if (kind == kItemDeleted) {
        return;
    }
    HICON icon = IconFor(kind, path);
    if (icon) {
        ReportApiFailure(DrawIconEx(draw.hDC, draw.rcItem.left + 2, draw.rcItem.top + 1, icon, iconWidth_, iconHeight_,
                                    0, nullptr, DI_NORMAL),
                         "DrawIconEx");
    }
    ScopedSelect font(draw.hDC, font_.Get());
    SetTextColor(draw.hDC, foreground);
    ReportApiFailure(TextOutW(draw.hDC, draw.rcItem.left + iconWidth_ + 4, draw.rcItem.top + 1, text.c_str(),
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
        icon = choice.shell32Index >= 0 ? Shell32Icon(choice.shell32Index)
                                        : ShellIconFor((L"x" + choice.extension).c_str(), FILE_ATTRIBUTE_NORMAL);
        if (!icon) {
            icon = Shell32Icon(0);
        }
    } else if (kind == kItemAbout) {
        icon = LoadSmallIcon(IDI_ZUPAKO);
    } else if (kind == kItemWholeArchive || kind == kItemCabAdd) {
        icon = LoadSmallIcon(isCab_ || kind == kItemCabAdd ? IDI_CABFILE : IDI_ZIPFILE);
    } else if (IsSubmenuKind(kind)) {
        icon = ShellIconFor(L"folder", FILE_ATTRIBUTE_DIRECTORY);
    }
    icons_[key].Reset(icon);
    return icon;
}
