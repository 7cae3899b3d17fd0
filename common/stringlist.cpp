#include "common/stringlist.h"

#include <algorithm>
#include <cstring>

int CompareNames(const WString& a, const WString& b)
{
    return lstrcmpW(a.c_str(), b.c_str());
}

namespace {

// Writes the key of a name at out, which has room bytes; returns its size,
// 0 when it does not fit. lstrcmpW compares under the thread's locale
// without flags, and so does the key.
int WriteNameSortKey(const wchar_t* name, int length, uint8_t* out, int room)
{
    return LCMapStringW(GetThreadLocale(), LCMAP_SORTKEY, name, length, reinterpret_cast<wchar_t*>(out), room);
}

int NameSortKeySize(const wchar_t* name, int length)
{
    int size = LCMapStringW(GetThreadLocale(), LCMAP_SORTKEY, name, length, nullptr, 0);
    return size > 0 ? size : 0;
}

// Most keys fit the room first offered; a longer one is measured first.
int FirstRoom(int length) { return 64 + 8 * length; }

uint64_t BigEndianAt(const uint8_t* bytes)
{
    uint64_t value;
    memcpy(&value, bytes, sizeof value);
    return __builtin_bswap64(value);
}

// Byte order of two byte runs; the C library's memcmp goes byte by byte
// under some runtimes, and a sort of many long keys spends its time there.
int CompareBytes(const uint8_t* a, size_t lengthA, const uint8_t* b, size_t lengthB)
{
    size_t common = lengthA < lengthB ? lengthA : lengthB;
    size_t i = 0;
    for (; i + 8 <= common; i += 8) {
        uint64_t x = BigEndianAt(a + i);
        uint64_t y = BigEndianAt(b + i);
        if (x != y) {
            return x < y ? -1 : 1;
        }
    }
    for (; i < common; ++i) {
        if (a[i] != b[i]) {
            return a[i] < b[i] ? -1 : 1;
        }
    }
    return lengthA == lengthB ? 0 : (lengthA < lengthB ? -1 : 1);
}

}  // namespace

std::string NameSortKey(const wchar_t* name, int length)
{
    std::string key(static_cast<size_t>(FirstRoom(length)), '\0');
    int size = WriteNameSortKey(name, length, reinterpret_cast<uint8_t*>(&key[0]), static_cast<int>(key.size()));
    if (size <= 0) {
        key.assign(static_cast<size_t>(NameSortKeySize(name, length)), '\0');
        size = key.empty() ? 0 : WriteNameSortKey(name, length, reinterpret_cast<uint8_t*>(&key[0]),
                                                  static_cast<int>(key.size()));
    }
    key.resize(size > 0 ? static_cast<size_t>(size) : 0);
    return key;
}

void SortKeys::Grow(size_t room)
{
    if (capacity_ - used_ >= room) {
        return;
    }
    size_t capacity = capacity_ * 2 > used_ + room ? capacity_ * 2 : used_ + room + 4096;
    std::unique_ptr<uint8_t[]> grown(new uint8_t[capacity]);
    if (used_ > 0) {
        memcpy(grown.get(), bytes_.get(), used_);
    }
    bytes_ = std::move(grown);
    capacity_ = capacity;
}

int SortKeys::Add(const wchar_t* name, int length)
{
    int room = FirstRoom(length);
    Grow(static_cast<size_t>(room));
    int size = WriteNameSortKey(name, length, bytes_.get() + used_, room);
    if (size <= 0) {
        room = NameSortKeySize(name, length);
        Grow(static_cast<size_t>(room));
        size = room > 0 ? WriteNameSortKey(name, length, bytes_.get() + used_, room) : 0;
    }
    used_ += size > 0 ? static_cast<size_t>(size) : 0;
    starts_.push_back(used_);
    return Count() - 1;
}

void SortKeys::Reserve(size_t keys, size_t bytes)
{
    starts_.reserve(keys + 1);
    Grow(bytes);
}

int SortKeys::Compare(int a, int b) const { return CompareBytes(Bytes(a), Length(a), Bytes(b), Length(b)); }

uint64_t SortKeys::ChunkAt(int key, size_t depth) const
{
    size_t length = Length(key);
    if (depth + 8 <= length) {
        return BigEndianAt(Bytes(key) + depth);
    }
    uint8_t chunk[8] = {};
    if (depth < length) {
        memcpy(chunk, Bytes(key) + depth, length - depth);
    }
    return BigEndianAt(chunk);
}

void SortKeys::Sort(std::vector<int>& numbers, std::vector<char>& equalToPrevious) const
{
    std::vector<Slot> slots;
    slots.reserve(numbers.size());
    for (int key : numbers) {
        slots.push_back(Slot{0, key, false});
    }
    // Ranges still to sort, three values each: begin, end and depth. Kept
    // on a list of our own, as keys can be long enough to make recursion
    // run out of stack.
    std::vector<size_t> pending{0, slots.size(), 0};
    while (!pending.empty()) {
        size_t depth = pending.back();
        pending.pop_back();
        size_t end = pending.back();
        pending.pop_back();
        size_t begin = pending.back();
        pending.pop_back();
        SortRange(slots, begin, end, depth, pending);
    }
    equalToPrevious.assign(slots.size(), 0);
    for (size_t i = 0; i < slots.size(); ++i) {
        numbers[i] = slots[i].key;
        equalToPrevious[i] = slots[i].equalToPrevious ? 1 : 0;
    }
}

// Sorts the slots of one range, whose keys agree on their first depth
// bytes, by the next eight bytes; ranges that agree on those too are left
// on pending for the next eight.
void SortKeys::SortRange(std::vector<Slot>& slots, size_t begin, size_t end, size_t depth,
                         std::vector<size_t>& pending) const
{
    for (size_t i = begin; i < end; ++i) {
        slots[i].chunk = ChunkAt(slots[i].key, depth);
    }
    auto byChunk = [](const Slot& a, const Slot& b) { return a.chunk != b.chunk ? a.chunk < b.chunk : a.key < b.key; };
    std::sort(slots.begin() + static_cast<long>(begin), slots.begin() + static_cast<long>(end), byChunk);
    size_t run = begin;
    while (run < end) {
        size_t stop = run + 1;
        while (stop < end && slots[stop].chunk == slots[run].chunk) {
            ++stop;
        }
        if (stop - run > 1) {
            // Keys that end within these eight bytes are prefixes of the
            // longer ones and come first: the shorter first, keys of equal
            // length being equal keys.
            size_t limit = depth + 8;
            auto ends = [this, limit](const Slot& slot) { return Length(slot.key) <= limit; };
            auto middle = std::stable_partition(slots.begin() + static_cast<long>(run),
                                                slots.begin() + static_cast<long>(stop), ends);
            size_t ended = static_cast<size_t>(middle - slots.begin());
            std::sort(slots.begin() + static_cast<long>(run), middle, [this](const Slot& a, const Slot& b) {
                return Length(a.key) != Length(b.key) ? Length(a.key) < Length(b.key) : a.key < b.key;
            });
            for (size_t i = run + 1; i < ended; ++i) {
                slots[i].equalToPrevious = Length(slots[i].key) == Length(slots[i - 1].key);
            }
            if (stop - ended > 1) {
                pending.insert(pending.end(), {ended, stop, limit});
            }
        }
        run = stop;
    }
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
