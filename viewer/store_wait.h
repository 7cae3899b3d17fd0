// The window that keeps an edit that went to a program that was already
// running. Such a program gets the file and the process the viewer started
// ends at once, so the end of that process says nothing about the end of the
// edit: the user says it instead, with 格納 (store) or 破棄 (discard).
#pragma once

#include <windows.h>

#include <functional>

#include "archive/work_copies.h"
#include "common/handles.h"
#include "common/wstring.h"

// A started program that ends sooner than this (2 s) handed the file on (to
// a program already running, or through a launcher) rather than editing it.
ULONGLONG QuickEditorMilliseconds();

// Whether to keep the store window after the opened program ended: when no
// process was started or it ended quickly, and the copy is still unchanged.
// A changed copy goes straight to the usual question.
bool WaitsForStoreButton(bool startedProcess, ULONGLONG editorMilliseconds, bool copyChanged);

// Top-left corner of the window in the bottom right of a work area, where it
// covers least of the editor; kept inside the area when it does not fit.
POINT StoreWindowPosition(const RECT& workArea, SIZE window);

enum StoreWaitResult {
    kStoreEdit = 1,
    kDiscardEdit = 2,
};

// The question before a changed copy is thrown away; it names the file,
// and its default answer keeps the edit.
WString DiscardQuestion(const WString& fileName);
bool ConfirmDiscard(const WString& fileName, HWND owner);

class CStoreWaitWindow {
public:
    // copyState is the same check as after an editor's end: whether the copy
    // now differs from the entry, or cannot be read to tell.
    CStoreWaitWindow(const WString& copy, std::function<CopyState()> copyState);
    CStoreWaitWindow(const CStoreWaitWindow&) = delete;
    CStoreWaitWindow& operator=(const CStoreWaitWindow&) = delete;

    // Shows the window until the user decides. kStoreEdit when the copy was
    // changed at that moment, or could not be read; kDiscardEdit when there
    // was nothing to store, or the user confirmed throwing the edit away.
    StoreWaitResult Run();

private:
    static INT_PTR CALLBACK DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    void OnInitDialog();
    void OnCommand(int id);
    void OnTimer();
    void OnClose();
    void OnDestroy();
    void Place();
    void Refresh();

    // Whether there is, or may be, an edit to store.
    bool MayHoldEdit();

    WString copy_;
    std::function<CopyState()> copyState_;
    HWND window_ = nullptr;
    ScopedChangeNotification watch_;
    ScopedIcon smallIcon_;
};
