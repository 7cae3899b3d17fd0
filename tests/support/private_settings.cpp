#include "support/private_settings.h"

#include "common/settings.h"

PrivateSettings::PrivateSettings()
{
    WString path = L"Software\\ZupakoTests\\" + WString::FromInt(GetCurrentProcessId());
    HKEY root = nullptr;
    RegCreateKeyExW(HKEY_CURRENT_USER, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &root, nullptr);
    root_.Reset(root);
    HKEY settings = nullptr;
    RegCreateKeyExW(root, kProductKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &settings, nullptr);
    settings_.Reset(settings);
    RegOverridePredefKey(HKEY_CURRENT_USER, root);
}

PrivateSettings::~PrivateSettings()
{
    RegOverridePredefKey(HKEY_CURRENT_USER, nullptr);
    settings_.Reset();
    RegDeleteTreeW(root_.Get(), nullptr);
    root_.Reset();
    WString path = L"Software\\ZupakoTests\\" + WString::FromInt(GetCurrentProcessId());
    RegDeleteKeyW(HKEY_CURRENT_USER, path.c_str());
    // The common parent goes with the last test program that used it; one
    // that still holds another program's key stays.
    RegDeleteKeyW(HKEY_CURRENT_USER, L"Software\\ZupakoTests");
}

void PrivateSettings::Set(const wchar_t* name, DWORD value)
{
    RegSetValueExW(settings_.Get(), name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof value);
}

void PrivateSettings::SetText(const wchar_t* name, const WString& value)
{
    RegSetValueExW(settings_.Get(), name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                   static_cast<DWORD>((value.Length() + 1) * sizeof(wchar_t)));
}

void PrivateSettings::Remove(const wchar_t* name) { RegDeleteValueW(settings_.Get(), name); }
