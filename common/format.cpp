#include "common/format.h"

#include <cwchar>

WString FormatGrouped(uint64_t value)
{
    const uint64_t kGroup = 1000;
    unsigned g0 = static_cast<unsigned>(value % kGroup);
    unsigned g1 = static_cast<unsigned>(value / kGroup % kGroup);
    unsigned g2 = static_cast<unsigned>(value / (kGroup * kGroup) % kGroup);
    unsigned g3 = static_cast<unsigned>(value / (kGroup * kGroup * kGroup) % kGroup);
    // The leading group of the five-group form carries every higher digit.
    uint64_t top = value / (kGroup * kGroup * kGroup * kGroup);
    wchar_t text[48];
    if (top > 0) {
        swprintf(text, 48, L"%llu,%03u,%03u,%03u,%03u", static_cast<unsigned long long>(top), g3, g2, g1, g0);
    } else if (g3 > 0) {
        swprintf(text, 48, L"%u,%03u,%03u,%03u", g3, g2, g1, g0);
    } else if (g2 > 0) {
        swprintf(text, 48, L"%u,%03u,%03u", g2, g1, g0);
    } else if (g1 > 0) {
        swprintf(text, 48, L"%u,%03u", g1, g0);
    } else {
        swprintf(text, 48, L"%u", g0);
    }
    return WString(text);
}

WString FormatFileTime(const FILETIME& utc)
{
    static const wchar_t* const kWeekdays[] = {L"日", L"月", L"火", L"水", L"木", L"金", L"土"};
    FILETIME local;
    SYSTEMTIME fields;
    if ((utc.dwLowDateTime == 0 && utc.dwHighDateTime == 0) || !FileTimeToLocalFileTime(&utc, &local) ||
        !FileTimeToSystemTime(&local, &fields) || fields.wDayOfWeek > 6) {
        return WString(L"(不明)");
    }
    wchar_t text[64];
    swprintf(text, 64, L"%d/%02d/%02d(%ls)%02d:%02d:%02d", fields.wYear, fields.wMonth, fields.wDay,
             kWeekdays[fields.wDayOfWeek], fields.wHour, fields.wMinute, fields.wSecond);
    return WString(text);
}
