#include "common/desktop_icons.h"

#include <commctrl.h>
#include <shlobj.h>

#include <cstring>

#include "common/messages.h"
#include "common/paths.h"
#include "common/system.h"

namespace {

// The name block holds up to 259 UTF-16 units and the terminator.
const int kRemoteNameUnits = 260;
const SIZE_T kRemoteNameBytes = kRemoteNameUnits * sizeof(wchar_t);
const SIZE_T kRemotePointBytes = 8;
const int kFindBlock64Bytes = 40;
const int kFindBlock32Bytes = 24;
const int kRestoreAttempts = 30;
const DWORD kRestorePauseMilliseconds = 100;

void PutUint32(unsigned char* at, DWORD value) { memcpy(at, &value, sizeof value); }

void PutUint64(unsigned char* at, ULONGLONG value) { memcpy(at, &value, sizeof value); }

void* AllocateRemote(HANDLE process, SIZE_T bytes)
{
    void* block = VirtualAllocEx(process, nullptr, bytes, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
    ReportApiFailure(block, "VirtualAllocEx");
    return block;
}

void FreeRemote(HANDLE process, void* block, const char* tag)
{
    if (block) {
        ReportApiFailure(VirtualFreeEx(process, block, 0, MEM_RELEASE), tag);
    }
}

}  // namespace

int DesktopIconKeeper::BuildFindBlock(unsigned char* block, ULONGLONG remoteName, bool sixtyFourBitLayout)
{
    if (sixtyFourBitLayout) {
        memset(block, 0, kFindBlock64Bytes);
        PutUint32(block, LVFI_STRING);
        PutUint64(block + 8, remoteName);
        return kFindBlock64Bytes;
    }
    memset(block, 0, kFindBlock32Bytes);
    PutUint32(block, LVFI_STRING);
    PutUint32(block + 4, static_cast<DWORD>(remoteName));
    return kFindBlock32Bytes;
}

bool DesktopIconKeeper::OwnerIsSixtyFourBit(bool callerIs64Bit, bool callerUnderWow64, bool ownerUnderWow64)
{
    bool windows64 = callerIs64Bit || callerUnderWow64;
    return windows64 && !ownerUnderWow64;
}

ULONGLONG DesktopIconKeeper::RemoteAddress(UINT_PTR remote) { return static_cast<ULONGLONG>(remote); }

DesktopIconKeeper::DesktopIconKeeper(const WString& archivePath)
{
    WString desktop = SpecialFolderPath(CSIDL_DESKTOP);
    if (desktop.IsEmpty()) {
        return;
    }
    WString prefix = desktop + L"\\";
    if (archivePath.Length() <= prefix.Length() ||
        wcsncmp(archivePath.c_str(), prefix.c_str(), static_cast<size_t>(prefix.Length())) != 0) {
        return;
    }
    if (!ConnectToListView()) {
        return;
    }
    // An item that is not on the desktop has no position worth keeping;
    // restoring a made-up one would move the new icon to the corner.
    int index = FindItem(archivePath);
    POINT position{};
    if (index >= 0 && ReadItemPosition(index, position)) {
        x_ = position.x;
        y_ = position.y;
        recorded_ = true;
    }
}

bool DesktopIconKeeper::ConnectToListView()
{
    HWND shell = FindWindowW(L"Progman", L"Program Manager");
    HWND view = shell ? FindWindowExW(shell, nullptr, L"SHELLDLL_DefView", nullptr) : nullptr;
    HWND list = view ? FindWindowExW(view, nullptr, L"SysListView32", nullptr) : nullptr;
    if (!list) {
        return false;
    }
    DWORD processId = 0;
    GetWindowThreadProcessId(list, &processId);
    if (!ReportApiFailure(processId != 0, "GetWindowThreadProcessId")) {
        return false;
    }
    process_.Reset(OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE | SYNCHRONIZE |
                                   PROCESS_QUERY_LIMITED_INFORMATION,
                               FALSE, processId));
    if (!ReportApiFailure(process_.IsValid(), "OpenProcess")) {
        return false;
    }
    BOOL callerUnderWow64 = FALSE;
    BOOL ownerUnderWow64 = FALSE;
    if (!ReportApiFailure(IsWow64Process(GetCurrentProcess(), &callerUnderWow64), "IsWow64Process") ||
        !ReportApiFailure(IsWow64Process(process_.Get(), &ownerUnderWow64), "IsWow64Process")) {
        return false;
    }
    bool layout64 = OwnerIsSixtyFourBit(sizeof(void*) == 8, callerUnderWow64 != FALSE, ownerUnderWow64 != FALSE);
    remoteFind_ = AllocateRemote(process_.Get(), layout64 ? kFindBlock64Bytes : kFindBlock32Bytes);
    remoteName_ = AllocateRemote(process_.Get(), kRemoteNameBytes);
    remotePoint_ = AllocateRemote(process_.Get(), kRemotePointBytes);
    if (!remoteFind_ || !remoteName_ || !remotePoint_) {
        return false;
    }
    unsigned char block[kFindBlock64Bytes];
    int size = BuildFindBlock(block, RemoteAddress(reinterpret_cast<UINT_PTR>(remoteName_)), layout64);
    SIZE_T written = 0;
    if (!ReportApiFailure(WriteProcessMemory(process_.Get(), remoteFind_, block, size, &written),
                          "WriteProcessMemory")) {
        return false;
    }
    listView_ = list;
    return true;
}

bool DesktopIconKeeper::WriteName(const WString& name, const char* tag)
{
    // A longer name cannot be on the desktop and would not fit the block.
    if (name.IsEmpty() || name.Length() >= kRemoteNameUnits) {
        return false;
    }
    SIZE_T bytes = (static_cast<SIZE_T>(name.Length()) + 1) * sizeof(wchar_t);
    SIZE_T written = 0;
    return ReportApiFailure(WriteProcessMemory(process_.Get(), remoteName_, name.c_str(), bytes, &written), tag);
}

bool DesktopIconKeeper::DesktopGone() const
{
    // Explorer may have restarted since the position was read: its list view
    // and memory went with it, and the new one placed the icon itself.
    return !IsWindow(listView_) || WaitForSingleObject(process_.Get(), 0) == WAIT_OBJECT_0;
}

int DesktopIconKeeper::FindItem(const WString& archivePath)
{
    if (!listView_ || DesktopGone()) {
        return -1;
    }
    LPARAM find = reinterpret_cast<LPARAM>(remoteFind_);
    int index = -1;
    if (WriteName(FileNamePart(archivePath), "WriteProcessMemory1")) {
        index = static_cast<int>(SendMessageW(listView_, LVM_FINDITEMW, static_cast<WPARAM>(-1), find));
    }
    if (index < 0) {
        // A desktop that hides known extensions shows a.zip as "a".
        WString shown = BaseNamePart(archivePath);
        if (WriteName(shown, "WriteProcessMemory2")) {
            index = static_cast<int>(SendMessageW(listView_, LVM_FINDITEMW, static_cast<WPARAM>(-1), find));
        }
    }
    return index < 0 ? -1 : index;
}

bool DesktopIconKeeper::ReadItemPosition(int index, POINT& position)
{
    LRESULT asked = SendMessageW(listView_, LVM_GETITEMPOSITION, static_cast<WPARAM>(index),
                                 reinterpret_cast<LPARAM>(remotePoint_));
    if (!ReportApiFailure(asked != 0, "ListView_GetItemPosition")) {
        return false;
    }
    LONG coordinates[2] = {0, 0};
    SIZE_T read = 0;
    if (!ReportApiFailure(ReadProcessMemory(process_.Get(), remotePoint_, coordinates, sizeof coordinates, &read),
                          "ReadProcessMemory")) {
        return false;
    }
    position.x = coordinates[0];
    position.y = coordinates[1];
    return true;
}

bool DesktopIconKeeper::Restore(const WString& archivePath)
{
    if (!recorded_) {
        return false;
    }
    bool everFound = false;
    for (int attempt = 0; attempt < kRestoreAttempts; ++attempt) {
        if (DesktopGone()) {
            return false;
        }
        int index = FindItem(archivePath);
        if (index < 0) {
            continue;
        }
        everFound = true;
        POINT now{};
        if (ReadItemPosition(index, now) && (now.x != x_ || now.y != y_)) {
            index = FindItem(archivePath);
            if (index < 0) {
                return false;
            }
            LPARAM packed = MAKELPARAM(static_cast<WORD>(x_), static_cast<WORD>(y_));
            ReportApiFailure(SendMessageW(listView_, LVM_SETITEMPOSITION, static_cast<WPARAM>(index), packed) != 0,
                             "ListView_SetItemPosition");
        }
        PumpPending();
        Sleep(kRestorePauseMilliseconds);
    }
    // Never seeing the item means the icon was not put anywhere.
    return everFound;
}

DesktopIconKeeper::~DesktopIconKeeper()
{
    if (!process_) {
        return;
    }
    // An ended process took its memory with it.
    if (WaitForSingleObject(process_.Get(), 0) == WAIT_OBJECT_0) {
        remoteFind_ = remoteName_ = remotePoint_ = nullptr;
    }
    FreeRemote(process_.Get(), remoteFind_, "VirtualFreeEx1");
    FreeRemote(process_.Get(), remoteName_, "VirtualFreeEx2");
    FreeRemote(process_.Get(), remotePoint_, "VirtualFreeEx3");
    ReportApiFailure(process_.Reset(), "CloseHandle");
}
