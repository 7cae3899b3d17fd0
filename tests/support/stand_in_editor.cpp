#include "support/stand_in_editor.h"

#include <windows.h>

#include <vector>

#include "support/child_process.h"
#include "support/test_files.h"

namespace {

int EditAsTold(const std::vector<std::wstring>& arguments)
{
    WString path(arguments.at(0).c_str());
    Bytes bytes = ReadFileBytes(path);
    std::string text(bytes.begin(), bytes.end());
    std::string command = text.substr(0, text.find('\n'));
    Sleep(300);
    if (command == "vanish") {
        return DeleteFileW(path.c_str()) ? 0 : 2;
    }
    if (command == "same") {
        return WriteFileBytes(path, bytes) ? 0 : 2;
    }
    if (command.rfind("swap|", 0) == 0) {
        size_t bar = command.find('|', 5);
        WString from = WString::FromUtf8(command.substr(5, bar - 5).c_str());
        WString to = WString::FromUtf8(command.substr(bar + 1).c_str());
        if (!CopyFileW(from.c_str(), to.c_str(), FALSE)) {
            return 3;
        }
    }
    return WriteFileText(path, text + "edited\n") ? 0 : 2;
}

const bool kEditorRegistered = RegisterChildRole(L"editor", EditAsTold);

}  // namespace

StandInEditor::StandInEditor(const std::wstring& extension)
    : extension_(extension.empty() ? L".zt" + std::to_wstring(GetCurrentProcessId()) : extension),
      progId_(L"ZupakoTestEditor" + std::to_wstring(GetCurrentProcessId()))
{
    wchar_t self[MAX_PATH];
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    std::wstring command = L"\"" + std::wstring(self) + L"\" --zpk-child-role=editor \"%1\"";
    RegSetValueW(HKEY_CLASSES_ROOT, extension_.c_str(), REG_SZ, progId_.c_str(),
                 static_cast<DWORD>(progId_.size() * sizeof(wchar_t)));
    RegSetValueW(HKEY_CLASSES_ROOT, (progId_ + L"\\shell\\open\\command").c_str(), REG_SZ, command.c_str(),
                 static_cast<DWORD>(command.size() * sizeof(wchar_t)));
}

StandInEditor::~StandInEditor()
{
    RegDeleteTreeW(HKEY_CLASSES_ROOT, extension_.c_str());
    RegDeleteTreeW(HKEY_CLASSES_ROOT, progId_.c_str());
}
