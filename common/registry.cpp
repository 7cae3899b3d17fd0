#include "common/registry.h"

#include <vector>

namespace {

REGSAM g_view = 0;

}  // namespace

void RegistryView(bool use64BitView) { g_view = use64BitView ? KEY_WOW64_64KEY : KEY_WOW64_32KEY; }

REGSAM RegistryViewFlags() { return g_view; }

RegKey::RegKey(HKEY root, const WString& subKey, REGSAM access, bool create) { Open(root, subKey, access, create); }

bool RegKey::Open(HKEY root, const WString& subKey, REGSAM access, bool create)
{
    Close();
    HKEY key = nullptr;
    LONG result;
    if (create) {
        result = RegCreateKeyExW(root, subKey.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, access | g_view, nullptr,
                                 &key, &disposition_);
    } else {
        result = RegOpenKeyExW(root, subKey.c_str(), 0, access | g_view, &key);
    }
    if (result == ERROR_SUCCESS) {
        key_.Reset(key);
    }
    return Record(result);
}

bool RegKey::ReadNumber(const wchar_t* name, DWORD& value)
{
    DWORD type = 0;
    DWORD data = 0;
    DWORD size = sizeof data;
    if (!Record(RegQueryValueExW(key_.Get(), name, nullptr, &type, reinterpret_cast<BYTE*>(&data), &size))) {
        return false;
    }
    if (type != REG_DWORD || size != sizeof data) {
        lastError_ = ERROR_INVALID_DATA;
        return false;
    }
    value = data;
    return true;
}

bool RegKey::ReadFlag(const wchar_t* name, bool& value)
{
    DWORD number = 0;
    if (!ReadNumber(name, number)) {
        return false;
    }
    value = number != 0;
    return true;
}

bool RegKey::ReadText(const wchar_t* name, WString& value, bool allowExpandable)
{
    DWORD type = 0;
    DWORD size = 0;
    if (!Record(RegQueryValueExW(key_.Get(), name, nullptr, &type, nullptr, &size))) {
        return false;
    }
    if (type != REG_SZ && !(allowExpandable && type == REG_EXPAND_SZ)) {
        lastError_ = ERROR_INVALID_DATA;
        return false;
    }
    // Room for a terminator that the stored value may lack.
    DWORD units = size / sizeof(wchar_t) + 1;
    std::vector<wchar_t> buffer(units, L'\0');
    DWORD bytes = size;
    bool ok =
        Record(RegQueryValueExW(key_.Get(), name, nullptr, &type, reinterpret_cast<BYTE*>(buffer.data()), &bytes));
    if (ok) {
        DWORD length = bytes / sizeof(wchar_t);
        while (length > 0 && buffer[length - 1] == L'\0') {
            --length;
        }
        value = WString(buffer.data(), static_cast<int>(length));
    }
    return ok;
}

bool RegKey::ReadBytes(const wchar_t* name, void* buffer, DWORD expectedSize)
{
    DWORD type = 0;
    DWORD size = 0;
    if (!Record(RegQueryValueExW(key_.Get(), name, nullptr, &type, nullptr, &size))) {
        return false;
    }
    if (type != REG_BINARY || size != expectedSize) {
        lastError_ = ERROR_INVALID_DATA;
        return false;
    }
    return Record(RegQueryValueExW(key_.Get(), name, nullptr, &type, static_cast<BYTE*>(buffer), &size));
}

bool RegKey::WriteNumber(const wchar_t* name, DWORD value)
{
    return Record(RegSetValueExW(key_.Get(), name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof value));
}

bool RegKey::WriteFlag(const wchar_t* name, bool value) { return WriteNumber(name, value ? 1 : 0); }

bool RegKey::WriteText(const wchar_t* name, const WString& value)
{
    DWORD bytes = static_cast<DWORD>((value.Length() + 1) * sizeof(wchar_t));
    return Record(RegSetValueExW(key_.Get(), name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()), bytes));
}

bool RegKey::WriteBytes(const wchar_t* name, const void* bytes, DWORD size)
{
    return Record(RegSetValueExW(key_.Get(), name, 0, REG_BINARY, static_cast<const BYTE*>(bytes), size));
}

bool RegKey::DeleteValue(const wchar_t* name) { return Record(RegDeleteValueW(key_.Get(), name)); }

// In the view the key was opened in: a plain deletion would reach the
// process's own view and leave the other one's key behind.
bool RegKey::DeleteSubKey(const wchar_t* name) { return Record(RegDeleteKeyExW(key_.Get(), name, g_view, 0)); }

bool RegKey::QueryCounts(DWORD& subKeys, DWORD& values, DWORD& longestValueLength)
{
    return Record(RegQueryInfoKeyW(key_.Get(), nullptr, nullptr, nullptr, &subKeys, nullptr, nullptr, &values, nullptr,
                                   &longestValueLength, nullptr, nullptr));
}

bool RegKey::Flush() { return Record(RegFlushKey(key_.Get())); }

void RegKey::Close()
{
    if (key_.IsValid()) {
        RegFlushKey(key_.Get());
        key_.Reset();
    }
}
