// Install and uninstall: the shell registration of the current user, the
// product key and the Start-menu shortcuts, all pointing at the folder the
// program files were unpacked to.
#pragma once

#include <windows.h>
#include <cstdint>

#include "common/wstring.h"
#include "setup/shell_options.h"

class ProgressWindow;

// The files that must lie in the install folder, in the order they are
// checked.
extern const wchar_t* const kInstallFiles[20];
// The empty cabinet that the shell's New menu writes.
extern const uint8_t kEmptyCabinet[36];

// The Start-menu folder of the product for the current user.
WString ProductStartMenuFolder();

class CInstall {
public:
    // windows64: the shell is 64-bit, so the drop handler's class goes into
    // both registry views.
    CInstall(const WString& installFolder, bool windows64, const WString& startMenuFolder);

    // The relative path of the first missing program file; empty when all
    // are there.
    WString FirstMissingFile() const;
    // progress may be null. False when an entry could not be written or
    // removed (one that was not there counts as removed); FailedItems names
    // them, one a line.
    bool Install(const ShellOptions& options, ProgressWindow* progress);
    bool Uninstall(ProgressWindow* progress);

    const WString& InstallFolder() const { return installFolder_; }
    const ShellClasses& Classes() const { return classes_; }
    const WString& FailedItems() const { return failed_; }

private:
    void Step(ProgressWindow* progress, int percent);
    void Need(bool done, const WString& item);
    // Deletes one key of the user's classes; failing unless it is gone.
    void RemoveKey(const WString& key);
    void WriteShellNew();
    void RemoveHandlerClass();
    void WriteHandlerClass(const WString& library);
    void RemoveMenuVerb(const WString& className);
    void RemoveOwnIcon(const WString& className);
    void WriteCompressVerb(const wchar_t* verb, const wchar_t* text, const wchar_t* argument);
    void RemoveCompressVerb(const wchar_t* verb);
    void RemoveEmptyParents();
    void WriteShortcuts();
    void RemoveShortcuts();
    void WriteProductKey();
    void RemoveProductKey();
    WString ProgramPath(const wchar_t* name) const;

    WString installFolder_;
    bool windows64_;
    WString startMenuFolder_;
    ShellClasses classes_;
    ClassRegistry registry_;
    WString failed_;
};
