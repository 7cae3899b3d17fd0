// The texts that registry values name as "@module,-id", such as the New
// menu's MenuText and ItemName, read as the 64-bit shell of Windows reads
// them: the module is loaded as data, never as code, so a program of either
// width gives its strings to a reader of either width.
#pragma once

#include <string>

// String id of the module that "@path,-id" names; empty when the reference
// has another form, the module cannot be loaded or holds no such string.
std::wstring IndirectString(const std::wstring& reference);
