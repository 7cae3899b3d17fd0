#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>

#include <vector>

#include "common/handles.h"
#include "common/paths.h"
#include "common/progress.h"
#include "common/system.h"
#include "common_ids.h"
#include "support/child_process.h"
#include "support/icon_size.h"
#include "support/prompt_recorder.h"

namespace {

// A taskbar list that keeps what the window tells it, so that the tests see
// the taskbar button's progress and every reference the window holds.
class FakeTaskbar : public ITaskbarList4 {
public:
    ULONG references = 1;
    int initialised = 0;
    HRESULT initResult = S_OK;
    HRESULT valueResult = S_OK;
    std::vector<TBPFLAG> states;
    std::vector<ULONGLONG> values;
    std::vector<ULONGLONG> totals;
    HWND window = nullptr;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override
    {
        if (iid == IID_IUnknown || iid == IID_ITaskbarList || iid == IID_ITaskbarList2 || iid == IID_ITaskbarList3 ||
            iid == IID_ITaskbarList4) {
            *out = static_cast<ITaskbarList4*>(this);
            AddRef();
            return S_OK;
        }
        *out = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++references; }
    ULONG STDMETHODCALLTYPE Release() override { return --references; }
    HRESULT STDMETHODCALLTYPE HrInit() override
    {
        ++initialised;
        return initResult;
    }
    HRESULT STDMETHODCALLTYPE AddTab(HWND) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE DeleteTab(HWND) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE ActivateTab(HWND) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE SetActiveAlt(HWND) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE MarkFullscreenWindow(HWND, WINBOOL) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE SetProgressValue(HWND w, ULONGLONG completed, ULONGLONG total) override
    {
        window = w;
        values.push_back(completed);
        totals.push_back(total);
        return valueResult;
    }
    HRESULT STDMETHODCALLTYPE SetProgressState(HWND w, TBPFLAG state) override
    {
        window = w;
        states.push_back(state);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE RegisterTab(HWND, HWND) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE UnregisterTab(HWND) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE SetTabOrder(HWND, HWND) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE SetTabActive(HWND, HWND, DWORD) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE ThumbBarAddButtons(HWND, UINT, LPTHUMBBUTTON) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE ThumbBarUpdateButtons(HWND, UINT, LPTHUMBBUTTON) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE ThumbBarSetImageList(HWND, HIMAGELIST) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE SetOverlayIcon(HWND, HICON, LPCWSTR) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE SetThumbnailTooltip(HWND, LPCWSTR) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE SetThumbnailClip(HWND, RECT*) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE SetTabProperties(HWND, STPFLAG) override { return S_OK; }
};

FakeTaskbar* g_fake = nullptr;
int g_factoryCalls = 0;
HRESULT g_factoryResult = S_OK;

HRESULT MakeFakeTaskbar(ITaskbarList** out)
{
    ++g_factoryCalls;
    if (FAILED(g_factoryResult)) {
        *out = nullptr;
        return g_factoryResult;
    }
    g_fake->AddRef();
    *out = g_fake;
    return S_OK;
}

class ProgressWindowTest : public testing::Test {
protected:
    void SetUp() override
    {
        g_fake = &fake_;
        g_factoryCalls = 0;
        g_factoryResult = S_OK;
        previous_ = ProgressWindow::SetTaskbarFactory(MakeFakeTaskbar);
    }
    void TearDown() override
    {
        ProgressWindow::SetTaskbarFactory(previous_);
        g_fake = nullptr;
    }

    static WString ControlText(HWND dialog, int id)
    {
        wchar_t text[512] = {};
        GetDlgItemTextW(dialog, id, text, 512);
        return WString(text);
    }
    static int BarPosition(HWND dialog)
    {
        return static_cast<int>(SendDlgItemMessageW(dialog, IDC_PROGRESS_BAR, PBM_GETPOS, 0, 0));
    }

    FakeTaskbar fake_;
    ProgressWindow::TaskbarFactory previous_ = nullptr;
};

TEST_F(ProgressWindowTest, ShowsTitleIconEmptyTextAndFullRange)
{
    ProgressWindow progress(WString(L"フォルダの圧縮"), IDI_ZIPFILE, kWindows7);
    HWND window = progress.Window();
    ASSERT_TRUE(IsWindow(window));
    EXPECT_TRUE(IsWindowVisible(window));
    EXPECT_EQ(GetWindow(window, GW_OWNER), nullptr);
    wchar_t title[128] = {};
    GetWindowTextW(window, title, 128);
    EXPECT_STREQ(title, L"フォルダの圧縮");
    EXPECT_STREQ(ControlText(window, IDC_PROGRESS_TEXT).c_str(), L"");
    EXPECT_NE(SendDlgItemMessageW(window, IDC_PROGRESS_ICON, STM_GETICON, 0, 0), 0);

    PBRANGE range{};
    SendDlgItemMessageW(window, IDC_PROGRESS_BAR, PBM_GETRANGE, FALSE, reinterpret_cast<LPARAM>(&range));
    EXPECT_EQ(range.iLow, 0);
    EXPECT_EQ(range.iHigh, 100);
    EXPECT_EQ(BarPosition(window), 0);

    // Callers shorten paths to this width on this surface.
    RECT line{};
    GetWindowRect(GetDlgItem(window, IDC_PROGRESS_TEXT), &line);
    EXPECT_GT(progress.TextWidth(), 0);
    EXPECT_EQ(progress.TextWidth(), line.right - line.left);
    EXPECT_NE(progress.TextSurface(), nullptr);
    EXPECT_EQ(WindowFromDC(progress.TextSurface()), GetDlgItem(window, IDC_PROGRESS_TEXT));
    HGDIOBJ lineFont = reinterpret_cast<HGDIOBJ>(SendDlgItemMessageW(window, IDC_PROGRESS_TEXT, WM_GETFONT, 0, 0));
    ASSERT_NE(lineFont, nullptr);
    EXPECT_EQ(GetCurrentObject(progress.TextSurface(), OBJ_FONT), lineFont);
}

// Windows sends the new DPI and the rectangle the window is to take on a
// monitor of another scale.
TEST_F(ProgressWindowTest, MovedToAnotherScaleTakesTheSuggestedRectangleAndAnIconOfThatSize)
{
    ProgressWindow progress(WString(L"フォルダの圧縮"), IDI_ZIPFILE, kWindows7);
    HWND window = progress.Window();
    ASSERT_TRUE(IsWindow(window));
    EXPECT_EQ(32, IconWidth(reinterpret_cast<HICON>(SendDlgItemMessageW(window, IDC_PROGRESS_ICON, STM_GETICON, 0, 0))));
    RECT suggested{100, 120, 100 + 800, 120 + 260};
    SendMessageW(window, WM_DPICHANGED, MAKEWPARAM(192, 192), reinterpret_cast<LPARAM>(&suggested));
    RECT now{};
    GetWindowRect(window, &now);
    EXPECT_EQ(suggested.left, now.left);
    EXPECT_EQ(suggested.top, now.top);
    EXPECT_EQ(suggested.right, now.right);
    EXPECT_EQ(suggested.bottom, now.bottom);
    EXPECT_EQ(64, IconWidth(reinterpret_cast<HICON>(SendDlgItemMessageW(window, IDC_PROGRESS_ICON, STM_GETICON, 0, 0))));
    // The text line is measured again on a surface that still has its font.
    RECT line{};
    GetWindowRect(GetDlgItem(window, IDC_PROGRESS_TEXT), &line);
    EXPECT_EQ(progress.TextWidth(), line.right - line.left);
    EXPECT_EQ(GetCurrentObject(progress.TextSurface(), OBJ_FONT),
              reinterpret_cast<HGDIOBJ>(SendDlgItemMessageW(window, IDC_PROGRESS_TEXT, WM_GETFONT, 0, 0)));
}

TEST_F(ProgressWindowTest, TextAndPositionReachControlsAndTaskbarButton)
{
    ProgressWindow progress(WString(L"圧縮"), IDI_ZIPFILE, kWindows7);
    HWND window = progress.Window();
    ASSERT_TRUE(progress.UsesTaskbar());
    EXPECT_EQ(fake_.initialised, 1);
    ASSERT_EQ(fake_.states.size(), 1u);
    EXPECT_EQ(fake_.states[0], TBPF_NORMAL);
    EXPECT_EQ(fake_.window, window);
    ASSERT_EQ(fake_.values.size(), 1u);
    EXPECT_EQ(fake_.values[0], 0u);

    progress.SetText(WString(L"写真\\旅行\\富士山.jpg"));
    progress.SetPosition(40);
    EXPECT_STREQ(ControlText(window, IDC_PROGRESS_TEXT).c_str(), L"写真\\旅行\\富士山.jpg");
    EXPECT_EQ(BarPosition(window), 40);
    ASSERT_EQ(fake_.values.size(), 2u);
    EXPECT_EQ(fake_.values[1], 40u);
    EXPECT_EQ(fake_.totals[1], 100u);

    // A caller's rounding slip never shows more than complete.
    progress.SetPosition(130);
    EXPECT_EQ(BarPosition(window), 100);
    EXPECT_EQ(fake_.values.back(), 100u);
    progress.SetPosition(-5);
    EXPECT_EQ(BarPosition(window), 0);
    EXPECT_EQ(fake_.values.back(), 0u);
}

// The label stays whole and the path gives way, so that the line never runs
// past the window; a path that fits is shown as it is.
TEST_F(ProgressWindowTest, PathTextFitsTheLineWithItsLabel)
{
    ProgressWindow progress(WString(L"zip に圧縮"), IDI_ZIPFILE, 0);
    WString label = L"圧縮中 ";
    WString longPath = L"C:\\Users\\写真\\二〇二四年 夏の旅行\\北海道\\札幌\\時計台の前で撮った一枚目の写真.jpg";
    progress.SetPathText(label, longPath);
    WString shown = ControlText(progress.Window(), IDC_PROGRESS_TEXT);
    EXPECT_TRUE(shown.StartsWith(label.c_str())) << Utf8(shown.c_str());
    EXPECT_TRUE(shown.EndsWith(L"時計台の前で撮った一枚目の写真.jpg")) << Utf8(shown.c_str());
    EXPECT_LT(shown.Length(), label.Length() + longPath.Length());
    SIZE size{};
    GetTextExtentPoint32W(progress.TextSurface(), shown.c_str(), shown.Length(), &size);
    EXPECT_LE(size.cx, progress.TextWidth()) << Utf8(shown.c_str());

    progress.SetPathText(label, L"C:\\a.txt");
    EXPECT_STREQ(L"圧縮中 C:\\a.txt", ControlText(progress.Window(), IDC_PROGRESS_TEXT).c_str());
}

TEST_F(ProgressWindowTest, DestroyReleasesWindowIconAndEveryTaskbarReference)
{
    HWND window;
    HICON icon;
    {
        ProgressWindow progress(WString(L"圧縮"), IDI_CABFILE, kWindows10);
        window = progress.Window();
        icon = reinterpret_cast<HICON>(SendDlgItemMessageW(window, IDC_PROGRESS_ICON, STM_GETICON, 0, 0));
        ASSERT_NE(icon, nullptr);
        EXPECT_GT(fake_.references, 1u);
    }
    EXPECT_FALSE(IsWindow(window));
    ICONINFO info{};
    EXPECT_FALSE(GetIconInfo(icon, &info));
    EXPECT_EQ(fake_.references, 1u);
}

TEST_F(ProgressWindowTest, OlderWindowsWorkWithoutTaskbarButton)
{
    EXPECT_FALSE(TaskbarProgressAvailable(kWindowsUnsupported));
    EXPECT_FALSE(TaskbarProgressAvailable(kWindowsVista));
    for (int level = kWindows7; level <= kWindows11; ++level) {
        EXPECT_TRUE(TaskbarProgressAvailable(level)) << level;
    }
    for (int level : {kWindowsUnsupported, kWindowsVista}) {
        ProgressWindow progress(WString(L"圧縮"), IDI_ZIPFILE, level);
        EXPECT_FALSE(progress.UsesTaskbar());
        progress.SetText(WString(L"a.txt"));
        progress.SetPosition(75);
        EXPECT_STREQ(ControlText(progress.Window(), IDC_PROGRESS_TEXT).c_str(), L"a.txt");
        EXPECT_EQ(BarPosition(progress.Window()), 75);
    }
    EXPECT_EQ(g_factoryCalls, 0);
    EXPECT_EQ(fake_.references, 1u);
}

TEST_F(ProgressWindowTest, TaskbarFailuresAreReportedAndTheWindowGoesOn)
{
    PromptRecorder prompts;
    g_factoryResult = REGDB_E_CLASSNOTREG;
    prompts.Answer(IDOK);
    {
        ProgressWindow progress(WString(L"圧縮"), IDI_ZIPFILE, kWindows7);
        EXPECT_FALSE(progress.UsesTaskbar());
        progress.SetPosition(10);
        EXPECT_EQ(BarPosition(progress.Window()), 10);
    }
    ASSERT_EQ(prompts.Count(), 1u);
    EXPECT_EQ(prompts.LastText(), L"CoCreateInstance Error Code =0x80040154");

    prompts.Clear();
    g_factoryResult = S_OK;
    fake_.initResult = E_FAIL;
    prompts.Answer(IDOK);
    {
        ProgressWindow progress(WString(L"圧縮"), IDI_ZIPFILE, kWindows7);
        EXPECT_FALSE(progress.UsesTaskbar());
    }
    ASSERT_EQ(prompts.Count(), 1u);
    EXPECT_EQ(prompts.LastText(), L"HrInit Error Code =0x80004005");
    EXPECT_EQ(fake_.references, 1u);

    prompts.Clear();
    fake_.initResult = S_OK;
    fake_.valueResult = E_FAIL;
    prompts.Answer(IDOK);
    prompts.Answer(IDOK);
    {
        ProgressWindow progress(WString(L"圧縮"), IDI_ZIPFILE, kWindows7);
        progress.SetPosition(50);
        EXPECT_EQ(BarPosition(progress.Window()), 50);
    }
    ASSERT_EQ(prompts.Count(), 2u);
    EXPECT_EQ(prompts.Prompts()[1].text, L"SetProgressValue Error Code =0x80004005");
    EXPECT_EQ(fake_.references, 1u);
}

ULONGLONG g_fakeNow = 0;
ULONGLONG FakeClock() { return g_fakeNow; }

// A folder of thousands of small files must not spend its time drawing one
// line per file, and a position already shown is not sent again; the first
// file and every later one after the interval are still shown.
TEST_F(ProgressWindowTest, ItemTextsAreThrottledAndRepeatedPositionsSkipped)
{
    g_fakeNow = 1000;
    ProgressWindow::Clock previous = ProgressWindow::SetClock(FakeClock);
    {
        ProgressWindow progress(WString(L"zip に圧縮"), IDI_ZIPFILE, kWindows7);
        EXPECT_TRUE(progress.ItemTextDue());
        g_fakeNow += ProgressWindow::kItemTextInterval - 1;
        EXPECT_FALSE(progress.ItemTextDue());
        g_fakeNow += 1;
        EXPECT_TRUE(progress.ItemTextDue());
        EXPECT_FALSE(progress.ItemTextDue());
        g_fakeNow += 10 * ProgressWindow::kItemTextInterval;
        EXPECT_TRUE(progress.ItemTextDue());

        size_t sent = fake_.values.size();
        progress.SetPosition(0);
        progress.SetPosition(30);
        progress.SetPosition(30);
        progress.SetPosition(31);
        ASSERT_EQ(fake_.values.size(), sent + 2);
        EXPECT_EQ(fake_.values[sent], 30u);
        EXPECT_EQ(fake_.values[sent + 1], 31u);
        EXPECT_EQ(BarPosition(progress.Window()), 31);
    }
    EXPECT_EQ(ProgressWindow::SetClock(previous), FakeClock);
}

// The taskbar object of the system itself, as the programs get it.
TEST(ProgressWindowSystemTaskbar, ConnectsOnWindows7AndLater)
{
    ProgressWindow progress(WString(L"圧縮"), IDI_ZIPFILE, kWindows7);
    EXPECT_TRUE(progress.UsesTaskbar());
    progress.SetPosition(60);
}

}  // namespace
