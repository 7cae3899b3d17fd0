// Redirects HKEY_CURRENT_USER of this process to a private key for the
// lifetime of the object, so that settings and registrations written by a
// test never meet the user's or another test program's.
#pragma once

#include <windows.h>

#include "common/handles.h"
#include "common/wstring.h"

class PrivateSettings {
public:
    PrivateSettings();
    ~PrivateSettings();
    PrivateSettings(const PrivateSettings&) = delete;
    PrivateSettings& operator=(const PrivateSettings&) = delete;

    // Values of the product key.
    void Set(const wchar_t* name, DWORD value);
    void SetText(const wchar_t* name, const WString& value);
    void Remove(const wchar_t* name);

private:
    ScopedHKey root_;
    ScopedHKey settings_;
};
