// The one rule for names stored inside archives (ZIP and CAB alike) before
// they become paths on disk, and the texts that refuse a name.
#pragma once

#include <string>
#include <vector>

#include "common/wstring.h"

// Why a stored name cannot become a path below the destination.
enum class NameFault {
    kNone,
    // Empty, absolute, drive or UNC path, a ".." component or one of
    // dots and blanks (which Windows drops), an empty component, a name of
    // nothing but "." components (the destination itself), or a ':' (drive
    // letters and alternate data streams).
    kLeavesFolder,
    // A component that Windows maps to a device whatever its extension and
    // case: CON, PRN, AUX, NUL, COM0-9, LPT0-9 (and the superscript digits),
    // CONIN$, CONOUT$, CLOCK$. Data written there is lost.
    kDeviceName,
    // A control character or one of * ? " < > |.
    kInvalidCharacter,
};

// Checks a relative name component by component. Both backslash and slash
// count as separators, as they do for Windows. A folder name may end with
// one separator. A "." component names the folder it stands in and is
// passed over.
NameFault CheckEntryName(const WString& name);

// The name an entry is seen and extracted by, so that the file written,
// its stream, the listing and the duplicate and overwrite checks all use
// one name. The "." components are dropped, each with the separator after
// it ("./docs/readme.txt" becomes "docs/readme.txt", "a/./b" "a/b"), and
// every other component becomes the name Windows creates for it, without
// its trailing dots and blanks ("run.bat." becomes "run.bat"). A component
// of nothing but dots and blanks, and an empty one, stay as they are for
// the check to refuse. A name of nothing but "." components becomes empty:
// the folder the archive is extracted to.
void MapEntryName(std::vector<wchar_t>& units);
// The same for a name already decoded; a name of nothing but "."
// components stays as it is, so that the name check refuses it by name.
WString MappedEntryName(const WString& name);

// The refusal of an entry: its name (with backslashes) and the reason on
// the next line.
WString RefusedNameText(const WString& entry, NameFault fault);

// The bytes a name is stored with: the ANSI code page when every character
// has a form there (other tools and older readers expect that), otherwise
// UTF-8 with utf8 set, so that no name is lost or changed.
std::string EncodeStoredName(const WString& name, bool& utf8);
