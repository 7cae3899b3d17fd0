#include "common/dialogs.h"

#include <commctrl.h>

#include <vector>

#include "common/dpi.h"
#include "common/handles.h"
#include "common/messages.h"
#include "common/stringlist.h"
#include "common/system.h"
#include "common/user_colours.h"

WString DialogItemText(HWND dialog, int controlId)
{
    HWND control = GetDlgItem(dialog, controlId);
    int length = GetWindowTextLengthW(control);
    std::vector<wchar_t> buffer(static_cast<size_t>(length) + 1, L'\0');
    int copied = GetWindowTextW(control, buffer.data(), length + 1);
    return WString(buffer.data(), copied);
}

HFONT CreateControlFont(HWND dialog, int controlId, int points, const wchar_t* faceName, bool redraw)
{
    if (wcslen(faceName) >= LF_FACESIZE) {
        return nullptr;
    }
    // The points at the scale of the dialog's monitor, not of the system.
    LOGFONTW font{};
    font.lfHeight = -MulDiv(points, static_cast<int>(DpiOfWindow(dialog)), 72);
    font.lfCharSet = SHIFTJIS_CHARSET;
    wcscpy(font.lfFaceName, faceName);
    HFONT handle = CreateFontIndirectW(&font);
    if (handle && controlId > 0) {
        SendDlgItemMessageW(dialog, controlId, WM_SETFONT, reinterpret_cast<WPARAM>(handle), redraw);
    }
    return handle;
}

HICON LoadSmallIcon(int resourceId, UINT dpi)
{
    return static_cast<HICON>(LoadImageW(ModuleInstance(), MAKEINTRESOURCEW(resourceId), IMAGE_ICON,
                                         SystemMetricForDpi(SM_CXSMICON, dpi),
                                         SystemMetricForDpi(SM_CYSMICON, dpi), 0));
}

HICON LoadLargeIcon(int resourceId, UINT dpi)
{
    return static_cast<HICON>(LoadImageW(ModuleInstance(), MAKEINTRESOURCEW(resourceId), IMAGE_ICON,
                                         SystemMetricForDpi(SM_CXICON, dpi), SystemMetricForDpi(SM_CYICON, dpi),
                                         0));
}

void SetSmallIcon(HWND window, int resourceId, UINT dpi, ScopedIcon& icon)
{
    ScopedIcon loaded(LoadSmallIcon(resourceId, dpi));
    SendMessageW(window, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(loaded.Get()));
    // The window no longer shows the old icon when it is destroyed.
    icon = std::move(loaded);
}

void TakeSuggestedRectangle(HWND window, LPARAM lParam)
{
    const RECT* suggested = reinterpret_cast<const RECT*>(lParam);
    if (suggested) {
        ReportApiFailure(SetWindowPos(window, nullptr, suggested->left, suggested->top,
                                      suggested->right - suggested->left, suggested->bottom - suggested->top,
                                      SWP_NOZORDER | SWP_NOACTIVATE),
                         "SetWindowPos");
    }
}

HWND AttachTooltip(HWND dialog, int controlId, const WString& text, int displayMilliseconds)
{
    HWND tip = CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_ALWAYSTIP, CW_USEDEFAULT,
                               CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, dialog, nullptr, ModuleInstance(), nullptr);
    if (!tip) {
        return nullptr;
    }
    WString shown = text.IsEmpty() ? WString(L" ") : text;
    TOOLINFOW tool{};
    tool.cbSize = sizeof tool;
    tool.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
    tool.hwnd = dialog;
    tool.uId = reinterpret_cast<UINT_PTR>(GetDlgItem(dialog, controlId));
    tool.lpszText = const_cast<wchar_t*>(shown.c_str());
    SendMessageW(tip, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tool));

    // The widest line decides the width, so that the lines break only where
    // the text breaks them.
    StringList lines;
    lines.SplitLines(shown);
    int widest = 0;
    {
        ScopedWindowDC dc(tip);
        HFONT font = reinterpret_cast<HFONT>(SendMessageW(tip, WM_GETFONT, 0, 0));
        ScopedSelect select(dc.Get(), font ? static_cast<HGDIOBJ>(font) : GetStockObject(DEFAULT_GUI_FONT));
        for (int i = 0; i < lines.Count(); ++i) {
            SIZE size{};
            GetTextExtentPoint32W(dc.Get(), lines[i].c_str(), lines[i].Length(), &size);
            if (size.cx > widest) {
                widest = size.cx;
            }
        }
    }
    SendMessageW(tip, TTM_SETMAXTIPWIDTH, 0, widest);
    SendMessageW(tip, TTM_SETDELAYTIME, TTDT_AUTOPOP, displayMilliseconds);
    return tip;
}

INT_PTR ColorStaticOnFace(HDC dc, COLORREF text)
{
    SetTextColor(dc, text);
    SetBkColor(dc, GetSysColor(COLOR_BTNFACE));
    return reinterpret_cast<INT_PTR>(GetSysColorBrush(COLOR_BTNFACE));
}

int GetRadioIndex(HWND dialog, int firstId, int count)
{
    for (int i = 0; i < count; ++i) {
        if (IsDlgButtonChecked(dialog, firstId + 1 + i) == BST_CHECKED) {
            return i;
        }
    }
    return -1;
}

void SetRadioIndex(HWND dialog, int firstId, int count, int index)
{
    for (int i = 0; i < count; ++i) {
        CheckDlgButton(dialog, firstId + 1 + i, i == index ? BST_CHECKED : BST_UNCHECKED);
    }
}

namespace {

class AboutDialog {
public:
    AboutDialog(int iconId, const WString& version, const WString& summary)
        : iconId_(iconId), version_(version), summary_(summary)
    {
    }

    void Run(HWND owner)
    {
        DialogBoxParamW(ModuleInstance(), MAKEINTRESOURCEW(kAboutDialog), owner, Procedure,
                        reinterpret_cast<LPARAM>(this));
    }

private:
    static INT_PTR CALLBACK Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
    {
        auto* self = DialogInstance<AboutDialog>(window, message, lParam);
        if (!self) {
            return FALSE;
        }
        switch (message) {
        case WM_INITDIALOG:
            return self->OnInit(window);
        case WM_CTLCOLORSTATIC:
            return self->OnStaticColour(reinterpret_cast<HDC>(wParam), reinterpret_cast<HWND>(lParam));
        case WM_COMMAND:
            if (LOWORD(wParam) == kAboutOk) {
                EndDialog(window, IDOK);
            }
            return TRUE;
        case WM_CLOSE:
            EndDialog(window, IDCANCEL);
            return TRUE;
        case WM_DESTROY:
            self->OnDestroy();
            return TRUE;
        default:
            return FALSE;
        }
    }

    BOOL OnInit(HWND window)
    {
        window_ = window;
        largeIcon_.Reset(LoadLargeIcon(iconId_, DpiOfWindow(window)));
        SendDlgItemMessageW(window, kAboutIcon, STM_SETICON, reinterpret_cast<WPARAM>(largeIcon_.Get()), 0);
        SetSmallIcon(window, iconId_, DpiOfWindow(window), smallIcon_);
        SetWindowTextW(window, L"Zupako のバージョン情報");
        SetDlgItemTextW(window, kAboutProductName, L"Zupako");
        SetDlgItemTextW(window, kAboutVersion, version_.c_str());
        SetDlgItemTextW(window, kAboutSummary, summary_.c_str());
        nameFont_.Reset(CreateControlFont(window, kAboutProductName, 17, L"ＭＳ Ｐゴシック", false));
        versionFont_.Reset(CreateControlFont(window, kAboutVersion, 13, L"ＭＳ Ｐゴシック", false));
        return TRUE;
    }

    INT_PTR OnStaticColour(HDC dc, HWND control)
    {
        bool summary = GetDlgCtrlID(control) == kAboutSummary;
        return ColorStaticOnFace(dc, StaticTextColour(summary, RGB(0, 128, 0)));
    }

    void OnDestroy()
    {
        SendMessageW(window_, WM_SETICON, ICON_SMALL, 0);
        nameFont_.Reset();
        versionFont_.Reset();
        largeIcon_.Reset();
        smallIcon_.Reset();
    }

    int iconId_;
    WString version_;
    WString summary_;
    HWND window_ = nullptr;
    ScopedIcon largeIcon_;
    ScopedIcon smallIcon_;
    ScopedFont nameFont_;
    ScopedFont versionFont_;
};

}  // namespace

void AboutBox(HWND owner, int iconId, const WString& version, const WString& summary)
{
    AboutDialog dialog(iconId, version, summary);
    dialog.Run(owner);
}
