// The bridge to the Windows cabinet library (FCI for compression, FDI for
// extraction). The library calls back plain functions without a way to pass
// an object to all of them, so the callbacks find the cabinet object through
// one process-wide pointer: only one cabinet operation can run per process.
// The values that the library wants in order to behave the same on Windows
// and on Wine's implementation are also kept here, in one place.
#pragma once

#include <windows.h>
#include <fci.h>
#include <fdi.h>

class CCabFile;

namespace cablib {

// Wine's FCI treats a cabinet size limit of 0 as "full at once" and starts a
// continuation cabinet; the largest signed 32-bit value gives one cabinet on
// both systems, which is what a limit of 0 means on Windows.
const ULONG kWholeCabinetLimit = 0x7FFFFFFF;

// A unit size of 0 ("0 は自動", the library's own choice) makes Wine's FCI
// close the unit after every file, as it treats a cabinet limit of 0 as
// full: every small file is then compressed alone, which costs compression
// and, under Wine, about twice the time. The largest signed 32-bit value
// leaves the units to the library on both systems.
const ULONG kAutomaticUnitThreshold = 0x7FFFFFFF;

// Wine's FCI refuses a missing next-cabinet callback (ERROR_BAD_ARGUMENTS).
// With the limit above it is never asked for a next cabinet; should it be,
// the answer "go on" keeps both systems on the same path.
BOOL DIAMONDAPI NoNextCabinet(PCCAB cabinet, ULONG previousSize, void* user);

// Makes the object the one the callbacks serve. It stays current until the
// next cabinet object replaces it, and is forgotten when that object ends.
void SetCurrent(CCabFile* cabinet);
void Forget(CCabFile* cabinet);
// The current object; null only when the library calls back outside an
// operation, which the callbacks treat as a failure.
CCabFile* Current();

// Marks one FCI or FDI operation as running. A second operation started
// while one runs (from a message dispatched inside the first) would reuse
// the callbacks' shared state, so it is refused: Started() is false then.
class OperationScope {
public:
    explicit OperationScope(CCabFile* cabinet);
    ~OperationScope();
    OperationScope(const OperationScope&) = delete;
    OperationScope& operator=(const OperationScope&) = delete;
    bool Started() const { return started_; }

private:
    bool started_;
};

// Heap and file callbacks shared by FCI and FDI.
void* DIAMONDAPI Allocate(ULONG size);
// Blocks handed to the library and not yet given back. The library frees
// all of its blocks when a context is destroyed, so this is 0 whenever no
// FCI or FDI context lives.
long LiveBlocks();
void DIAMONDAPI Release(void* block);
UINT DIAMONDAPI ReadCallback(INT_PTR file, void* buffer, UINT count);
UINT DIAMONDAPI WriteCallback(INT_PTR file, void* buffer, UINT count);
int DIAMONDAPI CloseCallback(INT_PTR file);
LONG DIAMONDAPI SeekCallback(INT_PTR file, LONG distance, int origin);

}  // namespace cablib
