// The one conversion between DOS dates and times and file times that the
// ZIP and cabinet engines and the reports share.
#include <gtest/gtest.h>

#include "common/dos_time.h"
#include "support/prompt_recorder.h"

namespace {

SYSTEMTIME LocalFields(const FILETIME& utc)
{
    FILETIME local{};
    SYSTEMTIME fields{};
    EXPECT_TRUE(FileTimeToLocalFileTime(&utc, &local));
    EXPECT_TRUE(FileTimeToSystemTime(&local, &fields));
    return fields;
}

uint64_t Ticks(const FILETIME& time) { return static_cast<uint64_t>(time.dwHighDateTime) << 32 | time.dwLowDateTime; }

FILETIME FromTicks(uint64_t ticks)
{
    FILETIME time;
    time.dwLowDateTime = static_cast<DWORD>(ticks);
    time.dwHighDateTime = static_cast<DWORD>(ticks >> 32);
    return time;
}

}  // namespace

TEST(DosTime, LocalFieldsBecomeUtcAndComeBackInTwoSecondSteps)
{
    // 2024-01-01 12:34:56 local: year 44, month 1, day 1; 12:34, 28 steps.
    const WORD date = 44 << 9 | 1 << 5 | 1;
    const WORD time = 12 << 11 | 34 << 5 | 28;
    FILETIME utc = DosDateTimeToUtc(date, time);
    SYSTEMTIME fields = LocalFields(utc);
    EXPECT_EQ(2024, fields.wYear);
    EXPECT_EQ(1, fields.wMonth);
    EXPECT_EQ(1, fields.wDay);
    EXPECT_EQ(12, fields.wHour);
    EXPECT_EQ(34, fields.wMinute);
    EXPECT_EQ(56, fields.wSecond);

    WORD backDate = 0;
    WORD backTime = 0;
    const char* failedCall = "unset";
    ASSERT_TRUE(UtcToDosDateTime(utc, backDate, backTime, failedCall));
    EXPECT_EQ(nullptr, failedCall);
    EXPECT_EQ(date, backDate);
    EXPECT_EQ(time, backTime);

    // An odd second falls to the step below it.
    ASSERT_TRUE(UtcToDosDateTime(FromTicks(Ticks(utc) + 10000000), backDate, backTime, failedCall));
    EXPECT_EQ(time, backTime);
}

TEST(DosTime, ValuesOutsideTheDosRangeAreUnknownAndTheFailedCallIsNamed)
{
    PromptRecorder prompts;
    // Month 0 and month 13 name no date: the time is unknown, not 1980.
    EXPECT_EQ(0u, Ticks(DosDateTimeToUtc(44 << 9 | 0 << 5 | 1, 0)));
    EXPECT_EQ(0u, Ticks(DosDateTimeToUtc(44 << 9 | 13 << 5 | 1, 0)));
    EXPECT_EQ(0u, prompts.Count()) << "a stored value that names no time is not a system failure";

    // 1970 lies before the first DOS date.
    SYSTEMTIME early{};
    early.wYear = 1970;
    early.wMonth = 6;
    early.wDay = 1;
    FILETIME utc{};
    ASSERT_TRUE(SystemTimeToFileTime(&early, &utc));
    WORD date = 0;
    WORD time = 0;
    const char* failedCall = nullptr;
    EXPECT_FALSE(UtcToDosDateTime(utc, date, time, failedCall));
    EXPECT_STREQ("FileTimeToDosDateTime", failedCall);
}
