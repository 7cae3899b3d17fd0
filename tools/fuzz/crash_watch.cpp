#include "tools/fuzz/crash_watch.h"

#include <csignal>
#include <cstdio>
#include <cstring>
#include <exception>

#include "common/handles.h"

namespace fuzzwatch {

namespace {

const DWORD kHeapDamageCode = 0xE0DA0A6E;

State* g_state = nullptr;
uint8_t* g_input = nullptr;
HANDLE g_mainThread = nullptr;
DWORD g_timeout = 0;
volatile ULONGLONG g_startedAt = 0;
const char* g_kindNames[] = {"crash", "hang", "memory limit", "escape", "heap damage", "broken promise", "abort"};

const char* KindName(Status kind)
{
    int index = static_cast<int>(kind) - kCrash;
    return index >= 0 && index < 7 ? g_kindNames[index] : "finding";
}

bool IsFatal(DWORD code)
{
    switch (code) {
    case EXCEPTION_ACCESS_VIOLATION:
    case EXCEPTION_ARRAY_BOUNDS_EXCEEDED:
    case EXCEPTION_DATATYPE_MISALIGNMENT:
    case EXCEPTION_ILLEGAL_INSTRUCTION:
    case EXCEPTION_IN_PAGE_ERROR:
    case EXCEPTION_INT_DIVIDE_BY_ZERO:
    case EXCEPTION_INT_OVERFLOW:
    case EXCEPTION_PRIV_INSTRUCTION:
    case EXCEPTION_STACK_OVERFLOW:
    case EXCEPTION_NONCONTINUABLE_EXCEPTION:
    case 0xC0000374:  // heap corruption
    case 0xC0000409:  // stack buffer overrun
    case kHeapDamageCode:
        return true;
    default:
        return false;
    }
}

// The return addresses of a thread's stack from its context, by the
// unwind tables of x64 code; 32-bit code keeps no such tables, and only
// the address where it stopped is known.
void RecordFrames(const CONTEXT& context)
{
    memset(g_state->frames, 0, sizeof g_state->frames);
#if defined(_M_X64) || defined(__x86_64__)
    CONTEXT walk = context;
    for (int i = 0; i < kFrames && walk.Rip != 0; ++i) {
        g_state->frames[i] = walk.Rip;
        DWORD64 imageBase = 0;
        PRUNTIME_FUNCTION function = RtlLookupFunctionEntry(walk.Rip, &imageBase, nullptr);
        if (!function) {
            // A leaf function: the return address is on top of the stack.
            walk.Rip = *reinterpret_cast<DWORD64*>(walk.Rsp);
            walk.Rsp += 8;
            continue;
        }
        void* handlerData = nullptr;
        DWORD64 establisher = 0;
        RtlVirtualUnwind(UNW_FLAG_NHANDLER, imageBase, walk.Rip, function, &walk, &handlerData, &establisher,
                         nullptr);
    }
#else
    g_state->frames[0] = context.Eip;
#endif
}

void NameModuleOf(uint64_t address, char* out, size_t room)
{
    HMODULE module = nullptr;
    wchar_t path[MAX_PATH] = {};
    if (GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                           reinterpret_cast<LPCWSTR>(static_cast<uintptr_t>(address)), &module) &&
        GetModuleFileNameW(module, path, MAX_PATH)) {
        const wchar_t* leaf = wcsrchr(path, L'\\');
        snprintf(out, room, "%ls+0x%llx", leaf ? leaf + 1 : path,
                 static_cast<unsigned long long>(address - reinterpret_cast<uintptr_t>(module)));
    } else {
        snprintf(out, room, "0x%llx", static_cast<unsigned long long>(address));
    }
}

[[noreturn]] void Finish(Status kind)
{
    g_state->status = kind;
    char line[1400];
    int length = snprintf(line, sizeof line, "zpkfuzz: %s in input %llu%s%s: %s\n", KindName(kind),
                          static_cast<unsigned long long>(g_state->serial), g_state->inputName[0] ? " " : "",
                          g_state->inputName, g_state->detail);
    DWORD written = 0;
    WriteFile(GetStdHandle(STD_ERROR_HANDLE), line, static_cast<DWORD>(length > 0 ? length : 0), &written, nullptr);
    TerminateProcess(GetCurrentProcess(), 100 + kind);
    for (;;) {
        Sleep(INFINITE);
    }
}

LONG CALLBACK OnException(EXCEPTION_POINTERS* info)
{
    DWORD code = info->ExceptionRecord->ExceptionCode;
    if (!IsFatal(code) || g_state->status != kRunning) {
        return EXCEPTION_CONTINUE_SEARCH;
    }
    // A second fault while this one is recorded ends the process as it is.
    g_state->status = kCrash;
    uint64_t address = reinterpret_cast<uintptr_t>(info->ExceptionRecord->ExceptionAddress);
    g_state->exceptionCode = code;
    g_state->exceptionAddress = address;
    RecordFrames(*info->ContextRecord);
    if (code == kHeapDamageCode) {
        Finish(kHeapDamage);
    }
    char where[400];
    NameModuleOf(address, where, sizeof where);
    char access[80] = "";
    if (code == EXCEPTION_ACCESS_VIOLATION && info->ExceptionRecord->NumberParameters >= 2) {
        ULONG_PTR operation = info->ExceptionRecord->ExceptionInformation[0];
        snprintf(access, sizeof access, ", %s 0x%llx", operation == 1 ? "writing" : operation == 8 ? "running" : "reading",
                 static_cast<unsigned long long>(info->ExceptionRecord->ExceptionInformation[1]));
    }
    snprintf(g_state->detail, sizeof g_state->detail, "exception 0x%08lx at %s%s", static_cast<unsigned long>(code),
             where, access);
    Finish(kCrash);
}

LONG WINAPI OnUnhandled(EXCEPTION_POINTERS* info)
{
    if (g_state->status == kRunning) {
        OnException(info);
    }
    snprintf(g_state->detail, sizeof g_state->detail, "unhandled exception 0x%08lx",
             static_cast<unsigned long>(info->ExceptionRecord->ExceptionCode));
    g_state->exceptionCode = info->ExceptionRecord->ExceptionCode;
    Finish(kCrash);
}

void OnAbortSignal(int) { Report(kAbort, "abort()"); }

void OnTerminate() { Report(kAbort, "std::terminate: an exception that nobody catches"); }

DWORD WINAPI Watch(void*)
{
    for (;;) {
        Sleep(50);
        ULONGLONG started = g_startedAt;
        if (g_state->status != kRunning || started == 0 || GetTickCount64() - started < g_timeout) {
            continue;
        }
        // Where the input is stuck, for the record.
        if (SuspendThread(g_mainThread) != static_cast<DWORD>(-1)) {
            CONTEXT context{};
            context.ContextFlags = CONTEXT_FULL;
            if (GetThreadContext(g_mainThread, &context)) {
                RecordFrames(context);
            }
        }
        char where[400];
        NameModuleOf(g_state->frames[0], where, sizeof where);
        snprintf(g_state->detail, sizeof g_state->detail, "no end after %lu ms, at %s",
                 static_cast<unsigned long>(g_timeout), where);
        Finish(kHang);
    }
}

}  // namespace

bool Start(const wchar_t* path, size_t capacity, DWORD timeoutMs)
{
    ScopedFile file(CreateFileW(path, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) {
        return false;
    }
    DWORD size = static_cast<DWORD>(kInputOffset + capacity);
    ScopedKernelHandle mapping(CreateFileMappingW(file.Get(), nullptr, PAGE_READWRITE, 0, size, nullptr));
    if (!mapping) {
        return false;
    }
    // The view stays for the life of the process: the driver reads what
    // it holds after the process has gone, however it went.
    void* view = MapViewOfFile(mapping.Get(), FILE_MAP_WRITE, 0, 0, size);
    if (!view) {
        return false;
    }
    g_state = static_cast<State*>(view);
    g_input = static_cast<uint8_t*>(view) + kInputOffset;
    memcpy(g_state->magic, "ZPKFUZZ1", 8);
    g_state->inputCapacity = static_cast<uint32_t>(capacity);
    g_state->moduleBase = reinterpret_cast<uintptr_t>(GetModuleHandleW(nullptr));
    g_timeout = timeoutMs;
    DuplicateHandle(GetCurrentProcess(), GetCurrentThread(), GetCurrentProcess(), &g_mainThread, 0, FALSE,
                    DUPLICATE_SAME_ACCESS);
    SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX | SEM_NOOPENFILEERRORBOX);
    AddVectoredExceptionHandler(1, OnException);
    SetUnhandledExceptionFilter(OnUnhandled);
    signal(SIGABRT, OnAbortSignal);
    std::set_terminate(OnTerminate);
    ScopedKernelHandle watchdog(CreateThread(nullptr, 64 * 1024, Watch, nullptr, 0, nullptr));
    return static_cast<bool>(watchdog);
}

State& Current() { return *g_state; }

void Begin(uint32_t target, const uint8_t* data, size_t size, const char* name)
{
    size_t kept = size < g_state->inputCapacity ? size : g_state->inputCapacity;
    memcpy(g_input, data, kept);
    g_state->inputLength = static_cast<uint32_t>(kept);
    g_state->target = target;
    ++g_state->serial;
    g_state->detail[0] = 0;
    snprintf(g_state->inputName, sizeof g_state->inputName, "%s", name ? name : "");
    g_startedAt = GetTickCount64();
    g_state->status = kRunning;
}

void End()
{
    g_state->status = kIdle;
    g_startedAt = 0;
}

void Report(Status kind, const char* detail)
{
    if (g_state->status != kRunning) {
        // Outside an input the fuzzer itself failed: said, not kept.
        fprintf(stderr, "zpkfuzz: %s outside an input: %s\n", KindName(kind), detail);
        fflush(stderr);
        TerminateProcess(GetCurrentProcess(), 3);
    }
    snprintf(g_state->detail, sizeof g_state->detail, "%s", detail);
    // Where the finding was made: the request past the limit, the call
    // outside the scratch folder, the broken promise.
    CONTEXT context{};
    RtlCaptureContext(&context);
    RecordFrames(context);
    Finish(kind);
}

}  // namespace fuzzwatch
