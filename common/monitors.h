// The monitors of the desktop: rectangles, work areas and scale.
#pragma once

#include <windows.h>
#include <vector>

#include "common/handles.h"

// The first of count monitors whose rectangle holds the point, edges
// included, so that a point on a shared edge belongs to the earlier one.
// -1 when none holds it.
int FindMonitorIndex(const MONITORINFOEXW* monitors, int count, POINT point);

// A percentage of the standard 96 dots per inch, truncated (144 gives 150).
int ScaleFromDpi(UINT dpi);

class MonitorList {
public:
    // The signature of Shcore's GetDpiForMonitor.
    using DpiFunction = HRESULT(WINAPI*)(HMONITOR monitor, int dpiType, UINT* dpiX, UINT* dpiY);

    MonitorList();
    // Uses the given DPI function instead of Shcore's; null means none.
    explicit MonitorList(DpiFunction dpiFunction);
    ~MonitorList();
    MonitorList(const MonitorList&) = delete;
    MonitorList& operator=(const MonitorList&) = delete;

    int Count() const { return filled_; }
    // The first monitor whose rectangle holds the point (edges included);
    // without a point, the cursor position. -1 when none holds it.
    int IndexAt(const POINT* point = nullptr) const;
    int HeightAt(const POINT* point = nullptr) const;
    RECT RectangleAt(const POINT* point = nullptr) const;
    const MONITORINFOEXW& Monitor(int index) const { return monitors_[index]; }
    // Horizontal and vertical scale in percent.
    POINT Scale(int index) const { return scales_[index]; }
    // The vertical DPI, which sizes fonts, icons and menu items.
    UINT Dpi(int index) const { return dpis_[index]; }
    // The DPI of the monitor under the point (or the cursor); 96 when none
    // holds it.
    UINT DpiAt(const POINT* point = nullptr) const;
    const RECT& UnionOfMonitors() const { return unionMonitors_; }
    const RECT& UnionOfWorkAreas() const { return unionWorkAreas_; }

private:
    void Fill();
    static BOOL CALLBACK AddMonitor(HMONITOR monitor, HDC, LPRECT, LPARAM list);

    int count_ = 0;
    std::vector<MONITORINFOEXW> monitors_;
    std::vector<POINT> scales_;
    std::vector<UINT> dpis_;
    int filled_ = 0;
    RECT unionMonitors_{0, 0, 0, 0};
    RECT unionWorkAreas_{0, 0, 0, 0};
    ScopedModule scaling_;
    DpiFunction dpiFunction_ = nullptr;
};
