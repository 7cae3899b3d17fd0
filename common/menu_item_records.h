// The item data of the programs' menu items. An owner-drawn item has no
// text the system knows of, so a screen reader finds its name through the
// item data: Windows' convention is a pointer to a record that begins with
// MSAAMENUINFO (signature, length, text). The record then carries the
// owner's own number for the item. Every item the programs make but a
// separator gets one, owner-drawn or not, so that item data always means
// the same.
#pragma once

#include <windows.h>
#include <oleacc.h>

#include <cstddef>
#include <deque>
#include <type_traits>

#include "common/wstring.h"

struct MenuItemRecord {
    MSAAMENUINFO accessible;
    int row;
};
static_assert(std::is_standard_layout<MenuItemRecord>::value && offsetof(MenuItemRecord, accessible) == 0,
              "a screen reader reads MSAAMENUINFO at the start of the item data");

// Records in the order they were made, each with its own copy of the text.
// Nothing moves while the store lives, as menus hold pointers into it: the
// store must outlive every menu that uses its records.
class MenuItemRecords {
public:
    MenuItemRecords() = default;
    MenuItemRecords(const MenuItemRecords&) = delete;
    MenuItemRecords& operator=(const MenuItemRecords&) = delete;

    // A record for row with the text the item shows; the value is the
    // item's data.
    ULONG_PTR Add(int row, const WString& text);
    // Another text for the nth record made.
    void SetName(int index, const WString& text);
    int Count() const { return static_cast<int>(records_.size()); }

    // The row of item data made by Add; -1 for anything else.
    static int RowOf(ULONG_PTR itemData);

private:
    struct Stored {
        MenuItemRecord record;
        WString name;
    };
    std::deque<Stored> records_;
};
