// The fuzzer's heap: every operator new of the program (the engine's
// included) and the process-heap blocks that the cabinet library gets
// through the engine come from here. It stands in for an address
// sanitizer, which the mingw-w64 compilers cannot link:
// - a block of at least the guard size lies at the end of its own pages,
//   before a page that cannot be touched, so that reading or writing past
//   its end faults at once; freed, it stays untouchable for a while, so
//   that a use after free faults too;
// - every block is framed by check bytes, looked at when it is freed;
// - the bytes live at once are counted, and a request that would pass the
//   limit is reported before it is served.
#pragma once

#include <cstddef>
#include <cstdint>

namespace fuzzheap {

// What the heap reports; the handler does not return.
using LimitHandler = void (*)(size_t requested, size_t live);
using DamageHandler = void (*)(const char* what, const void* block);

struct Settings {
    // Bytes that may live at once while an input runs; 0: no limit.
    size_t limit = 0;
    // Blocks of at least this size get a guard page; SIZE_MAX: none.
    size_t guardFrom = SIZE_MAX;
    LimitHandler onLimit = nullptr;
    DamageHandler onDamage = nullptr;
};
void Configure(const Settings& settings);
void SetGuardFrom(size_t bytes);
// The limit of the input about to run.
void SetLimit(size_t bytes);

// The limit holds only while an input runs: the fuzzer's own bookkeeping
// may use more.
void Arm(bool armed);

// What operator new and delete come to; alignment at least 16.
void* Allocate(size_t size, size_t alignment);
void Free(void* block);

size_t LiveBytes();
// The most bytes live at once since the last reset.
size_t PeakBytes();
void ResetPeak();

// Blocks of the process heap for the cabinet library (HeapAlloc,
// HeapFree, HeapReAlloc, HeapSize on the process heap), every one guarded.
// OwnsHeapBlock tells whether a pointer is one of them.
void* HeapBlock(size_t size, bool zero);
bool OwnsHeapBlock(const void* block);
void FreeHeapBlock(void* block);
size_t HeapBlockSize(const void* block);

}  // namespace fuzzheap
