#include <gtest/gtest.h>

#include "common/format.h"
#include "common/wstring.h"
#include "support/prompt_recorder.h"

namespace {

std::string U(const WString& text) { return Utf8(text.c_str()); }

TEST(WString, GrowsByThirtyBeyondWhatItNeeds)
{
    WString empty;
    EXPECT_EQ(0, empty.Length());
    EXPECT_EQ(30, empty.Capacity());

    WString exact(L"abc");
    EXPECT_EQ(4, exact.Capacity());
    WString copy(exact);
    EXPECT_EQ(exact.Capacity(), copy.Capacity());

    // Fits: copied in place.
    empty = L"0123456789";
    EXPECT_EQ(30, empty.Capacity());
    // Does not fit: the new length plus 30.
    exact += L"defg";
    EXPECT_TRUE(exact == L"abcdefg");
    EXPECT_EQ(7 + 30, exact.Capacity());
    exact = exact.c_str();
    EXPECT_TRUE(exact == L"abcdefg");
}

// Both string kinds share one storage: the same growth, and a string whose
// text was moved away can be copied, appended to and assigned again.
TEST(AString, SharesTheGrowthAndSurvivesBeingMovedFrom)
{
    AString bytes("abc");
    EXPECT_EQ(4, bytes.Capacity());
    bytes += "defg";
    EXPECT_TRUE(bytes == "abcdefg");
    EXPECT_EQ(7 + 30, bytes.Capacity());

    AString taken(static_cast<AString&&>(bytes));
    EXPECT_TRUE(taken == "abcdefg");
    AString copyOfEmptied(bytes);
    EXPECT_EQ(0, copyOfEmptied.Length());
    EXPECT_STREQ("", copyOfEmptied.c_str());
    bytes += "x";
    EXPECT_TRUE(bytes == "x");
    bytes = taken;
    EXPECT_TRUE(bytes == "abcdefg");

    WString wide(L"表");
    WString movedTo(static_cast<WString&&>(wide));
    wide = WString(wide);
    EXPECT_TRUE(wide.IsEmpty());
    wide += L"裏";
    EXPECT_TRUE(wide == L"裏");
    EXPECT_TRUE(movedTo == L"表");
}

TEST(WString, MovedFromStringCanBeReadClearedAndAssigned)
{
    WString source(L"移動元");
    WString target(static_cast<WString&&>(source));
    EXPECT_TRUE(target == L"移動元");
    EXPECT_STREQ(L"", source.c_str());
    EXPECT_TRUE(source.IsEmpty());
    source.Clear();
    EXPECT_TRUE(source.IsEmpty());
    source = L"again";
    EXPECT_TRUE(source == L"again");

    WString other(L"x");
    WString taker;
    taker = static_cast<WString&&>(other);
    other.Clear();
    other = taker;
    EXPECT_TRUE(other == L"x");
}

TEST(WString, PartsOutsideTheStringAreEmpty)
{
    WString text(L"hello");
    EXPECT_TRUE(text.From(5).IsEmpty());
    EXPECT_TRUE(text.Left(6).IsEmpty());
    EXPECT_TRUE(text.Left(-1).IsEmpty());
    EXPECT_TRUE(text.From(-1).IsEmpty());
    EXPECT_TRUE(text.Left(5) == L"hello");
    EXPECT_TRUE(text.From(4) == L"o");
    EXPECT_FALSE(text.SetAt(5, L'x'));
    EXPECT_FALSE(text.SetAt(-1, L'x'));
    EXPECT_TRUE(text.SetAt(2, L'\0'));
    EXPECT_EQ(2, text.Length());
    EXPECT_TRUE(text == L"he");
}

TEST(WString, SearchesAndReplacements)
{
    WString text(L"a.b.c");
    EXPECT_EQ(1, text.Find(L"."));
    EXPECT_EQ(-1, text.Find(L"x"));
    EXPECT_EQ(3, text.FindLast(L'.'));
    EXPECT_TRUE(text.ReplaceFirst(L".", L"--") == L"a--b.c");
    EXPECT_TRUE(text.ReplaceAll(L".", L"\\") == L"a\\b\\c");
    EXPECT_TRUE(WString(L"aaaa").ReplaceAll(L"aa", L"b") == L"bb");
    EXPECT_TRUE(text.ReplaceFirst(L"x", L"y") == L"a.b.c");
    EXPECT_TRUE(text == L"a.b.c") << "replacements leave the receiver unchanged";
    EXPECT_TRUE(WString(L"  a\tb  ").Trimmed() == L"a\tb");
    EXPECT_TRUE(WString(L"AbC").Lower() == L"abc");
    EXPECT_TRUE(WString(L"Hello").StartsWithNoCase(L"hEL"));
    EXPECT_FALSE(WString(L"He").StartsWithNoCase(L"hel"));
}

TEST(WString, ParsesNumbersKeepingTheDefault)
{
    EXPECT_EQ(7, WString(L"12x").ToInt(7));
    EXPECT_EQ(-5, WString(L"  -5").ToInt(7));
    EXPECT_EQ(0, WString(L"").ToInt(7));
    EXPECT_EQ(123, WString(L"123").ToInt(7));
    EXPECT_EQ(7, WString(L"99999999999").ToInt(7));
    EXPECT_TRUE(WString::FromInt(-42) == L"-42");
}

TEST(WString, ConvertsWithTheAnsiCodePageAndUtf8)
{
    // The test prefix runs with code page 932.
    ASSERT_EQ(932u, GetACP());
    WString name(L"日本語.txt");
    AString ansi = name.ToAnsi();
    EXPECT_EQ(10, ansi.Length());
    EXPECT_EQ(static_cast<char>(0x93), ansi.c_str()[0]);
    EXPECT_TRUE(ansi.ToWide() == name);
    EXPECT_TRUE(WString::FromUtf8("\xe6\x97\xa5") == L"日");
    EXPECT_TRUE(name.ToUtf8().ToWide(CP_UTF8) == name);
}

TEST(WString, ReportsABrokenUtf8Conversion)
{
    PromptRecorder prompts;
    prompts.Answer(IDOK);
    WString broken = WString::FromUtf8("\xff\xfe");
    EXPECT_TRUE(broken.IsEmpty());
    ASSERT_EQ(1u, prompts.Count());
    EXPECT_EQ(0u, prompts.LastText().find(L"M2W Error Code ="));
}

TEST(HexString, TwoLowerCaseDigitsPerByte)
{
    const unsigned char bytes[] = {0x0A, 0xFF, 0x00};
    EXPECT_TRUE(HexString(bytes, 3) == L"0aff00");
    EXPECT_TRUE(HexString(bytes, 0).IsEmpty());
}

TEST(Format, GroupsDigitsByThree)
{
    EXPECT_EQ("0", U(FormatGrouped(0)));
    EXPECT_EQ("999", U(FormatGrouped(999)));
    EXPECT_EQ("1,000", U(FormatGrouped(1000)));
    EXPECT_EQ("1,000,000", U(FormatGrouped(1000000)));
    EXPECT_EQ("1,002,003,004", U(FormatGrouped(1002003004ULL)));
    EXPECT_EQ("1,234,567,890,123", U(FormatGrouped(1234567890123ULL)));
    // Five groups at most: the leading one carries every higher digit.
    EXPECT_EQ("18446744,073,709,551,615", U(FormatGrouped(0xFFFFFFFFFFFFFFFFULL)));
}

TEST(Format, ShowsFileTimesInLocalTimeWithTheWeekday)
{
    FILETIME zero{};
    EXPECT_EQ("(不明)", U(FormatFileTime(zero)));

    SYSTEMTIME local{};
    local.wYear = 2024;
    local.wMonth = 1;
    local.wDay = 7;
    local.wHour = 9;
    local.wMinute = 5;
    local.wSecond = 3;
    FILETIME localTime;
    FILETIME utc;
    ASSERT_TRUE(SystemTimeToFileTime(&local, &localTime));
    ASSERT_TRUE(LocalFileTimeToFileTime(&localTime, &utc));
    EXPECT_EQ("2024/01/07(日)09:05:03", U(FormatFileTime(utc)));

    // Beyond what the calendar conversion takes.
    FILETIME huge{0xFFFFFFFF, 0xFFFFFFFF};
    EXPECT_EQ("(不明)", U(FormatFileTime(huge)));
}

}  // namespace
