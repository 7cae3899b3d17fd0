// Growable lists of strings, each with an optional value beside it: the
// plain string list, the directory listing with file attributes, and (in the
// archive engine) the size list and the entry table. A sorted list keeps its
// items in ascending order on insert and finds by halving; an unsorted one
// appends and finds from the end.
#pragma once

#include <windows.h>
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
    const WString& operator[](int i) const { return Name(i); }

    // Fills the list with the lines of a text. CR, LF and CR LF each end one
    // line; empty lines between breaks stay, an empty last line does not.
    void SplitLines(const WString& text);
};

// Directory entries with their file attributes.
using AttrStringList = KeyedList<DWORD>;
