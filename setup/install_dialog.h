// The install dialog (110): install or uninstall with three options, after
// the program files were found in the install folder.
#pragma once

#include <windows.h>

#include "common/handles.h"
#include "common/wstring.h"
#include "setup/install.h"

class CInstallDialog {
public:
    explicit CInstallDialog(CInstall& install) : install_(install) {}
    // Shows the dialog modally; 1 after an install or uninstall, 0 when
    // cancelled.
    INT_PTR Run();

private:
    static INT_PTR CALLBACK DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    void OnInitDialog();
    void CheckFiles();
    void OnCommand(int id);
    INT_PTR OnColorStatic(HDC dc, HWND control);
    void SelectInstall(bool install);
    void Execute();
    WString Title() const;

    CInstall& install_;
    HWND window_ = nullptr;
    ScopedIcon smallIcon_;
};

// The install verb: the install folder is the program's own.
void RunInstallDialog(const WString& programFolder);
