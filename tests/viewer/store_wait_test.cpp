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
int g_runs = 0;

class StoreWait : public ViewerRunFixture {
protected:
    explicit StoreWait(const wchar_t* role = L"launcher")
        : launcher_(L".zl" + std::to_wstring(GetCurrentProcessId()), role),
          // An editor of an earlier test may still wait for its own signal.
          eventName_(L"ZupakoTestSave" + std::to_wstring(GetCurrentProcessId()) + L"_" + std::to_wstring(++g_runs)),
          save_(CreateEventW(nullptr, TRUE, FALSE, eventName_.c_str()))
    {
    }

    // An archive whose one file, in a folder, goes to the launcher; its
    // editor saves when the test says so.
    WString MakeArchive(const std::wstring& name = L"data.zip")
    {
        WString archive = Path(name.c_str());
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
    std::atomic<bool> enterStores{false};
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
        // Enter now stores: the button that would throw the edit away is
        // not the default one.
        enterStores = LOWORD(SendMessageW(window, DM_GETDEFID, 0, 0)) == IDC_STORE_KEEP &&
                      GetFocus() != GetDlgItem(window, IDC_STORE_DISCARD);
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
    EXPECT_TRUE(enterStores.load());
    EXPECT_EQ(std::vector<std::wstring>{L"ファイルの更新が確認されました\n書庫ファイルに格納しますか？"}, Texts());
    // The editor that was already running may still have the document open:
    // storing must not have taken it from under it.
    Bytes copy = ReadFileBytes(WorkCopy(L"note" + launcher_.Extension()));
    EXPECT_EQ(Saved(), std::string(copy.begin(), copy.end()));
    EXPECT_EQ(Saved(), EntryContent(archive, Entry()));
    EXPECT_EQ("z", EntryContent(archive, L"z.txt"));
}

// 破棄 throws a saved edit away only after a question that names it;
// closing the window asks as an editor's end would, and No then asks the
// same. The archive keeps its bytes either way.
TEST_F(StoreWait, DiscardingASavedEditAsksFirstAndLeavesTheArchiveByteIdentical)
{
    WString archive = MakeArchive();
    Bytes before = ReadFileBytes(archive);
    std::wstring discard = L"note" + launcher_.Extension() + L"\nの編集内容を破棄します。よろしいですか？";
    for (bool close : {false, true}) {
        ResetEvent(save_.Get());
        prompts_.Clear();
        if (close) {
            prompts_.Answer(IDNO);
        }
        prompts_.Answer(IDYES);
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
        std::vector<std::wstring> expected;
        if (close) {
            expected.push_back(L"ファイルの更新が確認されました\n書庫ファイルに格納しますか？");
        }
        expected.push_back(discard);
        EXPECT_EQ(expected, Texts()) << (close ? "close" : "discard");
        EXPECT_EQ(before, ReadFileBytes(archive)) << (close ? "close" : "discard");
    }
    // Thrown away: the next opening offers nothing.
    prompts_.Clear();
    MenuDriver menu({VK_ESCAPE});
    EXPECT_EQ(0, RunViewerOn(archive));
    EXPECT_TRUE(menu.SawMenu());
    EXPECT_EQ(0u, prompts_.Count()) << OneLineUtf8(prompts_.LastText());
}

// A launcher that takes longer than the viewer waits for a program that
// hands the file on: the viewer has ended when the edit is saved. The next
// opening of the archive offers it before the menu: stored on Yes, kept
// beside the archive on No, thrown away on Cancel once that is confirmed.
class SlowLaunch : public StoreWait {
protected:
    SlowLaunch() : StoreWait(L"slow-launcher") {}
};

TEST_F(SlowLaunch, AnEditSavedAfterTheViewerEndedIsOfferedTheNextTime)
{
    for (int answer : {IDYES, IDNO, IDCANCEL}) {
        ResetEvent(save_.Get());
        prompts_.Clear();
        WString archive = MakeArchive(L"data" + std::to_wstring(answer) + L".zip");
        Bytes before = ReadFileBytes(archive);
        {
            MenuDriver menu(kOpenTheFile);
            EXPECT_EQ(0, RunViewerOn(archive));
            EXPECT_TRUE(menu.SawMenu());
        }
        EXPECT_EQ(0u, prompts_.Count()) << "nothing was saved while the viewer waited";
        // The editor saves only now.
        SetEvent(save_.Get());
        bool savedSeen = false;
        for (int i = 0; i < 300 && !savedSeen; ++i) {
            Bytes now = ReadFileBytes(WorkCopy(L"note" + launcher_.Extension()));
            savedSeen = std::string(now.begin(), now.end()) == Saved();
            Sleep(100);
        }
        ASSERT_TRUE(savedSeen) << "the editor the launcher started saved the copy";
        prompts_.Answer(answer);
        if (answer == IDNO) {
            prompts_.Answer(IDOK);
        }
        if (answer == IDCANCEL) {
            prompts_.Answer(IDYES);
        }
        {
            MenuDriver menu({VK_ESCAPE});
            EXPECT_EQ(0, RunViewerOn(archive));
            EXPECT_TRUE(menu.SawMenu()) << "the menu follows the question";
        }
        ASSERT_GE(prompts_.Count(), 1u) << answer;
        EXPECT_EQ(L"前回編集したファイルが書庫ファイルに格納されていません：\n" + std::wstring(Entry()) +
                      L"\n［はい］書庫ファイルに格納します\n［いいえ］書庫ファイルの横に保存します\n［キャンセル］破棄します",
                  prompts_.Prompts()[0].text);
        WString besideArchive = Path((L"note" + launcher_.Extension()).c_str());
        if (answer == IDYES) {
            EXPECT_EQ(Saved(), EntryContent(archive, Entry()));
        } else {
            EXPECT_EQ(before, ReadFileBytes(archive)) << answer;
        }
        if (answer == IDNO) {
            Bytes kept = ReadFileBytes(besideArchive);
            EXPECT_EQ(Saved(), std::string(kept.begin(), kept.end()));
            EXPECT_EQ(L"編集したファイルは次の場所にあります：\n" + std::wstring(besideArchive.c_str()), prompts_.LastText());
            DeleteFileW(besideArchive.c_str());
        }
        if (answer == IDCANCEL) {
            EXPECT_EQ(L"note" + launcher_.Extension() + L"\nの編集内容を破棄します。よろしいですか？", prompts_.LastText());
        }
        // Once decided, never asked again.
        prompts_.Clear();
        MenuDriver menu({VK_ESCAPE});
        EXPECT_EQ(0, RunViewerOn(archive));
        EXPECT_EQ(0u, prompts_.Count()) << answer << " " << OneLineUtf8(prompts_.LastText());
    }
}
