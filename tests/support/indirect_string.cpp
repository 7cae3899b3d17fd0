#include "support/indirect_string.h"

#include <windows.h>

#include "common/handles.h"

std::wstring IndirectString(const std::wstring& reference)
{
    size_t comma = reference.rfind(L",-");
    if (reference.size() < 2 || reference[0] != L'@' || comma == std::wstring::npos || comma < 2 ||
        comma + 2 == reference.size() || reference.size() - comma > 7) {
        return std::wstring();
    }
    UINT id = 0;
    for (size_t i = comma + 2; i < reference.size(); ++i) {
        if (reference[i] < L'0' || reference[i] > L'9') {
            return std::wstring();
        }
        id = id * 10 + (reference[i] - L'0');
    }
    if (id > 0xFFFF) {
        return std::wstring();
    }
    std::wstring path = reference.substr(1, comma - 1);
    // Loaded as code, a program of the other width fails, as Wine's
    // SHLoadIndirectString does for a 64-bit reader of a 32-bit program.
    ScopedModule module(
        LoadLibraryExW(path.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE));
    if (!module) {
        return std::wstring();
    }
    // With no buffer, LoadStringW gives the string in place and its length:
    // table strings are counted, not ended by a zero.
    const wchar_t* text = nullptr;
    int length = LoadStringW(module.Get(), id, reinterpret_cast<LPWSTR>(&text), 0);
    return length > 0 && text ? std::wstring(text, length) : std::wstring();
}
