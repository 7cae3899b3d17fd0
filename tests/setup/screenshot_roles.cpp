// Roles that show the setup program's windows as a user sees them, for the
// screenshot script (tools/screenshots/setup.sh). Each role works in a
// private hive and a scratch install folder, prints "SHOT <name>" when a
// picture should be taken and waits a moment before going on.
#include <windows.h>

#include <cstdio>
#include <thread>

#include "common/messages.h"
#include "common/paths.h"
#include "resources/setup_ids.h"
#include "setup/class_registry.h"
#include "setup/install.h"
#include "setup/install_dialog.h"
#include "setup/settings_dialog.h"
#include "setup/setup_test_support.h"
#include "support/child_process.h"
#include "support/private_settings.h"
#include "support/test_files.h"
#include "support/window_driver.h"

namespace {

void Shot(const char* name)
{
    printf("SHOT %s\n", name);
    Sleep(2500);
}

// Each registry write takes a little while, so that the progress window
// stays long enough to be seen.
class SlowRegistry : public RegistryObserver {
public:
    SlowRegistry() : previous_(SetRegistryObserver(this)) {}
    ~SlowRegistry() override { SetRegistryObserver(previous_); }
    bool Touch(const RegistryTouch&) override
    {
        Sleep(120);
        return true;
    }

private:
    RegistryObserver* previous_;
};

int ShowInstall(const std::vector<std::wstring>&)
{
    OleInitialize(nullptr);
    PrivateSettings settings;
    SeedShellClasses();
    // The real boxes, answered below.
    SetPromptHandler(nullptr);
    ScratchFolder scratch;
    WString folder = scratch / L"Zupako";
    MakeStandInInstallFolder(folder);
    CInstall install(folder, false, scratch / L"スタートメニュー");
    SlowRegistry slow;
    std::thread driver([] {
        HWND dialog = WaitForProcessDialog(GetCurrentProcessId());
        if (!dialog) {
            return;
        }
        Sleep(500);
        Shot("install-dialog");
        SendDlgItemMessageW(dialog, IDC_UNINSTALL_RADIO, BM_CLICK, 0, 0);
        Shot("uninstall-dialog");
        SendDlgItemMessageW(dialog, IDC_INSTALL_RADIO, BM_CLICK, 0, 0);
        PressButton(dialog, IDC_INSTALL_OK);
        Sleep(1200);
        Shot("install-progress");
        HWND box = WaitForTopLevelWindow(L"#32770", L"Zupako", 30000);
        if (box) {
            Sleep(300);
            Shot("install-complete");
            PressButton(box, IDOK);
        }
    });
    CInstallDialog dialog(install);
    dialog.Run();
    driver.join();
    OleUninitialize();
    return 0;
}

int ShowSettings(const std::vector<std::wstring>&)
{
    PrivateSettings settings;
    SeedShellClasses();
    settings.SetText(L"InstallDir", L"C:\\Zupako");
    settings.SetText(L"ArcCommand", L"\"C:\\Program Files\\Archiver\\arc.exe\" \"%l\"");
    CSettingsDialog dialog;
    std::thread driver([&dialog] {
        HWND d = dialog.Window();
        Sleep(800);
        SendDlgItemMessageW(d, IDC_ACT_EXPLORER, BM_CLICK, 0, 0);
        Shot("settings-explorer");
        SendDlgItemMessageW(d, IDC_ACT_ARCHIVER, BM_CLICK, 0, 0);
        Shot("settings-archiver");
        SendDlgItemMessageW(d, IDC_ACT_EXTRACT, BM_CLICK, 0, 0);
        SendDlgItemMessageW(d, IDC_CAB_LZX, BM_CLICK, 0, 0);
        SendDlgItemMessageW(d, IDC_UNIT_LARGE_ALONE, BM_CLICK, 0, 0);
        SetDlgItemTextW(d, IDC_UNIT_SIZE, L"1048575");
        Shot("settings-extract");
        PostMessageW(d, WM_COMMAND, IDC_SETTINGS_CANCEL, 0);
    });
    dialog.Show();
    driver.join();
    return 0;
}

const bool kRegistered = RegisterChildRole(L"show-install", ShowInstall) &&
                         RegisterChildRole(L"show-settings", ShowSettings);

}  // namespace
