// The settings dialog (120): every stored setting of the product and the
// three shell options. The "set" verb shows it; install fills it hidden with
// the install-time preset and writes it.
#pragma once

#include <windows.h>

#include "common/handles.h"
#include "common/registry.h"
#include "common/settings.h"
#include "common/wstring.h"
#include "setup/shell_options.h"

// The read-out of a unit size: "1023kByte", "1MByte", "error" below zero.
WString UnitSizeText(int bytes);
// The unit size typed into the dialog: -1 for text that is not a decimal
// number; overflow is set when the number reaches 2147483647.
int ParseUnitSize(const WString& text, bool& overflow);
// The archiver command that a program dropped on the empty command field
// gives: the quoted program and a quoted %l.
WString CommandForDroppedProgram(const WString& program);

class CSettingsDialog {
public:
    // Reads the stored settings and the shell registration and fills the
    // dialog, which stays hidden.
    CSettingsDialog();
    ~CSettingsDialog();
    CSettingsDialog(const CSettingsDialog&) = delete;
    CSettingsDialog& operator=(const CSettingsDialog&) = delete;

    HWND Window() const { return window_.Get(); }
    void ApplyInstallPreset(const ShellOptions& options);
    void ApplyRecommendedPreset();
    // Checks the controls, writes the shell options and the stored values;
    // with the flag, closes with a message. False when something was refused
    // or a write failed.
    bool Write(bool showClosingMessage);
    // Makes the dialog visible and runs until it is closed.
    void Show();

private:
    static INT_PTR CALLBACK DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    static LRESULT CALLBACK CommandFieldProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam,
                                             UINT_PTR id, DWORD_PTR data);

    void OnInitDialog();
    void OnCommand(int id, int code);
    void OnDropFiles(HDROP drop);
    void FillControls(const StoredSettings& stored, const ShellOptions& options);
    void UpdateEnabling();
    void UpdateSizeText();
    void BrowseExtractFolder();
    void Close();
    bool WriteStoredValues(int action, const WString& command, int unitType, int unitSize, bool sizeValid);

    ScopedWindow window_;
    ScopedIcon smallIcon_;
    ShellClasses classes_;
    WString installFolder_;
    bool subclassed_ = false;
};

// The "set" verb: refuses before an install, as the registration would
// point at no program.
void RunSettingsVerb();
