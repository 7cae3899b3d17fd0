#include <gtest/gtest.h>

#include "common/monitors.h"
#include "support/prompt_recorder.h"

namespace {

MONITORINFOEXW MonitorAt(LONG left, LONG top, LONG right, LONG bottom)
{
    MONITORINFOEXW info{};
    info.cbSize = sizeof info;
    info.rcMonitor = RECT{left, top, right, bottom};
    info.rcWork = info.rcMonitor;
    return info;
}

HRESULT WINAPI HighDpi(HMONITOR, int, UINT* x, UINT* y)
{
    *x = 144;
    *y = 120;
    return S_OK;
}

HRESULT WINAPI FailingDpi(HMONITOR, int, UINT* x, UINT* y)
{
    *x = 1;
    *y = 1;
    return E_FAIL;
}

void ExpectRect(const RECT& r, LONG left, LONG top, LONG right, LONG bottom)
{
    EXPECT_EQ(r.left, left);
    EXPECT_EQ(r.top, top);
    EXPECT_EQ(r.right, right);
    EXPECT_EQ(r.bottom, bottom);
}

TEST(MonitorLookup, SharedEdgeBelongsToTheFirstMonitor)
{
    MONITORINFOEXW two[] = {MonitorAt(0, 0, 1280, 1024), MonitorAt(1280, 0, 2560, 1024)};
    EXPECT_EQ(FindMonitorIndex(two, 2, POINT{1280, 500}), 0);
    EXPECT_EQ(FindMonitorIndex(two, 2, POINT{1281, 500}), 1);
    EXPECT_EQ(FindMonitorIndex(two, 2, POINT{1279, 0}), 0);
    // Edges included on every side.
    EXPECT_EQ(FindMonitorIndex(two, 2, POINT{2560, 1024}), 1);
    EXPECT_EQ(FindMonitorIndex(two, 2, POINT{0, 1024}), 0);
    EXPECT_EQ(FindMonitorIndex(two, 2, POINT{2561, 1024}), -1);
    EXPECT_EQ(FindMonitorIndex(two, 2, POINT{500, 1025}), -1);
    EXPECT_EQ(FindMonitorIndex(two, 2, POINT{-1, 0}), -1);

    // The same edge, the monitors given the other way round.
    MONITORINFOEXW swapped[] = {two[1], two[0]};
    EXPECT_EQ(FindMonitorIndex(swapped, 2, POINT{1280, 500}), 0);
    EXPECT_EQ(FindMonitorIndex(swapped, 2, POINT{1279, 500}), 1);
    EXPECT_EQ(FindMonitorIndex(two, 0, POINT{10, 10}), -1);
}

TEST(MonitorLookup, ScaleIsTruncatedPercentOf96Dpi)
{
    EXPECT_EQ(ScaleFromDpi(96), 100);
    EXPECT_EQ(ScaleFromDpi(144), 150);
    EXPECT_EQ(ScaleFromDpi(120), 125);
    EXPECT_EQ(ScaleFromDpi(119), 123);
    EXPECT_EQ(ScaleFromDpi(192), 200);
}

TEST(MonitorListTest, WithoutScalingFunctionEveryScaleIs100)
{
    MonitorList list(nullptr);
    ASSERT_GE(list.Count(), 1);
    for (int i = 0; i < list.Count(); ++i) {
        EXPECT_EQ(list.Scale(i).x, 100);
        EXPECT_EQ(list.Scale(i).y, 100);
    }
}

TEST(MonitorListTest, ScaleComesFromTheDpiFunction)
{
    MonitorList list(HighDpi);
    ASSERT_GE(list.Count(), 1);
    EXPECT_EQ(list.Scale(0).x, 150);
    EXPECT_EQ(list.Scale(0).y, 125);
    // Sizes follow the vertical DPI of the monitor under the point.
    POINT inside{list.Monitor(0).rcMonitor.left, list.Monitor(0).rcMonitor.top};
    EXPECT_EQ(list.DpiAt(&inside), 120u);
    POINT outside{-5000, 20000};
    EXPECT_EQ(list.DpiAt(&outside), 96u) << "no monitor: the standard DPI";
}

TEST(MonitorListTest, DpiFailureIsReportedAndScaleStays100)
{
    PromptRecorder prompts;
    for (int i = 0; i < GetSystemMetrics(SM_CMONITORS); ++i) {
        prompts.Answer(IDOK);
    }
    MonitorList list(FailingDpi);
    ASSERT_GE(list.Count(), 1);
    EXPECT_EQ(prompts.Count(), static_cast<size_t>(list.Count()));
    EXPECT_EQ(prompts.LastText(), L"GetDpiForMonitor Error Code =0x80004005");
    EXPECT_EQ(list.Scale(0).x, 100);
    EXPECT_EQ(list.Scale(0).y, 100);
    EXPECT_EQ(list.Dpi(0), 96u) << "the failed function's answer is not used";
}

// The virtual display of the test session is one 1280 x 1024 screen.
TEST(MonitorListTest, FindsTheScreenAndItsUnions)
{
    MonitorList list;
    ASSERT_EQ(list.Count(), 1);
    ExpectRect(list.Monitor(0).rcMonitor, 0, 0, 1280, 1024);
    ExpectRect(list.UnionOfMonitors(), 0, 0, 1280, 1024);
    const RECT& work = list.UnionOfWorkAreas();
    EXPECT_GE(work.left, 0);
    EXPECT_LE(work.right, 1280);
    EXPECT_GT(work.bottom, work.top);

    POINT corner{1280, 1024};
    EXPECT_EQ(list.IndexAt(&corner), 0);
    EXPECT_EQ(list.HeightAt(&corner), 1024);
    ExpectRect(list.RectangleAt(&corner), 0, 0, 1280, 1024);

    // Without a point the cursor decides, and it is always on the screen.
    SetCursorPos(640, 300);
    EXPECT_EQ(list.IndexAt(), 0);
    EXPECT_EQ(list.HeightAt(), 1024);
}

TEST(MonitorListTest, PointOutsideEveryMonitorGivesMinusOne)
{
    MonitorList list(nullptr);
    POINT outside{-5000, 20000};
    EXPECT_EQ(list.IndexAt(&outside), -1);
    EXPECT_EQ(list.HeightAt(&outside), -1);
    ExpectRect(list.RectangleAt(&outside), -1, -1, -1, -1);
    POINT justBeyond{list.UnionOfMonitors().right + 1, 0};
    EXPECT_EQ(list.IndexAt(&justBeyond), -1);
}

}  // namespace
