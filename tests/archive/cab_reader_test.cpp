// The cabinet reader and FDI extraction, on cabinets laid out by hand.
#include <gtest/gtest.h>

#include "archive/cab_test_support.h"
#include "archive/cabfile.h"
#include "common/paths.h"
#include "support/prompt_recorder.h"
#include "support/test_files.h"

using Names = std::vector<std::wstring>;

namespace {

class CabReaderTest : public CabinetTest {};

std::vector<CabTestFile> ThreeFiles()
{
    return {{"b.txt", "bee", 0}, {"a\\x.txt", "ex", 0}, {"a\\y\\z.txt", "zed!", 0}};
}

}  // namespace

TEST_F(CabReaderTest, ListsFilesSortedThenFoldersInOrderOfFirstAppearance)
{
    CCabFileEnum cabinet(Write(BuildStoredCabinet(ThreeFiles())));
    EXPECT_EQ(ListNames(cabinet), (Names{L"a\\x.txt", L"a\\y\\z.txt", L"b.txt", L"a\\", L"a\\y\\"}));
    EXPECT_TRUE(cabinet.ErrorText().IsEmpty());
    EXPECT_TRUE(cabinet.CanDelete());
}

TEST_F(CabReaderTest, MissingPathIsAnEmptyCabinetWithoutError)
{
    CCabFileEnum cabinet(scratch_ / L"none.cab");
    EXPECT_TRUE(ListNames(cabinet).empty());
    EXPECT_TRUE(cabinet.ErrorText().IsEmpty());
}

TEST_F(CabReaderTest, RefusesFileWithoutSignature)
{
    PromptRecorder prompts;
    prompts.Answer(IDOK);
    {
        CCabFileEnum cabinet(Write(Bytes{'P', 'K', 3, 4, 0, 0, 0, 0}));
        EXPECT_TRUE(ListNames(cabinet).empty());
        EXPECT_STREQ(cabinet.ErrorText().c_str(), L"*.cab ファイルではありません");
    }
    EXPECT_EQ(prompts.Count(), 1u);
}

TEST_F(CabReaderTest, DecodesUtf8AndAnsiNames)
{
    // "日本.txt" in UTF-8 with the UTF-8 bit, and "表.txt" in Shift-JIS.
    std::vector<CabTestFile> files = {{"\xE6\x97\xA5\xE6\x9C\xAC.txt", "u", 0, 0xA0}, {"\x95\x5C.txt", "s", 0}};
    CCabFileEnum cabinet(Write(BuildStoredCabinet(files)));
    Names names = ListNames(cabinet);
    ASSERT_EQ(names.size(), 2u);
    EXPECT_NE(std::find(names.begin(), names.end(), L"日本.txt"), names.end());
    EXPECT_NE(std::find(names.begin(), names.end(), L"表.txt"), names.end());
}

TEST_F(CabReaderTest, ReserveInHeaderStaysModifiableButNotInBlocks)
{
    CabTestLayout headerOnly;
    headerOnly.reservePresent = true;
    headerOnly.headerReserve = 20;
    CCabFile withHeader(Write(BuildStoredCabinet(ThreeFiles(), headerOnly), L"h.cab"));
    EXPECT_TRUE(withHeader.CanUpdate());
    EXPECT_EQ(ListNames(withHeader).size(), 5u);

    DWORD size, packed, attributes;
    FILETIME time;
    StringList lines(false);
    EXPECT_FALSE(withHeader.GetEntryInfo(WString(), size, packed, time, attributes, lines));
    ASSERT_EQ(lines.Count(), 1);
    EXPECT_STREQ(lines[0].c_str(), L"追加データのサイズ\u3000ヘッダー：20、圧縮単位：0、データ：0");
    // The estimate finds the unit behind the reserve area.
    ASSERT_TRUE(withHeader.GetEntryInfo(L"a\\y\\z.txt", size, packed, time, attributes, lines));
    EXPECT_EQ(size, 4u);
    EXPECT_EQ(packed, 4u);

    CabTestLayout blocks = headerOnly;
    blocks.dataReserve = 4;
    CCabFile withBlocks(Write(BuildStoredCabinet(ThreeFiles(), blocks), L"d.cab"));
    EXPECT_EQ(ListNames(withBlocks).size(), 5u);
    EXPECT_FALSE(withBlocks.CanUpdate());
    EXPECT_FALSE(withBlocks.CanDelete());
    EXPECT_FALSE(withBlocks.Delete(L"b.txt"));
}

TEST_F(CabReaderTest, EntryInfoGivesSizesTimeAndAttributes)
{
    std::string big(70000, 'q');
    std::vector<CabTestFile> files = {{"big.bin", big, 0, 0x61}, {"empty\\none.txt", "", 1}};
    CabTestLayout layout;
    layout.folders = 2;
    CCabFile cabinet(Write(BuildStoredCabinet(files, layout)));
    DWORD size = 0, packed = 0, attributes = 0;
    FILETIME time{};
    StringList lines(false);
    ASSERT_TRUE(cabinet.GetEntryInfo(L"big.bin", size, packed, time, attributes, lines));
    EXPECT_EQ(size, 70000u);
    // A stored unit packs 1:1.
    EXPECT_EQ(packed, 70000u);
    // Run-after-extraction (0x40) is not a file attribute.
    EXPECT_EQ(attributes, 0x21u);
    FILETIME local{};
    FileTimeToLocalFileTime(&time, &local);
    WORD date = 0, dosTime = 0;
    FileTimeToDosDateTime(&local, &date, &dosTime);
    EXPECT_EQ(date, 0x5A21);
    EXPECT_EQ(dosTime, 0x6000);
    // A unit without data blocks holds only empty files: nothing is packed.
    ASSERT_TRUE(cabinet.GetEntryInfo(L"empty\\none.txt", size, packed, time, attributes, lines));
    EXPECT_EQ(packed, 0u);
    EXPECT_FALSE(cabinet.GetEntryInfo(L"nothing", size, packed, time, attributes, lines));
}

TEST_F(CabReaderTest, ExtractsOneFileOneFolderOrEverything)
{
    std::vector<CabTestFile> files = {{"a.txt", "A", 0},
                                      {"a.txt.bak", "BAK", 0},
                                      {"d\\e\\x\\y.txt", "Y", 0, 0x21},
                                      {"d\\e\\z.txt", "Z", 0}};
    WString path = Write(BuildStoredCabinet(files));
    CCabFile cabinet(path);
    WString out = scratch_ / L"one";
    ASSERT_TRUE(cabinet.Extract(out, L"a.txt", false));
    EXPECT_EQ(ReadFileBytes(JoinPath(out, L"a.txt")), (Bytes{'A'}));
    EXPECT_FALSE(PathExists(JoinPath(out, L"a.txt.bak")));

    WString folder = scratch_ / L"folder";
    ASSERT_TRUE(cabinet.Extract(folder, L"d\\e\\", false));
    EXPECT_EQ(ReadFileBytes(folder + L"\\e\\x\\y.txt"), (Bytes{'Y'}));
    EXPECT_EQ(ReadFileBytes(folder + L"\\e\\z.txt"), (Bytes{'Z'}));
    EXPECT_FALSE(PathExists(folder + L"\\a.txt"));

    WString all = scratch_ / L"all";
    ASSERT_TRUE(cabinet.Extract(all, WString(), false));
    EXPECT_EQ(ReadFileBytes(all + L"\\a.txt.bak"), (Bytes{'B', 'A', 'K'}));
    WString y = all + L"\\d\\e\\x\\y.txt";
    EXPECT_EQ(GetFileAttributesW(y.c_str()), static_cast<DWORD>(FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_ARCHIVE));
    SetFileAttributesW(y.c_str(), FILE_ATTRIBUTE_NORMAL);

    // The entry's time is both creation and last-write time.
    HANDLE h = CreateFileW((all + L"\\a.txt").c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    FILETIME created{}, written{};
    GetFileTime(h, &created, nullptr, &written);
    CloseHandle(h);
    FILETIME expected{}, local{};
    DosDateTimeToFileTime(0x5A21, 0x6000, &local);
    LocalFileTimeToFileTime(&local, &expected);
    EXPECT_EQ(CompareFileTime(&created, &expected), 0);
    EXPECT_EQ(CompareFileTime(&written, &expected), 0);
}

TEST_F(CabReaderTest, MasksAttributeWordOnExtraction)
{
    // 0x80 (UTF-8 name) and 0x40 (run after extraction) with hidden (0x02).
    std::vector<CabTestFile> files = {{"h.txt", "h", 0, 0xC2}};
    CCabFile cabinet(Write(BuildStoredCabinet(files)));
    WString out = scratch_ / L"out";
    ASSERT_TRUE(cabinet.Extract(out, WString(), false));
    DWORD attributes = GetFileAttributesW((out + L"\\h.txt").c_str());
    EXPECT_EQ(attributes & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_READONLY | 0x40), static_cast<DWORD>(FILE_ATTRIBUTE_HIDDEN));
}

TEST_F(CabReaderTest, AsksBeforeOverwritingAndStopsOnCancel)
{
    CCabFile cabinet(Write(BuildStoredCabinet(ThreeFiles())));
    WString out = scratch_ / L"out";
    CreateDirectoryW(out.c_str(), nullptr);
    WriteFileText(JoinPath(out, L"b.txt"), "old");
    PromptRecorder prompts;
    prompts.Answer(IDCANCEL);
    EXPECT_FALSE(cabinet.Extract(out, L"b.txt", true));
    EXPECT_EQ(prompts.LastText(), (JoinPath(out, L"b.txt") + L"\nを上書きしますがいいですか？").c_str());
    EXPECT_EQ(ReadFileBytes(JoinPath(out, L"b.txt")), (Bytes{'o', 'l', 'd'}));
}

// Damaged cabinets: each gives a clear error, is not modifiable, and
// nothing is extracted.
namespace {

struct Damage {
    const char* what;
    std::function<void(Bytes&, const CabTestOffsets&)> apply;
    const wchar_t* error;
};

}  // namespace

TEST_F(CabReaderTest, RefusesDamagedRecords)
{
    std::vector<Damage> damages = {
        {"name without NUL in its window",
         [](Bytes& b, const CabTestOffsets& o) {
             // The last record's name runs to the end of the file.
             b.resize(o.fileRecords.back() + 16 + 5);
             b.insert(b.end(), 300, 'n');
         },
         L"ファイル名が壊れています at CFFILE"},
        {"empty name", [](Bytes& b, const CabTestOffsets& o) { b[o.fileRecords[0] + 16] = 0; },
         L"ファイル名が壊れています at CFFILE"},
        {"iFolder beyond cFolders",
         [](Bytes& b, const CabTestOffsets& o) { b[o.fileRecords[1] + 8] = 7; },
         L"圧縮単位の番号が範囲外です at CFFILE"},
        {"coffFiles past the end",
         [](Bytes& b, const CabTestOffsets&) { b[19] = 0x7F; },
         L"ファイルの外を指す位置があります at CFHEADER"},
        {"coffCabStart past the end",
         [](Bytes& b, const CabTestOffsets& o) { b[o.firstFolder + 3] = 0x7F; },
         L"ファイルの外を指す位置があります at CFFOLDER 圧縮単位 = 0, ブロック = 0"},
        {"block larger than the format allows",
         [](Bytes& b, const CabTestOffsets& o) {
             // cbData of the first block: 0xA000 bytes claimed.
             b[o.unitStarts[0] + 4] = 0x00;
             b[o.unitStarts[0] + 5] = 0xA0;
         },
         L"データブロックの大きさが不正です at CFDATA 圧縮単位 = 0, ブロック = 0"},
    };
    for (const Damage& damage : damages) {
        SCOPED_TRACE(damage.what);
        CabTestOffsets offsets;
        Bytes bytes = BuildStoredCabinet(ThreeFiles(), CabTestLayout(), &offsets);
        damage.apply(bytes, offsets);
        WString path = Write(bytes);
        PromptRecorder prompts;
        prompts.Answer(IDOK);
        {
            CCabFile cabinet(path);
            EXPECT_STREQ(cabinet.ErrorText().c_str(), damage.error);
            EXPECT_FALSE(cabinet.CanDelete());
            EXPECT_FALSE(cabinet.Delete(L"b.txt"));
            WString out = scratch_ / L"out";
            EXPECT_FALSE(cabinet.Extract(out, WString(), false));
            AttrStringList items(false);
            EXPECT_FALSE(ListDirectory(out, items, L"*") && items.Count() > 0);
        }
        EXPECT_EQ(ReadFileBytes(path), bytes);
        RemoveTree(scratch_ / L"out");
    }
}

TEST_F(CabReaderTest, RefusesToExtractNameLeavingTheDestination)
{
    std::vector<CabTestFile> files = {{"ok.txt", "fine", 0}, {"..\\..\\escaped.txt", "evil", 0}};
    WString path = Write(BuildStoredCabinet(files));
    CCabFile cabinet(path);
    WString out = scratch_ / L"deep\\out";
    CreateDirectoryTree(out, true);
    EXPECT_FALSE(cabinet.Extract(out, WString(), false));
    EXPECT_STREQ(cabinet.ErrorText().c_str(), L"..\\..\\escaped.txt\n展開先フォルダーの外を指す名前のため展開できません");
    EXPECT_FALSE(PathExists(scratch_ / L"escaped.txt"));
    EXPECT_FALSE(PathExists(scratch_ / L"deep\\escaped.txt"));
    cabinet.ClearErrorText();
    // The safe entry alone can still be had.
    EXPECT_TRUE(cabinet.Extract(out, L"ok.txt", false));
}

// A copy the library gives up half-way (an output that cannot be created)
// destroys its context and lets go of the cabinet, which stays as it was,
// and the next extraction of the same object works.
TEST_F(CabReaderTest, FailedCopyLeavesNoContextAndKeepsTheCabinet)
{
    Bytes before = BuildStoredCabinet(ThreeFiles());
    WString path = Write(before);
    WString out = scratch_ / L"out";
    // A folder where the file has to go: the library's copy stops there.
    CreateDirectoryTree(JoinPath(out, L"b.txt"), true);
    long blocksBefore = cablib::LiveBlocks();
    {
        PromptRecorder prompts;
        prompts.Answer(IDOK);
        CCabFile cabinet(path);
        EXPECT_FALSE(cabinet.Extract(out, WString(), false));
        EXPECT_TRUE(cabinet.ErrorText().StartsWith(L"FDICopy エラー Code = ")) << Utf8(cabinet.ErrorText().c_str());
        EXPECT_EQ(cablib::LiveBlocks(), blocksBefore) << "the FDI context outlived the extraction";
        EXPECT_TRUE(NobodyHolds(path));
        EXPECT_FALSE(cabinet.IsBusyCursorShown());
        cabinet.ClearErrorText();

        ASSERT_TRUE(cabinet.Extract(scratch_ / L"again", WString(), false)) << Utf8(cabinet.ErrorText().c_str());
        EXPECT_EQ(ReadFileBytes(JoinPath(scratch_ / L"again", L"a\\y\\z.txt")), (Bytes{'z', 'e', 'd', '!'}));
        EXPECT_EQ(cablib::LiveBlocks(), blocksBefore);
    }
    EXPECT_EQ(ReadFileBytes(path), before);
    EXPECT_TRUE(NobodyHolds(path));
}
