// The ZIP engine on hand-made archives: reading edge cases, damage, the
// extraction checks and the commit's failure paths.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "archive/entry_names.h"
#include "archive/le_bytes.h"
#include "archive/zip_records.h"
#include "archive/zipfile.h"
#include "common/paths.h"
#include "support/private_settings.h"
#include "support/prompt_recorder.h"
#include "support/test_files.h"
#include "support/zip_builder.h"

namespace {

WString ZlibPath() { return ZlibBesideProgram(); }

class ZipTest : public testing::Test {
protected:
    WString Archive(const Bytes& bytes)
    {
        WString path = folder_ / L"t.zip";
        EXPECT_TRUE(WriteFileBytes(path, bytes));
        return path;
    }
    // Reads an archive and takes its error text, so that destruction shows
    // nothing.
    WString ReadError(const WString& path, int* count = nullptr)
    {
        CZipFileEnum reader(path, false);
        WString text = reader.ErrorText();
        if (count) {
            *count = reader.Entries().Count();
        }
        reader.ClearErrorText();
        return text;
    }
    ScratchFolder folder_;
};

TEST_F(ZipTest, ReadsSortedTableWithSynthesizedFoldersAndBackslashNames)
{
    WString path = Archive(BuildZip({{"b.txt", "b"}, {"a/y/z.txt", "z"}, {"a/", ""}, {"a/x.txt", "x"},
                                     {"dir\\f.txt", "f"}}));
    CZipFileEnum reader(path, false);
    ASSERT_EQ(reader.ErrorText(), L"");
    StringList names(false);
    reader.GetEntryNames(names);
    std::vector<std::wstring> got;
    for (int i = 0; i < names.Count(); ++i) {
        got.push_back(names[i].c_str());
    }
    EXPECT_EQ(got, (std::vector<std::wstring>{L"a\\", L"a\\x.txt", L"a\\y\\", L"a\\y\\z.txt", L"b.txt", L"dir\\",
                                              L"dir\\f.txt"}));
    EXPECT_GE(reader.FindEntry(WString(L"dir/f.txt")), 0);
}

TEST_F(ZipTest, MissingArchiveIsEmptyWithoutError)
{
    CZipFileEnum reader(folder_ / L"none.zip", false);
    EXPECT_EQ(reader.EntryCount(), 0u);
    EXPECT_EQ(reader.Entries().Count(), 0);
    EXPECT_FALSE(reader.HasError());
}

TEST_F(ZipTest, ReportsDamagedEndRecordsAndDirectories)
{
    EXPECT_EQ(ReadError(Archive(Bytes(100, 0))), L"EndOfCentralDir 署名を見つけられません");

    Bytes longComment = BuildZip({{"a", "1"}});
    longComment[longComment.size() - 2] = 0x10;  // comment length 16, no bytes follow
    EXPECT_EQ(ReadError(Archive(longComment)), L"コメント領域不十分");

    // The end record promises two entries; the directory holds one.
    int count = 0;
    EXPECT_EQ(ReadError(Archive(BuildZip({{"a", "1"}}, nullptr, 2)), &count),
              L"CentralDir 署名を見つけられません index = 1");
    EXPECT_EQ(count, 1);

    // A central header pointing past the end of the file.
    ZipTestEntry distant{"far.txt", "data"};
    distant.offsetOverride = 0x7FFFFFF0;
    EXPECT_EQ(ReadError(Archive(BuildZip({distant}))), L"LocalHeader 署名を見つけられません index = 0");
}

TEST_F(ZipTest, EmptyOrNulBearingNamesAreDamage)
{
    int count = 0;
    EXPECT_EQ(ReadError(Archive(BuildZip({{"a.txt", "1"}, {"", "2"}, {"c.txt", "3"}})), &count),
              L"CentralDir のファイル名が壊れています index = 1");
    EXPECT_EQ(count, 1);
    // A NUL byte would cut the name short wherever Windows reads it.
    EXPECT_EQ(ReadError(Archive(BuildZip({{std::string("b\0c.txt", 7), "2"}})), &count),
              L"CentralDir のファイル名が壊れています index = 0");
    EXPECT_EQ(count, 0);
}

TEST_F(ZipTest, DuplicateNamesKeepTheFirstAndReport)
{
    int count = 0;
    WString text = ReadError(Archive(BuildZip({{"same.txt", "first"}, {"same.txt", "second"}})), &count);
    EXPECT_EQ(text, L"重複したファイル名 same.txt index1, 2 = 0 1");
    EXPECT_EQ(count, 1);
    // Names are compared as the engine sees them, without "." components
    // and as Windows creates them.
    text = ReadError(Archive(BuildZip({{"x.txt", "first"}, {"./x.txt", "second"}})), &count);
    EXPECT_EQ(text, L"重複したファイル名 x.txt index1, 2 = 0 1");
    EXPECT_EQ(count, 1);
    text = ReadError(Archive(BuildZip({{"run.bat", "first"}, {"run.bat. ", "second"}})), &count);
    EXPECT_EQ(text, L"重複したファイル名 run.bat index1, 2 = 0 1");
    EXPECT_EQ(count, 1);
}

TEST_F(ZipTest, DirectoryInNoOrderGivesASortedTableKeepingTheFirstOfEqualNames)
{
    WString path = Archive(BuildZip({{"b.txt", "1"}, {"same", "first"}, {"a/x.txt", "2"}, {"B.txt", "3"},
                                     {"same", "second"}, {"c/", ""}, {"same", "third"}, {"A/y.txt", "4"}}));
    CZipFile reader(path, ZlibBesideProgram());
    EXPECT_EQ(reader.ErrorText(), L"重複したファイル名 same index1, 2 = 1 6");
    reader.ClearErrorText();
    const EntryTable& table = reader.Entries();
    ASSERT_EQ(table.Count(), 8);  // six distinct names, the folders a/ and A/
    for (int i = 1; i < table.Count(); ++i) {
        EXPECT_LT(CompareNames(table.Name(i - 1), table.Name(i)), 0) << Utf8(table.Name(i).c_str());
    }
    ASSERT_TRUE(reader.Extract(folder_ / L"out", L"same", false));
    EXPECT_EQ(ReadFileBytes(folder_ / L"out\\same"), (Bytes{'f', 'i', 'r', 's', 't'}));
}

// The table is built by one sort of keys, one pass for duplicates and one
// merge of the synthesised folders; it must be exactly what inserting the
// names (as the engine sees them) one by one into a sorted list gives: the
// first of equal names, every folder once, a folder after an equal name.
TEST_F(ZipTest, LargeDirectoryInNoOrderReadsAsSortedInsertsWould)
{
    const wchar_t* pieces[] = {L"a", L"A", L"b", L"0", L"10", L"-", L"'", L" ", L"_", L"Ａ", L"日本", L"ア", L"ｱ", L"ー"};
    const wchar_t* folders[] = {L"", L"Doc-1/", L"doc1/", L"Doc-1/sub/", L"x/y/z/", L"日本語/", L"Doc-1\\win/"};
    std::vector<ZipTestEntry> entries;
    std::vector<WString> stored;
    unsigned seed = 4242;
    auto next = [&seed]() {
        seed = seed * 1103515245u + 12345u;
        return seed >> 8;
    };
    for (int i = 0; i < 3000; ++i) {
        WString name(folders[next() % 7]);
        int parts = 1 + static_cast<int>(next() % 4);
        for (int p = 0; p < parts; ++p) {
            name += pieces[next() % 14];
        }
        if (next() % 10 == 0) {
            name += L"/";  // an explicit folder entry
        }
        if (i > 0 && next() % 25 == 0) {
            name = stored[next() % stored.size()];  // a repeated name
        }
        stored.push_back(name);
        AString bytes = name.ToAnsi();
        entries.push_back(ZipTestEntry{std::string(bytes.c_str(), static_cast<size_t>(bytes.Length())), "d"});
    }
    StringList expected(true);
    for (const WString& name : stored) {
        WString slashed = MappedEntryName(name.ReplaceAll(L'\\', L'/'));
        if (expected.Find(slashed) < 0) {
            expected.Insert(slashed);
        }
    }
    for (const WString& name : stored) {
        WString slashed = MappedEntryName(name.ReplaceAll(L'\\', L'/'));
        for (int at = slashed.FindChar(L'/'); at >= 0; at = slashed.FindChar(L'/', at + 1)) {
            if (expected.Find(slashed.Left(at + 1)) < 0) {
                expected.Insert(slashed.Left(at + 1));
            }
        }
    }
    CZipFileEnum reader(Archive(BuildZip(entries)), false);
    EXPECT_TRUE(reader.ErrorText().StartsWith(L"重複したファイル名 "));
    reader.ClearErrorText();
    EXPECT_TRUE(reader.ReadCompletely());
    const EntryTable& table = reader.Entries();
    ASSERT_EQ(table.Count(), expected.Count());
    int differences = 0;
    for (int i = 0; i < table.Count(); ++i) {
        if (table.Name(i) != expected[i] && differences++ < 5) {
            ADD_FAILURE() << "row " << i << ": " << Utf8(table.Name(i).c_str()) << ", expected "
                          << Utf8(expected[i].c_str());
        }
    }
    EXPECT_EQ(differences, 0);
    // Every row keeps the stored bytes of its own name.
    for (int i = 0; i < table.Count(); ++i) {
        const ArcEntry& entry = table.ValueAt(i);
        if (entry.nameIndex >= 0) {
            WString name = WString::FromAnsi(reinterpret_cast<const char*>(reader.Blocks().Block(entry.nameIndex)),
                                             reader.Blocks().Size(entry.nameIndex));
            EXPECT_EQ(MappedEntryName(name.ReplaceAll(L'\\', L'/')), table.Name(i));
        }
    }
}

TEST_F(ZipTest, ExtraFieldDamageIsReported)
{
    ZipTestEntry shortZip64{"a.txt", "a"};
    shortZip64.offsetOverride = 0xFFFFFFFF;
    shortZip64.centralExtra = ZipExtraBlock(zip::kExtraZip64, Bytes(4, 0));  // too short for the offset
    EXPECT_EQ(ReadError(Archive(BuildZip({shortZip64}))), L"ExtraField サイズデータ(HeaderID:0x0001)不足");

    ZipTestEntry badNtfs{"a.txt", "a"};
    badNtfs.centralExtra = ZipExtraBlock(zip::kExtraNtfs, Bytes(8, 0));  // NTFS block of 8 bytes
    EXPECT_EQ(ReadError(Archive(BuildZip({badNtfs}))), L"ExtraField 日時データ(HeaderID:0x000a)不整合");

    ZipTestEntry overrun{"a.txt", "a"};
    overrun.centralExtra = ZipExtraBlock(0x5455, Bytes(4, 0), 40);  // claims 40 bytes, has 4
    EXPECT_EQ(ReadError(Archive(BuildZip({overrun}))),
              L"ExtraField ブロック(HeaderID:0x5455)が領域の外まで続いています");
}

TEST_F(ZipTest, ReadsZip64OffsetFromExtraField)
{
    ZipTestEntry item{"a.txt", "hello"};
    item.offsetOverride = 0xFFFFFFFF;
    item.centralExtra = Zip64Extra({0});  // the local header offset, 0
    CZipFile archive(Archive(BuildZip({item})), ZlibPath());
    ASSERT_EQ(archive.ErrorText(), L"");
    EXPECT_EQ(archive.Entries().ValueAt(0).headerOffset, 0u);
    ASSERT_TRUE(archive.Extract(folder_ / L"out", WString(L"a.txt"), false));
    Bytes data = ReadFileBytes(folder_ / L"out\\a.txt");
    EXPECT_EQ(std::string(data.begin(), data.end()), "hello");
}

// An end record at its limits with a Zip64 record before it: the count
// comes from the Zip64 record.
TEST_F(ZipTest, ReadsZip64RecordWhenEndRecordCountIsAtLimit)
{
    Bytes plain = BuildZip({{"a", "1"}, {"b", "2"}});
    Bytes body(plain.begin(), plain.end() - 22);
    uint32_t directory = LoadU32(&plain[plain.size() - 6]);
    uint32_t size = static_cast<uint32_t>(body.size()) - directory;
    uint64_t recordAt = body.size();
    Bytes archive = ByteBuilder()
                        .Raw(body)
                        .Raw(Zip64EndRecord(2, size, directory))
                        .Raw(Zip64Locator(recordAt))
                        .Raw(ZipEndRecord(0xFFFF, size, directory))  // counts at their limit
                        .Get();
    int count = 0;
    EXPECT_EQ(ReadError(Archive(archive), &count), L"");
    EXPECT_EQ(count, 2);
}

TEST_F(ZipTest, ExtractionChecksRefuseBadEntriesAndCreateNothing)
{
    ZipTestEntry badCrc{"crc.txt", "intact data"};
    badCrc.crc = 0x12345678;
    ZipTestEntry method12{"m12.txt", "xx"};
    method12.method = 12;
    CZipFile archive(Archive(BuildZip({badCrc, method12})), ZlibPath());
    ASSERT_EQ(archive.ErrorText(), L"");
    WString out = folder_ / L"out";
    EXPECT_FALSE(archive.Extract(out, WString(L"crc.txt"), false));
    EXPECT_EQ(archive.ErrorText(), JoinPath(out, WString(L"crc.txt")) + L"\nCRC32エラー");
    EXPECT_FALSE(PathExists(JoinPath(out, WString(L"crc.txt"))));
    EXPECT_FALSE(archive.Extract(out, WString(L"m12.txt"), false));
    EXPECT_EQ(archive.ErrorText(), JoinPath(out, WString(L"m12.txt")) + L"\nサポートしていない圧縮法です（Method = 12）");
    DWORD size, packed, attributes;
    FILETIME time;
    StringList lines(false);
    ASSERT_TRUE(archive.GetEntryInfo(WString(L"m12.txt"), size, packed, time, attributes, lines));
    ASSERT_EQ(lines.Count(), 1);
    EXPECT_EQ(lines[0], L"Method = 12 未サポートの圧縮法");
    archive.ClearErrorText();
}

TEST_F(ZipTest, RefusesNameEscapingDestination)
{
    const char* hostile[] = {"../evil.txt", "/rooted.txt", "C:drive.txt", "ok/x:stream", "a/../../up.txt",
                             "\\\\server\\share\\unc.txt"};
    for (const char* name : hostile) {
        ScratchFolder scratch;
        WString path = scratch / L"h.zip";
        ASSERT_TRUE(WriteFileBytes(path, BuildZip({{"fine.txt", "ok"}, {name, "bad"}})));
        CZipFile archive(path, ZlibPath());
        WString dest = scratch / L"dest";
        EXPECT_FALSE(archive.Extract(dest, WString(), false)) << name;
        WString shown = WString::FromAnsi(name).ReplaceAll(L'/', L'\\');
        EXPECT_NE(archive.ErrorText().Find(L"展開先フォルダーの外"), -1) << name;
        // The text names the entry (or the folder of it that comes first).
        WString named = archive.ErrorText().Left(archive.ErrorText().FindChar(L'\n'));
        EXPECT_FALSE(named.IsEmpty()) << name;
        EXPECT_TRUE(shown.StartsWith(named.c_str())) << name;
        EXPECT_FALSE(PathExists(scratch / L"evil.txt"));
        EXPECT_FALSE(PathExists(scratch / L"up.txt"));
        EXPECT_FALSE(PathExists(JoinPath(dest, WString(L"fine.txt")))) << "nothing is written before the check";
        archive.ClearErrorText();
    }
    EXPECT_TRUE(zip::IsSafeEntryName(WString(L"a/b..c/d.txt")));
    EXPECT_FALSE(zip::IsSafeEntryName(WString(L"a/.../d.txt")));
}

TEST_F(ZipTest, OverlappingEntriesListButDoNotExtract)
{
    ZipTestEntry second{"copy.txt", "payload"};
    second.offsetOverride = 0;  // shares the first entry's local header
    CZipFile archive(Archive(BuildZip({{"orig.txt", "payload"}, second})), ZlibPath());
    ASSERT_EQ(archive.ErrorText(), L"");
    EXPECT_EQ(archive.Entries().Count(), 2);
    WString out = folder_ / L"out";
    EXPECT_FALSE(archive.Extract(out, WString(L"copy.txt"), false));
    EXPECT_NE(archive.ErrorText().Find(L"重なっている"), -1);
    EXPECT_FALSE(PathExists(JoinPath(out, WString(L"copy.txt"))));
    archive.ClearErrorText();
}

TEST_F(ZipTest, UnixModeBitsNeverReachTheFile)
{
    ZipTestEntry unixFile{"u.txt", "u"};
    unixFile.attributes = 0x81A40000;  // -rw-r--r-- in the upper half, no DOS bits
    ZipTestEntry readOnly{"r.txt", "r"};
    readOnly.attributes = 0x21;
    CZipFile archive(Archive(BuildZip({unixFile, readOnly})), ZlibPath());
    WString out = folder_ / L"out";
    ASSERT_TRUE(archive.Extract(out, WString(), false)) << Utf8(archive.ErrorText().c_str());
    DWORD u = GetFileAttributesW((JoinPath(out, WString(L"u.txt"))).c_str());
    EXPECT_EQ(u & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_SYSTEM), 0u);
    EXPECT_TRUE(GetFileAttributesW((JoinPath(out, WString(L"r.txt"))).c_str()) & FILE_ATTRIBUTE_READONLY);
    SetFileAttributesW((JoinPath(out, WString(L"r.txt"))).c_str(), FILE_ATTRIBUTE_NORMAL);
}

// Extraction whose single call for times and attributes fails, so that the
// separate calls have to do the work.
class HandleInfoFails : public CZipFile {
public:
    using CZipFile::CZipFile;

protected:
    bool SetTimesAndAttributes(HANDLE, const FILETIME*, const FILETIME*, const FILETIME*, DWORD) override
    {
        SetLastError(ERROR_INVALID_FUNCTION);
        return false;
    }
};

uint64_t TimeValue(const FILETIME& time) { return (static_cast<uint64_t>(time.dwHighDateTime) << 32) | time.dwLowDateTime; }

TEST_F(ZipTest, ExtractedFilesGetTheirTimesAndAttributes)
{
    const uint64_t written = 132000000000000000ULL;   // 2019-04-14
    const uint64_t accessed = 132100000000000000ULL;  // 2019-08-08
    const uint64_t created = 131000000000000000ULL;   // 2016-02-11
    ZipTestEntry ntfs{"ntfs.txt", "n"};
    ntfs.attributes = 0x21;
    ntfs.centralExtra = NtfsExtra(written, accessed, created);
    ZipTestEntry dos{"dos.txt", "d"};  // DOS time 2024-01-01 12:00:00 local, no NTFS block
    FILETIME local{}, dosUtc{};
    ASSERT_TRUE(DosDateTimeToFileTime(0x5821, 0x6000, &local));
    ASSERT_TRUE(LocalFileTimeToFileTime(&local, &dosUtc));
    for (bool fallback : {false, true}) {
        WString out = folder_ / (fallback ? L"separate" : L"single");
        {
            PromptRecorder prompts;
            std::unique_ptr<CZipFile> archive(fallback ? new HandleInfoFails(Archive(BuildZip({ntfs, dos})), ZlibPath())
                                                       : new CZipFile(Archive(BuildZip({ntfs, dos})), ZlibPath()));
            ASSERT_TRUE(archive->Extract(out, WString(), false)) << Utf8(archive->ErrorText().c_str());
            EXPECT_EQ(prompts.Count(), 0u) << "the fallback succeeds without a report";
        }
        WString ntfsPath = JoinPath(out, WString(L"ntfs.txt"));
        WString dosPath = JoinPath(out, WString(L"dos.txt"));
        EXPECT_EQ(GetFileAttributesW(ntfsPath.c_str()) & FILE_ATTRIBUTE_READONLY, static_cast<DWORD>(FILE_ATTRIBUTE_READONLY));
        EXPECT_EQ(GetFileAttributesW(dosPath.c_str()) & FILE_ATTRIBUTE_READONLY, 0u);
        for (const WString& path : {ntfsPath, dosPath}) {
            ScopedFile file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
            ASSERT_TRUE(file.IsValid());
            FILETIME c{}, a{}, w{};
            ASSERT_TRUE(GetFileTime(file.Get(), &c, &a, &w));
            // The creation time is not checked: the test platform's file
            // system cannot set it.
            if (path == ntfsPath) {
                EXPECT_EQ(TimeValue(w), written) << fallback;
                EXPECT_EQ(TimeValue(a), accessed) << fallback;
            } else {
                EXPECT_EQ(TimeValue(w), TimeValue(dosUtc)) << fallback;
            }
        }
        SetFileAttributesW(ntfsPath.c_str(), FILE_ATTRIBUTE_NORMAL);
    }
}

class ZipWriterTest : public ZipTest {
protected:
    WString MakeFile(const wchar_t* name, const std::string& text)
    {
        WString path = folder_ / name;
        CreateDirectoryTree(ParentDir(path), true);
        EXPECT_TRUE(WriteFileText(path, text));
        return path;
    }
    // The archive object reads the compression level from the settings;
    // those of the test stay in a private key.
    PrivateSettings settings_;
};

TEST_F(ZipWriterTest, RoundTripWithShiftJisNamesAndNtfsTimes)
{
    // 表 ends in the byte 0x5C in code page 932, the byte of a backslash.
    WString source = MakeFile(L"src\\日本語表.txt", std::string(3000, 'x') + "end");
    WString path = folder_ / L"new.zip";
    {
        CZipFile archive(path, ZlibPath());
        ASSERT_TRUE(archive.Add(ParentDir(source), WString(L"in\\"), -1)) << Utf8(archive.ErrorText().c_str());
    }
    CZipFile archive(path, ZlibPath());
    ASSERT_EQ(archive.ErrorText(), L"");
    int index = archive.FindEntry(WString(L"in/src/日本語表.txt"));
    ASSERT_GE(index, 0);
    EXPECT_EQ(GetACP(), 932u);
    EXPECT_EQ(archive.Entries().ValueAt(index).nameLength, WString(L"in/src/日本語表.txt").ToAnsi(932).Length());
    EXPECT_TRUE(IsTimePresent(archive.Entries().ValueAt(index).modifiedTime));
    ASSERT_TRUE(archive.Extract(folder_ / L"out", WString(), false));
    EXPECT_EQ(ReadFileBytes(folder_ / L"out\\in\\src\\日本語表.txt"), ReadFileBytes(source));
}

TEST_F(ZipWriterTest, AddedFolderKeepsTheWalkOrderAndItsEmptyFoldersWithAndWithoutProgress)
{
    MakeMixedTree(folder_ / L"src");
    std::vector<std::wstring> order = WalkOrder(folder_ / L"src", true);
    auto storedNames = [](const WString& path) {
        std::vector<std::wstring> stored;
        for (const ZipCentralRecord& record : ReadZipDirectory(ReadFileBytes(path))) {
            stored.push_back(WString::FromAnsi(record.name.c_str()).c_str());
        }
        return stored;
    };
    for (int icon : {-1, 101}) {
        WString path = folder_ / (icon == -1 ? L"plain.zip" : L"progress.zip");
        {
            CZipFile archive(path, ZlibPath());
            ASSERT_TRUE(archive.Add(folder_ / L"src", WString(L"in\\"), icon)) << Utf8(archive.ErrorText().c_str());
        }
        // Without the progress window the folder itself becomes an entry
        // folder; with it, its contents go straight below the destination.
        std::wstring prefix = icon == -1 ? L"in/src/" : L"in/";
        std::vector<std::wstring> expected;
        for (const std::wstring& name : order) {
            expected.push_back(prefix + WString(name.c_str()).ReplaceAll(L'\\', L'/').c_str());
        }
        EXPECT_EQ(expected, storedNames(path)) << icon;
        // An empty folder is a stored entry of its own, without data.
        {
            CZipFile archive(path, ZlibPath());
            int at = archive.FindEntry(WString((prefix + L"empty/").c_str()));
            ASSERT_GE(at, 0) << icon;
            const ArcEntry& folder = archive.Entries().ValueAt(at);
            EXPECT_EQ(folder.method, zip::kMethodStored);
            EXPECT_EQ(folder.size, 0u);
            EXPECT_EQ(folder.packedSize, 0u);
            EXPECT_EQ(folder.crc32, 0u);
            EXPECT_TRUE(folder.externalAttributes & FILE_ATTRIBUTE_DIRECTORY);
            // A change to the archive keeps every folder entry.
            ASSERT_TRUE(archive.Delete(WString((prefix + L"b.txt").c_str()).ReplaceAll(L'/', L'\\')));
        }
        expected.erase(std::find(expected.begin(), expected.end(), prefix + L"b.txt"));
        EXPECT_EQ(expected, storedNames(path)) << icon;
    }
}

TEST_F(ZipWriterTest, EntriesThatDeflateDoesNotShrinkAreStoredAsTheyAre)
{
    // Noise from a fixed generator: deflate makes it a little larger.
    std::string noise(20000, '\0');
    uint32_t state = 12345;
    for (char& byte : noise) {
        state = state * 1103515245u + 12345u;
        byte = static_cast<char>(state >> 24);
    }
    struct Case {
        const wchar_t* name;
        std::string data;
        int compType;
        uint16_t method;
    };
    const Case cases[] = {
        {L"tiny.txt", "hello\n", 0, zip::kMethodStored},
        {L"empty.txt", "", 0, zip::kMethodStored},
        {L"noise.bin", noise, 0, zip::kMethodStored},
        {L"text.txt", std::string(5000, 'a'), 0, zip::kMethodDeflate},
        {L"level0.txt", std::string(5000, 'a'), 3, zip::kMethodStored},
    };
    for (const Case& c : cases) {
        settings_.Set(L"ZipCompType", c.compType);
        WString source = MakeFile(c.name, c.data);
        WString path = folder_ / (WString(c.name) + L".zip");
        {
            CZipFile archive(path, ZlibPath());
            ASSERT_TRUE(archive.Add(source, WString(), -1)) << Utf8(c.name);
        }
        Bytes bytes = ReadFileBytes(path);
        ASSERT_GT(bytes.size(), 30u);
        EXPECT_EQ(bytes[8], c.method) << Utf8(c.name);
        CZipFile back(path, ZlibPath());
        const ArcEntry& entry = back.Entries().ValueAt(0);
        EXPECT_EQ(entry.method, c.method) << Utf8(c.name);
        if (c.method == zip::kMethodStored) {
            EXPECT_EQ(entry.packedSize, c.data.size()) << Utf8(c.name);
            size_t at = 30 + entry.nameLength;
            ASSERT_GE(bytes.size(), at + c.data.size());
            EXPECT_EQ(std::string(bytes.begin() + at, bytes.begin() + at + c.data.size()), c.data) << Utf8(c.name);
        } else {
            EXPECT_LT(entry.packedSize, c.data.size()) << Utf8(c.name);
        }
        WString out = folder_ / (WString(c.name) + L".out");
        ASSERT_TRUE(back.Extract(out, WString(), false)) << Utf8(back.ErrorText().c_str());
        EXPECT_EQ(ReadFileBytes(JoinPath(out, WString(c.name))), ReadFileBytes(source)) << Utf8(c.name);
    }
}

TEST_F(ZipWriterTest, DuplicatePathAtCommitFollowsTheAnswer)
{
    WString path = Archive(BuildZip({{"a.txt", "old"}}));
    WString source = MakeFile(L"src\\a.txt", "new");
    Bytes before = ReadFileBytes(path);
    PromptRecorder prompts;
    prompts.Answer(IDCANCEL);
    { CZipFile(path, ZlibPath()).Add(source, WString(), -1); }
    EXPECT_EQ(prompts.LastText(), L"パスの重複、置き換えますか？ path = a.txt");
    EXPECT_EQ(ReadFileBytes(path), before);
    prompts.Answer(IDNO);
    { CZipFile(path, ZlibPath()).Add(source, WString(), -1); }
    {
        CZipFile archive(path, ZlibPath());
        ASSERT_TRUE(archive.Extract(folder_ / L"no", WString(L"a.txt"), false));
    }
    Bytes kept = ReadFileBytes(folder_ / L"no\\a.txt");
    EXPECT_EQ(std::string(kept.begin(), kept.end()), "old");
    prompts.Answer(IDYES);
    { CZipFile(path, ZlibPath()).Add(source, WString(), -1); }
    {
        CZipFile archive(path, ZlibPath());
        ASSERT_TRUE(archive.Extract(folder_ / L"yes", WString(L"a.txt"), false));
    }
    Bytes replaced = ReadFileBytes(folder_ / L"yes\\a.txt");
    EXPECT_EQ(std::string(replaced.begin(), replaced.end()), "new");
    EXPECT_EQ(prompts.Count(), 3u);
}

TEST_F(ZipWriterTest, DeletingAFolderRemovesEverythingBelowIt)
{
    WString path = Archive(BuildZip({{"a/x.txt", "x"}, {"a/b/y.txt", "y"}, {"keep.txt", "k"}}));
    {
        CZipFile archive(path, ZlibPath());
        ASSERT_TRUE(archive.Delete(WString(L"a\\")));
        EXPECT_FALSE(archive.Delete(WString(L"none.txt")));
        EXPECT_EQ(archive.ErrorText(), L"Delete none.txt\nファイルが見つかりません");
        archive.ClearErrorText();
    }
    CZipFileEnum back(path, false);
    ASSERT_EQ(back.Entries().Count(), 1);
    EXPECT_EQ(back.Entries().Name(0), L"keep.txt");
}

// A commit whose output cannot be written leaves the archive as it was.
class FailingWriter : public CZipFile {
public:
    FailingWriter(const WString& path, DWORD allowed) : CZipFile(path, ZlibPath()), allowed_(allowed) {}
    ~FailingWriter() override { Commit(); }

protected:
    bool WriteOutput(HANDLE file, const void* bytes, DWORD count, const char* label) override
    {
        if (count > allowed_) {
            SetLastError(ERROR_DISK_FULL);
            SetErrorText(L"Write Error = 112 at " + LabelText(label));
            return false;
        }
        allowed_ -= count;
        return CZipFile::WriteOutput(file, bytes, count, label);
    }

private:
    DWORD allowed_;
};

TEST_F(ZipWriterTest, FullDiskDuringCommitLeavesArchiveUntouched)
{
    WString path = Archive(BuildZip({{"a.txt", std::string(1000, 'a')}}));
    Bytes before = ReadFileBytes(path);
    WString source = MakeFile(L"b.txt", std::string(100000, 'b'));
    PromptRecorder prompts;
    prompts.Answer(IDOK);
    {
        FailingWriter archive(path, 10);
        ASSERT_TRUE(archive.Add(source, WString(), -1));
    }
    ASSERT_EQ(prompts.Count(), 1u);
    EXPECT_EQ(prompts.LastText().substr(0, 21), L"Write Error = 112 at ");
    EXPECT_EQ(ReadFileBytes(path), before);
    EXPECT_FALSE(PathExists(folder_ / L"~t.zip"));
}

// The new archive is built under a "~" name that nothing has: a file of the
// user's called "~t.zip" is neither overwritten nor removed by a commit.
TEST_F(ZipWriterTest, CommitKeepsAUsersFileOfTheWorkingName)
{
    WString path = Archive(BuildZip({{"a.txt", "a"}, {"b.txt", "b"}}));
    WString users = MakeFile(L"~t.zip", "the user's own");
    {
        CZipFile archive(path, ZlibPath());
        ASSERT_TRUE(archive.Delete(WString(L"a.txt")));
        EXPECT_TRUE(archive.Commit()) << Utf8(archive.ErrorText().c_str());
    }
    Bytes kept = ReadFileBytes(users);
    EXPECT_EQ("the user's own", std::string(kept.begin(), kept.end()));
    CZipFile reader(path, ZlibPath());
    EXPECT_EQ(-1, reader.FindEntry(L"a.txt"));
    EXPECT_NE(-1, reader.FindEntry(L"b.txt"));
    AttrStringList left(false);
    ListDirectory(folder_.Path(), left, WString(L"~*"));
    EXPECT_EQ(1, left.Count()) << "no working file is left beside the archive";
}

// Another program wrote the archive after the object read it (a drop onto
// it, another viewer's store): offsets from the old directory would take
// data from the wrong places, so nothing is written over it; also when the
// other program kept the size and the time, writing in place or putting
// another file in the archive's place.
TEST_F(ZipWriterTest, ArchiveChangedSinceItWasReadIsNotOverwritten)
{
    enum Change { kLarger, kSameSizeInPlace, kSameSizeMovedIntoPlace };
    for (Change change : {kLarger, kSameSizeInPlace, kSameSizeMovedIntoPlace}) {
        WString path = Archive(BuildZip({{"a.txt", "a"}, {"b.txt", "b"}}));
        FileStamp read = StampOf(path);
        Bytes theirs = change == kLarger ? BuildZip({{"a.txt", "a"}, {"b.txt", "b"}, {"theirs.txt", "theirs"}})
                       : change == kSameSizeInPlace
                           ? BuildZip({{"a.txt", "a"}, {"c.txt", "c"}})
                           // The same directory over other data: only the file's identity tells.
                           : BuildZip({{"a.txt", "z", 0, ZipCrc("a")}, {"b.txt", "b"}});
        CZipFile archive(path, ZlibPath());
        ASSERT_TRUE(archive.Delete(WString(L"a.txt")));
        WString written = change == kSameSizeMovedIntoPlace ? folder_ / L"theirs.zip" : path;
        {
            ScopedFile file(CreateFileW(written.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_ALWAYS, 0, nullptr));
            DWORD done = 0;
            ASSERT_TRUE(WriteFile(file.Get(), theirs.data(), static_cast<DWORD>(theirs.size()), &done, nullptr));
            if (change != kLarger) {
                ASSERT_TRUE(SetFileTime(file.Get(), nullptr, nullptr, &read.lastWrite));
            }
        }
        if (change == kSameSizeMovedIntoPlace) {
            ASSERT_TRUE(MoveFileExW(written.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING));
        }
        if (change != kLarger) {
            ASSERT_TRUE(SameStamp(read, StampOf(path))) << "the size and time tell nothing";
        }
        EXPECT_FALSE(archive.CommitChanges()) << change;
        EXPECT_NE(-1, archive.ErrorText().Find(L"ほかのプログラムによって変更された")) << change;
        archive.ClearErrorText();
        EXPECT_EQ(theirs, ReadFileBytes(path)) << change;
        AttrStringList left(false);
        ListDirectory(folder_.Path(), left, WString(L"~*"));
        EXPECT_EQ(0, left.Count()) << change;
    }
}

TEST_F(ZipWriterTest, ArchiveHeldOpenByAnotherProgramIsKept)
{
    WString path = Archive(BuildZip({{"a.txt", "a"}, {"b.txt", "b"}}));
    Bytes before = ReadFileBytes(path);
    PromptRecorder prompts;
    prompts.Answer(IDOK);
    {
        CZipFile archive(path, ZlibPath());
        ASSERT_TRUE(archive.Delete(WString(L"a.txt")));
        // Another program opens it for reading without letting it be replaced.
        ScopedFile holder(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
        ASSERT_TRUE(holder.IsValid());
        archive.Commit();
        EXPECT_NE(archive.ErrorText().Find(L"元のアーカイブはそのまま残っています"), -1)
            << Utf8(archive.ErrorText().c_str());
    }
    EXPECT_EQ(prompts.Count(), 1u);
    EXPECT_EQ(ReadFileBytes(path), before);
}

TEST_F(ZipWriterTest, DamagedArchiveIsNotRewritten)
{
    WString path = Archive(BuildZip({{"a.txt", "a"}}, nullptr, 2));  // a second entry is missing
    Bytes before = ReadFileBytes(path);
    WString source = MakeFile(L"c.txt", "c");
    PromptRecorder prompts;
    prompts.Answer(IDOK);
    {
        CZipFile archive(path, ZlibPath());
        archive.ClearErrorText();
        ASSERT_TRUE(archive.Add(source, WString(), -1));
    }
    EXPECT_NE(prompts.LastText().find(L"変更は書き込みません"), std::wstring::npos);
    EXPECT_EQ(ReadFileBytes(path), before);
}

}  // namespace
