// Keeps a file's desktop icon where it was across the file's replacement.
#pragma once

#include <windows.h>

#include "common/handles.h"
#include "common/wstring.h"

// Records the desktop icon position of a file that is about to be replaced
// and puts the icon back there afterwards. Construct it on the archive path
// before the old file goes, Restore once the new file has its name.
class DesktopIconKeeper {
public:
    explicit DesktopIconKeeper(const WString& archivePath);
    ~DesktopIconKeeper();
    DesktopIconKeeper(const DesktopIconKeeper&) = delete;
    DesktopIconKeeper& operator=(const DesktopIconKeeper&) = delete;

    // False when nothing was recorded or the item cannot be found for moving.
    bool Restore(const WString& archivePath);
    bool Recorded() const { return recorded_; }
    POINT RecordedPosition() const { return POINT{x_, y_}; }

private:
    bool recorded_ = false;
    int x_ = 0;
    int y_ = 0;
};
