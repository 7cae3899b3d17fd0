// The user's class registrations as the shell of Windows sees them.
// Windows merges the current user's Software\Classes over the machine's in
// HKEY_CLASSES_ROOT, and COM finds a class registered for the user alone.
// Wine 8 keeps HKEY_CLASSES_ROOT and COM to the machine's classes; a test
// that stands in for the shell makes the merge for what it needs.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "common/handles.h"

// A value of the merged view (subKey below Software\Classes): the user's
// value when the user's key has it, else the machine's; empty when neither
// has it.
std::vector<BYTE> MergedClassValue(const std::wstring& subKey, const wchar_t* name, DWORD* type = nullptr);
// The same for a text value; empty when it is missing or no text.
std::wstring MergedClassText(const std::wstring& subKey, const wchar_t* name = nullptr);

// Copies the user's registration of a COM class (CLSID\{id} with its keys,
// from HKEY_CURRENT_USER, redirected or not) into the machine's classes,
// where COM looks, and removes the copy again. The copy is marked, so that
// one left by a test that was ended early is replaced, never the machine's
// own registration.
class UserClassForCom {
public:
    explicit UserClassForCom(const std::wstring& classId);
    ~UserClassForCom();
    UserClassForCom(const UserClassForCom&) = delete;
    UserClassForCom& operator=(const UserClassForCom&) = delete;
    // False when the user has no such class, the machine has one of its
    // own, or the copy failed.
    bool Copied() const { return copied_; }

private:
    std::wstring key_;
    bool created_ = false;
    bool copied_ = false;
};
