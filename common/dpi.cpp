#include "common/dpi.h"

#include <commctrl.h>
#include <shellapi.h>

#include <cstddef>

#include "common/handles.h"

namespace {

using MetricsForDpi = int(WINAPI*)(int index, UINT dpi);
using ParametersForDpi = BOOL(WINAPI*)(UINT action, UINT parameter, PVOID data, UINT update, UINT dpi);
using DpiForMonitor = HRESULT(WINAPI*)(HMONITOR monitor, int dpiType, UINT* dpiX, UINT* dpiY);

// IImageList, which MinGW's uuid library does not define; the shell's image
// lists are asked for by it.
const IID kImageListInterface = {0x46eb5926, 0x582e, 0x4017, {0x9f, 0xdf, 0xe8, 0x99, 0x8d, 0xaa, 0x09, 0x50}};

// MDT_EFFECTIVE_DPI of GetDpiForMonitor.
const int kEffectiveDpi = 0;

template <typename Function>
Function User32Function(const char* name)
{
    // user32 is loaded in every process with a window, so the handle needs
    // no release.
    HMODULE user32 = GetModuleHandleW(L"user32.dll");
    return user32 ? reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(user32, name))) : nullptr;
}

UINT SystemDpi()
{
    ScopedWindowDC screen(nullptr);
    int dpi = screen.Get() ? GetDeviceCaps(screen.Get(), LOGPIXELSY) : 0;
    return dpi > 0 ? static_cast<UINT>(dpi) : kStandardDpi;
}

int FromSystemDpi(int length, UINT dpi)
{
    return dpi == 0 ? length : MulDiv(length, static_cast<int>(dpi), static_cast<int>(SystemDpi()));
}

}  // namespace

int ScaleToDpi(int length, UINT dpi)
{
    return dpi == 0 ? length : MulDiv(length, static_cast<int>(dpi), static_cast<int>(kStandardDpi));
}

int SystemMetricForDpi(int index, UINT dpi)
{
    static const MetricsForDpi forDpi = User32Function<MetricsForDpi>("GetSystemMetricsForDpi");
    if (forDpi && dpi != 0) {
        return forDpi(index, dpi);
    }
    return FromSystemDpi(GetSystemMetrics(index), dpi);
}

bool NonClientMetricsForDpi(NONCLIENTMETRICSW& metrics, UINT dpi)
{
    static const ParametersForDpi forDpi = User32Function<ParametersForDpi>("SystemParametersInfoForDpi");
    // The size before the padded border was added, which every Windows
    // version accepts.
    metrics = NONCLIENTMETRICSW{};
    metrics.cbSize = offsetof(NONCLIENTMETRICSW, lfMessageFont) + sizeof(LOGFONTW);
    if (forDpi && dpi != 0) {
        return forDpi(SPI_GETNONCLIENTMETRICS, metrics.cbSize, &metrics, 0, dpi) != FALSE;
    }
    if (!SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, metrics.cbSize, &metrics, 0)) {
        return false;
    }
    metrics.lfMenuFont.lfHeight = FromSystemDpi(metrics.lfMenuFont.lfHeight, dpi);
    metrics.lfMessageFont.lfHeight = FromSystemDpi(metrics.lfMessageFont.lfHeight, dpi);
    return true;
}

UINT DpiOfMonitor(HMONITOR monitor)
{
    ScopedModule scaling(LoadLibraryW(L"Shcore.dll"));
    if (!scaling || !monitor) {
        return kStandardDpi;
    }
    auto forMonitor = reinterpret_cast<DpiForMonitor>(
        reinterpret_cast<void*>(GetProcAddress(scaling.Get(), "GetDpiForMonitor")));
    UINT dpiX = kStandardDpi;
    UINT dpiY = kStandardDpi;
    if (!forMonitor || FAILED(forMonitor(monitor, kEffectiveDpi, &dpiX, &dpiY)) || dpiY == 0) {
        return kStandardDpi;
    }
    return dpiY;
}

UINT DpiOfMonitorNear(POINT point) { return DpiOfMonitor(MonitorFromPoint(point, MONITOR_DEFAULTTONEAREST)); }

UINT DpiOfWindow(HWND window) { return DpiOfMonitor(MonitorFromWindow(window, MONITOR_DEFAULTTONEAREST)); }

HICON ShellIconAtSize(const wchar_t* name, DWORD attributes, int size)
{
    SHFILEINFOW info{};
    if (!SHGetFileInfoW(name, attributes, &info, sizeof info, SHGFI_USEFILEATTRIBUTES | SHGFI_SYSICONINDEX)) {
        return nullptr;
    }
    // The shell keeps its lists at 16, 32 and 48 pixels scaled to the
    // system's DPI; the smallest that is not smaller than the size wins.
    ComPtr<IUnknown> best;
    int bestSize = 0;
    for (int which : {SHIL_SMALL, SHIL_LARGE, SHIL_EXTRALARGE}) {
        ComPtr<IUnknown> list;
        if (FAILED(SHGetImageList(which, kImageListInterface, list.ReceiveVoid())) || !list) {
            continue;
        }
        int width = 0;
        int height = 0;
        if (!ImageList_GetIconSize(reinterpret_cast<HIMAGELIST>(list.Get()), &width, &height)) {
            continue;
        }
        if (height >= size && (bestSize == 0 || height < bestSize)) {
            best = std::move(list);
            bestSize = height;
        }
    }
    if (!best) {
        return nullptr;
    }
    return ImageList_GetIcon(reinterpret_cast<HIMAGELIST>(best.Get()), info.iIcon, ILD_NORMAL);
}

MenuItemMetrics MenuItemMetricsFor(int iconSize, UINT dpi)
{
    MenuItemMetrics metrics{};
    metrics.iconSize = iconSize;
    metrics.iconLeft = ScaleToDpi(2, dpi);
    metrics.top = ScaleToDpi(1, dpi);
    metrics.itemHeight = iconSize + ScaleToDpi(3, dpi);
    metrics.textLeft = iconSize + ScaleToDpi(4, dpi);
    metrics.extraWidth = iconSize + ScaleToDpi(4, dpi);
    return metrics;
}
