#include "common/path_checks.h"

#include <windows.h>

#include <vector>

WString AbsolutePath(const WString& path)
{
    DWORD needed = GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
    if (needed == 0) {
        return WString();
    }
    std::vector<wchar_t> buffer(needed + 1);
    DWORD length = GetFullPathNameW(path.c_str(), needed + 1, buffer.data(), nullptr);
    WString full = length > 0 && length <= needed ? WString(buffer.data(), static_cast<int>(length)) : WString();
    while (full.Length() > 3 && full.Last() == L'\\') {
        full = full.Left(full.Length() - 1);
    }
    return full;
}

bool IsStrictlyInside(const WString& folder, const WString& path)
{
    WString base = AbsolutePath(folder);
    WString inner = AbsolutePath(path);
    if (base.IsEmpty() || inner.Length() <= base.Length()) {
        return false;
    }
    if (CompareStringOrdinal(base.c_str(), base.Length(), inner.c_str(), base.Length(), TRUE) != CSTR_EQUAL) {
        return false;
    }
    return base.Last() == L'\\' || inner.At(base.Length()) == L'\\';
}

int CreatedNameLength(const wchar_t* name, int length)
{
    while (length > 0 && (name[length - 1] == L'.' || name[length - 1] == L' ')) {
        --length;
    }
    return length;
}

bool IsPlainFileName(const WString& name)
{
    if (name.IsEmpty() || CreatedNameLength(name.c_str(), name.Length()) != name.Length()) {
        return false;
    }
    for (int i = 0; i < name.Length(); ++i) {
        wchar_t unit = name.At(i);
        if (unit < 0x20 || wcschr(L"\\/:*?\"<>|", unit)) {
            return false;
        }
    }
    return true;
}
