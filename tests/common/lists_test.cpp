#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "common/stringlist.h"
#include "support/prompt_recorder.h"

namespace {

std::vector<std::string> Names(const StringList& list)
{
    std::vector<std::string> names;
    for (int i = 0; i < list.Count(); ++i) {
        names.push_back(Utf8(list[i].c_str()));
    }
    return names;
}

TEST(StringList, SortedInsertKeepsArrivalOrderOfEqualNames)
{
    AttrStringList list(true);
    EXPECT_EQ(0, list.Insert(L"m", 1));
    EXPECT_EQ(0, list.Insert(L"c", 2));
    EXPECT_EQ(2, list.Insert(L"x", 3));
    // An equal name goes after the one already there.
    EXPECT_EQ(2, list.Insert(L"m", 4));
    ASSERT_EQ(4, list.Count());
    EXPECT_EQ(1u, list.ValueAt(1));
    EXPECT_EQ(4u, list.ValueAt(2));
    EXPECT_EQ(3, list.Find(L"x"));
    EXPECT_EQ(-1, list.Find(L"d"));
}

TEST(StringList, UnsortedFindReturnsTheLastMatch)
{
    AttrStringList list(false);
    list.Insert(L"b", 1);
    list.Insert(L"a", 2);
    list.Insert(L"b", 3);
    EXPECT_EQ(2, list.Find(L"b"));
    EXPECT_EQ(1, list.Find(L"a"));
    EXPECT_EQ(-1, list.Find(L"B")) << "finds are case-sensitive";
}

TEST(StringList, GrowsInStepsOfAHundredAndKeepsValuesWithNames)
{
    AttrStringList list(true);
    EXPECT_EQ(100, list.Capacity());
    for (int i = 250; i > 0; --i) {
        wchar_t name[16];
        swprintf(name, 16, L"n%05d", i);
        list.Insert(name, static_cast<DWORD>(i));
    }
    EXPECT_EQ(300, list.Capacity());
    for (int i = 0; i < list.Count(); ++i) {
        EXPECT_EQ(static_cast<DWORD>(i + 1), list.ValueAt(i)) << "value moved apart from its name at " << i;
    }
    list.Clear();
    EXPECT_EQ(0, list.Count());
    EXPECT_EQ(300, list.Capacity());
}

TEST(StringList, TreeOrderSortComparesComponentsIgnoringCase)
{
    StringList list(true);
    for (const wchar_t* name : {L"b", L"a\\z", L"A", L"a\\b"}) {
        list.Insert(name);
    }
    list.TreeOrderSort();
    EXPECT_FALSE(list.IsSorted());
    EXPECT_EQ((std::vector<std::string>{"A", "a\\b", "a\\z", "b"}), Names(list));

    StringList tree(false);
    for (const wchar_t* name : {L"a b", L"a\\x", L"a"}) {
        tree.Insert(name);
    }
    tree.TreeOrderSort();
    EXPECT_EQ((std::vector<std::string>{"a", "a\\x", "a b"}), Names(tree));
    EXPECT_EQ(0, CompareTreeOrder(L"A\\y", L"a\\y"));
    // After the sort, finds search linearly and still work.
    EXPECT_EQ(1, tree.Find(L"a\\x"));
}

TEST(StringList, SplitsLinesAtEachKindOfBreak)
{
    StringList lines;
    lines.Insert(L"stale");
    lines.SplitLines(L"one\r\ntwo\nthree\r\rfive\n");
    EXPECT_EQ((std::vector<std::string>{"one", "two", "three", "", "five"}), Names(lines));
    lines.SplitLines(L"last without break");
    EXPECT_EQ((std::vector<std::string>{"last without break"}), Names(lines));
    lines.SplitLines(L"");
    EXPECT_EQ(0, lines.Count());
}

}  // namespace

// The ZIP table is sorted by precomputed keys instead of comparisons: on a
// large table of mixed names the order must be byte for byte the order of
// the comparison function, and keys equal exactly where it finds equality.
TEST(NameSortKey, OrdersALargeMixedTableExactlyAsCompareNames)
{
    const wchar_t* pieces[] = {L"a", L"A", L"b", L"B", L"z", L"0", L"9", L"10", L"-", L"_", L"'", L" ", L".", L"/",
                               L"~", L"!", L"é", L"É", L"e", L"ß", L"ss", L"あ", L"ア", L"ｱ", L"亜", L"日本", L"表",
                               L"ー", L"・", L"Ａ", L"１", L"ｶﾞ", L"ガ", L"か", L"が", L"\u00A0", L"\u3000", L"Ω"};
    const int kPieces = static_cast<int>(sizeof pieces / sizeof pieces[0]);
    std::vector<WString> names;
    unsigned seed = 12345;
    for (int i = 0; i < 20000; ++i) {
        WString name;
        int parts = 1 + static_cast<int>(seed % 5);
        for (int p = 0; p < parts; ++p) {
            seed = seed * 1103515245u + 12345u;
            name += pieces[(seed >> 8) % kPieces];
        }
        names.push_back(name);
    }
    std::vector<WString> byComparison = names;
    std::stable_sort(byComparison.begin(), byComparison.end(),
                     [](const WString& a, const WString& b) { return CompareNames(a, b) < 0; });
    std::vector<std::pair<std::string, WString>> keyed;
    for (const WString& name : names) {
        keyed.emplace_back(NameSortKey(name.c_str(), name.Length()), name);
    }
    std::stable_sort(keyed.begin(), keyed.end(),
                     [](const std::pair<std::string, WString>& a, const std::pair<std::string, WString>& b) {
                         return a.first < b.first;
                     });
    ASSERT_EQ(keyed.size(), byComparison.size());
    int differences = 0;
    for (size_t i = 0; i < keyed.size(); ++i) {
        if (!(keyed[i].second == byComparison[i]) && differences++ < 5) {
            ADD_FAILURE() << "position " << i << ": " << Utf8(keyed[i].second.c_str()) << " by key, "
                          << Utf8(byComparison[i].c_str()) << " by comparison";
        }
        if (i > 0) {
            bool equalByKey = keyed[i - 1].first == keyed[i].first;
            bool equalByComparison = CompareNames(keyed[i - 1].second, keyed[i].second) == 0;
            EXPECT_EQ(equalByKey, equalByComparison) << Utf8(keyed[i].second.c_str());
        }
    }
    EXPECT_EQ(differences, 0);
}

namespace {

// Names from mixed pieces (case, digits, punctuation that word sort
// ignores, accents, kana and kanji), some under long shared folder paths,
// so that keys agree on many bytes before they differ, and some repeated.
std::vector<WString> MixedNames(int count)
{
    const wchar_t* pieces[] = {L"a", L"A", L"b", L"B", L"z", L"0", L"9", L"10", L"-", L"_", L"'", L" ", L".", L"/",
                               L"~", L"é", L"É", L"ß", L"ss", L"あ", L"ア", L"ｱ", L"日本", L"ー", L"Ａ", L"ガ", L"が"};
    const wchar_t* folders[] = {L"", L"Documents and Settings/Report-2024/", L"documents and settings/report2024/",
                                L"Documents and Settings/Report-2024/日本語フォルダ/", L"a/"};
    const int kPieces = static_cast<int>(sizeof pieces / sizeof pieces[0]);
    std::vector<WString> names;
    unsigned seed = 777;
    auto next = [&seed]() {
        seed = seed * 1103515245u + 12345u;
        return seed >> 8;
    };
    for (int i = 0; i < count; ++i) {
        if (i > 10 && next() % 20 == 0) {
            names.push_back(names[next() % names.size()]);
            continue;
        }
        WString name(folders[next() % 5]);
        int parts = 1 + static_cast<int>(next() % 6);
        for (int p = 0; p < parts; ++p) {
            name += pieces[next() % kPieces];
        }
        names.push_back(name);
    }
    return names;
}

}  // namespace

// The ZIP table is sorted by its keys eight bytes at a time, going deeper
// only where keys agree: the order must be the comparison function's with
// equal names in their first order, and equality exactly its equality.
TEST(SortKeys, SortsALargeMixedTableExactlyAsCompareNames)
{
    std::vector<WString> names = MixedNames(20000);
    std::vector<int> byComparison(names.size());
    SortKeys keys;
    std::vector<int> byKey;
    for (size_t i = 0; i < names.size(); ++i) {
        byComparison[i] = static_cast<int>(i);
        byKey.push_back(keys.Add(names[i].c_str(), names[i].Length()));
    }
    std::stable_sort(byComparison.begin(), byComparison.end(),
                     [&names](int a, int b) { return CompareNames(names[a], names[b]) < 0; });
    std::vector<char> equalToPrevious;
    keys.Sort(byKey, equalToPrevious);
    ASSERT_EQ(byKey.size(), byComparison.size());
    ASSERT_EQ(equalToPrevious.size(), byKey.size());
    int differences = 0;
    int equalPairs = 0;
    for (size_t i = 0; i < byKey.size(); ++i) {
        if (byKey[i] != byComparison[i] && differences++ < 5) {
            ADD_FAILURE() << "position " << i << ": " << Utf8(names[byKey[i]].c_str()) << " by key, "
                          << Utf8(names[byComparison[i]].c_str()) << " by comparison";
        }
        if (i > 0) {
            bool equal = CompareNames(names[byKey[i - 1]], names[byKey[i]]) == 0;
            equalPairs += equal ? 1 : 0;
            EXPECT_EQ(equalToPrevious[i] != 0, equal) << Utf8(names[byKey[i]].c_str());
            EXPECT_EQ(keys.Compare(byKey[i - 1], byKey[i]) == 0, equal);
        }
    }
    EXPECT_EQ(differences, 0);
    EXPECT_GT(equalPairs, 500) << "the table holds repeated names";
    EXPECT_FALSE(equalToPrevious[0]);
}

TEST(SortKeys, KeysThatArePrefixesOfOthersComeFirst)
{
    SortKeys keys;
    // The same name growing by one unit at a time ends its key at every
    // depth of the eight-byte steps.
    std::vector<WString> names;
    WString grown;
    for (int i = 0; i < 40; ++i) {
        grown += (i % 3 == 0) ? L"x" : L"Y";
        names.push_back(grown);
    }
    std::vector<int> order;
    for (int i = static_cast<int>(names.size()) - 1; i >= 0; --i) {
        order.push_back(keys.Add(names[i].c_str(), names[i].Length()));
    }
    std::vector<char> equalToPrevious;
    keys.Sort(order, equalToPrevious);
    for (size_t i = 1; i < order.size(); ++i) {
        EXPECT_LT(CompareNames(names[names.size() - 1 - order[i - 1]], names[names.size() - 1 - order[i]]), 0);
        EXPECT_FALSE(equalToPrevious[i]);
    }
}

TEST(KeyedList, ReorderPlacesTheNamedItemsAndDropsTheRest)
{
    AttrStringList list(false);
    for (int i = 0; i < 7; ++i) {
        list.Insert(WString::FromInt(i), static_cast<DWORD>(i * 10));
    }
    list.Reorder({4, 0, 6, 1, 5});
    ASSERT_EQ(list.Count(), 5);
    const int expected[] = {4, 0, 6, 1, 5};
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(list.Name(i), WString::FromInt(expected[i]));
        EXPECT_EQ(list.ValueAt(i), static_cast<DWORD>(expected[i] * 10)) << "values move with their names";
    }
    list.Reorder({});
    EXPECT_EQ(list.Count(), 0);
}
