#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>

#include <atomic>
#include <thread>

#include "common/dialogs.h"
#include "common/file_content.h"
#include "common/messages.h"
#include "common/registry.h"
#include "common/system.h"
#include "common_ids.h"
#include "support/child_process.h"
#include "support/prompt_recorder.h"
#include "support/test_files.h"
#include "support/window_driver.h"

namespace {

const wchar_t kMutexProbe[] = L"mutex-probe";
const wchar_t kRealBox[] = L"real-box";
const wchar_t kWindowsLevel[] = L"windows-level";
const wchar_t kAboutBox[] = L"about-box";
const wchar_t kBrowse[] = L"browse";

// Opens the folder picker at the given folder and writes the folder chosen
// into the result file; exit code 1 when a folder was chosen.
const bool kBrowseRegistered = RegisterChildRole(kBrowse, [](const std::vector<std::wstring>& arguments) {
    ScopedComInit com;
    WString path(arguments.at(0).c_str());
    bool picked = BrowseForFolder(nullptr, L"展開先フォルダーを選んでください", path, false);
    WriteFileText(arguments.at(1).c_str(), Utf8(path.c_str()));
    return picked ? 1 : 0;
});

// Exit code 0 when this process is the first instance, 1 when refused.
const bool kMutexProbeRegistered = RegisterChildRole(kMutexProbe, [](const std::vector<std::wstring>& arguments) {
    SingleInstanceMutex mutex(arguments.at(0).c_str());
    return mutex.IsFirstInstance() ? 0 : 1;
});

// Shows a real box (the programs' own handler) and exits with the answer.
const bool kRealBoxRegistered = RegisterChildRole(kRealBox, [](const std::vector<std::wstring>& arguments) {
    SetPromptHandler(nullptr);
    if (arguments.at(0) == L"ask") {
        return AskUser(arguments.at(1).c_str(), nullptr, MB_YESNOCANCEL);
    }
    return ShowError(arguments.at(1).c_str());
});

const bool kWindowsLevelRegistered = RegisterChildRole(kWindowsLevel, [](const std::vector<std::wstring>&) {
    return WindowsLevel();
});

const bool kAboutBoxRegistered = RegisterChildRole(kAboutBox, [](const std::vector<std::wstring>&) {
    SetPromptHandler(nullptr);
    AboutBox(nullptr, IDI_ZUPAKO, L"Ver.2.22",
             L"書庫の中のファイルをちょっと見たい、ちょっと修正したいときに最適なメニュー型アーカイバです。");
    return 0;
});

TEST(SingleInstance, ASecondProcessIsRefusedWhileTheFirstRuns)
{
    WString name = WString(L"ZPKSet_test") + WString::FromInt(GetCurrentProcessId());
    {
        SingleInstanceMutex first(name);
        ASSERT_TRUE(first.IsFirstInstance());
        ChildProcess second(kMutexProbe, {name.c_str()});
        ASSERT_TRUE(second.Started());
        EXPECT_EQ(1, second.Wait());
    }
    ChildProcess later(kMutexProbe, {name.c_str()});
    EXPECT_EQ(0, later.Wait()) << "the name is free again once the first instance ended";
}

// Command lines hold paths: a lock named after one still refuses the same
// command line and lets a different one run, however long it is.
TEST(SingleInstance, NamesWithBackslashesAndOverLongNamesStillLock)
{
    WString folder = L"ZPKSet_zipcompress \"C:\\写真\\夏\" " + WString::FromInt(GetCurrentProcessId());
    SingleInstanceMutex first(folder);
    EXPECT_TRUE(first.IsFirstInstance());
    EXPECT_FALSE(SingleInstanceMutex(folder).IsFirstInstance());
    EXPECT_TRUE(SingleInstanceMutex(folder + L"\\other").IsFirstInstance());

    WString longName = folder + WString(std::wstring(400, L'a').c_str());
    SingleInstanceMutex longFirst(longName + L"1");
    EXPECT_TRUE(longFirst.IsFirstInstance());
    EXPECT_FALSE(SingleInstanceMutex(longName + L"1").IsFirstInstance());
    EXPECT_TRUE(SingleInstanceMutex(longName + L"2").IsFirstInstance()) << "names that differ only at the end";
}

int g_received = 0;

LRESULT CALLBACK CountingWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_APP + 1) {
        g_received += static_cast<int>(wParam);
        return 0;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

TEST(MessagePumps, PumpPendingDispatchesWhatIsQueued)
{
    WNDCLASSW windowClass{};
    windowClass.lpfnWndProc = CountingWindowProc;
    windowClass.hInstance = ModuleInstance();
    windowClass.lpszClassName = L"ZPKTESTPUMP";
    RegisterClassW(&windowClass);
    HWND window = CreateWindowW(L"ZPKTESTPUMP", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, ModuleInstance(), nullptr);
    ASSERT_NE(nullptr, window);
    PostMessageW(window, WM_APP + 1, 2, 0);
    PostMessageW(window, WM_APP + 1, 3, 0);
    PumpPending();
    EXPECT_EQ(5, g_received);

    PostMessageW(window, WM_APP + 1, 10, 0);
    PostQuitMessage(7);
    EXPECT_EQ(7, RunMessageLoop());
    EXPECT_EQ(15, g_received);
    DestroyWindow(window);
}

TEST(PopupStart, TheTenPixelRule)
{
    EXPECT_FALSE(MovedAway(POINT{100, 100}, POINT{110, 90}));
    EXPECT_TRUE(MovedAway(POINT{100, 100}, POINT{111, 100}));
    EXPECT_TRUE(MovedAway(POINT{100, 100}, POINT{100, 89}));
    EXPECT_TRUE(MovedAway(POINT{100, 100}, POINT{89, 111}));
}

TEST(WindowsLevelTest, FollowsTheReportedVersion)
{
    bool wow64 = true;
    int elevation = 0;
    int level = WindowsLevel(&wow64, &elevation);
    EXPECT_GE(level, kWindows7);
    EXPECT_EQ(sizeof(void*) == 4 ? wow64 : false, wow64);
    EXPECT_GE(elevation, 1);
    EXPECT_LE(elevation, 3);

    // Wine reports the version configured for a program; a child of this
    // program reads it at its start.
    const wchar_t* key = L"Software\\Wine\\AppDefaults\\test_common.exe";
    struct Case {
        const wchar_t* version;
        int level;
    } cases[] = {{L"win7", kWindows7}, {L"win81", kWindows81}, {L"win10", kWindows10}};
    for (const auto& c : cases) {
        {
            RegKey settings(HKEY_CURRENT_USER, key, KEY_ALL_ACCESS, true);
            ASSERT_TRUE(settings.WriteText(L"Version", c.version));
        }
        ChildProcess child(kWindowsLevel, {});
        EXPECT_EQ(c.level, child.Wait()) << Utf8(c.version);
    }
    RegDeleteTreeW(HKEY_CURRENT_USER, key);
}

TEST(RealBoxes, AreTopmostTitledWithTheProductAndAnswered)
{
    ChildProcess child(kRealBox, {L"error", L"アーカイブファイル使用中"});
    HWND box = WaitForTopLevelWindow(L"#32770", L"Zupako");
    ASSERT_NE(nullptr, box);
    EXPECT_TRUE(GetWindowLongW(box, GWL_EXSTYLE) & WS_EX_TOPMOST);
    EXPECT_EQ(L"アーカイブファイル使用中", StaticTextOf(box));
    EXPECT_TRUE(PressButton(box, IDOK));
    EXPECT_EQ(IDOK, child.Wait());

    ChildProcess question(kRealBox, {L"ask", L"格納しますか？"});
    box = WaitForTopLevelWindow(L"#32770", L"Zupako");
    ASSERT_NE(nullptr, box);
    EXPECT_NE(nullptr, GetDlgItem(box, IDCANCEL));
    EXPECT_TRUE(PressButton(box, IDNO));
    EXPECT_EQ(IDNO, question.Wait());
}

TEST(AboutBoxTest, ShowsNameVersionAndSummaryAndClosesWithOk)
{
    // The box runs on a thread of its own, as it would on a program's main
    // thread, while this thread drives it.
    std::atomic<bool> closed{false};
    std::thread shown([&closed] {
        AboutBox(nullptr, IDI_ZUPAKO, L"Ver.2.22",
                 L"書庫の中のファイルをちょっと見たい、ちょっと修正したいときに最適なメニュー型アーカイバです。");
        closed = true;
    });
    HWND dialog = WaitForTopLevelWindow(L"#32770", L"Zupako のバージョン情報");
    if (!dialog) {
        ADD_FAILURE() << "the About box did not appear";
        shown.detach();
        return;
    }
    EXPECT_EQ(L"Zupako", WindowTextOf(GetDlgItem(dialog, kAboutProductName)));
    EXPECT_EQ(L"Ver.2.22", WindowTextOf(GetDlgItem(dialog, kAboutVersion)));
    EXPECT_EQ(0u, WindowTextOf(GetDlgItem(dialog, kAboutSummary)).find(L"書庫の中のファイル"));
    EXPECT_NE(nullptr, reinterpret_cast<HICON>(SendDlgItemMessageW(dialog, kAboutIcon, STM_GETICON, 0, 0)));

    LOGFONTW font{};
    HFONT nameFont = reinterpret_cast<HFONT>(SendDlgItemMessageW(dialog, kAboutProductName, WM_GETFONT, 0, 0));
    ASSERT_NE(nullptr, nameFont);
    GetObjectW(nameFont, sizeof font, &font);
    EXPECT_STREQ(L"ＭＳ Ｐゴシック", font.lfFaceName);
    HDC screen = GetDC(nullptr);
    EXPECT_EQ(-MulDiv(17, GetDeviceCaps(screen, LOGPIXELSY), 72), font.lfHeight);
    ReleaseDC(nullptr, screen);

    // Escape does not close it; OK does.
    PostMessageW(dialog, WM_COMMAND, IDCANCEL, 0);
    Sleep(300);
    EXPECT_FALSE(closed);
    EXPECT_TRUE(PressButton(dialog, kAboutOk));
    shown.join();
    EXPECT_TRUE(closed);
}

// The picker walks its tree down to the folder it was asked to select; a
// choice is only meaningful once the selection stopped moving.
BOOL CALLBACK FindTreeView(HWND child, LPARAM data)
{
    wchar_t className[32] = {};
    GetClassNameW(child, className, 32);
    if (wcscmp(className, L"SysTreeView32") == 0) {
        *reinterpret_cast<HWND*>(data) = child;
        return FALSE;
    }
    return TRUE;
}

void WaitForSteadySelection(HWND picker)
{
    HWND tree = nullptr;
    EnumChildWindows(picker, FindTreeView, reinterpret_cast<LPARAM>(&tree));
    ASSERT_NE(nullptr, tree);
    LRESULT last = 0;
    int steady = 0;
    for (int i = 0; i < 200 && steady < 10; ++i) {
        Sleep(100);
        LRESULT caret = SendMessageW(tree, TVM_GETNEXTITEM, TVGN_CARET, 0);
        steady = caret != 0 && caret == last ? steady + 1 : 0;
        last = caret;
    }
}

// Opens the picker at the start folder in a child process, accepts what it
// selected and returns the folder the child got back.
std::string AcceptPickerChoice(const WString& start, const WString& result)
{
    ChildProcess chosen(kBrowse, {start.c_str(), result.c_str()});
    HWND picker = WaitForProcessDialog(chosen.ProcessId());
    EXPECT_NE(nullptr, picker);
    if (picker == nullptr) {
        return std::string();
    }
    EXPECT_NE(nullptr, FindChildWithText(picker, L"展開先フォルダーを選んでください")) << "the title is shown";
    WaitForSteadySelection(picker);
    EXPECT_TRUE(PressButton(picker, IDOK));
    EXPECT_EQ(1, chosen.Wait());
    Bytes text = ReadFileBytes(result);
    return std::string(text.begin(), text.end());
}

TEST(FolderPicker, OpensAtThePathAndReturnsTheChoice)
{
    ScratchFolder scratch;
    ASSERT_TRUE(CreateDirectoryW((scratch / L"展開先").c_str(), nullptr));
    WString start = scratch / L"展開先";
    WString result = scratch / L"result.txt";
    std::string wanted = Utf8(start.c_str());

    // Wine's picker walks its tree towards the folder asynchronously and, on a
    // busy machine, may still be on the way; what it chose lies on the path.
    // Now and then its walk goes astray while it enumerates the drives (it
    // then settles on a user folder, more often on a loaded machine), so
    // further pickers get more tries; a picker that was never given the
    // folder misses it every time.
    auto onThePath = [&wanted](const std::string& folder) {
        return folder.size() >= strlen("C:\\users") && wanted.find(folder) == 0;
    };
    std::string choices;
    bool reached = false;
    for (int attempt = 0; attempt < 4 && !reached; ++attempt) {
        std::string picked = AcceptPickerChoice(start, result);
        reached = onThePath(picked);
        choices += " [" + picked + "]";
    }
    EXPECT_TRUE(reached) << "the picker opened on the way to " << wanted << "; it chose" << choices;

    ChildProcess cancelled(kBrowse, {L"C:\\no-such-folder", result.c_str()});
    HWND picker = WaitForProcessDialog(cancelled.ProcessId());
    ASSERT_NE(nullptr, picker);
    EXPECT_TRUE(PressButton(picker, IDCANCEL));
    EXPECT_EQ(0, cancelled.Wait());
    Bytes text = ReadFileBytes(result);
    EXPECT_EQ("C:\\no-such-folder", std::string(text.begin(), text.end())) << "a cancel keeps the path";
}

}  // namespace

// Files are checked and copied in pieces far smaller than themselves, as a
// large edit is, and while another program holds them open for writing.
TEST(FileContent, PiecesMakeUpTheWholeFileAndAHeldFileIsStillCopied)
{
    ScratchFolder scratch;
    WString a = scratch / L"a.bin";
    WString b = scratch / L"b.bin";
    std::string text = "0123456789abcdefghij";
    ASSERT_TRUE(WriteFileText(a, text));
    ASSERT_TRUE(WriteFileText(b, text));
    SetFilePieceSize(3);
    std::string gathered;
    EXPECT_TRUE(ReadInPieces(a, [&](const uint8_t* bytes, size_t count) {
        EXPECT_LE(count, 3u);
        gathered.append(reinterpret_cast<const char*>(bytes), count);
        return true;
    }));
    EXPECT_EQ(text, gathered);
    EXPECT_EQ(ContentComparison::kSame, CompareFileContents(a, b));
    ASSERT_TRUE(WriteFileText(b, text.substr(0, 19) + "J"));
    EXPECT_EQ(ContentComparison::kDifferent, CompareFileContents(a, b)) << "the last piece differs";
    ASSERT_TRUE(WriteFileText(b, text + "k"));
    EXPECT_EQ(ContentComparison::kDifferent, CompareFileContents(a, b)) << "one byte longer";
    EXPECT_EQ(ContentComparison::kUnreadable, CompareFileContents(a, scratch / L"missing.bin"));

    {
        // An editor keeps the file open for writing, letting others read it.
        ScopedFile editor(CreateFileW(a.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                      nullptr, OPEN_EXISTING, 0, nullptr));
        ASSERT_TRUE(editor.IsValid());
        WString copy = scratch / L"copy.bin";
        ASSERT_TRUE(CopySharedFile(a, copy));
        EXPECT_EQ(ContentComparison::kSame, CompareFileContents(a, copy));
        FileStamp original = StampOf(a);
        FileStamp copied = StampOf(copy);
        EXPECT_EQ(0, CompareFileTime(&original.lastWrite, &copied.lastWrite));
        EXPECT_FALSE(CopySharedFile(a, b)) << "an existing file is never overwritten";
    }
    EXPECT_EQ(ContentComparison::kDifferent, CompareFileContents(a, b));
    SetFilePieceSize(0);
    EXPECT_EQ(1u << 20, FilePieceSize());
}
