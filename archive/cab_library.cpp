#include "archive/cab_library.h"

#include "archive/cabfile.h"

namespace cablib {

namespace {

CCabFile* g_current = nullptr;
bool g_operationRunning = false;
long g_liveBlocks = 0;

}  // namespace

BOOL DIAMONDAPI NoNextCabinet(PCCAB, ULONG, void*) { return TRUE; }

void SetCurrent(CCabFile* cabinet) { g_current = cabinet; }

void Forget(CCabFile* cabinet)
{
    // A destroyed object must never be reached through the pointer again.
    if (g_current == cabinet) {
        g_current = nullptr;
    }
}

CCabFile* Current() { return g_current; }

OperationScope::OperationScope(CCabFile* cabinet) : started_(false)
{
    if (g_operationRunning || cabinet == nullptr || cabinet != g_current) {
        return;
    }
    g_operationRunning = true;
    started_ = true;
}

OperationScope::~OperationScope()
{
    if (started_) {
        g_operationRunning = false;
    }
}

void* DIAMONDAPI Allocate(ULONG size)
{
    void* block = HeapAlloc(GetProcessHeap(), 0, size);
    if (block) {
        ++g_liveBlocks;
    }
    return block;
}

void DIAMONDAPI Release(void* block)
{
    if (block) {
        --g_liveBlocks;
        HeapFree(GetProcessHeap(), 0, block);
    }
}

long LiveBlocks() { return g_liveBlocks; }

UINT DIAMONDAPI ReadCallback(INT_PTR file, void* buffer, UINT count)
{
    DWORD done = 0;
    if (!ReadFile(reinterpret_cast<HANDLE>(file), buffer, count, &done, nullptr)) {
        return static_cast<UINT>(-1);
    }
    return done;
}

UINT DIAMONDAPI WriteCallback(INT_PTR file, void* buffer, UINT count)
{
    DWORD done = 0;
    if (!WriteFile(reinterpret_cast<HANDLE>(file), buffer, count, &done, nullptr)) {
        return static_cast<UINT>(-1);
    }
    return done;
}

int DIAMONDAPI CloseCallback(INT_PTR file) { return CloseHandle(reinterpret_cast<HANDLE>(file)) ? 0 : -1; }

LONG DIAMONDAPI SeekCallback(INT_PTR file, LONG distance, int origin)
{
    DWORD position = SetFilePointer(reinterpret_cast<HANDLE>(file), distance, nullptr, static_cast<DWORD>(origin));
    return static_cast<LONG>(position);
}

}  // namespace cablib
