#include "setup/class_registry.h"

#include "common/registry.h"

namespace {

RegistryObserver* g_observer = nullptr;

WString FullPath(const WString& subKey) { return WString(kClassesKeyPath) + L"\\" + subKey; }

bool Observe(const wchar_t* operation, const WString& key, const WString& data = WString())
{
    return g_observer == nullptr || g_observer->Touch(RegistryTouch{operation, key, RegistryViewFlags(), data});
}

}  // namespace

RegistryObserver* SetRegistryObserver(RegistryObserver* observer)
{
    RegistryObserver* previous = g_observer;
    g_observer = observer;
    return previous;
}

bool ObserveRegistry(const wchar_t* operation, const WString& key, const WString& data)
{
    return Observe(operation, key, data);
}

WString ShellClassName(const wchar_t* extension)
{
    WString name;
    // The user's key may exist for other reasons (install writes
    // .cab\ShellNew there) without naming a class; the merged view then
    // gives the machine's value.
    RegKey user(HKEY_CURRENT_USER, FullPath(extension), KEY_READ);
    if (user.IsOpen() && user.ReadText(nullptr, name) && !name.IsEmpty()) {
        return name;
    }
    name.Clear();
    RegKey machine(HKEY_LOCAL_MACHINE, FullPath(extension), KEY_READ);
    if (machine.IsOpen()) {
        machine.ReadText(nullptr, name);
    }
    return name;
}

WString ClassRegistry::ReadText(const WString& subKey, const wchar_t* name)
{
    WString value;
    RegKey key(HKEY_CURRENT_USER, FullPath(subKey), KEY_READ);
    if (key.IsOpen()) {
        key.ReadText(name, value);
    }
    return value;
}

bool ClassRegistry::KeyExists(const WString& subKey)
{
    RegKey key(HKEY_CURRENT_USER, FullPath(subKey), KEY_READ);
    return key.IsOpen();
}

bool ClassRegistry::WriteText(const WString& subKey, const wchar_t* name, const WString& value)
{
    if (!Observe(L"write", subKey, value)) {
        return false;
    }
    RegKey key(HKEY_CURRENT_USER, FullPath(subKey), KEY_ALL_ACCESS, true);
    return key.IsOpen() && key.WriteText(name, value);
}

bool ClassRegistry::WriteBytes(const WString& subKey, const wchar_t* name, const void* bytes, DWORD size)
{
    if (!Observe(L"write", subKey)) {
        return false;
    }
    RegKey key(HKEY_CURRENT_USER, FullPath(subKey), KEY_ALL_ACCESS, true);
    return key.IsOpen() && key.WriteBytes(name, bytes, size);
}

bool ClassRegistry::DeleteKey(const WString& subKey)
{
    if (!Observe(L"delete-key", subKey)) {
        return false;
    }
    LONG result = RegDeleteKeyExW(HKEY_CURRENT_USER, FullPath(subKey).c_str(), RegistryViewFlags(), 0);
    return result == ERROR_SUCCESS || result == ERROR_FILE_NOT_FOUND;
}

bool ClassRegistry::DeleteKeyIfEmpty(const WString& subKey)
{
    DWORD subKeys = 0;
    DWORD values = 0;
    DWORD longest = 0;
    {
        RegKey key(HKEY_CURRENT_USER, FullPath(subKey), KEY_READ);
        if (!key.IsOpen() || !key.QueryCounts(subKeys, values, longest) || subKeys != 0 || values != 0) {
            return false;
        }
    }
    return DeleteKey(subKey);
}

bool ClassRegistry::DeleteValue(const WString& subKey, const wchar_t* name)
{
    if (!Observe(L"delete-value", subKey)) {
        return false;
    }
    RegKey key(HKEY_CURRENT_USER, FullPath(subKey), KEY_SET_VALUE);
    if (key.IsOpen()) {
        key.DeleteValue(name);
    }
    return key.LastError() == ERROR_SUCCESS || key.LastError() == ERROR_FILE_NOT_FOUND;
}
