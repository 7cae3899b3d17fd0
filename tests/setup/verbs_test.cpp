// The command line of the setup program, and the compress and report verbs
// run in-process with their questions answered by a recorder.
#include <gtest/gtest.h>

#include "archive/cabfile.h"
#include "archive/le_bytes.h"
#include "archive/zipfile.h"
#include "common/paths.h"
#include "setup/compress_verb.h"
#include "setup/install.h"
#include "setup/report_verb.h"
#include "setup/verbs.h"
#include "support/prompt_recorder.h"
#include "support/test_files.h"

namespace {

std::string Text(const WString& text) { return Utf8(text.c_str()); }

TEST(VerbTableTest, ExactCaseSensitiveWordsAndPrefixesWithTheirBlank)
{
    struct Case {
        const wchar_t* arguments;
        SetupVerb verb;
        const wchar_t* operand;
    } cases[] = {
        {L"", SetupVerb::kInstall, L""},
        {L"set", SetupVerb::kSettings, L""},
        {L"about", SetupVerb::kAbout, L""},
        {L"add C:\\a b\\x.cab", SetupVerb::kAdd, L"C:\\a b\\x.cab"},
        {L"cabcompress \"C:\\写真\"", SetupVerb::kCabCompress, L"\"C:\\写真\""},
        {L"zipcompress \"C:\\写真\"", SetupVerb::kZipCompress, L"\"C:\\写真\""},
        {L"SET", SetupVerb::kReport, L"SET"},
        {L"set x", SetupVerb::kReport, L"set x"},
        {L"add", SetupVerb::kReport, L"add"},
        {L"About", SetupVerb::kReport, L"About"},
        {L"zipcompress", SetupVerb::kReport, L"zipcompress"},
        {L"Cabcompress C:\\x", SetupVerb::kReport, L"Cabcompress C:\\x"},
        {L"C:\\x\\data.zip", SetupVerb::kReport, L"C:\\x\\data.zip"},
    };
    for (const Case& c : cases) {
        VerbChoice choice = ChooseVerb(c.arguments);
        EXPECT_EQ(static_cast<int>(c.verb), static_cast<int>(choice.verb)) << Text(c.arguments);
        EXPECT_TRUE(choice.operand == c.operand) << Text(c.arguments) << " -> " << Text(choice.operand);
    }
}

TEST(VerbTableTest, LockIsNamedAfterTheArgumentText)
{
    EXPECT_TRUE(SetupLockName(L"set") == L"ZPKSet_set");
    EXPECT_TRUE(SetupLockName(L"") == L"ZPKSet_");
}

TEST(VerbTableTest, ProgramFolderComesFromTheModuleNotTheCommandLine)
{
    wchar_t self[MAX_PATH];
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    EXPECT_TRUE(ProgramFolder() == ParentDir(WString(self))) << Text(ProgramFolder());
    EXPECT_FALSE(ProgramFolder().IsEmpty());
}

TEST(CompressPathTest, ArchiveLiesBesideTheFolderAndBearsItsName)
{
    EXPECT_TRUE(ArchivePathForFolder(L"C:\\data\\photos", kCompressToZip) == L"C:\\data\\photos.zip");
    EXPECT_TRUE(ArchivePathForFolder(L"C:\\data\\写真 集", kCompressToCab) == L"C:\\data\\写真 集.cab");
    EXPECT_TRUE(ArchivePathForFolder(L"D:\\", kCompressToCab) == L"D:\\.cab");
}

TEST(CompressPathTest, OperandsAreUnquotedAndMadeAbsolute)
{
    EXPECT_TRUE(AbsoluteOperandPath(L"\"C:\\a b\\c\"") == L"C:\\a b\\c");
    EXPECT_TRUE(AbsoluteOperandPath(L"C:\\a b\\c\\") == L"C:\\a b\\c");
    EXPECT_TRUE(AbsoluteOperandPath(L"D:\\") == L"D:\\");
    wchar_t current[MAX_PATH];
    GetCurrentDirectoryW(MAX_PATH, current);
    EXPECT_TRUE(AbsoluteOperandPath(L"rel\\dir") == JoinPath(WString(current), L"rel\\dir"))
        << Text(AbsoluteOperandPath(L"rel\\dir"));
}

class CompressVerbTest : public testing::Test {
protected:
    void SetUp() override
    {
        folder = scratch / L"写真 フォルダ";
        CreateDirectoryTree(folder + L"\\下位", true);
        WriteFileText(folder + L"\\a.txt", "alpha\n");
        WriteFileText(folder + L"\\下位\\b.txt", std::string(5000, 'b'));
    }

    StringList Names(CArcFile& archive)
    {
        StringList names(true);
        archive.GetEntryNames(names);
        return names;
    }

    ScratchFolder scratch;
    WString folder;
    PromptRecorder prompts;
};

TEST_F(CompressVerbTest, ZipOfAFolderIsWrittenBesideItWithItsContent)
{
    RunCompressVerb(kCompressToZip, L"\"" + folder + L"\"", ProgramFolder());
    EXPECT_EQ(0u, prompts.Count()) << Utf8(prompts.LastText());
    CZipFile zip(folder + L".zip", ZlibBesideProgram());
    ASSERT_FALSE(zip.HasError()) << Text(zip.ErrorText());
    StringList names = Names(zip);
    EXPECT_GE(names.Find(L"a.txt"), 0);
    EXPECT_GE(names.Find(L"下位\\b.txt"), 0);
    // Nothing but the archive is left beside the folder.
    AttrStringList items;
    ListDirectory(scratch.Path(), items, L"*");
    EXPECT_EQ(2, items.Count());
}

TEST_F(CompressVerbTest, CabOfAFolderIsWrittenBesideIt)
{
    RunCompressVerb(kCompressToCab, folder, ProgramFolder());
    EXPECT_EQ(0u, prompts.Count()) << Utf8(prompts.LastText());
    CCabFile cab(folder + L".cab");
    ASSERT_FALSE(cab.HasError()) << Text(cab.ErrorText());
    StringList names = Names(cab);
    EXPECT_GE(names.Find(L"a.txt"), 0);
    EXPECT_GE(names.Find(L"下位\\b.txt"), 0);
}

TEST_F(CompressVerbTest, FoldersThatHoldNothingBecomeArchivesToo)
{
    // Nothing at all: the empty ZIP (its end record alone) and the empty
    // cabinet of the shell's New menu.
    WString empty = scratch / L"空";
    CreateDirectoryTree(empty, false);
    RunCompressVerb(kCompressToZip, empty, ProgramFolder());
    RunCompressVerb(kCompressToCab, empty, ProgramFolder());
    EXPECT_EQ(0u, prompts.Count()) << Utf8(prompts.LastText());
    Bytes zipBytes = ReadFileBytes(empty + L".zip");
    ASSERT_EQ(22u, zipBytes.size());
    EXPECT_EQ(0x06054b50u, LoadU32(zipBytes.data()));
    EXPECT_EQ(ReadFileBytes(empty + L".cab"), Bytes(kEmptyCabinet, kEmptyCabinet + sizeof kEmptyCabinet));
    // Nothing but empty folders: each is a folder entry of the ZIP.
    WString hollow = scratch / L"hollow";
    CreateDirectoryTree(hollow + L"\\a\\b", true);
    CreateDirectoryTree(hollow + L"\\c", true);
    RunCompressVerb(kCompressToZip, hollow, ProgramFolder());
    EXPECT_EQ(0u, prompts.Count()) << Utf8(prompts.LastText());
    CZipFile zip(hollow + L".zip", ZlibBesideProgram());
    ASSERT_FALSE(zip.HasError()) << Text(zip.ErrorText());
    for (const wchar_t* folder : {L"a/b/", L"c/"}) {
        int at = zip.FindEntry(WString(folder));
        ASSERT_GE(at, 0) << Utf8(folder);
        EXPECT_FALSE(IsImpliedFolder(zip.Entries().ValueAt(at))) << Utf8(folder);
    }
    EXPECT_TRUE(IsImpliedFolder(zip.Entries().ValueAt(zip.FindEntry(WString(L"a/"))))) << "a/ holds a folder";
}

TEST_F(CompressVerbTest, PathThatIsNoFolderStopsAndTouchesNothing)
{
    WString file = scratch / L"plain.txt";
    WriteFileText(file, "x");
    WriteFileText(scratch / L"plain.txt.zip", "keep");
    prompts.Answer(IDOK);
    prompts.Answer(IDOK);
    RunCompressVerb(kCompressToZip, file, ProgramFolder());
    RunCompressVerb(kCompressToCab, scratch / L"missing", ProgramFolder());
    ASSERT_EQ(2u, prompts.Count());
    EXPECT_EQ(L"フォルダではありません", prompts.Prompts()[0].text);
    EXPECT_EQ(L"フォルダではありません", prompts.Prompts()[1].text);
    EXPECT_EQ(static_cast<UINT>(MB_ICONERROR), prompts.Prompts()[0].icon);
    EXPECT_FALSE(PathExists(scratch / L"plain.zip"));
    EXPECT_FALSE(PathExists(scratch / L"missing.cab"));
    Bytes kept = ReadFileBytes(scratch / L"plain.txt.zip");
    EXPECT_EQ("keep", std::string(kept.begin(), kept.end()));
}

TEST_F(CompressVerbTest, AnswerNoLeavesTheOldArchiveAlone)
{
    WriteFileText(folder + L".zip", "old archive");
    prompts.Answer(IDNO);
    RunCompressVerb(kCompressToZip, folder, ProgramFolder());
    ASSERT_EQ(1u, prompts.Count());
    EXPECT_EQ(Text(folder + L".zip" + L" を置き換えていいですか？"), Utf8(prompts.LastText()));
    EXPECT_EQ(static_cast<UINT>(MB_YESNO), prompts.Prompts()[0].buttons);
    Bytes kept = ReadFileBytes(folder + L".zip");
    EXPECT_EQ("old archive", std::string(kept.begin(), kept.end()));
}

TEST_F(CompressVerbTest, AnswerYesReplacesTheOldArchiveWithTheFolderAlone)
{
    // An archive of other content: the new one must not be appended to it.
    WString other = scratch / L"other";
    CreateDirectoryTree(other, false);
    WriteFileText(other + L"\\old.txt", "old");
    {
        CZipFile old(folder + L".zip", ZlibBesideProgram());
        ASSERT_TRUE(old.Add(other, WString(), 101));
    }
    prompts.Answer(IDYES);
    RunCompressVerb(kCompressToZip, folder, ProgramFolder());
    ASSERT_EQ(1u, prompts.Count());
    CZipFile zip(folder + L".zip", ZlibBesideProgram());
    StringList names = Names(zip);
    EXPECT_LT(names.Find(L"old.txt"), 0);
    EXPECT_GE(names.Find(L"a.txt"), 0);
}

TEST_F(CompressVerbTest, MissingZlibKeepsTheOldArchiveAndSaysWhy)
{
    WriteFileText(folder + L".zip", "old archive");
    WString noZlib = scratch / L"program";
    CreateDirectoryTree(noZlib, false);
    prompts.Answer(IDYES);
    prompts.Answer(IDOK);
    RunCompressVerb(kCompressToZip, folder, noZlib);
    ASSERT_EQ(2u, prompts.Count());
    EXPECT_NE(std::wstring::npos, prompts.LastText().find(L"zlibwapi")) << Utf8(prompts.LastText());
    Bytes kept = ReadFileBytes(folder + L".zip");
    EXPECT_EQ("old archive", std::string(kept.begin(), kept.end()));
    AttrStringList items;
    ListDirectory(scratch.Path(), items, L"*");
    EXPECT_EQ(3, items.Count()) << "a temporary archive was left behind";
}

TEST_F(CompressVerbTest, DamagedOldArchiveIsReplacedWholeAndForeignTemporaryNamesStay)
{
    // A damaged old archive cannot be read; it is neither appended to nor lost.
    WriteFileText(folder + L".cab", "MSCF but nothing else");
    WriteFileText(scratch / L"~写真 フォルダ.cab", "someone's file");
    prompts.Answer(IDYES);
    RunCompressVerb(kCompressToCab, folder, ProgramFolder());
    ASSERT_EQ(1u, prompts.Count());
    CCabFile cab(folder + L".cab");
    EXPECT_GE(Names(cab).Find(L"a.txt"), 0);
    Bytes other = ReadFileBytes(scratch / L"~写真 フォルダ.cab");
    EXPECT_EQ("someone's file", std::string(other.begin(), other.end()));
}

TEST_F(CompressVerbTest, FolderOfTheArchiveNameIsReplacedOnlyWhenEmpty)
{
    CreateDirectoryTree(folder + L".zip", false);
    WriteFileText(folder + L".zip\\inside.txt", "x");
    prompts.Answer(IDYES);
    prompts.Answer(IDOK);
    RunCompressVerb(kCompressToZip, folder, ProgramFolder());
    ASSERT_EQ(2u, prompts.Count());
    EXPECT_TRUE(PathExists(folder + L".zip\\inside.txt"));
    DeleteFileW((folder + L".zip\\inside.txt").c_str());
    prompts.Answer(IDYES);
    RunCompressVerb(kCompressToZip, folder, ProgramFolder());
    EXPECT_FALSE(IsDirectory(folder + L".zip"));
    CZipFile zip(folder + L".zip", ZlibBesideProgram());
    EXPECT_GE(Names(zip).Find(L"a.txt"), 0);
}

class ReportVerbTest : public testing::Test {
protected:
    ScratchFolder scratch;
    PromptRecorder prompts;
};

TEST_F(ReportVerbTest, ReportLiesBesideTheArchiveNamedAfterIt)
{
    EXPECT_TRUE(ReportPathFor(L"C:\\x\\data.zip") == L"C:\\x\\data.txt");
    EXPECT_TRUE(ReportPathFor(L"C:\\x\\noext") == L"C:\\x\\noext.txt");
}

TEST_F(ReportVerbTest, MissingPathAndFolderAreRefused)
{
    prompts.Answer(IDOK);
    prompts.Answer(IDOK);
    RunReportVerb(scratch / L"none.zip");
    RunReportVerb(scratch.Path());
    ASSERT_EQ(2u, prompts.Count());
    EXPECT_EQ(L"引数が違っています。", prompts.Prompts()[0].text);
    EXPECT_EQ(L"引数が違っています。", prompts.Prompts()[1].text);
}

TEST_F(ReportVerbTest, QuestionShowsTheArgumentAsTypedAndTheFormatByExtension)
{
    WString source = scratch / L"src";
    CreateDirectoryTree(source, false);
    WriteFileText(source + L"\\a.txt", "a");
    {
        CCabFile cab(scratch / L"データ.CAB");
        ASSERT_TRUE(cab.Add(source, WString(), 102));
    }
    WString typed = L"\"" + (scratch / L"データ.CAB") + L"\"";
    prompts.Answer(IDYES);
    RunReportVerb(typed);
    ASSERT_EQ(1u, prompts.Count());
    EXPECT_EQ(Text(typed + L"\nを cab ファイルとして情報出力します。よろしいですか？"), Utf8(prompts.LastText()));
    Bytes report = ReadFileBytes(scratch / L"データ.txt");
    WString text = WString::FromAnsi(reinterpret_cast<const char*>(report.data()), static_cast<int>(report.size()), 932);
    EXPECT_TRUE(text.EndsWith(L" 情報出力終了\r\n")) << Text(text);
}

TEST_F(ReportVerbTest, ExistingReportIsReplacedOnlyAfterTheSecondQuestion)
{
    WString archive = scratch / L"data.bin";
    WriteFileText(archive, "not an archive at all");
    WriteFileText(scratch / L"data.txt", "old report");
    prompts.Answer(IDYES);
    prompts.Answer(IDNO);
    RunReportVerb(archive);
    ASSERT_EQ(2u, prompts.Count());
    EXPECT_NE(std::wstring::npos, prompts.Prompts()[0].text.find(L"zip ファイルとして"));
    EXPECT_EQ(Text(scratch / L"data.txt" + L"\nを置き換えていいですか？"), Utf8(prompts.LastText()));
    Bytes kept = ReadFileBytes(scratch / L"data.txt");
    EXPECT_EQ("old report", std::string(kept.begin(), kept.end()));
    prompts.Answer(IDNO);
    RunReportVerb(archive);
    EXPECT_EQ(3u, prompts.Count());
    kept = ReadFileBytes(scratch / L"data.txt");
    EXPECT_EQ("old report", std::string(kept.begin(), kept.end()));
}

TEST_F(ReportVerbTest, ArchiveNamedLikeItsReportIsRefusedBeforeTruncation)
{
    WString archive = scratch / L"x.TXT";
    WriteFileText(archive, "PK precious");
    prompts.Answer(IDOK);
    RunReportVerb(archive);
    ASSERT_EQ(1u, prompts.Count());
    EXPECT_EQ(static_cast<UINT>(MB_ICONERROR), prompts.Prompts()[0].icon);
    Bytes kept = ReadFileBytes(archive);
    EXPECT_EQ("PK precious", std::string(kept.begin(), kept.end()));
}

}  // namespace
