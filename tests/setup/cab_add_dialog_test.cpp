// Dialog 130: files handed to its registered drop target are added to the
// cabinet, at the top level or under the folder chosen from the folder
// menu; duplicates, damage and a failing replace leave the cabinet as it
// was. Results are kept for the cabextract check when ZPK_CAB_RESULTS names
// a folder.
#include <gtest/gtest.h>

#include <atomic>
#include <set>
#include <thread>

#include "archive/cabfile.h"
#include "cab_add_ids.h"
#include "common/paths.h"
#include "setup/cab_add_dialog.h"
#include "support/child_process.h"
#include "support/drop_data.h"
#include "support/private_settings.h"
#include "support/prompt_recorder.h"
#include "support/scripted_user.h"
#include "support/test_files.h"
#include "support/window_driver.h"

namespace {

// The dialog as the "add" verb shows it, for screenshots.
bool g_showRole = RegisterChildRole(L"show-add-dialog", [](const std::vector<std::wstring>& arguments) {
    if (arguments.size() != 1) {
        return 2;
    }
    OleInitialize(nullptr);
    int result = RunCabAddDialog(WString(arguments[0].c_str()));
    OleUninitialize();
    return result;
});

std::vector<std::wstring> Names(const WString& cabinet)
{
    CCabFileEnum reader(cabinet);
    StringList names(true);
    reader.GetEntryNames(names);
    std::vector<std::wstring> result;
    for (int i = 0; i < names.Count(); ++i) {
        if (names[i].Last() != L'\\') {
            result.push_back(names[i].c_str());
        }
    }
    return result;
}

std::vector<std::wstring> TildeFiles(const WString& folder)
{
    AttrStringList items(false);
    ListDirectory(folder, items, WString(L"~*"));
    std::vector<std::wstring> names;
    for (int i = 0; i < items.Count(); ++i) {
        names.push_back(items.Name(i).c_str());
    }
    return names;
}

// Watches the progress window of the add and keeps every text it showed.
class ProgressWatcher {
public:
    ProgressWatcher()
        : thread_([this] {
              while (!stop_) {
                  HWND window = FindWindowW(L"#32770", L"cab の追加圧縮");
                  if (window) {
                      // Read without a message: the add's thread may be
                      // sleeping over the last text.
                      wchar_t text[128] = {};
                      InternalGetWindowText(GetDlgItem(window, 9603), text, 128);
                      std::lock_guard<std::mutex> lock(mutex_);
                      texts_.insert(text);
                  }
                  Sleep(20);
              }
          })
    {
    }
    ~ProgressWatcher() { Stop(); }
    std::set<std::wstring> Texts()
    {
        Stop();
        return texts_;
    }

private:
    void Stop()
    {
        stop_ = true;
        if (thread_.joinable()) {
            thread_.join();
        }
    }
    std::mutex mutex_;
    std::set<std::wstring> texts_;
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

class CabAddDialogTest : public testing::Test {
protected:
    void SetUp() override
    {
        SetCursorPos(400, 300);
        CreateDirectoryW((scratch_ / L"new").c_str(), nullptr);
        WriteFileText(scratch_ / L"new\\b.txt", std::string(3000, 'b'));
        CreateDirectoryW((scratch_ / L"new\\img").c_str(), nullptr);
        WriteFileText(scratch_ / L"new\\img\\x.dat", std::string(5000, 'x'));
        WriteFileText(scratch_ / L"new\\a.txt", "dropped a");
        CreateDirectoryW((scratch_ / L"cabs").c_str(), nullptr);
    }

    // A cabinet made by the engine from a tree of files.
    WString MakeCabinet(const wchar_t* name, const std::vector<std::pair<std::wstring, std::string>>& files)
    {
        WString tree = scratch_ / (std::wstring(L"tree-") + name).c_str();
        for (const auto& file : files) {
            WString path = JoinPath(tree, WString(file.first.c_str()));
            CreateDirectoryTree(ParentDir(path), true);
            WriteFileText(path, file.second);
        }
        WString cabinet = JoinPath(scratch_ / L"cabs", WString(name));
        CCabFile maker(cabinet);
        EXPECT_TRUE(maker.Add(tree, WString(), 102)) << Utf8(maker.ErrorText().c_str());
        return cabinet;
    }

    // Hands the registered drop target a file list as a drag source would,
    // then lets the dialog run until it closes.
    int DropAndRun(CabAddDialog& dialog, const std::vector<std::wstring>& paths, DWORD* effect = nullptr)
    {
        DropData* data = DropData::WithFiles(paths);
        POINTL point{0, 0};
        DWORD entered = DROPEFFECT_COPY | DROPEFFECT_MOVE;
        EXPECT_EQ(S_OK, dialog.DropTarget()->DragEnter(data, MK_LBUTTON, point, &entered));
        EXPECT_EQ(static_cast<DWORD>(DROPEFFECT_COPY), entered);
        DWORD dropped = DROPEFFECT_COPY | DROPEFFECT_MOVE;
        EXPECT_EQ(S_OK, dialog.DropTarget()->Drop(data, 0, point, &dropped));
        EXPECT_EQ(1, data->GivenBack());
        data->Release();
        if (effect) {
            *effect = dropped;
        }
        return dialog.RunUntilClosed();
    }

    std::wstring Source(const wchar_t* name) { return (scratch_ / (std::wstring(L"new\\") + name).c_str()).c_str(); }

    // Keeps the cabinet and the files it should hold for the cabextract check.
    void KeepForCheck(const char* name, const WString& cabinet, const std::vector<std::pair<std::wstring, std::string>>& content)
    {
        wchar_t results[MAX_PATH] = {};
        if (!GetEnvironmentVariableW(L"ZPK_CAB_RESULTS", results, MAX_PATH)) {
            return;
        }
        WString stem = JoinPath(WString(results), WString::FromUtf8(name));
        CopyFileW(cabinet.c_str(), (stem + L".cab").c_str(), FALSE);
        for (const auto& file : content) {
            WString path = JoinPath(stem + L".expected", WString(file.first.c_str()));
            CreateDirectoryTree(ParentDir(path), true);
            WriteFileText(path, file.second);
        }
    }

    ScopedComInit com_;
    PrivateSettings settings_;
    PromptRecorder prompts_;
    ScratchFolder scratch_;
};

TEST(CabAddition, DuplicatesAreFoundWithoutRegardToCase)
{
    ScratchFolder scratch;
    CreateDirectoryW((scratch / L"img").c_str(), nullptr);
    StringList names(false);
    for (const wchar_t* name : {L"A.TXT", L"docs\\", L"docs\\a.txt", L"IMG\\", L"IMG\\x.dat"}) {
        names.Insert(WString(name));
    }
    StringList sources(false);
    sources.Insert(WString(L"C:\\new\\a.txt"));
    EXPECT_TRUE(FindDuplicateEntry(names, sources, WString()) == L"A.TXT");
    EXPECT_TRUE(FindDuplicateEntry(names, sources, WString(L"docs\\")) == L"docs\\a.txt");
    EXPECT_TRUE(FindDuplicateEntry(names, sources, WString(L"other\\")).IsEmpty());
    StringList folder(false);
    folder.Insert(scratch / L"img");
    EXPECT_TRUE(FindDuplicateEntry(names, folder, WString()) == L"IMG\\") << "a folder meets a folder entry";
    // A drive root brings what it holds, not a folder without a name.
    StringList drive(false);
    drive.Insert(WString(L"C:\\"));
    names.Insert(WString(L"Windows\\"));
    EXPECT_TRUE(FindDuplicateEntry(names, drive, WString()) == L"Windows\\");
    EXPECT_TRUE(FindDuplicateEntry(names, drive, WString(L"docs\\")).IsEmpty());
}

TEST_F(CabAddDialogTest, DroppedFilesAndFoldersAreAddedAtTheTopLevel)
{
    WString cabinet = MakeCabinet(L"data.cab", {{L"old.txt", "old content"}});
    CabAddDialog dialog(cabinet);
    ASSERT_TRUE(dialog.Create());
    EXPECT_EQ(L".\\", WindowTextOf(GetDlgItem(dialog.Window(), IDC_CAB_FOLDER)));
    EXPECT_EQ(L"cab への追加圧縮", WindowTextOf(dialog.Window()));
    HWND area = GetDlgItem(dialog.Window(), IDC_CAB_DROP_AREA);
    EXPECT_EQ(DRAGDROP_E_ALREADYREGISTERED, RegisterDragDrop(area, dialog.DropTarget())) << "the drop area is a target";

    ProgressWatcher progress;
    DWORD effect = 0;
    EXPECT_EQ(1, DropAndRun(dialog, {Source(L"b.txt"), Source(L"img")}, &effect));
    EXPECT_EQ(static_cast<DWORD>(DROPEFFECT_COPY), effect);
    EXPECT_TRUE(progress.Texts().count(L"完了")) << "shown for half a second at the end";
    EXPECT_EQ((std::vector<std::wstring>{L"b.txt", L"img\\x.dat", L"old.txt"}), Names(cabinet));
    EXPECT_EQ(std::vector<std::wstring>{}, TildeFiles(scratch_ / L"cabs"));
    EXPECT_EQ(0u, prompts_.Count());
    KeepForCheck("top_level", cabinet,
                 {{L"old.txt", "old content"}, {L"b.txt", std::string(3000, 'b')}, {L"img\\x.dat", std::string(5000, 'x')}});
}

TEST_F(CabAddDialogTest, FolderChosenFromTheMenuReceivesTheDrop)
{
    WString cabinet = MakeCabinet(L"docs.cab", {{L"docs\\guide.txt", "guide"}, {L"top.txt", "top"}});
    CabAddDialog dialog(cabinet);
    ASSERT_TRUE(dialog.Create());
    HWND window = dialog.Window();
    IDropTarget* target = dialog.DropTarget();
    std::atomic<int> enabledDuringMenu{-1};
    std::atomic<DWORD> effectDuringMenu{99};
    std::thread user([&] {
        if (!WaitForPopupMenu(15000)) {
            return;
        }
        Sleep(300);
        enabledDuringMenu = IsWindowEnabled(window) ? 1 : 0;
        // A drag arriving while the menu is up is not taken.
        DropData* data = DropData::WithFiles({Source(L"a.txt")});
        DWORD effect = DROPEFFECT_COPY;
        target->DragEnter(data, MK_LBUTTON, POINTL{0, 0}, &effect);
        effectDuringMenu = effect;
        target->DragLeave();
        data->Release();
        PressKeys({VK_DOWN, VK_DOWN, VK_RETURN});
    });
    SendMessageW(window, WM_COMMAND, MAKEWPARAM(IDC_CAB_CHANGE_FOLDER, BN_CLICKED),
                 reinterpret_cast<LPARAM>(GetDlgItem(window, IDC_CAB_CHANGE_FOLDER)));
    user.join();
    EXPECT_EQ(0, enabledDuringMenu.load());
    EXPECT_EQ(static_cast<DWORD>(DROPEFFECT_NONE), effectDuringMenu.load());
    EXPECT_TRUE(IsWindowEnabled(window));
    EXPECT_EQ(L"docs", WindowTextOf(GetDlgItem(window, IDC_CAB_FOLDER)));

    EXPECT_EQ(1, DropAndRun(dialog, {Source(L"a.txt")}));
    EXPECT_EQ((std::vector<std::wstring>{L"docs\\a.txt", L"docs\\guide.txt", L"top.txt"}), Names(cabinet));
    KeepForCheck("chosen_folder", cabinet, {{L"docs\\guide.txt", "guide"}, {L"top.txt", "top"}, {L"docs\\a.txt", "dropped a"}});
}

TEST_F(CabAddDialogTest, DismissedMenuLeavesAnEmptyFieldThatAddsAtTheTop)
{
    WString cabinet = MakeCabinet(L"dismiss.cab", {{L"docs\\guide.txt", "guide"}});
    CabAddDialog dialog(cabinet);
    ASSERT_TRUE(dialog.Create());
    MenuAnswer user({VK_ESCAPE});
    SendMessageW(dialog.Window(), WM_COMMAND, MAKEWPARAM(IDC_CAB_CHANGE_FOLDER, BN_CLICKED), 0);
    EXPECT_TRUE(user.MenuSeen());
    EXPECT_EQ(L"", WindowTextOf(GetDlgItem(dialog.Window(), IDC_CAB_FOLDER)));
    EXPECT_EQ(1, DropAndRun(dialog, {Source(L"a.txt")}));
    EXPECT_EQ((std::vector<std::wstring>{L"a.txt", L"docs\\guide.txt"}), Names(cabinet));
}

TEST_F(CabAddDialogTest, DuplicateInAnotherCaseIsRefusedAndNothingIsWritten)
{
    WString cabinet = MakeCabinet(L"dup.cab", {{L"A.TXT", "upper"}});
    Bytes before = ReadFileBytes(cabinet);
    CabAddDialog dialog(cabinet);
    ASSERT_TRUE(dialog.Create());
    prompts_.Answer(IDOK);
    ProgressWatcher progress;
    EXPECT_EQ(0, DropAndRun(dialog, {Source(L"a.txt")}));
    EXPECT_TRUE(progress.Texts().empty()) << "nothing was compressed";
    ASSERT_EQ(1u, prompts_.Count());
    EXPECT_EQ(L"パスが重複しているためマージできません。\n path = A.TXT", prompts_.LastText());
    EXPECT_EQ(before, ReadFileBytes(cabinet));
    EXPECT_EQ(std::vector<std::wstring>{}, TildeFiles(scratch_ / L"cabs"));
}

TEST_F(CabAddDialogTest, TemporaryFilesNeverTakeTheUsersNames)
{
    WString cabinet = MakeCabinet(L"keep.cab", {{L"old.txt", "old"}});
    WString usersAdd = scratch_ / L"cabs\\~tempadd.cab";
    WString usersMerged = scratch_ / L"cabs\\~keep.cab";
    WriteFileText(usersAdd, "the user's own file");
    WriteFileText(usersMerged, "another file of the user's");
    CabAddDialog dialog(cabinet);
    ASSERT_TRUE(dialog.Create());
    EXPECT_EQ(1, DropAndRun(dialog, {Source(L"b.txt")}));
    EXPECT_EQ((std::vector<std::wstring>{L"b.txt", L"old.txt"}), Names(cabinet));
    Bytes add = ReadFileBytes(usersAdd);
    Bytes merged = ReadFileBytes(usersMerged);
    EXPECT_EQ("the user's own file", std::string(add.begin(), add.end()));
    EXPECT_EQ("another file of the user's", std::string(merged.begin(), merged.end()));
    EXPECT_EQ((std::vector<std::wstring>{L"~keep.cab", L"~tempadd.cab"}), TildeFiles(scratch_ / L"cabs"));
}

TEST_F(CabAddDialogTest, FailedReplaceKeepsTheCabinetAndNeverSaysDone)
{
    WString cabinet = MakeCabinet(L"held.cab", {{L"old.txt", "old"}});
    Bytes before = ReadFileBytes(cabinet);
    CabAddDialog dialog(cabinet);
    ASSERT_TRUE(dialog.Create());
    int result = -1;
    std::set<std::wstring> shown;
    {
        // Another program holds the cabinet open: it can be read, not replaced.
        ScopedFile held(CreateFileW(cabinet.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
        ASSERT_TRUE(held);
        prompts_.Answer(IDOK);
        ProgressWatcher progress;
        result = DropAndRun(dialog, {Source(L"b.txt")});
        shown = progress.Texts();
    }
    EXPECT_EQ(0, result);
    EXPECT_FALSE(shown.count(L"完了"));
    ASSERT_EQ(1u, prompts_.Count());
    EXPECT_NE(std::wstring::npos, prompts_.LastText().find(L"書庫ファイルを置き換えられません"));
    EXPECT_EQ(before, ReadFileBytes(cabinet));
    EXPECT_EQ(std::vector<std::wstring>{}, TildeFiles(scratch_ / L"cabs"));
}

TEST_F(CabAddDialogTest, DamagedCabinetStopsWithItsText)
{
    WString cabinet = scratch_ / L"cabs\\bad.cab";
    ByteBuilder damaged;
    damaged.Text("MSCF").Fill(60, 0xEE);
    WriteFileBytes(cabinet, damaged.Get());
    CabAddDialog dialog(cabinet);
    ASSERT_TRUE(dialog.Create());
    prompts_.Answer(IDOK);
    EXPECT_EQ(0, DropAndRun(dialog, {Source(L"b.txt")}));
    EXPECT_EQ(1u, prompts_.Count());
    EXPECT_EQ(damaged.Get(), ReadFileBytes(cabinet));
    EXPECT_EQ(std::vector<std::wstring>{}, TildeFiles(scratch_ / L"cabs"));
}

TEST_F(CabAddDialogTest, CancelAndDataWithoutFilesChangeNothing)
{
    WString cabinet = MakeCabinet(L"cancel.cab", {{L"old.txt", "old"}});
    Bytes before = ReadFileBytes(cabinet);
    CabAddDialog dialog(cabinet);
    ASSERT_TRUE(dialog.Create());
    DropData* text = DropData::WithTextOnly();
    DWORD effect = DROPEFFECT_COPY;
    EXPECT_EQ(S_OK, dialog.DropTarget()->DragEnter(text, MK_LBUTTON, POINTL{0, 0}, &effect));
    EXPECT_EQ(static_cast<DWORD>(DROPEFFECT_NONE), effect);
    effect = DROPEFFECT_COPY | DROPEFFECT_MOVE;
    EXPECT_EQ(E_FAIL, dialog.DropTarget()->Drop(text, 0, POINTL{0, 0}, &effect));
    EXPECT_EQ(static_cast<DWORD>(DROPEFFECT_NONE), effect);
    text->Release();
    EXPECT_FALSE(dialog.IsClosed());
    PressButton(dialog.Window(), IDC_CAB_CANCEL);
    EXPECT_EQ(0, dialog.RunUntilClosed());
    EXPECT_EQ(before, ReadFileBytes(cabinet));
    EXPECT_EQ(std::vector<std::wstring>{}, TildeFiles(scratch_ / L"cabs"));
    EXPECT_EQ(0u, prompts_.Count());
}

}  // namespace
