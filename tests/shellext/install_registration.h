// The drop handler's class as the real install code registers it, for the
// hosts that create the handler through COM.
#pragma once

#include <string>

// The handler's class id as the registry writes it.
std::wstring HandlerClassIdText();

// Runs the install for an install folder (its Start-menu folder below it)
// with every option on, into the current user's hive as this process sees
// it. Empty when everything was written; otherwise what failed.
std::wstring InstallForFolder(const std::wstring& folder);
