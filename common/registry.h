// Registry access for settings and the shell registration.
#pragma once

#include <windows.h>

#include "common/handles.h"
#include "common/wstring.h"

// The view every later open or create uses: KEY_WOW64_64KEY when true,
// KEY_WOW64_32KEY when false. Until it is set, the process's own view.
void RegistryView(bool use64BitView);
REGSAM RegistryViewFlags();

class RegKey {
public:
    RegKey() = default;
    // Opens (or, with create, makes) root\subKey with the given rights
    // combined with the registry view.
    RegKey(HKEY root, const WString& subKey, REGSAM access, bool create = false);
    ~RegKey() { Close(); }
    RegKey(const RegKey&) = delete;
    RegKey& operator=(const RegKey&) = delete;

    bool Open(HKEY root, const WString& subKey, REGSAM access, bool create = false);
    bool IsOpen() const { return key_.IsValid(); }
    HKEY Handle() const { return key_.Get(); }
    LONG LastError() const { return lastError_; }
    // REG_CREATED_NEW_KEY or REG_OPENED_EXISTING_KEY after a create.
    DWORD Disposition() const { return disposition_; }

    // Reads leave the destination unchanged when they fail.
    bool ReadNumber(const wchar_t* name, DWORD& value);
    bool ReadFlag(const wchar_t* name, bool& value);
    bool ReadText(const wchar_t* name, WString& value, bool allowExpandable = false);
    bool ReadBytes(const wchar_t* name, void* buffer, DWORD expectedSize);

    bool WriteNumber(const wchar_t* name, DWORD value);
    bool WriteFlag(const wchar_t* name, bool value);
    bool WriteText(const wchar_t* name, const WString& value);
    bool WriteBytes(const wchar_t* name, const void* bytes, DWORD size);

    bool DeleteValue(const wchar_t* name);
    bool DeleteSubKey(const wchar_t* name);
    bool QueryCounts(DWORD& subKeys, DWORD& values, DWORD& longestValueLength);
    bool Flush();
    // Flushes, then closes.
    void Close();

private:
    bool Record(LONG result)
    {
        lastError_ = result;
        return result == ERROR_SUCCESS;
    }

    ScopedHKey key_;
    LONG lastError_ = 0;
    DWORD disposition_ = 0;
};
