#include "viewer/tooltip.h"

#include "archive/arcfile.h"
#include "common/dpi.h"
#include "common/messages.h"
#include "common/paths.h"
#include "common/system.h"
#include "viewer/menu_model.h"
#include "viewer/tooltip_text.h"

namespace {

const wchar_t kClassName[] = L"MENUTOOLTIPTEXT";
const wchar_t kSample[] = L"あいうえおabcdefg";

FMenuTTObj* g_tooltip = nullptr;

}  // namespace

FMenuTTObj::FMenuTTObj(const wchar_t* faceName, int tenthsOfPoint)
    : faceName_(faceName), tenthsOfPoint_(tenthsOfPoint)
{
    g_tooltip = this;
    WNDCLASSW windowClass{};
    windowClass.lpfnWndProc = WindowProc;
    windowClass.hInstance = ModuleInstance();
    windowClass.lpszClassName = kClassName;
    if (!RegisterClassW(&windowClass) && GetLastError() != ERROR_CLASS_ALREADY_EXISTS) {
        ReportApiFailure(FALSE, "RegisterClass");
    }
    window_.Reset(CreateWindowExW(WS_EX_TOOLWINDOW | WS_EX_TOPMOST, kClassName, L"", WS_POPUP | WS_DISABLED,
                                  CW_USEDEFAULT, CW_USEDEFAULT, 1, 1, nullptr, nullptr, ModuleInstance(), nullptr));
    if (!ReportApiFailure(window_.Get(), "CreateWindowEx")) {
        return;
    }
    surface_ = std::make_unique<ScopedWindowDC>(window_.Get());
    dc_ = surface_->Get();
    UseDpi(monitors_.DpiAt());
    SIZE size{0, 0};
    ReportApiFailure(GetTextExtentPoint32W(dc_, L"abcdefg", 7, &size), "GetTextExtentPoint32");
    sampleHeight_ = size.cy;
    ShowWindow(window_.Get(), SW_SHOWNOACTIVATE);
    UpdateWindow(window_.Get());
}

FMenuTTObj::~FMenuTTObj()
{
    if (window_) {
        KillTimer(window_.Get(), kDelayTimer);
        KillTimer(window_.Get(), kDisplayTimer);
        surface_.reset();
        ReportApiFailure(window_.Reset(), "DestroyWindow");
    }
    if (g_tooltip == this) {
        g_tooltip = nullptr;
    }
}

bool FMenuTTObj::FilterMessage(HWND, UINT, WPARAM, LPARAM) { return true; }

void FMenuTTObj::UseDpi(UINT dpi)
{
    if (font_ && dpi == fontDpi_) {
        return;
    }
    int height = -MulDiv(tenthsOfPoint_, static_cast<int>(dpi), 720);
    ScopedFont font(CreateFontW(height, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, SHIFTJIS_CHARSET, OUT_DEFAULT_PRECIS,
                                CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, FIXED_PITCH | FF_MODERN, faceName_.c_str()));
    if (!font) {
        return;
    }
    // The new font goes into the surface before the old one is deleted.
    SelectObject(dc_, font.Get());
    font_ = std::move(font);
    fontDpi_ = dpi;
}

void FMenuTTObj::Hide()
{
    if (!window_) {
        return;
    }
    KillTimer(window_.Get(), kDelayTimer);
    KillTimer(window_.Get(), kDisplayTimer);
    ReportApiFailure(SetWindowPos(window_.Get(), HWND_NOTOPMOST, 0, 0, 1, 1, SWP_NOACTIVATE), "SetWindowPos");
    shown_ = false;
    OnHidden();
}

void FMenuTTObj::StartDelay()
{
    ReportApiFailure(SetTimer(window_.Get(), kDelayTimer, kDelayMilliseconds, nullptr) != 0, "ST1");
}

void FMenuTTObj::ShowTextNow(const StringList& lines)
{
    Hide();
    ShowLines(lines);
}

void FMenuTTObj::ShowLines(const StringList& lines)
{
    if (!window_ || lines.Count() == 0) {
        return;
    }
    TooltipGeometry geometry{};
    RECT windowRect{};
    geometry.hasOwner = anchor_.window && GetWindowRect(anchor_.window, &windowRect);
    if (geometry.hasOwner) {
        geometry.reference = POINT{windowRect.left + anchor_.item.left, windowRect.top + anchor_.item.bottom};
    } else {
        ReportApiFailure(GetCursorPos(&geometry.reference), "GetCursorPos");
    }
    geometry.itemWidth = anchor_.item.right - anchor_.item.left;
    geometry.dpi = monitors_.DpiAt(&geometry.reference);
    geometry.edgeWidth = SystemMetricForDpi(SM_CXEDGE, geometry.dpi);
    geometry.bounds = monitors_.RectangleAt();
    UseDpi(geometry.dpi);
    int padding = ScaleToDpi(2, geometry.dpi);

    SIZE sample{0, 0};
    ReportApiFailure(GetTextExtentPoint32W(dc_, kSample, lstrlenW(kSample), &sample), "GetTextExtentPoint32");
    int lineHeight = sample.cy;
    int width = 0;
    for (int i = 0; i < lines.Count(); ++i) {
        SIZE size = sample;
        if (!lines[i].IsEmpty()) {
            GetTextExtentPoint32W(dc_, lines[i].c_str(), lines[i].Length(), &size);
        }
        width = size.cx + 2 * padding > width ? size.cx + 2 * padding : width;
    }
    int height = lines.Count() * lineHeight;

    POINT at = PlaceTooltip(geometry, width, height);
    SetWindowPos(window_.Get(), HWND_TOPMOST, at.x, at.y, width, height, SWP_NOACTIVATE | SWP_SHOWWINDOW);
    shown_ = true;

    // Painted once, straight onto the kept surface, in the colours of the
    // user's scheme for tooltips (pale yellow and black unless the user
    // chose others), the frame in the text colour.
    RECT all{0, 0, width, height};
    ReportApiFailure(FillRect(dc_, &all, GetSysColorBrush(COLOR_INFOBK)), "FillRect");
    ReportApiFailure(FrameRect(dc_, &all, GetSysColorBrush(COLOR_INFOTEXT)), "FrameRect");
    ReportApiFailure(SetBkMode(dc_, TRANSPARENT), "SetBkMode");
    SetTextColor(dc_, GetSysColor(COLOR_INFOTEXT));
    for (int i = 0; i < lines.Count(); ++i) {
        ReportApiFailure(TextOutW(dc_, padding, i * lineHeight, lines[i].c_str(), lines[i].Length()), "TextOut");
    }
}

void FMenuTTObj::OnTimer(UINT_PTR timer)
{
    KillTimer(window_.Get(), timer);
    if (timer == kDelayTimer) {
        BuildText();
        SetTimer(window_.Get(), kDisplayTimer, kDisplayMilliseconds, nullptr);
    } else if (timer == kDisplayTimer) {
        Hide();
    }
}

LRESULT CALLBACK FMenuTTObj::WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    FMenuTTObj* self = g_tooltip;
    if (self && self->window_.Get() == window) {
        if (!self->FilterMessage(window, message, wParam, lParam)) {
            return 0;
        }
        if (message == WM_TIMER) {
            self->OnTimer(static_cast<UINT_PTR>(wParam));
            return 0;
        }
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

void FMenuTT::SetItem(const WString& path, int kind, const MenuAnchor& anchor)
{
    Hide();
    if (kind != kItemWholeArchive && kind != kItemFile && kind != kItemAbout) {
        return;
    }
    path_ = path;
    kind_ = kind;
    anchor_ = anchor;
    StartDelay();
}

void FMenuTT::TextLines(StringList& lines)
{
    lines.Clear();
    if (kind_ == kItemAbout) {
        lines.Insert(AboutLine());
    } else if (kind_ == kItemWholeArchive) {
        WString file = Unquote(path_);
        WIN32_FILE_ATTRIBUTE_DATA data{};
        if (!GetFileAttributesExW(file.c_str(), GetFileExInfoStandard, &data)) {
            return;
        }
        ArchiveFileLines(file, data, lines);
        DWORD size = 0;
        DWORD packed = 0;
        FILETIME time{};
        DWORD attributes = 0;
        StringList further;
        if (isCab_ && archive_ && archive_->GetEntryInfo(WString(), size, packed, time, attributes, further)) {
            for (int i = 0; i < further.Count(); ++i) {
                lines.Insert(further[i]);
            }
        }
    } else if (kind_ == kItemFile && archive_) {
        DWORD size = 0;
        DWORD packed = 0;
        FILETIME time{};
        DWORD attributes = 0;
        StringList further;
        if (!archive_->GetEntryInfo(path_, size, packed, time, attributes, further)) {
            archive_->ClearErrorText();
            return;
        }
        EntryLines(path_, static_cast<int>(size), static_cast<int>(packed), time, attributes, further, lines);
    }
}

void FMenuTT::BuildText()
{
    StringList lines;
    TextLines(lines);
    ShowLines(lines);
}
