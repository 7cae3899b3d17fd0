// The main program of every test executable: a private temporary folder, a
// guard against unexpected message boxes, and a watchdog that ends the
// program when one test case runs too long, naming it.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <string>
#include <thread>

#include "common/paths.h"
#include "support/child_process.h"
#include "support/prompt_recorder.h"
#include "support/test_files.h"

namespace {

// The test case running now, for the watchdog and the crash report.
std::mutex g_currentMutex;
std::string g_current;

std::string CurrentTest()
{
    std::lock_guard<std::mutex> lock(g_currentMutex);
    return g_current.empty() ? std::string("(between tests)") : g_current;
}

// Under Wine a crash would otherwise end the program silently; the report
// names the test case, the exception and where it happened.
LONG WINAPI ReportCrash(EXCEPTION_POINTERS* info)
{
    fprintf(stderr, "\n*** CRASH in %s: exception 0x%08lx at %p\n", CurrentTest().c_str(),
            static_cast<unsigned long>(info->ExceptionRecord->ExceptionCode),
            info->ExceptionRecord->ExceptionAddress);
    fflush(stderr);
    return EXCEPTION_EXECUTE_HANDLER;
}

class Watchdog : public testing::EmptyTestEventListener {
public:
    explicit Watchdog(DWORD limitMilliseconds) : limit_(limitMilliseconds)
    {
        std::thread([this] { Watch(); }).detach();
    }

    void OnTestStart(const testing::TestInfo& info) override
    {
        {
            std::lock_guard<std::mutex> lock(g_currentMutex);
            g_current = std::string(info.test_suite_name()) + "." + info.name();
        }
        std::lock_guard<std::mutex> lock(mutex_);
        started_ = GetTickCount64();
    }

    void OnTestEnd(const testing::TestInfo&) override
    {
        {
            std::lock_guard<std::mutex> lock(g_currentMutex);
            g_current.clear();
        }
        std::lock_guard<std::mutex> lock(mutex_);
        started_ = 0;
    }

private:
    void Watch()
    {
        for (;;) {
            Sleep(1000);
            std::lock_guard<std::mutex> lock(mutex_);
            if (started_ != 0 && GetTickCount64() - started_ > limit_) {
                fprintf(stderr, "\n*** TIMEOUT: %s ran longer than %lu s\n", CurrentTest().c_str(),
                        static_cast<unsigned long>(limit_ / 1000));
                fflush(stderr);
                TerminateProcess(GetCurrentProcess(), 3);
            }
        }
    }

    DWORD limit_;
    std::mutex mutex_;
    ULONGLONG started_ = 0;
};

// Test programs run side by side in one Wine prefix; each gets a temporary
// folder of its own, so that their work folders do not meet.
void UsePrivateTempFolder()
{
    wchar_t temp[MAX_PATH + 1];
    wchar_t self[MAX_PATH];
    GetTempPathW(MAX_PATH + 1, temp);
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    WString folder = WString(temp) + L"zpk_" + BaseNamePart(WString(self));
    RemoveTree(folder);
    CreateDirectoryW(folder.c_str(), nullptr);
    SetEnvironmentVariableW(L"TMP", folder.c_str());
    SetEnvironmentVariableW(L"TEMP", folder.c_str());
}

}  // namespace

int wmain(int argc, wchar_t** argv)
{
    // Console output of test names and failure texts is UTF-8, and it is not
    // held in a buffer, so that what a crashing program printed is not lost.
    SetConsoleOutputCP(CP_UTF8);
    setvbuf(stdout, nullptr, _IONBF, 0);
    SetUnhandledExceptionFilter(ReportCrash);
    static UnexpectedPromptGuard guard;
    SetPromptHandler(&guard);
    int childResult = RunChildRoleIfAsked(argc, argv);
    if (childResult >= 0) {
        return childResult;
    }
    UsePrivateTempFolder();
    testing::InitGoogleTest(&argc, argv);
    DWORD limit = 120000;
    if (const char* text = getenv("ZPK_TEST_CASE_TIMEOUT")) {
        limit = static_cast<DWORD>(atoi(text)) * 1000;
    }
    testing::UnitTest::GetInstance()->listeners().Append(new Watchdog(limit));
    return RUN_ALL_TESTS();
}
