// The viewer from start to end in this process: its refusals and messages,
// the menu worked with key presses by a driver thread, files opened with a
// stand-in editor and stored back, whole-archive actions, Delete, and the
// items that start ZPKSet.
#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <thread>

#include "../archive/cab_builder.h"
#include "archive/zipfile.h"
#include "common/file_content.h"
#include "common/paths.h"
#include "common/system.h"
#include "common/zone_mark.h"
#include "support/child_process.h"
#include "support/private_settings.h"
#include "support/prompt_recorder.h"
#include "support/scripted_passwords.h"
#include "support/test_files.h"
#include "support/zip_builder.h"
#include "viewer/viewer.h"
#include "viewer_fixture.h"

namespace {

const bool kSleeperRegistered = RegisterChildRole(L"sleeper", [](const std::vector<std::wstring>&) {
    Sleep(8000);
    return 0;
});

// Another action of Zupako in a process of its own: an archive object made
// for an archive and destroyed.
const bool kArchiveObjectRegistered = RegisterChildRole(L"archive-object", [](const std::vector<std::wstring>& args) {
    CZipFile archive(WString(args.at(0).c_str()), ZlibBesideProgram());
    return archive.HasError() ? 1 : 0;
});

class ViewerRun : public ViewerRunFixture {
protected:
    void TearDown() override { EXPECT_FALSE(storeWindow_.Appeared()) << "no program handed the file on"; }

    UnexpectedStoreWindow storeWindow_;
};

bool WaitUntilNobodyHolds(const WString& path)
{
    for (int i = 0; i < 100; ++i) {
        if (NobodyHolds(path)) {
            return true;
        }
        Sleep(100);
    }
    return false;
}

// Prompts recorded and answered as by PromptRecorder, with something done
// before a prompt is answered.
class PromptsWithAction : public PromptRecorder {
public:
    explicit PromptsWithAction(std::function<void(const Prompt&)> action) : action_(std::move(action)) {}
    int Answer(const Prompt& prompt) override
    {
        action_(prompt);
        return PromptRecorder::Answer(prompt);
    }
    using PromptRecorder::Answer;

private:
    std::function<void(const Prompt&)> action_;
};

// Wine's menus act on typed letters only when the owner answers "execute",
// so the driver moves with the arrow keys: from no highlight, Down goes to
// the first item and Up to the last.
const WORD kDown = VK_DOWN;

}  // namespace

TEST_F(ViewerRun, NoArgumentIsRefusedWithExitCodeOne)
{
    prompts_.Answer(IDOK);
    EXPECT_EQ(1, RunViewer(WString(L"ZPKMain.exe")));
    EXPECT_EQ(std::vector<std::wstring>{L"直接起動してはいけません"}, Texts());
}

TEST_F(ViewerRun, SecondViewerIsRefusedWhileTheFirstRuns)
{
    SingleInstanceMutex first{WString(kViewerMutexName)};
    ASSERT_TRUE(first.IsFirstInstance());
    prompts_.Answer(IDOK);
    EXPECT_EQ(1, RunViewerOn(Path(L"x.zip")));
    EXPECT_EQ(std::vector<std::wstring>{L"ファイル起動中書庫の起動はできません"}, Texts());
}

// An editor started by the viewer inherits handles; it must not keep the
// lock, or no archive could be opened until the editor ends.
TEST_F(ViewerRun, LockIsNotInheritedByProgramsTheViewerStarts)
{
    PROCESS_INFORMATION child{};
    {
        SingleInstanceMutex first{WString(kViewerMutexName)};
        ASSERT_TRUE(first.IsFirstInstance());
        wchar_t self[MAX_PATH];
        GetModuleFileNameW(nullptr, self, MAX_PATH);
        std::wstring line = L"\"" + std::wstring(self) + L"\" --zpk-child-role=sleeper";
        STARTUPINFOW startup{};
        startup.cb = sizeof startup;
        ASSERT_TRUE(CreateProcessW(self, &line[0], nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup, &child));
    }
    ScopedKernelHandle process(child.hProcess);
    ScopedKernelHandle thread(child.hThread);
    EXPECT_EQ(static_cast<DWORD>(WAIT_TIMEOUT), WaitForSingleObject(process.Get(), 0));
    SingleInstanceMutex later{WString(kViewerMutexName)};
    EXPECT_TRUE(later.IsFirstInstance());
    TerminateProcess(process.Get(), 0);
}

TEST_F(ViewerRun, ForeignExtensionIsRefusedAndCapitalZipIsAccepted)
{
    WriteFileText(Path(L"a.jar"), "PK");
    prompts_.Answer(IDOK);
    EXPECT_EQ(0, RunViewerOn(Path(L"a.jar")));
    EXPECT_EQ(std::vector<std::wstring>{L"非対象のファイルです"}, Texts());
    prompts_.Clear();
    ASSERT_TRUE(MakeZip(Path(L"B.ZIP"), {{L"x.txt", "x"}}));
    MenuDriver driver({VK_ESCAPE, VK_ESCAPE});
    EXPECT_EQ(0, RunViewerOn(Path(L"B.ZIP")));
    EXPECT_TRUE(driver.SawMenu());
    EXPECT_EQ(0u, prompts_.Count());
}

TEST_F(ViewerRun, EmptyZipSaysSoAndEmptyCabinetStartsTheAddDialog)
{
    WriteFileBytes(Path(L"empty.zip"), ZipEndRecord(0, 0, 0));
    prompts_.Answer(IDOK);
    EXPECT_EQ(0, RunViewerOn(Path(L"empty.zip")));
    EXPECT_EQ(std::vector<std::wstring>{L"中身が存在しません"}, Texts());

    WriteFileBytes(Path(L"empty.cab"), BuildStoredCabinet({}));
    EXPECT_EQ(0, RunViewerOn(Path(L"empty.cab")));
    EXPECT_EQ(L"add " + std::wstring(Path(L"empty.cab").c_str()), install_.WaitForArguments());
}

TEST_F(ViewerRun, ReadOnlyCabinetSaysSoAndStillShowsItsMenu)
{
    CabTestLayout layout;
    layout.reservePresent = true;
    layout.folderReserve = 4;
    WriteFileBytes(Path(L"ro.cab"), BuildStoredCabinet({{"a.txt", "a", 0}}, layout));
    prompts_.Answer(IDOK);
    MenuDriver driver({VK_ESCAPE});
    EXPECT_EQ(0, RunViewerOn(Path(L"ro.cab")));
    EXPECT_TRUE(driver.SawMenu());
    EXPECT_EQ(std::vector<std::wstring>{L"ヘッダー以外の追加データがあるので部分削除・追加圧縮はできません"}, Texts());
}

TEST_F(ViewerRun, EditedFileIsStoredInItsFolderOnYes)
{
    WString archive = Path(L"data.zip");
    ASSERT_TRUE(MakeZip(archive, {{L"dir\\" + Named(L"note"), "change\n"}, {L"other.txt", "other"}}));
    prompts_.Answer(IDYES);
    MenuDriver driver({kDown, kDown, VK_RIGHT, VK_RETURN});
    EXPECT_EQ(0, RunViewerOn(archive));
    EXPECT_TRUE(driver.SawMenu());
    EXPECT_EQ(std::vector<std::wstring>{L"ファイルの更新が確認されました\n書庫ファイルに格納しますか？"}, Texts());
    EXPECT_EQ("change\nedited\n", EntryContent(archive, L"dir\\" + Named(L"note")));
    EXPECT_EQ("other", EntryContent(archive, L"other.txt"));
    EXPECT_EQ("<missing>", EntryContent(archive, Named(L"note"))) << "stored in its folder, not at the top";
}

// No to the question throws the edit away only once the user confirms it
// on a question that names the file (Enter keeps it); without that, the
// edit is kept beside the archive. The archive keeps its bytes either way.
TEST_F(ViewerRun, AnswerNoLeavesTheArchiveByteIdenticalAndAsksBeforeDiscarding)
{
    for (bool confirm : {true, false}) {
        WString archive = Path(L"data.zip");
        ASSERT_TRUE(MakeZip(archive, {{Named(L"note"), "change\n"}}));
        Bytes before = ReadFileBytes(archive);
        prompts_.Clear();
        prompts_.Answer(IDNO);
        prompts_.Answer(confirm ? IDYES : IDNO);
        prompts_.Answer(IDOK);
        MenuDriver driver({kDown, kDown, VK_RETURN});
        EXPECT_EQ(0, RunViewerOn(archive));
        EXPECT_EQ(before, ReadFileBytes(archive));
        ASSERT_EQ(confirm ? 2u : 3u, prompts_.Count()) << OneLineUtf8(prompts_.LastText());
        EXPECT_EQ(Named(L"note") + L"\nの編集内容を破棄します。よろしいですか？", prompts_.Prompts()[1].text);
        EXPECT_EQ(static_cast<UINT>(MB_DEFBUTTON2), prompts_.Prompts()[1].buttons & MB_DEFMASK);
        if (!confirm) {
            WString kept = Path(Named(L"note").c_str());
            EXPECT_EQ(L"編集したファイルは格納していません。\n編集したファイルは次の場所にあります：\n" +
                          std::wstring(kept.c_str()),
                      prompts_.LastText());
            Bytes edit = ReadFileBytes(kept);
            EXPECT_EQ("change\nedited\n", std::string(edit.begin(), edit.end()));
        }
    }
}

// A file saved without changes asks nothing. One that its program took
// away is not stored, and the user learns so: nothing else removes a copy.
TEST_F(ViewerRun, SavedWithoutChangesAsksNothingAndAVanishedCopyIsNamed)
{
    WString archive = Path(L"data.zip");
    ASSERT_TRUE(MakeZip(archive, {{Named(L"same"), "same\n"}, {Named(L"vanish"), "vanish\n"}}));
    Bytes before = ReadFileBytes(archive);
    // The copy's CRC-32 is taken piece by piece; pieces far smaller than the
    // file show that the pieces make up the whole.
    SetFilePieceSize(3);
    {
        MenuDriver driver({kDown, kDown, VK_RETURN});
        EXPECT_EQ(0, RunViewerOn(archive));
        EXPECT_TRUE(driver.SawMenu());
    }
    SetFilePieceSize(0);
    EXPECT_EQ(0u, prompts_.Count());
    prompts_.Answer(IDOK);
    {
        MenuDriver driver({kDown, kDown, kDown, VK_RETURN});
        EXPECT_EQ(0, RunViewerOn(archive));
        EXPECT_TRUE(driver.SawMenu());
    }
    EXPECT_EQ(std::vector<std::wstring>{Named(L"vanish") + L"\nが見つからないため、書庫ファイルには格納していません"},
              Texts());
    EXPECT_EQ(before, ReadFileBytes(archive));
}

// The editor saved and still shows the document while another action of
// Zupako runs in another process (an archive object for another archive,
// as a second viewer, a compress verb or the drop handler makes): the
// saved edit is still there when the editor ends, and it is stored.
TEST_F(ViewerRun, AnEditSurvivesAnotherActionWhileItsEditorIsOpen)
{
    WString archive = Path(L"data.zip");
    WString other = Path(L"other.zip");
    ASSERT_TRUE(MakeZip(other, {{L"x.txt", "x"}}));
    std::wstring close = L"ZupakoTestKeep" + std::to_wstring(GetCurrentProcessId());
    ScopedKernelHandle closeEvent(CreateEventW(nullptr, TRUE, FALSE, close.c_str()));
    ScopedKernelHandle savedEvent(CreateEventW(nullptr, TRUE, FALSE, (close + L"_saved").c_str()));
    std::string command = "keep|" + std::string(WString(close.c_str()).ToUtf8().c_str()) + "\n";
    ASSERT_TRUE(MakeZip(archive, {{Named(L"note"), command}}));
    std::atomic<int> otherAction{-1};
    std::thread action([&] {
        if (WaitForSingleObject(savedEvent.Get(), 60000) == WAIT_OBJECT_0) {
            ChildProcess child(L"archive-object", {other.c_str()});
            otherAction = child.Wait();
        }
        SetEvent(closeEvent.Get());
    });
    prompts_.Answer(IDYES);
    MenuDriver driver({kDown, kDown, VK_RETURN});
    EXPECT_EQ(0, RunViewerOn(archive));
    action.join();
    EXPECT_EQ(0, otherAction.load()) << "the other action ran while the editor was open";
    EXPECT_EQ(std::vector<std::wstring>{L"ファイルの更新が確認されました\n書庫ファイルに格納しますか？"}, Texts());
    EXPECT_EQ(command + "edited\n", EntryContent(archive, Named(L"note")));
}

// The editor ended, but another program (a virus scanner, a sync client)
// still holds the copy open for writing. The copy is read beside it; where
// that program lets nobody in, the viewer says so and reads the copy once
// the user retries. The edit is never taken for unchanged.
TEST_F(ViewerRun, AnEditHeldOpenByAnotherProgramIsStoredOnceItCanBeRead)
{
    for (const char* mode : {"r", "x"}) {
        bool exclusive = mode[0] == 'x';
        std::wstring release = L"ZupakoTestRelease" + std::to_wstring(GetCurrentProcessId()) + (exclusive ? L"x" : L"r");
        ScopedKernelHandle releaseEvent(CreateEventW(nullptr, TRUE, FALSE, release.c_str()));
        PromptsWithAction prompts([&](const Prompt& prompt) {
            if (prompt.text.Find(L"を読み込めません") >= 0) {
                SetEvent(releaseEvent.Get());
                WaitUntilNobodyHolds(WorkCopy(Named(L"note")));
            }
        });
        if (exclusive) {
            prompts.Answer(IDRETRY);
        }
        prompts.Answer(IDYES);
        WString archive = Path(exclusive ? L"exclusive.zip" : L"shared.zip");
        std::string command = std::string("hold|") + mode + "|" + WString(release.c_str()).ToUtf8().c_str() + "\n";
        ASSERT_TRUE(MakeZip(archive, {{Named(L"note"), command}}));
        MenuDriver driver({kDown, kDown, VK_RETURN});
        EXPECT_EQ(0, RunViewerOn(archive));
        SetEvent(releaseEvent.Get());
        EXPECT_TRUE(WaitUntilNobodyHolds(WorkCopy(Named(L"note"))));
        ASSERT_EQ(exclusive ? 2u : 1u, prompts.Count()) << mode << " " << OneLineUtf8(prompts.LastText());
        EXPECT_EQ(L"ファイルの更新が確認されました\n書庫ファイルに格納しますか？", prompts.LastText()) << mode;
        EXPECT_EQ(command + "edited\n", EntryContent(archive, Named(L"note"))) << mode;
    }
}

// A deletion of this run waits, and another program changed the archive
// while the editor was open: nothing is written over the changed file. The
// edit is kept beside it, and the user learns which deletion was not
// carried out.
TEST_F(ViewerRun, DeletionsOverAnArchiveChangedMeanwhileAreNotWritten)
{
    WString archive = Path(L"data.zip");
    WString replacement = Path(L"replacement.zip");
    ASSERT_TRUE(MakeZip(replacement, {{L"b.txt", "b"}, {Named(L"note"), "old"}, {L"added.txt", "added"}}));
    Bytes theirs = ReadFileBytes(replacement);
    std::string command = "swap|" + std::string(replacement.ToUtf8().c_str()) + "|" + archive.ToUtf8().c_str() + "\n";
    ASSERT_TRUE(MakeZip(archive, {{L"b.txt", "b"}, {Named(L"note"), command}}));
    prompts_.Answer(IDYES);
    for (int i = 0; i < 3; ++i) {
        prompts_.Answer(IDOK);
    }
    // The whole archive, b.txt (deleted), then the file.
    MenuDriver driver({kDown, kDown, VK_DELETE, kDown, VK_RETURN});
    EXPECT_EQ(0, RunViewerOn(archive));
    EXPECT_TRUE(driver.SawMenu());
    EXPECT_EQ(theirs, ReadFileBytes(archive));
    ASSERT_EQ(4u, prompts_.Count()) << OneLineUtf8(prompts_.LastText());
    EXPECT_NE(std::wstring::npos, prompts_.Prompts()[1].text.find(L"は編集中にほかのプログラムによって変更されました"));
    EXPECT_NE(std::wstring::npos, prompts_.LastText().find(L"ほかのプログラムによって変更されたため"));
    EXPECT_NE(std::wstring::npos, prompts_.LastText().find(L"次の削除は行われませんでした：\nb.txt"))
        << OneLineUtf8(prompts_.LastText());
}

// Another program replaced the archive while the editor was open: the edit
// goes into the archive as it is now, and what that program put there
// stays. It changed the opened entry too: that change is not written over
// without asking; here the edit goes beside it under a free name.
TEST_F(ViewerRun, AnotherProgramsChangeOfTheOpenedEntryIsNotOverwritten)
{
    WString archive = Path(L"data.zip");
    WString replacement = Path(L"replacement.zip");
    ASSERT_TRUE(MakeZip(replacement, {{Named(L"note"), "theirs"}, {L"added.txt", "added"}}));
    std::string command = "swap|" + std::string(replacement.ToUtf8().c_str()) + "|" + archive.ToUtf8().c_str() + "\n";
    ASSERT_TRUE(MakeZip(archive, {{Named(L"note"), command}}));
    prompts_.Answer(IDYES);
    prompts_.Answer(IDNO);
    MenuDriver driver({kDown, kDown, VK_RETURN});
    EXPECT_EQ(0, RunViewerOn(archive));
    ASSERT_EQ(2u, prompts_.Count()) << OneLineUtf8(prompts_.LastText());
    EXPECT_EQ(Named(L"note") + L"\nは編集中にほかのプログラムによって変更されました。\n［はい］編集したファイルで置き換えます\n"
                               L"［いいえ］別の名前で書庫ファイルに格納します\n［キャンセル］書庫ファイルの横に保存します",
              prompts_.LastText());
    EXPECT_EQ("theirs", EntryContent(archive, Named(L"note")));
    EXPECT_EQ(command + "edited\n", EntryContent(archive, L"note (2)" + Ext()));
    EXPECT_EQ("added", EntryContent(archive, L"added.txt"));
}

TEST_F(ViewerRun, EditedFileInACabinetIsStored)
{
    WString archive = Path(L"data.cab");
    ASSERT_TRUE(MakeCab(archive, {{Named(L"note"), "change\n"}, {L"z.txt", "z"}}));
    prompts_.Answer(IDYES);
    // The whole archive, the CAB add item, then the file.
    MenuDriver driver({kDown, kDown, kDown, VK_RETURN});
    EXPECT_EQ(0, RunViewerOn(archive));
    EXPECT_EQ(1u, prompts_.Count());
    EXPECT_EQ("change\nedited\n", EntryContent(archive, Named(L"note")));
    EXPECT_EQ("z", EntryContent(archive, L"z.txt"));
}

// Act 2 with a folder of the archive's name already there: the archive goes
// to "data (2)", and an entry deleted in this run is not extracted.
TEST_F(ViewerRun, ExtractionGoesBesideAnExistingFolderWithoutDeletedEntries)
{
    WString archive = Path(L"data.zip");
    ASSERT_TRUE(MakeZip(archive, {{L"a.txt", "a"}, {L"b.txt", "b"}}));
    WString out = Path(L"out");
    CreateDirectoryW(out.c_str(), nullptr);
    CreateDirectoryW(JoinPath(out, WString(L"data")).c_str(), nullptr);
    WriteFileText(JoinPath(out, WString(L"data\\mine.txt")), "mine");
    settings_.Set(L"Act", 2);
    settings_.SetText(L"ExtractDir", out);
    MenuDriver driver({kDown, kDown, kDown, VK_DELETE, VK_UP, VK_UP, VK_RETURN});
    EXPECT_EQ(0, RunViewerOn(archive));
    EXPECT_TRUE(driver.SawMenu());
    EXPECT_EQ(0u, prompts_.Count());
    EXPECT_TRUE(PathExists(JoinPath(out, WString(L"data (2)\\a.txt"))));
    EXPECT_FALSE(PathExists(JoinPath(out, WString(L"data (2)\\b.txt"))));
    EXPECT_FALSE(PathExists(JoinPath(out, WString(L"data\\a.txt")))) << "the existing folder is not mixed into";
    EXPECT_EQ("<missing>", EntryContent(archive, L"b.txt")) << "the deletion is written at the end of the run";
    EXPECT_EQ("a", EntryContent(archive, L"a.txt"));
}

TEST_F(ViewerRun, ArchiverCommandGetsTheArchivePathQuoted)
{
    WString archive = Path(L"a b&c %x.zip");
    ASSERT_TRUE(MakeZip(archive, {{L"a.txt", "a"}}));
    settings_.Set(L"Act", 1);
    settings_.SetText(L"ArcCommand", L"\"" + install_.Recorder() + L"\" /x %l");
    MenuDriver driver({kDown, VK_RETURN});
    EXPECT_EQ(0, RunViewerOn(archive));
    EXPECT_EQ(L"/x \"" + std::wstring(archive.c_str()) + L"\"", install_.WaitForArguments());
}

TEST_F(ViewerRun, CabinetAddItemStartsSetupWithAdd)
{
    WString archive = Path(L"data.cab");
    ASSERT_TRUE(MakeCab(archive, {{L"a.txt", "a"}}));
    settings_.Set(L"Act", 1);
    MenuDriver driver({kDown, kDown, VK_RETURN});
    EXPECT_EQ(0, RunViewerOn(archive));
    EXPECT_EQ(L"add " + std::wstring(archive.c_str()), install_.WaitForArguments());
}

TEST_F(ViewerRun, AboutItemStartsSetupWithAbout)
{
    WString archive = Path(L"data.zip");
    ASSERT_TRUE(MakeZip(archive, {{L"a.txt", "a"}}));
    MenuDriver driver({VK_UP, VK_RETURN});
    EXPECT_EQ(0, RunViewerOn(archive));
    EXPECT_EQ(L"about", install_.WaitForArguments());
}

TEST_F(ViewerRun, DeleteOnAFolderRemovesItButNotItsCaseVariant)
{
    WString archive = Path(L"data.zip");
    ASSERT_TRUE(MakeZip(archive, {{L"Doc\\a.txt", "a"}, {L"doc\\b.txt", "b"}, {L"z.txt", "z"}}));
    // The first folder item is one of the two; the other must stay.
    MenuDriver driver({kDown, kDown, VK_DELETE, VK_ESCAPE, VK_ESCAPE});
    EXPECT_EQ(0, RunViewerOn(archive));
    bool upperGone = EntryContent(archive, L"Doc\\a.txt") == "<missing>";
    bool lowerGone = EntryContent(archive, L"doc\\b.txt") == "<missing>";
    EXPECT_NE(upperGone, lowerGone);
    EXPECT_EQ("z", EntryContent(archive, L"z.txt"));
}

// Storing fails (another program holds the archive open, so it can be read
// but not replaced): the archive keeps its bytes and the edit is kept
// beside it, with the mark of origin of the downloaded archive, and the
// message says where.
TEST_F(ViewerRun, EditIsKeptBesideTheArchiveWhenStoringFails)
{
    WString archive = Path(L"data.zip");
    ASSERT_TRUE(MakeZip(archive, {{Named(L"note"), "change\n"}}));
    ASSERT_TRUE(WriteFileText(archive + L":Zone.Identifier", "[ZoneTransfer]\r\nZoneId=3\r\n"));
    WriteFileText(Path(Named(L"note").c_str()), "a file of that name is there already");
    Bytes before = ReadFileBytes(archive);
    ScopedFile holder(CreateFileW(archive.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(holder.IsValid());
    prompts_.Answer(IDYES);
    for (int i = 0; i < 4; ++i) {
        prompts_.Answer(IDOK);
    }
    MenuDriver driver({kDown, kDown, VK_RETURN});
    EXPECT_EQ(0, RunViewerOn(archive));
    EXPECT_EQ(before, ReadFileBytes(archive));
    std::wstring kept = Path((L"note (2)" + Ext()).c_str()).c_str();
    ASSERT_GE(prompts_.Count(), 2u);
    EXPECT_EQ(L"書庫ファイルに格納できませんでした。\n編集したファイルは次の場所にあります：\n" + kept, prompts_.LastText());
    Bytes edit = ReadFileBytes(WString(kept.c_str()));
    EXPECT_EQ("change\nedited\n", std::string(edit.begin(), edit.end()));
    EXPECT_EQ(3, ReadZoneMark(WString(kept.c_str())).zoneId);
}

// The password is asked once, through the dialog's point, for the file
// opened from the menu; the edit is stored encrypted as the entry was, and
// read back with the same password without asking again.
TEST_F(ViewerRun, EditOfAnEncryptedEntryIsStoredEncryptedWithItsPassword)
{
    WString archive = Path(L"secret.zip");
    WString name(Named(L"note").c_str());
    ASSERT_TRUE(WriteFileBytes(archive, BuildZip({EncryptedZipEntry(Utf8(Named(L"note").c_str()), "change\n", "pw")})));
    ScriptedPasswords passwords({L"pw"});
    PasswordSource* previous = SetPasswordHandler(&passwords);
    prompts_.Answer(IDYES);
    MenuDriver driver({kDown, kDown, VK_RETURN});
    EXPECT_EQ(0, RunViewerOn(archive));
    SetPasswordHandler(previous);
    ASSERT_EQ(1u, passwords.requests.size());
    EXPECT_TRUE(passwords.requests[0].entryName == name);
    EXPECT_NE(nullptr, passwords.requests[0].owner) << "the dialog belongs to the menu's window";
    EXPECT_EQ(1u, prompts_.Count()) << "only the question whether to store: " << Utf8(prompts_.LastText());
    ScriptedPasswords again({L"pw"});
    CZipFile stored(archive, ZlibBesideProgram());
    stored.SetPasswordSource(&again);
    EXPECT_TRUE(stored.IsEncryptedEntry(name));
    WString out = Path(L"out");
    ASSERT_TRUE(stored.Extract(out, name, false)) << stored.ErrorText().ToUtf8().c_str();
    Bytes edit = ReadFileBytes(JoinPath(out, name));
    EXPECT_EQ("change\nedited\n", std::string(edit.begin(), edit.end()));
}
