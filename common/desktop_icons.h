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

    // The list-view find block as the list view's process expects it: 40
    // bytes for a 64-bit process, 24 for a 32-bit one. Returns the size used.
    static int BuildFindBlock(unsigned char* block, ULONGLONG remoteName, bool sixtyFourBitLayout);

    // Whether the process that owns the list view is 64-bit, which decides
    // the find block's layout: Windows is 64-bit when the caller is 64-bit
    // or runs under WOW64, and there every process not under WOW64 is
    // 64-bit. Neither the caller's width nor Windows' alone tells: the
    // 32-bit programs on 64-bit Windows talk to 64-bit Explorer.
    static bool OwnerIsSixtyFourBit(bool callerIs64Bit, bool callerUnderWow64, bool ownerUnderWow64);
    // A block's address in the list view's process as the find block holds
    // it. A 32-bit caller's pointer is widened without sign: the block lies
    // below 4 GiB of the other process, not at the top of its space.
    static ULONGLONG RemoteAddress(UINT_PTR remote);

private:
    bool ConnectToListView();
    bool DesktopGone() const;
    int FindItem(const WString& archivePath);
    bool WriteName(const WString& name, const char* tag);
    bool ReadItemPosition(int index, POINT& position);

    bool recorded_ = false;
    int x_ = 0;
    int y_ = 0;
    HWND listView_ = nullptr;
    ScopedKernelHandle process_;
    void* remoteFind_ = nullptr;
    void* remoteName_ = nullptr;
    void* remotePoint_ = nullptr;
};
