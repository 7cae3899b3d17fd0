// The monitors of the desktop: rectangles, work areas and scale.
#pragma once

#include <windows.h>

#include "common/handles.h"

class MonitorList {
public:
    MonitorList();
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
    const RECT& UnionOfMonitors() const { return unionMonitors_; }
    const RECT& UnionOfWorkAreas() const { return unionWorkAreas_; }
};
