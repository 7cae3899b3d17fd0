#include "common/settings_override.h"

#include "common/settings.h"

SettingsOverride::SettingsOverride(const wchar_t* parent)
    : parent_(parent), path_(parent_ + L"\\" + WString::FromInt(GetCurrentProcessId()))
{
    HKEY root = nullptr;
    RegCreateKeyExW(HKEY_CURRENT_USER, path_.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &root, nullptr);
    root_.Reset(root);
    HKEY settings = nullptr;
    RegCreateKeyExW(root, kProductKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &settings, nullptr);
    settings_.Reset(settings);
    RegOverridePredefKey(HKEY_CURRENT_USER, root);
}

SettingsOverride::~SettingsOverride()
{
    RegOverridePredefKey(HKEY_CURRENT_USER, nullptr);
    settings_.Reset();
    RegDeleteTreeW(root_.Get(), nullptr);
    root_.Reset();
    RegDeleteKeyW(HKEY_CURRENT_USER, path_.c_str());
    // A parent that still holds another process's key stays.
    RegDeleteKeyW(HKEY_CURRENT_USER, parent_.c_str());
}

void SettingsOverride::Set(const wchar_t* name, DWORD value)
{
    RegSetValueExW(settings_.Get(), name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof value);
}

void SettingsOverride::SetText(const wchar_t* name, const WString& value)
{
    RegSetValueExW(settings_.Get(), name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                   static_cast<DWORD>((value.Length() + 1) * sizeof(wchar_t)));
}

void SettingsOverride::Remove(const wchar_t* name) { RegDeleteValueW(settings_.Get(), name); }
