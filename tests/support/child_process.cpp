#include "support/child_process.h"

#include <map>

#include "common/paths.h"

namespace {

std::map<std::wstring, ChildRole>& Roles()
{
    static std::map<std::wstring, ChildRole> roles;
    return roles;
}

const wchar_t kRoleSwitch[] = L"--zpk-child-role=";

}  // namespace

bool RegisterChildRole(const std::wstring& name, ChildRole role)
{
    Roles()[name] = std::move(role);
    return true;
}

int RunChildRoleIfAsked(int argc, wchar_t** argv)
{
    if (argc < 2 || wcsncmp(argv[1], kRoleSwitch, wcslen(kRoleSwitch)) != 0) {
        return -1;
    }
    std::wstring name = argv[1] + wcslen(kRoleSwitch);
    auto found = Roles().find(name);
    if (found == Roles().end()) {
        return 99;
    }
    std::vector<std::wstring> arguments(argv + 2, argv + argc);
    return found->second(arguments);
}

ChildProcess::ChildProcess(const std::wstring& role, const std::vector<std::wstring>& arguments,
                           const std::wstring& program)
{
    wchar_t self[MAX_PATH];
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    if (!program.empty()) {
        wcsncpy(self, program.c_str(), MAX_PATH - 1);
        self[MAX_PATH - 1] = L'\0';
    }
    std::wstring line = L"\"" + std::wstring(self) + L"\" " + kRoleSwitch + role;
    for (const auto& argument : arguments) {
        line += L" \"" + argument + L"\"";
    }
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info{};
    std::vector<wchar_t> buffer(line.begin(), line.end());
    buffer.push_back(L'\0');
    if (CreateProcessW(self, buffer.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &info)) {
        CloseHandle(info.hThread);
        process_ = info.hProcess;
        processId_ = info.dwProcessId;
    }
}

ChildProcess::~ChildProcess()
{
    if (process_) {
        if (WaitForSingleObject(process_, 0) == WAIT_TIMEOUT) {
            TerminateProcess(process_, 1);
        }
        CloseHandle(process_);
    }
}

int ChildProcess::Wait(DWORD milliseconds)
{
    if (!process_ || WaitForSingleObject(process_, milliseconds) != WAIT_OBJECT_0) {
        return -1;
    }
    DWORD code = 0;
    GetExitCodeProcess(process_, &code);
    return static_cast<int>(code);
}

StartedProgram::StartedProgram(const std::wstring& commandLine, const std::wstring& folder)
{
    std::vector<wchar_t> buffer(commandLine.begin(), commandLine.end());
    buffer.push_back(L'\0');
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info{};
    if (CreateProcessW(nullptr, buffer.data(), nullptr, nullptr, FALSE, 0, nullptr,
                       folder.empty() ? nullptr : folder.c_str(), &startup, &info)) {
        CloseHandle(info.hThread);
        process_.Reset(info.hProcess);
        id_ = info.dwProcessId;
    }
}

StartedProgram::~StartedProgram()
{
    if (process_ && WaitForSingleObject(process_.Get(), 0) == WAIT_TIMEOUT) {
        TerminateProcess(process_.Get(), 99);
    }
}

int StartedProgram::Wait(DWORD milliseconds)
{
    if (!process_ || WaitForSingleObject(process_.Get(), milliseconds) != WAIT_OBJECT_0) {
        return -1;
    }
    DWORD code = 0;
    GetExitCodeProcess(process_.Get(), &code);
    return static_cast<int>(code);
}
