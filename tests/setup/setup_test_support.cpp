#include "setup/setup_test_support.h"

#include "common/paths.h"
#include "common/settings.h"
#include "setup/install.h"
#include "support/test_files.h"
#include "support/prompt_recorder.h"

void SeedText(const WString& key, const wchar_t* name, const WString& value)
{
    RegKey seeded(HKEY_CURRENT_USER, key, KEY_ALL_ACCESS, true);
    seeded.WriteText(name, value);
}

void SeedShellClasses()
{
    SeedText(L"Software\\Classes\\.zip", nullptr, kTestZipClass);
    SeedText(L"Software\\Classes\\.cab", nullptr, kTestCabClass);
}

std::wstring RegText(const WString& key, const wchar_t* name)
{
    RegKey opened(HKEY_CURRENT_USER, key, KEY_READ);
    WString value;
    if (!opened.IsOpen() || !opened.ReadText(name, value)) {
        return L"<missing>";
    }
    return value.c_str();
}

bool RegKeyExists(const WString& key)
{
    RegKey opened(HKEY_CURRENT_USER, key, KEY_READ);
    return opened.IsOpen();
}

long long ProductNumber(const wchar_t* name)
{
    RegKey opened(HKEY_CURRENT_USER, WString(kProductKey), KEY_READ);
    DWORD value = 0;
    if (!opened.IsOpen() || !opened.ReadNumber(name, value)) {
        return -1;
    }
    return value;
}

std::string Narrow(const WString& text) { return Utf8(text.c_str()); }

void MakeStandInInstallFolder(const WString& folder)
{
    CreateDirectoryTree(folder + L"\\image", true);
    for (const wchar_t* file : kInstallFiles) {
        WriteFileText(JoinPath(folder, file), "stand-in");
    }
}
