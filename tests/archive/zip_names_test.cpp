// Names of ZIP entries outside the code page: read as UTF-8 where the
// archive says so (flag bit 11, the Unicode Path block) or where the bytes
// can only be UTF-8; written as UTF-8 with flag bit 11 when the code page
// cannot hold them; carried over by a commit byte for byte.
#include <gtest/gtest.h>

#include <algorithm>

#include "archive/zipfile.h"
#include "common/paths.h"
#include "support/private_settings.h"
#include "support/prompt_recorder.h"
#include "support/test_files.h"
#include "support/zip_builder.h"

namespace {

const uint16_t kUtf8Flag = 0x0800;

// "フォルダ/日本語ファイル.txt" and "Ünïcödé €.txt" in UTF-8.
const char kJapaneseUtf8[] =
    "\xE3\x83\x95\xE3\x82\xA9\xE3\x83\xAB\xE3\x83\x80/\xE6\x97\xA5\xE6\x9C\xAC\xE8\xAA\x9E\xE3\x83\x95\xE3\x82\xA1"
    "\xE3\x82\xA4\xE3\x83\xAB.txt";
const char kLatinUtf8[] = "\xC3\x9Cn\xC3\xAF" "c\xC3\xB6" "d\xC3\xA9 \xE2\x82\xAC.txt";
// "あ.txt" and "い.txt" in UTF-8: not valid in code page 932, and the same
// text when decoded from it with replacement characters.
const char kAUtf8[] = "\xE3\x81\x82.txt";
const char kIUtf8[] = "\xE3\x81\x84.txt";
// "表.txt" in code page 932; its second byte is 0x5C.
const char kHyouSjis[] = "\x95\x5C.txt";

class ZipNamesTest : public testing::Test {
protected:
    WString Archive(const Bytes& bytes)
    {
        WString path = folder_ / L"n.zip";
        EXPECT_TRUE(WriteFileBytes(path, bytes));
        return path;
    }
    std::vector<std::wstring> Names(CArcFile& archive)
    {
        StringList names(false);
        archive.GetEntryNames(names);
        std::vector<std::wstring> result;
        for (int i = 0; i < names.Count(); ++i) {
            result.push_back(names[i].c_str());
        }
        std::sort(result.begin(), result.end());
        return result;
    }
    ScratchFolder folder_;
    PrivateSettings settings_;
    PromptRecorder prompts_;
};

const ZipCentralRecord* FindRecord(const std::vector<ZipCentralRecord>& records, const std::string& name)
{
    for (const ZipCentralRecord& record : records) {
        if (record.name == name) {
            return &record;
        }
    }
    return nullptr;
}

}  // namespace

TEST_F(ZipNamesTest, ReadsEachKindOfStoredName)
{
    ZipTestEntry flagged{kJapaneseUtf8, "jp"};
    flagged.flags = kUtf8Flag;
    ZipTestEntry latin{kLatinUtf8, "latin"};
    latin.flags = kUtf8Flag;
    // Info-ZIP's block: the name in the code page, the block in UTF-8.
    ZipTestEntry unicodePath{"plain.txt", "up"};
    unicodePath.centralExtra = UnicodePathExtra("plain.txt", "\xE2\x82\xAC-path.txt");
    // A block written for another name (the entry was renamed since).
    ZipTestEntry stalePath{"renamed.txt", "stale"};
    stalePath.centralExtra = UnicodePathExtra("before.txt", "\xE2\x82\xAC-before.txt");
    ZipTestEntry rawA{kAUtf8, "a"};
    ZipTestEntry rawI{kIUtf8, "i"};
    ZipTestEntry sjis{kHyouSjis, "sjis"};
    // The flag on bytes that are no UTF-8: the code page reads them.
    ZipTestEntry wrongFlag{std::string("dir/") + kHyouSjis, "wrong"};
    wrongFlag.flags = kUtf8Flag;
    WString path = Archive(BuildZip({flagged, latin, unicodePath, stalePath, rawA, rawI, sjis, wrongFlag}));

    CZipFile archive(path, ZlibBesideProgram());
    EXPECT_EQ(archive.ErrorText(), L"") << "two raw UTF-8 names must not meet as one text";
    EXPECT_EQ(Names(archive),
              (std::vector<std::wstring>{L"dir\\", L"dir\\表.txt", L"renamed.txt", L"Ünïcödé €.txt", L"€-path.txt",
                                         L"あ.txt", L"い.txt", L"フォルダ\\", L"フォルダ\\日本語ファイル.txt",
                                         L"表.txt"}));
    WString out = folder_ / L"out";
    ASSERT_TRUE(archive.Extract(out, WString(), false)) << Utf8(archive.ErrorText().c_str());
    EXPECT_EQ(ReadFileBytes(JoinPath(out, L"フォルダ\\日本語ファイル.txt")), (Bytes{'j', 'p'}));
    EXPECT_EQ(ReadFileBytes(JoinPath(out, L"Ünïcödé €.txt")), (Bytes{'l', 'a', 't', 'i', 'n'}));
    EXPECT_EQ(ReadFileBytes(JoinPath(out, L"€-path.txt")), (Bytes{'u', 'p'}));
    EXPECT_EQ(ReadFileBytes(JoinPath(out, L"あ.txt")), (Bytes{'a'}));
    EXPECT_EQ(ReadFileBytes(JoinPath(out, L"dir\\表.txt")), (Bytes{'w', 'r', 'o', 'n', 'g'}));
    ASSERT_TRUE(archive.Extract(folder_ / L"one", L"フォルダ\\日本語ファイル.txt", false));
    EXPECT_TRUE(PathExists(folder_ / L"one\\日本語ファイル.txt"));
    EXPECT_EQ(prompts_.Count(), 0u) << Utf8(prompts_.LastText().c_str());
}

TEST_F(ZipNamesTest, WritesNamesOutsideTheCodePageAsUtf8WithTheFlag)
{
    WString source = folder_ / L"src";
    CreateDirectoryTree(JoinPath(source, L"フォルダ"), true);
    ASSERT_TRUE(WriteFileText(JoinPath(source, L"Ünïcödé €.txt"), "latin"));
    ASSERT_TRUE(WriteFileText(JoinPath(source, L"フォルダ\\日本語.txt"), "jp"));
    WString path = folder_ / L"w.zip";
    {
        CZipFile archive(path, ZlibBesideProgram());
        ASSERT_TRUE(archive.Add(source, WString(), -1)) << Utf8(archive.ErrorText().c_str());
    }
    std::vector<ZipCentralRecord> records = ReadZipDirectory(ReadFileBytes(path));
    const ZipCentralRecord* latin = FindRecord(records, std::string("src/") + kLatinUtf8);
    ASSERT_NE(latin, nullptr);
    EXPECT_EQ(latin->flags & kUtf8Flag, kUtf8Flag);
    // A name the code page holds stays in it, without the flag.
    const ZipCentralRecord* japanese = FindRecord(records, WString(L"src/フォルダ/日本語.txt").ToAnsi(932).c_str());
    ASSERT_NE(japanese, nullptr);
    EXPECT_EQ(japanese->flags & kUtf8Flag, 0);

    CZipFile back(path, ZlibBesideProgram());
    ASSERT_GE(back.FindEntry(L"src/Ünïcödé €.txt"), 0);
    ASSERT_TRUE(back.Extract(folder_ / L"out", L"src\\Ünïcödé €.txt", false)) << Utf8(back.ErrorText().c_str());
    EXPECT_EQ(ReadFileBytes(folder_ / L"out\\Ünïcödé €.txt"), (Bytes{'l', 'a', 't', 'i', 'n'}));
}

TEST_F(ZipNamesTest, CommitKeepsNameBytesAndFlagsOfCarriedEntries)
{
    ZipTestEntry flagged{kJapaneseUtf8, "jp"};
    flagged.flags = kUtf8Flag;
    ZipTestEntry unicodePath{"plain.txt", "up"};
    unicodePath.centralExtra = UnicodePathExtra("plain.txt", "\xE2\x82\xAC-path.txt");
    ZipTestEntry raw{kAUtf8, "a"};
    ZipTestEntry sjis{kHyouSjis, "sjis"};
    ZipTestEntry backslash{"win\\style.txt", "bs"};
    ZipTestEntry doomed{"doomed.txt", "gone"};
    WString path = Archive(BuildZip({flagged, unicodePath, raw, sjis, backslash, doomed}));
    std::vector<ZipCentralRecord> before = ReadZipDirectory(ReadFileBytes(path));
    WString added = folder_ / L"src\\Ünïcödé €.txt";
    CreateDirectoryTree(ParentDir(added), true);
    ASSERT_TRUE(WriteFileText(added, "latin"));
    {
        CZipFile archive(path, ZlibBesideProgram());
        ASSERT_TRUE(archive.Delete(L"doomed.txt"));
        ASSERT_TRUE(archive.Add(added, L"new\\", -1)) << Utf8(archive.ErrorText().c_str());
    }
    std::vector<ZipCentralRecord> after = ReadZipDirectory(ReadFileBytes(path));
    ASSERT_EQ(after.size(), before.size());
    for (const ZipCentralRecord& old : before) {
        SCOPED_TRACE(old.name);
        const ZipCentralRecord* now = FindRecord(after, old.name);
        if (old.name == "doomed.txt") {
            EXPECT_EQ(now, nullptr);
            continue;
        }
        ASSERT_NE(now, nullptr);
        EXPECT_EQ(now->flags, old.flags);
        if (old.name == "plain.txt") {
            EXPECT_EQ(now->extra, old.extra) << "the Unicode Path block stays with its name";
        }
    }
    const ZipCentralRecord* fresh = FindRecord(after, std::string("new/") + kLatinUtf8);
    ASSERT_NE(fresh, nullptr);
    EXPECT_EQ(fresh->flags & kUtf8Flag, kUtf8Flag);
    CZipFile back(path, ZlibBesideProgram());
    EXPECT_EQ(back.ErrorText(), L"");
    EXPECT_GE(back.FindEntry(L"€-path.txt"), 0);
    EXPECT_GE(back.FindEntry(L"フォルダ/日本語ファイル.txt"), 0);
    EXPECT_GE(back.FindEntry(L"new/Ünïcödé €.txt"), 0);
}
