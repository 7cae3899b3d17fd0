// The tooltip window: it appears half a second after an item is given,
// shows the item's details, goes after five seconds or when the highlight
// moves on, and stays hidden for items without details.
#include <gtest/gtest.h>

#include "archive/zipfile.h"
#include "support/test_files.h"
#include "viewer/menu_model.h"
#include "viewer/tooltip.h"
#include "viewer_fixture.h"

namespace {

// Dispatches this thread's messages for a while (the tooltip's timers).
void PumpFor(DWORD milliseconds)
{
    ULONGLONG end = GetTickCount64() + milliseconds;
    while (GetTickCount64() < end) {
        MSG message;
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
            DispatchMessageW(&message);
        }
        Sleep(10);
    }
}

SIZE WindowSize(HWND window)
{
    RECT rect{};
    GetWindowRect(window, &rect);
    return SIZE{rect.right - rect.left, rect.bottom - rect.top};
}

}  // namespace

TEST(Tooltip, AppearsAfterTheDelayWithTheEntrysDetailsAndGoesAfterItsTime)
{
    ScratchFolder scratch;
    WString archive = scratch / L"t.zip";
    ASSERT_TRUE(MakeZip(archive, {{L"dir\\a.txt", "hello"}}));
    CZipFile zip(archive, ZlibBesideProgram());
    FMenuTT tooltip(L"ＭＳ ゴシック", 100);
    tooltip.SetArchive(&zip, false);
    MenuAnchor anchor{nullptr, RECT{0, 0, 100, 18}};

    tooltip.SetItem(WString(L"dir\\a.txt"), kItemFile, anchor);
    StringList lines;
    tooltip.TextLines(lines);
    ASSERT_GE(lines.Count(), 3);
    EXPECT_EQ(WString(L"dir\\a.txt"), lines[0]);
    EXPECT_EQ(WString(L"圧縮前サイズ：5 バイト"), lines[1]);
    PumpFor(200);
    EXPECT_FALSE(tooltip.IsShown()) << "not before half a second";
    PumpFor(600);
    EXPECT_TRUE(tooltip.IsShown());
    SIZE shown = WindowSize(tooltip.Window());
    EXPECT_GT(shown.cx, 20);
    EXPECT_GT(shown.cy, 3 * 8);
    PumpFor(5200);
    EXPECT_FALSE(tooltip.IsShown()) << "gone after five seconds";
    EXPECT_EQ(1, WindowSize(tooltip.Window()).cx);
}

TEST(Tooltip, MovingOnBeforeTheDelayOrToAFolderShowsNothing)
{
    FMenuTT tooltip(L"ＭＳ ゴシック", 100);
    MenuAnchor anchor{nullptr, RECT{0, 0, 100, 18}};
    tooltip.SetItem(WString(L"About"), kItemAbout, anchor);
    PumpFor(200);
    tooltip.SetItem(WString(L"dir\\"), kItemFolder, anchor);
    PumpFor(800);
    EXPECT_FALSE(tooltip.IsShown());
    tooltip.SetItem(WString(L"About"), kItemAbout, anchor);
    StringList lines;
    tooltip.TextLines(lines);
    ASSERT_EQ(1, lines.Count());
    EXPECT_EQ(WString(L"Zupako Ver.2.23"), lines[0]);
    PumpFor(700);
    EXPECT_TRUE(tooltip.IsShown());
    tooltip.Hide();
    EXPECT_FALSE(tooltip.IsShown());
}

TEST(Tooltip, WholeArchiveShowsTheFileAndNothingWhenItIsGone)
{
    ScratchFolder scratch;
    WString archive = scratch / L"t.zip";
    ASSERT_TRUE(MakeZip(archive, {{L"a.txt", "a"}}));
    FMenuTT tooltip(L"ＭＳ ゴシック", 100);
    tooltip.SetItem(archive, kItemWholeArchive, MenuAnchor{nullptr, RECT{0, 0, 10, 10}});
    StringList lines;
    tooltip.TextLines(lines);
    ASSERT_GE(lines.Count(), 5);
    EXPECT_EQ(archive, lines[0]);
    tooltip.SetItem(scratch / L"gone.zip", kItemWholeArchive, MenuAnchor{nullptr, RECT{0, 0, 10, 10}});
    tooltip.TextLines(lines);
    EXPECT_EQ(0, lines.Count());
}
