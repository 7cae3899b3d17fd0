#include "support/user_classes.h"

namespace {

const wchar_t kClasses[] = L"Software\\Classes\\";
// The value that marks a machine registration as a test's copy.
const wchar_t kCopyMark[] = L"ZupakoTestCopy";

std::vector<BYTE> ReadValue(HKEY root, const std::wstring& subKey, const wchar_t* name, DWORD* type, bool& found)
{
    HKEY opened = nullptr;
    found = RegOpenKeyExW(root, subKey.c_str(), 0, KEY_READ, &opened) == ERROR_SUCCESS;
    if (!found) {
        return {};
    }
    ScopedHKey key(opened);
    DWORD size = 0;
    if (RegQueryValueExW(key.Get(), name, nullptr, type, nullptr, &size) != ERROR_SUCCESS) {
        return {};
    }
    std::vector<BYTE> data(size);
    if (RegQueryValueExW(key.Get(), name, nullptr, type, data.data(), &size) != ERROR_SUCCESS) {
        return {};
    }
    data.resize(size);
    return data;
}

}  // namespace

std::vector<BYTE> MergedClassValue(const std::wstring& subKey, const wchar_t* name, DWORD* type)
{
    DWORD foundType = REG_NONE;
    bool found = false;
    std::vector<BYTE> data = ReadValue(HKEY_CURRENT_USER, kClasses + subKey, name, &foundType, found);
    if (data.empty()) {
        data = ReadValue(HKEY_LOCAL_MACHINE, kClasses + subKey, name, &foundType, found);
    }
    if (type) {
        *type = foundType;
    }
    return data;
}

std::wstring MergedClassText(const std::wstring& subKey, const wchar_t* name)
{
    DWORD type = REG_NONE;
    std::vector<BYTE> data = MergedClassValue(subKey, name, &type);
    if ((type != REG_SZ && type != REG_EXPAND_SZ) || data.size() < sizeof(wchar_t)) {
        return std::wstring();
    }
    std::wstring text(reinterpret_cast<const wchar_t*>(data.data()), data.size() / sizeof(wchar_t));
    return text.substr(0, text.find(L'\0'));
}

UserClassForCom::UserClassForCom(const std::wstring& classId) : key_(std::wstring(kClasses) + L"CLSID\\" + classId)
{
    HKEY user = nullptr;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, key_.c_str(), 0, KEY_READ, &user) != ERROR_SUCCESS) {
        return;
    }
    ScopedHKey source(user);
    HKEY machine = nullptr;
    DWORD disposition = 0;
    // A machine registration of the class that was there before is the
    // machine's own: it is neither overwritten nor removed.
    if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, key_.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &machine,
                        &disposition) != ERROR_SUCCESS) {
        return;
    }
    ScopedHKey target(machine);
    // A copy that a test left when it was ended before it could remove it
    // carries the mark and is taken over.
    created_ = disposition == REG_CREATED_NEW_KEY ||
               RegQueryValueExW(target.Get(), kCopyMark, nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS;
    DWORD mark = GetCurrentProcessId();
    copied_ = created_ && RegCopyTreeW(source.Get(), nullptr, target.Get()) == ERROR_SUCCESS &&
              RegSetValueExW(target.Get(), kCopyMark, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&mark),
                             sizeof mark) == ERROR_SUCCESS;
}

UserClassForCom::~UserClassForCom()
{
    if (created_) {
        RegDeleteTreeW(HKEY_LOCAL_MACHINE, key_.c_str());
    }
}
