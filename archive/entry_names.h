// Checks of names stored inside archives before they become paths on disk.
#pragma once

#include "common/wstring.h"

// True when the relative name stays below the folder it is joined to: no
// empty name, no absolute or drive path, no UNC or device path, no ".."
// or "." component (also with trailing dots or blanks, which Windows drops),
// no ':' (drive letters and alternate data streams), no reserved device name
// (CON, NUL, COM1 ...), no control character or wildcard. Both backslash and
// slash count as separators, as they do for Windows.
bool IsSafeRelativeName(const WString& name);
