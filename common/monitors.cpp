#include "common/monitors.h"

#include <algorithm>

#include "common/dpi.h"
#include "common/messages.h"

namespace {

// MDT_EFFECTIVE_DPI of GetDpiForMonitor.
const int kEffectiveDpi = 0;

void Widen(RECT& total, const RECT& part, bool first)
{
    if (first) {
        total = part;
        return;
    }
    total.left = std::min(total.left, part.left);
    total.top = std::min(total.top, part.top);
    total.right = std::max(total.right, part.right);
    total.bottom = std::max(total.bottom, part.bottom);
}

}  // namespace

int FindMonitorIndex(const MONITORINFOEXW* monitors, int count, POINT point)
{
    for (int i = 0; i < count; ++i) {
        const RECT& r = monitors[i].rcMonitor;
        if (point.x >= r.left && point.x <= r.right && point.y >= r.top && point.y <= r.bottom) {
            return i;
        }
    }
    return -1;
}

int ScaleFromDpi(UINT dpi) { return static_cast<int>(static_cast<ULONGLONG>(dpi) * 100 / kStandardDpi); }

MonitorList::MonitorList()
{
    // Shcore exists from Windows 8.1 on; older systems keep every scale at 100.
    scaling_.Reset(LoadLibraryW(L"Shcore.dll"));
    if (scaling_) {
        dpiFunction_ = reinterpret_cast<DpiFunction>(
            reinterpret_cast<void*>(GetProcAddress(scaling_.Get(), "GetDpiForMonitor")));
    }
    Fill();
}

MonitorList::MonitorList(DpiFunction dpiFunction) : dpiFunction_(dpiFunction) { Fill(); }

MonitorList::~MonitorList() = default;

void MonitorList::Fill()
{
    count_ = std::max(0, GetSystemMetrics(SM_CMONITORS));
    monitors_.assign(static_cast<size_t>(count_ > 0 ? count_ : 1), MONITORINFOEXW{});
    scales_.assign(static_cast<size_t>(count_ > 0 ? count_ : 1), POINT{});
    dpis_.assign(static_cast<size_t>(count_ > 0 ? count_ : 1), kStandardDpi);
    ReportApiFailure(EnumDisplayMonitors(nullptr, nullptr, AddMonitor, reinterpret_cast<LPARAM>(this)),
                     "EnumDisplayMonitors");
    for (int i = 0; i < filled_; ++i) {
        Widen(unionMonitors_, monitors_[i].rcMonitor, i == 0);
        Widen(unionWorkAreas_, monitors_[i].rcWork, i == 0);
    }
}

BOOL CALLBACK MonitorList::AddMonitor(HMONITOR monitor, HDC, LPRECT, LPARAM data)
{
    MonitorList* list = reinterpret_cast<MonitorList*>(data);
    // A monitor attached after the count was read has no room; it is left out.
    if (list->filled_ >= list->count_) {
        return TRUE;
    }
    MONITORINFOEXW& info = list->monitors_[list->filled_];
    info = MONITORINFOEXW{};
    info.cbSize = sizeof info;
    if (!ReportApiFailure(GetMonitorInfoW(monitor, &info), "GetMonitorInfo")) {
        return TRUE;
    }
    POINT scale{100, 100};
    UINT dpi = kStandardDpi;
    if (list->dpiFunction_) {
        UINT dpiX = kStandardDpi;
        UINT dpiY = kStandardDpi;
        if (ReportHResultFailure(list->dpiFunction_(monitor, kEffectiveDpi, &dpiX, &dpiY), "GetDpiForMonitor")) {
            scale.x = ScaleFromDpi(dpiX);
            scale.y = ScaleFromDpi(dpiY);
            dpi = dpiY;
        }
    }
    list->scales_[list->filled_] = scale;
    list->dpis_[list->filled_] = dpi;
    ++list->filled_;
    return TRUE;
}

int MonitorList::IndexAt(const POINT* point) const
{
    POINT where{};
    if (point) {
        where = *point;
    } else if (!ReportApiFailure(GetCursorPos(&where), "GetCursorPos")) {
        return -1;
    }
    return FindMonitorIndex(monitors_.data(), filled_, where);
}

UINT MonitorList::DpiAt(const POINT* point) const
{
    int index = IndexAt(point);
    return index < 0 ? kStandardDpi : dpis_[index];
}

int MonitorList::HeightAt(const POINT* point) const
{
    int index = IndexAt(point);
    if (index < 0) {
        return -1;
    }
    return monitors_[index].rcMonitor.bottom - monitors_[index].rcMonitor.top;
}

RECT MonitorList::RectangleAt(const POINT* point) const
{
    int index = IndexAt(point);
    if (index < 0) {
        return RECT{-1, -1, -1, -1};
    }
    return monitors_[index].rcMonitor;
}
