#include "tools/fuzz/system_hooks.h"

#include <cwchar>

#include "tools/fuzz/checking_heap.h"

namespace fuzzhooks {

namespace {

const DWORD kPathRoom = 32768;

wchar_t g_root[MAX_PATH * 2];
size_t g_rootLength = 0;
wchar_t g_watched[MAX_PATH * 2];
size_t g_watchedLength = 0;
bool g_touched = false;
volatile bool g_armed = false;
EscapeHandler g_onEscape = nullptr;
HANDLE g_processHeap = nullptr;

decltype(&CreateFileW) g_createFile = nullptr;
decltype(&CreateDirectoryW) g_createDirectory = nullptr;
decltype(&DeleteFileW) g_deleteFile = nullptr;
decltype(&RemoveDirectoryW) g_removeDirectory = nullptr;
decltype(&MoveFileExW) g_moveFileEx = nullptr;
decltype(&MoveFileW) g_moveFile = nullptr;
decltype(&CopyFileW) g_copyFile = nullptr;
decltype(&SetFileAttributesW) g_setAttributes = nullptr;
decltype(&LoadImageW) g_loadImage = nullptr;
decltype(&LoadCursorW) g_loadCursor = nullptr;
decltype(&SetCursor) g_setCursor = nullptr;
decltype(&HeapAlloc) g_heapAlloc = nullptr;
decltype(&HeapFree) g_heapFree = nullptr;
decltype(&HeapReAlloc) g_heapReAlloc = nullptr;
decltype(&HeapSize) g_heapSize = nullptr;

bool Below(const wchar_t* full, const wchar_t* folder, size_t length)
{
    return length > 0 && _wcsnicmp(full, folder, length) == 0 && (full[length] == L'\\' || full[length] == 0);
}

// Whether a path lies below the scratch folder, as the system resolves it
// (".." components, a device name, a relative path).
bool Allowed(const char* call, const wchar_t* path)
{
    if (!g_armed || path == nullptr) {
        return true;
    }
    const wchar_t* plain = wcsncmp(path, L"\\\\?\\", 4) == 0 ? path + 4 : path;
    static wchar_t full[kPathRoom];
    DWORD length = GetFullPathNameW(plain, kPathRoom, full, nullptr);
    bool inside = length > 0 && length < kPathRoom && Below(full, g_root, g_rootLength);
    if (!inside) {
        if (g_onEscape) {
            g_onEscape(call, path);
        }
        SetLastError(ERROR_ACCESS_DENIED);
        return false;
    }
    if (Below(full, g_watched, g_watchedLength) && length > g_watchedLength) {
        g_touched = true;
    }
    return true;
}

const DWORD kChangingAccess = GENERIC_WRITE | GENERIC_ALL | FILE_WRITE_DATA | FILE_APPEND_DATA | FILE_WRITE_EA |
                              FILE_WRITE_ATTRIBUTES | DELETE | WRITE_DAC | WRITE_OWNER | MAXIMUM_ALLOWED;

HANDLE WINAPI CreateFileHook(LPCWSTR name, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES security,
                             DWORD disposition, DWORD flags, HANDLE templateFile)
{
    bool changing = (access & kChangingAccess) != 0 || disposition != OPEN_EXISTING ||
                    (flags & FILE_FLAG_DELETE_ON_CLOSE) != 0;
    if (changing && !Allowed("CreateFileW", name)) {
        return INVALID_HANDLE_VALUE;
    }
    return g_createFile(name, access, share, security, disposition, flags, templateFile);
}

BOOL WINAPI CreateDirectoryHook(LPCWSTR name, LPSECURITY_ATTRIBUTES security)
{
    return Allowed("CreateDirectoryW", name) ? g_createDirectory(name, security) : FALSE;
}

BOOL WINAPI DeleteFileHook(LPCWSTR name) { return Allowed("DeleteFileW", name) ? g_deleteFile(name) : FALSE; }

BOOL WINAPI RemoveDirectoryHook(LPCWSTR name)
{
    return Allowed("RemoveDirectoryW", name) ? g_removeDirectory(name) : FALSE;
}

BOOL WINAPI MoveFileExHook(LPCWSTR from, LPCWSTR to, DWORD flags)
{
    return Allowed("MoveFileExW", from) && Allowed("MoveFileExW", to) ? g_moveFileEx(from, to, flags) : FALSE;
}

BOOL WINAPI MoveFileHook(LPCWSTR from, LPCWSTR to)
{
    return Allowed("MoveFileW", from) && Allowed("MoveFileW", to) ? g_moveFile(from, to) : FALSE;
}

BOOL WINAPI CopyFileHook(LPCWSTR from, LPCWSTR to, BOOL failIfExists)
{
    return Allowed("CopyFileW", to) ? g_copyFile(from, to, failIfExists) : FALSE;
}

BOOL WINAPI SetFileAttributesHook(LPCWSTR name, DWORD attributes)
{
    return Allowed("SetFileAttributesW", name) ? g_setAttributes(name, attributes) : FALSE;
}

HANDLE WINAPI LoadImageHook(HINSTANCE module, LPCWSTR name, UINT type, int width, int height, UINT flags)
{
    return type == IMAGE_CURSOR ? nullptr : g_loadImage(module, name, type, width, height, flags);
}

HCURSOR WINAPI LoadCursorHook(HINSTANCE, LPCWSTR) { return nullptr; }

HCURSOR WINAPI SetCursorHook(HCURSOR) { return nullptr; }

LPVOID WINAPI HeapAllocHook(HANDLE heap, DWORD flags, SIZE_T size)
{
    if (heap != g_processHeap) {
        return g_heapAlloc(heap, flags, size);
    }
    return fuzzheap::HeapBlock(size, (flags & HEAP_ZERO_MEMORY) != 0);
}

BOOL WINAPI HeapFreeHook(HANDLE heap, DWORD flags, LPVOID block)
{
    if (block && fuzzheap::OwnsHeapBlock(block)) {
        fuzzheap::FreeHeapBlock(block);
        return TRUE;
    }
    return g_heapFree(heap, flags, block);
}

LPVOID WINAPI HeapReAllocHook(HANDLE heap, DWORD flags, LPVOID block, SIZE_T size)
{
    if (!block || !fuzzheap::OwnsHeapBlock(block)) {
        return g_heapReAlloc(heap, flags, block, size);
    }
    if (flags & HEAP_REALLOC_IN_PLACE_ONLY) {
        return nullptr;
    }
    void* grown = fuzzheap::HeapBlock(size, (flags & HEAP_ZERO_MEMORY) != 0);
    if (grown) {
        size_t old = fuzzheap::HeapBlockSize(block);
        memcpy(grown, block, old < size ? old : size);
        fuzzheap::FreeHeapBlock(block);
    }
    return grown;
}

SIZE_T WINAPI HeapSizeHook(HANDLE heap, DWORD flags, LPCVOID block)
{
    if (block && fuzzheap::OwnsHeapBlock(block)) {
        return fuzzheap::HeapBlockSize(block);
    }
    return g_heapSize(heap, flags, block);
}

// Points this program's import of a function at the replacement; the
// original goes to *original. False when the program does not import it.
template <typename Function>
bool Replace(const char* function, Function replacement, Function* original)
{
    auto* base = reinterpret_cast<uint8_t*>(GetModuleHandleW(nullptr));
    auto* dos = reinterpret_cast<IMAGE_DOS_HEADER*>(base);
    auto* nt = reinterpret_cast<IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
    const IMAGE_DATA_DIRECTORY& imports = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    if (imports.VirtualAddress == 0) {
        return false;
    }
    bool replaced = false;
    for (auto* module = reinterpret_cast<IMAGE_IMPORT_DESCRIPTOR*>(base + imports.VirtualAddress); module->Name;
         ++module) {
        if (module->OriginalFirstThunk == 0) {
            continue;
        }
        auto* names = reinterpret_cast<IMAGE_THUNK_DATA*>(base + module->OriginalFirstThunk);
        auto* slots = reinterpret_cast<IMAGE_THUNK_DATA*>(base + module->FirstThunk);
        for (; names->u1.AddressOfData; ++names, ++slots) {
            if (IMAGE_SNAP_BY_ORDINAL(names->u1.Ordinal)) {
                continue;
            }
            auto* byName = reinterpret_cast<IMAGE_IMPORT_BY_NAME*>(base + names->u1.AddressOfData);
            if (strcmp(reinterpret_cast<const char*>(byName->Name), function) != 0) {
                continue;
            }
            DWORD protection = 0;
            VirtualProtect(&slots->u1.Function, sizeof(slots->u1.Function), PAGE_READWRITE, &protection);
            if (!*original) {
                *original = reinterpret_cast<Function>(slots->u1.Function);
            }
            slots->u1.Function = reinterpret_cast<ULONG_PTR>(replacement);
            VirtualProtect(&slots->u1.Function, sizeof(slots->u1.Function), protection, &protection);
            replaced = true;
        }
    }
    return replaced;
}

}  // namespace

bool Install(const wchar_t* root, EscapeHandler onEscape)
{
    // As the checks see paths: full, with backslashes.
    DWORD length = GetFullPathNameW(root, MAX_PATH * 2, g_root, nullptr);
    if (length == 0 || length >= MAX_PATH * 2) {
        return false;
    }
    g_rootLength = length;
    g_onEscape = onEscape;
    g_processHeap = GetProcessHeap();
    // Every program imports CreateFileW; the others only when something
    // linked in calls them, and then they are watched as well.
    bool ok = Replace("CreateFileW", &CreateFileHook, &g_createFile);
    Replace("CreateDirectoryW", &CreateDirectoryHook, &g_createDirectory);
    Replace("DeleteFileW", &DeleteFileHook, &g_deleteFile);
    Replace("RemoveDirectoryW", &RemoveDirectoryHook, &g_removeDirectory);
    Replace("MoveFileExW", &MoveFileExHook, &g_moveFileEx);
    Replace("MoveFileW", &MoveFileHook, &g_moveFile);
    Replace("CopyFileW", &CopyFileHook, &g_copyFile);
    Replace("SetFileAttributesW", &SetFileAttributesHook, &g_setAttributes);
    Replace("LoadImageW", &LoadImageHook, &g_loadImage);
    Replace("LoadCursorW", &LoadCursorHook, &g_loadCursor);
    Replace("SetCursor", &SetCursorHook, &g_setCursor);
    bool heap = Replace("HeapAlloc", &HeapAllocHook, &g_heapAlloc) && Replace("HeapFree", &HeapFreeHook, &g_heapFree);
    Replace("HeapReAlloc", &HeapReAllocHook, &g_heapReAlloc);
    Replace("HeapSize", &HeapSizeHook, &g_heapSize);
    return ok && heap;
}

void Arm(bool armed) { g_armed = armed; }

void WatchFolder(const wchar_t* folder)
{
    DWORD length = GetFullPathNameW(folder, MAX_PATH * 2, g_watched, nullptr);
    g_watchedLength = length < MAX_PATH * 2 ? length : 0;
}

bool FolderTouched() { return g_touched; }
void ResetFolderTouched() { g_touched = false; }

}  // namespace fuzzhooks
