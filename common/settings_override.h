// Redirects HKEY_CURRENT_USER of this process to a private key for the
// lifetime of the object, so that settings and registrations written or read
// under it never meet the user's or another process's. The diagnostic tool
// runs the engines with settings from its command line this way, and every
// test program keeps its own settings this way.
#pragma once

#include <windows.h>

#include "common/handles.h"
#include "common/wstring.h"

class SettingsOverride {
public:
    // parent: the key under the real HKEY_CURRENT_USER that holds one
    // private key per process, named after the process id. It goes with the
    // last process that used it.
    explicit SettingsOverride(const wchar_t* parent);
    ~SettingsOverride();
    SettingsOverride(const SettingsOverride&) = delete;
    SettingsOverride& operator=(const SettingsOverride&) = delete;

    // Values of the product key.
    void Set(const wchar_t* name, DWORD value);
    void SetText(const wchar_t* name, const WString& value);
    void Remove(const wchar_t* name);

private:
    WString parent_;
    WString path_;
    ScopedHKey root_;
    ScopedHKey settings_;
};
