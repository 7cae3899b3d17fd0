// Tests that need a second process start their own program again in a
// "child role": a named function registered by the test file, run instead
// of the tests, whose return value becomes the exit code.
#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

#include "common/handles.h"
#include "common/wstring.h"

using ChildRole = std::function<int(const std::vector<std::wstring>& arguments)>;

// Registers a role at static initialisation; returns a dummy for that use.
bool RegisterChildRole(const std::wstring& name, ChildRole role);

// Runs a registered role when the command line asks for one; -1 otherwise.
int RunChildRoleIfAsked(int argc, wchar_t** argv);

class ChildProcess {
public:
    // Starts this program (or another test program built from the same
    // sources, such as its other width) in the given role with the arguments.
    ChildProcess(const std::wstring& role, const std::vector<std::wstring>& arguments,
                 const std::wstring& program = std::wstring());
    ~ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;
    bool Started() const { return process_ != nullptr; }
    DWORD ProcessId() const { return processId_; }
    // The exit code, or -1 when the child did not end in time.
    int Wait(DWORD milliseconds = 30000);

private:
    HANDLE process_ = nullptr;
    DWORD processId_ = 0;
};

// Another program started from a whole command line, as the shell starts
// it; ended when the object ends and the program still runs.
class StartedProgram {
public:
    // folder: the working folder, or empty for this process's own.
    explicit StartedProgram(const std::wstring& commandLine, const std::wstring& folder = std::wstring());
    ~StartedProgram();
    StartedProgram(const StartedProgram&) = delete;
    StartedProgram& operator=(const StartedProgram&) = delete;
    bool Started() const { return static_cast<bool>(process_); }
    DWORD Id() const { return id_; }
    // The exit code, or -1 when the program did not end in time.
    int Wait(DWORD milliseconds = 60000);

private:
    ScopedKernelHandle process_;
    DWORD id_ = 0;
};
