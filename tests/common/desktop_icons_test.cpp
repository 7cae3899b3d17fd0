#include <gtest/gtest.h>

#include <windows.h>
#include <shlobj.h>

#include <cstddef>
#include <cstring>
#include <memory>

#include "common/desktop_icons.h"
#include "common/paths.h"
#include "support/stand_in_desktop.h"

namespace {

WString OnDesktop(const wchar_t* name) { return JoinPath(SpecialFolderPath(CSIDL_DESKTOP), WString(name)); }

void ExpectAt(POINT at, int x, int y)
{
    EXPECT_EQ(at.x, x);
    EXPECT_EQ(at.y, y);
}

TEST(DesktopIconKeeperTest, PutsTheReplacedFilesIconBack)
{
    ASSERT_FALSE(SpecialFolderPath(CSIDL_DESKTOP).IsEmpty());
    StandInDesktop desktop({{L"readme.txt", 20, 20}, {L"写真.zip", 200, 150}, {L"notes.txt", 20, 110}});
    ASSERT_TRUE(desktop.Ready());
    ExpectAt(desktop.PositionOf(L"写真.zip"), 200, 150);

    DesktopIconKeeper keeper(OnDesktop(L"写真.zip"));
    ASSERT_TRUE(keeper.Recorded());
    ExpectAt(keeper.RecordedPosition(), 200, 150);

    // The archive is replaced: its item vanishes and a new one appears in
    // the next free place, at another index.
    ASSERT_TRUE(desktop.Replace(L"写真.zip", 400, 300));
    ExpectAt(desktop.PositionOf(L"写真.zip"), 400, 300);
    EXPECT_TRUE(keeper.Restore(OnDesktop(L"写真.zip")));
    ExpectAt(desktop.PositionOf(L"写真.zip"), 200, 150);
    // The other icons stay where they were.
    ExpectAt(desktop.PositionOf(L"readme.txt"), 20, 20);
    ExpectAt(desktop.PositionOf(L"notes.txt"), 20, 110);
}

TEST(DesktopIconKeeperTest, FindsItemUnderNameWithoutExtension)
{
    StandInDesktop desktop({{L"a", 300, 60}, {L"b.zip", 100, 200}});
    ASSERT_TRUE(desktop.Ready());

    DesktopIconKeeper keeper(OnDesktop(L"a.zip"));
    ASSERT_TRUE(keeper.Recorded());
    ExpectAt(keeper.RecordedPosition(), 300, 60);
    ASSERT_TRUE(desktop.Move(L"a", 10, 400));
    EXPECT_TRUE(keeper.Restore(OnDesktop(L"a.zip")));
    ExpectAt(desktop.PositionOf(L"a"), 300, 60);

    // An archive in a folder on the desktop is looked for on the desktop
    // itself, by its name.
    DesktopIconKeeper nested(OnDesktop(L"作業\\b.zip"));
    EXPECT_TRUE(nested.Recorded());
    ExpectAt(nested.RecordedPosition(), 100, 200);
}

TEST(DesktopIconKeeperTest, ArchiveOutsideDesktopChangesNothing)
{
    StandInDesktop desktop({{L"a.zip", 120, 80}});
    ASSERT_TRUE(desktop.Ready());
    WString desktopFolder = SpecialFolderPath(CSIDL_DESKTOP);
    {
        DesktopIconKeeper keeper(JoinPath(SpecialFolderPath(CSIDL_PERSONAL), WString(L"a.zip")));
        EXPECT_FALSE(keeper.Recorded());
        ASSERT_TRUE(desktop.Move(L"a.zip", 500, 500));
        EXPECT_FALSE(keeper.Restore(JoinPath(SpecialFolderPath(CSIDL_PERSONAL), WString(L"a.zip"))));
        ExpectAt(desktop.PositionOf(L"a.zip"), 500, 500);
    }
    // A sibling folder whose name merely begins like the desktop's.
    DesktopIconKeeper sibling(desktopFolder + L"Old\\a.zip");
    EXPECT_FALSE(sibling.Recorded());
    EXPECT_FALSE(sibling.Restore(desktopFolder + L"Old\\a.zip"));
    // The desktop folder itself is no file on it.
    DesktopIconKeeper folder(desktopFolder);
    EXPECT_FALSE(folder.Recorded());
    ExpectAt(desktop.PositionOf(L"a.zip"), 500, 500);
}

TEST(DesktopIconKeeperTest, MissingItemRecordsNothingAndRestoreMovesNothing)
{
    StandInDesktop desktop({{L"other.zip", 40, 40}});
    ASSERT_TRUE(desktop.Ready());
    DesktopIconKeeper keeper(OnDesktop(L"missing.zip"));
    EXPECT_FALSE(keeper.Recorded());
    EXPECT_FALSE(keeper.Restore(OnDesktop(L"missing.zip")));
    ExpectAt(desktop.PositionOf(L"other.zip"), 40, 40);
}

// Explorer restarting between the replacement and the restore: the new
// desktop placed the icon itself, and nothing is reported.
TEST(DesktopIconKeeperTest, DesktopEndedBeforeRestoreIsLeftAlone)
{
    std::unique_ptr<StandInDesktop> desktop(new StandInDesktop({{L"a.zip", 120, 80}}));
    ASSERT_TRUE(desktop->Ready());
    DesktopIconKeeper keeper(OnDesktop(L"a.zip"));
    ASSERT_TRUE(keeper.Recorded());
    desktop.reset();
    ULONGLONG started = GetTickCount64();
    EXPECT_FALSE(keeper.Restore(OnDesktop(L"a.zip")));
    EXPECT_LT(GetTickCount64() - started, 1000u);
}

TEST(DesktopIconKeeperTest, WithoutDesktopListViewNothingIsRecorded)
{
    ASSERT_EQ(FindWindowW(L"Progman", L"Program Manager"), nullptr);
    DesktopIconKeeper keeper(OnDesktop(L"a.zip"));
    EXPECT_FALSE(keeper.Recorded());
    EXPECT_FALSE(keeper.Restore(OnDesktop(L"a.zip")));
}

unsigned int Read32(const unsigned char* at)
{
    unsigned int value;
    memcpy(&value, at, sizeof value);
    return value;
}

unsigned long long Read64(const unsigned char* at)
{
    unsigned long long value;
    memcpy(&value, at, sizeof value);
    return value;
}

bool AllZero(const unsigned char* from, const unsigned char* to)
{
    for (; from < to; ++from) {
        if (*from != 0) {
            return false;
        }
    }
    return true;
}

TEST(DesktopFindBlock, SixtyFourBitLayoutIsForty)
{
    unsigned char block[48];
    memset(block, 0xCC, sizeof block);
    ASSERT_EQ(DesktopIconKeeper::BuildFindBlock(block, 0xFFFFFFFF80001000ull, true), 40);
    EXPECT_EQ(Read32(block), static_cast<unsigned>(LVFI_STRING));
    EXPECT_EQ(Read32(block + 4), 0u);
    EXPECT_EQ(Read64(block + 8), 0xFFFFFFFF80001000ull);
    EXPECT_TRUE(AllZero(block + 16, block + 40));
    EXPECT_EQ(block[40], 0xCC);
#ifdef _WIN64
    // The list view of a 64-bit process reads it as its own structure.
    EXPECT_EQ(sizeof(LVFINDINFOW), 40u);
    EXPECT_EQ(offsetof(LVFINDINFOW, psz), 8u);
#endif
}

TEST(DesktopFindBlock, ThirtyTwoBitLayoutIsTwentyFour)
{
    unsigned char block[48];
    memset(block, 0xCC, sizeof block);
    ASSERT_EQ(DesktopIconKeeper::BuildFindBlock(block, 0x00A31000ull, false), 24);
    EXPECT_EQ(Read32(block), static_cast<unsigned>(LVFI_STRING));
    EXPECT_EQ(Read32(block + 4), 0x00A31000u);
    EXPECT_TRUE(AllZero(block + 8, block + 24));
    EXPECT_EQ(block[24], 0xCC);
}

// The layout is decided by the width of the process that owns the list
// view, for callers of both widths. The 32-bit deliverables on 64-bit
// Windows talk to 64-bit Explorer: the case that broke when the layout
// followed the caller.
TEST(DesktopFindBlock, LayoutFollowsTheWidthOfTheListViewsProcess)
{
    struct Case {
        const char* what;
        bool callerIs64Bit;
        bool callerUnderWow64;
        bool ownerUnderWow64;
        bool ownerIs64Bit;
    };
    const Case cases[] = {
        {"64-bit caller, 64-bit Explorer", true, false, false, true},
        {"64-bit caller, 32-bit list view under WOW64", true, false, true, false},
        {"32-bit caller under WOW64, 64-bit Explorer", false, true, false, true},
        {"32-bit caller under WOW64, 32-bit list view under WOW64", false, true, true, false},
        {"32-bit caller on 32-bit Windows", false, false, false, false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(DesktopIconKeeper::OwnerIsSixtyFourBit(c.callerIs64Bit, c.callerUnderWow64, c.ownerUnderWow64),
                  c.ownerIs64Bit)
            << c.what;
    }
}

TEST(DesktopFindBlock, ThirtyTwoBitAddressWidensWithoutSign)
{
    // A block above 2 GiB of the other process, as a large-address-aware
    // 32-bit program may be given: sign extension would point the list view
    // at the top of its address space.
    EXPECT_EQ(DesktopIconKeeper::RemoteAddress(static_cast<UINT_PTR>(0x80001000u)), 0x80001000ull);
    unsigned char block[48];
    ASSERT_EQ(DesktopIconKeeper::BuildFindBlock(block, DesktopIconKeeper::RemoteAddress(0x80001000u), true), 40);
    EXPECT_EQ(Read64(block + 8), 0x80001000ull);
}

}  // namespace
