// What a screen reader learns of a menu item from its item data: the name
// in the MSAAMENUINFO the data points at.
#pragma once

#include <windows.h>

#include <string>

struct AccessibleItem {
    bool hasRecord;  // the data points at a record with the signature
    std::wstring name;
};

AccessibleItem AccessibleItemAt(HMENU menu, int position);
