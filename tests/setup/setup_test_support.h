// Shared pieces of the setup tests: seeded shell classes in the private
// hive and registry read-back.
#pragma once

#include <windows.h>

#include <string>

#include "common/registry.h"
#include "common/wstring.h"

// The classes the tests give .zip and .cab in the private hive.
const wchar_t kTestZipClass[] = L"ZupakoTest.zip";
const wchar_t kTestCabClass[] = L"ZupakoTest.cab";

// Writes a text value under HKCU (created as needed); name null: default.
void SeedText(const WString& key, const wchar_t* name, const WString& value);
// Gives .zip and .cab their test classes in HKCU\Software\Classes.
void SeedShellClasses();
// The twenty program files as stand-ins in a new folder, as install wants
// them there.
void MakeStandInInstallFolder(const WString& folder);
// A text value under HKCU, or "<missing>".
std::wstring RegText(const WString& key, const wchar_t* name = nullptr);
bool RegKeyExists(const WString& key);
// A DWORD value of the product key, or -1 when missing or of another type.
long long ProductNumber(const wchar_t* name);

std::string Narrow(const WString& text);
