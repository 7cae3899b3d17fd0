#include "support/stand_in_editor.h"

#include <windows.h>

#include <vector>

#include "support/child_process.h"
#include "support/test_files.h"

namespace {

// Longer than the viewer takes for a program that handed the file on.
const DWORD kEditingTime = 2500;
const DWORD kSignalWait = 30000;

// Starts this program in a role; it lives on after this process ends.
bool StartDetached(const std::wstring& role, const std::vector<std::wstring>& arguments)
{
    wchar_t self[MAX_PATH];
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    std::wstring line = L"\"" + std::wstring(self) + L"\" --zpk-child-role=" + role;
    for (const std::wstring& argument : arguments) {
        line += L" \"" + argument + L"\"";
    }
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION started{};
    if (!CreateProcessW(self, &line[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &started)) {
        return false;
    }
    // Only the handles go.
    ScopedKernelHandle process(started.hProcess);
    ScopedKernelHandle thread(started.hThread);
    return true;
}

int EditAsTold(const std::vector<std::wstring>& arguments)
{
    WString path(arguments.at(0).c_str());
    Bytes bytes = ReadFileBytes(path);
    std::string text(bytes.begin(), bytes.end());
    std::string command = text.substr(0, text.find('\n'));
    Sleep(300);
    if (command == "vanish") {
        Sleep(kEditingTime);
        return DeleteFileW(path.c_str()) ? 0 : 2;
    }
    if (command == "same") {
        Sleep(kEditingTime);
        return WriteFileBytes(path, bytes) ? 0 : 2;
    }
    if (command.rfind("signal|", 0) == 0) {
        WString name = WString::FromUtf8(command.substr(7).c_str());
        ScopedKernelHandle event(OpenEventW(SYNCHRONIZE, FALSE, name.c_str()));
        if (!event || WaitForSingleObject(event.Get(), kSignalWait) != WAIT_OBJECT_0) {
            return 4;
        }
    }
    if (command.rfind("swap|", 0) == 0) {
        size_t bar = command.find('|', 5);
        WString from = WString::FromUtf8(command.substr(5, bar - 5).c_str());
        WString to = WString::FromUtf8(command.substr(bar + 1).c_str());
        if (!CopyFileW(from.c_str(), to.c_str(), FALSE)) {
            return 3;
        }
    }
    if (!WriteFileText(path, text + "edited\n")) {
        return 2;
    }
    if (command.rfind("keep|", 0) == 0) {
        std::wstring name = WString::FromUtf8(command.substr(5).c_str()).c_str();
        ScopedKernelHandle saved(OpenEventW(EVENT_MODIFY_STATE, FALSE, (name + L"_saved").c_str()));
        ScopedKernelHandle close(OpenEventW(SYNCHRONIZE, FALSE, name.c_str()));
        if (!saved || !close || !SetEvent(saved.Get()) || WaitForSingleObject(close.Get(), kSignalWait) != WAIT_OBJECT_0) {
            return 6;
        }
    }
    if (command.rfind("hold|", 0) == 0) {
        // Long enough not to count as a program that handed the file on.
        Sleep(kEditingTime);
        std::wstring mode = WString::FromUtf8(command.substr(5, 1).c_str()).c_str();
        std::wstring release = WString::FromUtf8(command.substr(7).c_str()).c_str();
        // The holder says when it has the file open; only then does the
        // editor end, so the viewer meets the file held.
        std::wstring opened = release + L"_open";
        ScopedKernelHandle openedEvent(CreateEventW(nullptr, TRUE, FALSE, opened.c_str()));
        if (!StartDetached(L"holder", {path.c_str(), mode, release, opened}) ||
            WaitForSingleObject(openedEvent.Get(), kSignalWait) != WAIT_OBJECT_0) {
            return 5;
        }
    }
    return 0;
}

const bool kEditorRegistered = RegisterChildRole(L"editor", EditAsTold);

// Holds a file open for writing until an event is set.
int Hold(const std::vector<std::wstring>& arguments)
{
    DWORD share = arguments.at(1) == L"r" ? FILE_SHARE_READ | FILE_SHARE_WRITE : 0;
    ScopedFile file(CreateFileW(arguments.at(0).c_str(), GENERIC_READ | GENERIC_WRITE, share, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
    ScopedKernelHandle release(CreateEventW(nullptr, TRUE, FALSE, arguments.at(2).c_str()));
    ScopedKernelHandle opened(OpenEventW(EVENT_MODIFY_STATE, FALSE, arguments.at(3).c_str()));
    if (!file || !release || !opened) {
        return 2;
    }
    SetEvent(opened.Get());
    return WaitForSingleObject(release.Get(), kSignalWait) == WAIT_OBJECT_0 ? 0 : 3;
}

const bool kHolderRegistered = RegisterChildRole(L"holder", Hold);

// Starts the editor with the file and ends without waiting for it.
int Launch(const std::vector<std::wstring>& arguments) { return StartDetached(L"editor", {arguments.at(0)}) ? 0 : 2; }

const bool kLauncherRegistered = RegisterChildRole(L"launcher", Launch);

// Longer than the viewer's limit for a program that hands the file on.
const DWORD kSlowLaunch = 3500;

int LaunchSlowly(const std::vector<std::wstring>& arguments)
{
    int result = Launch(arguments);
    Sleep(kSlowLaunch);
    return result;
}

const bool kSlowLauncherRegistered = RegisterChildRole(L"slow-launcher", LaunchSlowly);

}  // namespace

StandInEditor::StandInEditor(const std::wstring& extension, const std::wstring& role)
    : extension_(extension.empty() ? L".zt" + std::to_wstring(GetCurrentProcessId()) : extension),
      progId_(L"ZupakoTest" + role + std::to_wstring(GetCurrentProcessId()))
{
    wchar_t self[MAX_PATH];
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    std::wstring command = L"\"" + std::wstring(self) + L"\" --zpk-child-role=" + role + L" \"%1\"";
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
