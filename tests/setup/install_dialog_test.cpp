// The install dialog runs modally on the test's thread while a driver
// thread looks at it and presses its buttons, as a user would.
#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <thread>

#include "common/paths.h"
#include "common/settings.h"
#include "resources/setup_ids.h"
#include "setup/install.h"
#include "setup/install_dialog.h"
#include "setup/setup_test_support.h"
#include "support/private_settings.h"
#include "support/prompt_recorder.h"
#include "support/test_files.h"
#include "support/window_driver.h"

namespace {

bool Enabled(HWND dialog, int id) { return IsWindowEnabled(GetDlgItem(dialog, id)) != FALSE; }

// Runs the dialog; the driver gets the dialog once it shows and its OK text
// has been set (the file check ran), then presses what it likes.
INT_PTR RunDriven(CInstall& install, const std::function<void(HWND)>& driver)
{
    std::atomic<bool> done{false};
    std::thread thread([&] {
        HWND dialog = WaitForProcessDialog(GetCurrentProcessId());
        if (dialog) {
            Sleep(300);
            driver(dialog);
        } else {
            ADD_FAILURE() << "the install dialog did not show";
        }
        // A dialog still open after the driver is done fails the test
        // instead of waiting for ever.
        for (int i = 0; i < 100 && !done; ++i) {
            Sleep(100);
        }
        if (!done && dialog) {
            ADD_FAILURE() << "the install dialog stayed open";
            PostMessageW(dialog, WM_CLOSE, 0, 0);
        }
    });
    CInstallDialog dialog(install);
    INT_PTR result = dialog.Run();
    done = true;
    thread.join();
    return result;
}

class InstallDialogTest : public testing::Test {
protected:
    void SetUp() override
    {
        SeedShellClasses();
        folder = scratch / L"Zupako 2";
        MakeStandInInstallFolder(folder);
        startMenu = scratch / L"Zupako";
    }

    PrivateSettings settings;
    PromptRecorder prompts;
    ScratchFolder scratch;
    WString folder;
    WString startMenu;
};

TEST_F(InstallDialogTest, StartsReadyToInstallAndSwitchesToUninstall)
{
    CInstall install(folder, false, startMenu);
    std::wstring title, folderText, okText, uninstallText;
    bool ready = false, optionsOn = false, optionsOffAfterSwitch = false;
    INT_PTR result = RunDriven(install, [&](HWND d) {
        title = WindowTextOf(d);
        folderText = WindowTextOf(GetDlgItem(d, IDC_INSTALL_FOLDER));
        okText = WindowTextOf(GetDlgItem(d, IDC_INSTALL_OK));
        ready = Enabled(d, IDC_INSTALL_RADIO) && Enabled(d, IDC_UNINSTALL_RADIO) && Enabled(d, IDC_INSTALL_OK) &&
                IsDlgButtonChecked(d, IDC_INSTALL_RADIO) == BST_CHECKED;
        optionsOn = true;
        for (int id : {IDC_OPTION_MENU_DEFAULT, IDC_OPTION_OWN_ICONS, IDC_OPTION_DROP_HANDLER}) {
            optionsOn = optionsOn && Enabled(d, id) && IsDlgButtonChecked(d, id) == BST_CHECKED;
        }
        SendDlgItemMessageW(d, IDC_UNINSTALL_RADIO, BM_CLICK, 0, 0);
        uninstallText = WindowTextOf(GetDlgItem(d, IDC_INSTALL_OK));
        optionsOffAfterSwitch = !Enabled(d, IDC_OPTION_MENU_DEFAULT) && !Enabled(d, IDC_OPTION_DROP_HANDLER) &&
                                IsDlgButtonChecked(d, IDC_OPTION_OWN_ICONS) == BST_CHECKED;
        PressButton(d, IDC_INSTALL_CANCEL);
    });
    EXPECT_EQ(0, result);
    EXPECT_EQ(L"Zupako Ver.2.22 のインストール", title);
    EXPECT_EQ(std::wstring(folder.c_str()) + L"\\*", folderText);
    EXPECT_EQ(L"インストール", okText);
    EXPECT_EQ(L"アンインストール", uninstallText);
    EXPECT_TRUE(ready);
    EXPECT_TRUE(optionsOn);
    EXPECT_TRUE(optionsOffAfterSwitch);
    EXPECT_EQ(0u, prompts.Count());
    EXPECT_EQ(L"<missing>", RegText(kProductKey, L"InstallDir"));
}

TEST_F(InstallDialogTest, MissingFileIsNamedAndLeavesOnlyAboutAndCancel)
{
    DeleteFileW(JoinPath(folder, L"image\\new.png").c_str());
    CInstall install(folder, false, startMenu);
    prompts.Answer(IDOK);
    bool anyEnabled = true;
    INT_PTR result = RunDriven(install, [&](HWND d) {
        anyEnabled = false;
        for (int id : {IDC_INSTALL_RADIO, IDC_UNINSTALL_RADIO, IDC_INSTALL_OK, IDC_OPTION_MENU_DEFAULT,
                       IDC_OPTION_OWN_ICONS, IDC_OPTION_DROP_HANDLER}) {
            anyEnabled = anyEnabled || Enabled(d, id);
        }
        anyEnabled = anyEnabled || !Enabled(d, IDC_INSTALL_CANCEL) || !Enabled(d, IDC_INSTALL_ABOUT);
        // A press on the disabled OK button does nothing.
        PressButton(d, IDC_INSTALL_OK);
        Sleep(200);
        PressButton(d, IDC_INSTALL_CANCEL);
    });
    EXPECT_EQ(0, result);
    EXPECT_FALSE(anyEnabled);
    ASSERT_EQ(1u, prompts.Count());
    EXPECT_EQ(L"image\\new.png が存在しません", prompts.LastText());
    EXPECT_EQ(L"<missing>", RegText(kProductKey, L"InstallDir"));
}

TEST_F(InstallDialogTest, OkInstallsThenTellsAndUninstallRemoves)
{
    CInstall install(folder, false, startMenu);
    prompts.Answer(IDOK);
    INT_PTR result = RunDriven(install, [&](HWND d) {
        SendDlgItemMessageW(d, IDC_OPTION_OWN_ICONS, BM_CLICK, 0, 0);
        PressButton(d, IDC_INSTALL_OK);
    });
    EXPECT_EQ(1, result);
    ASSERT_EQ(1u, prompts.Count());
    EXPECT_EQ(L"インストールが完了しました", prompts.LastText());
    EXPECT_EQ(L"menu", RegText(L"Software\\Classes\\ZupakoTest.zip\\shell"));
    EXPECT_FALSE(RegKeyExists(L"Software\\Classes\\ZupakoTest.zip\\DefaultIcon"));
    EXPECT_EQ(0, ProductNumber(L"IconChange"));

    prompts.Answer(IDOK);
    result = RunDriven(install, [&](HWND d) {
        SendDlgItemMessageW(d, IDC_UNINSTALL_RADIO, BM_CLICK, 0, 0);
        PressButton(d, IDC_INSTALL_OK);
    });
    EXPECT_EQ(1, result);
    ASSERT_EQ(2u, prompts.Count());
    EXPECT_EQ(L"アンインストールが完了しました", prompts.LastText());
    EXPECT_EQ(L"<missing>", RegText(kProductKey, L"InstallDir"));
    EXPECT_FALSE(RegKeyExists(L"Software\\Classes\\ZupakoTest.zip\\shell\\menu"));
}

TEST_F(InstallDialogTest, EmptyClassIsToldBeforeTheCompletion)
{
    RegDeleteKeyW(HKEY_CURRENT_USER, L"Software\\Classes\\.cab");
    CInstall install(folder, false, startMenu);
    prompts.Answer(IDOK);
    prompts.Answer(IDOK);
    RunDriven(install, [&](HWND d) { PressButton(d, IDC_INSTALL_OK); });
    ASSERT_EQ(2u, prompts.Count());
    EXPECT_NE(std::wstring::npos, prompts.Prompts()[0].text.find(L"*.cab"));
    EXPECT_EQ(L"インストールが完了しました", prompts.LastText());
}

class Refuser : public RegistryObserver {
public:
    Refuser() : previous_(SetRegistryObserver(this)) {}
    ~Refuser() override { SetRegistryObserver(previous_); }
    bool Touch(const RegistryTouch& touch) override { return touch.key != L".cab\\ShellNew"; }

private:
    RegistryObserver* previous_;
};

TEST_F(InstallDialogTest, FailedWriteOrRemovalIsReportedInsteadOfTheCompletion)
{
    Refuser refuser;
    CInstall install(folder, false, startMenu);
    prompts.Answer(IDOK);
    RunDriven(install, [&](HWND d) { PressButton(d, IDC_INSTALL_OK); });
    ASSERT_EQ(1u, prompts.Count());
    EXPECT_EQ(static_cast<UINT>(MB_ICONERROR), prompts.Prompts()[0].icon);
    EXPECT_NE(std::wstring::npos, prompts.LastText().find(L".cab\\ShellNew")) << Utf8(prompts.LastText());

    prompts.Answer(IDOK);
    RunDriven(install, [&](HWND d) {
        SendDlgItemMessageW(d, IDC_UNINSTALL_RADIO, BM_CLICK, 0, 0);
        PressButton(d, IDC_INSTALL_OK);
    });
    ASSERT_EQ(2u, prompts.Count());
    EXPECT_EQ(static_cast<UINT>(MB_ICONERROR), prompts.Prompts()[1].icon);
    EXPECT_EQ(L"アンインストールできなかった項目があります\n.cab\\ShellNew\n", prompts.LastText());
}

}  // namespace
