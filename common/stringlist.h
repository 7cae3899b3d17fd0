// Growable lists of strings, each with an optional value beside it: the
// plain string list, the directory listing with file attributes, and (in the
// archive engine) the size list and the entry table. A sorted list keeps its
// items in ascending order on insert and finds by halving; an unsorted one
// appends and finds from the end.
#pragma once

#include <windows.h>
#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "common/wstring.h"

// Case-sensitive, locale-aware order of the sorted lists.
int CompareNames(const WString& a, const WString& b);
// The sort key of a name under the same locale and rules: keys compared
// byte by byte order names exactly as CompareNames does, and are equal
// exactly when it finds them equal. Sorting many names by precomputed keys
// costs one conversion per name instead of one comparison call per step.
std::string NameSortKey(const wchar_t* name, int length);
// Tree order of two paths: component by component, ignoring case.
int CompareTreeOrder(const WString& a, const WString& b);

// The sort keys of many names (NameSortKey) in one block of memory, for
// sorting a large table: one allocation for all keys instead of one per
// name, and a sort that reads each key's bytes only as deep as they are
// needed to tell it from the others.
class SortKeys {
public:
    SortKeys() : starts_(1, 0) {}

    // Adds the key of a name; returns its number (numbers count up from 0).
    int Add(const wchar_t* name, int length);
    void Reserve(size_t keys, size_t bytes);
    int Count() const { return static_cast<int>(starts_.size()) - 1; }

    // Byte order of two keys: below, equal to or above 0, as the names
    // compare under CompareNames.
    int Compare(int a, int b) const;
    bool Equal(int a, int b) const { return Compare(a, b) == 0; }

    // Puts key numbers in the order of their keys, equal keys by number
    // (so that a sort by number first is kept, as a stable sort would), and
    // tells for each place whether its key equals the one before.
    void Sort(std::vector<int>& numbers, std::vector<char>& equalToPrevious) const;

private:
    struct Slot {
        uint64_t chunk;  // eight key bytes from the depth being sorted
        int key;
        bool equalToPrevious;
    };
    void SortRange(std::vector<Slot>& slots, size_t begin, size_t end, size_t depth,
                   std::vector<size_t>& pending) const;
    uint64_t ChunkAt(int key, size_t depth) const;
    const uint8_t* Bytes(int i) const { return bytes_.get() + starts_[static_cast<size_t>(i)]; }
    size_t Length(int i) const
    {
        return starts_[static_cast<size_t>(i) + 1] - starts_[static_cast<size_t>(i)];
    }
    void Grow(size_t room);

    std::unique_ptr<uint8_t[]> bytes_;
    size_t used_ = 0;
    size_t capacity_ = 0;
    std::vector<size_t> starts_;
};

struct NoValue {};

template <typename Value>
class KeyedList {
public:
    static const int kCapacityStep = 100;

    explicit KeyedList(bool sorted = false) : capacity_(kCapacityStep), sorted_(sorted)
    {
        names_.reserve(capacity_);
        values_.reserve(capacity_);
    }
    virtual ~KeyedList() = default;

    int Count() const { return static_cast<int>(names_.size()); }
    int Capacity() const { return capacity_; }
    bool IsSorted() const { return sorted_; }
    void SetSorted(bool sorted) { sorted_ = sorted; }

    const WString& Name(int i) const { return names_[i]; }
    WString& Name(int i) { return names_[i]; }
    const Value& ValueAt(int i) const { return values_[i]; }
    Value& ValueAt(int i) { return values_[i]; }

    // Returns the index at which the item was placed. In a sorted list it
    // goes after every item that compares lower or equal, so equal names keep
    // their order of arrival.
    int Insert(const WString& name, const Value& value = Value())
    {
        Grow();
        int at = Count();
        if (sorted_) {
            int low = 0;
            int high = Count();
            while (low < high) {
                int middle = (low + high) / 2;
                if (CompareNames(names_[middle], name) <= 0) {
                    low = middle + 1;
                } else {
                    high = middle;
                }
            }
            at = low;
        }
        names_.insert(names_.begin() + at, name);
        values_.insert(values_.begin() + at, value);
        return at;
    }

    // Index of an item with this name, or -1. An unsorted list is searched
    // from its end, so the most recent of equal names is found.
    int Find(const WString& name) const
    {
        if (sorted_) {
            int low = 0;
            int high = Count() - 1;
            while (low <= high) {
                int middle = (low + high) / 2;
                int order = CompareNames(names_[middle], name);
                if (order == 0) {
                    return middle;
                }
                if (order < 0) {
                    low = middle + 1;
                } else {
                    high = middle - 1;
                }
            }
            return -1;
        }
        for (int i = Count() - 1; i >= 0; --i) {
            if (names_[i] == name) {
                return i;
            }
        }
        return -1;
    }

    // Appends without looking at the order, for callers that add items
    // already in order (a sorted list stays sorted only if they are).
    void AppendInOrder(WString&& name, Value&& value)
    {
        Grow();
        names_.push_back(std::move(name));
        values_.push_back(std::move(value));
    }

    void Reserve(int count)
    {
        names_.reserve(static_cast<size_t>(count));
        values_.reserve(static_cast<size_t>(count));
    }

    void Swap(KeyedList& other)
    {
        names_.swap(other.names_);
        values_.swap(other.values_);
        std::swap(capacity_, other.capacity_);
        std::swap(sorted_, other.sorted_);
    }

    // Puts the items that order names first, in that order, and drops the
    // rest. Done in place, by following the cycles of the permutation: a
    // table of many large values would otherwise be copied whole. No index
    // may appear twice in order.
    void Reorder(const std::vector<int>& order)
    {
        size_t count = names_.size();
        std::vector<size_t> from;
        from.reserve(count);
        std::vector<char> placed(count, 0);
        for (int index : order) {
            from.push_back(static_cast<size_t>(index));
            placed[static_cast<size_t>(index)] = 1;
        }
        for (size_t i = 0; i < count; ++i) {
            if (!placed[i]) {
                from.push_back(i);
            }
        }
        std::vector<char> done(count, 0);
        for (size_t start = 0; start < count; ++start) {
            if (done[start] || from[start] == start) {
                continue;
            }
            WString name = std::move(names_[start]);
            Value value = std::move(values_[start]);
            size_t at = start;
            while (from[at] != start) {
                done[at] = 1;
                names_[at] = std::move(names_[from[at]]);
                values_[at] = std::move(values_[from[at]]);
                at = from[at];
            }
            done[at] = 1;
            names_[at] = std::move(name);
            values_[at] = std::move(value);
        }
        names_.erase(names_.begin() + static_cast<long>(order.size()), names_.end());
        values_.erase(values_.begin() + static_cast<long>(order.size()), values_.end());
    }

    void RemoveAt(int i)
    {
        names_.erase(names_.begin() + i);
        values_.erase(values_.begin() + i);
    }

    // Empties the list and keeps its storage.
    void Clear()
    {
        names_.clear();
        values_.clear();
    }

    // Puts paths in tree order (a, a\x, a b), ignoring case. The result is
    // not the order that the sorted insert and find rely on, so the list
    // stops being sorted.
    void TreeOrderSort()
    {
        sorted_ = false;
        int count = Count();
        for (int gap = count / 2; gap >= 1; gap /= 2) {
            bool exchanged = true;
            while (exchanged) {
                exchanged = false;
                for (int j = 0; j + gap < count; ++j) {
                    if (CompareTreeOrder(names_[j], names_[j + gap]) > 0) {
                        std::swap(names_[j], names_[j + gap]);
                        std::swap(values_[j], values_[j + gap]);
                        exchanged = true;
                    }
                }
            }
        }
    }

private:
    // The capacity counts up in steps of 100; the storage itself grows
    // geometrically, so that a list of many thousand items is not copied
    // again every hundred inserts.
    void Grow()
    {
        if (Count() >= capacity_) {
            capacity_ += kCapacityStep;
        }
    }

    std::vector<WString> names_;
    std::vector<Value> values_;
    int capacity_;
    bool sorted_;
};

class StringList : public KeyedList<NoValue> {
public:
    using KeyedList<NoValue>::KeyedList;
    int Insert(const WString& name) { return KeyedList<NoValue>::Insert(name); }
    // The same for a string the caller gives away: an unsorted list keeps it
    // without copying the text.
    int Insert(WString&& name)
    {
        if (IsSorted()) {
            return KeyedList<NoValue>::Insert(name);
        }
        AppendInOrder(std::move(name), NoValue());
        return Count() - 1;
    }
    const WString& operator[](int i) const { return Name(i); }

    // Fills the list with the lines of a text. CR, LF and CR LF each end one
    // line; empty lines between breaks stay, an empty last line does not.
    void SplitLines(const WString& text);
};

// Directory entries with their file attributes.
using AttrStringList = KeyedList<DWORD>;
