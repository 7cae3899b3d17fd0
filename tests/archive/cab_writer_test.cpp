// Cabinet compression through FCI, the unit merge, and the changes carried
// out when a cabinet object ends.
#include <gtest/gtest.h>

#include <algorithm>

#include "archive/cab_test_support.h"
#include "archive/cabfile.h"
#include "archive/work_copies.h"
#include "common/paths.h"
#include "support/prompt_recorder.h"
#include "support/test_files.h"

using Names = std::vector<std::wstring>;

namespace {

class CabWriterTest : public CabinetTest {
protected:
    WString MakeFile(const wchar_t* relative, const std::string& text)
    {
        WString path = scratch_ / relative;
        CreateDirectoryTree(ParentDir(path), true);
        EXPECT_TRUE(WriteFileText(path, text));
        return path;
    }
    std::string ExtractText(const WString& cabinet, const wchar_t* entry)
    {
        WString out = scratch_ / L"check";
        RemoveTree(out);
        CCabFile reader(cabinet);
        EXPECT_TRUE(reader.Extract(out, entry, false)) << Utf8(reader.ErrorText().c_str());
        Bytes bytes = ReadFileBytes(JoinPath(out, FileNamePart(entry)));
        return std::string(bytes.begin(), bytes.end());
    }
    PrivateSettings settings_;
};

const CabFileRecord* FindRecord(const CabDirectory& directory, const std::string& name)
{
    for (const CabFileRecord& record : directory.files) {
        if (record.name == name) {
            return &record;
        }
    }
    return nullptr;
}

int FilesInUnit(const CabDirectory& directory, uint16_t unit)
{
    return static_cast<int>(std::count_if(directory.files.begin(), directory.files.end(),
                                          [unit](const CabFileRecord& r) { return r.folder == unit; }));
}

}  // namespace

TEST_F(CabWriterTest, TypeWordAndThresholdFollowTheSettings)
{
    settings_.Set(L"CabCompType", 1);
    settings_.Set(L"CabLzxLevel", 21);
    settings_.Set(L"CabFType", 2);
    settings_.Set(L"CabFSize", 5000);
    {
        CCabFile cabinet(scratch_ / L"a.cab");
        EXPECT_EQ(cabinet.CompressionType(), 0x1503);
        EXPECT_EQ(cabinet.Parameters().cbFolderThresh, 0u);
        EXPECT_STREQ(cabinet.Parameters().szCab, "a.cab");
        EXPECT_STREQ(cabinet.Parameters().szCabPath, (scratch_.Path() + L"\\").ToAnsi().c_str());
    }
    settings_.Set(L"CabCompType", 0);
    settings_.Set(L"CabFType", 0);
    CCabFile standard(scratch_ / L"b.cab");
    EXPECT_EQ(standard.CompressionType(), 0x0001);
    EXPECT_EQ(standard.Parameters().cbFolderThresh, 5000u);
    settings_.Set(L"CabCompType", 2);
    CCabFile none(scratch_ / L"c.cab");
    EXPECT_EQ(none.CompressionType(), 0x0000);
}

// "0 は自動" leaves the units to the library: a folder of small files is
// compressed into one unit, not one unit per file (which the library makes
// of a threshold of 0), and unit type 2 still gets one file per unit.
TEST_F(CabWriterTest, AutomaticUnitSizeLeavesTheUnitsToTheLibrary)
{
    EXPECT_EQ(UnitThreshold(CabSettings{0, 21, 0, 0, false}), cablib::kAutomaticUnitThreshold);
    EXPECT_EQ(UnitThreshold(CabSettings{0, 21, 1, 0, false}), cablib::kAutomaticUnitThreshold);
    EXPECT_EQ(UnitThreshold(CabSettings{0, 21, 0, 5000, false}), 5000u);
    EXPECT_EQ(UnitThreshold(CabSettings{0, 21, 2, 0, false}), 0u);
    for (int i = 0; i < 20; ++i) {
        MakeFile((L"small\\f" + std::to_wstring(i) + L".txt").c_str(), "small file number " + std::to_string(i));
    }
    WString cab = scratch_ / L"small.cab";
    {
        CCabFile cabinet(cab);
        EXPECT_EQ(cabinet.Parameters().cbFolderThresh, cablib::kAutomaticUnitThreshold);
        ASSERT_TRUE(cabinet.Add(scratch_ / L"small", WString(), 102)) << Utf8(cabinet.ErrorText().c_str());
    }
    CabDirectory directory = ReadDirectory(ReadFileBytes(cab));
    EXPECT_EQ(directory.files.size(), 20u);
    EXPECT_EQ(directory.units.size(), 1u);
    EXPECT_EQ(ExtractText(cab, L"f7.txt"), "small file number 7");
}

TEST_F(CabWriterTest, CompressesFolderAndReadsItBack)
{
    std::string text;
    for (int i = 0; i < 5000; ++i) {
        text += "line " + std::to_string(i) + " of a text-like file\r\n";
    }
    MakeFile(L"src\\top.txt", text);
    MakeFile(L"src\\sub\\deep\\note.txt", "note");
    MakeFile(L"src\\sub\\one.bin", "x");
    WString cab = scratch_ / L"out.cab";
    {
        CCabFile cabinet(cab);
        ASSERT_TRUE(cabinet.Add(scratch_ / L"src", WString(), 102)) << Utf8(cabinet.ErrorText().c_str());
    }
    Bytes bytes = ReadFileBytes(cab);
    CabDirectory directory = ReadDirectory(bytes);
    ASSERT_EQ(directory.files.size(), 3u);
    EXPECT_EQ(directory.flags, 0) << "one cabinet, not a set";
    EXPECT_EQ(directory.units[0].type, cab::kCompressionMszip);
    EXPECT_LT(bytes.size(), text.size() / 2) << "MSZIP compresses text";
    EXPECT_EQ(ExtractText(cab, L"top.txt"), text);
    EXPECT_EQ(ExtractText(cab, L"sub\\deep\\note.txt"), "note");
    CCabFile listed(cab);
    EXPECT_EQ(ListNames(listed).size(), 5u);
}

TEST_F(CabWriterTest, UnitTypeOneGivesLargerFilesTheirOwnUnit)
{
    settings_.Set(L"CabFType", 1);
    settings_.Set(L"CabFSize", 1000000);
    MakeFile(L"src\\a.txt", "a");
    MakeFile(L"src\\exact.bin", std::string(1000000, 'e'));
    MakeFile(L"src\\c.txt", "c");
    MakeFile(L"src\\over.bin", std::string(1000001, 'o'));
    MakeFile(L"src\\e.txt", "e");
    WString cab = scratch_ / L"out.cab";
    {
        CCabFile cabinet(cab);
        ASSERT_TRUE(cabinet.Add(scratch_ / L"src", WString(), 102));
    }
    CabDirectory directory = ReadDirectory(ReadFileBytes(cab));
    ASSERT_EQ(directory.files.size(), 5u);
    EXPECT_EQ(FilesInUnit(directory, FindRecord(directory, "over.bin")->folder), 1);
    EXPECT_GT(FilesInUnit(directory, FindRecord(directory, "exact.bin")->folder), 1);
}

TEST_F(CabWriterTest, UnitTypeTwoPutsEveryFileInAUnitOfItsOwn)
{
    settings_.Set(L"CabFType", 2);
    settings_.Set(L"CabCompType", 2);
    MakeFile(L"src\\a.txt", "a");
    MakeFile(L"src\\b.txt", "b");
    MakeFile(L"src\\c\\d.txt", "d");
    WString cab = scratch_ / L"out.cab";
    {
        CCabFile cabinet(cab);
        ASSERT_TRUE(cabinet.Add(scratch_ / L"src", WString(), 102));
    }
    CabDirectory directory = ReadDirectory(ReadFileBytes(cab));
    EXPECT_EQ(directory.units.size(), 3u);
    EXPECT_EQ(directory.units[0].type, cab::kCompressionNone);
    for (uint16_t unit = 0; unit < 3; ++unit) {
        EXPECT_EQ(FilesInUnit(directory, unit), 1);
    }
}

TEST_F(CabWriterTest, EmptyFilesAreStoredAndExtractAsEmptyFiles)
{
    // An empty file can end up in a unit of its own (unit type 2, or the
    // library closing a unit after every file when the unit size is left to
    // it); such a unit has no data at all.
    struct Source {
        const wchar_t* folder;
        std::vector<std::pair<std::wstring, std::string>> files;
    };
    const Source sources[] = {
        {L"alone", {{L"empty.txt", ""}}},
        {L"among",
         {{L"first.txt", std::string(3000, 'f')},
          {L"empty.txt", ""},
          {L"sub\\zero.bin", ""},
          {L"sub\\last.bin", std::string(500, 'l')}}},
    };
    for (const Source& source : sources) {
        for (const auto& file : source.files) {
            MakeFile((WString(source.folder) + L"\\" + file.first.c_str()).c_str(), file.second);
        }
    }
    struct Variant {
        DWORD unitType;
        DWORD unitSize;
        DWORD sort;
    } const variants[] = {{0, 0, 0}, {0, 0, 1}, {1, 1000, 0}, {2, 0, 0}};
    for (const Variant& variant : variants) {
        settings_.Set(L"CabFType", variant.unitType);
        settings_.Set(L"CabFSize", variant.unitSize);
        settings_.Set(L"CabSort", variant.sort);
        for (const Source& source : sources) {
            SCOPED_TRACE(testing::Message() << "unit type " << variant.unitType << " sort " << variant.sort << " "
                                            << Utf8(source.folder));
            WString cab = scratch_ / (WString(source.folder) + WString::FromInt(variant.unitType) +
                                      WString::FromInt(variant.sort) + L".cab");
            {
                CCabFile cabinet(cab);
                ASSERT_TRUE(cabinet.Add(scratch_ / source.folder, WString(), 102))
                    << Utf8(cabinet.ErrorText().c_str());
            }
            CabDirectory directory = ReadDirectory(ReadFileBytes(cab));
            ASSERT_EQ(directory.files.size(), source.files.size());
            WString out = scratch_ / L"out";
            RemoveTree(out);
            {
                CCabFile reader(cab);
                ASSERT_TRUE(reader.Extract(out, WString(), false)) << Utf8(reader.ErrorText().c_str());
            }
            for (const auto& file : source.files) {
                const CabFileRecord* record = FindRecord(directory, Utf8(file.first.c_str()));
                ASSERT_NE(record, nullptr) << Utf8(file.first.c_str());
                EXPECT_EQ(record->size, file.second.size()) << Utf8(file.first.c_str());
                WString extracted = JoinPath(out, WString(file.first.c_str()));
                ASSERT_TRUE(PathExists(extracted)) << Utf8(file.first.c_str());
                Bytes bytes = ReadFileBytes(extracted);
                EXPECT_EQ(std::string(bytes.begin(), bytes.end()), file.second) << Utf8(file.first.c_str());
            }
        }
    }
}

TEST_F(CabWriterTest, SortingAddsLargestFirstKeepingFoundOrderOfEqualSizes)
{
    settings_.Set(L"CabSort", 1);
    MakeFile(L"src\\five.txt", "55555");
    MakeFile(L"src\\twenty1.txt", std::string(20, '1'));
    MakeFile(L"src\\twenty2.txt", std::string(20, '2'));
    AttrStringList found(false);
    ListDirectory(scratch_ / L"src", found, L"*");
    std::vector<std::string> twenties;
    for (int i = 0; i < found.Count(); ++i) {
        if (found.Name(i).StartsWith(L"twenty")) {
            twenties.push_back(Utf8(found.Name(i).c_str()));
        }
    }
    WString cab = scratch_ / L"out.cab";
    {
        CCabFile cabinet(cab);
        ASSERT_TRUE(cabinet.Add(scratch_ / L"src", WString(), 102));
    }
    CabDirectory directory = ReadDirectory(ReadFileBytes(cab));
    ASSERT_EQ(directory.files.size(), 3u);
    EXPECT_EQ(directory.files[0].name, twenties[0]);
    EXPECT_EQ(directory.files[1].name, twenties[1]);
    EXPECT_EQ(directory.files[2].name, "five.txt");
}

TEST_F(CabWriterTest, CompressedFolderKeepsTheWalkOrder)
{
    settings_.Set(L"CabSort", 0);
    std::vector<std::wstring> order = MakeMixedTree(scratch_ / L"src");
    WString cab = scratch_ / L"out.cab";
    {
        CCabFile cabinet(cab);
        ASSERT_TRUE(cabinet.Add(scratch_ / L"src", WString(), 102)) << Utf8(cabinet.ErrorText().c_str());
    }
    std::vector<std::wstring> stored;
    for (const CabFileRecord& record : ReadDirectory(ReadFileBytes(cab)).files) {
        stored.push_back(WString::FromAnsi(record.name.c_str()).c_str());
    }
    EXPECT_EQ(order, stored);
}

TEST_F(CabWriterTest, ReportsSourceInUse)
{
    WString held = MakeFile(L"src\\held.txt", "held");
    HANDLE h = CreateFileW(held.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    PromptRecorder prompts;
    prompts.Answer(IDOK);
    {
        CCabFile cabinet(scratch_ / L"out.cab");
        EXPECT_FALSE(cabinet.Add(scratch_ / L"src", WString(), 102));
        EXPECT_STREQ(cabinet.ErrorText().c_str(), (held + L"\n使用中").c_str());
    }
    CloseHandle(h);
    {
        prompts.Answer(IDOK);
        CCabFile cabinet(scratch_ / L"out2.cab");
        EXPECT_FALSE(cabinet.Add(scratch_ / L"missing", WString(), 102));
        EXPECT_STREQ(cabinet.ErrorText().c_str(), (scratch_ / L"missing" + L" がありません").c_str());
    }
}

namespace {

// Three units of one, five and one files.
std::vector<CabTestFile> SevenFiles()
{
    return {{"first.txt", std::string(40000, 'f'), 0},
            {"m\\one.txt", "one", 1},
            {"m\\two.txt", "two", 1},
            {"m\\three.txt", "three", 1},
            {"m\\four.txt", "four", 1},
            {"m\\five.txt", "five", 1},
            {"last.txt", "last", 2}};
}

}  // namespace

TEST_F(CabWriterTest, MergeAppendsSecondCabinetWithShiftedUnitsAndKeepsHeaderReserve)
{
    CabTestLayout reserved;
    reserved.folders = 2;
    reserved.reservePresent = true;
    reserved.headerReserve = 20;
    Bytes a = BuildStoredCabinet({{"a1.txt", "A1", 0}, {"a2.txt", "A2", 1}}, reserved);
    // "日.txt" stored as UTF-8 with its flag.
    Bytes b = BuildStoredCabinet({{"\xE6\x97\xA5.txt", "B", 0, 0xA0}});
    WString pathA = Write(a, L"a.cab");
    WString pathB = Write(b, L"b.cab");
    WString merged = scratch_ / L"m.cab";
    {
        CCabFile cabinet(pathA);
        ASSERT_TRUE(cabinet.Merge(pathA, pathB, merged, false)) << Utf8(cabinet.ErrorText().c_str());
    }
    Bytes out = ReadFileBytes(merged);
    // The reserve fields and the 20-byte area are those of the first cabinet.
    EXPECT_EQ(Bytes(out.begin() + 30, out.begin() + 32), Bytes(a.begin() + 30, a.begin() + 32));
    EXPECT_EQ(Bytes(out.begin() + 36, out.begin() + 60), Bytes(a.begin() + 36, a.begin() + 60));
    EXPECT_EQ(GetU32(out, 8), out.size());
    CabDirectory directory = ReadDirectory(out, 60);
    ASSERT_EQ(directory.files.size(), 3u);
    EXPECT_EQ(directory.files[2].name, "\xE6\x97\xA5.txt") << "the name keeps its bytes";
    EXPECT_EQ(directory.files[2].attribs, 0xA0) << "and its UTF-8 flag";
    EXPECT_EQ(directory.files[2].folder, 2);
    EXPECT_EQ(UnitBytes(out, directory.units[2]), UnitBytes(b, ReadDirectory(b).units[0]));
    EXPECT_EQ(ExtractText(merged, L"日.txt"), "B");
    EXPECT_EQ(ExtractText(merged, L"a2.txt"), "A2");

    PromptRecorder prompts;
    prompts.Answer(IDOK);
    {
        CCabFile cabinet(pathA);
        EXPECT_FALSE(cabinet.Merge(pathA, pathA, scratch_ / L"dup.cab", false));
        EXPECT_STREQ(cabinet.ErrorText().c_str(), L"パスが重複しているためマージできません。\n path = a1.txt");
    }
}

TEST_F(CabWriterTest, SetNamesFitTheSameWindowForTheReaderAndTheMerge)
{
    struct Case {
        bool inNext;       // the long name is the next cabinet's disk, else the previous cabinet's name
        size_t length;     // bytes before its NUL
        const wchar_t* mergeError;  // empty: every reader takes the cabinet
    };
    // 255 bytes are the format's own limit; 259 still leave the NUL inside
    // the 260-byte window in which every name of a cabinet is looked for.
    const Case cases[] = {
        {false, 255, L""},
        {true, 259, L""},
        {false, 260, L"ファイルの外を指す位置があります at PREV_CABINET"},
        {true, 260, L"ファイルの外を指す位置があります at NEXT_CABINET"},
    };
    WString second = Write(BuildStoredCabinet({{"b.txt", "B", 0}}), L"b.cab");
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.inNext << " " << c.length);
        CabTestLayout set;
        set.previous = {c.inNext ? "prev.cab" : std::string(c.length, 'p'), "disk 1"};
        set.next = {"next.cab", c.inNext ? std::string(c.length, 'd') : "disk 3"};
        WString first = Write(BuildStoredCabinet({{"a.txt", "A", 0}}, set), L"a.cab");
        WString merged = scratch_ / L"m.cab";
        PromptRecorder prompts;
        prompts.Answer(IDOK);
        bool fits = c.mergeError[0] == 0;
        {
            CCabFileEnum reader(first);
            if (fits) {
                EXPECT_STREQ(reader.ErrorText().c_str(), L"");
                EXPECT_EQ(ListNames(reader), Names{L"a.txt"});
            } else {
                EXPECT_STREQ(reader.ErrorText().c_str(), L"ファイルの外を指す位置があります at CFHEADER");
                reader.ClearErrorText();
            }
        }
        {
            CCabFile cabinet(second);
            EXPECT_EQ(cabinet.Merge(first, second, merged, false), fits);
            EXPECT_STREQ(cabinet.ErrorText().c_str(), c.mergeError);
            cabinet.ClearErrorText();
        }
        if (fits) {
            CCabFileEnum reader(merged);
            EXPECT_EQ(ListNames(reader), (Names{L"a.txt", L"b.txt"}));
        }
        DeleteFileW(merged.c_str());
    }
}

TEST_F(CabWriterTest, MergeRefusesReserveInUnitsOrBlocks)
{
    CabTestLayout blocks;
    blocks.reservePresent = true;
    blocks.dataReserve = 4;
    WString pathA = Write(BuildStoredCabinet({{"a.txt", "A", 0}}, blocks), L"a.cab");
    WString pathB = Write(BuildStoredCabinet({{"b.txt", "B", 0}}), L"b.cab");
    PromptRecorder prompts;
    prompts.Answer(IDOK);
    CCabFile cabinet(pathB);
    EXPECT_FALSE(cabinet.Merge(pathA, pathB, scratch_ / L"m.cab", false));
    EXPECT_STREQ(cabinet.ErrorText().c_str(), L"追加データ有り");
    EXPECT_FALSE(PathExists(scratch_ / L"m.cab"));
}

TEST_F(CabWriterTest, DeletingAWholeUnitCopiesTheOthersUnchanged)
{
    Bytes before = BuildStoredCabinet(SevenFiles(), CabTestLayout{3});
    WString path = Write(before);
    AttrStringList workBefore(false);
    {
        CCabFile cabinet(path);
        ListDirectory(cabinet.WorkFolder(), workBefore, L"*");
        EXPECT_TRUE(cabinet.Delete(L"m\\"));
        EXPECT_FALSE(cabinet.Delete(L"absent.txt"));
    }
    // The commit's working files went with it.
    AttrStringList workAfter(false);
    ListDirectory(WorkFolderPath(), workAfter, L"*");
    EXPECT_EQ(workBefore.Count(), workAfter.Count());
    Bytes after = ReadFileBytes(path);
    CabDirectory old = ReadDirectory(before);
    CabDirectory now = ReadDirectory(after);
    ASSERT_EQ(now.units.size(), 2u);
    EXPECT_EQ(UnitBytes(after, now.units[0]), UnitBytes(before, old.units[0]));
    EXPECT_EQ(UnitBytes(after, now.units[1]), UnitBytes(before, old.units[2]));
    ASSERT_EQ(now.files.size(), 2u);
    EXPECT_EQ(now.files[1].name, "last.txt");
    EXPECT_EQ(now.files[1].folder, 1);
    EXPECT_EQ(ExtractText(path, L"last.txt"), "last");
}

// Names are kept byte for byte through a commit that compresses their unit
// again, whatever the code page: a UTF-8 name that the ANSI code page
// cannot hold, names that differ only in case, a name that repeats; and
// the mark to run a file after extraction stays.
TEST_F(CabWriterTest, ACommitKeepsEveryFileOfATouchedUnitAsItWas)
{
    std::vector<CabTestFile> files = {{"caf\xC3\xA9.txt", "utf-8 name", 0, 0xA0},
                                      {"README.TXT", "upper", 0},
                                      {"readme.txt", "lower", 0},
                                      {"twice.txt", "first", 0},
                                      {"twice.txt", "second!", 0},
                                      {"run.bat", "@echo run", 0, 0x61},
                                      {"b.txt", "b", 0}};
    WString path = Write(BuildStoredCabinet(files));
    PromptRecorder prompts;
    prompts.Answer(IDOK);
    {
        CCabFile cabinet(path);
        EXPECT_TRUE(cabinet.Delete(L"b.txt"));
    }
    EXPECT_EQ(0u, prompts.Count()) << OneLineUtf8(prompts.LastText());
    CabDirectory now = ReadDirectory(ReadFileBytes(path));
    ASSERT_EQ(now.files.size(), files.size() - 1);
    for (size_t i = 0; i + 1 < files.size(); ++i) {
        const CabFileRecord& record = now.files[i];
        EXPECT_EQ(record.name, files[i].name) << i;
        EXPECT_EQ(record.attribs, files[i].attribs) << files[i].name;
        EXPECT_EQ(record.size, files[i].data.size()) << files[i].name;
    }
    EXPECT_EQ(ExtractText(path, L"README.TXT"), "upper");
    EXPECT_EQ(ExtractText(path, L"readme.txt"), "lower");
    EXPECT_EQ(ExtractText(path, L"café.txt"), "utf-8 name");
}

TEST_F(CabWriterTest, DeletingOneFileRecompressesTheRestOfItsUnitAfterTheKeptUnits)
{
    Bytes before = BuildStoredCabinet(SevenFiles(), CabTestLayout{3});
    WString path = Write(before);
    {
        CCabFile cabinet(path);
        EXPECT_TRUE(cabinet.Delete(L"m\\three.txt"));
    }
    Bytes after = ReadFileBytes(path);
    CabDirectory old = ReadDirectory(before);
    CabDirectory now = ReadDirectory(after);
    ASSERT_GE(now.units.size(), 3u);
    EXPECT_EQ(UnitBytes(after, now.units[0]), UnitBytes(before, old.units[0]));
    EXPECT_EQ(UnitBytes(after, now.units[1]), UnitBytes(before, old.units[2]));
    ASSERT_EQ(now.files.size(), 6u);
    EXPECT_EQ(FindRecord(now, "m\\three.txt"), nullptr);
    for (const char* kept : {"m\\one.txt", "m\\two.txt", "m\\four.txt", "m\\five.txt"}) {
        const CabFileRecord* record = FindRecord(now, kept);
        ASSERT_NE(record, nullptr) << kept;
        EXPECT_GE(record->folder, 2) << kept;
    }
    EXPECT_EQ(ExtractText(path, L"m\\four.txt"), "four");
    EXPECT_EQ(ExtractText(path, L"first.txt"), std::string(40000, 'f'));
}

TEST_F(CabWriterTest, WritesBackAChangedEntryOnce)
{
    WString path = Write(BuildStoredCabinet(SevenFiles(), CabTestLayout{3}));
    WString changed = MakeFile(L"work\\two.txt", "two, changed");
    {
        CCabFile cabinet(path);
        ASSERT_TRUE(cabinet.Delete(L"m\\two.txt"));
        ASSERT_TRUE(cabinet.Add(changed, L"m\\", -1));
        PromptRecorder prompts;
        prompts.Answer(IDOK);
        EXPECT_FALSE(cabinet.Add(changed, L"m\\", -1));
        EXPECT_EQ(prompts.LastText(), L"Modify 重複");
    }
    EXPECT_EQ(ExtractText(path, L"m\\two.txt"), "two, changed");
    EXPECT_EQ(ExtractText(path, L"m\\five.txt"), "five");
    CCabFile reader(path);
    EXPECT_EQ(ListNames(reader).size(), 8u);
}

TEST_F(CabWriterTest, CommitRefusesKeptNameThatWouldLeaveTheWorkTree)
{
    Bytes before = BuildStoredCabinet({{"x.txt", "x", 0}, {"..\\..\\..\\evil.txt", "evil", 0}});
    WString path = Write(before);
    PromptRecorder prompts;
    prompts.Answer(IDOK);
    WString workFolder;
    {
        CCabFile cabinet(path);
        workFolder = cabinet.WorkFolder();
        EXPECT_TRUE(cabinet.Delete(L"x.txt"));
    }
    EXPECT_EQ(prompts.LastText(), L"..\\..\\..\\evil.txt\n展開先フォルダーの外を指す名前のため展開できません");
    EXPECT_EQ(ReadFileBytes(path), before);
    EXPECT_FALSE(PathExists(JoinPath(ParentDir(ParentDir(workFolder)), L"evil.txt")));
    EXPECT_FALSE(PathExists(JoinPath(ParentDir(workFolder), L"evil.txt")));
}

TEST_F(CabWriterTest, FailedReplaceKeepsTheArchive)
{
    Bytes before = BuildStoredCabinet(SevenFiles(), CabTestLayout{3});
    WString path = Write(before);
    // A program holds the archive open for reading: it can be read, but not
    // replaced.
    HANDLE holder = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    PromptRecorder prompts;
    prompts.Answer(IDOK);
    {
        CCabFile cabinet(path);
        EXPECT_TRUE(cabinet.Delete(L"last.txt"));
    }
    CloseHandle(holder);
    EXPECT_NE(prompts.LastText().find(L"置き換えられません"), std::wstring::npos) << Utf8(prompts.LastText());
    EXPECT_EQ(ReadFileBytes(path), before);
}

// A commit builds the new cabinet under a "~" name that nothing has, and
// writes nothing over a cabinet that another program changed after it was
// read: its units and offsets would no longer be the file's.
TEST_F(CabWriterTest, CommitKeepsAUsersFileOfTheWorkingNameAndRefusesAChangedCabinet)
{
    WString path = Write(BuildStoredCabinet(SevenFiles(), CabTestLayout{3}));
    WString users = MakeFile(L"~t.cab", "the user's own");
    {
        CCabFile cabinet(path);
        ASSERT_TRUE(cabinet.Delete(L"last.txt"));
        EXPECT_TRUE(cabinet.CommitChanges()) << Utf8(cabinet.ErrorText().c_str());
        EXPECT_FALSE(cabinet.HasPendingChanges());
    }
    Bytes kept = ReadFileBytes(users);
    EXPECT_EQ("the user's own", std::string(kept.begin(), kept.end()));
    {
        CCabFile reader(path);
        EXPECT_EQ(ListNames(reader).size(), 7u);
    }

    Bytes theirs = BuildStoredCabinet({{"theirs.txt", "added by another program", 0}});
    PromptRecorder prompts;
    prompts.Answer(IDOK);
    {
        CCabFile cabinet(path);
        ASSERT_TRUE(cabinet.Delete(L"first.txt"));
        ASSERT_TRUE(WriteFileBytes(path, theirs));
    }
    EXPECT_NE(prompts.LastText().find(L"ほかのプログラムによって変更された"), std::wstring::npos)
        << Utf8(prompts.LastText());
    EXPECT_EQ(theirs, ReadFileBytes(path));
    AttrStringList left(false);
    ListDirectory(scratch_.Path(), left, WString(L"~*"));
    EXPECT_EQ(1, left.Count()) << "only the user's own file";
}

TEST_F(CabWriterTest, AddsToAnExistingCabinetThroughTheMerge)
{
    Bytes before = BuildStoredCabinet(SevenFiles(), CabTestLayout{3});
    WString path = Write(before);
    WString fresh = MakeFile(L"new\\fresh.txt", "fresh");
    // Windows folders do not tell FIRST.TXT from first.txt.
    WString clash = MakeFile(L"new\\FIRST.TXT", "clash");
    {
        PromptRecorder prompts;
        prompts.Answer(IDOK);
        CCabFile cabinet(path);
        EXPECT_FALSE(cabinet.Add(clash, WString(), 102));
        EXPECT_STREQ(cabinet.ErrorText().c_str(), L"パスが重複しているためマージできません。\n path = first.txt");
    }
    EXPECT_EQ(ReadFileBytes(path), before);
    {
        CCabFile cabinet(path);
        ASSERT_TRUE(cabinet.Add(fresh, L"docs", 102)) << Utf8(cabinet.ErrorText().c_str());
    }
    Bytes after = ReadFileBytes(path);
    CabDirectory now = ReadDirectory(after);
    ASSERT_EQ(now.units.size(), 4u);
    EXPECT_EQ(UnitBytes(after, now.units[1]), UnitBytes(before, ReadDirectory(before).units[1]));
    EXPECT_EQ(now.files.back().name, "docs\\fresh.txt");
    EXPECT_EQ(ExtractText(path, L"docs\\fresh.txt"), "fresh");
    EXPECT_FALSE(PathExists(scratch_ / L"~tempadd.cab"));
    EXPECT_FALSE(PathExists(scratch_ / L"~t.cab"));
}

namespace {

// The library's temporary files in the temporary folder ("cab" names).
int LibraryTemporaryFiles()
{
    wchar_t folder[MAX_PATH + 1] = {};
    GetTempPathW(MAX_PATH + 1, folder);
    int count = 0;
    WIN32_FIND_DATAW found{};
    ScopedFind search(FindFirstFileW(JoinPath(WString(folder), L"cab*.tmp").c_str(), &found));
    for (bool more = search.IsValid(); more; more = FindNextFileW(search.Get(), &found) != FALSE) {
        ++count;
    }
    return count;
}

}  // namespace

// A compression that fails half-way destroys its FCI context on the way
// out: no library memory, no temporary file and no open source is left,
// and an existing cabinet that was to take the files is not touched.
TEST_F(CabWriterTest, FailedCompressionLeavesNoContextNoTemporaryFilesAndTheCabinetUntouched)
{
    WString kept = MakeFile(L"src\\kept.txt", std::string(100000, 'k'));
    WString held = MakeFile(L"src\\held.txt", "held");
    ScopedFile holder(CreateFileW(held.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
    long blocksBefore = cablib::LiveBlocks();
    int temporaryBefore = LibraryTemporaryFiles();
    PromptRecorder prompts;
    prompts.Answer(IDOK);
    {
        CCabFile cabinet(scratch_ / L"new.cab");
        EXPECT_FALSE(cabinet.Add(scratch_ / L"src", WString(), 102));
        EXPECT_STREQ(cabinet.ErrorText().c_str(), (held + L"\n使用中").c_str());
        EXPECT_EQ(cablib::LiveBlocks(), blocksBefore) << "the FCI context outlived the compression";
        EXPECT_EQ(LibraryTemporaryFiles(), temporaryBefore);
        EXPECT_TRUE(NobodyHolds(kept));
        EXPECT_FALSE(cabinet.IsBusyCursorShown());
    }

    Bytes before = BuildStoredCabinet(SevenFiles(), CabTestLayout{3});
    WString path = Write(before);
    prompts.Answer(IDOK);
    {
        CCabFile cabinet(path);
        EXPECT_FALSE(cabinet.Add(held, WString(), 102));
        EXPECT_STREQ(cabinet.ErrorText().c_str(), (held + L"\n使用中").c_str());
        EXPECT_EQ(cablib::LiveBlocks(), blocksBefore);
        EXPECT_EQ(LibraryTemporaryFiles(), temporaryBefore);
    }
    EXPECT_EQ(ReadFileBytes(path), before);
    EXPECT_TRUE(NobodyHolds(path));
    EXPECT_FALSE(PathExists(scratch_ / L"~tempadd.cab"));
    EXPECT_FALSE(PathExists(scratch_ / L"~t.cab"));
}

// Adding through the engine keeps files of the user's that carry the names
// of its working files.
TEST_F(CabWriterTest, AddingKeepsUserFilesNamedLikeTheWorkingFiles)
{
    WString path = Write(BuildStoredCabinet(SevenFiles(), CabTestLayout{3}));
    WString usersAdd = MakeFile(L"~tempadd.cab", "the user's own");
    WString usersMerged = MakeFile(L"~t.cab", "also the user's");
    WString fresh = MakeFile(L"new\\fresh.txt", "fresh");
    {
        CCabFile cabinet(path);
        ASSERT_TRUE(cabinet.Add(fresh, WString(), 102)) << Utf8(cabinet.ErrorText().c_str());
    }
    EXPECT_EQ(ExtractText(path, L"fresh.txt"), "fresh");
    Bytes own = ReadFileBytes(usersAdd);
    EXPECT_EQ(std::string(own.begin(), own.end()), "the user's own");
    own = ReadFileBytes(usersMerged);
    EXPECT_EQ(std::string(own.begin(), own.end()), "also the user's");
    AttrStringList left(false);
    ListDirectory(scratch_.Path(), left, WString(L"~*"));
    EXPECT_EQ(left.Count(), 2) << "a working file was left beside the cabinet";
}
