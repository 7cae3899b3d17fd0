// What a run leaves behind when an input brings it down. Before each input
// the fuzzer copies it into a file mapped into memory (no system call per
// input), so that the input survives whatever ends the process. An
// exception, a hang past the time limit, a request past the memory limit,
// a damaged heap block, a file touched outside the scratch folder or a
// broken promise of a target is recorded beside it in the same file, one
// line goes to standard error, and the process ends at once with the
// finding's kind in its exit code. The driver (tools/fuzz/fuzz.py) keeps
// the input and its record, and starts the fuzzer again.
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>

namespace fuzzwatch {

enum Status : uint32_t {
    kIdle = 0,
    kRunning = 1,
    kFinished = 2,
    // Findings; the process's exit code is 100 + the kind.
    kCrash = 10,
    kHang = 11,
    kMemoryLimit = 12,
    kEscape = 13,
    kHeapDamage = 14,
    kBrokenPromise = 15,
    kAbort = 16,
};

const int kMaxTargets = 16;
const int kFrames = 16;

// The mapped file's layout, read by the driver with the same offsets.
#pragma pack(push, 8)
struct TargetCounters {
    uint64_t inputs;
    uint64_t microseconds;
    uint64_t corpus;
    uint64_t edges;
    uint64_t peakBytes;
};
struct State {
    char magic[8];
    uint32_t status;
    uint32_t target;
    uint32_t inputLength;
    uint32_t inputCapacity;
    uint64_t serial;
    uint64_t exceptionCode;
    uint64_t exceptionAddress;
    uint64_t moduleBase;
    uint64_t frames[kFrames];
    char detail[1024];
    char inputName[260];
    char padding[4];
    TargetCounters counters[kMaxTargets];
};
#pragma pack(pop)
const size_t kInputOffset = 4096;
static_assert(sizeof(State) <= kInputOffset, "the input follows the state");

// Maps the file (made or replaced) with room for inputs of capacity bytes,
// installs the exception handler, the abort handlers and the watchdog.
bool Start(const wchar_t* path, size_t capacity, DWORD timeoutMs);
State& Current();

// Around each input: copies it in, and marks it done. name is shown in the
// finding's line (the file being replayed; null while fuzzing).
void Begin(uint32_t target, const uint8_t* data, size_t size, const char* name);
void End();

// Records a finding of the running input and ends the process.
[[noreturn]] void Report(Status kind, const char* detail);

}  // namespace fuzzwatch
