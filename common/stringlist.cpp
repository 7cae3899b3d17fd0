#include "common/stringlist.h"

int CompareNames(const WString& a, const WString& b)
{
    return lstrcmpW(a.c_str(), b.c_str());
}

std::string NameSortKey(const wchar_t* name, int length)
{
    // lstrcmpW compares under the thread's locale without flags.
    LCID locale = GetThreadLocale();
    char buffer[512];
    int size = LCMapStringW(locale, LCMAP_SORTKEY, name, length, reinterpret_cast<wchar_t*>(buffer), sizeof buffer);
    if (size > 0) {
        return std::string(buffer, static_cast<size_t>(size));
    }
    size = LCMapStringW(locale, LCMAP_SORTKEY, name, length, nullptr, 0);
    std::string key(size > 0 ? static_cast<size_t>(size) : 0, '\0');
    if (size > 0) {
        LCMapStringW(locale, LCMAP_SORTKEY, name, length, reinterpret_cast<wchar_t*>(&key[0]), size);
    }
    return key;
}

int CompareTreeOrder(const WString& a, const WString& b)
{
    const wchar_t* pa = a.c_str();
    const wchar_t* pb = b.c_str();
    for (;;) {
        const wchar_t* endA = wcschr(pa, L'\\');
        const wchar_t* endB = wcschr(pb, L'\\');
        int lengthA = endA ? static_cast<int>(endA - pa) : static_cast<int>(wcslen(pa));
        int lengthB = endB ? static_cast<int>(endB - pb) : static_cast<int>(wcslen(pb));
        int order = CompareStringW(LOCALE_USER_DEFAULT, NORM_IGNORECASE, pa, lengthA, pb, lengthB);
        if (order != CSTR_EQUAL) {
            return order - CSTR_EQUAL;
        }
        if (endA && endB) {
            pa = endA + 1;
            pb = endB + 1;
            continue;
        }
        if (!endA && endB) {
            return -1;
        }
        if (endA && !endB) {
            return 1;
        }
        return 0;
    }
}

void StringList::SplitLines(const WString& text)
{
    Clear();
    const wchar_t* p = text.c_str();
    int start = 0;
    int length = text.Length();
    for (int i = 0; i < length; ++i) {
        if (p[i] == L'\r' || p[i] == L'\n') {
            Insert(WString(p + start, i - start));
            if (p[i] == L'\r' && i + 1 < length && p[i + 1] == L'\n') {
                ++i;
            }
            start = i + 1;
        }
    }
    if (start < length) {
        Insert(WString(p + start, length - start));
    }
}
