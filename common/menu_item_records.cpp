#include "common/menu_item_records.h"

ULONG_PTR MenuItemRecords::Add(int row, const WString& text)
{
    records_.push_back(Stored{MenuItemRecord{{static_cast<DWORD>(MSAA_MENU_SIG), 0, nullptr}, row}, WString()});
    SetName(Count() - 1, text);
    return reinterpret_cast<ULONG_PTR>(&records_.back().record);
}

void MenuItemRecords::SetName(int index, const WString& text)
{
    Stored& stored = records_[static_cast<size_t>(index)];
    stored.name = text;
    stored.record.accessible.cchWText = static_cast<DWORD>(stored.name.Length());
    stored.record.accessible.pszWText = const_cast<wchar_t*>(stored.name.c_str());
}

int MenuItemRecords::RowOf(ULONG_PTR itemData)
{
    const auto* record = reinterpret_cast<const MenuItemRecord*>(itemData);
    if (!record || record->accessible.dwMSAASignature != static_cast<DWORD>(MSAA_MENU_SIG)) {
        return -1;
    }
    return record->row;
}
