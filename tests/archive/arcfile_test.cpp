#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <memory>

#include "archive/arcfile.h"
#include "archive/cab_builder.h"
#include "archive/cabfile.h"
#include "archive/zipfile.h"
#include "archive/work_copies.h"
#include "archive/zip_records.h"
#include "common/paths.h"
#include "support/prompt_recorder.h"
#include "support/test_files.h"
#include "support/zip_builder.h"

namespace {

// The smallest concrete archive object: it lists nothing and "extracts" by
// writing the entry path into a file, so that the base class can be driven.
class ProbeArchive : public CArcFile {
public:
    explicit ProbeArchive(const WString& path, bool keep = false) : CArcFile(path, keep) {}
    bool GetEntryNames(StringList&) override { return true; }
    bool Extract(const WString& destination, const WString& entryPath, bool ask) override
    {
        WString target;
        if (!PrepareDestination(destination, entryPath, ask, target)) {
            return false;
        }
        if (entryPath.Last() == L'\\') {
            return CreateDirectoryW(target.c_str(), nullptr) != FALSE;
        }
        return WriteFileText(target, Utf8(entryPath.c_str()));
    }
    bool GetEntryInfo(const WString&, DWORD&, DWORD&, FILETIME&, DWORD&, StringList&) override { return false; }
    bool Add(const WString&, const WString&, int) override { return false; }
    bool Delete(const WString&) override { return false; }
    bool CanUpdate() override { return false; }
    bool CanDelete() override { return false; }
};

std::string U(const WString& text) { return Utf8(text.c_str()); }

class ArchiveObjectTest : public testing::Test {
protected:
    WString Archive() const { return scratch_ / L"a.zip"; }
    ScratchFolder scratch_;
};

// A process that has ended: this one, as it would be had it started a
// moment later.
ProcessIdentity EndedProcess()
{
    ProcessIdentity ended = ProcessIdentity::Current();
    ended.started += 1;
    return ended;
}

// A slot of the given owner holding one file; for an opened copy the record
// says the file was extracted as it is now.
WString MakeSlot(const WString& work, WorkCopyKind kind, const ProcessIdentity& owner, const WString& archive,
                 const char* content)
{
    WorkSlot slot;
    EXPECT_TRUE(slot.Create(work, kind, owner));
    slot.Record().archivePath = archive;
    slot.Record().entryPath = L"dir\\note.txt";
    slot.Record().copyName = L"note.txt";
    EXPECT_TRUE(WriteFileText(slot.CopyPath(), content));
    slot.Record().copyStamp = StampOf(slot.CopyPath());
    EXPECT_TRUE(slot.SaveRecord());
    return slot.CopyPath();
}

// Other actions run at once, and an editor may still work on a copy whose
// viewer has ended: an archive object removes only what nobody needs any
// more, and never an edit.
TEST_F(ArchiveObjectTest, ConstructionRemovesOnlyWhatNoActionNeedsAndNeverAnEdit)
{
    WString work = WorkFolderPath();
    RemoveTree(work);
    {
        ProbeArchive first(Archive());
        EXPECT_TRUE(first.WorkFolder() == work);
        EXPECT_TRUE(IsDirectory(work)) << "a missing work folder is created";
    }
    WriteFileText(Archive(), "archive");
    ProcessIdentity ended = EndedProcess();
    WString unchanged = MakeSlot(work, WorkCopyKind::kOpened, ended, Archive(), "as extracted");
    SetFileAttributesW(unchanged.c_str(), FILE_ATTRIBUTE_READONLY);
    WString edited = MakeSlot(work, WorkCopyKind::kOpened, ended, Archive(), "as extracted");
    WString dragged = MakeSlot(work, WorkCopyKind::kHandedOut, ended, Archive(), "dragged");
    WString scratch = MakeSlot(work, WorkCopyKind::kScratch, ended, Archive(), "~temp");
    WString running = MakeSlot(work, WorkCopyKind::kHandedOut, ProcessIdentity::Current(), Archive(), "in use");
    // The archive of this edit went from a folder that is still there.
    WString gone = scratch_ / L"moved away.zip";
    WString orphan = MakeSlot(work, WorkCopyKind::kOpened, ended, gone, "as extracted");
    // Its archive's drive is not there now: the edit waits for it.
    WString unreachable = MakeSlot(work, WorkCopyKind::kOpened, ended, L"Q:\\absent\\a.zip", "as extracted");
    WriteFileText(edited, "edited");
    WriteFileText(orphan, "edited, archive gone");
    WriteFileText(unreachable, "edited, drive gone");
    WriteFileText(work + L"\\users.txt", "not a slot");

    ProbeArchive second(Archive());
    EXPECT_FALSE(PathExists(ParentDir(unchanged))) << "ended, as extracted, read-only";
    EXPECT_FALSE(PathExists(ParentDir(dragged))) << "a drag's leftover";
    EXPECT_FALSE(PathExists(ParentDir(scratch)));
    EXPECT_FALSE(PathExists(ParentDir(unchanged) + L".zpkcopy")) << "the record goes with its slot";
    EXPECT_TRUE(PathExists(edited)) << "an edit stays until it is stored or let go";
    EXPECT_TRUE(PathExists(running)) << "a running action's copy";
    EXPECT_TRUE(PathExists(unreachable));
    EXPECT_TRUE(PathExists(work + L"\\users.txt")) << "what is not a slot is left alone";
    Bytes kept = ReadFileBytes(scratch_ / L"note.txt");
    EXPECT_EQ("edited, archive gone", std::string(kept.begin(), kept.end())) << "kept where the archive was";
    EXPECT_FALSE(PathExists(ParentDir(orphan)));

    std::vector<WString> pending = PendingEditsOf(work, Archive());
    ASSERT_EQ(1u, pending.size()) << "only the changed copy of this archive";
    EXPECT_TRUE(pending[0] == ParentDir(edited));
    for (const WString& copy : {edited, running, unreachable}) {
        WorkSlot slot;
        if (slot.Open(ParentDir(copy))) {
            slot.Remove();
        }
    }
}

// A link somewhere inside a slot may point at the user's files: removing
// the slot takes the link away and leaves what it points to.
TEST_F(ArchiveObjectTest, RemovingASlotNeverFollowsANestedLink)
{
    WString work = WorkFolderPath();
    WString outside = scratch_ / L"users files";
    ASSERT_TRUE(CreateDirectoryTree(outside + L"\\inner", true));
    ASSERT_TRUE(WriteFileText(outside + L"\\keep.txt", "keep"));
    ASSERT_TRUE(WriteFileText(outside + L"\\inner\\keep too.txt", "keep"));
    WString copy = MakeSlot(work, WorkCopyKind::kHandedOut, EndedProcess(), Archive(), "x");
    {
        SymbolicLink link(ParentDir(copy) + L"\\link", outside);
        ASSERT_TRUE(link.Made());
        ProbeArchive sweeping(Archive());
        EXPECT_TRUE(PathExists(outside + L"\\keep.txt"));
        EXPECT_TRUE(PathExists(outside + L"\\inner\\keep too.txt"));
        EXPECT_FALSE(PathExists(copy));
    }
    EXPECT_TRUE(PathExists(outside + L"\\keep.txt"));
}

// A commit keeps what the archive is besides its content: its mark of
// origin and other streams, its attributes and creation time, and, for an
// archive reached through a link, the link, with the archive changed where
// the link leads. ZIP and CAB alike.
TEST_F(ArchiveObjectTest, CommitKeepsTheArchivesStreamsAttributesCreationTimeAndLink)
{
    for (bool cabinet : {false, true}) {
        WString real = scratch_ / (cabinet ? L"real\\kept.cab" : L"real\\kept.zip");
        CreateDirectoryTree(ParentDir(real), true);
        ASSERT_TRUE(WriteFileBytes(real, cabinet ? BuildStoredCabinet({{"a.txt", "a", 0}, {"b.txt", "b", 0}})
                                                 : BuildZip({{"a.txt", "a"}, {"b.txt", "b"}})));
        const std::string mark = "[ZoneTransfer]\r\nZoneId=3\r\nHostUrl=https://example.com/kept\r\n";
        ASSERT_TRUE(WriteFileText(real + L":Zone.Identifier", mark));
        FILETIME created{0x12340000, 0x01C0A000};
        {
            ScopedFile file(CreateFileW(real.c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                        0, nullptr));
            ASSERT_TRUE(SetFileTime(file.Get(), &created, nullptr, nullptr));
        }
        ASSERT_TRUE(SetFileAttributesW(real.c_str(), FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_ARCHIVE));
        // Wine keeps no creation time of its own: there it cannot be shown.
        WIN32_FILE_ATTRIBUTE_DATA data{};
        ASSERT_TRUE(GetFileAttributesExW(real.c_str(), GetFileExInfoStandard, &data));
        bool creationTimeKept = CompareFileTime(&created, &data.ftCreationTime) == 0;
        WString link = scratch_ / (cabinet ? L"link.cab" : L"link.zip");
        SymbolicLink made(link, real);
        ASSERT_TRUE(PathExists(link));
        {
            std::unique_ptr<CArcFile> archive = cabinet ? OpenCabArchive(link)
                                                        : std::unique_ptr<CArcFile>(new CZipFile(link, ZlibBesideProgram()));
            ASSERT_TRUE(archive->Delete(WString(L"a.txt")));
            EXPECT_TRUE(archive->CommitChanges()) << Utf8(archive->ErrorText().c_str());
        }
        std::unique_ptr<CArcFile> reread = cabinet ? OpenCabArchive(real)
                                                   : std::unique_ptr<CArcFile>(new CZipFile(real, ZlibBesideProgram()));
        StringList names(false);
        reread->GetEntryNames(names);
        ASSERT_EQ(1, names.Count()) << cabinet;
        EXPECT_TRUE(names[0] == L"b.txt") << "changed where the link leads";
        EXPECT_EQ(ReadFileBytes(real), ReadFileBytes(link)) << "and the link leads there still";
        Bytes stream = ReadFileBytes(real + L":Zone.Identifier");
        EXPECT_EQ(mark, std::string(stream.begin(), stream.end())) << cabinet;
        ASSERT_TRUE(GetFileAttributesExW(real.c_str(), GetFileExInfoStandard, &data));
        EXPECT_TRUE(data.dwFileAttributes & FILE_ATTRIBUTE_HIDDEN) << cabinet;
        if (creationTimeKept) {
            EXPECT_EQ(0, CompareFileTime(&created, &data.ftCreationTime)) << cabinet;
        }
        AttrStringList left(false);
        ListDirectory(ParentDir(real), left, WString(L"~*"));
        EXPECT_EQ(0, left.Count()) << "neither the new archive's working name nor the old one's is left";
    }
}

TEST_F(ArchiveObjectTest, ShowsItsErrorTextExactlyOnceWhenDestroyed)
{
    PromptRecorder prompts;
    {
        ProbeArchive quiet(Archive());
    }
    EXPECT_EQ(0u, prompts.Count()) << "an object without failures shows nothing";

    prompts.Answer(IDOK);
    {
        ProbeArchive failing(Archive());
        failing.SetErrorText(L"first");
        failing.SetErrorText(L"CentralDir 署名を見つけられません index = 3");
        EXPECT_EQ(0u, prompts.Count()) << "nothing is shown before the end";
    }
    ASSERT_EQ(1u, prompts.Count());
    EXPECT_EQ(L"CentralDir 署名を見つけられません index = 3", prompts.LastText());
    EXPECT_EQ(static_cast<UINT>(MB_ICONERROR), prompts.Prompts()[0].icon);
}

TEST_F(ArchiveObjectTest, OpeningAnArchiveHeldByAnotherProgramNamesIt)
{
    ASSERT_TRUE(WriteFileText(Archive(), "PK"));
    ScopedFile holder(CreateFileW(Archive().c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(holder.IsValid());
    ProbeArchive archive(Archive());
    EXPECT_EQ(INVALID_HANDLE_VALUE, archive.OpenArchive());
    EXPECT_EQ(U(Archive()) + "\nアーカイブファイル使用中", U(archive.ErrorText()));
    archive.ClearErrorText();

    ProbeArchive missing(scratch_ / L"none.zip");
    EXPECT_EQ(INVALID_HANDLE_VALUE, missing.OpenArchive());
    EXPECT_EQ("OpenArc Error = 2", U(missing.ErrorText()));
    missing.ClearErrorText();
}

TEST_F(ArchiveObjectTest, ReadWriteAndSeekFailuresNameTheStep)
{
    ASSERT_TRUE(WriteFileText(Archive(), "0123456789"));
    ProbeArchive archive(Archive());
    ScopedFile file(archive.OpenArchive());
    ASSERT_TRUE(file.IsValid());

    char buffer[32] = {};
    DWORD got = 0;
    EXPECT_TRUE(archive.SeekTo(file.Get(), 6, "EndOfCentralDir"));
    EXPECT_TRUE(archive.ReadBlock(file.Get(), buffer, 32, "EndOfCentralDir", &got));
    EXPECT_EQ(4u, got) << "a short read is no failure, and says how much arrived";
    EXPECT_EQ(0, memcmp(buffer, "6789", 4));

    EXPECT_FALSE(archive.WriteBlock(file.Get(), "x", 1, "LocalHeader a.txt"));
    EXPECT_EQ("Write Error = 5 at LocalHeader a.txt", U(archive.ErrorText()));

    EXPECT_FALSE(archive.SeekTo(file.Get(), 0x8000000000000000ULL, "CentralDir start"));
    EXPECT_EQ("Set Pointer Error code = 131 at CentralDir start", U(archive.ErrorText()));

    ScopedFile writeOnly(CreateFileW((scratch_ / L"w.bin").c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
    EXPECT_FALSE(archive.ReadBlock(writeOnly.Get(), buffer, 4, "FileName"));
    EXPECT_EQ("Read Error = 5 at FileName", U(archive.ErrorText()));
    archive.ClearErrorText();
}

// Copies count bytes of a patterned source through CopyData and checks them.
void CheckCopy(ProbeArchive& archive, const ScratchFolder& scratch, uint64_t count)
{
    WString source = scratch / L"source.bin";
    WString target = scratch / L"target.bin";
    {
        ScopedFile out(CreateFileW(source.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
        std::vector<uint8_t> block(1 << 20);
        for (size_t i = 0; i < block.size(); ++i) {
            block[i] = static_cast<uint8_t>(i * 7 + i / 251);
        }
        for (uint64_t written = 0; written < count;) {
            DWORD part = static_cast<DWORD>(std::min<uint64_t>(block.size(), count - written));
            DWORD done = 0;
            ASSERT_TRUE(WriteFile(out.Get(), block.data(), part, &done, nullptr));
            written += part;
        }
        // One byte more than is copied, to see that CopyData stops at count.
        DWORD done = 0;
        WriteFile(out.Get(), "!", 1, &done, nullptr);
    }
    ScopedFile in(CreateFileW(source.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
    ScopedFile out(CreateFileW(target.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
    ASSERT_TRUE(archive.CopyData(in.Get(), out.Get(), count)) << U(archive.ErrorText());
    out.Reset();
    in.Reset();
    Bytes a = ReadFileBytes(source);
    Bytes b = ReadFileBytes(target);
    ASSERT_EQ(count, b.size());
    EXPECT_TRUE(std::equal(b.begin(), b.end(), a.begin()));
}

TEST_F(ArchiveObjectTest, CopiesAcrossTheHundredMillionByteChunk)
{
    ProbeArchive archive(Archive());
    CheckCopy(archive, scratch_, 0);
    CheckCopy(archive, scratch_, 12345);
    // Exactly one full chunk and an empty remainder.
    CheckCopy(archive, scratch_, 100000000);
}

TEST_F(ArchiveObjectTest, CopyFromAShortSourceFailsInsteadOfWritingGarbage)
{
    ProbeArchive archive(Archive());
    ASSERT_TRUE(WriteFileText(scratch_ / L"short.bin", "abc"));
    ScopedFile in(CreateFileW((scratch_ / L"short.bin").c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                              OPEN_EXISTING, 0, nullptr));
    ScopedFile out(CreateFileW((scratch_ / L"t.bin").c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
    EXPECT_FALSE(archive.CopyData(in.Get(), out.Get(), 10));
    EXPECT_EQ("Read Error = 38 at CopyData", U(archive.ErrorText()));
    archive.ClearErrorText();
}

TEST_F(ArchiveObjectTest, CollectsFilesDepthFirstWithTheirSizes)
{
    ASSERT_TRUE(CreateDirectoryTree(scratch_ / L"f\\s", true));
    ASSERT_TRUE(WriteFileText(scratch_ / L"f\\a.txt", "12345"));
    ASSERT_TRUE(WriteFileText(scratch_ / L"f\\s\\b.txt", "123"));
    ASSERT_TRUE(WriteFileText(scratch_ / L"f\\z.txt", ""));
    ProbeArchive archive(Archive());
    ASSERT_TRUE(archive.CollectFiles(scratch_ / L"f"));
    const SizeList& files = archive.Collected();
    ASSERT_EQ(3, files.Count());
    EXPECT_EQ(8u, archive.CollectedTotal());
    EXPECT_FALSE(files.IsSorted());
    int b = files.Find(scratch_ / L"f\\s\\b.txt");
    ASSERT_GE(b, 0);
    EXPECT_EQ(3u, files.ValueAt(b));

    archive.ResetCollected();
    EXPECT_FALSE(archive.CollectFiles(scratch_ / L"missing"));
    EXPECT_EQ(U(scratch_ / L"missing") + " 列挙エラー", U(archive.ErrorText()));
    EXPECT_EQ(0u, archive.CollectedTotal());

    ScopedFile locked(CreateFileW((scratch_ / L"f\\a.txt").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
    EXPECT_FALSE(archive.CollectFile(scratch_ / L"f\\a.txt"));
    EXPECT_EQ(U(scratch_ / L"f\\a.txt") + "\nCompress File Open Error = 32", U(archive.ErrorText()));
    archive.ClearErrorText();
}

TEST_F(ArchiveObjectTest, WalkMeetsFilesAndEmptyFoldersDepthFirstInListingOrderAndStopsWhenTheVisitorFails)
{
    std::vector<std::wstring> expected = MakeMixedTree(scratch_ / L"tree");
    ASSERT_EQ(9u, expected.size());
    ProbeArchive archive(Archive());
    std::vector<std::wstring> below;
    ASSERT_TRUE(archive.WalkFiles(scratch_ / L"tree", [&](const WString& path, const WString& name) {
        EXPECT_EQ(U(JoinPath(scratch_ / L"tree", name)), U(path));
        below.push_back(name.c_str());
        return true;
    }));
    EXPECT_EQ(expected, below);

    // The collection for compression keeps the same order.
    ASSERT_TRUE(archive.CollectFiles(scratch_ / L"tree"));
    ASSERT_EQ(9, archive.Collected().Count());
    for (int i = 0; i < 9; ++i) {
        EXPECT_EQ(U(JoinPath(scratch_ / L"tree", WString(expected[i].c_str()))), U(archive.Collected().Name(i)));
    }

    // Folders that hold nothing at all are met at their place in the walk,
    // a folder holding only an empty folder is not; nor is a folder with
    // files. An empty walked folder is met itself, under an empty name.
    std::vector<std::wstring> withFolders;
    auto meet = [&](const WString& path, const WString& name) {
        EXPECT_EQ(U(JoinPath(scratch_ / L"tree", name)), U(path));
        withFolders.push_back(name.c_str());
        return true;
    };
    ASSERT_TRUE(archive.WalkFiles(scratch_ / L"tree", meet, [&](const WString& path, const WString& name) {
        EXPECT_TRUE(IsDirectory(path)) << U(path);
        withFolders.push_back(name.c_str());
        return true;
    }));
    EXPECT_EQ(WalkOrder(scratch_ / L"tree", true), withFolders);
    EXPECT_EQ(2, std::count_if(withFolders.begin(), withFolders.end(),
                               [](const std::wstring& name) { return name.back() == L'\\'; }));
    CreateDirectoryTree(scratch_ / L"void", false);
    std::vector<std::wstring> empty;
    ASSERT_TRUE(archive.WalkFiles(scratch_ / L"void", meet, [&](const WString& path, const WString& name) {
        EXPECT_EQ(U(scratch_ / L"void"), U(path));
        empty.push_back(name.c_str());
        return true;
    }));
    EXPECT_EQ(std::vector<std::wstring>{L""}, empty);

    int visited = 0;
    EXPECT_FALSE(archive.WalkFiles(scratch_ / L"tree", [&](const WString&, const WString&) { return ++visited < 4; }));
    EXPECT_EQ(4, visited);
    EXPECT_FALSE(archive.HasError()) << "a visitor's failure is the visitor's to explain";
}

TEST_F(ArchiveObjectTest, PrepareDestinationChecksArchiveTargetAndOverwrite)
{
    ProbeArchive missing(Archive());
    WString target;
    EXPECT_FALSE(missing.PrepareDestination(scratch_ / L"out", L"a.txt", false, target));
    EXPECT_EQ(U(Archive()) + "ファイルが存在しません", U(missing.ErrorText()));
    missing.ClearErrorText();

    ASSERT_TRUE(WriteFileText(Archive(), "PK"));
    ProbeArchive archive(Archive());
    ASSERT_TRUE(WriteFileText(scratch_ / L"file", "x"));
    EXPECT_FALSE(archive.PrepareDestination(scratch_ / L"file", L"a.txt", false, target));
    EXPECT_EQ(U(scratch_ / L"file") + "\nはディレクトリではありません", U(archive.ErrorText()));
    archive.ClearErrorText();

    WString out = scratch_ / L"out";
    EXPECT_TRUE(archive.PrepareDestination(out, L"a\\b\\c.txt", true, target));
    EXPECT_EQ(U(out) + "\\c.txt", U(target));
    EXPECT_TRUE(IsDirectory(out)) << "the destination is created";
    EXPECT_TRUE(archive.PrepareDestination(out, L"a\\b\\", true, target));
    EXPECT_EQ(U(out) + "\\b", U(target));

    // The whole archive checks the destination itself.
    PromptRecorder prompts;
    prompts.Answer(IDCANCEL);
    EXPECT_FALSE(archive.PrepareDestination(out, L"", true, target));
    ASSERT_EQ(1u, prompts.Count());
    EXPECT_EQ(U(out) + "\nを上書きしますがいいですか？", Utf8(prompts.LastText()));
    EXPECT_EQ(static_cast<UINT>(MB_OKCANCEL), prompts.Prompts()[0].buttons);
    prompts.Answer(IDOK);
    EXPECT_TRUE(archive.PrepareDestination(out, L"", true, target));
    EXPECT_TRUE(target == out);
    EXPECT_FALSE(archive.HasError());
}

TEST_F(ArchiveObjectTest, BusyCursorsComeFromTheResourcesAndGiveWayToTheArrow)
{
    ProbeArchive archive(Archive());
    HCURSOR arrow = LoadCursorW(nullptr, IDC_ARROW);
    HCURSOR shown[3] = {};
    for (int kind = kExtractCursor; kind <= kListCursor; ++kind) {
        archive.SetBusyCursor(kind);
        EXPECT_TRUE(archive.IsBusyCursorShown());
        shown[kind - 1] = GetCursor();
        EXPECT_NE(nullptr, shown[kind - 1]);
        EXPECT_NE(arrow, shown[kind - 1]);
    }
    EXPECT_NE(shown[0], shown[1]);
    EXPECT_NE(shown[1], shown[2]);
    archive.SetBusyCursor(kArrowCursor);
    EXPECT_FALSE(archive.IsBusyCursorShown());
    EXPECT_EQ(arrow, GetCursor());
    archive.WaitUntilIdle();
}

TEST(ArchiveKind, FollowsTheExtensionIgnoringCase)
{
    EXPECT_EQ(kZipArchive, CArcFile::ArchiveKindOf(L"C:\\d\\A.ZIP"));
    EXPECT_EQ(kCabArchive, CArcFile::ArchiveKindOf(L"x.Cab"));
    EXPECT_EQ(kUnknownArchive, CArcFile::ArchiveKindOf(L"x.zip.txt"));
    EXPECT_EQ(kUnknownArchive, CArcFile::ArchiveKindOf(L"zip"));
}

TEST(ArcEntryLayout, StartsWithTheCentralHeaderAsStored)
{
    // A central directory header as an archive holds it.
    ByteBuilder stored;
    stored.U32(zip::kCentralHeaderSignature)  // signature
        .U16(0x031E)                           // version made by: Unix, 3.0
        .U16(20)                               // version needed
        .U16(0x0800)                           // flags
        .U16(8)                                // method: deflate
        .U16(0x4A65)                           // DOS time
        .U16(0x5827)                           // DOS date
        .U32(0xCBF43926)                       // CRC-32
        .U32(11)                               // compressed size
        .U32(9)                                // uncompressed size
        .U16(5)                                // name length
        .U16(36)                               // extra length
        .U16(2)                                // comment length
        .U16(0)                                // disk start
        .U16(1)                                // internal attributes
        .U32(0x81A40020)                       // external attributes
        .U32(0x12345678);                      // local header offset
    ASSERT_EQ(46u, stored.Size());
    ArcEntry entry = EmptyArcEntry();
    memcpy(&entry, stored.Get().data(), 46);
    EXPECT_EQ(8, entry.method);
    EXPECT_EQ(0xCBF43926u, entry.crc32);
    EXPECT_EQ(36, entry.extraLength);
    EXPECT_EQ(0x81A40020u, entry.externalAttributes);
    EXPECT_EQ(0x12345678u, entry.headerOffset32);
    EXPECT_EQ(-1, entry.centralExtraIndex);
    EXPECT_EQ(0, memcmp(&entry, stored.Get().data(), 46)) << "written back byte for byte";
    EXPECT_EQ(reinterpret_cast<const uint8_t*>(&entry) + 46, reinterpret_cast<const uint8_t*>(&entry.packedSize))
        << "the values read come right after the stored header";
    EXPECT_FALSE(IsTimePresent(entry.modifiedTime));
}

TEST(EntryTableTest, KeepsRecordsWithTheirNamesInLstrcmpOrder)
{
    EntryTable table(true);
    ArcEntry entry = EmptyArcEntry();
    const wchar_t* names[] = {L"b.txt", L"a/y/z.txt", L"a/x.txt", L"a/"};
    for (int i = 0; i < 4; ++i) {
        entry.crc32 = static_cast<uint32_t>(i);
        table.Insert(names[i], entry);
    }
    ASSERT_EQ(4, table.Count());
    EXPECT_EQ("a/", U(table.Name(0)));
    EXPECT_EQ("b.txt", U(table.Name(3)));
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(table.Name(i), names[table.ValueAt(i).crc32]);
    }
    EXPECT_EQ(2, table.Find(L"a/y/z.txt"));
}

}  // namespace
