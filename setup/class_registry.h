// The shell registration lives under the current user's Software\Classes.
// Every key the setup program writes or removes there goes through this
// class, which works in the registry view chosen at that moment and tells an
// observer (tests) which key was touched in which view.
#pragma once

#include <windows.h>

#include "common/wstring.h"

// The class id of the drop handler.
const wchar_t kHandlerClassId[] = L"{6A1C2E47-0B93-4D5F-8E21-3C7A9B04F15D}";
const wchar_t kClassesKeyPath[] = L"Software\\Classes";

struct RegistryTouch {
    // "write" (a value set, its key created when missing), "delete-value"
    // or "delete-key".
    const wchar_t* operation;
    WString key;  // relative to Software\Classes
    REGSAM view;  // KEY_WOW64_32KEY, KEY_WOW64_64KEY or 0
    WString data; // the text written, if any
};

class RegistryObserver {
public:
    virtual ~RegistryObserver() = default;
    // Returns false to make the operation fail as a refused write would.
    virtual bool Touch(const RegistryTouch& touch) = 0;
};

// Installs an observer for every later operation (null: none); returns the
// one it replaces.
RegistryObserver* SetRegistryObserver(RegistryObserver* observer);
// Reports an operation outside Software\Classes (key relative to HKCU)
// to the observer; false when the observer refuses it.
bool ObserveRegistry(const wchar_t* operation, const WString& key, const WString& data = WString());

// The class the shell uses for an extension such as ".zip": the user's own
// registration when there is one, else the machine's; empty when none.
WString ShellClassName(const wchar_t* extension);

class ClassRegistry {
public:
    // The text value (name null: the default value); empty when missing.
    WString ReadText(const WString& subKey, const wchar_t* name = nullptr);
    bool KeyExists(const WString& subKey);
    // Creates the key when missing and writes the value.
    bool WriteText(const WString& subKey, const wchar_t* name, const WString& value);
    bool WriteBytes(const WString& subKey, const wchar_t* name, const void* bytes, DWORD size);
    // Deletes one key, in the current view; a key with sub-keys stays.
    // True when the key is gone, also when it was never there.
    bool DeleteKey(const WString& subKey);
    // Deletes the key only when it holds neither keys nor values.
    bool DeleteKeyIfEmpty(const WString& subKey);
    // True when the value is gone, also when it or its key was never there.
    bool DeleteValue(const WString& subKey, const wchar_t* name);
};
