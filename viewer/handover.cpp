#include "viewer/handover.h"

#include <cstring>

#include "common/handles.h"
#include "common/messages.h"
#include "common/registry.h"

namespace {

const DWORD kHeaderSize = 24;
const UINT kSendTimeout = 5000;

void PutU32(std::vector<uint8_t>& block, size_t offset, uint32_t value)
{
    for (int i = 0; i < 4; ++i) {
        block[offset + i] = static_cast<uint8_t>(value >> (8 * i));
    }
}

}  // namespace

HWND ReadSiblingTray()
{
    RegKey key(HKEY_CURRENT_USER, WString(kSiblingKey), KEY_QUERY_VALUE);
    DWORD value = 0;
    if (!key.IsOpen() || !key.ReadNumber(kSiblingTrayValue, value) || value == 0) {
        return nullptr;
    }
    HWND window = reinterpret_cast<HWND>(static_cast<ULONG_PTR>(value));
    return IsWindow(window) ? window : nullptr;
}

std::vector<uint8_t> BuildHandoverBlock(const MenuAnchor& anchor, const WString& path)
{
    size_t pathBytes = (static_cast<size_t>(path.Length()) + 1) * 2;
    std::vector<uint8_t> block(kHeaderSize + pathBytes, 0);
    PutU32(block, 0, kHeaderSize);
    // Window handles keep their meaning in 32 bits for both widths.
    PutU32(block, 4, static_cast<uint32_t>(reinterpret_cast<ULONG_PTR>(anchor.window)));
    PutU32(block, 8, static_cast<uint32_t>(anchor.item.left));
    PutU32(block, 12, static_cast<uint32_t>(anchor.item.top));
    PutU32(block, 16, static_cast<uint32_t>(anchor.item.right));
    PutU32(block, 20, static_cast<uint32_t>(anchor.item.bottom));
    for (int i = 0; i < path.Length(); ++i) {
        block[kHeaderSize + 2 * i] = static_cast<uint8_t>(path.At(i) & 0xFF);
        block[kHeaderSize + 2 * i + 1] = static_cast<uint8_t>(path.At(i) >> 8);
    }
    return block;
}

LPARAM HandoverLParam(const WString& path) { return static_cast<LPARAM>(kHeaderSize + path.Length() + 1); }

bool SendHandover(HWND tray, UINT message, const MenuAnchor& anchor, const WString& path, WString& error)
{
    if (!IsWindow(tray)) {
        error = WString(L"ファイラーのウィンドウがありません");
        return false;
    }
    std::vector<uint8_t> block = BuildHandoverBlock(anchor, path);
    ScopedKernelHandle mapping(CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0,
                                                  static_cast<DWORD>(block.size()), kHandoverName));
    if (!mapping) {
        error = L"CreateFileMapping Error Code =" + WString::FromInt(GetLastError());
        return false;
    }
    // A block of that name that is not ours may be read by the sibling as if
    // it were; it is left alone.
    if (GetLastError() == ERROR_ALREADY_EXISTS) {
        error = WString(kHandoverName) + L" は使用中です";
        return false;
    }
    void* view = MapViewOfFile(mapping.Get(), FILE_MAP_WRITE, 0, 0, block.size());
    if (!view) {
        error = L"MapViewOfFile Error Code =" + WString::FromInt(GetLastError());
        return false;
    }
    memcpy(view, block.data(), block.size());
    DWORD_PTR answer = 0;
    SendMessageTimeoutW(tray, message, kSiblingNotice, HandoverLParam(path), SMTO_ABORTIFHUNG, kSendTimeout, &answer);
    ReportApiFailure(UnmapViewOfFile(view), "UnmapViewOfFile");
    ReportApiFailure(mapping.Reset(), "CloseHandle");
    return true;
}
