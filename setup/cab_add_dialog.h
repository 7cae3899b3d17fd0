// Dialog 130: the user drops files and folders onto it to add them to a
// cabinet, at the top level or under a folder picked from the folder menu.
#pragma once

#include <windows.h>
#include <oleidl.h>

#include "common/handles.h"
#include "common/wstring.h"

class CDropTarget;

class CabAddDialog {
public:
    explicit CabAddDialog(const WString& cabinetPath);
    ~CabAddDialog();
    CabAddDialog(const CabAddDialog&) = delete;
    CabAddDialog& operator=(const CabAddDialog&) = delete;

    // Creates the dialog without owner and shows it; false when it could
    // not be made.
    bool Create();
    // Dispatches messages until the dialog has closed; returns its result:
    // 1 when files were added, 0 otherwise.
    int RunUntilClosed();

    HWND Window() const { return window_; }
    IDropTarget* DropTarget() const;
    bool IsClosed() const { return closed_; }
    int Result() const { return result_; }

private:
    static INT_PTR CALLBACK Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    static LRESULT CALLBACK DropAreaProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam,
                                              UINT_PTR id, DWORD_PTR data);
    void OnInit(HWND window);
    // The cabinet's path, shortened to the width of its field.
    void ShowCabinetName();
    void OnChooseFolder();
    void OnDropFiles();
    INT_PTR OnStaticColor(HDC dc, HWND control);
    void OnDestroy();
    void Close(int result);

    WString cabinetPath_;
    HWND window_ = nullptr;
    ComPtr<CDropTarget> target_;
    int result_ = 0;
    bool closed_ = false;
};

// The "add" verb: shows the dialog for the cabinet and returns its result.
// OLE must be initialised on the calling thread.
int RunCabAddDialog(const WString& cabinetPath);
