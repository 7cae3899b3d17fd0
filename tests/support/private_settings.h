// Redirects HKEY_CURRENT_USER of the test program to a private key for the
// lifetime of the object, so that settings and registrations written by a
// test never meet the user's or another test program's.
#pragma once

#include "common/settings_override.h"

class PrivateSettings : public SettingsOverride {
public:
    PrivateSettings() : SettingsOverride(L"Software\\ZupakoTests") {}
};
