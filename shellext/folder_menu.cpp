#include "shellext/folder_menu.h"

#include "common/dialogs.h"
#include "common/dpi.h"
#include "common/messages.h"
#include "common/settings.h"
#include "common/system.h"
#include "common/user_colours.h"

const wchar_t kFolderMenuClass[] = L"ZPKSHLEXWINCLASS";

int MonitorHeightNear(POINT point)
{
    MONITORINFO info{};
    info.cbSize = sizeof info;
    HMONITOR monitor = MonitorFromPoint(point, MONITOR_DEFAULTTONEAREST);
    if (!monitor || !GetMonitorInfoW(monitor, &info)) {
        return GetSystemMetrics(SM_CYSCREEN);
    }
    return info.rcMonitor.bottom - info.rcMonitor.top;
}

FolderMenu::FolderMenu(CArcFile& archive, HINSTANCE module, int iconId, int monitorHeight)
    : module_(module), result_(kTopLevelResult)
{
    startMessage_ = RegisterWindowMessageW(L"ZPKMESSAGE");
    if (!ReportApiFailure(GetCursorPos(&cursor_), "GetCursorPos")) {
        cursor_ = POINT{0, 0};
    }
    // The menu opens under the mouse, at the scale of that monitor as the
    // file manager's own awareness sees it.
    UINT dpi = DpiOfMonitorNear(cursor_);
    NONCLIENTMETRICSW metrics{};
    if (ReportApiFailure(NonClientMetricsForDpi(metrics, dpi), "SPI_GETNONCLIENTMETRICS")) {
        font_.Reset(CreateFontIndirectW(&metrics.lfMenuFont));
    }
    overflowMode_ = ReadStoredSettings().menuOverflow;
    item_ = MenuItemMetricsFor(SystemMetricForDpi(SM_CYSMICON, dpi), dpi);
    itemsPerColumn_ =
        ItemsPerColumn(monitorHeight > 0 ? monitorHeight : MonitorHeightNear(cursor_), item_.itemHeight);
    icon_.Reset(static_cast<HICON>(LoadImageW(module_, MAKEINTRESOURCEW(iconId), IMAGE_ICON, item_.iconSize,
                                              item_.iconSize, LR_DEFAULTCOLOR)));
    CreateAnchor();
    ListFolders(archive);
    if (folders_.Count() > 0) {
        layout_ = LayOutFolderMenu(archive.ArchivePath(), folders_, overflowMode_, itemsPerColumn_);
        BuildMenus();
    }
}

FolderMenu::~FolderMenu()
{
    // The root menu takes its "more" submenus with it.
    ReportApiFailure(root_.Reset(), "DestroyMenu");
    ReportApiFailure(icon_.Reset(), "DestroyIcon");
    ReportApiFailure(font_.Reset(), "DeleteObject");
    ReportApiFailure(anchor_.Reset(), "DestroyWindow");
    // A library that is unloaded later must leave no class behind whose
    // procedure would no longer exist. While another menu's anchor window
    // lives the class stays, and that menu removes it.
    UnregisterClassW(kFolderMenuClass, module_);
}

void FolderMenu::CreateAnchor()
{
    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof windowClass;
    windowClass.lpfnWndProc = AnchorProcedure;
    windowClass.hInstance = module_;
    windowClass.lpszClassName = kFolderMenuClass;
    if (!RegisterClassExW(&windowClass) && GetLastError() != ERROR_CLASS_ALREADY_EXISTS) {
        ReportApiFailure(FALSE, "RegisterClassEx");
        return;
    }
    HWND window = CreateWindowExW(WS_EX_TOOLWINDOW | WS_EX_TRANSPARENT | WS_EX_TOPMOST, kFolderMenuClass,
                                  L"ZPKShlEx.dll", WS_POPUP, cursor_.x - 15, cursor_.y - 15, 31, 31, nullptr,
                                  nullptr, module_, this);
    if (!ReportApiFailure(window, "CreateWindowEx")) {
        return;
    }
    anchor_.Reset(window);
    ShowWindow(window, SW_SHOW);
}

void FolderMenu::ListFolders(CArcFile& archive)
{
    StringList names(true);
    if (!archive.GetEntryNames(names)) {
        if (archive.HasError()) {
            ShowError(archive.ErrorText());
            archive.ClearErrorText();
        }
        return;
    }
    switch (CollectFolders(names, folders_)) {
    case kListingEmpty:
        ShowInfo(WString(L"中身が存在しないので直下に圧縮します"), anchor_.Get());
        break;
    case kListingNoFolders:
        ShowInfo(WString(L"ディレクトリが存在しないので直下に圧縮します"));
        break;
    default:
        break;
    }
}

void FolderMenu::BuildMenus()
{
    root_.Reset(CreatePopupMenu());
    if (!ReportApiFailure(root_.Get(), "CreatePopupMenu")) {
        return;
    }
    std::vector<HMENU> menus(layout_.menus.size(), nullptr);
    menus[0] = root_.Get();
    // A "more" entry always opens a menu further down the list, so each
    // menu has its handle before its entries are inserted.
    for (size_t m = 0; m < layout_.menus.size(); ++m) {
        HMENU menu = menus[m];
        if (!menu) {
            continue;
        }
        for (const FolderMenuItem& item : layout_.menus[m]) {
            const FolderMenuRow& row = layout_.rows[static_cast<size_t>(item.row)];
            MENUITEMINFOW info{};
            info.cbSize = sizeof info;
            info.wID = static_cast<UINT>(item.row);
            info.dwItemData = records_.Add(item.row, row.text);
            UINT end = static_cast<UINT>(GetMenuItemCount(menu));
            if (item.submenu >= 0) {
                ScopedMenu submenu(CreatePopupMenu());
                wchar_t more[] = L"more";
                info.fMask = MIIM_STRING | MIIM_SUBMENU | MIIM_ID | MIIM_DATA;
                info.dwTypeData = more;
                info.hSubMenu = submenu.Get();
                if (submenu && ReportApiFailure(InsertMenuItemW(menu, end, TRUE, &info), "IMI More")) {
                    menus[static_cast<size_t>(item.submenu)] = submenu.Detach();
                }
                continue;
            }
            info.fMask = MIIM_FTYPE | MIIM_ID | MIIM_DATA;
            info.fType = MFT_OWNERDRAW | (item.columnBreak ? MFT_MENUBARBREAK : 0);
            ReportApiFailure(InsertMenuItemW(menu, end, TRUE, &info), row.kind == kRowTopLevel ? "IMI TOP" : "IMI FILE");
        }
    }
}

void FolderMenu::Show()
{
    // Without a menu or without its owner nothing can be chosen, and the
    // loop below would wait for a start that never comes.
    if (!root_ || !anchor_) {
        result_.Clear();
        return;
    }
    if (!ReleasedNearStart(cursor_)) {
        return;
    }
    HWND anchor = anchor_.Get();
    SetForegroundWindow(anchor);
    SetFocus(anchor);
    // A click of our own makes this thread the one with the input, so that
    // the menu can take the keyboard.
    INPUT clicks[2]{};
    clicks[0].type = INPUT_MOUSE;
    clicks[0].mi.dwFlags = MOUSEEVENTF_LEFTDOWN;
    clicks[1].type = INPUT_MOUSE;
    clicks[1].mi.dwFlags = MOUSEEVENTF_LEFTUP;
    SendInput(2, clicks, sizeof(INPUT));
    PumpPending();
    SendMessageW(anchor, WM_NULL, 0, 0);
    // Whatever ends the loop before the menu has answered counts as a
    // dismissal, never as a choice.
    result_.Clear();
    PostMessageW(anchor, startMessage_, 1, 0);
    RunMessageLoop();
}

void FolderMenu::OnStart()
{
    MENUINFO info{};
    info.cbSize = sizeof info;
    info.fMask = MIM_MAXHEIGHT | MIM_STYLE | MIM_APPLYTOSUBMENUS;
    ReportApiFailure(SetMenuInfo(root_.Get(), &info), "SetMenuInfo");
    UINT id = static_cast<UINT>(TrackPopupMenuEx(root_.Get(), TPM_RETURNCMD | TPM_LEFTALIGN | TPM_TOPALIGN,
                                                 cursor_.x, cursor_.y, anchor_.Get(), nullptr));
    result_.Clear();
    if (id > 0 && id < layout_.rows.size()) {
        const FolderMenuRow& row = layout_.rows[id];
        if (row.kind == kRowTopLevel) {
            result_ = kTopLevelResult;
        } else if (row.kind == kRowFolder) {
            result_ = row.text;
        }
    }
    PostQuitMessage(0);
}

const WString* FolderMenu::RowText(UINT id) const
{
    return id < layout_.rows.size() ? &layout_.rows[id].text : nullptr;
}

void FolderMenu::OnMeasure(MEASUREITEMSTRUCT* item)
{
    const WString* text = RowText(item->itemID);
    SIZE size{1, 0};
    if (text && text->Length() > 1) {
        ScopedWindowDC dc(anchor_.Get());
        ScopedSelect font(dc.Get(), font_.Get());
        if (!ReportApiFailure(GetTextExtentPoint32W(dc.Get(), text->c_str(), text->Length(), &size), "GTEP32")) {
            size.cx = 1;
        }
    }
    item->itemWidth = static_cast<UINT>(size.cx + item_.extraWidth);
    item->itemHeight = static_cast<UINT>(item_.itemHeight);
}

void FolderMenu::OnDraw(const DRAWITEMSTRUCT* item)
{
    const WString* text = RowText(item->itemID);
    if (!item->hDC || !text) {
        return;
    }
    MenuItemColours colours = MenuItemColoursFor((item->itemState & ODS_SELECTED) != 0);
    ReportApiFailure(FillMenuItem(item->hDC, item->rcItem, colours), "FillRect");
    const RECT& area = item->rcItem;
    if (icon_) {
        ReportApiFailure(DrawMenuItemIcon(item->hDC, area, icon_.Get(), item_, colours), "DrawIconEx");
    }
    ScopedSelect font(item->hDC, font_.Get());
    ReportApiFailure(TextOutW(item->hDC, area.left + item_.textLeft, area.top + item_.top, text->c_str(), text->Length()),
                     "TextOut");
}

LRESULT CALLBACK FolderMenu::AnchorProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    auto* menu = WindowInstance<FolderMenu>(window, message, lParam);
    if (!menu) {
        return DefWindowProcW(window, message, wParam, lParam);
    }
    if (message == menu->startMessage_ && message != 0) {
        if (wParam == 1) {
            menu->OnStart();
        }
        return 0;
    }
    switch (message) {
    case WM_MEASUREITEM:
        menu->OnMeasure(reinterpret_cast<MEASUREITEMSTRUCT*>(lParam));
        return TRUE;
    case WM_DRAWITEM:
        menu->OnDraw(reinterpret_cast<const DRAWITEMSTRUCT*>(lParam));
        return TRUE;
    case WM_NCDESTROY:
        SetWindowLongPtrW(window, GWLP_USERDATA, 0);
        break;
    default:
        break;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}
