#include "shellext/install_registration.h"

#include "common/paths.h"
#include "setup/install.h"

std::wstring HandlerClassIdText() { return kHandlerClassId; }

std::wstring InstallForFolder(const std::wstring& folder)
{
    WString installFolder(folder.c_str());
    WString startMenu = JoinPath(installFolder, WString(L"スタート\\Zupako"));
    CreateDirectoryTree(ParentDir(startMenu), false);
    CInstall install(installFolder, sizeof(void*) == 8, startMenu);
    if (install.Install(ShellOptions{true, true, true}, nullptr)) {
        return std::wstring();
    }
    return install.FailedItems().c_str();
}
