// How sizes and times are shown to the user.
#pragma once

#include <windows.h>
#include <cstdint>

#include "common/wstring.h"

// Decimal digits with a comma every three: 1234567 gives 1,234,567.
WString FormatGrouped(uint64_t value);

// A UTC file time as local "2024/01/07(日)09:05:03", or "(不明)" when it is
// zero or cannot be converted.
WString FormatFileTime(const FILETIME& utc);
