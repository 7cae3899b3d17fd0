#include <gtest/gtest.h>

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
