// Scoped owners for the Windows handles the programs take. Each owner
// releases its handle exactly once, so that every early return gives back
// what was taken; copying is not allowed, moving hands the handle over.
#pragma once

#include <windows.h>
#include <objbase.h>
#include <ole2.h>
#include <shtypes.h>
#include <fci.h>
#include <fdi.h>
#include <bcrypt.h>
#include <utility>

template <typename Traits>
class ScopedHandle {
public:
    using Handle = typename Traits::Handle;

    ScopedHandle() : handle_(Traits::Invalid()) {}
    explicit ScopedHandle(Handle h) : handle_(h) {}
    ScopedHandle(ScopedHandle&& other) noexcept : handle_(other.Detach()) {}
    ScopedHandle& operator=(ScopedHandle&& other) noexcept
    {
        if (this != &other) {
            Reset(other.Detach());
        }
        return *this;
    }
    ScopedHandle(const ScopedHandle&) = delete;
    ScopedHandle& operator=(const ScopedHandle&) = delete;
    ~ScopedHandle() { Reset(); }

    Handle Get() const { return handle_; }
    bool IsValid() const { return handle_ != Traits::Invalid(); }
    explicit operator bool() const { return IsValid(); }

    Handle Detach()
    {
        Handle h = handle_;
        handle_ = Traits::Invalid();
        return h;
    }

    // Closes the held handle first; returns false when that close failed.
    bool Reset(Handle h = Traits::Invalid())
    {
        bool ok = true;
        if (handle_ != Traits::Invalid()) {
            ok = Traits::Close(handle_);
        }
        handle_ = h;
        return ok;
    }

private:
    Handle handle_;
};

struct FileHandleTraits {
    using Handle = HANDLE;
    static Handle Invalid() { return INVALID_HANDLE_VALUE; }
    static bool Close(Handle h) { return CloseHandle(h) != FALSE; }
};

struct KernelHandleTraits {
    using Handle = HANDLE;
    static Handle Invalid() { return nullptr; }
    static bool Close(Handle h) { return CloseHandle(h) != FALSE; }
};

struct FindHandleTraits {
    using Handle = HANDLE;
    static Handle Invalid() { return INVALID_HANDLE_VALUE; }
    static bool Close(Handle h) { return FindClose(h) != FALSE; }
};

struct ChangeNotificationTraits {
    using Handle = HANDLE;
    static Handle Invalid() { return INVALID_HANDLE_VALUE; }
    static bool Close(Handle h) { return FindCloseChangeNotification(h) != FALSE; }
};

struct RegKeyTraits {
    using Handle = HKEY;
    static Handle Invalid() { return nullptr; }
    static bool Close(Handle h) { return RegCloseKey(h) == ERROR_SUCCESS; }
};

struct MenuTraits {
    using Handle = HMENU;
    static Handle Invalid() { return nullptr; }
    static bool Close(Handle h) { return DestroyMenu(h) != FALSE; }
};

struct IconTraits {
    using Handle = HICON;
    static Handle Invalid() { return nullptr; }
    static bool Close(Handle h) { return DestroyIcon(h) != FALSE; }
};

struct CursorTraits {
    using Handle = HCURSOR;
    static Handle Invalid() { return nullptr; }
    static bool Close(Handle h) { return DestroyCursor(h) != FALSE; }
};

struct GdiObjectTraits {
    using Handle = HGDIOBJ;
    static Handle Invalid() { return nullptr; }
    static bool Close(Handle h) { return DeleteObject(h) != FALSE; }
};

struct FontTraits {
    using Handle = HFONT;
    static Handle Invalid() { return nullptr; }
    static bool Close(Handle h) { return DeleteObject(h) != FALSE; }
};

struct ModuleTraits {
    using Handle = HMODULE;
    static Handle Invalid() { return nullptr; }
    static bool Close(Handle h) { return FreeLibrary(h) != FALSE; }
};

struct WindowTraits {
    using Handle = HWND;
    static Handle Invalid() { return nullptr; }
    static bool Close(Handle h) { return DestroyWindow(h) != FALSE; }
};

struct MemoryDCTraits {
    using Handle = HDC;
    static Handle Invalid() { return nullptr; }
    static bool Close(Handle h) { return DeleteDC(h) != FALSE; }
};

struct HookTraits {
    using Handle = HHOOK;
    static Handle Invalid() { return nullptr; }
    static bool Close(Handle h) { return UnhookWindowsHookEx(h) != FALSE; }
};

// The cabinet library's compression and extraction contexts. Destroying one
// gives back every block and temporary file the library took for it.
struct FciContextTraits {
    using Handle = HFCI;
    static Handle Invalid() { return nullptr; }
    static bool Close(Handle h) { return FCIDestroy(h) != FALSE; }
};

struct FdiContextTraits {
    using Handle = HFDI;
    static Handle Invalid() { return nullptr; }
    static bool Close(Handle h) { return FDIDestroy(h) != FALSE; }
};

// CNG's algorithm providers, keys and hash states.
struct BcryptAlgorithmTraits {
    using Handle = BCRYPT_ALG_HANDLE;
    static Handle Invalid() { return nullptr; }
    static bool Close(Handle h) { return BCryptCloseAlgorithmProvider(h, 0) >= 0; }
};

struct BcryptKeyTraits {
    using Handle = BCRYPT_KEY_HANDLE;
    static Handle Invalid() { return nullptr; }
    static bool Close(Handle h) { return BCryptDestroyKey(h) >= 0; }
};

struct BcryptHashTraits {
    using Handle = BCRYPT_HASH_HANDLE;
    static Handle Invalid() { return nullptr; }
    static bool Close(Handle h) { return BCryptDestroyHash(h) >= 0; }
};

using ScopedFile = ScopedHandle<FileHandleTraits>;
using ScopedKernelHandle = ScopedHandle<KernelHandleTraits>;
using ScopedFind = ScopedHandle<FindHandleTraits>;
// A folder watch of FindFirstChangeNotification.
using ScopedChangeNotification = ScopedHandle<ChangeNotificationTraits>;
using ScopedHKey = ScopedHandle<RegKeyTraits>;
using ScopedMenu = ScopedHandle<MenuTraits>;
using ScopedIcon = ScopedHandle<IconTraits>;
using ScopedCursor = ScopedHandle<CursorTraits>;
using ScopedGdiObject = ScopedHandle<GdiObjectTraits>;
using ScopedFont = ScopedHandle<FontTraits>;
using ScopedModule = ScopedHandle<ModuleTraits>;
using ScopedWindow = ScopedHandle<WindowTraits>;
// A device context of CreateCompatibleDC or CreateDC.
using ScopedMemoryDC = ScopedHandle<MemoryDCTraits>;
using ScopedHook = ScopedHandle<HookTraits>;
using ScopedFciContext = ScopedHandle<FciContextTraits>;
using ScopedFdiContext = ScopedHandle<FdiContextTraits>;
using ScopedBcryptAlgorithm = ScopedHandle<BcryptAlgorithmTraits>;
using ScopedBcryptKey = ScopedHandle<BcryptKeyTraits>;
using ScopedBcryptHash = ScopedHandle<BcryptHashTraits>;

// A device context obtained with GetDC (null: the screen's), given back with
// ReleaseDC. An empty owner can take one later with Acquire.
class ScopedWindowDC {
public:
    ScopedWindowDC() = default;
    explicit ScopedWindowDC(HWND window) { Acquire(window); }
    ~ScopedWindowDC() { Reset(); }
    ScopedWindowDC(const ScopedWindowDC&) = delete;
    ScopedWindowDC& operator=(const ScopedWindowDC&) = delete;
    HDC Get() const { return dc_; }
    void Acquire(HWND window)
    {
        Reset();
        window_ = window;
        dc_ = GetDC(window);
    }
    void Reset()
    {
        if (dc_) {
            ReleaseDC(window_, dc_);
        }
        window_ = nullptr;
        dc_ = nullptr;
    }

private:
    HWND window_ = nullptr;
    HDC dc_ = nullptr;
};

// Selects an object into a device context for the lifetime of the owner,
// and puts the object it replaced back at the end. An empty owner can
// select later with Select.
class ScopedSelect {
public:
    ScopedSelect() = default;
    ScopedSelect(HDC dc, HGDIOBJ object) { Select(dc, object); }
    ~ScopedSelect() { Reset(); }
    ScopedSelect(const ScopedSelect&) = delete;
    ScopedSelect& operator=(const ScopedSelect&) = delete;
    void Select(HDC dc, HGDIOBJ object)
    {
        Reset();
        dc_ = dc;
        old_ = SelectObject(dc, object);
    }
    void Reset()
    {
        if (old_) {
            SelectObject(dc_, old_);
        }
        dc_ = nullptr;
        old_ = nullptr;
    }

private:
    HDC dc_ = nullptr;
    HGDIOBJ old_ = nullptr;
};

// A COM interface pointer that is released when its owner ends.
template <typename T>
class ComPtr {
public:
    ComPtr() = default;
    ~ComPtr() { Reset(); }
    ComPtr(const ComPtr&) = delete;
    ComPtr& operator=(const ComPtr&) = delete;
    ComPtr(ComPtr&& other) noexcept : p_(other.p_) { other.p_ = nullptr; }
    ComPtr& operator=(ComPtr&& other) noexcept
    {
        if (this != &other) {
            Reset();
            p_ = other.p_;
            other.p_ = nullptr;
        }
        return *this;
    }

    T* Get() const { return p_; }
    T* operator->() const { return p_; }
    explicit operator bool() const { return p_ != nullptr; }
    // For calls that fill in an interface pointer: the old one is released first.
    T** Receive()
    {
        Reset();
        return &p_;
    }
    void** ReceiveVoid() { return reinterpret_cast<void**>(Receive()); }
    // Takes over the reference of an object just made with its count at 1.
    void Attach(T* created)
    {
        Reset();
        p_ = created;
    }
    void Reset()
    {
        if (p_) {
            p_->Release();
            p_ = nullptr;
        }
    }

private:
    T* p_ = nullptr;
};

// A storage medium handed out by a data object, given back with
// ReleaseStgMedium. Receive is for the call that fills it; after a call
// that failed, Forget drops whatever it may have left there.
class ScopedStgMedium {
public:
    ScopedStgMedium() = default;
    ~ScopedStgMedium() { Reset(); }
    ScopedStgMedium(const ScopedStgMedium&) = delete;
    ScopedStgMedium& operator=(const ScopedStgMedium&) = delete;
    STGMEDIUM* Receive()
    {
        Reset();
        return &medium_;
    }
    const STGMEDIUM& Get() const { return medium_; }
    void Forget() { medium_ = STGMEDIUM{}; }
    void Reset()
    {
        if (medium_.tymed != TYMED_NULL) {
            ReleaseStgMedium(&medium_);
        }
        medium_ = STGMEDIUM{};
    }

private:
    STGMEDIUM medium_{};
};

// Global memory locked for the lifetime of the owner.
class ScopedGlobalLock {
public:
    explicit ScopedGlobalLock(HGLOBAL memory) : memory_(memory), data_(memory ? GlobalLock(memory) : nullptr) {}
    ~ScopedGlobalLock()
    {
        if (data_) {
            GlobalUnlock(memory_);
        }
    }
    ScopedGlobalLock(const ScopedGlobalLock&) = delete;
    ScopedGlobalLock& operator=(const ScopedGlobalLock&) = delete;
    void* Data() const { return data_; }
    SIZE_T Size() const { return data_ ? GlobalSize(memory_) : 0; }

private:
    HGLOBAL memory_;
    void* data_;
};

// CoInitialize / CoUninitialize for one scope.
class ScopedComInit {
public:
    explicit ScopedComInit(DWORD model = COINIT_APARTMENTTHREADED) : hr_(CoInitializeEx(nullptr, model)) {}
    ~ScopedComInit()
    {
        if (SUCCEEDED(hr_)) {
            CoUninitialize();
        }
    }
    ScopedComInit(const ScopedComInit&) = delete;
    ScopedComInit& operator=(const ScopedComInit&) = delete;
    HRESULT Result() const { return hr_; }

private:
    HRESULT hr_;
};

// OleInitialize / OleUninitialize for one scope (drag and drop needs OLE).
class ScopedOleInit {
public:
    ScopedOleInit() : hr_(OleInitialize(nullptr)) {}
    ~ScopedOleInit()
    {
        if (SUCCEEDED(hr_)) {
            OleUninitialize();
        }
    }
    ScopedOleInit(const ScopedOleInit&) = delete;
    ScopedOleInit& operator=(const ScopedOleInit&) = delete;
    HRESULT Result() const { return hr_; }

private:
    HRESULT hr_;
};

// A shell item list, freed with the task allocator.
struct ItemListTraits {
    using Handle = LPITEMIDLIST;
    static Handle Invalid() { return nullptr; }
    static bool Close(Handle h)
    {
        CoTaskMemFree(h);
        return true;
    }
};
using ScopedItemList = ScopedHandle<ItemListTraits>;
