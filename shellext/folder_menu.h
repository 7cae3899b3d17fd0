// The destination folder menu: a popup menu of an archive's folders at the
// mouse, headed by the archive's top level, that returns where new files
// are to go. Its owner is a small transparent anchor window under the
// mouse, which keeps the menu's state and draws its entries.
#pragma once

#include <windows.h>

#include "archive/arcfile.h"
#include "common/dpi.h"
#include "common/handles.h"
#include "common/menu_item_records.h"
#include "common/stringlist.h"
#include "common/wstring.h"
#include "shellext/folder_menu_layout.h"

// The window class of the anchor window.
extern const wchar_t kFolderMenuClass[];

class FolderMenu {
public:
    // Lists the archive's folders and builds the menu; the information
    // boxes about an empty archive or one without folders are shown here.
    // The overflow mode is the stored setting. monitorHeight 0 takes the
    // height of the monitor nearest the cursor.
    FolderMenu(CArcFile& archive, HINSTANCE module, int iconId, int monitorHeight = 0);
    ~FolderMenu();
    FolderMenu(const FolderMenu&) = delete;
    FolderMenu& operator=(const FolderMenu&) = delete;

    int FolderCount() const { return folders_.Count(); }
    // Waits for the mouse button to come up, then shows the menu and returns
    // when it has closed, or at once when the mouse moved away.
    void Show();
    // ".\\" for the top level (also when the menu was not shown because the
    // mouse had moved away), a folder path such as docs\img, or empty when
    // the menu was dismissed or could not be shown.
    const WString& Result() const { return result_; }

    // What was built, for tests and for the drawing code.
    HMENU RootMenu() const { return root_.Get(); }
    HWND Anchor() const { return anchor_.Get(); }
    const FolderMenuLayout& Layout() const { return layout_; }
    int ItemsPerColumnUsed() const { return itemsPerColumn_; }
    int ItemHeight() const { return item_.itemHeight; }
    int IconWidth() const { return item_.iconSize; }
    HFONT MenuFont() const { return font_.Get(); }
    POINT CursorPoint() const { return cursor_; }

private:
    static LRESULT CALLBACK AnchorProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    void CreateAnchor();
    void ListFolders(CArcFile& archive);
    void BuildMenus();
    void OnStart();
    void OnMeasure(MEASUREITEMSTRUCT* item);
    void OnDraw(const DRAWITEMSTRUCT* item);
    const WString* RowText(UINT id) const;

    HINSTANCE module_;
    ScopedWindow anchor_;
    StringList folders_{false};
    WString result_;
    FolderMenuLayout layout_;
    // The data of the menu items, named for screen readers; it outlives the
    // menus, which point into it.
    MenuItemRecords records_;
    ScopedMenu root_;
    ScopedFont font_;
    ScopedIcon icon_;
    MenuItemMetrics item_ = MenuItemMetricsFor(16, kStandardDpi);
    int itemsPerColumn_ = 4;
    POINT cursor_{0, 0};
    UINT startMessage_ = 0;
    DWORD overflowMode_ = 0;
};

// The height of the monitor nearest the point, so that a point off every
// monitor still gets one.
int MonitorHeightNear(POINT point);
