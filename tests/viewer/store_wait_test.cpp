// An edit that went to a program that was already running: the stand-in
// launcher hands the file to an editor in a second process and ends at
// once, and the viewer keeps its store window until the user decides.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "common/handles.h"
#include "support/window_driver.h"
#include "viewer/store_wait.h"
#include "viewer_fixture.h"
#include "viewer_ids.h"

namespace {

const DWORD kSaveWait = 15000;
// The menu itself may take a while to come on a busy machine.
const DWORD kWindowWait = 45000;
const ULONGLONG kLauncherEnd = 20000;
int g_runs = 0;

class StoreWait : public ViewerRunFixture {
protected:
    StoreWait()
        : launcher_(L".zl" + std::to_wstring(GetCurrentProcessId()), L"launcher"),
          // An editor of an earlier test may still wait for its own signal.
          eventName_(L"ZupakoTestSave" + std::to_wstring(GetCurrentProcessId()) + L"_" + std::to_wstring(++g_runs)),
          save_(CreateEventW(nullptr, TRUE, FALSE, eventName_.c_str())),
          usualQuickEnd_(QuickEditorMilliseconds())
    {
        // The launcher starts a second process before it ends, which on a
        // loaded machine can take longer than the usual limit.
        SetQuickEditorMilliseconds(kLauncherEnd);
    }
    ~StoreWait() override { SetQuickEditorMilliseconds(usualQuickEnd_); }

    // An archive whose one file, in a folder, goes to the launcher; its
    // editor saves when the test says so.
    WString MakeArchive()
    {
        WString archive = Path(L"data.zip");
        std::string command = "signal|" + std::string(WString(eventName_.c_str()).ToUtf8().c_str()) + "\n";
        EXPECT_TRUE(MakeZip(archive, {{Entry(), command}, {L"z.txt", "z"}}));
        return archive;
    }
    std::wstring Entry() const { return L"dir\\note" + launcher_.Extension(); }
    std::string Saved() const
    {
        return "signal|" + std::string(WString(eventName_.c_str()).ToUtf8().c_str()) + "\nedited\n";
    }

    // Lets the editor save, then waits until the window offers 格納.
    bool SaveAndWaitForStoreButton(HWND window)
    {
        SetEvent(save_.Get());
        HWND keep = GetDlgItem(window, IDC_STORE_KEEP);
        ULONGLONG deadline = GetTickCount64() + kSaveWait;
        while (GetTickCount64() < deadline) {
            if (IsWindowEnabled(keep)) {
                return true;
            }
            Sleep(100);
        }
        return false;
    }

    StandInEditor launcher_;
    std::wstring eventName_;
    ScopedKernelHandle save_;
    ULONGLONG usualQuickEnd_;
};

// The menu: the whole archive, the folder, into it, the file.
const std::vector<WORD> kOpenTheFile = {VK_DOWN, VK_DOWN, VK_RIGHT, VK_RETURN};

}  // namespace

TEST_F(StoreWait, StoreAfterTheSaveStoresTheNewBytesOnYes)
{
    WString archive = MakeArchive();
    prompts_.Answer(IDYES);
    std::atomic<bool> sawWindow{false};
    std::atomic<bool> keepOfferedEarly{true};
    std::atomic<bool> earlyPressKeptTheWindow{false};
    std::atomic<bool> keepOfferedAfterSave{false};
    std::thread driver([&] {
        HWND window = WaitForStoreWindow(kWindowWait);
        if (!window) {
            return;
        }
        sawWindow = true;
        keepOfferedEarly = IsWindowEnabled(GetDlgItem(window, IDC_STORE_KEEP)) != FALSE;
        // 格納 before the editor saved: nothing to store yet, the window stays.
        PressButton(window, IDC_STORE_KEEP);
        Sleep(700);
        earlyPressKeptTheWindow = FindStoreWindow() == window;
        keepOfferedAfterSave = SaveAndWaitForStoreButton(window);
        PressButton(window, keepOfferedAfterSave ? IDC_STORE_KEEP : IDC_STORE_DISCARD);
    });
    MenuDriver menu(kOpenTheFile);
    EXPECT_EQ(0, RunViewerOn(archive));
    driver.join();
    ASSERT_TRUE(sawWindow.load()) << "the launcher's quick end must keep the store window; boxes shown: "
                                  << prompts_.Count() << " " << OneLineUtf8(prompts_.LastText());
    EXPECT_FALSE(keepOfferedEarly.load()) << "nothing saved yet";
    EXPECT_TRUE(earlyPressKeptTheWindow.load());
    EXPECT_TRUE(keepOfferedAfterSave.load()) << "the watch of the copy's folder saw the save";
    EXPECT_EQ(std::vector<std::wstring>{L"ファイルの更新が確認されました\n書庫ファイルに格納しますか？"}, Texts());
    // The editor that was already running may still have the document open:
    // storing must not have taken it from under it.
    Bytes copy = ReadFileBytes(WorkCopy(L"note" + launcher_.Extension()));
    EXPECT_EQ(Saved(), std::string(copy.begin(), copy.end()));
    EXPECT_EQ(Saved(), EntryContent(archive, Entry()));
    EXPECT_EQ("z", EntryContent(archive, L"z.txt"));
}

// 破棄 throws the saved edit away without a question; closing the window
// asks, as an editor's end would, and No keeps the archive as it was.
TEST_F(StoreWait, DiscardOrCloseAndNoLeaveTheArchiveByteIdentical)
{
    WString archive = MakeArchive();
    Bytes before = ReadFileBytes(archive);
    for (bool close : {false, true}) {
        ResetEvent(save_.Get());
        prompts_.Clear();
        if (close) {
            prompts_.Answer(IDNO);
        }
        std::atomic<bool> saved{false};
        std::thread driver([&] {
            HWND window = WaitForStoreWindow(kWindowWait);
            if (!window) {
                return;
            }
            saved = SaveAndWaitForStoreButton(window);
            if (close) {
                PostMessageW(window, WM_CLOSE, 0, 0);
            } else {
                PressButton(window, IDC_STORE_DISCARD);
            }
        });
        MenuDriver menu(kOpenTheFile);
        EXPECT_EQ(0, RunViewerOn(archive));
        driver.join();
        EXPECT_TRUE(saved.load()) << (close ? "close" : "discard");
        EXPECT_EQ(close ? 1u : 0u, prompts_.Count());
        EXPECT_EQ(before, ReadFileBytes(archive)) << (close ? "close" : "discard");
    }
}
