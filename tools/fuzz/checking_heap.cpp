#include "tools/fuzz/checking_heap.h"

#include <windows.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <new>
#include <vector>

namespace fuzzheap {

namespace {

const uint64_t kLiveMark = 0x21564C4B50A5A5A5ULL;
const uint64_t kFreedMark = 0x2144455246DEDEDEULL;
const uint8_t kTailFill = 0xB6;
const uint8_t kFreedFill = 0xDF;
const size_t kTail = 16;
const size_t kPage = 4096;
// Freed guarded blocks stay untouchable until this many more were freed,
// or until they reserve this much address space together.
const size_t kQuarantineBlocks = 64;
const size_t kQuarantineBytes = 128u << 20;

enum Kind : uint32_t { kMallocKind = 1, kPageKind = 2 };

struct alignas(16) Header {
    uint64_t mark;
    size_t size;
    void* base;
    size_t reserved;  // bytes of address space of a page block
    uint32_t kind;
    uint32_t alignment;
    uint64_t front;
};

Settings g_settings;
std::atomic<size_t> g_live{0};
std::atomic<size_t> g_peak{0};
std::atomic<bool> g_armed{false};
size_t g_armedBase = 0;

SRWLOCK g_lock = SRWLOCK_INIT;
struct Quarantined {
    void* base;
    size_t reserved;
};
// Both are touched only under the lock, and allocate from the C heap, not
// from operator new.
Quarantined g_quarantine[kQuarantineBlocks];
size_t g_quarantineNext = 0;
size_t g_quarantineBytes = 0;
const void** g_heapBlocks = nullptr;
size_t g_heapBlockCount = 0;
size_t g_heapBlockRoom = 0;

inline uintptr_t AlignUp(uintptr_t value, uintptr_t alignment) { return (value + alignment - 1) & ~(alignment - 1); }
inline uintptr_t AlignDown(uintptr_t value, uintptr_t alignment) { return value & ~(alignment - 1); }

Header* HeaderOf(const void* block)
{
    return reinterpret_cast<Header*>(reinterpret_cast<uintptr_t>(block) - sizeof(Header));
}

void Damaged(const char* what, const void* block)
{
    if (g_settings.onDamage) {
        g_settings.onDamage(what, block);
    }
    // Without a handler a damaged heap must not go on quietly.
    RaiseException(0xE0DA0A6E, EXCEPTION_NONCONTINUABLE, 0, nullptr);
}

void Count(size_t size)
{
    size_t live = g_live.fetch_add(size) + size;
    size_t peak = g_peak.load();
    while (live > peak && !g_peak.compare_exchange_weak(peak, live)) {
    }
}

void CheckLimit(size_t size)
{
    if (!g_armed.load(std::memory_order_relaxed) || g_settings.limit == 0) {
        return;
    }
    size_t live = g_live.load();
    size_t used = live > g_armedBase ? live - g_armedBase : 0;
    if (size > g_settings.limit || used + size > g_settings.limit) {
        if (g_settings.onLimit) {
            g_settings.onLimit(size, used);
        }
    }
}

void* FromPages(size_t size, size_t alignment)
{
    size_t span = AlignUp(size, alignment);
    size_t committed = AlignUp(sizeof(Header) + span, kPage);
    if (committed < size) {
        return nullptr;
    }
    size_t reserved = committed + kPage;
    uint8_t* base = static_cast<uint8_t*>(VirtualAlloc(nullptr, reserved, MEM_RESERVE, PAGE_NOACCESS));
    if (!base) {
        return nullptr;
    }
    if (!VirtualAlloc(base, committed, MEM_COMMIT, PAGE_READWRITE)) {
        VirtualFree(base, 0, MEM_RELEASE);
        return nullptr;
    }
    uint8_t* end = base + committed;
    uint8_t* user = reinterpret_cast<uint8_t*>(AlignDown(reinterpret_cast<uintptr_t>(end - size), alignment));
    memset(user + size, kTailFill, static_cast<size_t>(end - (user + size)));
    Header* header = HeaderOf(user);
    header->size = size;
    header->base = base;
    header->reserved = reserved;
    header->kind = kPageKind;
    header->alignment = static_cast<uint32_t>(alignment);
    header->front = kLiveMark ^ reinterpret_cast<uintptr_t>(user);
    header->mark = kLiveMark;
    return user;
}

void* FromMalloc(size_t size, size_t alignment)
{
    size_t total = sizeof(Header) + alignment + size + kTail;
    if (total < size) {
        return nullptr;
    }
    uint8_t* base = static_cast<uint8_t*>(malloc(total));
    if (!base) {
        return nullptr;
    }
    uint8_t* user = reinterpret_cast<uint8_t*>(AlignUp(reinterpret_cast<uintptr_t>(base) + sizeof(Header), alignment));
    memset(user + size, kTailFill, kTail);
    Header* header = HeaderOf(user);
    header->size = size;
    header->base = base;
    header->reserved = 0;
    header->kind = kMallocKind;
    header->alignment = static_cast<uint32_t>(alignment);
    header->front = kLiveMark ^ reinterpret_cast<uintptr_t>(user);
    header->mark = kLiveMark;
    return user;
}

bool TailIntact(const uint8_t* from, size_t count)
{
    for (size_t i = 0; i < count; ++i) {
        if (from[i] != kTailFill) {
            return false;
        }
    }
    return true;
}

void Quarantine(void* base, size_t reserved)
{
    VirtualFree(base, reserved - kPage, MEM_DECOMMIT);
    AcquireSRWLockExclusive(&g_lock);
    Quarantined& slot = g_quarantine[g_quarantineNext];
    if (slot.base) {
        VirtualFree(slot.base, 0, MEM_RELEASE);
        g_quarantineBytes -= slot.reserved;
    }
    slot = Quarantined{base, reserved};
    g_quarantineBytes += reserved;
    g_quarantineNext = (g_quarantineNext + 1) % kQuarantineBlocks;
    // Large blocks would take the address space of a 32-bit process.
    for (size_t i = 0; g_quarantineBytes > kQuarantineBytes && i < kQuarantineBlocks; ++i) {
        Quarantined& oldest = g_quarantine[(g_quarantineNext + i) % kQuarantineBlocks];
        if (oldest.base) {
            VirtualFree(oldest.base, 0, MEM_RELEASE);
            g_quarantineBytes -= oldest.reserved;
            oldest = Quarantined{nullptr, 0};
        }
    }
    ReleaseSRWLockExclusive(&g_lock);
}

}  // namespace

void Configure(const Settings& settings) { g_settings = settings; }
void SetGuardFrom(size_t bytes) { g_settings.guardFrom = bytes; }
void SetLimit(size_t bytes) { g_settings.limit = bytes; }

void Arm(bool armed)
{
    g_armedBase = g_live.load();
    g_armed.store(armed);
}

size_t LiveBytes() { return g_live.load(); }
size_t PeakBytes() { return g_peak.load(); }
void ResetPeak() { g_peak.store(g_live.load()); }

void* Allocate(size_t size, size_t alignment)
{
    if (size == 0) {
        size = 1;
    }
    if (alignment < 16) {
        alignment = 16;
    }
    CheckLimit(size);
    void* block = size >= g_settings.guardFrom ? FromPages(size, alignment) : FromMalloc(size, alignment);
    if (block) {
        Count(size);
    }
    return block;
}

void Free(void* block)
{
    if (!block) {
        return;
    }
    Header* header = HeaderOf(block);
    if (header->mark == kFreedMark) {
        Damaged("double free", block);
    }
    if (header->mark != kLiveMark || header->front != (kLiveMark ^ reinterpret_cast<uintptr_t>(block))) {
        Damaged("write before a block, or a pointer that is no block", block);
    }
    uint8_t* user = static_cast<uint8_t*>(block);
    size_t size = header->size;
    if (header->kind == kPageKind) {
        uint8_t* end = static_cast<uint8_t*>(header->base) + header->reserved - kPage;
        if (!TailIntact(user + size, static_cast<size_t>(end - (user + size)))) {
            Damaged("write past the end of a block", block);
        }
        header->mark = kFreedMark;
        g_live.fetch_sub(size);
        Quarantine(header->base, header->reserved);
        return;
    }
    if (!TailIntact(user + size, kTail)) {
        Damaged("write past the end of a block", block);
    }
    header->mark = kFreedMark;
    g_live.fetch_sub(size);
    void* base = header->base;
    memset(user, kFreedFill, size < 256 ? size : 256);
    free(base);
}

void* HeapBlock(size_t size, bool)
{
    if (size == 0) {
        size = 1;
    }
    CheckLimit(size);
    // Page blocks come zeroed from the system.
    void* block = FromPages(size, 16);
    if (!block) {
        return nullptr;
    }
    Count(size);
    AcquireSRWLockExclusive(&g_lock);
    if (g_heapBlockCount == g_heapBlockRoom) {
        size_t room = g_heapBlockRoom == 0 ? 64 : g_heapBlockRoom * 2;
        void* grown = realloc(g_heapBlocks, room * sizeof(void*));
        if (grown) {
            g_heapBlocks = static_cast<const void**>(grown);
            g_heapBlockRoom = room;
        }
    }
    if (g_heapBlockCount < g_heapBlockRoom) {
        g_heapBlocks[g_heapBlockCount++] = block;
    }
    ReleaseSRWLockExclusive(&g_lock);
    return block;
}

bool OwnsHeapBlock(const void* block)
{
    AcquireSRWLockShared(&g_lock);
    bool found = false;
    for (size_t i = 0; i < g_heapBlockCount && !found; ++i) {
        found = g_heapBlocks[i] == block;
    }
    ReleaseSRWLockShared(&g_lock);
    return found;
}

void FreeHeapBlock(void* block)
{
    AcquireSRWLockExclusive(&g_lock);
    for (size_t i = 0; i < g_heapBlockCount; ++i) {
        if (g_heapBlocks[i] == block) {
            g_heapBlocks[i] = g_heapBlocks[--g_heapBlockCount];
            break;
        }
    }
    ReleaseSRWLockExclusive(&g_lock);
    Free(block);
}

size_t HeapBlockSize(const void* block) { return HeaderOf(block)->size; }

}  // namespace fuzzheap

// The program's operator new and delete, in every form.
namespace {

void* Take(size_t size, size_t alignment)
{
    void* block = fuzzheap::Allocate(size, alignment);
    if (!block) {
        throw std::bad_alloc();
    }
    return block;
}

}  // namespace

void* operator new(size_t size) { return Take(size, 16); }
void* operator new[](size_t size) { return Take(size, 16); }
void* operator new(size_t size, const std::nothrow_t&) noexcept { return fuzzheap::Allocate(size, 16); }
void* operator new[](size_t size, const std::nothrow_t&) noexcept { return fuzzheap::Allocate(size, 16); }
void* operator new(size_t size, std::align_val_t alignment) { return Take(size, static_cast<size_t>(alignment)); }
void* operator new[](size_t size, std::align_val_t alignment) { return Take(size, static_cast<size_t>(alignment)); }
void* operator new(size_t size, std::align_val_t alignment, const std::nothrow_t&) noexcept
{
    return fuzzheap::Allocate(size, static_cast<size_t>(alignment));
}
void* operator new[](size_t size, std::align_val_t alignment, const std::nothrow_t&) noexcept
{
    return fuzzheap::Allocate(size, static_cast<size_t>(alignment));
}
void operator delete(void* block) noexcept { fuzzheap::Free(block); }
void operator delete[](void* block) noexcept { fuzzheap::Free(block); }
void operator delete(void* block, size_t) noexcept { fuzzheap::Free(block); }
void operator delete[](void* block, size_t) noexcept { fuzzheap::Free(block); }
void operator delete(void* block, const std::nothrow_t&) noexcept { fuzzheap::Free(block); }
void operator delete[](void* block, const std::nothrow_t&) noexcept { fuzzheap::Free(block); }
void operator delete(void* block, std::align_val_t) noexcept { fuzzheap::Free(block); }
void operator delete[](void* block, std::align_val_t) noexcept { fuzzheap::Free(block); }
void operator delete(void* block, size_t, std::align_val_t) noexcept { fuzzheap::Free(block); }
void operator delete[](void* block, size_t, std::align_val_t) noexcept { fuzzheap::Free(block); }
void operator delete(void* block, std::align_val_t, const std::nothrow_t&) noexcept { fuzzheap::Free(block); }
void operator delete[](void* block, std::align_val_t, const std::nothrow_t&) noexcept { fuzzheap::Free(block); }
